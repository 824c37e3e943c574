// Robustness of the scan pipeline, the folder walk and the exclude patterns:
// each test states the sound behaviour.

#include "scan/CompiledExcludePatterns.h"
#include "scan/DirectoryWalker.h"
#include "scan/ScanEngine.h"

#include "ScanTestSupport.h"
#include "TempDir.h"
#include "rules/FilesystemPreset.h"
#include "rules/OSPreset.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace tess {
namespace {

using test::LogWatcher;
using test::Recorder;
using test::TempDir;

// Runs one statement on a separate, writable connection to the index file.
void execute(const std::string& databasePath, const std::string& sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(databasePath.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    sqlite3_busy_timeout(db, 5000);
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK) << (message ? message : "");
    sqlite3_free(message);
    sqlite3_close_v2(db);
}

class ScanRobustnessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto opened = FileIndexDatabase::open(databasePath());
        ASSERT_TRUE(opened.ok()) << opened.error().message;
        m_database = opened.value();
        m_engine = makeEngine();
    }

    void TearDown() override
    {
        m_engine.reset();
        m_database->close();
    }

    std::string databasePath() const { return m_dbDir / "tessaline.db"; }

    std::unique_ptr<ScanEngine> makeEngine()
    {
        return std::make_unique<ScanEngine>(m_database, TransformationSettings::make(FilesystemPreset::fat, false, {OSPreset::windows}),
            std::vector<std::string> {}, 2, m_recorder.listener());
    }

    void job(const std::function<void()>& work) { m_engine->runJob(m_engine->currentGeneration(), work); }

    void configure()
    {
        job([&] { m_engine->configure(m_tree.path(), DestinationConfig::presetFilesystem(FilesystemPreset::fat, false)); });
    }

    // A manual scan followed by the re-analysis, as scanNow does; waits for
    // the background writes.
    void scanNow()
    {
        job([&] { m_engine->scanNow(); });
        m_database->waitForPendingWrites();
    }

    std::vector<std::string> indexedRelativePaths()
    {
        std::vector<std::string> paths;
        for (const auto& row : m_database->fetchFiles(m_tree.path(), INT64_MAX, 0)) {
            paths.push_back(row.relativePath);
        }
        return paths;
    }

    TempDir m_tree;
    TempDir m_dbDir;
    Recorder m_recorder;
    std::shared_ptr<FileIndexDatabase> m_database;
    std::unique_ptr<ScanEngine> m_engine;
};

// rows of vanished items are found as
// "last_scanned < scan start". A row whose stored time lies after the scan's
// start (the system clock was set back, e.g. by a time-zone-less RTC or NTP
// step after the previous scan) is never removed: the vanished item stays in
// the index, is re-analysed and shown as an issue the user cannot rename.
// Sound: a row of the root that this scan neither touched nor wrote is stale,
// whatever its stored time.
TEST_F(ScanRobustnessTest, VanishedItemIsRemovedEvenWhenItsStoredTimeIsAhead)
{
    m_tree.writeFile("keep.txt");
    m_tree.writeFile("gone:file.txt");
    configure();
    scanNow();
    ASSERT_EQ(indexedRelativePaths(), (std::vector<std::string> {"gone:file.txt", "keep.txt"}));

    // The previous scan ran an hour "later" than the next one starts.
    execute(databasePath(), "UPDATE file_index SET last_scanned = last_scanned + 3600");
    ASSERT_EQ(std::remove((m_tree / "gone:file.txt").c_str()), 0);

    m_recorder.clear();
    scanNow();
    EXPECT_EQ(indexedRelativePaths(), (std::vector<std::string> {"keep.txt"}));
    ASSERT_FALSE(m_recorder.summaries().empty());
    EXPECT_EQ(m_recorder.summaries().back().deletedFiles, 1);
    // The re-analysis that follows must not bring the vanished item back.
    ASSERT_FALSE(m_recorder.results().empty());
    EXPECT_EQ(m_recorder.results().back().totalIndexed, 1);
    EXPECT_EQ(m_recorder.results().back().issueCount, 0);
}

