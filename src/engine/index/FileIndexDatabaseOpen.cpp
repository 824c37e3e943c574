// Opening the index file: its folder, the connection, the integrity check
// (with a damaged file moved aside and replaced) and the proof that it can be
// written.

#include "index/FileIndexDatabase.h"

#include "core/FormatSeconds.h"
#include "index/IndexFileCheck.h"
#include "index/SqliteDamageWatch.h"
#include "log/AppLogger.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace tess {

namespace {

// Read-write, create, full mutex: 0x10006.
constexpr int kOpenFlags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
// How long a statement waits for a lock held by another connection.
constexpr int kBusyTimeoutMilliseconds = 5000;
constexpr std::string_view kFailurePrefix = "Failed to open database: ";

Error openFailure(std::string domain, std::int64_t code, const std::string& message)
{
    return Error {std::move(domain), code, std::string(kFailurePrefix) + message};
}

Result<sqlite3*> openHandle(const std::string& path)
{
    sqlite3* handle = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &handle, kOpenFlags, nullptr);
    if (rc != SQLITE_OK || handle == nullptr) {
        const char* message = handle != nullptr ? sqlite3_errmsg(handle) : nullptr;
        const std::string text = message != nullptr ? message : "Unknown error";
        sqlite3_close(handle);
        TESS_LOG_ERROR("❌ FileIndexDatabase: cannot open the index at " + path + ": " + text);
        return openFailure(kAppErrorDomain, rc, text);
    }
    sqlite3_busy_timeout(handle, kBusyTimeoutMilliseconds);
    return handle;
}

Status createFolderOf(const std::string& path)
{
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) {
        return {};
    }
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        return openFailure(error.category().name(), error.value(), error.message());
    }
    return {};
}

// What the user can act on when the index cannot be read or written: its
// folder when that cannot be written (SQLite keeps its -wal and -shm files
// there), else the file itself.
std::string whatCannotBeUsed(const std::string& path, std::string_view verb)
{
    const std::string folder = std::filesystem::path(path).parent_path().string();
    if (::faccessat(AT_FDCWD, folder.empty() ? "." : folder.c_str(), W_OK, AT_EACCESS) != 0) {
        return " (the folder " + folder + " cannot be written)";
    }
    return " (" + path + " cannot be " + std::string(verb) + ")";
}

}  // namespace

Result<sqlite3*> FileIndexDatabase::openConnection(const std::string& path)
{
    return openHandle(path);
}

Result<std::string> FileIndexDatabase::moveDamagedAside(const std::string& path, const std::string& detail)
{
    Result<std::string> aside = IndexFileCheck::moveAside(path, std::chrono::system_clock::now());
    if (!aside.ok()) {
        TESS_LOG_ERROR("❌ FileIndexDatabase: the index at " + path + " is damaged (" + detail
            + ") and could not be moved aside: " + aside.error().message);
        return aside;
    }
    TESS_LOG_WARN("⚠️ FileIndexDatabase: the index at " + path + " is damaged (" + detail + "); moved aside to " + aside.value()
        + ", starting a new index");
    return aside;
}

Result<sqlite3*> FileIndexDatabase::openCheckedHandle(const std::string& path, const OpenOptions& options,
    std::optional<std::string>& keptAs)
{
    if (const Status folder = createFolderOf(path); !folder.ok()) {
        return folder.error();
    }
    Result<sqlite3*> handle = openHandle(path);
    if (!handle.ok()) {
        return handle;
    }
    // Closes the damaged file, moves it aside and opens a fresh one.
    const auto replace = [&](int code, const std::string& detail) -> Result<sqlite3*> {
        sqlite3_close_v2(handle.value());
        Result<std::string> aside = moveDamagedAside(path, detail);
        if (!aside.ok()) {
            return openFailure(kAppErrorDomain, code, "the index is damaged (" + detail + ") and could not be moved aside: " + aside.error().message);
        }
        keptAs = std::move(aside.value());
        return openHandle(path);
    };
    using Verdict = IndexFileCheck::Integrity::Verdict;
    const IndexFileCheck::Integrity integrity = IndexFileCheck::quickCheck(handle.value(), path, options.quickCheckLimit);
    switch (integrity.verdict) {
    case Verdict::sound:
        TESS_LOG_DEBUG("FileIndexDatabase: quick check passed in " + formatSeconds(integrity.seconds, 3) + "s");
        break;
    case Verdict::unfinished:
        TESS_LOG_INFO("FileIndexDatabase: quick check stopped at its time limit after " + formatSeconds(integrity.seconds, 3)
            + "s; no damage found in the part checked");
        break;
    case Verdict::unreadable:
        sqlite3_close_v2(handle.value());
        TESS_LOG_ERROR("❌ FileIndexDatabase: the index at " + path + " cannot be read: " + integrity.detail);
        return openFailure(kAppErrorDomain, integrity.code, integrity.detail + whatCannotBeUsed(path, "read"));
    case Verdict::damaged:
        handle = replace(integrity.code, integrity.detail);
        if (!handle.ok()) {
            return handle;
        }
        break;
    }
    // A write lock that another connection holds (a write of an index object
    // still open) is not waited for: it proves the file writable.
    Status writable = IndexFileCheck::proveWritable(handle.value(), kBusyTimeoutMilliseconds);
    if (!writable.ok() && !keptAs && SqliteDamageWatch::meansDamage(static_cast<int>(writable.error().code))) {
        // Damage past the part the stopped quick check read.
        handle = replace(static_cast<int>(writable.error().code), "a statement met: " + writable.error().message);
        if (!handle.ok()) {
            return handle;
        }
        writable = IndexFileCheck::proveWritable(handle.value(), kBusyTimeoutMilliseconds);
    }
    if (!writable.ok()) {
        sqlite3_close_v2(handle.value());
        TESS_LOG_ERROR("❌ FileIndexDatabase: the index at " + path + " cannot be written: " + writable.error().message);
        return openFailure(kAppErrorDomain, writable.error().code, writable.error().message + whatCannotBeUsed(path, "written"));
    }
    return handle;
}

}  // namespace tess
