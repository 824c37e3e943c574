#pragma once

#include "rename/PosixFileSystemOps.h"

namespace tess::test {

// A case-preserving volume that ignores case, simulated on top of the real
// (case-sensitive) one: a name that is not present resolves to a sibling whose
// name differs only in ASCII letter case (in every component of a path), and a
// move never creates a second entry that equals an existing one but for case.
class CaseFoldingFileSystem : public PosixFileSystemOps {
public:
    int lstat(const std::string& path, struct stat& out) override;
    int renameNoReplace(const std::string& from, const std::string& to) override;
    int listDirectory(const std::string& path, std::vector<DirEntry>& out) override;
    int realPath(const std::string& path, std::string& out) override;

    int renames = 0;
    // The move with this number (counting from 1) fails with `failError`.
    int failRename = 0;
    int failError = 0;

private:
    // Every component resolved as the volume would; with `keepLast`, the
    // last one stays as given (the name a move creates).
    std::string resolve(const std::string& path, bool keepLast = false);
};

}  // namespace tess::test
