#include "rename/FolderMetadata.h"

#include "log/AppLogger.h"

#include <cerrno>
#include <cstring>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace tess {

namespace {

void warn(const std::string& what, const std::string& target, int error)
{
    TESS_LOG_WARN("⚠️ Rename: could not copy the original folder's " + what + " to " + target + ": " + std::strerror(error));
}

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

void FolderMetadata::copyAttributes(const std::string& source, const struct stat& sourceStatus, const std::string& target,
    FileSystemOps& fs)
{
    // Owner first: a change of owner may clear set-id bits the mode then restores.
    struct stat targetStatus;
    const int statError = fs.lstat(target, targetStatus);
    if (statError != 0) {
        warn("metadata", target, statError);
        return;
    }
    if (targetStatus.st_uid != sourceStatus.st_uid || targetStatus.st_gid != sourceStatus.st_gid) {
        if (const int error = fs.changeOwner(target, sourceStatus.st_uid, sourceStatus.st_gid)) {
            warn("owner and group", target, error);
        }
    }
    if (const int error = fs.changeMode(target, sourceStatus.st_mode & 07777)) {
        warn("permissions", target, error);
    }
    // The access ACL after the mode: its mask entry is the group's bits.
    if (const int error = fs.copyAcl(source, target, FileSystemOps::AclType::access)) {
        warn("access ACL", target, error);
    }
    if (const int error = fs.copyAcl(source, target, FileSystemOps::AclType::defaultAcl)) {
        warn("default ACL", target, error);
    }

    std::vector<std::string> names;
    if (const int error = fs.listExtendedAttributes(source, names)) {
        warn("extended attributes", target, error);
        return;
    }
    for (const std::string& name : names) {
        if (startsWith(name, "system.")) {
            continue;  // the ACLs, copied above
        }
        const int error = fs.copyExtendedAttribute(source, target, name);
        if (error == 0) {
            continue;
        }
        // Only root may write trusted. and most security. attributes.
        const bool privileged = startsWith(name, "security.") || startsWith(name, "trusted.");
        if (privileged && (error == EPERM || error == EACCES || error == ENOTSUP)) {
            continue;
        }
        warn("extended attribute " + name, target, error);
    }
}

void FolderMetadata::copyTimes(const struct stat& sourceStatus, const std::string& target, FileSystemOps& fs)
{
    if (const int error = fs.setTimes(target, sourceStatus.st_atim, sourceStatus.st_mtim)) {
        warn("access and modification times", target, error);
    }
}

}  // namespace tess
