#include "rename/RenameChecks.h"

#include "rename/RenamePaths.h"

#include <algorithm>
#include <cerrno>
#include <vector>

namespace tess {

bool RenameChecks::exists(FileSystemOps& fs, const std::string& path)
{
    struct stat st;
    return fs.lstat(path, st) == 0;
}

bool RenameChecks::isRealDirectory(FileSystemOps& fs, const std::string& path)
{
    struct stat st;
    return fs.lstat(path, st) == 0 && S_ISDIR(st.st_mode);
}

bool RenameChecks::listingHasName(FileSystemOps& fs, const std::string& folder, const std::string& name)
{
    std::vector<FileSystemOps::DirEntry> entries;
    if (fs.listDirectory(folder, entries) != 0) {
        return false;
    }
    return std::any_of(entries.begin(), entries.end(), [&](const FileSystemOps::DirEntry& e) { return e.name == name; });
}

bool RenameChecks::isCaseOnlyRenameOnCaseInsensitiveVolume(FileSystemOps& fs, const std::string& source,
    const std::string& destination)
{
    if (source == destination || !RenamePaths::equalIgnoringCase(source, destination)) {
        return false;
    }
    const std::string folder = RenamePaths::parent(source);
    const std::string targetFolder = RenamePaths::parent(destination);
    // The folders may be spelt differently too, when they are one folder.
    if (folder != targetFolder
        && !(RenamePaths::equalIgnoringCase(folder, targetFolder) && isSameFolder(fs, folder, targetFolder))) {
        return false;
    }
    const std::string sourceName = RenamePaths::lastComponent(source);
    const std::string targetName = RenamePaths::lastComponent(destination);
    if (!RenamePaths::equalIgnoringCase(sourceName, targetName)) {
        return false;
    }
    struct stat a;
    struct stat b;
    if (fs.lstat(source, a) != 0 || fs.lstat(destination, b) != 0) {
        return false;
    }
    if (a.st_dev != b.st_dev || a.st_ino != b.st_ino) {
        return false;
    }
    // One folder, one name: the very same entry.
    if (sourceName == targetName) {
        return true;
    }
    // Two entries (hard links) whose names differ only in case on a volume
    // that respects case: the target is a different name of its own.
    return !listingHasName(fs, folder, targetName);
}

bool RenameChecks::isSameItem(FileSystemOps& fs, const std::string& source, const std::string& destination)
{
    return source == destination || isCaseOnlyRenameOnCaseInsensitiveVolume(fs, source, destination);
}

bool RenameChecks::isSameFolder(FileSystemOps& fs, const std::string& a, const std::string& b)
{
    struct stat first;
    struct stat second;
    return fs.lstat(a, first) == 0 && fs.lstat(b, second) == 0 && S_ISDIR(first.st_mode) && S_ISDIR(second.st_mode)
        && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool RenameChecks::moveHappened(FileSystemOps& fs, const std::string& source, const std::string& destination)
{
    if (source == destination) {
        return exists(fs, source);
    }
    if (RenamePaths::equalIgnoringCase(source, destination)) {
        // Both spellings may resolve to one item: read the folders' listings.
        return listingHasName(fs, RenamePaths::parent(destination), RenamePaths::lastComponent(destination))
            && !listingHasName(fs, RenamePaths::parent(source), RenamePaths::lastComponent(source));
    }
    struct stat st;
    return fs.lstat(source, st) == ENOENT && fs.lstat(destination, st) == 0;
}

}  // namespace tess
