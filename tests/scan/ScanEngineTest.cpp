#include "scan/ScanEngine.h"

#include "ManualClock.h"
#include "ScanTestSupport.h"
#include "TempDir.h"
#include "rules/FilesystemPreset.h"
#include "rules/OSPreset.h"

#include <gtest/gtest.h>

#include <atomic>

#include <stdexcept>

#include <sqlite3.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace tess {
namespace {

using test::LogWatcher;
using test::ManualClock;
using test::Recorder;
using test::TempDir;

TransformationSettings fatSettings()
{
    return TransformationSettings::make(FilesystemPreset::fat, false, {OSPreset::windows});
}

class ScanEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto opened = FileIndexDatabase::open(m_dbDir / "tessaline.db");
        ASSERT_TRUE(opened.ok()) << opened.error().message;
        m_database = opened.value();
        m_engine = makeEngine({"*.tmp", "/^build$/"});
    }

    void TearDown() override
    {
        m_engine.reset();
        m_database->close();
    }

    std::unique_ptr<ScanEngine> makeEngine(const std::vector<std::string>& excludes, long long workers = 2)
    {
        return std::make_unique<ScanEngine>(m_database, fatSettings(), excludes, workers, m_recorder.listener());
    }

    // Runs `work` as one job of the engine's current generation, as the
    // coordinator's queue does.
    void job(const std::function<void()>& work) { m_engine->runJob(m_engine->currentGeneration(), work); }

    void configure()
    {
        job([&] { m_engine->configure(m_tree.path(), destination()); });
    }

    ScanEngine::Counts scan()
    {
        ScanEngine::Counts counts;
        job([&] { counts = m_engine->requestScan(ScanTrigger::manual); });
        m_database->waitForPendingWrites();
        return counts;
    }

    static DestinationConfig destination() { return DestinationConfig::presetFilesystem(FilesystemPreset::fat, false); }

    std::vector<std::string> indexedRelativePaths()
    {
        std::vector<std::string> paths;
        for (const auto& row : m_database->fetchFiles(m_tree.path(), INT64_MAX, 0)) {
            paths.push_back(row.relativePath);
        }
        return paths;
    }

    std::vector<std::string> scanStatuses()
    {
        return test::queryColumn(m_dbDir / "tessaline.db", "SELECT status FROM scan_history ORDER BY id");
    }

    // A small source tree: one clean file, one file whose name FAT refuses,
    // a folder with a file, and what the walk must leave out.
    void makeTypicalTree()
    {
        m_tree.writeFile("clean.txt");
        m_tree.writeFile("bad:name.txt");
        m_tree.writeFile("sub/ok.txt");
        m_tree.writeFile(".hidden");
        m_tree.writeFile("Pkg.app/Contents/inner.txt");
        m_tree.writeFile("build/out.o");
        m_tree.writeFile("scratch.tmp");
    }

    TempDir m_tree;
    TempDir m_dbDir;
    Recorder m_recorder;
    std::shared_ptr<FileIndexDatabase> m_database;
    std::unique_ptr<ScanEngine> m_engine;
};

TEST_F(ScanEngineTest, FirstScanCountsIndexesAndReportsIssues)
{
    makeTypicalTree();
    LogWatcher log;
    job([&] { m_engine->runInitialScan(m_tree.path(), destination()); });
    m_database->waitForPendingWrites();

    EXPECT_TRUE(log.contains("Enumeration complete: 4 files (1 dirs) (4 new, 0 changed, 0 unchanged) in "));
    EXPECT_TRUE(log.contains("workers=2]"));
    EXPECT_TRUE(log.contains("Scan complete (Manual): 4 files, 4 new, 0 changed, 1 issues in "));
    EXPECT_TRUE(log.contains("MonitorCoordinator: All 4 files analyzed fresh, skipping redundant reanalysis"));
    EXPECT_FALSE(log.contains("reanalyzeAllFiles() entered"));
    EXPECT_TRUE(log.contains("MonitorCoordinator: Scan complete, ready for user review"));
    EXPECT_TRUE(log.waitFor("MonitorCoordinator: Background DB persistence completed in "));

    const auto results = m_recorder.results();
    ASSERT_EQ(results.size(), 1U);
    EXPECT_EQ(results[0].totalIndexed, 4);
    EXPECT_EQ(results[0].issueCount, 1);
    ASSERT_EQ(results[0].issues.size(), 1U);
    const IndexedFile& issue = results[0].issues[0];
    EXPECT_EQ(issue.id, 1);
    EXPECT_EQ(issue.relativePath, "bad:name.txt");
    EXPECT_EQ(issue.path, m_tree / "bad:name.txt");
    EXPECT_EQ(issue.issueTypes, "characterTransformed");
    EXPECT_EQ(issue.proposedRename, "bad_name.txt");
    EXPECT_TRUE(issue.needsRename);
    EXPECT_EQ(issue.scanRoot, m_tree.path());

    const auto summaries = m_recorder.summaries();
    ASSERT_EQ(summaries.size(), 1U);
    EXPECT_EQ(summaries[0].totalFilesScanned, 4);
    EXPECT_EQ(summaries[0].newFiles, 4);
    EXPECT_EQ(summaries[0].deletedFiles, 0);
    EXPECT_EQ(summaries[0].filesWithIssues, 1);
    EXPECT_EQ(summaries[0].trigger, ScanTrigger::manual);
    EXPECT_EQ(summaries[0].timestamp, issue.firstSeen);

    const auto statuses = m_recorder.statuses();
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.front(), MonitoringStatus::monitoring());
    EXPECT_EQ(statuses.back(), MonitoringStatus::monitoring());

    EXPECT_EQ(indexedRelativePaths(), (std::vector<std::string> {"bad:name.txt", "clean.txt", "sub", "sub/ok.txt"}));
    EXPECT_EQ(m_database->issueCount(m_tree.path()), 1);
    const auto record = m_database->lastCompletedScan(m_tree.path());
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->status, "completed");
    EXPECT_EQ(record->trigger, "Manual");
    EXPECT_EQ(record->totalFiles, 4);
    EXPECT_EQ(record->newFiles, 4);
    EXPECT_EQ(record->issuesFound, 1);
    EXPECT_TRUE(m_engine->lastTooDeepPaths().empty());
}

