#pragma once

#include "analysis/FileItem.h"
#include "analysis/FileTransformationResult.h"
#include "core/Error.h"
#include "core/SerialQueue.h"
#include "index/IndexTime.h"
#include "index/IndexedFile.h"
#include "index/PathKey.h"
#include "index/ScanRecord.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

struct sqlite3;

namespace tess {

class SqliteStatement;

// The SQLite index of every item under one scan root (table `file_index`) and
// the history of scans (table `scan_history`), in one database file.
//
// Threads: every statement runs on the statement queue
// ("app.quenby.tessaline.database"); background write jobs run one after the
// other on the write queue ("app.quenby.tessaline.database.async") and enter
// the statement queue for each of their steps.
//
// Every row operation may be called from any thread: called on the statement
// queue it runs inline, otherwise it enters that queue synchronously itself.
// Reads (compareBatch, matchIndexedPaths, findDeletedPaths, the counts, the
// pages, fetchItems and lastCompletedScan) called from outside the statement
// queue first wait for every background write queued before them, so they
// never see the index without writes that were already submitted. Code that runs several steps in
// one job uses sync(), which gives the same ordering.
//
// A closed database does nothing: every operation finds no connection and
// returns its empty result.
//
// A damaged file is never used on: a statement that meets SQLITE_CORRUPT or
// SQLITE_NOTADB (at open, in any operation), or the full integrity check that
// runs while the index is idle (it finds an index that lacks entries, which
// reads return without an error), has the file moved aside and a fresh index
// started in its place, as opening does; the operation that met the damage
// ends with what it had. recoveryNotice() then tells the user until a scan
// has rebuilt the index, also across later opens of the file.
class IdleIntegrityCheck;

class FileIndexDatabase : public std::enable_shared_from_this<FileIndexDatabase> {
    struct PrivateTag {
        explicit PrivateTag() = default;
    };

public:
    static constexpr const char* kFileName = "tessaline.db";
    static constexpr const char* kQueueLabel = "app.quenby.tessaline.database";
    static constexpr const char* kAsyncQueueLabel = "app.quenby.tessaline.database.async";

    // Statistics of a database file.
    struct Info {
        std::int64_t rowCount = 0;  // rows of file_index
        std::uint64_t totalSize = 0;  // bytes of the file and its -wal and -shm files
        friend bool operator==(const Info&, const Info&) = default;
    };

    // The outcome of compareBatch: items not yet indexed, changed items
    // (indexed with the other kind: a file where the row holds a folder, or
    // a folder where it holds a file; or under other bytes: a name renamed
    // only in its normalisation, or a twin's row; the index keeps no size or
    // date) and the number of items indexed as they are.
    struct Comparison {
        std::vector<FileItem> newItems;
        std::vector<FileItem> changedItems;
        std::int64_t unchangedCount = 0;
    };

    // Which items of a scan the index holds, found in one pass over the
    // path-key index (instead of one query per batch), with the ids of the
    // rows that matched an item ("seen") and of those that did not. Rows
    // seen can then be touched by id and only the unseen ones need checking
    // for staleness. `changeStamp` tells whether the index was written after
    // the pass; the operations below refuse a match that is out of date.
    // `valid` is false when the pass could not run (no connection, a
    // statement that failed, cancelled): the caller compares batch by batch.
    struct KeyMatch {
        bool valid = false;
        std::vector<std::uint8_t> indexed;  // per item, in the order given: 1 when a row has its path key
        // Items (positions, ascending) that a row has the key of but whose
        // kind differs from the row's is_directory, or whose path differs
        // from the row's stored path bytes: changed items.
        std::vector<std::uint32_t> changed;
        // The twins among the items that are keyed by their exact bytes.
        TwinKeys twinKeys;
        std::vector<std::int64_t> seenRowIds;  // ascending
        std::vector<std::int64_t> unseenRowIds;  // ascending
        std::int64_t changeStamp = 0;
        std::int64_t dataVersion = 0;
        std::int64_t schemaVersion = 0;
        std::uint64_t file = 0;  // which file the connection had open (it changes when a damaged one is replaced)
    };

