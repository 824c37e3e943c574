#include "rename/FolderMetadata.h"

#include "log/AppLogger.h"

#include <cerrno>
#include <cstring>
#include <string_view>
#include <unistd.h>

namespace tess {

namespace {

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::vector<FolderMetadata::Failure> FolderMetadata::copyAttributes(const std::string& source,
    const struct stat& sourceStatus, const std::string& target, FileSystemOps& fs)
{
    std::vector<Failure> failures;
    // Owner first: a change of owner may clear set-id bits the mode then restores.
    struct stat targetStatus;
    if (const int statError = fs.lstat(target, targetStatus); statError != 0) {
        failures.push_back({"metadata", statError, true});
        return failures;
    }
    const bool ownerChanges = targetStatus.st_uid != sourceStatus.st_uid || targetStatus.st_gid != sourceStatus.st_gid;
    if (ownerChanges) {
        if (const int error = fs.changeOwner(target, sourceStatus.st_uid, sourceStatus.st_gid)) {
            failures.push_back({"owner and group", error, true});
        }
    }
    // A mode already right needs no change (which only the owner may make).
    if (ownerChanges || (targetStatus.st_mode & 07777) != (sourceStatus.st_mode & 07777)) {
        if (const int error = fs.changeMode(target, sourceStatus.st_mode & 07777)) {
            failures.push_back({"permissions", error, true});
        }
    }
    // The access ACL after the mode: its mask entry is the group's bits.
    if (const int error = fs.copyAcl(source, target, FileSystemOps::AclType::access)) {
        failures.push_back({"access ACL", error, false});
    }
    if (const int error = fs.copyAcl(source, target, FileSystemOps::AclType::defaultAcl)) {
        failures.push_back({"default ACL", error, false});
    }

    std::vector<std::string> names;
    if (const int error = fs.listExtendedAttributes(source, names)) {
        failures.push_back({"extended attributes", error, false});
        return failures;
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
        failures.push_back({"extended attribute " + name, error, false});
    }
    return failures;
}

int FolderMetadata::copyTimes(const struct stat& sourceStatus, const std::string& target, FileSystemOps& fs)
{
    return fs.setTimes(target, sourceStatus.st_atim, sourceStatus.st_mtim);
}

void FolderMetadata::warn(const std::vector<Failure>& failures, const std::string& target)
{
    for (const Failure& failure : failures) {
        TESS_LOG_WARN("⚠️ Rename: could not copy the original folder's " + failure.what + " to " + target + ": "
            + std::strerror(failure.error));
    }
}

}  // namespace tess
