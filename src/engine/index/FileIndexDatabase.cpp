#include "index/FileIndexDatabase.h"

#include "core/XdgPaths.h"
#include "index/IdleIntegrityCheck.h"
#include "index/SqliteDamageWatch.h"
#include "index/SqliteStatement.h"
#include "log/AppLogger.h"

#include <sqlite3.h>

#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace tess {

namespace {

// Read-only, full mutex: 0x10001.
constexpr int kInfoOpenFlags = SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX;
// VACUUM runs when at least 1 page in this many is free.
constexpr std::int64_t kVacuumFreeShare = 10;

constexpr const char* kCreateFileIndex = "CREATE TABLE IF NOT EXISTS file_index (\n"
                                         "    id INTEGER PRIMARY KEY AUTOINCREMENT,\n"
                                         "    path TEXT NOT NULL,\n"
                                         "    path_key TEXT NOT NULL UNIQUE,\n"
                                         "    relative_path TEXT NOT NULL,\n"
                                         "    is_directory INTEGER NOT NULL DEFAULT 0,\n"
                                         "    has_issues INTEGER NOT NULL DEFAULT 0,\n"
                                         "    issue_count INTEGER NOT NULL DEFAULT 0,\n"
                                         "    issue_types TEXT,\n"
                                         "    proposed_rename TEXT,\n"
                                         "    needs_rename INTEGER NOT NULL DEFAULT 0,\n"
                                         "    shortened_components TEXT,\n"
                                         "    first_seen REAL NOT NULL,\n"
                                         "    last_scanned REAL NOT NULL,\n"
                                         "    scan_root TEXT NOT NULL\n"
                                         ")";

constexpr const char* kCreateScanHistory = "CREATE TABLE IF NOT EXISTS scan_history (\n"
                                           "    id INTEGER PRIMARY KEY AUTOINCREMENT,\n"
                                           "    scan_root TEXT NOT NULL,\n"
                                           "    start_time REAL NOT NULL,\n"
                                           "    end_time REAL,\n"
                                           "    total_files INTEGER DEFAULT 0,\n"
                                           "    new_files INTEGER DEFAULT 0,\n"
                                           "    changed_files INTEGER DEFAULT 0,\n"
                                           "    deleted_files INTEGER DEFAULT 0,\n"
                                           "    issues_found INTEGER DEFAULT 0,\n"
                                           "    trigger TEXT NOT NULL,\n"
                                           "    status TEXT NOT NULL DEFAULT 'running'\n"
                                           ")";

// Where a damaged index was kept, while the fresh one in its place waits for
// the scan that rebuilds it.
constexpr const char* kCreateReplacedIndex = "CREATE TABLE IF NOT EXISTS replaced_index (\n"
                                             "    kept_as TEXT NOT NULL,\n"
                                             "    replaced_at REAL NOT NULL\n"
                                             ")";

std::mutex& registryMutex()
{
    static std::mutex mutex;
    return mutex;
}

// The most recently opened database.
std::weak_ptr<FileIndexDatabase>& currentDatabase()
{
    static std::weak_ptr<FileIndexDatabase> current;
    return current;
}

// Every database opened so far that may still exist.
std::vector<std::weak_ptr<FileIndexDatabase>>& openDatabases()
{
    static std::vector<std::weak_ptr<FileIndexDatabase>> databases;
    return databases;
}

std::vector<std::shared_ptr<FileIndexDatabase>> liveDatabases()
{
    std::lock_guard lock(registryMutex());
    std::vector<std::shared_ptr<FileIndexDatabase>> live;
    for (const auto& weak : openDatabases()) {
        if (auto database = weak.lock()) {
            live.push_back(std::move(database));
        }
    }
    return live;
}

void registerOpened(const std::shared_ptr<FileIndexDatabase>& database)
{
    std::lock_guard lock(registryMutex());
    auto& databases = openDatabases();
    std::erase_if(databases, [](const auto& weak) { return weak.expired(); });
    databases.push_back(database);
    currentDatabase() = database;
}

std::string currentThreadDescription()
{
    char name[64] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    return "<thread " + std::to_string(gettid()) + ", name = " + (name[0] != '\0' ? std::string(name) : "(null)") + ">";
}

double elapsedSeconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::uint64_t fileSizeOrZero(const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<std::uint64_t>(size);
}

std::string normalisedPath(const std::string& path)
{
    return std::filesystem::path(path).lexically_normal().string();
}

bool fileExists(const std::string& path)
{
    std::error_code error;
    return std::filesystem::exists(path, error);
}

}  // namespace