TEST_F(ScanEngineTest, SecondScanOfUnchangedTreeFindsEverythingUnchangedThenReanalyses)
{
    makeTypicalTree();
    job([&] { m_engine->runInitialScan(m_tree.path(), destination()); });
    m_database->waitForPendingWrites();
    m_recorder.clear();

    LogWatcher log;
    job([&] { m_engine->runInitialScan(m_tree.path(), destination()); });
    m_database->waitForPendingWrites();

    EXPECT_TRUE(log.contains("Enumeration complete: 4 files (1 dirs) (0 new, 0 changed, 4 unchanged) in "));
    EXPECT_FALSE(log.contains("stale paths"));
    EXPECT_TRUE(log.contains("MonitorCoordinator: 4 unchanged files need reanalysis for current settings"));
    EXPECT_TRUE(log.contains("MonitorCoordinator: Re-analyzing 4 files [dbRead="));
    EXPECT_TRUE(log.contains("MonitorCoordinator: Re-analysis complete. 1 issues found in "));

    // The scan itself analysed nothing; the re-analysis brings the issue back.
    const auto results = m_recorder.results();
    ASSERT_EQ(results.size(), 2U);
    EXPECT_TRUE(results[0].issues.empty());
    EXPECT_EQ(results[0].totalIndexed, 4);
    EXPECT_EQ(results[0].issueCount, 0);
    EXPECT_EQ(results[1].totalIndexed, 4);
    ASSERT_EQ(results[1].issues.size(), 1U);
    EXPECT_EQ(results[1].issues[0].relativePath, "bad:name.txt");
    EXPECT_EQ(results[1].issues[0].id, 1);
    EXPECT_EQ(m_recorder.summaries().at(0).newFiles, 0);

    // The re-analysis publishes analysing progress only, then monitoring.
    const auto progress = m_recorder.progress();
    ASSERT_GE(progress.size(), 3U);
    EXPECT_EQ(progress.back().filesAnalyzed, 4);
    EXPECT_EQ(progress.back().currentPhase, ScanPhase::analyzing);
    EXPECT_EQ(m_recorder.statuses().back(), MonitoringStatus::monitoring());
    EXPECT_EQ(scanStatuses(), (std::vector<std::string> {"completed", "completed"}));
}

TEST_F(ScanEngineTest, MovedItemCountsOnceAsNewAndItsOldRowGoes)
{
    makeTypicalTree();
    configure();
    scan();
    ASSERT_EQ(std::rename((m_tree / "sub/ok.txt").c_str(), (m_tree / "sub/moved.txt").c_str()), 0);

    LogWatcher log;
    const auto counts = scan();
    EXPECT_EQ(counts, (ScanEngine::Counts {4, 1, 0, 3}));
    EXPECT_TRUE(log.contains("MonitorCoordinator: Removed 1 stale paths from DB"));
    EXPECT_EQ(m_recorder.summaries().back().deletedFiles, 1);
    EXPECT_EQ(indexedRelativePaths(), (std::vector<std::string> {"bad:name.txt", "clean.txt", "sub", "sub/moved.txt"}));
}

