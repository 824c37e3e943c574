#pragma once

// Reads what the shared application logger wrote since a mark. The first use
// points HOME and the XDG folders at a temporary folder for the rest of the
// test program, so the shared logger writes there and never to the real home.
// Header-only; link tessaline_engine_log.

#include "TestEnvironment.h"
#include "log/AppLogger.h"

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tess::test {

class LogCapture {
public:
    // Marks the current end of the log; lines() returns what follows.
    LogCapture()
    {
        logger();
        m_offset = currentSize();
    }

    // Complete lines written since the mark (the logger is flushed first).
    std::vector<std::string> lines() const
    {
        logger().flush();
        std::ifstream in(logger().logFilePath(), std::ios::binary);
        in.seekg(static_cast<std::streamoff>(m_offset));
        std::vector<std::string> result;
        std::string line;
        while (std::getline(in, line))
            result.push_back(line);
        return result;
    }

    // Lines whose message (after the "[...] " prefixes) is exactly `message`.
    std::size_t count(const std::string& message) const
    {
        std::size_t n = 0;
        for (const auto& line : lines())
            n += messageOf(line) == message ? 1 : 0;
        return n;
    }

    // Messages of the lines written since the mark, in order.
    std::vector<std::string> messages() const
    {
        std::vector<std::string> result;
        for (const auto& line : lines())
            result.push_back(messageOf(line));
        return result;
    }

    // The level of the first line with this message, or empty.
    std::string levelOf(const std::string& message) const
    {
        for (const auto& line : lines()) {
            if (messageOf(line) == message) {
                auto open = line.find("] [");
                auto close = line.find(']', open + 3);
                if (open != std::string::npos && close != std::string::npos)
                    return line.substr(open + 3, close - open - 3);
            }
        }
        return {};
    }

    // The message part of "[time] [LEVEL] [File.cpp:42] message".
    static std::string messageOf(const std::string& line)
    {
        std::size_t position = 0;
        for (int field = 0; field < 3; ++field) {
            if (position >= line.size() || line[position] != '[')
                break;
            auto close = line.find("] ", position);
            if (close == std::string::npos)
                break;
            position = close + 2;
        }
        return line.substr(position);
    }

    static AppLogger& logger()
    {
        static IsolatedHome home;  // kept for the whole program
        (void)home;
        static AppLogger& shared = []() -> AppLogger& {
            AppLogger& instance = AppLogger::shared();
            instance.setDebugEnabled(true);
            instance.flush();
            return instance;
        }();
        return shared;
    }

private:
    static std::size_t currentSize()
    {
        logger().flush();
        std::ifstream in(logger().logFilePath(), std::ios::binary | std::ios::ate);
        return in ? static_cast<std::size_t>(in.tellg()) : 0;
    }

    std::size_t m_offset = 0;
};

}  // namespace tess::test
