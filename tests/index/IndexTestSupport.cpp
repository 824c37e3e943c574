#include "IndexTestSupport.h"

#include "TestEnvironment.h"
#include "log/AppLogger.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cctype>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

namespace tess::test {

namespace {

// Every index test runs with HOME and the XDG folders in a temporary
// folder (the database tests never touch the real home, nor does the log),
// and with debug logging on so DEBUG lines can be checked.
class IndexTestEnvironment : public ::testing::Environment {
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

[[maybe_unused]] const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new IndexTestEnvironment);

std::string readLog()
{
    AppLogger::shared().flush();
    std::ifstream in(AppLogger::shared().logFilePath(), std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

constexpr auto kLogTimeout = std::chrono::seconds(5);

}  // namespace

RawDatabase::RawDatabase(const std::string& path)
{
    if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << path << ": " << sqlite3_errmsg(m_db);
    }
    sqlite3_busy_timeout(m_db, 5000);
}

RawDatabase::~RawDatabase()
{
    sqlite3_close_v2(m_db);
}

void RawDatabase::exec(const std::string& sql)
{
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        ADD_FAILURE() << "SQL failed: " << (message != nullptr ? message : "?") << " for: " << sql;
    }
    sqlite3_free(message);
}

std::vector<std::string> RawDatabase::column(const std::string& sql)
{
    std::vector<std::string> values;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "prepare failed: " << sqlite3_errmsg(m_db) << " for: " << sql;
        return values;
    }
    while (sqlite3_step(statement) == SQLITE_ROW) {
        if (sqlite3_column_type(statement, 0) == SQLITE_NULL) {
            values.emplace_back("NULL");
        } else {
            const auto* text = sqlite3_column_text(statement, 0);
            values.emplace_back(reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_column_bytes(statement, 0)));
        }
    }
    sqlite3_finalize(statement);
    return values;
}

std::int64_t RawDatabase::integer(const std::string& sql)
{
    const auto values = column(sql);
    return values.empty() ? -1 : std::stoll(values.front());
}

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
    // Work queued on a database queue may log a little later than the call
    // that queued it returns.
    const auto deadline = std::chrono::steady_clock::now() + kLogTimeout;
    do {
        if (logged().find(text) != std::string::npos) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

bool LogWatcher::waitForTimedLine(std::string_view prefix, int decimals) const
{
    const auto matchesAt = [&](const std::string& text, std::size_t at) {
        std::size_t i = at + prefix.size();
        const std::size_t digitsStart = i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0) {
            ++i;
        }
        if (i == digitsStart || i >= text.size() || text[i] != '.') {
            return false;
        }
        for (int d = 0; d < decimals; ++d) {
            if (++i >= text.size() || std::isdigit(static_cast<unsigned char>(text[i])) == 0) {
                return false;
            }
        }
        return ++i < text.size() && text[i] == 's';
    };
    const auto deadline = std::chrono::steady_clock::now() + kLogTimeout;
    do {
        const std::string text = logged();
        for (std::size_t at = text.find(prefix); at != std::string::npos; at = text.find(prefix, at + 1)) {
            if (matchesAt(text, at)) {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

FileTransformationResult makeResult(const std::string& root, const std::string& relativePath, bool isDirectory,
    std::vector<FileTransformationIssue> issues, std::string finalRelativePath)
{
    FileTransformationResult result;
    result.originalFile = FileItem {root + "/" + relativePath, isDirectory};
    result.originalRelativePath = relativePath;
    result.finalRelativePath = finalRelativePath.empty() ? relativePath : finalRelativePath;
    result.transformations = std::move(issues);
    result.needsRename = result.finalRelativePath != relativePath;
    return result;
}

}  // namespace tess::test
