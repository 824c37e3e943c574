// A process killed in the middle of writing the index leaves a database that
// opens, holds either all or none of the interrupted write, and is repaired
// by the next scan: the index then equals a clean first scan of the tree.
//
// The writer is this test program run again as a child process (a fresh
// process, not a fork of the threaded test runner) with the disabled test
// below; the parent kills it with SIGKILL once its write-ahead log shows the
// write under way.

#include "scan/ScanEngine.h"

#include "RawDatabase.h"
#include "ScanTestSupport.h"
#include "TempDir.h"
#include "rules/FilesystemPreset.h"
#include "rules/OSPreset.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tess {
namespace {

using test::RawDatabase;
using test::TempDir;

constexpr const char* kTreeVariable = "TESSALINE_KILL_TEST_TREE";
constexpr const char* kDatabaseVariable = "TESSALINE_KILL_TEST_DB";

TransformationSettings settings()
{
    return TransformationSettings::make(FilesystemPreset::fat, false, {OSPreset::windows});
}

// Every column but the id and the times, by path.
std::map<std::string, std::string> rowsByPath(const std::string& databasePath)
{
    RawDatabase raw(databasePath, RawDatabase::Mode::readOnly);
    const auto paths = raw.column("SELECT path FROM file_index ORDER BY path");
    const auto rows = raw.column("SELECT path_key || '|' || relative_path || '|' || is_directory || '|' || has_issues || '|' || "
                                 "issue_count || '|' || IFNULL(issue_types, 'NULL') || '|' || IFNULL(proposed_rename, 'NULL') || '|' || "
                                 "needs_rename || '|' || IFNULL(shortened_components, 'NULL') || '|' || scan_root "
                                 "FROM file_index ORDER BY path");
    std::map<std::string, std::string> byPath;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        byPath[paths[i]] = rows[i];
    }
    return byPath;
}

struct Scanner {
    std::shared_ptr<FileIndexDatabase> database;
    std::unique_ptr<ScanEngine> engine;

    Scanner(const std::string& databasePath, const std::string& root)
    {
        auto opened = FileIndexDatabase::open(databasePath);
        if (!opened.ok()) {
            ADD_FAILURE() << opened.error().message;
            return;
        }
        database = opened.value();
        engine = std::make_unique<ScanEngine>(database, settings(), std::vector<std::string> {}, 2, ScanEngine::Listener {});
        engine->runJobUnconditionally([&] { engine->configure(root, DestinationConfig::presetFilesystem(FilesystemPreset::fat, false)); });
    }
    ~Scanner()
    {
        engine.reset();
        if (database) {
            database->close();
        }
    }
    ScanEngine::Counts scan()
    {
        ScanEngine::Counts counts;
        engine->runJobUnconditionally([&] { counts = engine->requestScan(ScanTrigger::manual); });
        database->waitForPendingWrites();
        database->sync([] {});
        return counts;
    }
};

// The child: one scan of the tree into the database, with a page cache so
// small that the write spills its pages into the write-ahead log while its
// transaction is open.
TEST(KillMidWrite, DISABLED_ChildScansUntilKilled)
{
    const char* tree = std::getenv(kTreeVariable);
    const char* database = std::getenv(kDatabaseVariable);
    if (tree == nullptr || database == nullptr) {
        GTEST_SKIP() << "run by KillMidWrite.IndexOpensAndTheNextScanRepairsIt";
    }
    Scanner scanner(database, tree);
    scanner.database->execute("PRAGMA cache_size=20");
    scanner.scan();
}

void writeTree(const TempDir& tree, int files, int salt)
{
    for (int i = 0; i < files; ++i) {
        const std::string folder = "group " + std::to_string(i / 500) + (i % 3000 == 0 ? ":x" : "");
        const std::string name = (i % 10 == salt ? "bad:name " : "name ") + std::to_string(i) + (i % 7 == 0 ? "?.txt" : ".txt");
        tree.writeFile(folder + "/" + name);
    }
}

// Runs the child on `tree` and `databasePath` and kills it once the
// write-ahead log has grown past what opening and the scan record write.
// False when the child ended before it could be killed.
bool killChildMidWrite(const std::string& tree, const std::string& databasePath)
{
    const std::string wal = databasePath + "-wal";
    const pid_t child = fork();
    if (child == 0) {
        setenv(kTreeVariable, tree.c_str(), 1);
        setenv(kDatabaseVariable, databasePath.c_str(), 1);
        execl("/proc/self/exe", "test_scan", "--gtest_filter=KillMidWrite.DISABLED_ChildScansUntilKilled",
            "--gtest_also_run_disabled_tests", static_cast<char*>(nullptr));
        _exit(127);
    }
    bool killed = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            return false;  // finished first
        }
        std::error_code error;
        const auto size = std::filesystem::file_size(wal, error);
        if (!error && size > 512 * 1024) {
            kill(child, SIGKILL);
            killed = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    if (!killed) {
        kill(child, SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return killed && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

TEST(KillMidWrite, IndexOpensAndTheNextScanRepairsIt)
{
    struct Case {
        const char* name;
        bool indexedBefore;  // the killed scan is a rescan of a changed tree
    };
    for (const Case& c : {Case {"first scan into an empty index", false}, Case {"rescan of a changed tree", true}}) {
        SCOPED_TRACE(c.name);
        TempDir tree;
        TempDir dbDir;
        const std::string databasePath = dbDir / "tessaline.db";
        writeTree(tree, 12000, 3);
        std::map<std::string, std::string> before;
        if (c.indexedBefore) {
            Scanner(databasePath, tree.path()).scan();
            before = rowsByPath(databasePath);
            writeTree(tree, 24000, 4);  // new items, and new names beside the old ones
            std::filesystem::remove_all(tree / "group 1");  // vanished items
        }

        ASSERT_TRUE(killChildMidWrite(tree.path(), databasePath)) << "the child finished before it could be killed";

        {
            // The interrupted write is all or nothing, and the file is sound.
            RawDatabase raw(databasePath, RawDatabase::Mode::readOnly);
            EXPECT_EQ(raw.column("PRAGMA integrity_check"), (std::vector<std::string> {"ok"}));
            const auto statuses = raw.column("SELECT status FROM scan_history ORDER BY id");
            ASSERT_FALSE(statuses.empty());
            EXPECT_EQ(statuses.back(), "running");
        }
        const auto afterKill = rowsByPath(databasePath);
        if (!c.indexedBefore) {
            EXPECT_TRUE(afterKill.empty()) << afterKill.size() << " rows of an uncommitted write";
        }

        ScanEngine::Counts repaired;
        {
            Scanner scanner(databasePath, tree.path());
            ASSERT_TRUE(scanner.database);
            repaired = scanner.scan();
        }
        TempDir cleanDir;
        Scanner(cleanDir / "tessaline.db", tree.path()).scan();
        const auto expected = rowsByPath(cleanDir / "tessaline.db");
        EXPECT_EQ(repaired.total, static_cast<int>(expected.size()));
        EXPECT_EQ(rowsByPath(databasePath), expected);
        EXPECT_EQ(test::queryColumn(databasePath, "SELECT status FROM scan_history ORDER BY id DESC LIMIT 1"),
            (std::vector<std::string> {"completed"}));
    }
}

}  // namespace
}  // namespace tess
