#include "model/MonitorCoordinator.h"

#include "DamagedIndex.h"
#include "IsolatedLogEnvironment.h"
#include "LogCapture.h"
#include "RawDatabase.h"
#include "TempDir.h"
#include "model/SettingsManager.h"
#include "rules/FilesystemPreset.h"
#include "rules/OSPreset.h"
#include "settings/DefaultsStore.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

namespace tess {
namespace {

using test::TempDir;

// The whole program runs with HOME and the XDG folders in a temporary folder,
// with debug logging on.
[[maybe_unused]] const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new test::IsolatedLogEnvironment);

// Watches the application log from its creation on; count() is the number of
// times a text occurs.
class LogWatcher : public test::LogCapture {
public:
    std::size_t count(std::string_view text) const { return occurrences(text); }
};

// Runs the main thread's events until `done` answers true (at most 10 s).
bool waitUntil(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents();
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// Runs the main thread's events for a little while.
void settle()
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    while (std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::vector<std::string> scanStatuses(const std::string& databasePath)
{
    return test::RawDatabase(databasePath, test::RawDatabase::Mode::readOnly).column("SELECT status FROM scan_history ORDER BY id");
}

// What the coordinator's signals delivered, and on which thread.
struct Received {
    std::vector<MonitoringStatus> statuses;
    std::vector<std::vector<IndexedFile>> results;
    std::vector<int> issueCounts;
    std::vector<int> totals;
    std::vector<ScanSummary> summaries;
    bool offMainThread = false;
};

class MonitorCoordinatorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "test_coordinator";
        static char* argv[] = {name, nullptr};
        s_app = std::make_unique<QCoreApplication>(argc, argv);
    }

    static void TearDownTestSuite()
    {
        s_app.reset();
    }

    void SetUp() override
    {
        m_settings = std::make_unique<SettingsManager>(std::make_shared<DefaultsStore>(m_configDir / "defaults.plist"));
        m_settings->updateSettings([](AppSettings& settings) {
            settings.preferences.activeSettings = TransformationSettings::make(FilesystemPreset::fat, false, {OSPreset::windows});
        });
        auto opened = FileIndexDatabase::open(m_dbPath);
        ASSERT_TRUE(opened.ok());
        m_database = opened.value();
        m_coordinator = std::make_unique<MonitorCoordinator>(m_database, *m_settings);
        connectRecorder(*m_coordinator);

        m_tree.writeFile("clean.txt");
        m_tree.writeFile("bad:name.txt");
        m_tree.writeFile("sub/ok.txt");
        m_tree.writeFile(".hidden");
    }

    void TearDown() override
    {
        m_coordinator.reset();
        m_database->close();
        settle();
    }

    void connectRecorder(MonitorCoordinator& coordinator)
    {
        const auto onMain = [this] {
            if (QThread::currentThread() != QCoreApplication::instance()->thread()) {
                m_received.offMainThread = true;
            }
        };
        QObject::connect(&coordinator, &MonitorCoordinator::statusChanged, [this, onMain](const MonitoringStatus& s) {
            onMain();
            m_received.statuses.push_back(s);
        });
        QObject::connect(&coordinator, &MonitorCoordinator::analysisResultsChanged, [this, onMain](const std::vector<IndexedFile>& r) {
            onMain();
            m_received.results.push_back(r);
        });
        QObject::connect(&coordinator, &MonitorCoordinator::issueCountChanged, [this](int n) { m_received.issueCounts.push_back(n); });
        QObject::connect(&coordinator, &MonitorCoordinator::totalIndexedChanged, [this](int n) { m_received.totals.push_back(n); });
        QObject::connect(&coordinator, &MonitorCoordinator::lastScanChanged, [this](const std::optional<ScanSummary>& s) {
            if (s) {
                m_received.summaries.push_back(*s);
            }
        });
    }

    static DestinationConfig destination() { return DestinationConfig::presetFilesystem(FilesystemPreset::fat, false); }

    // Starts monitoring and waits until the first scan (and what follows it)
    // has finished and its results are written.
    void startAndWait(const LogWatcher& log)
    {
        m_coordinator->startMonitoring(m_tree.path(), destination());
        ASSERT_TRUE(waitUntil([&] { return log.contains("MonitorCoordinator: Scan complete, ready for user review"); }));
        m_database->waitForPendingWrites();
        settle();
    }

    static inline std::unique_ptr<QCoreApplication> s_app;

    TempDir m_tree;
    TempDir m_configDir;
    TempDir m_dbDir;
    const std::string m_dbPath = m_dbDir / "tessaline.db";
    std::unique_ptr<SettingsManager> m_settings;
    std::shared_ptr<FileIndexDatabase> m_database;
    std::unique_ptr<MonitorCoordinator> m_coordinator;
    Received m_received;
};

TEST_F(MonitorCoordinatorTest, FirstScanPublishesOnTheMainThreadInOrder)
{
    EXPECT_EQ(m_coordinator->status(), MonitoringStatus::idle());
    EXPECT_FALSE(m_coordinator->lastScan().has_value());
    LogWatcher log;
    startAndWait(log);

    EXPECT_FALSE(m_received.offMainThread);
    ASSERT_GE(m_received.statuses.size(), 3U);
    EXPECT_EQ(m_received.statuses.front(), MonitoringStatus::monitoring());
    EXPECT_TRUE(m_received.statuses[1].isScanning());
    EXPECT_EQ(m_received.statuses[1].progress().currentPhase, ScanPhase::enumerating);
    EXPECT_EQ(m_received.statuses.back(), MonitoringStatus::monitoring());
    EXPECT_EQ(m_coordinator->status(), MonitoringStatus::monitoring());

    ASSERT_EQ(m_received.results.size(), 1U);
    ASSERT_EQ(m_received.results[0].size(), 1U);
    EXPECT_EQ(m_received.results[0][0].relativePath, "bad:name.txt");
    EXPECT_EQ(m_received.totals, (std::vector<int> {4}));
    EXPECT_EQ(m_received.issueCounts, (std::vector<int> {1}));
    ASSERT_EQ(m_received.summaries.size(), 1U);
    EXPECT_EQ(m_received.summaries[0].newFiles, 4);
    EXPECT_EQ(m_coordinator->issueCount(), 1);
    EXPECT_EQ(m_coordinator->totalIndexed(), 4);
    ASSERT_TRUE(m_coordinator->lastScan().has_value());
    EXPECT_EQ(m_coordinator->lastScan()->totalFilesScanned, 4);

    EXPECT_TRUE(log.contains("MonitorCoordinator: Started scan of " + m_tree.path()));
    EXPECT_TRUE(log.contains("MonitorCoordinator: All 4 files analyzed fresh, skipping redundant reanalysis"));
    EXPECT_FALSE(log.contains("reanalyzeAllFiles() entered"));
    EXPECT_EQ(scanStatuses(m_dbPath), (std::vector<std::string> {"completed"}));
}

TEST_F(MonitorCoordinatorTest, SuppressedRequestsReplayOneScanAndOneReanalysis)
{
    LogWatcher log;
    startAndWait(log);

    m_coordinator->suppressScans();
    m_coordinator->scanNow();
    m_coordinator->scanNow();
    m_coordinator->reanalyze();
    m_coordinator->resumeScans();
    ASSERT_TRUE(waitUntil([&] { return log.count("MonitorCoordinator: Re-analysis complete.") == 1; }));
    m_database->waitForPendingWrites();
    settle();

    EXPECT_TRUE(log.contains("MonitorCoordinator: Scans suppressed for rename operation"));
    EXPECT_EQ(log.count("Scans suppressed (rename in progress), deferring Manual trigger"), 2U);
    EXPECT_EQ(log.count("Scans suppressed (rename in progress), deferring reanalysis"), 3U);
    EXPECT_TRUE(log.contains("MonitorCoordinator: Scans resumed after rename"));
    EXPECT_EQ(log.count("MonitorCoordinator: Executing deferred post-rename scan"), 1U);
    EXPECT_EQ(log.count("Scan complete (Manual)"), 2U);  // the first scan and the replay
    EXPECT_EQ(log.count("reanalyzeAllFiles() entered"), 1U);
    EXPECT_EQ(m_coordinator->issueCount(), 1);
}

TEST_F(MonitorCoordinatorTest, SettingsChangesReachTheNextScan)
{
    LogWatcher log;
    startAndWait(log);
    m_settings->updateSettings([](AppSettings& settings) {
        settings.preferences.excludePatterns = {"clean.*"};
        settings.preferences.workerCount = 1000;  // clamped
    });
    m_coordinator->scanNow();
    ASSERT_TRUE(waitUntil([&] { return log.contains("MonitorCoordinator: Re-analysis complete."); }));
    EXPECT_TRUE(log.contains("Enumeration complete: 3 files (1 dirs) (0 new, 0 changed, 3 unchanged)"));
    EXPECT_TRUE(log.contains("workers=64]"));
    EXPECT_TRUE(log.contains("MonitorCoordinator: Removed 1 stale paths from DB"));
}

TEST_F(MonitorCoordinatorTest, CoordinatorMadeOnABackgroundThreadLivesOnTheMainThread)
{
    std::unique_ptr<MonitorCoordinator> made;
    std::thread maker([&] { made = std::make_unique<MonitorCoordinator>(m_database, *m_settings); });
    maker.join();
    EXPECT_EQ(made->thread(), QCoreApplication::instance()->thread());
    connectRecorder(*made);
    m_settings->updateSettings([](AppSettings& settings) { settings.preferences.workerCount = 3; });
    LogWatcher log;
    made->startMonitoring(m_tree.path(), destination());
    ASSERT_TRUE(waitUntil([&] { return log.contains("MonitorCoordinator: Scan complete, ready for user review"); }));
    EXPECT_TRUE(log.contains("workers=3]"));
    ASSERT_TRUE(waitUntil([&] { return made->issueCount() == 1; }));
    EXPECT_FALSE(m_received.offMainThread);
}

TEST_F(MonitorCoordinatorTest, ConfigurePublishesNothingAndReanalyzeReadsTheIndex)
{
    {
        LogWatcher log;
        startAndWait(log);
    }
    m_coordinator.reset();
    m_received = {};
    m_coordinator = std::make_unique<MonitorCoordinator>(m_database, *m_settings);
    connectRecorder(*m_coordinator);

    LogWatcher log;
    m_coordinator->configure(m_tree.path(), destination());
    ASSERT_TRUE(waitUntil([&] { return log.contains("MonitorCoordinator: Configured for " + m_tree.path() + " (no enumeration)"); }));
    settle();
    EXPECT_TRUE(m_received.statuses.empty());

    m_coordinator->reanalyze();
    ASSERT_TRUE(waitUntil([&] { return m_received.results.size() == 1 && m_coordinator->status() == MonitoringStatus::monitoring(); }));
    EXPECT_EQ(m_received.results[0].size(), 1U);
    EXPECT_EQ(m_coordinator->totalIndexed(), 4);
    EXPECT_FALSE(log.contains("Enumeration complete"));
}

TEST_F(MonitorCoordinatorTest, StopMonitoringCancelsTheRunningScanAndDropsItsResults)
{
    for (int i = 0; i < 30; ++i) {
        m_tree.writeFile("many/d" + std::to_string(i) + "/f.txt");
    }
    std::atomic<bool> walking {false};
    m_coordinator->setWalkObserver([&] {
        walking = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    });
    LogWatcher log;
    m_coordinator->startMonitoring(m_tree.path(), destination());
    ASSERT_TRUE(waitUntil([&] { return walking.load(); }));
    m_coordinator->stopMonitoring();  // returns once the scan has given up
    EXPECT_TRUE(log.contains("MonitorCoordinator: Scan cancelled during enumeration"));
    EXPECT_TRUE(log.contains("MonitorCoordinator: Stopped monitoring"));
    ASSERT_TRUE(waitUntil([&] { return m_coordinator->status() == MonitoringStatus::idle(); }));
    settle();
    EXPECT_TRUE(m_received.results.empty());
    EXPECT_TRUE(m_received.summaries.empty());
    EXPECT_EQ(m_received.statuses.back(), MonitoringStatus::idle());
    EXPECT_EQ(scanStatuses(m_dbPath), (std::vector<std::string> {"cancelled"}));

    // A second stop finds nothing to stop and publishes nothing.
    const std::size_t published = m_received.statuses.size();
    m_coordinator->stopMonitoring();
    settle();
    EXPECT_TRUE(log.contains("MonitorCoordinator: stopMonitoring() — already stopped (scanRoot is nil)"));
    EXPECT_EQ(m_received.statuses.size(), published);

    // Work queued before the stop never runs for the old source.
    m_coordinator->scanNow();
    settle();
    EXPECT_TRUE(log.contains("⚠️ Cannot scan: source or destination not configured"));
}

TEST_F(MonitorCoordinatorTest, StopAnalysisDuringFirstScanSkipsReanalysis)
{
    m_tree.writeFile("sub/more/deeper.txt");
    m_coordinator->setWalkObserver([this] { m_coordinator->stopAnalysis(); });
    LogWatcher log;
    m_coordinator->startMonitoring(m_tree.path(), destination());
    ASSERT_TRUE(waitUntil([&] { return log.contains("MonitorCoordinator: Scan cancelled, not proceeding to reanalysis"); }));
    settle();
    EXPECT_TRUE(log.contains("MonitorCoordinator: stopAnalysis() — cancellation requested"));
    EXPECT_FALSE(log.contains("ready for user review"));
    EXPECT_EQ(m_coordinator->status(), MonitoringStatus::monitoring());
}

TEST_F(MonitorCoordinatorTest, DestroyedCoordinatorDropsQueuedStatus)
{
    std::atomic<bool> walking {false};
    m_coordinator->setWalkObserver([&] { walking = true; });
    LogWatcher log;
    m_coordinator->startMonitoring(m_tree.path(), destination());
    ASSERT_TRUE(waitUntil([&] { return walking.load(); }));
    const std::size_t delivered = m_received.statuses.size();
    m_coordinator.reset();  // stops synchronously; the statuses it queued find no coordinator
    settle();
    EXPECT_TRUE(log.contains("MonitorCoordinator: deinit called on thread "));
    EXPECT_TRUE(log.contains("MonitorCoordinator: deinit completed"));
    EXPECT_TRUE(log.contains("MonitorCoordinator: publishStatus — self deallocated before main queue dispatch"));
    EXPECT_EQ(m_received.statuses.size(), delivered);
}

// A write the index refuses (another connection holds its write lock) makes
// the status an error with the reason, in place of "monitoring", until
// monitoring starts again; the next start writes the index.
TEST_F(MonitorCoordinatorTest, AFailedIndexWriteIsShownAsAnErrorUntilMonitoringStartsAgain)
{
    m_database->execute("PRAGMA busy_timeout = 50");
    auto holder = std::make_unique<test::RawDatabase>(m_dbPath);
    holder->exec("BEGIN IMMEDIATE");
    std::size_t changes = 0;
    QObject::connect(m_coordinator.get(), &MonitorCoordinator::indexErrorChanged, [&] { ++changes; });
    {
        LogWatcher log;
        startAndWait(log);
    }
    ASSERT_TRUE(waitUntil([&] { return m_coordinator->indexError().has_value(); }));
    const std::string message = "Failed to save analysis results to the index: database is locked";
    EXPECT_EQ(*m_coordinator->indexError(), message);
    EXPECT_EQ(m_coordinator->status(), MonitoringStatus::error(message));
    EXPECT_EQ(m_received.statuses.back(), MonitoringStatus::error(message));
    EXPECT_GE(changes, 1U);

    // A later scan that would end "monitoring" keeps showing the error.
    LogWatcher rescan;
    m_coordinator->scanNow();
    ASSERT_TRUE(waitUntil([&] { return rescan.contains("MonitorCoordinator: Background DB persistence failed"); }));
    m_database->waitForPendingWrites();
    settle();
    EXPECT_EQ(m_coordinator->status(), MonitoringStatus::error(message));
    EXPECT_NE(m_received.statuses.back(), MonitoringStatus::monitoring());

    holder->exec("ROLLBACK");
    holder.reset();
    const std::size_t before = changes;
    m_coordinator->stopMonitoring();
    EXPECT_FALSE(m_coordinator->indexError().has_value());
    EXPECT_EQ(changes, before + 1);
    LogWatcher log;
    startAndWait(log);
    EXPECT_FALSE(m_coordinator->indexError().has_value());
    EXPECT_EQ(m_coordinator->status(), MonitoringStatus::monitoring());
    EXPECT_EQ(m_database->totalCount(m_tree.path()), 4);
}

// An index found damaged when it is opened is replaced by a fresh one, and
// the next scan fills it again.
TEST_F(MonitorCoordinatorTest, ADamagedIndexIsReplacedAndTheNextScanRebuildsIt)
{
    {
        LogWatcher log;
        startAndWait(log);
    }
    m_coordinator.reset();
    m_database->close();
    {
        std::FILE* file = std::fopen(m_dbPath.c_str(), "r+b");
        ASSERT_NE(file, nullptr);
        std::fputs("Not an index at!", file);
        std::fclose(file);
    }
    auto opened = FileIndexDatabase::open(m_dbPath);
    ASSERT_TRUE(opened.ok()) << opened.error().message;
    m_database = opened.value();
    ASSERT_TRUE(m_database->recoveryNotice().has_value());
    EXPECT_EQ(m_database->totalCount(m_tree.path()), 0);

    m_received = {};
    m_coordinator = std::make_unique<MonitorCoordinator>(m_database, *m_settings);
    connectRecorder(*m_coordinator);
    LogWatcher log;
    startAndWait(log);
    EXPECT_EQ(m_coordinator->status(), MonitoringStatus::monitoring());
    EXPECT_EQ(m_database->totalCount(m_tree.path()), 4);
    EXPECT_EQ(m_database->issueCount(m_tree.path()), 1);
    ASSERT_EQ(m_received.results.size(), 1U);
    EXPECT_EQ(m_received.results[0].size(), 1U);
    EXPECT_EQ(scanStatuses(m_dbPath), (std::vector<std::string> {"completed"}));
}

struct HiddenDamageCase {
    test::HiddenDamage damage;
    bool fileRemoved;  // the scan that meets the damage finds one file gone
    const char* finder;  // what finds the damage
};

// Index fixtures damaged where the quick check at open does not look: the
// idle index's full check after a scan, or a write of that scan, finds the
// damage; the file is moved aside once, told until the next scan has rebuilt
// the index, and the write that met it is not shown as an error.
TEST_F(MonitorCoordinatorTest, AnIndexDamagedWhereTheQuickCheckDoesNotLookIsReplacedOnceToldAndRebuilt)
{
    // Enough rows that the index spans several pages.
    for (int i = 0; i < 300; ++i) {
        m_tree.writeFile("many/file " + std::to_string(i) + " " + std::string(40, 'n') + ".txt");
    }
    {
        LogWatcher log;
        startAndWait(log);
    }
    const std::int64_t total = m_database->totalCount(m_tree.path());
    m_coordinator.reset();
    m_database->close();
    const std::string sound = m_dbDir / "sound.db";
    std::filesystem::copy_file(m_dbPath, sound);

    const std::vector<HiddenDamageCase> cases = {
        {test::HiddenDamage::missingIndexEntries, false, "the idle check"},
        {test::HiddenDamage::copiedIndexPage, false, "the idle check"},
        {test::HiddenDamage::missingIndexEntries, true, "the delete of the removed file's row"},
    };
    for (const HiddenDamageCase& c : cases) {
        SCOPED_TRACE(std::string(test::nameOf(c.damage)) + ", found by " + c.finder);
        std::filesystem::copy_file(sound, m_dbPath, std::filesystem::copy_options::overwrite_existing);
        test::damageUnseen(m_dbPath, c.damage);
        const std::string removed = "many/file 299 " + std::string(40, 'n') + ".txt";
        if (c.fileRemoved) {
            std::filesystem::remove(m_tree / removed);
        }
        auto opened = FileIndexDatabase::open(m_dbPath, {FileIndexDatabase::kQuickCheckLimit, std::chrono::milliseconds(50)});
        ASSERT_TRUE(opened.ok()) << opened.error().message;
        m_database = opened.value();
        ASSERT_FALSE(m_database->recoveryNotice().has_value());
        std::atomic<int> told {0};
        m_database->setRecoveryNoticeObserver([&told] { ++told; });
        m_received = {};
        m_coordinator = std::make_unique<MonitorCoordinator>(m_database, *m_settings);
        connectRecorder(*m_coordinator);

        LogWatcher log;
        startAndWait(log);
        ASSERT_TRUE(waitUntil([&] { return m_database->replacementCount() == 1; }));
        settle();
        EXPECT_EQ(told.load(), 1);
        ASSERT_TRUE(m_database->recoveryNotice().has_value());
        std::size_t aside = 0;
        for (const auto& entry : std::filesystem::directory_iterator(m_dbDir.path())) {
            const std::string name = entry.path().filename();
            aside += name.starts_with("tessaline.db.damaged-") && !name.ends_with("-wal") && !name.ends_with("-shm") ? 1 : 0;
        }
        EXPECT_EQ(aside, 1U);
        EXPECT_NE(m_database->recoveryNotice()->find("tessaline.db.damaged-"), std::string::npos);
        EXPECT_EQ(log.count(c.fileRemoved ? "is damaged (a statement met: " : "is damaged (the full integrity check found: "), 1U);
        EXPECT_FALSE(m_coordinator->indexError().has_value());
        EXPECT_EQ(m_coordinator->status(), MonitoringStatus::monitoring());

        // The next scan rebuilds the index, and the notice goes.
        LogWatcher rescan;
        m_coordinator->scanNow();
        ASSERT_TRUE(waitUntil([&] { return rescan.contains("MonitorCoordinator: Background DB persistence completed"); }));
        m_database->waitForPendingWrites();
        ASSERT_TRUE(waitUntil([&] { return told.load() == 2; }));
        EXPECT_FALSE(m_database->recoveryNotice().has_value());
        EXPECT_EQ(m_database->totalCount(m_tree.path()), total - (c.fileRemoved ? 1 : 0));
        EXPECT_EQ(test::integrityCheckOf(m_dbPath), "ok");
        EXPECT_EQ(m_database->replacementCount(), 1U);

        m_coordinator.reset();
        m_database->close();
        for (const auto& entry : std::filesystem::directory_iterator(m_dbDir.path())) {
            if (entry.path().filename().string().starts_with("tessaline.db.damaged-")) {
                std::filesystem::remove(entry.path());
            }
        }
        if (c.fileRemoved) {
            m_tree.writeFile(removed);
        }
    }
}

}  // namespace
}  // namespace tess