TEST_F(ScanEngineTest, ProgressFollowsComparisonBatchesOf500)
{
    for (int i = 0; i < 1234; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%04d.txt", i);
        m_tree.writeFile(name);
    }
    configure();
    const auto counts = scan();
    EXPECT_EQ(counts, (ScanEngine::Counts {1234, 1234, 0, 0}));

    const auto progress = m_recorder.progress();
    ASSERT_EQ(progress.size(), 7U);
    struct Row {
        int enumerated, analyzed, fresh;
        ScanPhase phase;
    };
    const std::vector<Row> expected {
        {0, 0, 0, ScanPhase::enumerating},
        {500, 0, 500, ScanPhase::enumerating},
        {1000, 0, 1000, ScanPhase::enumerating},
        {1234, 0, 1234, ScanPhase::enumerating},
        {1234, 0, 1234, ScanPhase::analyzing},
        {0, 0, 0, ScanPhase::analyzing},
        {0, 1234, 0, ScanPhase::analyzing},
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(progress[i].filesEnumerated, expected[i].enumerated) << i;
        EXPECT_EQ(progress[i].filesAnalyzed, expected[i].analyzed) << i;
        EXPECT_EQ(progress[i].newFiles, expected[i].fresh) << i;
        EXPECT_EQ(progress[i].changedFiles, 0) << i;
        EXPECT_EQ(progress[i].currentPhase, expected[i].phase) << i;
        EXPECT_EQ(progress[i].trigger, ScanTrigger::manual);
        EXPECT_EQ(progress[i].startTime, progress[0].startTime);
    }
}

TEST_F(ScanEngineTest, CancellationDuringTheWalkEndsTheScanAndRecordsIt)
{
    for (int i = 0; i < 6; ++i) {
        m_tree.writeFile("d" + std::to_string(i) + "/sub/file.txt");
    }
    int folders = 0;
    m_engine = makeEngine({}, 1);
    m_engine->setWalkObserver([&] {
        if (++folders == 3) {
            m_engine->stopAnalysis();
        }
    });
    LogWatcher log;
    job([&] { m_engine->runInitialScan(m_tree.path(), destination()); });
    m_database->waitForPendingWrites();

    EXPECT_TRUE(log.contains("MonitorCoordinator: stopAnalysis() — cancellation requested"));
    EXPECT_TRUE(log.contains("MonitorCoordinator: Enumeration cancelled at 0 files"));
    EXPECT_TRUE(log.contains("MonitorCoordinator: Scan cancelled during enumeration"));
    EXPECT_TRUE(log.contains("MonitorCoordinator: Scan cancelled, not proceeding to reanalysis"));
    EXPECT_FALSE(log.contains("Enumeration complete"));
    EXPECT_FALSE(log.contains("ready for user review"));
    EXPECT_TRUE(m_recorder.results().empty());
    EXPECT_TRUE(m_recorder.summaries().empty());
    EXPECT_EQ(m_recorder.statuses().back(), MonitoringStatus::monitoring());
    EXPECT_FALSE(m_engine->isScanning());
    EXPECT_EQ(scanStatuses(), (std::vector<std::string> {"cancelled"}));
    EXPECT_TRUE(indexedRelativePaths().empty());
}

TEST_F(ScanEngineTest, ReanalysisAfterSettingsChangeClearsEveryIssue)
{
    makeTypicalTree();
    m_tree.writeFile("sub/also:bad.txt");
    configure();
    job([&] { m_engine->scanNow(); });  // scan, then re-analysis of every row
    m_database->waitForPendingWrites();
    auto results = m_recorder.results();
    ASSERT_EQ(results.size(), 2U);
    // The re-analysis that follows at once sees the rows the scan queued.
    EXPECT_EQ(results[1].totalIndexed, 5);
    EXPECT_EQ(results[1].issueCount, 2);
    ASSERT_EQ(m_database->issueCount(m_tree.path()), 2);

    TransformationSettings lenient = TransformationSettings::make(FilesystemPreset::ext4, true, {OSPreset::linux});
    job([&] { m_engine->updateSettings(lenient); });
    EXPECT_FALSE(m_engine->cachedActiveSettings().has_value());
    m_recorder.clear();
    LogWatcher log;
    job([&] { m_engine->requestReanalysis(); });
    m_database->waitForPendingWrites();

    results = m_recorder.results();
    ASSERT_EQ(results.size(), 1U);
    EXPECT_TRUE(results[0].issues.empty());
    EXPECT_EQ(results[0].issueCount, 0);
    EXPECT_EQ(results[0].totalIndexed, 5);
    EXPECT_TRUE(m_recorder.summaries().empty());
    EXPECT_TRUE(log.waitFor("MonitorCoordinator: Background reanalysis DB write completed in "));
    EXPECT_EQ(m_database->issueCount(m_tree.path()), 0);
    EXPECT_EQ(m_database->totalCount(m_tree.path()), 5);
    for (const auto& row : m_database->fetchFiles(m_tree.path(), INT64_MAX, 0)) {
        EXPECT_FALSE(row.hasIssues) << row.relativePath;
        EXPECT_FALSE(row.issueTypes.has_value());
        EXPECT_FALSE(row.proposedRename.has_value());
    }
}