// an item whose path is indexed counts as unchanged even
// when it changed from a file into a folder. Its row keeps is_directory = 0
// for ever (the touch does not update it, the re-analysis reads the flag from
// the row and writes it back), so the folder is analysed and renamed as a
// file (file-name limits, extension kept apart by shortening, history record
// of type file). Sound: a known path whose kind differs from the row is a
// changed item, analysed again like a new one.
TEST_F(ScanRobustnessTest, FileReplacedByFolderOfTheSameNameIsIndexedAsFolder)
{
    m_tree.writeFile("item.d");
    configure();
    scanNow();
    ASSERT_EQ(indexedRelativePaths(), (std::vector<std::string> {"item.d"}));

    ASSERT_EQ(std::remove((m_tree / "item.d").c_str()), 0);
    m_tree.writeFile("item.d/child.txt");
    m_recorder.clear();
    scanNow();

    bool found = false;
    for (const auto& row : m_database->fetchFiles(m_tree.path(), INT64_MAX, 0)) {
        if (row.relativePath == "item.d") {
            found = true;
            EXPECT_TRUE(row.isDirectory) << "the index still holds the folder as a file";
        }
    }
    EXPECT_TRUE(found);
    ASSERT_FALSE(m_recorder.summaries().empty());
    EXPECT_EQ(m_recorder.summaries().back().changedFiles, 1);
}

// The other way round: a folder replaced by a file of the same name is a
// changed item, its row holds a file, and the folder's children are removed.
TEST_F(ScanRobustnessTest, FolderReplacedByFileOfTheSameNameIsIndexedAsFile)
{
    m_tree.writeFile("item.d/child.txt");
    m_tree.writeFile("keep.txt");
    configure();
    scanNow();
    ASSERT_EQ(indexedRelativePaths(), (std::vector<std::string> {"item.d", "item.d/child.txt", "keep.txt"}));

    std::filesystem::remove_all(m_tree / "item.d");
    m_tree.writeFile("item.d");
    m_recorder.clear();
    LogWatcher log;
    scanNow();

    EXPECT_EQ(indexedRelativePaths(), (std::vector<std::string> {"item.d", "keep.txt"}));
    for (const auto& row : m_database->fetchFiles(m_tree.path(), INT64_MAX, 0)) {
        EXPECT_FALSE(row.isDirectory) << row.relativePath;
    }
    ASSERT_FALSE(m_recorder.summaries().empty());
    EXPECT_EQ(m_recorder.summaries().back().changedFiles, 1);
    EXPECT_EQ(m_recorder.summaries().back().newFiles, 0);
    EXPECT_EQ(m_recorder.summaries().back().deletedFiles, 1);
    EXPECT_TRUE(log.contains("(0 new, 1 changed, 1 unchanged)"));
    EXPECT_EQ(test::queryColumn(databasePath(), "SELECT changed_files FROM scan_history ORDER BY id DESC LIMIT 1"),
        (std::vector<std::string> {"1"}));
    // A third scan finds the item as it is now.
    m_recorder.clear();
    scanNow();
    ASSERT_FALSE(m_recorder.summaries().empty());
    EXPECT_EQ(m_recorder.summaries().back().changedFiles, 0);
}

// the background write of
// a finished scan does nothing once the scan engine is gone. Monitoring stops
// whenever the user picks another source folder or closes the current one,
// usually while the write is still queued: the issues the user has just been
// shown never reach the index (a later restore of that folder shows it
// clean), and the scan record stays "running" for ever. The write holds the
// database and its results by value; nothing requires the engine.
TEST_F(ScanRobustnessTest, FinishedScanIsWrittenEvenWhenTheEngineIsGoneBeforeTheWrite)
{
    m_tree.writeFile("bad:name.txt");
    m_tree.writeFile("clean.txt");
    // Holds the write queue from the moment the summary is published, which
    // comes just before the scan queues its write (reads wait for queued
    // writes, so an earlier hold would stop the comparison itself).
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    ScanEngine::Listener listener = m_recorder.listener();
    listener.summary = [&, inner = listener.summary](const ScanSummary& summary, ScanEngine::Generation generation) {
        inner(summary, generation);
        m_database->performAsync([released] { released.wait(); });
    };
    m_engine = std::make_unique<ScanEngine>(m_database, TransformationSettings::make(FilesystemPreset::fat, false, {OSPreset::windows}),
        std::vector<std::string> {}, 2, listener);
    configure();

    ScanEngine::Counts counts;
    job([&] { counts = m_engine->requestScan(ScanTrigger::manual); });
    ASSERT_EQ(counts, (ScanEngine::Counts {2, 2, 0, 0}));
    m_engine.reset();  // monitoring stopped, coordinator released
    release.set_value();
    m_database->waitForPendingWrites();

    EXPECT_EQ(m_database->totalCount(m_tree.path()), 2);
    EXPECT_EQ(m_database->issueCount(m_tree.path()), 1);
    EXPECT_EQ(test::queryColumn(databasePath(), "SELECT status FROM scan_history ORDER BY id"),
        (std::vector<std::string> {"completed"}));
}

