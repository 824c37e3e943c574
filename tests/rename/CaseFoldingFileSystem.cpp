#include "CaseFoldingFileSystem.h"

#include <cerrno>
#include <strings.h>
#include <vector>

namespace tess::test {

std::string CaseFoldingFileSystem::resolve(const std::string& path, bool keepLast)
{
    std::string resolved;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string::npos)
            slash = path.size();
        const std::string name = path.substr(start, slash - start);
        const bool last = slash == path.size();
        std::string chosen = name;
        if (!name.empty() && !(last && keepLast)) {
            std::vector<DirEntry> entries;
            if (PosixFileSystemOps::listDirectory(resolved.empty() ? "/" : resolved, entries) == 0) {
                bool exact = false;
                for (const auto& entry : entries)
                    exact = exact || entry.name == name;
                for (const auto& entry : entries) {
                    if (!exact && ::strcasecmp(entry.name.c_str(), name.c_str()) == 0) {
                        chosen = entry.name;
                        break;
                    }
                }
            }
        }
        if (start > 0)
            resolved += '/';
        resolved += chosen;
        start = slash + 1;
    }
    return resolved;
}

int CaseFoldingFileSystem::lstat(const std::string& path, struct stat& out)
{
    return PosixFileSystemOps::lstat(resolve(path), out);
}

int CaseFoldingFileSystem::listDirectory(const std::string& path, std::vector<DirEntry>& out)
{
    return PosixFileSystemOps::listDirectory(resolve(path), out);
}

int CaseFoldingFileSystem::realPath(const std::string& path, std::string& out)
{
    return PosixFileSystemOps::realPath(resolve(path), out);
}

int CaseFoldingFileSystem::renameNoReplace(const std::string& from, const std::string& to)
{
    if (++renames == failRename)
        return failError;
    struct stat st;
    if (PosixFileSystemOps::lstat(resolve(to), st) == 0)
        return EEXIST;
    return PosixFileSystemOps::renameNoReplace(resolve(from), resolve(to, true));
}

}  // namespace tess::test