TEST_F(ScanEngineTest, CancellingTheReanalysisPublishesAndWritesNothing)
{
    makeTypicalTree();
    configure();
    scan();
    ASSERT_EQ(m_database->issueCount(m_tree.path()), 1);

    // Under these settings the file has no issue: a re-analysis that wrote
    // anything would clear it from the index.
    ScanEngine::Listener listener = m_recorder.listener();
    int scanningStatuses = 0;
    listener.status = [&, record = listener.status](const MonitoringStatus& status, ScanEngine::Generation generation) {
        record(status, generation);
        if (status.isScanning() && ++scanningStatuses == 2) {  // just before the analysis
            m_engine->stopAnalysis();
        }
    };
    m_engine = std::make_unique<ScanEngine>(m_database, TransformationSettings::make(FilesystemPreset::ext4, true, {OSPreset::linux}),
        std::vector<std::string> {}, 2, listener);
    configure();
    m_recorder.clear();
    LogWatcher log;
    job([&] { m_engine->requestReanalysis(); });
    m_database->waitForPendingWrites();

    EXPECT_TRUE(log.contains("MonitorCoordinator: Reanalysis cancelled after analyze ("));
    EXPECT_FALSE(log.contains("Re-analysis complete"));
    EXPECT_TRUE(m_recorder.results().empty());
    EXPECT_EQ(m_recorder.statuses().back(), MonitoringStatus::monitoring());
    EXPECT_FALSE(m_engine->isScanning());
    EXPECT_TRUE(m_engine->lastTooDeepPaths().empty());
    EXPECT_EQ(m_database->issueCount(m_tree.path()), 1);
}

// "Scan now" re-analyses the items its scan matched when the index holds
// exactly those; whatever the scan found, its re-analysis publishes what a
// re-analysis read from the index publishes, and the index ends the same.
TEST_F(ScanEngineTest, ScanNowPublishesWhatAReanalysisFromTheIndexPublishes)
{
    struct Case {
        const char* name;
        std::function<void()> change;
    };
    const std::vector<Case> cases {
        {"nothing changed", [] {}},
        {"folder that cannot be listed",
            [this] {
                m_engine->setDirectoryOpener([](int rootFd, const std::string& relative, const std::string& absolute) {
                    return relative == "sub" ? -EACCES : DirectoryWalker::openDirectoryDefault(rootFd, relative, absolute);
                });
            }},
        {"file removed", [this] { std::filesystem::remove(m_tree / "clean.txt"); }},
        {"file added", [this] { m_tree.writeFile("new?.txt"); }},
    };
    // Without times and ids, which differ from run to run.
    const auto published = [&] {
        auto issues = m_recorder.results().back().issues;
        for (auto& issue : issues) {
            issue.id = 0;
            issue.firstSeen = {};
            issue.lastScanned = {};
        }
        return std::pair {issues, m_recorder.results().back().totalIndexed};
    };
    const auto storedAnalysis = [&] {
        return test::queryColumn(m_dbDir / "tessaline.db",
            "SELECT path || '|' || has_issues || '|' || ifnull(issue_types, '') || '|' || ifnull(proposed_rename, '')"
            " FROM file_index ORDER BY path");
    };
    ManualClock clock(std::chrono::system_clock::time_point(std::chrono::hours(480000)));
    m_database->setClock(clock.function());
    const auto rowsScannedBefore = [&](const std::string& time) {
        return test::queryColumn(m_dbDir / "tessaline.db", "SELECT COUNT(*) FROM file_index WHERE last_scanned <= " + time);
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        clock.advance(std::chrono::minutes(1));
        m_engine->setDirectoryOpener(DirectoryWalker::openDirectoryDefault);
        std::filesystem::remove_all(m_tree.path());
        std::filesystem::create_directories(m_tree.path());
        makeTypicalTree();
        m_tree.writeFile("sub/x:y.txt");
        m_tree.writeFile("sub/x?y.txt");  // collides with x:y.txt once both are fixed
        job([&] { m_engine->runInitialScan(m_tree.path(), destination()); });
        m_database->waitForPendingWrites();

        const std::string firstScanTime
            = test::queryColumn(m_dbDir / "tessaline.db", "SELECT MAX(last_scanned) FROM file_index").at(0);
        testCase.change();
        clock.advance(std::chrono::minutes(1));
        job([&] { m_engine->scanNow(); });
        m_database->waitForPendingWrites();
        const auto afterScanNow = published();
        // Every row the walk saw was touched, and the scan is recorded as done.
        const bool everyRowSeen = std::string(testCase.name) != "folder that cannot be listed";
        EXPECT_EQ(rowsScannedBefore(firstScanTime), (std::vector<std::string> {everyRowSeen ? "0" : "3"}));
        EXPECT_EQ(scanStatuses().back(), "completed");
        const auto storedAfterScanNow = storedAnalysis();
        EXPECT_FALSE(afterScanNow.first.empty());

        job([&] { m_engine->requestReanalysis(); });
        m_database->waitForPendingWrites();
        EXPECT_EQ(published(), afterScanNow);
        EXPECT_EQ(storedAnalysis(), storedAfterScanNow);
    }
}

