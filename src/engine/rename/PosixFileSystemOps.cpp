#include "rename/PosixFileSystemOps.h"

#include <acl/libacl.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/acl.h>
#include <sys/ioctl.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace tess {

namespace {

FileSystemOps::EntryType typeFromMode(mode_t mode)
{
    if (S_ISDIR(mode)) {
        return FileSystemOps::EntryType::directory;
    }
    if (S_ISLNK(mode)) {
        return FileSystemOps::EntryType::symlink;
    }
    if (S_ISREG(mode)) {
        return FileSystemOps::EntryType::file;
    }
    return FileSystemOps::EntryType::other;
}

// Whether an ACL has entries beyond those the mode bits stand for.
bool isExtended(acl_t acl, FileSystemOps::AclType type)
{
    if (type == FileSystemOps::AclType::access) {
        return ::acl_equiv_mode(acl, nullptr) != 0;
    }
    acl_entry_t entry;
    return ::acl_get_entry(acl, ACL_FIRST_ENTRY, &entry) == 1;
}

bool unsupported(int error)
{
    return error == ENOTSUP || error == EOPNOTSUPP;
}

}  // namespace

FileSystemOps& FileSystemOps::posix()
{
    static PosixFileSystemOps instance;
    return instance;
}

int PosixFileSystemOps::lstat(const std::string& path, struct stat& out)
{
    return ::lstat(path.c_str(), &out) == 0 ? 0 : errno;
}

int PosixFileSystemOps::renameNoReplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    const int error = errno;
    if (error != EINVAL && error != ENOSYS) {
        return error;
    }
    // The file system does not know RENAME_NOREPLACE: check, then move.
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0) {
        return EEXIST;
    }
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int PosixFileSystemOps::makeDirectory(const std::string& path, mode_t mode)
{
    return ::mkdir(path.c_str(), mode) == 0 ? 0 : errno;
}

int PosixFileSystemOps::removeDirectory(const std::string& path)
{
    return ::rmdir(path.c_str()) == 0 ? 0 : errno;
}

int PosixFileSystemOps::removeFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

int PosixFileSystemOps::listDirectory(const std::string& path, std::vector<DirEntry>& out)
{
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    int result = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            result = errno;
            break;
        }
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        DirEntry item {name, EntryType::other};
        switch (entry->d_type) {
        case DT_DIR:
            item.type = EntryType::directory;
            break;
        case DT_LNK:
            item.type = EntryType::symlink;
            break;
        case DT_REG:
            item.type = EntryType::file;
            break;
        case DT_UNKNOWN: {
            struct stat st;
            if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
                item.type = typeFromMode(st.st_mode);
            }
            break;
        }
        default:
            break;
        }
        out.push_back(std::move(item));
    }
    ::closedir(dir);
    if (result != 0) {
        out.clear();
        return result;
    }
    std::sort(out.begin(), out.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return 0;
}

int PosixFileSystemOps::realPath(const std::string& path, std::string& out)
{
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) {
        return errno;
    }
    out = resolved;
    std::free(resolved);
    return 0;
}

int PosixFileSystemOps::volumeIsReadOnly(const std::string& path, bool& readOnly)
{
    struct statvfs info;
    if (::statvfs(path.c_str(), &info) != 0) {
        return errno;
    }
    readOnly = (info.f_flag & ST_RDONLY) != 0;
    return 0;
}

namespace {

// The inode flags (FS_IOC_GETFLAGS) of a file or folder; links are not followed.
int inodeFlags(const std::string& path, int& flags)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return errno;
    }
    const int result = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 ? 0 : errno;
    ::close(fd);
    return result;
}

}  // namespace

int PosixFileSystemOps::immutableFlag(const std::string& path, bool& immutable)
{
    int flags = 0;
    const int result = inodeFlags(path, flags);
    if (result == 0) {
        immutable = (flags & FS_IMMUTABLE_FL) != 0;
    }
    return result;
}

int PosixFileSystemOps::appendOnlyFlag(const std::string& path, bool& appendOnly)
{
    int flags = 0;
    const int result = inodeFlags(path, flags);
    if (result == 0) {
        appendOnly = (flags & FS_APPEND_FL) != 0;
    }
    return result;
}

int PosixFileSystemOps::canModifyEntries(const std::string& folder)
{
    return ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0 ? 0 : errno;
}

