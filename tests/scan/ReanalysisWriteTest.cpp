// The write of a re-analysis: the index ends as a first scan under the same
// rules would write it, and only the rows whose analysis changed are
// rewritten (the others keep their id and last-scanned time).

#include "scan/ScanEngine.h"

#include "Gate.h"
#include "RawDatabase.h"
#include "ScanTestSupport.h"
#include "TempDir.h"
#include "rules/FilesystemPreset.h"
#include "rules/OSPreset.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tess {
namespace {

using test::RawDatabase;
using test::TempDir;

struct Row {
    std::string analysis;  // every stored column but the id and the times
    std::string id;
    std::string lastScanned;
};

std::map<std::string, Row> rowsByPath(const std::string& databasePath)
{
    RawDatabase raw(databasePath, RawDatabase::Mode::readOnly);
    const auto paths = raw.column("SELECT path FROM file_index ORDER BY path");
    const auto analysis = raw.column("SELECT relative_path || '|' || is_directory || '|' || has_issues || '|' || issue_count || '|' || "
                                     "IFNULL(issue_types, 'NULL') || '|' || IFNULL(proposed_rename, 'NULL') || '|' || needs_rename || '|' "
                                     "|| IFNULL(shortened_components, 'NULL') || '|' || scan_root FROM file_index ORDER BY path");
    const auto ids = raw.column("SELECT id FROM file_index ORDER BY path");
    const auto times = raw.column("SELECT printf('%.6f', last_scanned) FROM file_index ORDER BY path");
    std::map<std::string, Row> rows;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        rows[paths[i]] = Row {analysis[i], ids[i], times[i]};
    }
    return rows;
}

struct Index {
    TempDir dir;
    std::shared_ptr<FileIndexDatabase> database;
    std::unique_ptr<ScanEngine> engine;

    Index(const std::string& root, const TransformationSettings& settings)
    {
        database = FileIndexDatabase::open(path()).value();
        engine = std::make_unique<ScanEngine>(database, settings, std::vector<std::string> {}, 2, ScanEngine::Listener {});
        engine->runJobUnconditionally([&] { engine->configure(root, DestinationConfig::presetFilesystem(FilesystemPreset::fat, false)); });
    }
    ~Index()
    {
        engine.reset();
        database->close();
    }
    std::string path() const { return dir / "tessaline.db"; }
    void job(const std::function<void()>& work)
    {
        engine->runJobUnconditionally(work);
        database->waitForPendingWrites();
    }
};

TEST(ReanalysisWrite, IndexEndsAsAFirstScanWouldWriteItAndOnlyChangedRowsAreRewritten)
{
    const auto fatWindows = TransformationSettings::make(FilesystemPreset::fat, false, {OSPreset::windows});
    const auto ext4Linux = TransformationSettings::make(FilesystemPreset::ext4, true, {OSPreset::linux});
    struct Case {
        const char* name;
        TransformationSettings before;
        TransformationSettings after;
        bool someRowsChange;
    };
    const Case cases[] = {
        {"same rules", fatWindows, fatWindows, false},
        {"rules that clear the issues", fatWindows, ext4Linux, true},
        {"rules that find new issues", ext4Linux, fatWindows, true},
    };
    TempDir tree;
    for (const char* file : {"plain.txt", "colon:name.txt", "what?.txt", "folder:x/inner.txt", "folder:x/trailing. ", "CON"}) {
        tree.writeFile(file);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Index index(tree.path(), c.before);
        index.job([&] { index.engine->requestScan(ScanTrigger::manual); });
        const auto before = rowsByPath(index.path());
        ASSERT_EQ(before.size(), 7U);

        index.job([&] { index.engine->updateSettings(c.after); });
        index.job([&] { index.engine->requestReanalysis(); });
        const auto after = rowsByPath(index.path());

        Index fresh(tree.path(), c.after);
        fresh.job([&] { fresh.engine->requestScan(ScanTrigger::manual); });
        const auto expected = rowsByPath(fresh.path());

        ASSERT_EQ(after.size(), expected.size());
        int rewritten = 0;
        for (const auto& [path, row] : after) {
            SCOPED_TRACE(path);
            ASSERT_TRUE(expected.contains(path));
            EXPECT_EQ(row.analysis, expected.at(path).analysis);
            const Row& old = before.at(path);
            if (old.analysis == row.analysis) {
                EXPECT_EQ(row.id, old.id);
                EXPECT_EQ(row.lastScanned, old.lastScanned);
            } else {
                ++rewritten;
                EXPECT_NE(row.lastScanned, old.lastScanned);
            }
        }
        EXPECT_EQ(rewritten > 0, c.someRowsChange);
    }
}

