#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace tess {

// One source item handed to the analyser: the absolute path as enumerated
// (raw bytes, which on Linux need not be valid UTF-8) and whether it is a
// folder. Equality and hashing cover both fields, the path byte for byte.
struct FileItem {
    std::string path;
    bool isDirectory = false;

    friend bool operator==(const FileItem&, const FileItem&) = default;
};

}  // namespace tess

template <>
struct std::hash<tess::FileItem> {
    std::size_t operator()(const tess::FileItem& item) const noexcept
    {
        const std::size_t h = std::hash<std::string> {}(item.path);
        return h ^ (item.isDirectory ? 0x9e3779b97f4a7c15ULL : 0ULL);
    }
};
