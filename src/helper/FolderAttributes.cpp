#include "FolderAttributes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <sys/xattr.h>
#include <unistd.h>

namespace tess {

namespace {

// The ACLs as the kernel stores them. Copied as these attributes, they need
// no path: libacl reads and writes a default ACL by path only.
constexpr const char* kAccessAcl = "system.posix_acl_access";
constexpr const char* kDefaultAcl = "system.posix_acl_default";

// What `get(buffer, size)` fills in, asked for its size first: 0, or the
// errno of the call that failed.
template <typename Get>
int readSized(std::string& value, Get get)
{
    for (;;) {
        const ssize_t size = get(nullptr, 0);
        if (size < 0) {
            return errno;
        }
        value.resize(static_cast<std::size_t>(size));
        const ssize_t got = get(value.data(), value.size());
        if (got >= 0) {
            value.resize(static_cast<std::size_t>(got));
            return 0;
        }
        if (errno != ERANGE) {
            return errno;  // ERANGE: it grew meanwhile, ask again
        }
    }
}

// The value of the attribute `name` of `fd`; ENODATA when it has none.
int readAttribute(int fd, const char* name, std::string& value)
{
    return readSized(value, [fd, name](char* buffer, std::size_t size) { return ::fgetxattr(fd, name, buffer, size); });
}

int writeAttribute(int fd, const char* name, const std::string& value)
{
    return ::fsetxattr(fd, name, value.data(), value.size(), 0) == 0 ? 0 : errno;
}

// The template's ACL `name` on the target, or none where the template has
// none (or lies on a file system without ACLs).
int copyAcl(int from, int to, const char* name)
{
    std::string value;
    const int error = readAttribute(from, name, value);
    if (error == 0) {
        return writeAttribute(to, name, value);
    }
    if (error != ENODATA && error != ENOTSUP) {
        return error;
    }
    if (::fremovexattr(to, name) == 0 || errno == ENODATA || errno == ENOTSUP) {
        return 0;
    }
    return errno;
}

// Every extended attribute name of `fd`; none on a file system without them.
int listAttributes(int fd, std::vector<std::string>& names)
{
    std::string buffer;
    if (const int error = readSized(buffer, [fd](char* list, std::size_t size) { return ::flistxattr(fd, list, size); })) {
        return error == ENOTSUP ? 0 : error;
    }
    for (auto start = buffer.begin(); start != buffer.end();) {
        const auto end = std::find(start, buffer.end(), '\0');
        if (end != start) {
            names.emplace_back(start, end);
        }
        start = end == buffer.end() ? end : end + 1;
    }
    return 0;
}

}  // namespace

std::string FolderAttributes::Step::describe() const
{
    return what + ": " + std::strerror(error);
}

FolderAttributes::Outcome FolderAttributes::apply(int templateFd, const struct stat& templateStatus, int targetFd)
{
    Outcome outcome;
    // What already is the template's is left alone: some file systems refuse
    // any change of owner or mode, even to what they hold.
    struct stat targetStatus { };
    const bool known = ::fstat(targetFd, &targetStatus) == 0;
    const bool sameOwner = known && targetStatus.st_uid == templateStatus.st_uid && targetStatus.st_gid == templateStatus.st_gid;
    const mode_t mode = templateStatus.st_mode & 07777;
    // Owner first: a change of owner may clear set-id bits the mode then restores.
    if (!sameOwner && ::fchown(targetFd, templateStatus.st_uid, templateStatus.st_gid) != 0) {
        outcome.requiredFailure = Step {"owner and group", errno};
        return outcome;
    }
    if ((!sameOwner || (targetStatus.st_mode & 07777) != mode) && ::fchmod(targetFd, mode) != 0) {
        outcome.requiredFailure = Step {"permissions", errno};
        return outcome;
    }
    // The access ACL after the mode: its mask entry is the group's bits,
    // which are the template's either way.
    if (const int error = copyAcl(templateFd, targetFd, kAccessAcl)) {
        outcome.notCopied.push_back({"access ACL", error});
    }
    if (const int error = copyAcl(templateFd, targetFd, kDefaultAcl)) {
        outcome.notCopied.push_back({"default ACL", error});
    }

    // Only the user's own namespace: trusted. and security. attributes are
    // the system's, and the ACLs were copied above.
    std::vector<std::string> names;
    if (const int error = listAttributes(templateFd, names)) {
        outcome.notCopied.push_back({"extended attributes", error});
    }
    for (const std::string& name : names) {
        if (std::string_view(name).substr(0, 5) != "user.") {
            continue;
        }
        std::string value;
        int error = readAttribute(templateFd, name.c_str(), value);
        if (error == 0) {
            error = writeAttribute(targetFd, name.c_str(), value);
        }
        if (error != 0 && error != ENODATA) {  // ENODATA: removed since the listing
            outcome.notCopied.push_back({"extended attribute " + name, error});
        }
    }

    // The times last, after every other change to the target.
    const timespec times[2] = {templateStatus.st_atim, templateStatus.st_mtim};
    if (::futimens(targetFd, times) != 0) {
        outcome.notCopied.push_back({"access and modification times", errno});
    }
    return outcome;
}

}  // namespace tess
