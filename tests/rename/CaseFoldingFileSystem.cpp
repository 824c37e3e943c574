#include "CaseFoldingFileSystem.h"

#include <cerrno>
#include <strings.h>
#include <vector>

namespace tess::test {

std::string CaseFoldingFileSystem::resolve(const std::string& path)
{
    const auto slash = path.rfind('/');
    const std::string folder = path.substr(0, slash);
    const std::string name = path.substr(slash + 1);
    std::vector<DirEntry> entries;
    if (PosixFileSystemOps::listDirectory(folder, entries) != 0)
        return path;
    for (const auto& entry : entries) {
        if (entry.name == name)
            return path;
    }
    for (const auto& entry : entries) {
        if (::strcasecmp(entry.name.c_str(), name.c_str()) == 0)
            return folder + "/" + entry.name;
    }
    return path;
}

int CaseFoldingFileSystem::lstat(const std::string& path, struct stat& out)
{
    return PosixFileSystemOps::lstat(resolve(path), out);
}

int CaseFoldingFileSystem::renameNoReplace(const std::string& from, const std::string& to)
{
    if (++renames == failRename)
        return failError;
    struct stat st;
    if (PosixFileSystemOps::lstat(resolve(to), st) == 0)
        return EEXIST;
    return PosixFileSystemOps::renameNoReplace(resolve(from), to);
}

}  // namespace tess::test
