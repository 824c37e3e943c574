#include "ScanTestSupport.h"

#include "IsolatedLogEnvironment.h"
#include "RawDatabase.h"

#include <gtest/gtest.h>

#include <chrono>

namespace tess::test {

namespace {

// Every scan test runs with HOME and the XDG folders in a temporary folder and
// with debug logging on.
[[maybe_unused]] const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new IsolatedLogEnvironment);

}  // namespace

LogWatcher::LogWatcher() = default;

std::string LogWatcher::logged() const
{
    return m_capture.text();
}

bool LogWatcher::waitFor(std::string_view text) const
{
    return m_capture.waitFor(text, std::chrono::seconds(5));
}

std::size_t LogWatcher::count(std::string_view text) const
{
    return m_capture.occurrences(text);
}

ScanEngine::Listener Recorder::listener()
{
    ScanEngine::Listener listener;
    listener.status = [this](const MonitoringStatus& status, ScanEngine::Generation) {
        std::lock_guard lock(m_mutex);
        m_statuses.push_back(status);
    };
    listener.results = [this](std::vector<IndexedFile> issues, int total, int issueCount, ScanEngine::Generation) {
        std::lock_guard lock(m_mutex);
        m_results.push_back({std::move(issues), total, issueCount});
    };
    listener.indexWriteFailed = [this](const std::string& message, ScanEngine::Generation) {
        std::lock_guard lock(m_mutex);
        m_indexWriteFailures.push_back(message);
    };
    listener.summary = [this](const ScanSummary& summary, ScanEngine::Generation) {
        std::lock_guard lock(m_mutex);
        m_summaries.push_back(summary);
    };
    return listener;
}

std::vector<MonitoringStatus> Recorder::statuses() const
{
    std::lock_guard lock(m_mutex);
    return m_statuses;
}

std::vector<Recorder::Results> Recorder::results() const
{
    std::lock_guard lock(m_mutex);
    return m_results;
}

std::vector<ScanSummary> Recorder::summaries() const
{
    std::lock_guard lock(m_mutex);
    return m_summaries;
}

std::vector<std::string> Recorder::indexWriteFailures() const
{
    std::lock_guard lock(m_mutex);
    return m_indexWriteFailures;
}

std::vector<ScanProgress> Recorder::progress() const
{
    std::lock_guard lock(m_mutex);
    std::vector<ScanProgress> values;
    for (const auto& status : m_statuses) {
        if (status.isScanning()) {
            values.push_back(status.progress());
        }
    }
    return values;
}

void Recorder::clear()
{
    std::lock_guard lock(m_mutex);
    m_statuses.clear();
    m_results.clear();
    m_summaries.clear();
    m_indexWriteFailures.clear();
}

std::vector<std::string> queryColumn(const std::string& databasePath, const std::string& sql)
{
    return RawDatabase(databasePath, RawDatabase::Mode::readOnly).column(sql);
}

}  // namespace tess::test
