#include "FrameIO.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tess {

namespace {

using Clock = std::chrono::steady_clock;

// Waits until `fd` is ready for `events` or the deadline passes.
FrameIO::Status waitFor(int fd, short events, FrameIO::Deadline deadline)
{
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return FrameIO::Status::timedOut;
        }
        pollfd entry {fd, events, 0};
        int timeout = left.count() > 60'000 ? 60'000 : static_cast<int>(left.count());
        int ready = ::poll(&entry, 1, timeout);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return FrameIO::Status::ioError;
        }
        if (ready > 0) {
            return FrameIO::Status::ok;
        }
    }
}

enum class Fill { full,
    eofAtStart,
    eofInside,
    timedOut,
    ioError };

Fill readExactly(int fd, char* data, std::size_t size, FrameIO::Deadline deadline)
{
    std::size_t done = 0;
    while (done < size) {
        auto wait = waitFor(fd, POLLIN, deadline);
        if (wait == FrameIO::Status::timedOut) {
            return Fill::timedOut;
        }
        if (wait != FrameIO::Status::ok) {
            return Fill::ioError;
        }
        ssize_t got = ::recv(fd, data + done, size - done, MSG_DONTWAIT);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) {
                continue;
            }
            if (errno == ECONNRESET) {
                return done == 0 ? Fill::eofAtStart : Fill::eofInside;
            }
            return Fill::ioError;
        }
        if (got == 0) {
            return done == 0 ? Fill::eofAtStart : Fill::eofInside;
        }
        done += static_cast<std::size_t>(got);
    }
    return Fill::full;
}

}  // namespace

std::string FrameIO::header(std::size_t length)
{
    auto value = static_cast<std::uint32_t>(length);
    return {static_cast<char>((value >> 24) & 0xFF), static_cast<char>((value >> 16) & 0xFF),
        static_cast<char>((value >> 8) & 0xFF), static_cast<char>(value & 0xFF)};
}

FrameIO::ReadResult FrameIO::readFrame(int fd, Deadline deadline, std::size_t maxPayload)
{
    char head[4];
    switch (readExactly(fd, head, sizeof head, deadline)) {
    case Fill::full:
        break;
    case Fill::eofAtStart:
        return {Status::closed, {}};
    case Fill::eofInside:
        return {Status::malformed, {}};
    case Fill::timedOut:
        return {Status::timedOut, {}};
    case Fill::ioError:
        return {Status::ioError, {}};
    }
    std::uint32_t length = 0;
    for (char byte : head) {
        length = (length << 8) | static_cast<std::uint8_t>(byte);
    }
    if (length == 0 || length > maxPayload) {
        return {Status::malformed, {}};
    }

    ReadResult result {Status::ok, std::string(length, '\0')};
    switch (readExactly(fd, result.payload.data(), length, deadline)) {
    case Fill::full:
        return result;
    case Fill::eofAtStart:
    case Fill::eofInside:
        return {Status::malformed, {}};
    case Fill::timedOut:
        return {Status::timedOut, {}};
    case Fill::ioError:
        break;
    }
    return {Status::ioError, {}};
}

FrameIO::Status FrameIO::writeFrame(int fd, std::string_view payload, Deadline deadline)
{
    std::string frame = header(payload.size());
    frame.append(payload);
    std::size_t done = 0;
    while (done < frame.size()) {
        auto wait = waitFor(fd, POLLOUT, deadline);
        if (wait != Status::ok) {
            return wait;
        }
        ssize_t sent = ::send(fd, frame.data() + done, frame.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) {
                continue;
            }
            return Status::ioError;
        }
        done += static_cast<std::size_t>(sent);
    }
    return Status::ok;
}

}  // namespace tess
