#pragma once

// Reads what the shared application logger wrote since a mark. A test program
// normally registers IsolatedLogEnvironment; without one, the first capture
// points HOME and the XDG folders at a temporary folder for the rest of the
// program (and turns debug logging on), so the shared logger never writes to
// the real home.

#include "log/AppLogger.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tess::test {

class LogCapture {
public:
    // Marks the current end of the log; everything below reads what follows.
    LogCapture();

    // Moves the mark to the current end of the log.
    void reset();

    // Everything logged since the mark (the logger is flushed first).
    std::string text() const;
    bool contains(std::string_view fragment) const;
    // Number of lines holding `fragment`.
    int count(std::string_view fragment) const;
    // Number of lines of `level` ("DEBUG", "WARN", ...) holding `fragment`.
    int count(std::string_view level, std::string_view fragment) const;
    // Number of times `fragment` occurs (a line may hold it more than once).
    std::size_t occurrences(std::string_view fragment) const;
    // Waits until `fragment` is logged after the mark; true when it is.
    // Work queued on another thread may log a little after the call that
    // queued it returns.
    bool waitFor(std::string_view fragment, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

    // Complete lines written since the mark.
    std::vector<std::string> lines() const;
    // Messages of the lines written since the mark, in order.
    std::vector<std::string> messages() const;
    // Lines whose message (after the "[...] " prefixes) is exactly `message`.
    std::size_t countMessage(const std::string& message) const;
    // The level of the first line with this message, or empty.
    std::string levelOf(const std::string& message) const;

    // The message part of "[time] [LEVEL] [File.cpp:42] message".
    static std::string messageOf(const std::string& line);
    // The shared logger, once the home is isolated.
    static AppLogger& logger();

private:
    std::size_t m_offset = 0;
};

}  // namespace tess::test
