#include "LogCapture.h"

#include "IsolatedLogEnvironment.h"
#include "TestEnvironment.h"

#include <sstream>
#include <thread>

namespace tess::test {

LogCapture::LogCapture()
{
    reset();
}

void LogCapture::reset()
{
    logger();
    m_offset = appLogContents().size();
}

AppLogger& LogCapture::logger()
{
    if (!IsolatedLogEnvironment::active()) {
        // No environment registered: isolate for the rest of the program.
        static const bool isolated = [] {
            static IsolatedHome home;
            AppLogger::shared().setDebugEnabled(true);
            return true;
        }();
        (void)isolated;
    }
    return AppLogger::shared();
}

std::string LogCapture::text() const
{
    const std::string all = appLogContents();
    return all.size() > m_offset ? all.substr(m_offset) : std::string();
}

bool LogCapture::contains(std::string_view fragment) const
{
    return text().find(fragment) != std::string::npos;
}

int LogCapture::count(std::string_view fragment) const
{
    int found = 0;
    for (const auto& line : lines()) {
        found += line.find(fragment) != std::string::npos ? 1 : 0;
    }
    return found;
}

int LogCapture::count(std::string_view level, std::string_view fragment) const
{
    const std::string tag = "[" + std::string(level) + "]";
    int found = 0;
    for (const auto& line : lines()) {
        found += line.find(tag) != std::string::npos && line.find(fragment) != std::string::npos ? 1 : 0;
    }
    return found;
}

std::size_t LogCapture::occurrences(std::string_view fragment) const
{
    const std::string all = text();
    std::size_t n = 0;
    for (std::size_t at = all.find(fragment); at != std::string::npos; at = all.find(fragment, at + 1)) {
        ++n;
    }
    return n;
}

bool LogCapture::waitFor(std::string_view fragment, std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        if (contains(fragment)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

std::vector<std::string> LogCapture::lines() const
{
    std::istringstream in(text());
    std::vector<std::string> result;
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

std::vector<std::string> LogCapture::messages() const
{
    std::vector<std::string> result;
    for (const auto& line : lines()) {
        result.push_back(messageOf(line));
    }
    return result;
}

std::size_t LogCapture::countMessage(const std::string& message) const
{
    std::size_t n = 0;
    for (const auto& line : lines()) {
        n += messageOf(line) == message ? 1 : 0;
    }
    return n;
}

std::string LogCapture::levelOf(const std::string& message) const
{
    for (const auto& line : lines()) {
        if (messageOf(line) == message) {
            const auto open = line.find("] [");
            const auto close = line.find(']', open + 3);
            if (open != std::string::npos && close != std::string::npos) {
                return line.substr(open + 3, close - open - 3);
            }
        }
    }
    return {};
}

std::string LogCapture::messageOf(const std::string& line)
{
    std::size_t position = 0;
    for (int field = 0; field < 3; ++field) {
        if (position >= line.size() || line[position] != '[') {
            break;
        }
        const auto close = line.find("] ", position);
        if (close == std::string::npos) {
            break;
        }
        position = close + 2;
    }
    return line.substr(position);
}

}  // namespace tess::test
