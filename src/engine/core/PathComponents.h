#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tess {

// The non-empty components of a "/"-separated path, byte-wise: "a//b/" and
// "/a/b" both give {"a", "b"}. Nothing here assumes valid UTF-8.
inline std::vector<std::string> nonEmptyPathComponents(std::string_view path)
{
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string_view::npos) {
            slash = path.size();
        }
        if (slash > start) {
            components.emplace_back(path.substr(start, slash - start));
        }
        start = slash + 1;
    }
    return components;
}

}  // namespace tess