std::pair<std::uint64_t, std::uint64_t> FileIndexDatabase::identityOf(const std::string& path)
{
    struct stat info { };
    if (::stat(path.c_str(), &info) != 0) {
        return {0, 0};
    }
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

FileIndexDatabase::FileIndexDatabase(PrivateTag, std::string path)
    : m_queue(kQueueLabel)
    , m_asyncQueue(kAsyncQueueLabel)
    , m_dbPath(std::move(path))
    , m_pending(std::make_shared<PendingWork>())
{
}

std::string FileIndexDatabase::defaultPath()
{
    return XdgPaths::applicationSupportDirectory() + "/" + kFileName;
}

Result<std::shared_ptr<FileIndexDatabase>> FileIndexDatabase::open(const std::string& path)
{
    return open(path, OpenOptions {});
}

Result<std::shared_ptr<FileIndexDatabase>> FileIndexDatabase::open(const std::string& path, const OpenOptions& options)
{
    // One open at a time checks an index file, may replace it and sets it
    // up: two opens of one damaged file would each move aside what the other
    // had just put in its place.
    const std::lock_guard<std::mutex> guard(openLock());
    const bool existed = fileExists(path);
    std::optional<std::string> keptAs;
    Result<sqlite3*> handle = openCheckedHandle(path, options, keptAs);
    if (!handle.ok()) {
        return handle.error();
    }
    auto database = std::make_shared<FileIndexDatabase>(PrivateTag {}, path);
    database->m_identity = identityOf(path);
    database->m_openLockHeld = true;
    database->configure(handle.value());
    database->onQueue([&] {
        FileIndexDatabase& db = *database;
        if (db.m_damageInSetUp) {
            db.replaceDamagedOnQueue("a statement met: " + *std::exchange(db.m_damageInSetUp, std::nullopt));
        } else if (keptAs) {
            db.recordReplacementOnQueue(*keptAs);
        } else {
            db.readReplacementOnQueue();
        }
        db.m_openLockHeld = false;
    });
    // A fresh file needs no check.
    if (existed && !keptAs && database->replacementCount() == 0) {
        database->startFullCheck(options.fullCheckQuiet);
    }
    registerOpened(database);
    TESS_LOG_INFO("FileIndexDatabase opened at " + path);
    return database;
}

std::mutex& FileIndexDatabase::openLock()
{
    static std::mutex lock;
    return lock;
}

void FileIndexDatabase::configure(sqlite3* handle)
{
    onQueue([&] { setUp(handle); });
}

void FileIndexDatabase::setUp(sqlite3* handle)
{
    m_db = handle;
    m_isOpen = true;
    setWriteAheadLog();
    execute("PRAGMA cache_size=-64000");
    execute("PRAGMA synchronous=NORMAL");
    execute("PRAGMA auto_vacuum = INCREMENTAL");
    migrateSchemaIfNeeded();
    createTables();
}

FileIndexDatabase::~FileIndexDatabase()
{
    TESS_LOG_DEBUG("FileIndexDatabase: deinit called on thread " + currentThreadDescription());
    close();
    TESS_LOG_DEBUG("FileIndexDatabase: deinit completed");
}

bool FileIndexDatabase::isOpen()
{
    bool open = false;
    onQueue([&] { open = m_db != nullptr; });
    return open;
}

std::string FileIndexDatabase::errorMessage() const
{
    const char* message = m_db != nullptr ? sqlite3_errmsg(m_db) : nullptr;
    return message != nullptr ? message : "Unknown error";
}

void FileIndexDatabase::logRolledBack(std::string_view operation, const std::string& message)
{
    const std::string text = message.empty() ? std::string("Unknown error") : message;
    TESS_LOG_ERROR("❌ FileIndexDatabase: " + std::string(operation) + " failed, its changes were rolled back: " + text);
    std::lock_guard lock(m_failureLock);
    m_lastWriteFailure = text;
}

std::string FileIndexDatabase::lastWriteFailure() const
{
    std::lock_guard lock(m_failureLock);
    return m_lastWriteFailure;
}

void FileIndexDatabase::onQueue(const std::function<void()>& work)
{
    m_queue.sync([&] { runJob(work); });  // inline when already on the queue
}

void FileIndexDatabase::drainWritesUnlessOnOwnQueues()
{
    // On the statement queue a background job may be waiting for this very
    // queue; on the write queue every earlier job has already run.
    if (!m_queue.isCurrent() && !m_asyncQueue.isCurrent()) {
        m_asyncQueue.drain();
    }
}

void FileIndexDatabase::readOnQueue(const std::function<void()>& work)
{
    drainWritesUnlessOnOwnQueues();
    onQueue(work);
}

void FileIndexDatabase::sync(const std::function<void()>& work)
{
    readOnQueue(work);
}

void FileIndexDatabase::execute(const std::string& sql)
{
    onQueue([&] {
        if (m_db == nullptr) {
            return;
        }
        char* message = nullptr;
        if (const int rc = sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &message); rc != SQLITE_OK) {
            SqliteDamageWatch::note(m_db, rc);
            TESS_LOG_ERROR(std::string("❌ SQL error: ") + (message != nullptr ? message : "Unknown error") + " for: " + sql);
        }
        sqlite3_free(message);
    });
}

