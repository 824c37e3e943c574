#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace tess {

// The daemon's own text log. The daemon learns whose log folder to use only
// when the application hands over the user's home; until then finished lines
// wait in a bounded buffer. The first hand-over fixes the file
// <home>/.local/state/quenby/Tessaline-helper.log, writes the buffer out in
// order and appends every later line. Formatting and writing run on one
// worker thread in queue order.
//
// The daemon runs as root inside a folder tree that the user controls, so
// folders below the home are opened without following symbolic links, the
// log is opened with O_NOFOLLOW and refused unless it is a regular file with
// a single link, and what the logger creates is given to the user.
class HelperLogger {
public:
    static constexpr std::size_t kDefaultBufferLimit = 1024 * 1024;  // bytes
    static constexpr std::string_view kLogFileName = "Tessaline-helper.log";

    // The process's logger, created on first use and never destroyed, so that
    // threads still running at exit can log safely.
    static HelperLogger& shared();

    explicit HelperLogger(std::size_t bufferLimit = kDefaultBufferLimit);
    ~HelperLogger();  // writes what is queued, then stops the worker
    HelperLogger(const HelperLogger&) = delete;
    HelperLogger& operator=(const HelperLogger&) = delete;

    // Queues one entry and returns at once. Control characters in the
    // message are written escaped (a line feed as "\\n", others as "\\xNN"),
    // so that no file name can start a line of its own.
    void log(std::string message, std::string_view level);
    // The same for the daemon's own fixed texts, written as they are.
    void logFixedText(std::string message, std::string_view level);

    // `text` with its control characters (C0, DEL and C1) escaped.
    static std::string escapeControls(std::string_view text);

    // Fixes the log location from `home` on the first call and writes out the
    // buffer; later calls change nothing. Returns once that work is done.
    void setUserHome(const std::string& home, uid_t owner, gid_t ownerGroup);

    // Waits until every queued entry is processed, at most `limit`.
    bool drain(std::chrono::milliseconds limit);

    std::optional<std::string> logPath();

    // "<home>/.local/state/quenby/Tessaline-helper.log"
    static std::string logPathForHome(const std::string& home);

private:
    void enqueue(std::function<void()> task);
    void runTask(std::function<void()>& task);
    void runWorker();
    void processEntry(const std::string& message, const std::string& level);
    void handOver(const std::string& home, uid_t owner, gid_t ownerGroup);
    void appendToFile(const std::string& text);
    static std::string timestamp();

    // Worker state.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::function<void()>> m_queue;
    bool m_busy = false;
    bool m_stopping = false;
    std::thread m_worker;

    // Touched only on the worker, except logPath() which locks m_pathMutex.
    std::mutex m_pathMutex;
    std::optional<std::string> m_logPath;
    std::string m_home;
    uid_t m_owner = 0;
    gid_t m_ownerGroup = 0;
    std::vector<std::string> m_bufferedMessages;
    std::size_t m_bufferedBytes = 0;
    std::size_t m_droppedMessages = 0;
    const std::size_t m_bufferLimit;
};

}  // namespace tess