    // The ids (ascending) of the rows that hold a folder, read in one pass
    // over the table, and the state of the index when they were read (as in
    // KeyMatch). `valid` is false when they could not be read.
    struct FolderRows {
        bool valid = false;
        std::vector<std::int64_t> ids;
        std::int64_t changeStamp = 0;
        std::int64_t dataVersion = 0;
        std::int64_t schemaVersion = 0;
        std::uint64_t file = 0;
    };

    // A row of the index found stale: its id and its path.
    struct StaleRow {
        std::int64_t id = 0;
        std::string path;
    };

    // How long opening may spend on the integrity check of an existing file.
    static constexpr std::chrono::milliseconds kQuickCheckLimit {100};
    // How long the index must have been idle before its full check starts.
    static constexpr std::chrono::milliseconds kFullCheckQuiet {500};

    struct OpenOptions {
        std::chrono::milliseconds quickCheckLimit = kQuickCheckLimit;
        std::chrono::milliseconds fullCheckQuiet = kFullCheckQuiet;
    };

    // Opens (creating when missing) the database file at `path`, creating its
    // folder first, and makes sure the index can be used:
    // - an existing file gets a quick integrity check, bounded by
    //   `quickCheckLimit` (a larger file is checked as far as the time
    //   allows, and for its length); a damaged file (and its -wal and -shm)
    //   is moved aside, kept under "<path>.damaged-<UTC date and time>", a
    //   fresh index takes its place, and recoveryNotice() tells the user;
    // - a write that changes no data proves the file can be written;
    // - once the index is idle (no FullCheckHold, no background write, no
    //   statement for `fullCheckQuiet`), the full integrity check runs once
    //   beside it; a damaged file it finds is replaced as above.
    // Every failure carries a message that starts with "Failed to open
    // database: " (once), to be shown as it is: the file system's error when
    // the folder cannot be created (its domain and code); otherwise an error
    // in kAppErrorDomain whose code is the SQLite result code: the file
    // cannot be opened or read, cannot be written (a read-only folder, file
    // or volume: nothing is moved aside), or is damaged and could not be
    // moved aside.
    static Result<std::shared_ptr<FileIndexDatabase>> open(const std::string& path);
    static Result<std::shared_ptr<FileIndexDatabase>> open(const std::string& path, const OpenOptions& options);

    // Set from the moment a damaged file is replaced (at this open, later
    // while in use, or at an earlier open of the file) until a scan has
    // rebuilt the index (its record is finished as "completed"): what the
    // window shows the user (where the damaged file was kept, and that the
    // next scan rebuilds the index).
    std::optional<std::string> recoveryNotice() const;
    // Called, on one of the database's threads, each time recoveryNotice()
    // is set or cleared.
    void setRecoveryNoticeObserver(std::function<void()> observer);
    // How many times this object left a damaged file for a fresh one since
    // it opened the file (it replaced it, or found it replaced by another
    // object open on the same file).
    std::uint64_t replacementCount() const { return m_replacements.load(); }

    // Keeps the full integrity check from running while it exists, and
    // stops one that runs: what a scan or a re-analysis holds so the check
    // never competes with it. Movable; a default-made one holds nothing.
    class FullCheckHold {
    public:
        FullCheckHold() = default;
        explicit FullCheckHold(std::shared_ptr<IdleIntegrityCheck> check);
        ~FullCheckHold();
        FullCheckHold(FullCheckHold&& other) noexcept = default;
        FullCheckHold& operator=(FullCheckHold&& other) noexcept;
        FullCheckHold(const FullCheckHold&) = delete;
        FullCheckHold& operator=(const FullCheckHold&) = delete;

