#pragma once

// Helpers of the index tests: a raw SQLite connection to look at a database
// file from outside (RawDatabase), a watcher of the application log, and
// result builders.

#include "LogCapture.h"
#include "RawDatabase.h"
#include "TempDir.h"
#include "analysis/FileTransformationResult.h"
#include "index/FileIndexDatabase.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tess::test {

// Watches the application log from the moment of its creation: everything
// logged before it is ignored. Logging is asynchronous; reading flushes the
// logger first.
class LogWatcher {
public:
    LogWatcher();
    // Waits (at most a few seconds) until a line logged after the watcher was
    // created contains `text`; true when one does.
    bool waitFor(std::string_view text) const;
    // The same, for `prefix` followed by a time span: digits, ".", exactly
    // `decimals` digits and "s".
    bool waitForTimedLine(std::string_view prefix, int decimals) const;
    // Everything logged since the watcher was created, once every entry queued
    // before this call is on disk.
    std::string logged() const;

private:
    LogCapture m_capture;
};

// "é" precomposed and decomposed.
inline const std::string kNfc = "caf\xC3\xA9";
inline const std::string kNfd = "cafe\xCC\x81";

// A fixture with an index database opened in a fresh folder.
class OpenIndexTest : public ::testing::Test {
protected:
    void SetUp() override;
    std::string databasePath() const { return m_dir / "tessaline.db"; }

    TempDir m_dir;
    std::shared_ptr<FileIndexDatabase> m_db;
};

FileTransformationResult makeResult(const std::string& root, const std::string& relativePath, bool isDirectory = false,
    std::vector<FileTransformationIssue> issues = {}, std::string finalRelativePath = {});

// A closed index of `rows` files under "/r", with long names so that it
// spans many pages; closing leaves no write-ahead log.
void makeIndex(const std::string& path, int rows);

// The names of the damaged index files kept in `dir` (starting with
// "tessaline.db.damaged-", their -wal and -shm files left out), sorted.
std::vector<std::string> keptAside(const TempDir& dir);

// Asks `done` until it answers true, at most `timeout`; true when it did.
bool eventually(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(20));

inline std::chrono::system_clock::time_point atSeconds(double seconds)
{
    return std::chrono::system_clock::time_point(std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::duration<double>(seconds)));
}

}  // namespace tess::test
