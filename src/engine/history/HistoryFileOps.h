#pragma once

#include <string>

namespace tess {

// The calls that put a finished history file in place. Tests replace them
// to play a file system (exFAT through FUSE, some network shares) that
// offers neither a no-replace rename nor hard links.
class HistoryFileOps {
public:
    virtual ~HistoryFileOps() = default;

    // renameat2(2) with RENAME_NOREPLACE: 0 or the errno.
    virtual int renameNoReplace(const std::string& from, const std::string& to) = 0;
    // link(2): 0 or the errno.
    virtual int link(const std::string& from, const std::string& to) = 0;

    // The real calls, shared by every caller that passes none.
    static HistoryFileOps& posix();
};

}  // namespace tess
