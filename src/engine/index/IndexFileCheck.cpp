#include "index/IndexFileCheck.h"

#include "index/SqliteDamageWatch.h"
#include "index/SqliteStatement.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <functional>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace tess {

namespace {

// How much of what the check reports is kept for the log and the message.
constexpr std::size_t kMaxDetail = 400;
// Names tried for a damaged file moved aside within one second.
constexpr int kMaxAsideAttempts = 100;
constexpr std::string_view kSideFiles[] = {"-wal", "-shm"};
constexpr std::chrono::milliseconds kInterruptRepeat {10};

// Interrupts every statement of a connection while `shouldInterrupt` answers
// true, asked once `firstWait` has passed and then every few milliseconds,
// until destroyed. The watching thread is joined on destruction.
class Interrupter {
public:
    Interrupter(sqlite3* db, std::chrono::milliseconds firstWait, std::function<bool()> shouldInterrupt)
        : m_shouldInterrupt(std::move(shouldInterrupt))
        , m_thread([this, db, firstWait] { watch(db, firstWait); })
    {
    }
    ~Interrupter()
    {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    Interrupter(const Interrupter&) = delete;
    Interrupter& operator=(const Interrupter&) = delete;

private:
    void watch(sqlite3* db, std::chrono::milliseconds firstWait) noexcept
    {
        try {
            std::unique_lock lock(m_mutex);
            // An interrupt that comes before the statement starts is
            // forgotten when it starts: it is repeated until the end.
            for (auto wait = firstWait; !m_wake.wait_for(lock, wait, [this] { return m_done; }); wait = kInterruptRepeat) {
                if (m_shouldInterrupt()) {
                    sqlite3_interrupt(db);
                }
            }
        } catch (...) {
            sqlite3_interrupt(db);  // cannot wait: stop the check rather than let it run unbounded
        }
    }

    std::function<bool()> m_shouldInterrupt;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::thread m_thread;  // last: starts once the rest exists
};

std::string connectionMessage(sqlite3* db)
{
    const char* message = db != nullptr ? sqlite3_errmsg(db) : nullptr;
    return message != nullptr ? message : "Unknown error";
}

Error connectionError(sqlite3* db)
{
    return Error {kAppErrorDomain, db != nullptr ? sqlite3_errcode(db) : SQLITE_ERROR, connectionMessage(db)};
}

bool run(sqlite3* db, const std::string& sql)
{
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Adds one answer of the check to `detail`, answers and the lines within an
// answer joined by "; ", so the detail is one line of the log.
void appendDetail(std::string& detail, std::string_view answer)
{
    std::size_t start = 0;
    while (start <= answer.size() && detail.size() < kMaxDetail) {
        const std::size_t end = std::min(answer.find_first_of("\r\n", start), answer.size());
        if (const std::string_view line = answer.substr(start, end - start); !line.empty()) {
            if (!detail.empty()) {
                detail += "; ";
            }
            detail.append(line.substr(0, kMaxDetail - std::min(detail.size(), kMaxDetail)));
        }
        start = end + 1;
    }
}

std::int64_t pragmaValue(sqlite3* db, const char* sql)
{
    SqliteStatement statement(db, sql);
    return statement && statement.step() == SQLITE_ROW ? statement.columnInt64(0) : -1;
}

std::int64_t fileSize(const std::string& path)
{
    struct stat info { };
    return ::stat(path.c_str(), &info) == 0 ? static_cast<std::int64_t>(info.st_size) : -1;
}

// The header counts more pages than the file holds, and no write-ahead log
// holds the rest: the file was cut.
bool isShorterThanItsHeader(sqlite3* db, const std::string& path, std::string& detail)
{
    if (fileSize(path + "-wal") > 0) {
        return false;
    }
    const std::int64_t pages = pragmaValue(db, "PRAGMA page_count");
    const std::int64_t pageSize = pragmaValue(db, "PRAGMA page_size");
    const std::int64_t size = fileSize(path);
    if (pages < 0 || pageSize <= 0 || size < 0 || size >= pages * pageSize) {
        return false;
    }
    detail = "the file holds " + std::to_string(size) + " bytes of the " + std::to_string(pages * pageSize) + " its header counts";
    return true;
}

std::string utcStamp(std::chrono::system_clock::time_point time)
{
    const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(time));
    std::tm tm {};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d-%H%M%SZ", &tm);
    return text;
}

bool exists(const std::string& path)
{
    struct stat info { };
    return ::lstat(path.c_str(), &info) == 0;
}

// Moves without ever replacing; 0 or the errno.
int moveNoReplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    if (exists(to)) {
        return EEXIST;
    }
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

Error moveError(const std::string& target, int error)
{
    return Error {std::system_category().name(), error, "Cannot move the damaged index aside to " + target + ": " + std::strerror(error)};
}

// Moves the -wal and -shm files, then the file itself, to `target`; on a
// failure puts back what was moved.
Status moveFiles(const std::string& path, const std::string& target)
{
    std::vector<std::string_view> moved;
    const auto putBack = [&] {
        for (const std::string_view suffix : moved) {
            moveNoReplace(target + std::string(suffix), path + std::string(suffix));
        }
    };
    for (const std::string_view suffix : kSideFiles) {
        const int error = moveNoReplace(path + std::string(suffix), target + std::string(suffix));
        if (error == ENOENT) {
            continue;
        }
        if (error != 0) {
            putBack();
            return moveError(target + std::string(suffix), error);
        }
        moved.push_back(suffix);
    }
    if (const int error = moveNoReplace(path, target); error != 0) {
        putBack();
        return moveError(target, error);
    }
    return {};
}

}  // namespace

IndexFileCheck::Integrity IndexFileCheck::runCheck(sqlite3* db, const char* sql, std::chrono::milliseconds firstWait,
    std::function<bool()> shouldStop)
{
    using Verdict = Integrity::Verdict;
    Integrity integrity;
    const auto start = std::chrono::steady_clock::now();
    const auto failWith = [&](int code) {
        integrity.verdict = SqliteDamageWatch::meansDamage(code) ? Verdict::damaged : Verdict::unreadable;
        integrity.code = code;
        integrity.detail = connectionMessage(db);
    };
    {
        const Interrupter watchdog(db, firstWait, std::move(shouldStop));
        SqliteStatement statement(db, sql);
        int rc = statement ? statement.step() : sqlite3_errcode(db);
        for (; rc == SQLITE_ROW; rc = statement.step()) {
            if (const std::string_view line = statement.columnTextView(0); line != "ok") {
                integrity.verdict = Verdict::damaged;
                integrity.code = SQLITE_CORRUPT;
                appendDetail(integrity.detail, line);
            }
        }
        if (integrity.verdict == Verdict::sound && rc == SQLITE_INTERRUPT) {
            integrity.verdict = Verdict::unfinished;
        } else if (integrity.verdict == Verdict::sound && rc != SQLITE_DONE) {
            failWith(rc);
        }
    }
    integrity.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return integrity;
}

IndexFileCheck::Integrity IndexFileCheck::quickCheck(sqlite3* db, const std::string& path, std::chrono::milliseconds limit)
{
    const auto start = std::chrono::steady_clock::now();
    Integrity integrity = runCheck(db, "PRAGMA quick_check", limit, [] { return true; });
    // A check that ran to its end has read every page; the length alone is
    // compared only when it was stopped (another connection writing the file
    // can make its length and its header disagree for a moment).
    if (integrity.verdict == Integrity::Verdict::unfinished) {
        if (std::string detail; isShorterThanItsHeader(db, path, detail)) {
            integrity = Integrity {Integrity::Verdict::damaged, SQLITE_CORRUPT, std::move(detail), 0.0};
        }
    }
    integrity.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return integrity;
}

IndexFileCheck::Integrity IndexFileCheck::fullCheck(sqlite3* db, std::function<bool()> shouldStop)
{
    return runCheck(db, "PRAGMA integrity_check", kInterruptRepeat, std::move(shouldStop));
}

Status IndexFileCheck::proveWritable(sqlite3* db, int busyTimeoutMilliseconds)
{
    const std::int64_t version = pragmaValue(db, "PRAGMA user_version");
    if (version < 0) {
        return connectionError(db);
    }
    sqlite3_busy_timeout(db, 0);
    const bool began = run(db, "BEGIN IMMEDIATE");
    sqlite3_busy_timeout(db, busyTimeoutMilliseconds);
    if (!began) {
        // Another connection holds the write lock: it writes, so can we.
        return (sqlite3_errcode(db) & 0xFF) == SQLITE_BUSY ? Status {} : Status {connectionError(db)};
    }
    if (!run(db, "PRAGMA user_version = " + std::to_string(version)) || !run(db, "COMMIT")) {
        Error error = connectionError(db);
        run(db, "ROLLBACK");
        return error;
    }
    return {};
}

Result<std::string> IndexFileCheck::moveAside(const std::string& path, std::chrono::system_clock::time_point now)
{
    const std::string stem = path + ".damaged-" + utcStamp(now);
    for (int attempt = 1; attempt <= kMaxAsideAttempts; ++attempt) {
        const std::string target = attempt == 1 ? stem : stem + "-" + std::to_string(attempt);
        if (exists(target) || exists(target + "-wal") || exists(target + "-shm")) {
            continue;
        }
        const Status moved = moveFiles(path, target);
        if (moved.ok()) {
            return target;
        }
        if (moved.error().code != EEXIST) {
            return moved.error();
        }
    }
    return moveError(stem, EEXIST);
}

}  // namespace tess