// Two names in one folder that differ only in Unicode normalisation are two
// items on Linux. Each keeps a row (the precomposed one under the NFC key, the
// other under its own bytes), so the re-analysis sees both and their
// collision.
TEST_F(ScanRobustnessTest, CanonicallyEquivalentSiblingNamesBothStayIndexed)
{
    m_tree.writeFile("caf\xC3\xA9.txt");  // NFC
    m_tree.writeFile("cafe\xCC\x81.txt");  // NFD
    configure();
    scanNow();

    const auto results = m_recorder.results();
    ASSERT_EQ(results.size(), 2U);
    EXPECT_EQ(results[0].totalIndexed, 2);  // the scan's walk
    EXPECT_EQ(results[1].totalIndexed, 2) << "the re-analysis lost one of the two items";
    EXPECT_EQ(m_database->totalCount(m_tree.path()), 2);
}

// Pinned: a gated first scan (suppressed while a rename runs) returns zeros,
// so the first-scan follow-up logs "All 0 files" and runs no re-analysis; the
// deferred request then replays one scan and one re-analysis.
TEST_F(ScanRobustnessTest, GatedFirstScanLogsAllZeroAndReplaysOnResume)
{
    m_tree.writeFile("a.txt");
    LogWatcher log;
    job([&] { m_engine->suppressScans(); });
    job([&] { m_engine->runInitialScan(m_tree.path(), DestinationConfig::presetFilesystem(FilesystemPreset::fat, false)); });
    EXPECT_TRUE(log.contains("MonitorCoordinator: Started scan of " + m_tree.path()));
    EXPECT_TRUE(log.contains("Scans suppressed (rename in progress), deferring Manual trigger"));
    EXPECT_TRUE(log.contains("MonitorCoordinator: All 0 files analyzed fresh, skipping redundant reanalysis"));
    EXPECT_TRUE(log.contains("MonitorCoordinator: Scan complete, ready for user review"));
    EXPECT_EQ(log.count("reanalyzeAllFiles() entered"), 0U);
    // Only the "monitoring" of the start was published.
    EXPECT_EQ(m_recorder.statuses(), (std::vector<MonitoringStatus> {MonitoringStatus::monitoring()}));

    job([&] { m_engine->resumeScans(); });
    m_database->waitForPendingWrites();
    EXPECT_EQ(log.count("Scan complete (Manual): 1 files, 1 new, 0 changed, 0 issues in "), 1U);
    EXPECT_EQ(log.count("reanalyzeAllFiles() entered"), 1U);
}

// Pinned: stopAnalysis() after the walk does not stop the scan (its results
// are published and written), but the flag it leaves makes the first-scan
// follow-up skip the re-analysis and the closing line.
TEST_F(ScanRobustnessTest, CancellingAfterTheWalkKeepsTheScanButSkipsTheFollowUp)
{
    m_tree.writeFile("a.txt");
    m_tree.writeFile("b.txt");
    ScanEngine::Listener listener = m_recorder.listener();
    listener.status = [&, inner = listener.status](const MonitoringStatus& status, ScanEngine::Generation generation) {
        inner(status, generation);
        // The progress row "before the analysis" (all counts 0, analysing).
        if (status.isScanning() && status.progress().currentPhase == ScanPhase::analyzing && status.progress().filesEnumerated == 0
            && status.progress().filesAnalyzed == 0) {
            m_engine->stopAnalysis();
        }
    };
    m_engine = std::make_unique<ScanEngine>(m_database, TransformationSettings::make(FilesystemPreset::fat, false, {OSPreset::windows}),
        std::vector<std::string> {}, 2, listener);
    LogWatcher log;
    job([&] { m_engine->runInitialScan(m_tree.path(), DestinationConfig::presetFilesystem(FilesystemPreset::fat, false)); });
    m_database->waitForPendingWrites();
    EXPECT_TRUE(log.contains("Scan complete (Manual): 2 files, 2 new, 0 changed, 0 issues in "));
    EXPECT_TRUE(log.contains("MonitorCoordinator: Scan cancelled, not proceeding to reanalysis"));
    EXPECT_FALSE(log.contains("ready for user review"));
    EXPECT_EQ(m_database->totalCount(m_tree.path()), 2);
    EXPECT_EQ(test::queryColumn(databasePath(), "SELECT status FROM scan_history"), (std::vector<std::string> {"completed"}));
}

