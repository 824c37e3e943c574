#pragma once

#include "rename/FileSystemOps.h"

#include <string>
#include <sys/stat.h>

namespace tess {

// A folder the renamer makes as the final path of a renamed folder stands in
// for that folder: it takes the source's mode, owner and group, access and
// default ACLs and extended attributes when it is made, and the source's
// times once the source has been emptied into it. Nothing here fails a
// rename: every step that cannot be done is a WARN line.
class FolderMetadata {
public:
    FolderMetadata() = delete;

    // `sourceStatus` is the source folder's lstat from before the batch
    // touched it. Call right after `target` was made, before anything is
    // moved into it.
    static void copyAttributes(const std::string& source, const struct stat& sourceStatus, const std::string& target,
        FileSystemOps& fs);

    // Sets the access and modification times of `sourceStatus` on `target`.
    static void copyTimes(const struct stat& sourceStatus, const std::string& target, FileSystemOps& fs);
};

}  // namespace tess
