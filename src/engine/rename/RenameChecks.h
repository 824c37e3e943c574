#pragma once

#include "rename/FileSystemOps.h"

#include <string>

namespace tess {

// Small tests on the disk shared by the renamer's steps. Links are never
// followed.
class RenameChecks {
public:
    // Something (of any kind) is at `path`.
    static bool exists(FileSystemOps& fs, const std::string& path);
    // A real folder (not a link to one) is at `path`.
    static bool isRealDirectory(FileSystemOps& fs, const std::string& path);
    // The folder's listing holds exactly this name (byte-wise).
    static bool listingHasName(FileSystemOps& fs, const std::string& folder, const std::string& name);
    // The two paths name the same item: the same path, or paths that differ
    // only in letter case where the volume resolves both to one item (in one
    // folder, which may be spelt either way) whose folder's listing holds only
    // the source's name. A hard link is never the same item.
    static bool isSameItem(FileSystemOps& fs, const std::string& source, const std::string& destination);
    // Only the letter case differs and the volume ignores case (see isSameItem).
    static bool isCaseOnlyRenameOnCaseInsensitiveVolume(FileSystemOps& fs, const std::string& source,
        const std::string& destination);
    // Both paths lead to one existing folder (same device and inode).
    static bool isSameFolder(FileSystemOps& fs, const std::string& a, const std::string& b);
    // After a privileged move reported failure (perhaps only a time-out): did
    // the item arrive at `destination` and leave `source`?
    static bool moveHappened(FileSystemOps& fs, const std::string& source, const std::string& destination);
};

}  // namespace tess
