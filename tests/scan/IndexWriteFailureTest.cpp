// A scan whose background write fails: the index keeps the rows it had, the
// scan record is not marked completed, the log says so, and the next scan
// writes what the failed one could not.

#include "scan/ScanEngine.h"

#include "RawDatabase.h"
#include "ScanTestSupport.h"
#include "TempDir.h"
#include "rules/FilesystemPreset.h"
#include "rules/OSPreset.h"

#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tess {
namespace {

using test::LogWatcher;
using test::RawDatabase;
using test::Recorder;
using test::TempDir;

constexpr const char* kAllRowsSql = "SELECT path || '|' || relative_path || '|' || is_directory || '|' || issue_count || '|' "
                                    "|| IFNULL(issue_types, '-') || '|' || IFNULL(proposed_rename, '-') || '|' || first_seen || '|' "
                                    "|| last_scanned FROM file_index ORDER BY path";

// Root may write any file whatever its mode: while this object lives, the
// calling thread (and every thread it starts) has no CAP_DAC_OVERRIDE in its
// effective set, so a file without write permission is read-only to it too.
class WithoutWriteOverride {
public:
    WithoutWriteOverride()
    {
        if (geteuid() != 0) {
            return;
        }
        __user_cap_header_struct header {_LINUX_CAPABILITY_VERSION_3, 0};
        if (syscall(SYS_capget, &header, m_saved) != 0) {
            return;
        }
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[CAP_TO_INDEX(CAP_DAC_OVERRIDE)].effective &= ~CAP_TO_MASK(CAP_DAC_OVERRIDE);
        m_dropped = syscall(SYS_capset, &header, reduced) == 0;
    }
    ~WithoutWriteOverride()
    {
        if (m_dropped) {
            __user_cap_header_struct header {_LINUX_CAPABILITY_VERSION_3, 0};
            syscall(SYS_capset, &header, m_saved);
        }
    }
    WithoutWriteOverride(const WithoutWriteOverride&) = delete;
    WithoutWriteOverride& operator=(const WithoutWriteOverride&) = delete;

    // False when root kept its override (the capability could not be dropped).
    bool effective() const { return geteuid() != 0 || m_dropped; }

private:
    __user_cap_data_struct m_saved[2] {};
    bool m_dropped = false;
};

class IndexWriteFailureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_tree.writeFile("kept.txt");
        m_tree.writeFile("bad:kept.txt");
        openDatabase();
    }

    void TearDown() override
    {
        m_engine.reset();
        if (m_database) {
            m_database->close();
        }
    }

    std::string databasePath() const { return m_dbDir / "tessaline.db"; }

    void openDatabase(ScanEngine::Listener listener = {})
    {
        auto opened = FileIndexDatabase::open(databasePath());
        ASSERT_TRUE(opened.ok()) << opened.error().message;
        m_database = opened.value();
        m_engine = std::make_unique<ScanEngine>(m_database,
            TransformationSettings::make(FilesystemPreset::fat, false, {OSPreset::windows}), std::vector<std::string> {}, 2,
            listener.status ? listener : m_recorder.listener());
        m_engine->runJobUnconditionally(
            [&] { m_engine->configure(m_tree.path(), DestinationConfig::presetFilesystem(FilesystemPreset::fat, false)); });
    }

    void closeDatabase()
    {
        m_engine.reset();
        m_database->close();
        m_database.reset();
    }

    ScanEngine::Counts scan()
    {
        ScanEngine::Counts counts;
        m_engine->runJobUnconditionally([&] { counts = m_engine->requestScan(ScanTrigger::manual); });
        m_database->waitForPendingWrites();
        return counts;
    }

    std::vector<std::string> rows() { return test::queryColumn(databasePath(), kAllRowsSql); }
    std::vector<std::string> statuses() { return test::queryColumn(databasePath(), "SELECT status FROM scan_history ORDER BY id"); }

    TempDir m_tree;
    TempDir m_dbDir;
    Recorder m_recorder;
    std::shared_ptr<FileIndexDatabase> m_database;
    std::unique_ptr<ScanEngine> m_engine;
};