    private:
        std::shared_ptr<IdleIntegrityCheck> m_check;
    };
    [[nodiscard]] FullCheckHold holdFullCheck();
    // True once the full check has run to its end or will not run (the file
    // was new or replaced, or the database is closed).
    bool fullCheckFinished() const;

    // "tessaline.db" in the application's data folder.
    static std::string defaultPath();

    FileIndexDatabase(PrivateTag, std::string path);
    ~FileIndexDatabase();
    FileIndexDatabase(const FileIndexDatabase&) = delete;
    FileIndexDatabase& operator=(const FileIndexDatabase&) = delete;

    const std::string& path() const { return m_dbPath; }
    bool isOpen();

    // The clock the stored dates (scan records, and the scan times the scan
    // engine writes) are taken from: the system clock unless replaced. Replace
    // it before the database is in use.
    void setClock(IndexClock clock) { m_clock = std::move(clock); }
    IndexDate now() const { return m_clock(); }

    // Runs one SQL text without parameters or result rows; a failure is only
    // logged.
    void execute(const std::string& sql);

    // Lets every background write queued before the call finish, then closes
    // the connection. Safe to call more than once.
    void close();

    // Queues a VACUUM and a write-ahead-log checkpoint and returns at once.
    // The VACUUM is left out while less than a tenth of the file is free
    // pages; the checkpoint always runs.
    void scheduleVacuum();

    // Counts and queues a background write job and returns at once.
    void performAsync(std::function<void()> work);
    // The same for a job that changes nothing fetchItems reads (it only
    // touches last-scanned times or writes scan records): while no other
    // job is pending, fetchItemsBesideWrites does not wait for it.
    void performAsyncKeepingItems(std::function<void()> work);
    // Background write jobs submitted and not yet finished.
    std::int64_t pendingWorkCount() const;
    // How many background writes that may change what fetchItems reads
    // (those not queued with performAsyncKeepingItems) were queued so far.
    std::uint64_t itemWritesQueued() const;
    // Returns once every background write queued before the call has run.
    void waitForPendingWrites();

    // Runs `work` on the statement queue after every background write queued
    // before the call has finished (inline when already on that queue).
    void sync(const std::function<void()>& work);

    // The most recently opened database while it exists.
    static std::shared_ptr<FileIndexDatabase> current();
    // Pending background writes of every database object that still exists.
    static std::int64_t pendingWorkCountOfAllDatabases();
    // Waits until every database object that still exists has run the
    // background writes queued before the call (what quitting waits for).
    static void waitForAllDatabases();

    // Row count and total size of the database file, absent when there is no
    // file at `path`. Never fails: what cannot be read counts as 0.
    static std::optional<Info> databaseInfo(const std::string& path);
    // Deletes the database file and its -wal and -shm files, ignoring every
    // failure. Any database object still open on that file first runs its
    // queued background writes and is closed.
    static void resetDatabase(const std::string& path);

    // SQLite's message for the last write that failed and was rolled back;
    // empty while none has failed.
    std::string lastWriteFailure() const;

