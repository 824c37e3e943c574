#include "HelperClient.h"

#include "FrameIO.h"
#include "HelperEndpoint.h"
#include "WireFormat.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace tess {

namespace {

class SocketFd {
public:
    explicit SocketFd(int fd)
        : m_fd(fd)
    {
    }
    ~SocketFd()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    SocketFd(const SocketFd&) = delete;
    SocketFd& operator=(const SocketFd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

HelperCallResult failure(HelperCallResult::Failure kind, std::string detail = {})
{
    HelperCallResult result;
    result.failure = kind;
    result.detail = std::move(detail);
    return result;
}

}  // namespace

HelperClient::HelperClient(std::string socketPath)
    : m_socketPath(std::move(socketPath))
{
}

HelperClient::HelperClient()
    : HelperClient(HelperEndpoint::socketPath())
{
}

HelperCallResult HelperClient::call(const HelperRequest& request, Timeout timeout) const
{
    using Failure = HelperCallResult::Failure;
    const auto deadline = std::chrono::steady_clock::now() + timeout;

    auto payload = WireFormat::encodeRequest(request);
    if (!payload) {
        return failure(Failure::connectFailed, "The request is too large or has the wrong number of arguments");
    }

    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (m_socketPath.empty() || m_socketPath.size() >= sizeof address.sun_path) {
        return failure(Failure::connectFailed, std::strerror(ENAMETOOLONG));
    }
    std::memcpy(address.sun_path, m_socketPath.data(), m_socketPath.size());

    // Non-blocking: a daemon whose backlog is full must not hold the caller
    // past its time-out.
    SocketFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (socket.get() < 0) {
        return failure(Failure::connectFailed, std::strerror(errno));
    }
    for (;;) {
        if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            break;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN) {
            return failure(Failure::connectFailed, std::strerror(errno));
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return failure(Failure::timedOut);
        }
        ::usleep(10'000);
    }

    switch (FrameIO::writeFrame(socket.get(), *payload, deadline)) {
    case FrameIO::Status::ok:
        break;
    case FrameIO::Status::timedOut:
        return failure(Failure::timedOut);
    default:
        return failure(Failure::noReply);
    }

    auto frame = FrameIO::readFrame(socket.get(), deadline, WireFormat::kMaxPayload);
    if (frame.status == FrameIO::Status::timedOut) {
        return failure(Failure::timedOut);
    }
    if (frame.status != FrameIO::Status::ok) {
        return failure(Failure::noReply);
    }
    auto reply = WireFormat::decodeReply(frame.payload);
    if (!reply) {
        return failure(Failure::noReply);
    }
    HelperCallResult result;
    result.reply = std::move(*reply);
    return result;
}

HelperCallResult HelperClient::testConnection(Timeout timeout) const
{
    return call({HelperSelector::testConnection, {}}, timeout);
}

HelperCallResult HelperClient::getVersion(Timeout timeout) const
{
    return call({HelperSelector::getVersion, {}}, timeout);
}

HelperCallResult HelperClient::initializeForUser(const std::string& userHome, Timeout timeout) const
{
    return call({HelperSelector::initializeForUser, {userHome}}, timeout);
}

HelperCallResult HelperClient::createDirectory(const std::string& path, Timeout timeout) const
{
    return call({HelperSelector::createDirectory, {path}}, timeout);
}

HelperCallResult HelperClient::renameFile(const std::string& sourcePath, const std::string& destinationPath, Timeout timeout) const
{
    return call({HelperSelector::renameFile, {sourcePath, destinationPath}}, timeout);
}

HelperCallResult HelperClient::mountDiskImage(const std::string& path, Timeout timeout) const
{
    return call({HelperSelector::mountDiskImage, {path}}, timeout);
}

HelperCallResult HelperClient::unmountDiskImage(const std::string& mountPoint, Timeout timeout) const
{
    return call({HelperSelector::unmountDiskImage, {mountPoint}}, timeout);
}

HelperCallResult HelperClient::applyAttributes(const std::string& templatePath, const std::string& targetPath, Timeout timeout) const
{
    return call({HelperSelector::applyAttributes, {templatePath, targetPath}}, timeout);
}

HelperCallResult HelperClient::removeDirectory(const std::string& path, Timeout timeout) const
{
    return call({HelperSelector::removeDirectory, {path}}, timeout);
}

}  // namespace tess
