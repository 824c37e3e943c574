#pragma once

#include "HelperListener.h"
#include "LogFile.h"
#include "LogLimiter.h"
#include "SystemNotifier.h"
#include "UserDirectory.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>

namespace tess {

class ConnectionRegistry;
class HelperLogger;
class HelperToolService;
struct HelperRequest;
struct PeerContext;

// The daemon's life: start-up, the accept loop, and the stop on SIGTERM.
// SIGTERM must be blocked in every thread before the daemon (or anything that
// starts a thread) is created; it is then read from a signalfd.
class HelperDaemon {
public:
    static constexpr const char* kDidBecomeActive = "app.quenby.tessaline.helper.didBecomeActive";
    static constexpr const char* kDidBecomeInactive = "app.quenby.tessaline.helper.didBecomeInactive";
    static constexpr const char* kRootLogVariable = "TESSALINE_HELPER_ROOT_LOG";
    static constexpr const char* kLogSizeLimitVariable = "TESSALINE_HELPER_LOG_SIZE_LIMIT";

    struct Config {
        std::string socketPath;
        std::optional<gid_t> adminGroup;
        UserDirectory users;
        std::string diskImageTool;
        std::chrono::milliseconds childTimeLimit {60000};
        // Root's own log, for the entries of clients that handed over no
        // home (empty: none), and the size at which a log file is rotated.
        std::string rootLogPath;
        std::size_t logSizeLimit = LogFile::kDefaultSizeLimit;
        // Reads a peer's start time (0: unreadable); empty for /proc.
        std::function<std::uint64_t(pid_t)> startTimeReader;
        // Test builds only: runs before each request is handled, and between
        // the checks of a rename, attribute copy or removal and its change
        // (HelperToolService::CheckpointHook).
        std::function<void(const HelperRequest&)> requestHook;
        std::function<void(const std::string&, const std::string&)> checkpointHook;
    };

    // The socket (TESSALINE_HELPER_SOCKET), the administrators' group
    // (TESSALINE_HELPER_ADMIN_GROUP), the system's password database, the
    // installed disk-image program, the time limit for the programs the
    // daemon runs (TESSALINE_HELPER_CHILD_TIME_LIMIT, in seconds), root's
    // log (TESSALINE_HELPER_ROOT_LOG, an absolute path) and the size limit
    // of a log file (TESSALINE_HELPER_LOG_SIZE_LIMIT, in bytes).
    static Config configFromEnvironment();

    HelperDaemon(HelperLogger& logger, Config config);
    ~HelperDaemon();
    HelperDaemon(const HelperDaemon&) = delete;
    HelperDaemon& operator=(const HelperDaemon&) = delete;

    // Runs until SIGTERM. Returns the process's exit status: 0 after SIGTERM,
    // non-zero when it could not listen.
    int run();

private:
    void acceptConnection();
    // A line about the connection of `uid`, as the user's budget allows.
    void logAbout(uid_t uid, LogLimiter::Kind kind, std::string text);
    void stop();
    int fail(const std::string& why);

    HelperLogger& m_logger;
    Config m_config;
    std::shared_ptr<HelperToolService> m_service;
    std::shared_ptr<ConnectionRegistry> m_connections;
    std::shared_ptr<LogLimiter> m_limits;
    HelperListener m_listener;
    SystemNotifier m_notifier;
    int m_signalFd = -1;
};

}  // namespace tess
