#pragma once

#include "rename/PosixFileSystemOps.h"

namespace tess::test {

// A case-preserving volume that ignores case, simulated on top of the real
// (case-sensitive) one: a name that is not present resolves to a sibling whose
// name differs only in ASCII letter case, and a move never creates a second
// entry that equals an existing one but for case.
class CaseFoldingFileSystem : public PosixFileSystemOps {
public:
    int lstat(const std::string& path, struct stat& out) override;
    int renameNoReplace(const std::string& from, const std::string& to) override;

    int renames = 0;
    // The move with this number (counting from 1) fails with `failError`.
    int failRename = 0;
    int failError = 0;

private:
    std::string resolve(const std::string& path);
};

}  // namespace tess::test