// a subfolder is opened by its whole
// path below the source folder with O_NOFOLLOW, which guards only the last
// component. When a folder already listed is replaced by a link before its
// subfolder is opened, the walk goes through the link and indexes items of
// another tree under this source's paths. Sound: no component below the
// source folder is followed (openat2 with RESOLVE_NO_SYMLINKS, or one
// O_NOFOLLOW openat per component, or opening relative to the parent's
// descriptor).
TEST(ScanWalkSafety, FolderSwappedForALinkDuringTheWalkIsNotFollowed)
{
    TempDir tree;
    TempDir outside;
    tree.writeFile("a/b/inside.txt");
    outside.writeFile("b/secret.txt");
    int checks = 0;
    DirectoryWalker::Options options;
    options.workerCount = 1;
    // Checks come before and after each folder's listing: root (1, 2),
    // "a" (3, 4), then before "a/b" (5).
    options.isCancelled = [&] {
        if (++checks == 5) {
            std::filesystem::remove_all(tree / "a");
            std::filesystem::create_directory_symlink(outside.path(), tree / "a");
        }
        return false;
    };
    const auto outcome = DirectoryWalker::walk(tree.path(), options);
    std::set<std::string> paths;
    for (const auto& item : outcome.items) {
        paths.insert(item.path);
    }
    EXPECT_FALSE(paths.contains(tree / "a/b/secret.txt")) << "an item of another tree was indexed under the source";
}

// exact names
// already match any normalisation form, but wildcards and expressions are
// matched against the name's bytes as they are. A name in decomposed form
// (common for files copied from a Mac) escapes a pattern the user typed in
// composed form. Sound: match the NFC form of the name against patterns
// compiled from their NFC form.
TEST(ExcludePatternEquivalence, PatternsMatchCanonicallyEquivalentNames)
{
    const std::string decomposed = "cafe\xCC\x81.txt";  // café.txt, NFD
    EXPECT_TRUE(CompiledExcludePatterns::compile({"caf\xC3\xA9.txt"}).isExcluded(decomposed));  // exact: passes
    EXPECT_TRUE(CompiledExcludePatterns::compile({"caf\xC3\xA9*"}).isExcluded(decomposed));  // wildcard
    EXPECT_TRUE(CompiledExcludePatterns::compile({"/^caf\xC3\xA9/"}).isExcluded(decomposed));  // expression
    // And the other way round: a decomposed pattern, a composed name.
    EXPECT_TRUE(CompiledExcludePatterns::compile({"cafe\xCC\x81*"}).isExcluded("caf\xC3\xA9.txt"));
}

// Pinned: the wildcard escapes every other expression character, also "\\",
// "^", "$", "|", "{", "}" and "#", and a name holding a line break is matched
// like the platform's expression (whose "." stops at a line break).
TEST(ExcludePatternEquivalence, WildcardTakesEveryOtherCharacterLiterally)
{
    struct Case {
        const char* pattern;
        const char* name;
        bool excluded;
    };
    const Case cases[] = {
        {"a\\*", "a\\x", true},
        {"a\\*", "ax", false},
        {"^$*", "^$1", true},
        {"x|y*", "x|yz", true},
        {"x|y*", "x", false},
        {"{1}*", "{1}a", true},
        {"#*", "#a", true},
        {"?", "\xC3\xA9", true},  // one character outside ASCII
        {"*.tmp", "a\nb.tmp", false},  // "." of the expression stops at a line break
        {"*.TMP", "x.tmp", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CompiledExcludePatterns::compile({c.pattern}).isExcluded(c.name), c.excluded) << c.pattern << " / " << c.name;
    }
}

}  // namespace
}  // namespace tess
