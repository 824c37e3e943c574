// The one-pass comparison of a scan's items with the index, and the touch,
// stale-row look-up and deletion by row id that build on it.

#include "IndexTestSupport.h"
#include "TempDir.h"
#include "index/FileIndexDatabase.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>

namespace tess {
namespace {

using test::atSeconds;
using test::kNfc;
using test::kNfd;
using test::makeResult;
using test::RawDatabase;
using test::TempDir;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

class FileIndexMatch : public test::OpenIndexTest {
protected:
    // Row id of every row by relative path.
    std::map<std::string, std::int64_t> ids()
    {
        std::map<std::string, std::int64_t> out;
        for (const auto& row : m_db->fetchFiles("/r", std::numeric_limits<std::int64_t>::max(), 0)) {
            out[row.relativePath] = row.id;
        }
        for (const auto& row : m_db->fetchFiles("/other", std::numeric_limits<std::int64_t>::max(), 0)) {
            out[row.relativePath] = row.id;
        }
        return out;
    }

    // last_scanned of every row by relative path.
    std::map<std::string, double> lastScanned()
    {
        m_db->waitForPendingWrites();
        std::map<std::string, double> out;
        RawDatabase raw(databasePath());
        const auto paths = raw.column("SELECT relative_path FROM file_index ORDER BY id");
        const auto times = raw.column("SELECT last_scanned FROM file_index ORDER BY id");
        for (std::size_t i = 0; i < paths.size(); ++i) {
            out[paths[i]] = std::stod(times[i]);
        }
        return out;
    }
};

TEST_F(FileIndexMatch, AgreesWithCompareBatchAndSplitsRowIdsIntoSeenAndUnseen)
{
    // Rows a, b, c, d, e and a row of another root, written one by one so
    // their ids interleave what the scan sees and what it does not.
    for (const std::string& name : std::vector<std::string> {"a", "b", "c", "d", kNfc}) {
        m_db->upsertFiles({makeResult("/r", name)}, "/r", atSeconds(1));
    }
    m_db->upsertFiles({makeResult("/other", "x")}, "/other", atSeconds(1));
    const auto id = ids();

    // Item cases: indexed, new, the decomposed twin of an indexed
    // precomposed name (keyed by its bytes, so new), a kind change, the
    // precomposed twin (owns the key), a path below another root that is
    // indexed under its own path.
    const std::vector<FileItem> items {
        {"/r/a", false},
        {"/r/new", false},
        {"/r/" + kNfd, false},
        {"/r/c", true},
        {"/r/" + kNfc, false},
        {"/other/x", false},
        {"/r/x", false},
    };
    const auto match = m_db->matchIndexedPaths(items, {});
    ASSERT_TRUE(match.valid);
    const auto batch = m_db->compareBatch(items);
    std::vector<std::uint8_t> expected;
    for (const auto& item : items) {
        const bool isNew = std::find(batch.newItems.begin(), batch.newItems.end(), item) != batch.newItems.end();
        expected.push_back(isNew ? 0 : 1);
    }
    EXPECT_EQ(match.indexed, expected);
    EXPECT_EQ(match.indexed, (std::vector<std::uint8_t> {1, 0, 0, 1, 1, 1, 0}));
    EXPECT_THAT(match.twinKeys.paths(), ElementsAre(items[2].path));
    EXPECT_THAT(match.seenRowIds, ElementsAre(id.at("a"), id.at("c"), id.at(kNfc), id.at("x")));
    EXPECT_THAT(match.unseenRowIds, ElementsAre(id.at("b"), id.at("d")));
}

// An indexed path whose kind differs from its row (a file that became a
// folder, a folder that became a file) is changed, in both comparisons;
// folder rows read earlier are used only while the index is unchanged.
TEST_F(FileIndexMatch, AKindChangeIsReportedByBothComparisons)
{
    m_db->upsertFiles({makeResult("/r", "file"), makeResult("/r", "folder", true), makeResult("/r", "same", true),
                          makeResult("/r", "plain")},
        "/r", atSeconds(1));
    const std::vector<FileItem> items {
        {"/r/plain", false},
        {"/r/file", true},
        {"/r/new", true},
        {"/r/folder", false},
        {"/r/same", true},
    };
    const auto batch = m_db->compareBatch(items);
    EXPECT_THAT(batch.newItems, ElementsAre(items[2]));
    EXPECT_THAT(batch.changedItems, ElementsAre(items[1], items[3]));
    EXPECT_EQ(batch.unchangedCount, 2);

    const auto match = m_db->matchIndexedPaths(items, {});
    ASSERT_TRUE(match.valid);
    EXPECT_EQ(match.indexed, (std::vector<std::uint8_t> {1, 1, 0, 1, 1}));
    EXPECT_THAT(match.changed, ElementsAre(1U, 3U));
    EXPECT_EQ(match.seenRowIds.size(), 4U);

    // Folder rows read before a write are not trusted after it.
    const auto folders = m_db->findFolderRows();
    ASSERT_TRUE(folders.valid);
    EXPECT_EQ(folders.ids.size(), 2U);
    EXPECT_THAT(m_db->matchIndexedPaths(items, {}, &folders).changed, ElementsAre(1U, 3U));
    m_db->upsertFiles({makeResult("/r", "file", true)}, "/r", atSeconds(2));
    EXPECT_THAT(m_db->matchIndexedPaths(items, {}, &folders).changed, ElementsAre(3U));
}

TEST_F(FileIndexMatch, EmptyIndexAndManyRowsAgreeWithCompareBatch)
{
    const auto none = m_db->matchIndexedPaths({{"/r/a", false}, {"/r/b", true}}, {});
    ASSERT_TRUE(none.valid);
    EXPECT_EQ(none.indexed, (std::vector<std::uint8_t> {0, 0}));
    EXPECT_TRUE(none.seenRowIds.empty());
    EXPECT_TRUE(none.unseenRowIds.empty());

    // More rows than one read batch of the pass.
    std::vector<FileTransformationResult> results;
    std::vector<FileItem> items;
    for (int i = 0; i < 100000; ++i) {
        const std::string name = "f" + std::to_string(i);
        if (i % 3 != 0) {
            results.push_back(makeResult("/r", name));
        }
        if (i % 5 != 0) {
            items.push_back({"/r/" + name, false});
        }
    }
    m_db->upsertFiles(results, "/r", atSeconds(1));
    const auto match = m_db->matchIndexedPaths(items, {});
    ASSERT_TRUE(match.valid);
    std::size_t indexed = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const int number = std::stoi(items[i].path.substr(4));
        ASSERT_EQ(match.indexed[i], number % 3 != 0 ? 1 : 0) << items[i].path;
        indexed += match.indexed[i];
    }
    EXPECT_EQ(match.seenRowIds.size(), indexed);
    EXPECT_EQ(match.seenRowIds.size() + match.unseenRowIds.size(), results.size());
    EXPECT_TRUE(std::is_sorted(match.seenRowIds.begin(), match.seenRowIds.end()));

