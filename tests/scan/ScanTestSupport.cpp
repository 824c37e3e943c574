#include "ScanTestSupport.h"

#include "TestEnvironment.h"
#include "log/AppLogger.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

namespace tess::test {

namespace {

// Every scan test runs with HOME and the XDG folders in a temporary folder and
// with debug logging on.
class ScanTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        m_home = std::make_unique<IsolatedHome>();
        AppLogger::shared().setDebugEnabled(true);
    }
    void TearDown() override { m_home.reset(); }

private:
    std::unique_ptr<IsolatedHome> m_home;
};

[[maybe_unused]] const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ScanTestEnvironment);

std::string readLog()
{
    AppLogger::shared().flush();
    std::ifstream in(AppLogger::shared().logFilePath(), std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace

LogWatcher::LogWatcher()
    : m_offset(readLog().size())
{
}

std::string LogWatcher::logged() const
{
    const std::string all = readLog();
    return all.size() > m_offset ? all.substr(m_offset) : std::string();
}

bool LogWatcher::waitFor(std::string_view text) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    do {
        if (contains(text)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

std::size_t LogWatcher::count(std::string_view text) const
{
    const std::string all = logged();
    std::size_t n = 0;
    for (std::size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) {
        ++n;
    }
    return n;
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
}

std::vector<std::string> queryColumn(const std::string& databasePath, const std::string& sql)
{
    std::vector<std::string> values;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(databasePath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << databasePath;
        sqlite3_close_v2(db);
        return values;
    }
    sqlite3_busy_timeout(db, 5000);
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "prepare failed: " << sqlite3_errmsg(db) << " for: " << sql;
    } else {
        while (sqlite3_step(statement) == SQLITE_ROW) {
            if (sqlite3_column_type(statement, 0) == SQLITE_NULL) {
                values.emplace_back("NULL");
            } else {
                const auto* text = sqlite3_column_text(statement, 0);
                values.emplace_back(reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_column_bytes(statement, 0)));
            }
        }
    }
    sqlite3_finalize(statement);
    sqlite3_close_v2(db);
    return values;
}

}  // namespace tess::test
