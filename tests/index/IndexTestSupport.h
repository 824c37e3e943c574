#pragma once

// Helpers of the index tests: a raw SQLite connection to look at a database
// file from outside, a watcher of the application log, and result builders.

#include "analysis/FileTransformationResult.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace tess::test {

// A separate connection to a database file, for setting up old schemas and
// checking what the index wrote.
class RawDatabase {
public:
    explicit RawDatabase(const std::string& path);
    ~RawDatabase();
    RawDatabase(const RawDatabase&) = delete;
    RawDatabase& operator=(const RawDatabase&) = delete;

    // Runs SQL (several statements allowed); fails the test on error.
    void exec(const std::string& sql);
    // The first column of every row, as text ("NULL" for a NULL value).
    std::vector<std::string> column(const std::string& sql);
    std::int64_t integer(const std::string& sql);
    sqlite3* handle() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
};

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
    std::size_t m_offset = 0;
};

FileTransformationResult makeResult(const std::string& root, const std::string& relativePath, bool isDirectory = false,
    std::vector<FileTransformationIssue> issues = {}, std::string finalRelativePath = {});

inline std::chrono::system_clock::time_point atSeconds(double seconds)
{
    return std::chrono::system_clock::time_point(std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::duration<double>(seconds)));
}

}  // namespace tess::test
