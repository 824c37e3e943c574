#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tess {

// Byte-wise path helpers of the renamer. Paths are raw bytes with "/" between
// components; nothing here assumes valid UTF-8.
class RenamePaths {
public:
    // `base` + "/" + `relative` (a base of "/" gives "/" + relative).
    static std::string join(std::string_view base, std::string_view relative);
    // Everything before the last "/" ("/" for an item directly under "/").
    static std::string parent(std::string_view path);
    // The part after the last "/".
    static std::string lastComponent(std::string_view path);
    // The non-empty components.
    static std::vector<std::string> components(std::string_view path);
    // A path without its trailing "/" (except "/" itself).
    static std::string withoutTrailingSlash(std::string_view path);
    // A relative path from outside (an instruction, a history file) is usable
    // when it is non-empty, not absolute, and holds no ".", ".." or empty
    // component and no NUL byte.
    static bool isValidRelative(std::string_view relative);
    // `path` is `root` or lies below it, compared component by component.
    static bool isWithin(std::string_view root, std::string_view path);
    // `path` relative to `root` (`path` must lie below `root`).
    static std::string relativeTo(std::string_view root, std::string_view path);
    // Two names that differ only in letter case (or not at all).
    static bool equalIgnoringCase(std::string_view a, std::string_view b);
};

}  // namespace tess
