#pragma once

#include "rename/FileSystemOps.h"

#include <string>
#include <sys/stat.h>
#include <vector>

namespace tess {

// The metadata a folder made in place of another takes from it: mode, owner
// and group, access and default ACLs and extended attributes, and times.
// These calls log nothing themselves: the caller knows whether a step that
// failed can still be done another way.
class FolderMetadata {
public:
    FolderMetadata() = delete;

    // One step that could not be done: what it was ("owner and group",
    // "permissions", "access ACL", ...) and the errno.
    struct Failure {
        std::string what;
        int error = 0;
        // Owner, group and mode: without them the folder is not the other's
        // stand-in. The rest is best effort.
        bool required = false;
    };

    // `sourceStatus` is the source folder's lstat from before the batch
    // touched it. Call right after `target` was made, before anything is
    // moved into it. Returns the steps that failed.
    static std::vector<Failure> copyAttributes(const std::string& source, const struct stat& sourceStatus,
        const std::string& target, FileSystemOps& fs);

    // Sets the access and modification times of `sourceStatus` on `target`;
    // 0 or the errno.
    static int copyTimes(const struct stat& sourceStatus, const std::string& target, FileSystemOps& fs);

    // One WARN line per failure: "could not copy the original folder's
    // <what> to <target>: <reason>".
    static void warn(const std::vector<Failure>& failures, const std::string& target);
};

}  // namespace tess