void FileIndexDatabase::setWriteAheadLog()
{
    constexpr const char* kSql = "PRAGMA journal_mode=WAL";
    // The answer is the journal mode in force: some file systems (FUSE and
    // network folders) refuse the shared memory that WAL needs.
    SqliteStatement statement(m_db, kSql);
    if (!statement || statement.step() != SQLITE_ROW) {
        TESS_LOG_ERROR("❌ SQL error: " + errorMessage() + " for: " + kSql);
        return;
    }
    const std::string mode = statement.columnText(0);
    m_writeAheadLog = mode == "wal";
    if (mode != "wal") {
        TESS_LOG_WARN("⚠️ FileIndexDatabase: journal mode is \"" + mode + "\", not \"wal\": readers wait for writers on " + m_dbPath);
    }
}

void FileIndexDatabase::migrateSchemaIfNeeded()
{
    if (m_db == nullptr) {
        return;
    }
    bool hasFileSize = false;
    bool hasPathKey = false;
    bool hasShortenedComponents = false;
    {
        SqliteStatement statement(m_db, "PRAGMA table_info(file_index)");
        if (!statement) {
            return;
        }
        if (statement.step() != SQLITE_ROW) {
            return;  // no file_index table yet
        }
        do {
            const std::string column = statement.columnText(1);
            hasFileSize = hasFileSize || column == "file_size";
            hasPathKey = hasPathKey || column == "path_key";
            hasShortenedComponents = hasShortenedComponents || column == "shortened_components";
        } while (statement.step() == SQLITE_ROW);
    }
    if (hasFileSize) {
        TESS_LOG_INFO("FileIndexDatabase: Dropping stale file_index table (old schema with file_size)");
    } else if (!hasPathKey) {
        TESS_LOG_INFO("FileIndexDatabase: Dropping file_index table (missing path_key column)");
    } else if (!hasShortenedComponents) {
        TESS_LOG_INFO("FileIndexDatabase: Dropping file_index table (missing shortened_components column)");
    } else {
        return;
    }
    execute("DROP TABLE file_index");
}

void FileIndexDatabase::createTables()
{
    execute(kCreateFileIndex);
    // UNIQUE(path_key) already gives the table an index on the key; a second
    // one, which databases written before carry, only slows every write.
    execute("DROP INDEX IF EXISTS idx_path_key");
    execute("CREATE INDEX IF NOT EXISTS idx_scan_root_issues ON file_index(scan_root, has_issues, relative_path)");
    execute("CREATE INDEX IF NOT EXISTS idx_last_scanned ON file_index(last_scanned)");
    execute("DROP INDEX IF EXISTS idx_scan_root");
    execute("DROP INDEX IF EXISTS idx_has_issues");
    execute(kCreateScanHistory);
    execute(kCreateReplacedIndex);
}

void FileIndexDatabase::close()
{
    TESS_LOG_DEBUG("FileIndexDatabase: close() called on thread " + currentThreadDescription());
    if (m_fullCheck) {
        m_fullCheck->stop();
    }
    // Writes already submitted are part of the index: let them finish first.
    drainWritesUnlessOnOwnQueues();
    onQueue([this] { closeOnQueue(); });
}

void FileIndexDatabase::closeOnQueue()
{
    if (m_db == nullptr) {
        TESS_LOG_DEBUG("FileIndexDatabase: close() — already closed (db is nil)");
        return;
    }
    m_isOpen = false;
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    TESS_LOG_DEBUG("FileIndexDatabase closed");
}

void FileIndexDatabase::scheduleVacuum()
{
    m_queue.async([weak = weak_from_this()] {
        if (const auto self = weak.lock()) {
            self->runJob([&self] { self->vacuumOnQueue(); });
        }
    });
}

