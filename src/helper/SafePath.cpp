#include "SafePath.h"

#include "MountTable.h"
#include "PathRules.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tess {

namespace {

constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool isUnder(std::string_view path, std::string_view root)
{
    return path.substr(0, root.size()) == root && (path.size() == root.size() || path[root.size()] == '/');
}

// Whether the folder open as `fd` lies on a kernel or device file system, or
// on a file system mounted at or below /dev, /proc or /sys, whatever path
// it was reached by (a bind mount of /dev elsewhere is still /dev).
bool onPseudoFileSystem(int fd)
{
    struct statfs system { };
    if (::fstatfs(fd, &system) != 0) {
        return true;
    }
    switch (system.f_type) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEVPTS_SUPER_MAGIC:
    case SECURITYFS_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case BPF_FS_MAGIC:
    case EFIVARFS_MAGIC:
    case PSTOREFS_MAGIC:
    case BINFMTFS_MAGIC:
        return true;
    default:
        break;
    }
    struct stat info { };
    if (::fstat(fd, &info) != 0) {
        return true;
    }
    // A disk's file system bound to a single file there (a container's
    // /dev/termination-log) does not make the whole disk a device folder.
    const MountTable table = MountTable::read();
    for (const auto& mount : table.mounts()) {
        bool special = isUnder(mount.mountPoint, "/dev") || isUnder(mount.mountPoint, "/proc") || isUnder(mount.mountPoint, "/sys");
        if (special && mount.device == info.st_dev && mount.source.rfind("/dev/", 0) != 0) {
            return true;
        }
    }
    return false;
}

// The whole path in one call, where the kernel has openat2. -1 with errno
// set otherwise.
int openWithoutLinks(const std::string& path)
{
#ifdef SYS_openat2
    open_how how {};
    how.flags = static_cast<__u64>(O_PATH | O_DIRECTORY | O_CLOEXEC);
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    return static_cast<int>(::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how));
#else
    (void)path;
    errno = ENOSYS;
    return -1;
#endif
}

}  // namespace

std::string SafePath::Failure::describe() const
{
    switch (kind) {
    case Kind::none:
        return {};
    case Kind::link:
        return "Refused to follow a symbolic link: " + at;
    case Kind::forbidden:
        return "Refused a path under /proc, /sys or /dev: " + at;
    case Kind::failed:
        break;
    }
    return "Could not create directory " + at + ": " + std::strerror(error);
}

bool SafePath::isForbidden(std::string_view path)
{
    auto standardized = PathRules::standardize(path);
    if (!standardized) {
        return false;
    }
    for (std::string_view root : {"/proc", "/sys", "/dev"}) {
        if (isUnder(*standardized, root)) {
            return true;
        }
    }
    return false;
}

std::string SafePath::lastComponent(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    auto slash = path.rfind('/');
    if (slash == std::string_view::npos) {
        return std::string(path);
    }
    return std::string(path.substr(slash + 1));
}

UniqueFd SafePath::openFolder(std::string_view path, bool create, Failure& failure)
{
    failure = {};
    const std::string whole(path);
    UniqueFd quick(openWithoutLinks(whole));
    if (quick.valid()) {
        if (onPseudoFileSystem(quick.get())) {
            failure = {Failure::Kind::forbidden, 0, whole};
            return {};
        }
        return quick;
    }

    // One component at a time: where openat2 is missing, to make missing
    // folders, and to name the component that failed.
    UniqueFd current(::open("/", kFolderFlags));
    if (!current.valid()) {
        failure = {Failure::Kind::failed, errno, "/"};
        return {};
    }
    std::string walked;
    std::size_t start = 0;
    while (start < path.size()) {
        auto slash = path.find('/', start);
        auto end = slash == std::string_view::npos ? path.size() : slash;
        const std::string name(path.substr(start, end - start));
        start = end + 1;
        if (name.empty() || name == ".") {
            continue;
        }
        walked += "/" + name;
        int next = ::openat(current.get(), name.c_str(), kFolderFlags);
        if (next < 0 && errno == ENOENT && create && name != "..") {
            if (::mkdirat(current.get(), name.c_str(), 0777) != 0 && errno != EEXIST) {
                failure = {Failure::Kind::failed, errno, walked};
                return {};
            }
            next = ::openat(current.get(), name.c_str(), kFolderFlags);
        }
        if (next < 0) {
            int error = errno;
            struct stat info { };
            if (::fstatat(current.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
                if (S_ISLNK(info.st_mode)) {
                    failure = {Failure::Kind::link, ELOOP, walked};
                    return {};
                }
                if (!S_ISDIR(info.st_mode)) {
                    error = ENOTDIR;
                }
            }
            failure = {Failure::Kind::failed, error, walked};
            return {};
        }
        current.reset(next);
        // O_PATH with O_NOFOLLOW opens a link itself instead of failing.
        struct stat info { };
        if (::fstat(current.get(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            failure = {Failure::Kind::link, ELOOP, walked};
            return {};
        }
    }
    if (onPseudoFileSystem(current.get())) {
        failure = {Failure::Kind::forbidden, 0, whole};
        return {};
    }
    return current;
}

}  // namespace tess
