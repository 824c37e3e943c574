#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tess {

// Checks and standardises the paths that requests carry.
class PathRules {
public:
    // True for a non-empty path starting with "/" and without NUL bytes.
    static bool isAbsolute(std::string_view path);

    // Removes empty and "." components and resolves ".." textually ("/.."
    // stays "/"); keeps no trailing "/". Empty for a path that is not absolute.
    static std::optional<std::string> standardize(std::string_view path);

    // Everything before the last component ("/" for "/name"); the path must
    // be absolute and have a last component.
    static std::string parent(std::string_view path);
};

}  // namespace tess
