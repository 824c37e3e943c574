#pragma once

#include "index/IndexFileCheck.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace tess {

// The full integrity check of an index file (IndexFileCheck::fullCheck), run
// once on a thread and a read-only connection of its own, at a moment the
// index is idle: no hold has existed for a quiet while (a statement, a scan,
// a re-analysis and a background write hold it while they run). A hold stops a check
// that runs within a few milliseconds; it starts again from the beginning
// once the index is idle again. The check never waits for the index's
// statements, nor they for it (write-ahead logging lets it read beside them).
//
// What it finds is handed to `report` on the check's thread: the file is
// damaged (also when the check itself met SQLITE_CORRUPT), or it could not be
// read. A sound file is only logged.
class IdleIntegrityCheck {
public:
    using Report = std::function<void(const IndexFileCheck::Integrity&)>;

    IdleIntegrityCheck(std::string path, std::chrono::milliseconds quiet, Report report);
    // Stops a check that runs and waits for its thread (unless called on it).
    ~IdleIntegrityCheck();
    IdleIntegrityCheck(const IdleIntegrityCheck&) = delete;
    IdleIntegrityCheck& operator=(const IdleIntegrityCheck&) = delete;

    // While at least one hold exists no check runs; the quiet while starts
    // when the last one is released.
    void hold();
    void release();
    // No check runs any more (one that runs stops).
    void stop();

    // True once the check has run to its end (whatever it found) or was
    // stopped for good.
    bool isFinished() const;

private:
    void run() noexcept;
    // One check on a connection of its own; unfinished when it was stopped.
    IndexFileCheck::Integrity checkOnce();

    const std::string m_path;
    const std::chrono::milliseconds m_quiet;
    const Report m_report;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    int m_holds = 0;
    bool m_stopped = false;
    bool m_finished = false;
    // Read by the check's watchdog: stop the check that runs.
    std::atomic<bool> m_yield {false};
    std::chrono::steady_clock::time_point m_lastRelease;
    std::thread m_thread;  // last: starts once the rest exists
};

}  // namespace tess