FileSystemOps::AclInfo PosixFileSystemOps::extendedAcl(const std::string& path)
{
    AclInfo info;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) {
        return info;  // links carry no ACL of their own
    }
    acl_t acl = ::acl_get_file(path.c_str(), ACL_TYPE_ACCESS);
    if (!acl) {
        return info;
    }
    acl_entry_t entry;
    // An access ACL equivalent to the mode bits is no extended ACL.
    if (::acl_equiv_mode(acl, nullptr) == 0 || ::acl_get_entry(acl, ACL_FIRST_ENTRY, &entry) != 1) {
        ::acl_free(acl);
        return info;
    }
    char* text = ::acl_to_text(acl, nullptr);
    if (!text) {
        info.kind = AclInfo::Kind::unconvertible;
    } else {
        info.kind = AclInfo::Kind::text;
        info.text = text;
        ::acl_free(text);
    }
    ::acl_free(acl);
    return info;
}

int PosixFileSystemOps::changeOwner(const std::string& path, uid_t owner, gid_t group)
{
    return ::lchown(path.c_str(), owner, group) == 0 ? 0 : errno;
}

int PosixFileSystemOps::changeMode(const std::string& path, mode_t mode)
{
    return ::chmod(path.c_str(), mode & 07777) == 0 ? 0 : errno;
}

int PosixFileSystemOps::copyAcl(const std::string& from, const std::string& to, AclType type)
{
    const acl_type_t kind = type == AclType::access ? ACL_TYPE_ACCESS : ACL_TYPE_DEFAULT;
    acl_t source = ::acl_get_file(from.c_str(), kind);
    if (!source) {
        return unsupported(errno) ? 0 : errno;  // a source volume without ACLs has nothing to give
    }
    const bool sourceExtended = isExtended(source, type);
    int result = 0;
    if (!sourceExtended) {
        // The target may have inherited entries from its parent's default ACL.
        acl_t target = ::acl_get_file(to.c_str(), kind);
        const bool targetExtended = target && isExtended(target, type);
        if (target) {
            ::acl_free(target);
        }
        if (targetExtended) {
            if (type == AclType::defaultAcl) {
                result = ::acl_delete_def_file(to.c_str()) == 0 ? 0 : errno;
            } else {
                result = ::acl_set_file(to.c_str(), kind, source) == 0 ? 0 : errno;
            }
        }
    } else {
        result = ::acl_set_file(to.c_str(), kind, source) == 0 ? 0 : errno;
    }
    ::acl_free(source);
    return result;
}

int PosixFileSystemOps::listExtendedAttributes(const std::string& path, std::vector<std::string>& names)
{
    names.clear();
    std::vector<char> buffer;
    for (;;) {
        const ssize_t size = ::llistxattr(path.c_str(), nullptr, 0);
        if (size < 0) {
            return unsupported(errno) ? 0 : errno;
        }
        if (size == 0) {
            return 0;
        }
        buffer.resize(static_cast<std::size_t>(size));
        const ssize_t got = ::llistxattr(path.c_str(), buffer.data(), buffer.size());
        if (got >= 0) {
            buffer.resize(static_cast<std::size_t>(got));
            break;
        }
        if (errno != ERANGE) {
            return errno;  // ERANGE: the list grew meanwhile, ask again
        }
    }
    for (std::size_t start = 0; start < buffer.size();) {
        const std::size_t end = std::find(buffer.begin() + static_cast<std::ptrdiff_t>(start), buffer.end(), '\0') - buffer.begin();
        if (end > start) {
            names.emplace_back(buffer.data() + start, end - start);
        }
        start = end + 1;
    }
    return 0;
}

int PosixFileSystemOps::copyExtendedAttribute(const std::string& from, const std::string& to, const std::string& name)
{
    std::vector<char> value;
    for (;;) {
        const ssize_t size = ::lgetxattr(from.c_str(), name.c_str(), nullptr, 0);
        if (size < 0) {
            return errno;
        }
        value.resize(static_cast<std::size_t>(size));
        const ssize_t got = ::lgetxattr(from.c_str(), name.c_str(), value.data(), value.size());
        if (got >= 0) {
            value.resize(static_cast<std::size_t>(got));
            break;
        }
        if (errno != ERANGE) {
            return errno;
        }
    }
    return ::lsetxattr(to.c_str(), name.c_str(), value.data(), value.size(), 0) == 0 ? 0 : errno;
}

int PosixFileSystemOps::setTimes(const std::string& path, const timespec& accessed, const timespec& modified)
{
    const timespec times[2] = {accessed, modified};
    return ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

}  // namespace tess
