#include "rename/RenamePaths.h"

#include "core/PathComponents.h"
#include "text/Text.h"

namespace tess {

std::string RenamePaths::join(std::string_view base, std::string_view relative)
{
    std::string out(base);
    if (out.empty() || out.back() != '/') {
        out += '/';
    }
    out += relative;
    return out;
}

std::string RenamePaths::parent(std::string_view path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos) {
        return {};
    }
    if (slash == 0) {
        return "/";
    }
    return std::string(path.substr(0, slash));
}

std::string RenamePaths::lastComponent(std::string_view path)
{
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::vector<std::string> RenamePaths::components(std::string_view path)
{
    return nonEmptyPathComponents(path);
}

std::string RenamePaths::withoutTrailingSlash(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    return std::string(path);
}

bool RenamePaths::isValidRelative(std::string_view relative)
{
    if (relative.empty() || relative.front() == '/' || relative.find('\0') != std::string_view::npos) {
        return false;
    }
    std::size_t start = 0;
    for (;;) {
        auto slash = relative.find('/', start);
        const auto piece = relative.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (piece.empty() || piece == "." || piece == "..") {
            return false;
        }
        if (slash == std::string_view::npos) {
            return true;
        }
        start = slash + 1;
    }
}

bool RenamePaths::isWithin(std::string_view root, std::string_view path)
{
    const auto rootParts = components(root);
    const auto pathParts = components(path);
    if (pathParts.size() < rootParts.size()) {
        return false;
    }
    for (std::size_t i = 0; i < rootParts.size(); ++i) {
        if (rootParts[i] != pathParts[i]) {
            return false;
        }
    }
    return true;
}

std::string RenamePaths::relativeTo(std::string_view root, std::string_view path)
{
    const auto rootParts = components(root);
    const auto pathParts = components(path);
    std::string out;
    for (std::size_t i = rootParts.size(); i < pathParts.size(); ++i) {
        if (!out.empty()) {
            out += '/';
        }
        out += pathParts[i];
    }
    return out;
}

bool RenamePaths::equalIgnoringCase(std::string_view a, std::string_view b)
{
    if (a == b) {
        return true;
    }
    if (a.size() == b.size() && text::isAscii(a) && text::isAscii(b)) {
        for (std::size_t i = 0; i < a.size(); ++i) {
            auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
            if (lower(a[i]) != lower(b[i])) {
                return false;
            }
        }
        return true;
    }
    return text::canonicallyEqual(text::toLower(a), text::toLower(b));
}

}  // namespace tess
