#pragma once

#include "LogFile.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace tess {

// The daemon's own text log. The daemon learns whose log folder to use only
// when a client hands over its user's home; until then finished lines wait
// in a bounded buffer. The first hand-over fixes the main log,
// <home>/.local/state/quenby/Tessaline-helper.log, and writes the buffer
// out in order. Formatting and writing run on one worker thread in queue
// order.
//
// An entry is either the daemon's own (start, stop) and goes to the main
// log, or a client's, tagged with the client's uid (its connection, its
// requests): it goes to the log of that user's own hand-over, or to root's
// log when that user handed none over, never into another user's file.
// Root's log keeps the record of what was done as root apart from the rest
// (see Record), and holds every client's record lines, also those of a
// client that writes to a log of its own.
//
// Clients cannot make the log grow without bound: the queue holds at most a
// fixed number of bytes (what does not fit is dropped and counted, then
// reported in one line), an entry is cut at LogText::kMessageLimit, and
// each file is rotated once at its size limit (LogFile).
class HelperLogger {
public:
    static constexpr std::size_t kDefaultBufferLimit = 1024 * 1024;  // bytes before the hand-over
    static constexpr std::size_t kDefaultQueueLimit = 4 * 1024 * 1024;  // bytes waiting to be written
    static constexpr std::size_t kMaxUserLogs = 64;
    static constexpr std::string_view kLogFileName = LogFile::kUserLogName;
    static constexpr const char* kDefaultRootLog = "/var/log/app.quenby.tessaline.helper.log";

    // What a client's entry records. An action is a line of a request that
    // polkit authorised: what was done as root, and how it ended. Anything
    // else (connections, refusals, pings, hand-overs) is activity, which a
    // client can cause at will. Root's log writes activity to a file of its
    // own (activityLogPath), each file rotated at its own limit, so that no
    // amount of activity rotates the record of actions away.
    enum class Record { action,
        activity };

    // The process's logger, created on first use and never destroyed, so that
    // threads still running at exit can log safely.
    static HelperLogger& shared();

    explicit HelperLogger(std::size_t bufferLimit = kDefaultBufferLimit, std::size_t queueLimit = kDefaultQueueLimit);
    ~HelperLogger();  // writes what is queued, then stops the worker
    HelperLogger(const HelperLogger&) = delete;
    HelperLogger& operator=(const HelperLogger&) = delete;

    // Where root's log is written (empty: nowhere) and the size at which a
    // file is rotated. Takes effect for the entries queued after it.
    void configure(std::string rootLogPath, std::size_t fileSizeLimit);

    // Queues one of the daemon's entries and returns at once. Characters
    // that are not printable are written escaped (LogText::escape), so that
    // no file name can start a line of its own.
    void log(std::string message, std::string_view level);
    // The same for an entry about the client `client`.
    void log(std::string message, std::string_view level, uid_t client, Record record = Record::activity);
    // The daemon's own fixed texts, written as they are.
    void logFixedText(std::string message, std::string_view level);

    // `text` with its non-printable characters escaped (LogText::escape).
    static std::string escapeControls(std::string_view text);

    // The first call fixes the main log from `home` and writes out the
    // buffer; every call gives `owner` its own log, unless it has one.
    // Returns once that work is done.
    void setUserHome(const std::string& home, uid_t owner, gid_t ownerGroup);

    // Waits until every queued entry is processed, at most `limit`.
    bool drain(std::chrono::milliseconds limit);

    // The main log's path, once fixed.
    std::optional<std::string> logPath();

    // "<home>/.local/state/quenby/Tessaline-helper.log"
    static std::string logPathForHome(const std::string& home);
    // Where root's log writes the activity of clients: "<name>.activity.log"
    // beside "<name>.log".
    static std::string activityLogPath(const std::string& rootLogPath);

private:
    struct Task {
        std::function<void()> run;
        std::size_t bytes = 0;
    };
    struct Client {
        uid_t uid = 0;
        Record record = Record::activity;
    };
    struct Buffered {
        std::string line;
        std::string recordLine;  // an action's line as root's record writes it
        std::optional<Client> client;
    };

    void enqueueEntry(std::string message, std::string level, std::optional<Client> client);
    // A droppable task is dropped (and counted) when the queue is full.
    void enqueue(std::function<void()> task, std::size_t bytes, bool droppable);
    void runTask(std::function<void()>& task);
    void runWorker();
    void reportDropped(std::unique_lock<std::mutex>& lock);
    void processEntry(const std::string& message, const std::string& level, std::optional<Client> client);
    void handOver(const std::string& home, uid_t owner, gid_t ownerGroup);
    void writeBuffer(uid_t mainOwner);
    // The file for an entry of `client` (none: the daemon's); null for none.
    const LogFile* destination(const std::optional<Client>& client);
    // Root's file for `record`; null when root's log is off.
    const LogFile* rootLog(Record record);
    static std::string formatLine(const std::string& message, const std::string& level);
    // A line of root's record: the client's uid follows the level, so that
    // the record says whose request root acted on.
    static std::string recordLine(const std::string& message, const std::string& level, uid_t client);
    static std::string timestamp();

    // Worker state.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Task> m_queue;
    std::size_t m_queuedBytes = 0;
    std::size_t m_queueDropped = 0;
    const std::size_t m_queueLimit;
    bool m_busy = false;
    bool m_stopping = false;
    std::thread m_worker;

    // Touched only on the worker, except logPath() which locks m_pathMutex.
    std::mutex m_pathMutex;
    std::optional<std::string> m_logPath;
    std::optional<uid_t> m_mainOwner;
    std::map<uid_t, LogFile> m_userLogs;
    std::optional<LogFile> m_rootLog;
    std::optional<LogFile> m_rootActivityLog;
    std::string m_rootLogPath = kDefaultRootLog;
    std::size_t m_fileSizeLimit = LogFile::kDefaultSizeLimit;
    std::vector<Buffered> m_bufferedMessages;
    std::size_t m_bufferedBytes = 0;
    std::size_t m_droppedMessages = 0;
    const std::size_t m_bufferLimit;
};

}  // namespace tess