// Names that differ only in normalisation keep a row each through
// re-analyses under other rules: each result is written to the row under its
// own key, as a first scan keys them, and a re-analysis under the same rules
// rewrites none of them. (Which twin of a colliding pair is proposed a new
// name follows the order of the analysis, so only the counts are compared.)
TEST(ReanalysisWrite, TwinsAreComparedAndWrittenUnderTheirOwnRowKeys)
{
    const std::string composed = "caf\xC3\xA9";  // café, NFC
    const std::string decomposed = "cafe\xCC\x81";  // café, NFD
    const auto fatWindows = TransformationSettings::make(FilesystemPreset::fat, false, {OSPreset::windows});
    const auto ext4Linux = TransformationSettings::make(FilesystemPreset::ext4, true, {OSPreset::linux});
    TempDir tree;
    for (const std::string& file : {composed + ":a.txt", decomposed + ":a.txt", decomposed + ":b.txt", composed + ".txt",
             decomposed + ".txt", std::string("plain.txt")}) {
        tree.writeFile(file);
    }
    const auto column = [](const std::string& databasePath, const std::string& sql) {
        return RawDatabase(databasePath, RawDatabase::Mode::readOnly).column(sql);
    };
    const std::string keysSql = "SELECT path || '|' || path_key FROM file_index ORDER BY path";
    const std::string countsSql = "SELECT SUM(issue_count) || '|' || SUM(needs_rename) || '|' || COUNT(*) FROM file_index";
    Index index(tree.path(), fatWindows);
    index.job([&] { index.engine->requestScan(ScanTrigger::manual); });
    ASSERT_EQ(rowsByPath(index.path()).size(), 6U);
    for (const auto& rules : {ext4Linux, fatWindows}) {
        index.job([&] { index.engine->updateSettings(rules); });
        index.job([&] { index.engine->requestReanalysis(); });
        Index fresh(tree.path(), rules);
        fresh.job([&] { fresh.engine->requestScan(ScanTrigger::manual); });
        EXPECT_EQ(column(index.path(), keysSql), column(fresh.path(), keysSql));
        EXPECT_EQ(column(index.path(), countsSql), column(fresh.path(), countsSql));
    }
    const auto before = rowsByPath(index.path());
    index.job([&] { index.engine->requestReanalysis(); });
    const auto after = rowsByPath(index.path());
    ASSERT_EQ(after.size(), before.size());
    for (const auto& [path, row] : after) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(before.contains(path));
        EXPECT_EQ(row.id, before.at(path).id);
        EXPECT_EQ(row.lastScanned, before.at(path).lastScanned);
    }
}

// After a rescan that found nothing new, the queued writes only touch
// last-scanned times: the re-analysis reads the index beside them instead of
// waiting, and still sees every row. A queued write that may change rows is
// still waited for.
TEST(ReanalysisWrite, ReadWaitsOnlyForWritesThatMayChangeWhatItReads)
{
    struct Case {
        const char* name;
        bool heldWriteKeepsItems;
    };
    for (const Case& c : {Case {"held write touches rows only", true}, Case {"held write may change rows", false}}) {
        SCOPED_TRACE(c.name);
        TempDir tree;
        for (const char* file : {"plain.txt", "colon:name.txt", "folder/what?.txt"}) {
            tree.writeFile(file);
        }
        test::Recorder recorder;
        test::Gate gate;
        bool holdAfterSummary = false;
        ScanEngine::Listener listener = recorder.listener();
        Index index(tree.path(), TransformationSettings::make(FilesystemPreset::fat, false, {OSPreset::windows}));
        listener.summary = [&, inner = listener.summary](const ScanSummary& summary, ScanEngine::Generation generation) {
            inner(summary, generation);
            if (!holdAfterSummary) {
                return;
            }
            // A write that takes long, queued after the scan's own writes.
            if (c.heldWriteKeepsItems) {
                index.database->performAsyncKeepingItems([&gate] { gate.wait(); });
            } else {
                index.database->performAsync([&gate] { gate.wait(); });
            }
        };
        index.engine = std::make_unique<ScanEngine>(index.database,
            TransformationSettings::make(FilesystemPreset::fat, false, {OSPreset::windows}), std::vector<std::string> {}, 2, listener);
        index.job([&] { index.engine->configure(tree.path(), DestinationConfig::presetFilesystem(FilesystemPreset::fat, false)); });
        index.job([&] { index.engine->requestScan(ScanTrigger::manual); });

        holdAfterSummary = true;
        recorder.clear();
        auto scanNow = std::async(std::launch::async, [&] { index.engine->runJobUnconditionally([&] { index.engine->scanNow(); }); });
        const auto wait = c.heldWriteKeepsItems ? std::chrono::seconds(20) : std::chrono::seconds(1);
        const bool finishedWhileHeld = scanNow.wait_for(wait) == std::future_status::ready;
        gate.open();
        scanNow.wait();
        EXPECT_EQ(finishedWhileHeld, c.heldWriteKeepsItems);
        const auto results = recorder.results();
        ASSERT_EQ(results.size(), 2U);  // the scan's, then the re-analysis'
        EXPECT_EQ(results.back().totalIndexed, 4);
        EXPECT_EQ(results.back().issueCount, 2);
        index.database->waitForPendingWrites();
    }
}

}  // namespace
}  // namespace tess
