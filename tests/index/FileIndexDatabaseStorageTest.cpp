// Opening, schema and migration, closing, background writes, statistics and
// reset of the index database file.

#include "Gate.h"
#include "IndexTestSupport.h"
#include "TempDir.h"
#include "index/FileIndexDatabase.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <thread>

namespace tess {
namespace {

using test::Gate;
using test::LogWatcher;
using test::RawDatabase;
using test::TempDir;
using ::testing::ElementsAre;
using ::testing::IsSupersetOf;

const std::vector<std::string> kCurrentColumns = {"id", "path", "path_key", "relative_path", "is_directory",
    "has_issues", "issue_count", "issue_types", "proposed_rename", "needs_rename", "shortened_components",
    "first_seen", "last_scanned", "scan_root"};

std::shared_ptr<FileIndexDatabase> openOrFail(const std::string& path)
{
    auto opened = FileIndexDatabase::open(path);
    EXPECT_TRUE(opened.ok()) << (opened.ok() ? "" : opened.error().message);
    return opened.ok() ? opened.value() : nullptr;
}

std::vector<std::string> columnsOf(RawDatabase& raw, const std::string& table)
{
    return raw.column("SELECT name FROM pragma_table_info('" + table + "')");
}

TEST(FileIndexDatabaseStorage, FreshOpenCreatesFolderFileTablesAndIndexes)
{
    TempDir dir;
    const std::string path = dir / "nested/data/tessaline.db";
    LogWatcher log;
    auto database = openOrFail(path);
    ASSERT_TRUE(database);
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_TRUE(log.waitFor("FileIndexDatabase opened at " + path));

    RawDatabase raw(path);
    EXPECT_EQ(columnsOf(raw, "file_index"), kCurrentColumns);
    EXPECT_THAT(columnsOf(raw, "scan_history"),
        ElementsAre("id", "scan_root", "start_time", "end_time", "total_files", "new_files", "changed_files",
            "deleted_files", "issues_found", "trigger", "status"));
    EXPECT_THAT(raw.column("SELECT name FROM sqlite_master WHERE type = 'index' AND name LIKE 'idx_%' ORDER BY name"),
        ElementsAre("idx_last_scanned", "idx_scan_root_issues"));
    EXPECT_EQ(raw.column("SELECT sql FROM sqlite_master WHERE name = 'idx_scan_root_issues'"),
        std::vector<std::string> {"CREATE INDEX idx_scan_root_issues ON file_index(scan_root, has_issues, relative_path)"});
    EXPECT_EQ(raw.column("PRAGMA journal_mode"), std::vector<std::string> {"wal"});
    // path_key is the row's identity.
    raw.exec("INSERT INTO file_index (path, path_key, relative_path, first_seen, last_scanned, scan_root) VALUES ('/a', 'k', 'a', 0, 0, '/')");
    EXPECT_NE(sqlite3_exec(raw.handle(), "INSERT INTO file_index (path, path_key, relative_path, first_seen, last_scanned, scan_root) VALUES ('/b', 'k', 'b', 0, 0, '/')", nullptr, nullptr, nullptr), SQLITE_OK);
    // A new scan record starts as "running".
    EXPECT_GT(database->startScanRecord("/root", "Manual"), 0);
    EXPECT_EQ(raw.column("SELECT status FROM scan_history"), std::vector<std::string> {"running"});
}

// One column as PRAGMA table_info describes it.
struct ColumnDefinition {
    std::string name;
    std::string type;
    bool notNull;
    std::string defaultValue;  // "NULL" when none
    int primaryKeyPosition;
    friend bool operator==(const ColumnDefinition&, const ColumnDefinition&) = default;
    friend std::ostream& operator<<(std::ostream& out, const ColumnDefinition& c)
    {
        return out << c.name << " " << c.type << (c.notNull ? " NOT NULL" : "") << " DEFAULT " << c.defaultValue << " pk=" << c.primaryKeyPosition;
    }
};

std::vector<ColumnDefinition> definitionsOf(RawDatabase& raw, const std::string& table)
{
    std::vector<ColumnDefinition> columns;
    const auto field = [&](const char* name) { return raw.column(std::string("SELECT ") + name + " FROM pragma_table_info('" + table + "') ORDER BY cid"); };
    const auto names = field("name");
    const auto types = field("type");
    const auto notNull = field("\"notnull\"");
    const auto defaults = field("dflt_value");
    const auto primaryKey = field("pk");
    for (std::size_t i = 0; i < names.size(); ++i) {
        columns.push_back({names[i], types[i], notNull[i] == "1", defaults[i], std::stoi(primaryKey[i])});
    }
    return columns;
}

TEST(FileIndexDatabaseStorage, SchemaHasTheStoredColumnTypesConstraintsAndDefaults)
{
    TempDir dir;
    const std::string path = dir / "tessaline.db";
    ASSERT_TRUE(openOrFail(path));
    RawDatabase raw(path);

    EXPECT_EQ(definitionsOf(raw, "file_index"),
        (std::vector<ColumnDefinition> {
            {"id", "INTEGER", false, "NULL", 1},
            {"path", "TEXT", true, "NULL", 0},
            {"path_key", "TEXT", true, "NULL", 0},
            {"relative_path", "TEXT", true, "NULL", 0},
            {"is_directory", "INTEGER", true, "0", 0},
            {"has_issues", "INTEGER", true, "0", 0},
            {"issue_count", "INTEGER", true, "0", 0},
            {"issue_types", "TEXT", false, "NULL", 0},
            {"proposed_rename", "TEXT", false, "NULL", 0},
            {"needs_rename", "INTEGER", true, "0", 0},
            {"shortened_components", "TEXT", false, "NULL", 0},
            {"first_seen", "REAL", true, "NULL", 0},
            {"last_scanned", "REAL", true, "NULL", 0},
            {"scan_root", "TEXT", true, "NULL", 0},
        }));
    EXPECT_EQ(definitionsOf(raw, "scan_history"),
        (std::vector<ColumnDefinition> {
            {"id", "INTEGER", false, "NULL", 1},
            {"scan_root", "TEXT", true, "NULL", 0},
            {"start_time", "REAL", true, "NULL", 0},
            {"end_time", "REAL", false, "NULL", 0},
            {"total_files", "INTEGER", false, "0", 0},
            {"new_files", "INTEGER", false, "0", 0},
            {"changed_files", "INTEGER", false, "0", 0},
            {"deleted_files", "INTEGER", false, "0", 0},
            {"issues_found", "INTEGER", false, "0", 0},
            {"trigger", "TEXT", true, "NULL", 0},
            {"status", "TEXT", true, "'running'", 0},
        }));
    // Both ids are AUTOINCREMENT (never reused), and path_key carries a
    // UNIQUE constraint, whose index is the only one on the key.
    for (const char* table : {"file_index", "scan_history"}) {
        EXPECT_THAT(raw.column(std::string("SELECT sql FROM sqlite_master WHERE name = '") + table + "'").at(0),
            ::testing::HasSubstr("id INTEGER PRIMARY KEY AUTOINCREMENT"))
            << table;
    }
    EXPECT_THAT(raw.column("SELECT origin || ':' || \"unique\" FROM pragma_index_list('file_index')"), ::testing::Contains("u:1"));
    const std::vector<std::pair<std::string, std::string>> indexes = {
        {"idx_scan_root_issues", "CREATE INDEX idx_scan_root_issues ON file_index(scan_root, has_issues, relative_path)"},
        {"idx_last_scanned", "CREATE INDEX idx_last_scanned ON file_index(last_scanned)"},
    };
    for (const auto& [name, sql] : indexes) {
        EXPECT_EQ(raw.column("SELECT sql FROM sqlite_master WHERE name = '" + name + "'"), std::vector<std::string> {sql});
    }
}

TEST(FileIndexDatabaseStorage, DefaultLocationIsInTheDataFolder)
{
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    ASSERT_NE(dataHome, nullptr);
    EXPECT_EQ(FileIndexDatabase::defaultPath(), std::string(dataHome) + "/app.quenby.Tessaline/tessaline.db");
}

TEST(FileIndexDatabaseStorage, OpenFailureIsAnAppErrorWithTheSqliteCode)
{
    TempDir dir;
    dir.makeDir("tessaline.db");  // a folder where the file should be
    auto opened = FileIndexDatabase::open(dir / "tessaline.db");
    ASSERT_FALSE(opened.ok());
    EXPECT_EQ(opened.error().domain, "app.quenby.Tessaline.Error");
    EXPECT_EQ(opened.error().code, SQLITE_CANTOPEN);
    EXPECT_EQ(opened.error().message, "Failed to open database: unable to open database file");
}

TEST(FileIndexDatabaseStorage, FolderThatCannotBeCreatedFailsWithTheFileSystemError)
{
    TempDir dir;
    dir.writeFile("plain-file");
    auto opened = FileIndexDatabase::open(dir / "plain-file/sub/tessaline.db");
    ASSERT_FALSE(opened.ok());
    EXPECT_NE(opened.error().domain, "app.quenby.Tessaline.Error");
    EXPECT_EQ(opened.error().code, ENOTDIR);
    EXPECT_FALSE(opened.error().message.empty());
}

struct MigrationCase {
    const char* name;
    const char* fileIndexSql;
    bool hasPathKey;
    const char* expectedLog;  // nullptr: the table is kept
};

// The case as test names and failure messages show it (the same on every run).
void PrintTo(const MigrationCase& c, std::ostream* out)
{
    *out << c.name;
}

class FileIndexMigration : public ::testing::TestWithParam<MigrationCase> { };

TEST_P(FileIndexMigration, OldTablesAreReplacedAndScanHistorySurvives)
{
    const MigrationCase& param = GetParam();
    TempDir dir;
    const std::string path = dir / "tessaline.db";
    {
        RawDatabase raw(path);
        raw.exec(param.fileIndexSql);
        raw.exec(param.hasPathKey
                ? "INSERT INTO file_index (path, path_key, relative_path, scan_root, first_seen, last_scanned) VALUES ('/r/a', '/r/a', 'a', '/r', 1, 1)"
                : "INSERT INTO file_index (path, relative_path, scan_root, first_seen, last_scanned) VALUES ('/r/a', 'a', '/r', 1, 1)");
        raw.exec("CREATE TABLE scan_history (id INTEGER PRIMARY KEY AUTOINCREMENT, scan_root TEXT NOT NULL, start_time REAL NOT NULL, end_time REAL,"
                 " total_files INTEGER DEFAULT 0, new_files INTEGER DEFAULT 0, changed_files INTEGER DEFAULT 0, deleted_files INTEGER DEFAULT 0,"
                 " issues_found INTEGER DEFAULT 0, trigger TEXT NOT NULL, status TEXT NOT NULL DEFAULT 'running')");
        raw.exec("INSERT INTO scan_history (scan_root, start_time, end_time, total_files, trigger, status) VALUES ('/r', 10, 20, 7, 'Manual', 'completed')");
        raw.exec("INSERT INTO scan_history (scan_root, start_time, trigger) VALUES ('/r', 30, 'Manual')");
    }
    LogWatcher log;
    auto database = openOrFail(path);
    ASSERT_TRUE(database);

    RawDatabase raw(path);
    EXPECT_EQ(columnsOf(raw, "file_index"), kCurrentColumns);
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM scan_history"), 2);
    const auto last = database->lastCompletedScan("/r");
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->totalFiles, 7);
    if (param.expectedLog != nullptr) {
        EXPECT_TRUE(log.waitFor(param.expectedLog));
        EXPECT_EQ(database->totalCount("/r"), 0);
        EXPECT_THAT(raw.column("SELECT name FROM sqlite_master WHERE type = 'index' AND name LIKE 'idx_%'"),
            IsSupersetOf({"idx_scan_root_issues", "idx_last_scanned"}));
    } else {
        EXPECT_EQ(database->totalCount("/r"), 1);
        EXPECT_THAT(log.logged(), ::testing::Not(::testing::HasSubstr("Dropping")));
    }
}

INSTANTIATE_TEST_SUITE_P(Schemas, FileIndexMigration,
    ::testing::Values(
        // file_size wins even when the other two columns are present.
        MigrationCase {"WithFileSize",
            "CREATE TABLE file_index (id INTEGER PRIMARY KEY, path TEXT, path_key TEXT, relative_path TEXT, file_size INTEGER,"
            " shortened_components TEXT, scan_root TEXT, first_seen REAL, last_scanned REAL)",
            true, "FileIndexDatabase: Dropping stale file_index table (old schema with file_size)"},
        MigrationCase {"WithoutPathKey",
            "CREATE TABLE file_index (id INTEGER PRIMARY KEY, path TEXT UNIQUE, relative_path TEXT, shortened_components TEXT,"
            " scan_root TEXT, first_seen REAL, last_scanned REAL)",
            false, "FileIndexDatabase: Dropping file_index table (missing path_key column)"},
        MigrationCase {"WithoutShortenedComponents",
            "CREATE TABLE file_index (id INTEGER PRIMARY KEY, path TEXT, path_key TEXT UNIQUE, relative_path TEXT,"
            " scan_root TEXT, first_seen REAL, last_scanned REAL)",
            true, "FileIndexDatabase: Dropping file_index table (missing shortened_components column)"},
        MigrationCase {"Current",
            "CREATE TABLE file_index (id INTEGER PRIMARY KEY AUTOINCREMENT, path TEXT NOT NULL, path_key TEXT NOT NULL UNIQUE,"
            " relative_path TEXT NOT NULL, is_directory INTEGER NOT NULL DEFAULT 0, has_issues INTEGER NOT NULL DEFAULT 0,"
            " issue_count INTEGER NOT NULL DEFAULT 0, issue_types TEXT, proposed_rename TEXT, needs_rename INTEGER NOT NULL DEFAULT 0,"
            " shortened_components TEXT, first_seen REAL NOT NULL, last_scanned REAL NOT NULL, scan_root TEXT NOT NULL)",
            true, nullptr}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

// Databases written before carry a second index on path_key; opening drops it
// and keeps every row, and the one-pass comparison still finds them.
TEST(FileIndexDatabaseStorage, DuplicateKeyIndexOfOlderDatabasesIsDroppedAndRowsKept)
{
    TempDir dir;
    const std::string path = dir / "tessaline.db";
    {
        auto database = openOrFail(path);
        ASSERT_TRUE(database);
        ASSERT_TRUE(database->upsertFiles({test::makeResult("/r", "a"), test::makeResult("/r", "b/c")}, "/r", test::atSeconds(5)));
        database->close();
        RawDatabase raw(path);
        raw.exec("CREATE INDEX idx_path_key ON file_index(path_key)");
    }
    auto database = openOrFail(path);
    ASSERT_TRUE(database);
    RawDatabase raw(path);
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM sqlite_master WHERE name = 'idx_path_key'"), 0);
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM pragma_index_list('file_index') WHERE origin = 'u'"), 1);
    EXPECT_EQ(database->totalCount("/r"), 2);
    const auto match = database->matchIndexedPaths({{"/r/a", false}, {"/r/new", false}}, {});
    ASSERT_TRUE(match.valid);
    EXPECT_EQ(match.indexed, (std::vector<std::uint8_t> {1, 0}));
    EXPECT_EQ(match.unseenRowIds.size(), 1u);
}

TEST(FileIndexDatabaseStorage, CloseTwiceSaysAlreadyClosedAndLaterOperationsDoNothing)
{
    TempDir dir;
    auto database = openOrFail(dir / "tessaline.db");
    ASSERT_TRUE(database);
    LogWatcher log;
    database->close();
    EXPECT_TRUE(log.waitFor("FileIndexDatabase closed"));
    database->close();
    EXPECT_TRUE(log.waitFor("FileIndexDatabase: close() — already closed (db is nil)"));
    EXPECT_TRUE(log.waitFor("FileIndexDatabase: close() called on thread "));
    EXPECT_FALSE(database->isOpen());
    EXPECT_EQ(database->startScanRecord("/r", "Manual"), -1);
    EXPECT_EQ(database->totalCount("/r"), 0);
    EXPECT_TRUE(database->fetchFiles("/r", 10, 0).empty());
}

TEST(FileIndexDatabaseStorage, PendingCountIsOneWhileAJobRunsAndZeroAfter)
{
    TempDir dir;
    auto database = openOrFail(dir / "tessaline.db");
    ASSERT_TRUE(database);
    EXPECT_EQ(database->pendingWorkCount(), 0);
    Gate started;
    Gate release;
    database->performAsync([&] {
        started.open();
        release.wait();
    });
    started.wait();
    EXPECT_EQ(database->pendingWorkCount(), 1);
    EXPECT_EQ(FileIndexDatabase::pendingWorkCountOfAllDatabases(), 1);
    release.open();
    database->waitForPendingWrites();
    EXPECT_EQ(database->pendingWorkCount(), 0);
}

TEST(FileIndexDatabaseStorage, JobsRunInSubmissionOrder)
{
    TempDir dir;
    auto database = openOrFail(dir / "tessaline.db");
    ASSERT_TRUE(database);
    std::vector<int> order;
    for (int i = 0; i < 20; ++i) {
        database->performAsync([&order, i] { order.push_back(i); });
    }
    FileIndexDatabase::waitForAllDatabases();
    ASSERT_EQ(order.size(), 20U);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    EXPECT_EQ(database->pendingWorkCount(), 0);
}

TEST(FileIndexDatabaseStorage, WriteQueuedBeforeCloseIsNotLost)
{
    TempDir dir;
    const std::string path = dir / "tessaline.db";
    auto database = openOrFail(path);
    ASSERT_TRUE(database);
    Gate release;
    database->performAsync([&release, database] {
        release.wait();
        database->upsertFiles({test::makeResult("/r", "late.txt")}, "/r", test::atSeconds(100));
    });
    std::thread opener([&release] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        release.open();
    });
    database->close();  // lets the queued write finish first
    opener.join();
    EXPECT_EQ(database->pendingWorkCount(), 0);

    // A job queued after close finds no connection and writes nothing.
    database->performAsync([database] {
        database->upsertFiles({test::makeResult("/r", "after-close.txt")}, "/r", test::atSeconds(100));
    });
    database->waitForPendingWrites();
    EXPECT_EQ(database->pendingWorkCount(), 0);

    RawDatabase raw(path);
    EXPECT_EQ(raw.column("SELECT relative_path FROM file_index"), std::vector<std::string> {"late.txt"});
}

TEST(FileIndexDatabaseStorage, ReadsWaitForWritesQueuedBeforeThem)
{
    TempDir dir;
    auto database = openOrFail(dir / "tessaline.db");
    ASSERT_TRUE(database);
    Gate release;
    database->performAsync([&release, database] {
        release.wait();
        database->upsertFiles({test::makeResult("/r", "a.txt", false, {FileTransformationIssue::Collision {"b"}})}, "/r", test::atSeconds(5));
    });
    std::thread opener([&release] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        release.open();
    });
    EXPECT_EQ(database->totalCount("/r"), 1);
    opener.join();
    EXPECT_EQ(database->issueCount("/r"), 1);
    // Several steps in one job see the same ordering.
    Gate second;
    database->performAsync([&second, database] {
        second.wait();
        database->touchPaths({"/r/a.txt"}, test::atSeconds(9));
    });
    second.open();
    std::vector<IndexedFile> rows;
    database->sync([&] { rows = database->fetchFiles("/r", 10, 0); });
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_EQ(rows[0].lastScanned, test::atSeconds(9));
}

TEST(FileIndexDatabaseStorage, WaitsForALockHeldByAnotherConnection)
{
    TempDir dir;
    const std::string path = dir / "tessaline.db";
    auto database = openOrFail(path);
    ASSERT_TRUE(database);
    RawDatabase other(path);
    other.exec("BEGIN IMMEDIATE");
    std::thread committer([&other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        other.exec("COMMIT");
    });
    // Without a busy timeout this write would fail at once with SQLITE_BUSY.
    const auto id = database->startScanRecord("/r", "Manual");
    committer.join();
    EXPECT_GT(id, 0);
}

TEST(FileIndexDatabaseStorage, CurrentFollowsTheLatestOpenAndEmptiesWhenItGoes)
{
    TempDir dir;
    auto first = openOrFail(dir / "one.db");
    auto second = openOrFail(dir / "two.db");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(FileIndexDatabase::current(), second);
    second.reset();
    EXPECT_EQ(FileIndexDatabase::current(), nullptr);
    EXPECT_EQ(first->path(), dir / "one.db");
}

TEST(FileIndexDatabaseStorage, VacuumRunsOnTheQueueWhenThereIsSpaceToReclaimAndTheCheckpointAlways)
{
    TempDir dir;
    auto database = openOrFail(dir / "tessaline.db");
    ASSERT_TRUE(database);
    std::vector<FileTransformationResult> results;
    std::vector<std::string> paths;
    for (int i = 0; i < 2000; ++i) {
        results.push_back(test::makeResult("/r", "folder/a file with a long enough name " + std::to_string(i) + ".txt"));
        paths.push_back(results.back().originalFile.path);
    }
    ASSERT_TRUE(database->upsertFiles(results, "/r", test::atSeconds(1)));
    {
        // Nothing was freed: only the checkpoint runs.
        LogWatcher log;
        database->scheduleVacuum();
        EXPECT_TRUE(log.waitFor("FileIndexDatabase: VACUUM skipped (0 of "));
        EXPECT_TRUE(log.waitFor(" pages free) + checkpoint completed in "));
        EXPECT_EQ(log.logged().find("VACUUM + checkpoint completed"), std::string::npos);
        EXPECT_EQ(std::filesystem::file_size(dir / "tessaline.db-wal"), 0U);  // truncated by the checkpoint
    }
    const auto fullSize = std::filesystem::file_size(dir / "tessaline.db");
    paths.resize(1800);
    ASSERT_TRUE(database->deletePaths(paths));  // most pages become free
    {
        LogWatcher log;
        database->scheduleVacuum();
        EXPECT_TRUE(log.waitForTimedLine("FileIndexDatabase: VACUUM + checkpoint completed in ", 2));
        EXPECT_EQ(std::filesystem::file_size(dir / "tessaline.db-wal"), 0U);
        EXPECT_LT(std::filesystem::file_size(dir / "tessaline.db"), fullSize / 2);
        EXPECT_EQ(database->totalCount("/r"), 200);
    }
}

TEST(FileIndexDatabaseStorage, DatabaseInfoCountsRowsAndSumsTheThreeFiles)
{
    TempDir dir;
    EXPECT_FALSE(FileIndexDatabase::databaseInfo(dir / "missing.db").has_value());

    const std::string bare = dir / "bare.db";
    {
        RawDatabase raw(bare);
        raw.exec("PRAGMA journal_mode=WAL; CREATE TABLE other (x); INSERT INTO other VALUES (1)");
        const auto info = FileIndexDatabase::databaseInfo(bare);
        ASSERT_TRUE(info.has_value());
        EXPECT_EQ(info->rowCount, 0);
        const auto sum = std::filesystem::file_size(bare) + std::filesystem::file_size(bare + "-wal") + std::filesystem::file_size(bare + "-shm");
        EXPECT_EQ(info->totalSize, sum);
        EXPECT_GT(std::filesystem::file_size(bare + "-wal"), 0U);
    }

    const std::string indexed = dir / "tessaline.db";
    auto database = openOrFail(indexed);
    ASSERT_TRUE(database);
    database->upsertFiles({test::makeResult("/r", "a"), test::makeResult("/r", "b"), test::makeResult("/s", "c")}, "/r", test::atSeconds(1));
    const auto info = FileIndexDatabase::databaseInfo(indexed);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->rowCount, 3);
    EXPECT_GE(info->totalSize, std::filesystem::file_size(indexed));
}