    // Row operations. The writes run in one checked transaction each: a
    // write that fails is rolled back whole, logged as an ERROR line and
    // answered with false (so is a write without a connection).
    //
    // The key of an item is pathKey() of its path unless `twins` says it is
    // a twin keyed by its exact bytes; without `twins`, compareBatch takes the
    // twins among its own items.
    Comparison compareBatch(const std::vector<FileItem>& items);
    Comparison compareBatch(const std::vector<FileItem>& items, const TwinKeys& twins);
    std::vector<std::string> findDeletedPaths(const std::string& scanRoot, IndexDate cutoff);
    // Deletes the row keyed pathKey() of each path. Not for stale rows: a
    // twin keyed by its bytes has no such row, and the key may be its twin's
    // (deleteRows removes them by id).
    bool deletePaths(const std::vector<std::string>& paths);
    // The rows of `scanRoot` last scanned before `cutoff` (what
    // findDeletedPaths gives), with their ids.
    std::vector<StaleRow> findStaleRows(const std::string& scanRoot, IndexDate cutoff);
    // Deletes rows by id in one transaction; false, with nothing deleted,
    // when the write failed.
    bool deleteRows(const std::vector<std::int64_t>& ids);
    std::int64_t issueCount(const std::string& scanRoot);
    std::int64_t totalCount(const std::string& scanRoot);
    // `limit` INT64_MAX means no limit.
    std::vector<IndexedFile> fetchFilesWithIssues(const std::string& scanRoot, std::int64_t limit, std::int64_t offset);
    std::vector<IndexedFile> fetchFiles(const std::string& scanRoot, std::int64_t limit, std::int64_t offset);
    // Hands `visit` each row fetchFilesWithIssues would give, in the same
    // order, one at a time (on the statement queue, which waits meanwhile),
    // so that the rows are never held together. False when the rows could
    // not all be read (no connection, a statement that failed midway): the
    // rows visited are then only a part.
    bool forEachFileWithIssues(const std::string& scanRoot, const std::function<void(const IndexedFile&)>& visit);
    // The new record's row id, or -1.
    std::int64_t startScanRecord(const std::string& scanRoot, const std::string& trigger);
    bool finishScanRecord(std::int64_t id, std::int64_t totalFiles, std::int64_t newFiles, std::int64_t changedFiles,
        std::int64_t deletedFiles, std::int64_t issuesFound, const std::string& status);
    std::optional<ScanRecord> lastCompletedScan(const std::string& scanRoot);
    bool upsertFiles(const std::vector<FileTransformationResult>& results, const std::string& scanRoot, IndexDate scanTime,
        const TwinKeys& twins = {});
    // The same, taking the results over: each is freed once written (all of
    // them when the write ends, whether or not it worked).
    bool upsertFiles(std::vector<FileTransformationResult>&& results, const std::string& scanRoot, IndexDate scanTime,
        const TwinKeys& twins = {});
    bool touchPaths(const std::vector<std::string>& paths, IndexDate scanTime, const TwinKeys& twins = {});
    // Queued on the statement queue; returns at once. Leaves only the rows of
    // `scanRoot` in the index.
    void pruneOtherRoots(const std::string& scanRoot);

    // Bulk forms of the scan's comparison, touch and clean-up, with the same
    // outcome as compareBatch, touchPaths, findDeletedPaths and deletePaths.
    //
    // One pass over the path-key index for all `items`, keyed as twins among
    // themselves (see TwinKeys); `isCancelled` (may be empty) is asked now and
    // then and ends the pass with an invalid match. A row that may hold other
    // bytes than its item (see keyMayHideOtherBytes) has its path read.
    // The kinds of the rows come from `folders` when it was read from the
    // index as it still is (e.g. while the items were being collected),
    // otherwise from findFolderRows() first.
    KeyMatch matchIndexedPaths(const std::vector<FileItem>& items, const std::function<bool()>& isCancelled,
        const FolderRows* folders = nullptr);
    // The rows that hold a folder (see FolderRows).
    FolderRows findFolderRows();
    // Sets last_scanned of every row `match` saw, in runs of consecutive ids.
    // False, with nothing written, when the match is invalid or out of date
    // or the write failed.
    bool touchMatchedRows(KeyMatch& match, IndexDate scanTime);
    // The rows `match` did not see that belong to `scanRoot` and were last
    // scanned before `cutoff`: after touchMatchedRows, exactly the rows
    // findDeletedPaths returns. Absent when the match is invalid or out of
    // date.
    std::optional<std::vector<StaleRow>> findUnseenStaleRows(const KeyMatch& match, const std::string& scanRoot, IndexDate cutoff);
    // Deletes rows by id in one transaction; false, with nothing deleted,
    // when `match` is invalid or out of date or the write failed.
    bool deleteMatchedRows(KeyMatch& match, const std::vector<std::int64_t>& ids);