TEST_F(ScanEngineTest, FolderThatCannotBeListedKeepsItsRows)
{
    makeTypicalTree();
    m_tree.writeFile("sub/inner/deep.txt");
    configure();
    scan();
    ASSERT_EQ(indexedRelativePaths().size(), 6U);

    // Running as root, permissions cannot make a folder unreadable: the walk's
    // opener refuses it instead.
    m_engine->setDirectoryOpener([](int rootFd, const std::string& relative, const std::string& absolute) {
        if (relative == "sub") {
            return -EACCES;
        }
        return DirectoryWalker::openDirectoryDefault(rootFd, relative, absolute);
    });
    LogWatcher log;
    const auto counts = scan();
    EXPECT_EQ(counts, (ScanEngine::Counts {3, 0, 0, 3}));
    EXPECT_TRUE(log.contains("⚠️ MonitorCoordinator: Cannot list folder " + (m_tree / "sub") + ": Permission denied"));
    EXPECT_FALSE(log.contains("stale paths"));
    EXPECT_EQ(m_recorder.summaries().back().deletedFiles, 0);
    EXPECT_EQ(indexedRelativePaths(),
        (std::vector<std::string> {"bad:name.txt", "clean.txt", "sub", "sub/inner", "sub/inner/deep.txt", "sub/ok.txt"}));
}

// A folder removed while the scan walks (after its parent was listed) is
// gone: its rows go with it, and nothing is said to be unreadable.
TEST_F(ScanEngineTest, FolderGoneDuringTheWalkLosesItsRows)
{
    makeTypicalTree();
    m_tree.writeFile("sub/inner/deep.txt");
    configure();
    scan();
    ASSERT_EQ(indexedRelativePaths().size(), 6U);

    m_engine->setDirectoryOpener([](int rootFd, const std::string& relative, const std::string& absolute) {
        if (relative == "sub") {
            std::filesystem::remove_all(absolute);
        }
        return DirectoryWalker::openDirectoryDefault(rootFd, relative, absolute);
    });
    LogWatcher log;
    scan();
    EXPECT_FALSE(log.contains("Cannot list folder"));
    EXPECT_EQ(indexedRelativePaths(), (std::vector<std::string> {"bad:name.txt", "clean.txt"}));
}

// Whatever a walker worker throws ends that scan like an unlisted source
// folder: nothing is taken as deleted, and the next scan runs normally.
TEST_F(ScanEngineTest, WalkerWorkerThatThrowsEndsTheScanAndTheNextScanRuns)
{
    makeTypicalTree();
    configure();
    scan();
    ASSERT_EQ(indexedRelativePaths().size(), 4U);

    std::atomic<bool> armed {true};
    m_engine->setDirectoryOpener([&](int rootFd, const std::string& relative, const std::string& absolute) {
        if (armed && relative == "sub") {
            throw std::runtime_error("injected walker failure");
        }
        return DirectoryWalker::openDirectoryDefault(rootFd, relative, absolute);
    });
    LogWatcher log;
    scan();
    EXPECT_TRUE(log.contains("❌ DirectoryWalker: a worker failed, walk stopped: injected walker failure"));
    EXPECT_TRUE(log.contains("⚠️ MonitorCoordinator: Cannot list source folder " + m_tree.path()));
    EXPECT_FALSE(m_engine->isScanning());
    EXPECT_EQ(indexedRelativePaths().size(), 4U);

    armed = false;
    m_tree.writeFile("later.txt");
    scan();
    EXPECT_EQ(indexedRelativePaths().size(), 5U);
}