TEST_F(IndexWriteFailureTest, WriteLockHeldByAnotherConnectionFailsTheWriteAndTheNextScanRepairsIt)
{
    ASSERT_EQ(scan(), (ScanEngine::Counts {2, 2, 0, 0}));
    m_tree.writeFile("new:one.txt");

    // Once the scan has published its results (the touch of the unchanged
    // rows is done by then), another connection takes the write lock and
    // keeps it until the scan's write has failed.
    std::unique_ptr<RawDatabase> holder;
    std::vector<std::string> before;
    ScanEngine::Listener listener = m_recorder.listener();
    listener.summary = [&, inner = listener.summary](const ScanSummary& summary, ScanEngine::Generation generation) {
        inner(summary, generation);
        if (holder || !before.empty()) {
            return;  // only the first scan's write is blocked
        }
        m_database->waitForPendingWrites();
        holder = std::make_unique<RawDatabase>(databasePath());
        holder->exec("BEGIN IMMEDIATE");
        before = holder->column(kAllRowsSql);
    };
    closeDatabase();
    openDatabase(listener);
    const LogWatcher log;

    ScanEngine::Counts counts;
    m_engine->runJobUnconditionally([&] { counts = m_engine->requestScan(ScanTrigger::manual); });
    EXPECT_EQ(counts, (ScanEngine::Counts {3, 1, 0, 2}));
    ASSERT_NE(holder, nullptr);
    // The write waits for the lock as long as the connection's busy timeout.
    bool failed = false;
    for (int attempt = 0; attempt < 4 && !failed; ++attempt) {
        failed = log.waitFor("upsertFiles failed, its changes were rolled back");
    }
    ASSERT_TRUE(failed);
    holder->exec("ROLLBACK");
    holder.reset();
    m_database->waitForPendingWrites();

    EXPECT_TRUE(log.contains("Background DB persistence failed"));
    EXPECT_FALSE(log.contains("Background DB persistence completed"));
    EXPECT_EQ(m_recorder.indexWriteFailures(),
        (std::vector<std::string> {"Failed to save analysis results to the index: database is locked"}));
    EXPECT_EQ(statuses(), (std::vector<std::string> {"completed", "failed"}));
    EXPECT_EQ(rows(), before);
    EXPECT_EQ(before.size(), 2U);

    const LogWatcher next;
    EXPECT_EQ(scan(), (ScanEngine::Counts {3, 1, 0, 2}));  // the item the failed write lost is new again
    EXPECT_TRUE(next.contains("Background DB persistence completed"));
    EXPECT_EQ(statuses(), (std::vector<std::string> {"completed", "failed", "completed"}));
    EXPECT_EQ(rows().size(), 3U);
    EXPECT_EQ(m_database->issueCount(m_tree.path()), 2);
}

TEST_F(IndexWriteFailureTest, ReadOnlyDatabaseFileFailsTheWriteAndTheNextScanRepairsIt)
{
    ASSERT_EQ(scan(), (ScanEngine::Counts {2, 2, 0, 0}));
    closeDatabase();
    const std::vector<std::string> before = rows();
    ASSERT_EQ(before.size(), 2U);
    m_tree.writeFile("new:one.txt");
    std::filesystem::remove(m_tree / "kept.txt");
    ASSERT_EQ(chmod(databasePath().c_str(), 0444), 0);
    {
        const WithoutWriteOverride readOnly;
        if (!readOnly.effective()) {
            chmod(databasePath().c_str(), 0644);
            GTEST_SKIP() << "root's permission override could not be dropped";
        }
        // Opening proves the file can be written: a read-only index is
        // refused before a scan could publish results it cannot keep.
        const LogWatcher log;
        const auto opened = FileIndexDatabase::open(databasePath());
        ASSERT_FALSE(opened.ok());
        EXPECT_EQ(opened.error().message,
            "Failed to open database: attempt to write a readonly database (" + databasePath() + " cannot be written)");
        EXPECT_TRUE(log.contains("cannot be written: attempt to write a readonly database"));
        EXPECT_TRUE(m_recorder.indexWriteFailures().empty());
    }
    ASSERT_EQ(chmod(databasePath().c_str(), 0644), 0);
    EXPECT_EQ(rows(), before);
    EXPECT_EQ(statuses(), (std::vector<std::string> {"completed"}));  // the read-only file took no record

    openDatabase();
    EXPECT_EQ(scan(), (ScanEngine::Counts {2, 1, 0, 1}));
    EXPECT_EQ(statuses(), (std::vector<std::string> {"completed", "completed"}));
    EXPECT_EQ(test::queryColumn(databasePath(), "SELECT relative_path FROM file_index ORDER BY relative_path"),
        (std::vector<std::string> {"bad:kept.txt", "new:one.txt"}));
}

}  // namespace
}  // namespace tess