    // The item (path and folder flag) of every row of `scanRoot`, in the
    // order fetchFiles lists the rows (ascending relative path, byte by
    // byte), read without decoding whole rows and sorted in memory. `twins`,
    // when given, receives the rows' twins that are keyed by their bytes:
    // with them, TwinKeys::keyOf() of each item's path is its row's key.
    // With `storedAnalysis`, also the analysis text (below) of every row
    // whose text is not empty, by the row's key.
    std::vector<FileItem> fetchItems(const std::string& scanRoot, TwinKeys* twins = nullptr,
        std::unordered_map<std::string, std::string>* storedAnalysis = nullptr);

    // fetchItems read from the last committed state of the index on a
    // connection of its own, without waiting for the background writes or
    // the statement queue, when every pending background write was queued
    // with performAsyncKeepingItems. Otherwise, and when the index does not
    // use write-ahead logging (a reader would wait for the writer) or the
    // read fails, it reads like fetchItems.
    std::vector<FileItem> fetchItemsBesideWrites(const std::string& scanRoot, TwinKeys* twins = nullptr,
        std::unordered_map<std::string, std::string>* storedAnalysis = nullptr);

    // The analysis text (below) of every row of `scanRoot` whose text is not
    // empty, by the row's key: what fetchItems gives in `storedAnalysis`,
    // without the items. Absent when it could not be read whole.
    std::optional<std::unordered_map<std::string, std::string>> fetchStoredAnalysis(const std::string& scanRoot);

    // The analysis columns upsertFiles writes for `result` (has_issues,
    // issue_count, issue_types, proposed_rename, needs_rename,
    // shortened_components) as one text, empty when the row has no issue,
    // no rename and no shortened component. Equal texts mean equal columns.
    static std::string analysisText(const FileTransformationResult& result);

private:
    struct PendingWork {
        mutable std::mutex lock;
        std::int64_t count = 0;
        std::int64_t keepingItems = 0;  // of `count`, queued with performAsyncKeepingItems
        std::uint64_t itemWritesQueued = 0;  // ever, not queued with performAsyncKeepingItems
    };

    void queueWrite(std::function<void()> work, bool keepsItems);
    // Upserts `count` results in one transaction, each taken from `next`;
    // `written` is called after each row is written.
    bool writeUpserts(std::size_t count, const std::string& scanRoot, IndexDate scanTime, const TwinKeys& twins,
        const std::function<const FileTransformationResult&()>& next, const std::function<void()>& written);

    // Runs on the statement queue, inline when already there.
    void onQueue(const std::function<void()>& work);
    // The same, after the background writes queued before the call.
    void readOnQueue(const std::function<void()>& work);
    void drainWritesUnlessOnOwnQueues();