// A rescan touches the rows it saw, keeps the rows under a folder it could
// not list as they were, removes the rows of vanished items and adds the new
// ones; the same when another connection writes to the index in the middle
// of the comparison, which makes the scan fall back from row ids to path keys.
TEST_F(ScanEngineTest, RescanTouchesSeenRowsKeepsUnlistedFoldersAndRemovesVanishedRows)
{
    for (const bool writeElsewhere : {false, true}) {
        SCOPED_TRACE(writeElsewhere ? "with a write from elsewhere" : "undisturbed");
        TempDir tree;
        tree.writeFile("keep.txt");
        tree.writeFile("gone.txt");
        tree.writeFile("locked/inner.txt");
        tree.writeFile("dir/a.txt");
        const std::string dbPath = m_dbDir / "tessaline.db";
        bool armed = false;
        bool wrote = false;
        ScanEngine::Listener listener = m_recorder.listener();
        listener.status = [&, inner = listener.status](const MonitoringStatus& status, ScanEngine::Generation generation) {
            inner(status, generation);
            if (armed && !wrote && status.isScanning() && status.progress().filesEnumerated > 0) {
                wrote = true;
                sqlite3* other = nullptr;
                ASSERT_EQ(sqlite3_open_v2(dbPath.c_str(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
                sqlite3_busy_timeout(other, 5000);
                EXPECT_EQ(sqlite3_exec(other, "INSERT INTO scan_history (scan_root, start_time, trigger) VALUES ('/elsewhere', 0, 'Manual')",
                              nullptr, nullptr, nullptr),
                    SQLITE_OK);
                sqlite3_close_v2(other);
            }
        };
        ManualClock clock(std::chrono::system_clock::time_point(std::chrono::hours(480000)));
        m_database->setClock(clock.function());
        ScanEngine engine(m_database, fatSettings(), {}, 2, listener);
        const auto run = [&] {
            engine.runJobUnconditionally([&] { engine.requestScan(ScanTrigger::manual); });
            m_database->waitForPendingWrites();
        };
        engine.runJobUnconditionally([&] { engine.configure(tree.path(), destination()); });
        run();
        const auto times = [&](const std::string& column) {
            std::map<std::string, std::string> out;
            const auto paths = test::queryColumn(dbPath, "SELECT relative_path FROM file_index WHERE scan_root = '" + tree.path() + "' ORDER BY id");
            const auto values = test::queryColumn(dbPath, "SELECT " + column + " FROM file_index WHERE scan_root = '" + tree.path() + "' ORDER BY id");
            for (std::size_t i = 0; i < paths.size(); ++i) {
                out[paths[i]] = values[i];
            }
            return out;
        };
        const auto firstScanned = times("last_scanned");
        ASSERT_EQ(firstScanned.size(), 6U);

        clock.advance(std::chrono::minutes(1));
        ASSERT_EQ(std::remove((tree / "gone.txt").c_str()), 0);
        tree.writeFile("dir/new.txt");
        engine.setDirectoryOpener([](int rootFd, const std::string& relative, const std::string& absolute) {
            return relative == "locked" ? -EACCES : DirectoryWalker::openDirectoryDefault(rootFd, relative, absolute);
        });
        LogWatcher log;
        armed = writeElsewhere;
        run();
        EXPECT_EQ(writeElsewhere, wrote);
        EXPECT_TRUE(log.contains("MonitorCoordinator: Removed 1 stale paths from DB"));
        EXPECT_EQ(m_recorder.summaries().back().deletedFiles, 1);

        const auto lastScanned = times("last_scanned");
        const auto firstSeen = times("first_seen");
        EXPECT_EQ(lastScanned.count("gone.txt"), 0U);
        EXPECT_EQ(lastScanned.at("locked/inner.txt"), firstScanned.at("locked/inner.txt"));
        const std::string rescanned = lastScanned.at("keep.txt");
        EXPECT_DOUBLE_EQ(std::stod(rescanned), std::stod(firstScanned.at("keep.txt")) + 60);
        for (const std::string seen : {"keep.txt", "locked", "dir", "dir/a.txt", "dir/new.txt"}) {
            EXPECT_EQ(lastScanned.at(seen), rescanned) << seen;
        }
        EXPECT_EQ(firstSeen.at("dir/new.txt"), rescanned);
        EXPECT_EQ(firstSeen.at("dir/a.txt"), firstScanned.at("dir/a.txt"));
    }
}

TEST_F(ScanEngineTest, SourceThatCannotBeListedEndsTheScanLikeACancellation)
{
    makeTypicalTree();
    configure();
    scan();
    m_recorder.clear();
    m_engine->setDirectoryOpener([](int, const std::string&, const std::string&) { return -EIO; });
    LogWatcher log;
    job([&] { m_engine->scanNow(); });
    m_database->waitForPendingWrites();

    EXPECT_TRUE(log.contains("⚠️ MonitorCoordinator: Cannot list source folder " + m_tree.path()));
    EXPECT_TRUE(log.contains("MonitorCoordinator: Scan cancelled, not proceeding to reanalysis"));
    EXPECT_FALSE(log.contains("reanalyzeAllFiles() entered"));
    EXPECT_TRUE(m_recorder.results().empty());
    EXPECT_EQ(m_recorder.statuses().back(), MonitoringStatus::monitoring());
    EXPECT_EQ(scanStatuses(), (std::vector<std::string> {"completed", "cancelled"}));
    EXPECT_EQ(indexedRelativePaths().size(), 4U);
}

TEST_F(ScanEngineTest, NameThatIsNotUtf8IsFoundIndexedAndReported)
{
    const std::string name = "caf\xE9.txt";  // Latin-1 bytes
    m_tree.writeFile(name);
    m_tree.writeFile("plain.txt");
    configure();
    const auto counts = scan();
    EXPECT_EQ(counts.total, 2);
    const auto results = m_recorder.results();
    ASSERT_EQ(results.size(), 1U);
    ASSERT_EQ(results[0].issues.size(), 1U);
    const IndexedFile& issue = results[0].issues[0];
    EXPECT_EQ(issue.path, m_tree / name);
    EXPECT_EQ(issue.relativePath, name);
    EXPECT_NE(issue.issueTypes->find("encodingTransformed"), std::string::npos) << *issue.issueTypes;
    ASSERT_TRUE(issue.proposedRename.has_value());
    // The proposal is valid UTF-8 (the byte read as Windows-1252).
    EXPECT_EQ(issue.proposedRename->rfind("caf\xC3\xA9", 0), 0U) << *issue.proposedRename;

    EXPECT_EQ(indexedRelativePaths(), (std::vector<std::string> {name, "plain.txt"}));
    // Found again unchanged on the next scan (its raw bytes are its key).
    EXPECT_EQ(scan(), (ScanEngine::Counts {2, 0, 0, 2}));
}

TEST_F(ScanEngineTest, EmptySourceRemovesEveryRow)
{
    makeTypicalTree();
    configure();
    scan();
    for (const char* path : {"clean.txt", "bad:name.txt", "sub/ok.txt"}) {
        ASSERT_EQ(std::remove((m_tree / path).c_str()), 0);
    }
    ASSERT_EQ(std::remove((m_tree / "sub").c_str()), 0);
    m_recorder.clear();
    LogWatcher log;
    // Hidden, packaged and excluded items are still there, but not items.
    EXPECT_EQ(scan(), (ScanEngine::Counts {}));
    EXPECT_TRUE(log.contains("Enumeration complete: 0 files (0 dirs) (0 new, 0 changed, 0 unchanged)"));
    EXPECT_TRUE(log.contains("MonitorCoordinator: Removed 4 stale paths from DB"));
    const auto results = m_recorder.results();
    ASSERT_EQ(results.size(), 1U);
    EXPECT_TRUE(results[0].issues.empty());
    EXPECT_EQ(results[0].totalIndexed, 0);
    EXPECT_TRUE(indexedRelativePaths().empty());
}

TEST_F(ScanEngineTest, GatesDeferAndReplayOneScan)
{
    makeTypicalTree();
    LogWatcher log;
    job([&] { m_engine->scanNow(); });
    EXPECT_TRUE(log.contains("⚠️ Cannot scan: source or destination not configured"));
    EXPECT_TRUE(log.contains("⚠️ Cannot reanalyze: source or destination not configured"));

    configure();
    job([&] { m_engine->suppressScans(); });
    job([&] { m_engine->scanNow(); });
    job([&] { m_engine->scanNow(); });
    EXPECT_TRUE(log.contains("Scans suppressed (rename in progress), deferring Manual trigger"));
    EXPECT_TRUE(log.contains("Scans suppressed (rename in progress), deferring reanalysis"));
    EXPECT_TRUE(m_engine->pendingScanRequested());
    EXPECT_EQ(log.count("Scan complete (Manual)"), 0U);

    job([&] { m_engine->resumeScans(); });
    m_database->waitForPendingWrites();
    EXPECT_TRUE(log.contains("MonitorCoordinator: Scans resumed after rename"));
    EXPECT_EQ(log.count("MonitorCoordinator: Executing deferred post-rename scan"), 1U);
    EXPECT_EQ(log.count("Scan complete (Manual)"), 1U);
    EXPECT_EQ(log.count("reanalyzeAllFiles() entered"), 1U);

    // A second suppression forgets what the first one deferred.
    job([&] { m_engine->suppressScans(); });
    job([&] { m_engine->scanNow(); });
    job([&] { m_engine->suppressScans(); });
    job([&] { m_engine->resumeScans(); });
    EXPECT_EQ(log.count("Executing deferred post-rename scan"), 1U);
    EXPECT_EQ(log.count("Scan complete (Manual)"), 1U);
}

TEST_F(ScanEngineTest, NewGenerationDiscardsQueuedAndRunningWork)
{
    makeTypicalTree();
    configure();
    const auto old = m_engine->currentGeneration();
    m_engine->advanceGeneration();
    LogWatcher log;
    bool ran = false;
    m_engine->runJob(old, [&] { ran = true; });
    EXPECT_FALSE(ran);

    // Monitoring stopped while the walk runs: the scan is dropped even though
    // nobody asked to cancel it.
    m_engine->setWalkObserver([&] { m_engine->advanceGeneration(); });
    EXPECT_EQ(scan(), (ScanEngine::Counts {}));
    EXPECT_TRUE(log.contains("MonitorCoordinator: Scan cancelled during enumeration"));
    EXPECT_TRUE(m_recorder.results().empty());
    EXPECT_EQ(scanStatuses(), (std::vector<std::string> {"cancelled"}));
}

TEST(ScanEngineHelpers, DestinationRootByteCountAndIssueRecords)
{
    // A folder's bytes count with the "/" that joins it to a relative path.
    EXPECT_EQ(ScanEngine::destinationRootByteCount(DestinationConfig::physicalFolder("/mnt/usb/target")), 16);
    EXPECT_EQ(ScanEngine::destinationRootByteCount(DestinationConfig::physicalFolder("/mnt/\xC3\xA9")), 8);
    EXPECT_EQ(ScanEngine::destinationRootByteCount(DestinationConfig::physicalFolder("/mnt/usb/")), 9);
    EXPECT_EQ(ScanEngine::destinationRootByteCount(DestinationConfig::presetFilesystem(FilesystemPreset::ntfs, false)), 3);
    EXPECT_EQ(ScanEngine::destinationRootByteCount(std::nullopt), 3);

    FileTransformationResult result;
    result.originalFile = {"/root/a/long name.txt", false};
    result.originalRelativePath = "a/long name.txt";
    result.finalRelativePath = "a/long name.txt";
    result.transformations = {FileTransformationIssue {FileTransformationIssue::FilenameTooLong {300, 255}},
        FileTransformationIssue {FileTransformationIssue::PathTooDeep {12, 10}},
        FileTransformationIssue {FileTransformationIssue::FilenameTooLong {300, 255}}};
    std::int64_t nextId = 7;
    const auto time = std::chrono::system_clock::now();
    const IndexedFile file = ScanEngine::makeIndexedFile(result, nextId, "/root", time);
    EXPECT_EQ(file.id, 7);
    EXPECT_EQ(nextId, 8);
    EXPECT_EQ(file.issueCount, 3);
    EXPECT_EQ(file.issueTypes, "filenameTooLong(300/255),pathTooDeep(12/10),filenameTooLong(300/255)");
    EXPECT_FALSE(file.proposedRename.has_value());
    EXPECT_FALSE(file.needsRename);
    EXPECT_TRUE(file.hasIssues);
    EXPECT_EQ(file.firstSeen, time);
    EXPECT_EQ(file.lastScanned, time);
    EXPECT_EQ(file.scanRoot, "/root");
}

TEST(ScanValueTypes, RawValuesAndEquality)
{
    EXPECT_EQ(rawValue(ScanTrigger::fsEvents), "FSEvents");
    EXPECT_EQ(rawValue(ScanTrigger::poll), "Scheduled");
    EXPECT_EQ(rawValue(ScanTrigger::manual), "Manual");
    EXPECT_EQ(scanTriggerFromRawValue("Scheduled"), ScanTrigger::poll);
    EXPECT_EQ(scanTriggerFromRawValue("manual"), std::nullopt);
    const std::vector<std::pair<ScanPhase, std::string_view>> phases {
        {ScanPhase::enumerating, "Enumerating files..."}, {ScanPhase::comparing, "Comparing with database..."},
        {ScanPhase::analyzing, "Analyzing changes..."}, {ScanPhase::updatingDatabase, "Updating database..."},
        {ScanPhase::cleaningUp, "Cleaning up deleted files..."}, {ScanPhase::complete, "Scan complete"}};
    for (const auto& [phase, raw] : phases) {
        EXPECT_EQ(rawValue(phase), raw);
        EXPECT_EQ(scanPhaseFromRawValue(raw), phase);
    }

    ScanProgress a;
    ScanProgress b;
    b.filesEnumerated = 1;
    EXPECT_EQ(MonitoringStatus::scanning(a), MonitoringStatus::scanning(a));
    EXPECT_NE(MonitoringStatus::scanning(a), MonitoringStatus::scanning(b));
    EXPECT_EQ(MonitoringStatus::error("x"), MonitoringStatus::error("x"));
    EXPECT_NE(MonitoringStatus::error("x"), MonitoringStatus::error("y"));
    EXPECT_EQ(MonitoringStatus(), MonitoringStatus::idle());
    EXPECT_NE(MonitoringStatus::idle(), MonitoringStatus::monitoring());
}

}  // namespace
}  // namespace tess