void FileIndexDatabase::vacuumOnQueue()
{
    if (m_db == nullptr) {
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    // A VACUUM rewrites the whole file and gives back only its free pages;
    // while they are under a tenth of the file it would win back little at
    // that cost (seconds for a large index), and the writes that follow
    // reuse them. The checkpoint always runs.
    const std::int64_t freePages = countRows("PRAGMA freelist_count", nullptr);
    const std::int64_t pages = countRows("PRAGMA page_count", nullptr);
    const bool worthIt = freePages > 0 && freePages * kVacuumFreeShare >= pages;
    if (worthIt) {
        execute("VACUUM");
    }
    SqliteDamageWatch::note(m_db, sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr));
    if (worthIt) {
        TESS_LOG_INFO("FileIndexDatabase: VACUUM + checkpoint completed in " + formatSeconds(elapsedSeconds(start), 2) + "s");
    } else {
        TESS_LOG_INFO("FileIndexDatabase: VACUUM skipped (" + std::to_string(freePages) + " of " + std::to_string(pages)
            + " pages free) + checkpoint completed in " + formatSeconds(elapsedSeconds(start), 2) + "s");
    }
}

void FileIndexDatabase::performAsync(std::function<void()> work)
{
    queueWrite(std::move(work), false);
}

void FileIndexDatabase::performAsyncKeepingItems(std::function<void()> work)
{
    queueWrite(std::move(work), true);
}

void FileIndexDatabase::queueWrite(std::function<void()> work, bool keepsItems)
{
    {
        std::lock_guard lock(m_pending->lock);
        ++m_pending->count;
        m_pending->keepingItems += keepsItems ? 1 : 0;
        m_pending->itemWritesQueued += keepsItems ? 0 : 1;
    }
    // The counter is shared with the job, so it is kept right even when the
    // database goes away while the job waits. No full check runs beside a
    // background write.
    if (m_fullCheck) {
        m_fullCheck->hold();
    }
    m_asyncQueue.async([pending = m_pending, work = std::move(work), keepsItems, check = m_fullCheck] {
        if (work) {
            work();
        }
        if (check) {
            check->release();
        }
        std::lock_guard lock(pending->lock);
        --pending->count;
        pending->keepingItems -= keepsItems ? 1 : 0;
    });
}

std::int64_t FileIndexDatabase::pendingWorkCount() const
{
    std::lock_guard lock(m_pending->lock);
    return m_pending->count;
}

std::uint64_t FileIndexDatabase::itemWritesQueued() const
{
    std::lock_guard lock(m_pending->lock);
    return m_pending->itemWritesQueued;
}

void FileIndexDatabase::waitForPendingWrites()
{
    if (!m_asyncQueue.isCurrent()) {
        m_asyncQueue.drain();
    }
}

std::shared_ptr<FileIndexDatabase> FileIndexDatabase::current()
{
    std::lock_guard lock(registryMutex());
    return currentDatabase().lock();
}

std::int64_t FileIndexDatabase::pendingWorkCountOfAllDatabases()
{
    std::int64_t total = 0;
    for (const auto& database : liveDatabases()) {
        total += database->pendingWorkCount();
    }
    return total;
}

void FileIndexDatabase::waitForAllDatabases()
{
    for (const auto& database : liveDatabases()) {
        database->waitForPendingWrites();
    }
}

std::optional<FileIndexDatabase::Info> FileIndexDatabase::databaseInfo(const std::string& path)
{
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        return std::nullopt;
    }
    Info info;
    info.totalSize = fileSizeOrZero(path) + fileSizeOrZero(path + "-wal") + fileSizeOrZero(path + "-shm");

    sqlite3* handle = nullptr;
    if (sqlite3_open_v2(path.c_str(), &handle, kInfoOpenFlags, nullptr) == SQLITE_OK && handle != nullptr) {
        SqliteStatement statement(handle, "SELECT COUNT(*) FROM file_index");
        if (statement && statement.step() == SQLITE_ROW) {
            info.rowCount = statement.columnInt64(0);
        }
    }
    sqlite3_close_v2(handle);
    return info;
}

void FileIndexDatabase::resetDatabase(const std::string& path)
{
    // A connection still open on the file would keep writing into removed
    // files: its queued writes run first, then it is closed.
    const std::string target = normalisedPath(path);
    for (const auto& database : liveDatabases()) {
        if (normalisedPath(database->path()) == target) {
            database->close();
        }
    }
    for (const std::string& file : {path, path + "-wal", path + "-shm"}) {
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
    }
    TESS_LOG_INFO("Database reset: deleted files at " + path);
}

}  // namespace tess
