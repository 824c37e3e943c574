#include "PathRules.h"

#include <vector>

namespace tess {

bool PathRules::isAbsolute(std::string_view path)
{
    return !path.empty() && path.front() == '/' && path.find('\0') == std::string_view::npos;
}

std::optional<std::string> PathRules::standardize(std::string_view path)
{
    if (!isAbsolute(path)) {
        return std::nullopt;
    }
    std::vector<std::string_view> components;
    std::size_t start = 0;
    while (start <= path.size()) {
        auto slash = path.find('/', start);
        auto end = slash == std::string_view::npos ? path.size() : slash;
        auto component = path.substr(start, end - start);
        if (component == "..") {
            if (!components.empty()) {
                components.pop_back();
            }
        } else if (!component.empty() && component != ".") {
            components.push_back(component);
        }
        if (slash == std::string_view::npos) {
            break;
        }
        start = slash + 1;
    }
    if (components.empty()) {
        return std::string("/");
    }
    std::string out;
    for (auto component : components) {
        out.append("/").append(component);
    }
    return out;
}

std::string PathRules::parent(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    auto slash = path.rfind('/');
    if (slash == std::string_view::npos || slash == 0) {
        return "/";
    }
    return std::string(path.substr(0, slash));
}

}  // namespace tess