    int asked = 0;
    const auto cancelled = m_db->matchIndexedPaths(items, [&] { return ++asked > 0; });
    EXPECT_FALSE(cancelled.valid);
}

TEST_F(FileIndexMatch, TouchReachesOnlySeenRowsAndStaleRowsAreWhatFindDeletedPathsGives)
{
    for (const std::string name : {"a", "b", "c", "d", "e"}) {
        m_db->upsertFiles({makeResult("/r", name)}, "/r", atSeconds(name == "d" ? 200 : 100));
    }
    m_db->upsertFiles({makeResult("/other", "x")}, "/other", atSeconds(100));
    const auto id = ids();

    // Seen: a, c, e (ranges around the unseen b and d). Unseen: b (stale),
    // d (scanned after the cut-off, so not stale), x (another root).
    auto match = m_db->matchIndexedPaths({{"/r/a", false}, {"/r/c", false}, {"/r/e", false}}, {});
    ASSERT_TRUE(match.valid);
    const auto stale = m_db->findUnseenStaleRows(match, "/r", atSeconds(150));
    ASSERT_TRUE(stale.has_value());
    ASSERT_EQ(stale->size(), 1U);
    EXPECT_EQ(stale->front().id, id.at("b"));
    EXPECT_EQ(stale->front().path, "/r/b");

    ASSERT_TRUE(m_db->touchMatchedRows(match, atSeconds(150)));
    const auto times = lastScanned();
    EXPECT_EQ(times, (std::map<std::string, double> {{"a", 150}, {"b", 100}, {"c", 150}, {"d", 200}, {"e", 150}, {"x", 100}}));
    EXPECT_THAT(m_db->findDeletedPaths("/r", atSeconds(150)), ElementsAre("/r/b"));

    ASSERT_TRUE(m_db->deleteMatchedRows(match, {stale->front().id}));
    EXPECT_EQ(lastScanned().count("b"), 0U);
    EXPECT_EQ(lastScanned().size(), 5U);
}

TEST_F(FileIndexMatch, AnIndexWrittenAfterThePassRefusesEveryRowIdOperation)
{
    m_db->upsertFiles({makeResult("/r", "a"), makeResult("/r", "b")}, "/r", atSeconds(100));
    const std::vector<FileItem> items {{"/r/a", false}};

    // A write of this connection, and a commit of another one.
    auto ownWrite = m_db->matchIndexedPaths(items, {});
    m_db->upsertFiles({makeResult("/r", "c")}, "/r", atSeconds(100));
    auto otherWrite = m_db->matchIndexedPaths(items, {});
    RawDatabase(databasePath()).exec("UPDATE scan_history SET status = 'x' WHERE id = -1; INSERT INTO scan_history (scan_root, start_time, trigger) VALUES ('/x', 0, 'Manual')");

    for (auto* match : {&ownWrite, &otherWrite}) {
        EXPECT_FALSE(m_db->touchMatchedRows(*match, atSeconds(300)));
        EXPECT_FALSE(m_db->findUnseenStaleRows(*match, "/r", atSeconds(300)).has_value());
        EXPECT_FALSE(m_db->deleteMatchedRows(*match, match->unseenRowIds));
    }
    EXPECT_EQ(lastScanned(), (std::map<std::string, double> {{"a", 100}, {"b", 100}, {"c", 100}}));

    // A closed database gives no match at all.
    m_db->close();
    EXPECT_FALSE(m_db->matchIndexedPaths(items, {}).valid);
}

TEST_F(FileIndexMatch, ItemsComeInTheOrderOfFetchFiles)
{
    // Enough rows for the sort to work in several pieces, written in an order
    // unlike the relative paths', with bytes above 0x7F (which sort after
    // ASCII), a folder, and a row of another root.
    std::vector<FileTransformationResult> results;
    for (int i = 0; i < 40000; ++i) {
        const int n = (i * 7919) % 40000;
        std::string name = "d" + std::to_string(n % 13) + "/" + std::to_string(n);
        if (n % 7 == 0) {
            name += kNfc;
        } else if (n % 11 == 0) {
            name = "\xFF" + name;
        }
        results.push_back(makeResult("/r", name, n % 5 == 0));
    }
    // Rows whose relative path is not the end of their path (a root read
    // in another normalisation form), in an order unlike their relative
    // paths' and their paths'.
    for (int i = 0; i < 30; ++i) {
        FileTransformationResult result = makeResult("/r", "e" + std::to_string(i));
        result.originalRelativePath = "d" + std::to_string(i % 4) + "/" + std::to_string(29 - i) + kNfc;
        results.push_back(std::move(result));
    }
    m_db->upsertFiles(results, "/r", atSeconds(1));
    m_db->upsertFiles({makeResult("/other", "a")}, "/other", atSeconds(1));

    const auto rows = m_db->fetchFiles("/r", std::numeric_limits<std::int64_t>::max(), 0);
    std::vector<FileItem> expected;
    for (const auto& row : rows) {
        expected.push_back(FileItem {row.path, row.isDirectory});
    }
    EXPECT_EQ(m_db->fetchItems("/r"), expected);
    EXPECT_TRUE(m_db->fetchItems("/nothing").empty());
}

}  // namespace
}  // namespace tess
