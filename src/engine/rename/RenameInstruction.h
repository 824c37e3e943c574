#pragma once

#include <string>

namespace tess {

// One planned rename. Both paths are relative to the scan root, with "/"
// between components and no leading "/". They hold raw bytes (a name on disk
// need not be valid UTF-8).
struct RenameInstruction {
    std::string currentRelativePath;
    std::string targetRelativePath;
    bool isDirectory = false;

    friend bool operator==(const RenameInstruction&, const RenameInstruction&) = default;
};

}  // namespace tess
