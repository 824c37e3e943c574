#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace tess {

// Length-prefixed frames on a stream socket: a 4-byte big-endian payload
// length, then the payload. Every wait is bounded by a deadline (poll), the
// announced length is checked before anything else is read, and writes never
// raise SIGPIPE.
class FrameIO {
public:
    using Deadline = std::chrono::steady_clock::time_point;

    enum class Status {
        ok,
        closed,  // the peer hung up before the first byte of a frame
        timedOut,  // the deadline passed
        malformed,  // empty or oversized length, or a hang-up inside a frame
        ioError,  // the socket failed
    };

    struct ReadResult {
        Status status = Status::ioError;
        std::string payload;
    };

    // `maxPayload` bounds the announced length; larger frames are refused
    // without reading their payload.
    static ReadResult readFrame(int fd, Deadline deadline, std::size_t maxPayload);
    static Status writeFrame(int fd, std::string_view payload, Deadline deadline);

    // The frame header for a payload of `length` bytes.
    static std::string header(std::size_t length);
};

}  // namespace tess
