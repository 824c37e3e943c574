#include "history/HistoryFileOps.h"

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace tess {

namespace {

class PosixHistoryFileOps final : public HistoryFileOps {
public:
    int renameNoReplace(const std::string& from, const std::string& to) override
    {
        return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0 ? 0 : errno;
    }
    int link(const std::string& from, const std::string& to) override
    {
        return ::link(from.c_str(), to.c_str()) == 0 ? 0 : errno;
    }
};

}  // namespace

HistoryFileOps& HistoryFileOps::posix()
{
    static PosixHistoryFileOps ops;
    return ops;
}

}  // namespace tess
