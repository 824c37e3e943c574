#pragma once

// Helpers of the scan tests: a watcher of the application log, a recorder of
// what the scan engine publishes, and a small look at the index file.

#include "LogCapture.h"
#include "index/FileIndexDatabase.h"
#include "scan/ScanEngine.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tess::test {

// Watches the application log from the moment of its creation.
class LogWatcher {
public:
    LogWatcher();
    // Everything logged since the watcher was created, once every entry queued
    // before this call is on disk.
    std::string logged() const;
    bool contains(std::string_view text) const { return logged().find(text) != std::string::npos; }
    // Waits (at most a few seconds) for `text` to be logged.
    bool waitFor(std::string_view text) const;
    std::size_t count(std::string_view text) const;

private:
    LogCapture m_capture;
};

// Everything a ScanEngine published, in order.
class Recorder {
public:
    struct Results {
        std::vector<IndexedFile> issues;
        int totalIndexed = 0;
        int issueCount = 0;
    };

    ScanEngine::Listener listener();

    std::vector<MonitoringStatus> statuses() const;
    std::vector<Results> results() const;
    std::vector<ScanSummary> summaries() const;
    // The messages of the index writes that failed, in order.
    std::vector<std::string> indexWriteFailures() const;
    // The progress values of every `scanning` status, in order.
    std::vector<ScanProgress> progress() const;
    void clear();

private:
    mutable std::mutex m_mutex;
    std::vector<MonitoringStatus> m_statuses;
    std::vector<Results> m_results;
    std::vector<ScanSummary> m_summaries;
    std::vector<std::string> m_indexWriteFailures;
};

// One column of a query on a separate connection to the index file.
std::vector<std::string> queryColumn(const std::string& databasePath, const std::string& sql);

}  // namespace tess::test
