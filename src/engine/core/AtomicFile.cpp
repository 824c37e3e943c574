#include "core/AtomicFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace tess {

namespace {

Error fileError(std::string message)
{
    return Error {kAppErrorDomain, -1, std::move(message)};
}

std::string nameOf(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string AtomicFile::folderOf(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string AtomicFile::followLink(const std::string& path)
{
    struct stat info { };
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
        return path;
    }
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

Status AtomicFile::writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fileError(std::strerror(errno));
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

void AtomicFile::syncFolder(const std::string& folder)
{
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

Status AtomicFile::write(const std::string& path, std::string_view bytes, std::optional<mode_t> mode)
{
    return write(
        path, [bytes](int fd) { return writeAll(fd, bytes); }, mode);
}

Status AtomicFile::write(const std::string& path, const std::function<Status(int fd)>& fill, std::optional<mode_t> mode)
{
    const std::string folder = folderOf(path);
    std::string temp = folder + "/." + nameOf(path) + ".tmp-XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        // The hidden temporary file means nothing to a reader: name the target.
        return fileError("Cannot write " + path + ": " + std::strerror(errno));
    }
    Status written = fill(fd);
    if (written && mode && fchmod(fd, *mode) != 0) {
        written = fileError(std::strerror(errno));
    }
    if (written && fsync(fd) != 0) {
        written = fileError(std::strerror(errno));
    }
    if (close(fd) != 0 && written) {
        written = fileError(std::strerror(errno));
    }
    if (!written) {
        unlink(temp.c_str());
        return fileError("Cannot write " + path + ": " + written.error().message);
    }
    if (rename(temp.c_str(), path.c_str()) != 0) {
        int error = errno;
        unlink(temp.c_str());
        return fileError("Cannot replace " + path + ": " + std::strerror(error));
    }
    syncFolder(folder);
    return {};
}

}  // namespace tess
