#include "IndexTestSupport.h"

#include "IsolatedLogEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <thread>

namespace tess::test {

namespace {

// Every index test runs with HOME and the XDG folders in a temporary
// folder (the database tests never touch the real home, nor does the log),
// and with debug logging on so DEBUG lines can be checked.
[[maybe_unused]] const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new IsolatedLogEnvironment);

constexpr auto kLogTimeout = std::chrono::seconds(5);

}  // namespace

LogWatcher::LogWatcher() = default;

std::string LogWatcher::logged() const
{
    return m_capture.text();
}

bool LogWatcher::waitFor(std::string_view text) const
{
    // Work queued on a database queue may log a little later than the call
    // that queued it returns.
    return m_capture.waitFor(text, kLogTimeout);
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

void makeIndex(const std::string& path, int rows)
{
    auto opened = FileIndexDatabase::open(path);
    ASSERT_TRUE(opened.ok());
    std::vector<FileTransformationResult> results;
    for (int i = 0; i < rows; ++i) {
        results.push_back(makeResult("/r", "folder " + std::to_string(i / 50) + "/" + std::string(60, 'n') + std::to_string(i)));
    }
    ASSERT_TRUE(opened.value()->upsertFiles(results, "/r", atSeconds(5)));
    opened.value()->close();
    ASSERT_FALSE(std::filesystem::exists(path + "-wal"));
}

std::vector<std::string> keptAside(const TempDir& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        const std::string name = entry.path().filename();
        if (name.starts_with("tessaline.db.damaged-") && !name.ends_with("-wal") && !name.ends_with("-shm")) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool eventually(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void OpenIndexTest::SetUp()
{
    auto opened = FileIndexDatabase::open(databasePath());
    ASSERT_TRUE(opened.ok());
    m_db = opened.value();
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
