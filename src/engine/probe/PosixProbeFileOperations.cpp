#include "probe/PosixProbeFileOperations.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tess {

namespace {

Error posixError(const std::string& what, const std::string& path, int error)
{
    return Error {ProbeFileOperations::kPosixDomain, error, what + " " + path + ": " + std::strerror(error)};
}

// Removes `name` inside the open folder `parent`: a folder with everything in
// it, anything else (a symbolic link included) as a single entry. Returns 0
// or the errno of the first failure.
int removeAt(int parent, const char* name)
{
    struct stat info { };
    if (fstatat(parent, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno;
    }
    if (!S_ISDIR(info.st_mode)) {
        return unlinkat(parent, name, 0) == 0 ? 0 : errno;
    }
    int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    DIR* dir = fdopendir(fd);
    if (!dir) {
        int error = errno;
        close(fd);
        return error;
    }
    int failure = 0;
    while (dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        int error = removeAt(dirfd(dir), entry->d_name);
        if (error != 0 && failure == 0) {
            failure = error;
        }
    }
    closedir(dir);
    if (failure != 0) {
        return failure;
    }
    return unlinkat(parent, name, AT_REMOVEDIR) == 0 ? 0 : errno;
}

// A path holding a NUL byte would name a shorter, different path.
bool hasNul(const std::string& path)
{
    return path.find('\0') != std::string::npos;
}

}  // namespace

Status PosixProbeFileOperations::createDirectory(const std::string& path)
{
    if (hasNul(path)) {
        return posixError("Cannot create folder", path, EINVAL);
    }
    if (mkdir(path.c_str(), 0777) != 0) {
        return posixError("Cannot create folder", path, errno);
    }
    return {};
}

Result<std::vector<std::string>> PosixProbeFileOperations::listDirectory(const std::string& path)
{
    if (hasNul(path)) {
        return posixError("Cannot list folder", path, EINVAL);
    }
    DIR* dir = opendir(path.c_str());
    if (!dir) {
        return posixError("Cannot list folder", path, errno);
    }
    std::vector<std::string> names;
    errno = 0;
    while (dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            names.emplace_back(entry->d_name);
        }
        errno = 0;
    }
    int error = errno;
    closedir(dir);
    if (error != 0) {
        return posixError("Cannot list folder", path, error);
    }
    return names;
}

Status PosixProbeFileOperations::removeItem(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    std::string parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (hasNul(path) || name.empty() || name == "." || name == "..") {
        return posixError("Cannot remove", path, EINVAL);
    }
    int parentFd = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0) {
        return posixError("Cannot remove", path, errno);
    }
    int error = removeAt(parentFd, name.c_str());
    close(parentFd);
    if (error != 0) {
        return posixError("Cannot remove", path, error);
    }
    return {};
}

Status PosixProbeFileOperations::writeFile(const std::string& path, std::string_view contents)
{
    if (hasNul(path)) {
        return posixError("Cannot write file", path, EINVAL);
    }
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        return posixError("Cannot write file", path, errno);
    }
    while (!contents.empty()) {
        ssize_t written = ::write(fd, contents.data(), contents.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            int error = errno;
            close(fd);
            return posixError("Cannot write file", path, error);
        }
        contents.remove_prefix(static_cast<std::size_t>(written));
    }
    if (close(fd) != 0) {
        return posixError("Cannot write file", path, errno);
    }
    return {};
}

}  // namespace tess