TEST(FileIndexDatabaseStorage, ResetRemovesTheFilesAfterPendingWritesAndClosesOpenDatabases)
{
    TempDir dir;
    const std::string path = dir / "tessaline.db";
    auto database = openOrFail(path);
    ASSERT_TRUE(database);
    std::atomic<bool> jobRan {false};
    database->performAsync([&jobRan] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        jobRan = true;
    });
    LogWatcher log;
    FileIndexDatabase::resetDatabase(path);
    EXPECT_TRUE(jobRan);
    EXPECT_FALSE(database->isOpen());
    for (const char* suffix : {"", "-wal", "-shm"}) {
        EXPECT_FALSE(std::filesystem::exists(path + suffix)) << suffix;
    }
    EXPECT_TRUE(log.waitFor("Database reset: deleted files at " + path));
}

TEST(FileIndexDatabaseStorage, ResetWithOnlyTheMainFileStillLogs)
{
    TempDir dir;
    dir.writeFile("only.db", "x");
    LogWatcher log;
    FileIndexDatabase::resetDatabase(dir / "only.db");
    EXPECT_FALSE(dir.exists("only.db"));
    EXPECT_TRUE(log.waitFor("Database reset: deleted files at " + dir / "only.db"));
}
}  // namespace
}  // namespace tess