    // A connection to `path` that passed the checks of open(); `keptAs`
    // receives where the damaged file went when it was replaced.
    static Result<sqlite3*> openCheckedHandle(const std::string& path, const OpenOptions& options, std::optional<std::string>& keptAs);
    static Result<sqlite3*> openConnection(const std::string& path);
    // Moves a damaged file aside with its log lines; the new path of the file.
    static Result<std::string> moveDamagedAside(const std::string& path, const std::string& detail);
    static std::string recoveryNoticeText(const std::string& keptAs);
    void configure(sqlite3* handle);
    void setUp(sqlite3* handle);
    // Runs `work` on the statement queue as one job: when it is not nested
    // in another job, statements that meet damage have the file replaced
    // once it ends.
    void runJob(const std::function<void()>& work);
    // Closes the damaged file, moves it aside and opens a fresh index in its
    // place (on the statement queue).
    void replaceDamagedOnQueue(const std::string& detail);
    // Queues that replacement, unless the file was replaced since `file`.
    void replaceLater(std::uint64_t file, std::string detail);
    void startFullCheck(std::chrono::milliseconds quiet);
    // Notes in the index that a damaged file was kept as `keptAs`, and tells.
    void recordReplacementOnQueue(const std::string& keptAs);
    // The notice of a replacement an earlier open recorded.
    void readReplacementOnQueue();
    // Forgets the replacement once a scan has rebuilt the index.
    bool clearReplacementOnQueue();
    void setRecoveryNotice(std::optional<std::string> notice);
    // Held while a file is checked, replaced and set up: one at a time.
    static std::mutex& openLock();
    // Device and inode of the file at `path`; zeros when there is none.
    static std::pair<std::uint64_t, std::uint64_t> identityOf(const std::string& path);
    void setWriteAheadLog();
    void migrateSchemaIfNeeded();
    void createTables();
    void closeOnQueue();
    void vacuumOnQueue();
    void pruneOtherRootsOnQueue(const std::string& scanRoot);
    std::vector<IndexedFile> fetchPage(const char* sql, const std::string& scanRoot, std::int64_t limit, std::int64_t offset);
    // False when the statement did not run to its end.
    bool visitRows(const char* sql, const std::string& scanRoot, std::int64_t limit, std::int64_t offset,
        const std::function<void(IndexedFile&)>& visit);
    std::int64_t countRows(const char* sql, const std::string* scanRoot);
    std::string errorMessage() const;
    // Steps `statement` once per row (reset, then `bind` for that row) in
    // one checked transaction; false, with nothing written and an ERROR line
    // for `operation`, when a step or the commit fails.
    bool writeRows(std::string_view operation, SqliteStatement& statement, std::size_t rows,
        const std::function<void(SqliteStatement&, std::size_t)>& bind);
    // Deletes the rows `ids` on the statement queue, with writeRows.
    bool deleteIds(std::string_view operation, const std::vector<std::int64_t>& ids);
    // ERROR line of a write that failed and was rolled back; keeps the
    // message for lastWriteFailure().
    void logRolledBack(std::string_view operation, const std::string& message);
    // Changes since the connection opened, commits of other connections and
    // schema changes, as stored in a KeyMatch.
    void stampInto(KeyMatch& match);
    bool isCurrent(const KeyMatch& match);
    bool isCurrent(const FolderRows& folders);
    FolderRows findFolderRowsOnQueue();

    sqlite3* m_db = nullptr;
    SerialQueue m_queue;
    SerialQueue m_asyncQueue;
    std::string m_dbPath;
    IndexClock m_clock = [] { return std::chrono::system_clock::now(); };
    std::shared_ptr<PendingWork> m_pending;
    mutable std::mutex m_noticeLock;
    std::optional<std::string> m_recoveryNotice;  // guarded by m_noticeLock
    std::function<void()> m_noticeObserver;  // guarded by m_noticeLock
    std::atomic<std::uint64_t> m_replacements {0};
    // Counts the files the connection had open; written on the statement queue.
    std::atomic<std::uint64_t> m_file {1};
    // On the statement queue only.
    int m_jobDepth = 0;
    bool m_replacementPending = false;  // replaced_index holds a row
    std::int64_t m_lastScanRecordId = 0;  // the largest this object started
    bool m_cannotMoveAside = false;  // a move aside failed: the damaged file stays in use
    // Device and inode of the file the connection has open: only that file
    // is ever moved aside.
    std::pair<std::uint64_t, std::uint64_t> m_identity {0, 0};
    bool m_openLockHeld = false;  // set up by open(), which holds the lock of opening
    std::optional<std::string> m_damageInSetUp;  // met while open() set the file up
    std::shared_ptr<IdleIntegrityCheck> m_fullCheck;  // set at open, never replaced
    mutable std::mutex m_failureLock;
    std::string m_lastWriteFailure;  // guarded by m_failureLock
    // Read outside the statement queue.
    std::atomic<bool> m_isOpen {false};
    std::atomic<bool> m_writeAheadLog {false};
};

}  // namespace tess
