#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tess {

class NotificationCenter;

// The application's shared logger (see AppLogger.cpp for the file format,
// rotation and start banner). Any thread may log; the caller never touches
// the disk: entries are written in order on the logger's own serial queue.
class AppLogger {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    // Where and how a logger writes. defaultOptions() gives the shared
    // logger's; tests build their own.
    struct Options {
        std::string logFolder;  // holds "Tessaline-app.log" and its rotated copies
        std::string defaultsPath;  // stored defaults, read once for the debug flag
        std::string version = "unknown";  // shown in the start banner
        NotificationCenter* notificationCenter = nullptr;  // null: the default centre
        Clock clock;  // empty: the system clock
    };

    static constexpr std::int64_t kRotationSize = 5 * 1024 * 1024;
    static constexpr std::size_t kKeptRotatedLogs = 10;
    static constexpr const char* kQueueLabel = "app.quenby.Tessaline.app.logging";
    static constexpr const char* kLogFileName = "Tessaline-app.log";

    // The shared instance, created on first use and never destroyed; at
    // process exit its queue is given at most one second to finish.
    static AppLogger& shared();
    static Options defaultOptions();

    // Writes the start banner at once, then queues the rotation check.
    explicit AppLogger(Options options);
    // Waits at most one second for queued entries, then drops the rest.
    ~AppLogger();
    AppLogger(const AppLogger&) = delete;
    AppLogger& operator=(const AppLogger&) = delete;

    // Queues one entry. `level` is "DEBUG", "INFO", "WARN" or "ERROR";
    // `file` and `line` are the caller's own source location.
    void log(std::string message, std::string_view level, std::string_view file, int line);

    // Queues a change of the debug flag.
    void setDebugEnabled(bool enabled);

    // Waits until everything queued so far has been written.
    void flush();
    // Like flush, but waits at most `timeout`; true when the queue caught up.
    bool drain(std::chrono::milliseconds timeout);

    // Full path of the current log file.
    const std::string& logFilePath() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
    NotificationCenter* m_center = nullptr;
    std::uint64_t m_observerToken = 0;
};

}  // namespace tess

#define TESS_LOG(level, message) ::tess::AppLogger::shared().log((message), (level), __FILE__, __LINE__)
#define TESS_LOG_DEBUG(message) TESS_LOG("DEBUG", message)
#define TESS_LOG_INFO(message) TESS_LOG("INFO", message)
#define TESS_LOG_WARN(message) TESS_LOG("WARN", message)
#define TESS_LOG_ERROR(message) TESS_LOG("ERROR", message)
