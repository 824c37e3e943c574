#pragma once

#include <string>
#include <string_view>

namespace tess {

// The application's shared logger (see AppLogger.cpp for the file format,
// rotation and start banner). Any thread may log; the caller never touches
// the disk: entries are written in order on the logger's own serial queue.
class AppLogger {
public:
    // The shared instance, created on first use.
    static AppLogger& shared();

    // Queues one entry. `level` is "DEBUG", "INFO", "WARN" or "ERROR";
    // `file` and `line` are the caller's own source location.
    void log(std::string message, std::string_view level, std::string_view file, int line);

    // Queues a change of the debug flag.
    void setDebugEnabled(bool enabled);
};

}  // namespace tess

#define TESS_LOG(level, message) ::tess::AppLogger::shared().log((message), (level), __FILE__, __LINE__)
#define TESS_LOG_DEBUG(message) TESS_LOG("DEBUG", message)
#define TESS_LOG_INFO(message) TESS_LOG("INFO", message)
#define TESS_LOG_WARN(message) TESS_LOG("WARN", message)
#define TESS_LOG_ERROR(message) TESS_LOG("ERROR", message)
