#include "HelperListener.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace tess {

namespace {

constexpr int kSystemdFirstFd = 3;
constexpr int kBacklog = 64;
constexpr long kMaxPassedFds = 64;

Failure systemError(std::string_view what)
{
    return {std::string(what) + ": " + std::strerror(errno)};
}

}  // namespace

HelperListener::~HelperListener()
{
    close();
}

Outcome HelperListener::open(const std::string& path, std::optional<gid_t> adminGroup)
{
    bool adopted = false;
    if (Outcome systemd = adoptSystemdSocket(adopted); !systemd || adopted) {
        return systemd;
    }
    return bindOwn(path, adminGroup);
}

Outcome HelperListener::adoptSystemdSocket(bool& adopted)
{
    const char* pid = std::getenv("LISTEN_PID");
    const char* fds = std::getenv("LISTEN_FDS");
    if (pid == nullptr || fds == nullptr) {
        return Outcome::success();
    }
    bool forUs = std::strtol(pid, nullptr, 10) == static_cast<long>(::getpid());
    long count = std::strtol(fds, nullptr, 10);
    ::unsetenv("LISTEN_PID");
    ::unsetenv("LISTEN_FDS");
    ::unsetenv("LISTEN_FDNAMES");
    if (!forUs || count < 1) {
        return Outcome::success();
    }
    adopted = true;

    int fd = kSystemdFirstFd;
    int type = 0;
    int listening = 0;
    socklen_t length = sizeof type;
    if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0) {
        return systemError("The socket passed by systemd is unusable");
    }
    length = sizeof listening;
    if (type != SOCK_STREAM || ::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) != 0 || !listening) {
        return Failure {"The socket passed by systemd is not a listening stream socket"};
    }
    // Whatever else systemd passed must not reach the programs the daemon
    // runs as root.
    for (long extra = 0; extra < count && extra < kMaxPassedFds; ++extra) {
        ::fcntl(kSystemdFirstFd + static_cast<int>(extra), F_SETFD, FD_CLOEXEC);
    }
    m_fd = fd;
    m_fromSystemd = true;
    return Outcome::success();
}

Outcome HelperListener::bindOwn(const std::string& path, std::optional<gid_t> adminGroup)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        return Failure {"Socket path is empty or too long: " + path};
    }
    std::memcpy(address.sun_path, path.data(), path.size());

    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return systemError("Cannot create socket");
    }

    // A socket file left by an earlier run is replaced; a live daemon, or
    // anything that is not a socket, is left alone.
    struct stat info { };
    if (::lstat(path.c_str(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode)) {
            ::close(fd);
            return Failure {"Something other than a socket exists at " + path};
        }
        int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        bool live = probe >= 0 && ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        if (probe >= 0) {
            ::close(probe);
        }
        if (live) {
            ::close(fd);
            return Failure {"Another daemon is listening on " + path};
        }
        ::unlink(path.c_str());
    }

    // The socket is made with its final mode (never changed afterwards
    // through a path that could have become a link); until the group is set
    // it is root's group, so nobody else can connect meanwhile.
    mode_t previous = ::umask(adminGroup ? 0117 : 0177);
    int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::umask(previous);
    if (bound != 0) {
        Failure failure = systemError("Cannot bind " + path);
        ::close(fd);
        return failure;
    }
    m_boundPath = path;
    if (adminGroup && ::lchown(path.c_str(), 0, *adminGroup) != 0) {
        Failure failure = systemError("Cannot set the owner of " + path);
        ::close(fd);
        close();
        return failure;
    }
    if (::listen(fd, kBacklog) != 0) {
        Failure failure = systemError("Cannot listen on " + path);
        ::close(fd);
        close();
        return failure;
    }
    m_fd = fd;
    return Outcome::success();
}

void HelperListener::close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    m_fd = -1;
    if (!m_boundPath.empty()) {
        ::unlink(m_boundPath.c_str());
    }
    m_boundPath.clear();
}

}  // namespace tess
