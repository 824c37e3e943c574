#include "analysis/RelativePath.h"

#include "core/PathComponents.h"
#include "text/Text.h"

#include <algorithm>

namespace tess {

std::vector<std::string> RelativePath::split(std::string_view path)
{
    std::vector<std::string> components;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = path.find('/', start);
        if (slash == std::string_view::npos) {
            components.emplace_back(path.substr(start));
            return components;
        }
        components.emplace_back(path.substr(start, slash - start));
        start = slash + 1;
    }
}

std::vector<std::string> RelativePath::splitNonEmpty(std::string_view path)
{
    return nonEmptyPathComponents(path);
}

std::string RelativePath::join(const std::vector<std::string>& components)
{
    return joinFirst(components, components.size());
}

std::string RelativePath::joinFirst(const std::vector<std::string>& components, std::size_t count)
{
    const std::size_t end = std::min(count, components.size());
    std::size_t size = end;
    for (std::size_t i = 0; i < end; ++i) {
        size += components[i].size();
    }
    std::string out;
    out.reserve(size);
    for (std::size_t i = 0; i < end; ++i) {
        if (i > 0) {
            out.push_back('/');
        }
        out.append(components[i]);
    }
    return out;
}

std::string_view RelativePath::lastComponent(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view RelativePath::parentPart(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

std::string RelativePath::child(std::string_view parent, std::string_view name)
{
    std::string out;
    out.reserve(parent.size() + 1 + name.size());
    if (!parent.empty()) {
        out.append(parent);
        out.push_back('/');
    }
    out.append(name);
    return out;
}

std::size_t RelativePath::componentCount(std::string_view path)
{
    return static_cast<std::size_t>(std::count(path.begin(), path.end(), '/')) + 1;
}

std::size_t RelativePath::nonEmptyComponentCount(std::string_view path)
{
    std::size_t count = 0;
    bool inComponent = false;
    for (const char c : path) {
        if (c == '/') {
            inComponent = false;
        } else if (!inComponent) {
            inComponent = true;
            ++count;
        }
    }
    return count;
}

std::string RelativePath::prefix(std::string_view path, std::size_t count)
{
    if (count == 0) {
        return std::string();
    }
    std::size_t seen = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '/' && ++seen == count) {
            return std::string(path.substr(0, i));
        }
    }
    // The whole path has exactly `count` components, or fewer.
    return seen + 1 == count ? std::string(path) : std::string();
}

bool RelativePath::equivalent(std::string_view proposed, std::string_view original)
{
    if (proposed == original) {
        return true;
    }
    if (!text::isValidUtf8(original)) {
        return false;
    }
    return text::canonicallyEqual(proposed, original);
}

}  // namespace tess
