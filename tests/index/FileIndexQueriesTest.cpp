// Comparison, writes, pages, counts, scan records and pruning of the index.

#include "IndexTestSupport.h"
#include "ManualClock.h"
#include "TempDir.h"
#include "index/FileIndexDatabase.h"
#include "index/IssueTypesText.h"
#include "index/PathKey.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

namespace tess {
namespace {

using Issue = FileTransformationIssue;
using test::atSeconds;
using test::kNfc;
using test::kNfd;
using test::LogWatcher;
using test::makeResult;
using test::ManualClock;
using test::RawDatabase;
using test::TempDir;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

class FileIndexQueries : public test::OpenIndexTest {
protected:
    std::vector<std::string> relativePaths(const std::vector<IndexedFile>& rows)
    {
        std::vector<std::string> out;
        for (const auto& row : rows) {
            out.push_back(row.relativePath);
        }
        return out;
    }
};

// The decomposed form of an indexed path has the row's key; the row holds
// other bytes, so the item is changed (analysed and written again).
TEST_F(FileIndexQueries, CompareFindsADecomposedPathIndexedPrecomposed)
{
    m_db->upsertFiles({makeResult("/r", kNfc + "/menu.txt"), makeResult("/r", "plain.txt")}, "/r", atSeconds(1));
    const FileItem decomposed {"/r/" + kNfd + "/menu.txt", false};
    const FileItem plain {"/r/plain.txt", false};
    const FileItem fresh {"/r/fresh.txt", false};
    const auto comparison = m_db->compareBatch({decomposed, fresh, plain});
    EXPECT_THAT(comparison.newItems, ElementsAre(fresh));
    EXPECT_THAT(comparison.changedItems, ElementsAre(decomposed));
    EXPECT_EQ(comparison.unchangedCount, 1);
    // Touching and deleting by the decomposed form reach the same row.
    m_db->touchPaths({decomposed.path}, atSeconds(50));
    EXPECT_THAT(m_db->findDeletedPaths("/r", atSeconds(10)), ElementsAre("/r/plain.txt"));
    m_db->deletePaths({decomposed.path});
    EXPECT_THAT(relativePaths(m_db->fetchFiles("/r", 10, 0)), ElementsAre("plain.txt"));
}

TEST_F(FileIndexQueries, CompareAgainstAnEmptyIndexReturnsEveryItemAsNew)
{
    const std::vector<FileItem> items {{"/r/b", false}, {"/r/a", true}, {"/r/" + kNfd, false}};
    const auto comparison = m_db->compareBatch(items);
    EXPECT_EQ(comparison.newItems, items);  // in batch order, paths as enumerated
    EXPECT_TRUE(comparison.changedItems.empty());
    EXPECT_EQ(comparison.unchangedCount, 0);
    EXPECT_TRUE(m_db->compareBatch({}).newItems.empty());
}

TEST_F(FileIndexQueries, CompareHandlesABatchLargerThanTheParameterLimit)
{
    std::vector<FileTransformationResult> results;
    std::vector<FileItem> items;
    for (int i = 0; i < 40000; ++i) {
        const std::string name = "f" + std::to_string(i);
        if (i % 2 == 0) {
            results.push_back(makeResult("/r", name));
        }
        items.push_back({"/r/" + name, false});
    }
    m_db->upsertFiles(results, "/r", atSeconds(1));
    const auto comparison = m_db->compareBatch(items);
    EXPECT_EQ(comparison.unchangedCount, 20000);
    EXPECT_EQ(comparison.newItems.size(), 20000U);
}

TEST_F(FileIndexQueries, UpsertKeepsFirstSeenAndMovesLastScanned)
{
    m_db->upsertFiles({makeResult("/r", "a.txt")}, "/r", atSeconds(1000));
    const auto before = m_db->fetchFiles("/r", 10, 0);
    ASSERT_EQ(before.size(), 1U);
    m_db->upsertFiles({makeResult("/r", "a.txt", false, {Issue::Collision {"x"}}, "a 2.txt")}, "/r", atSeconds(2000));
    const auto after = m_db->fetchFiles("/r", 10, 0);
    ASSERT_EQ(after.size(), 1U);
    EXPECT_EQ(after[0].firstSeen, atSeconds(1000));
    EXPECT_EQ(after[0].lastScanned, atSeconds(2000));
    EXPECT_NE(after[0].id, before[0].id);  // a replaced row gets a new id
    EXPECT_EQ(after[0].proposedRename, "a 2.txt");
    EXPECT_TRUE(after[0].needsRename);
}

TEST_F(FileIndexQueries, RowsRoundTripAndAnItemWithoutIssuesStoresNulls)
{
    auto withIssues = makeResult("/r", "dir/long name", true,
        {Issue::FolderNameTooLong {300, 255}, Issue::PathShortened {400, 250}}, "dir/long");
    withIssues.shortenedComponents = {{"long", "long name"}};
    m_db->upsertFiles({withIssues, makeResult("/r", "clean.txt")}, "/r", atSeconds(42.5));

    const auto rows = m_db->fetchFiles("/r", 10, 0);
    ASSERT_EQ(rows.size(), 2U);
    const IndexedFile& clean = rows[0];
    EXPECT_EQ(clean.relativePath, "clean.txt");
    EXPECT_EQ(clean.path, "/r/clean.txt");
    EXPECT_FALSE(clean.hasIssues);
    EXPECT_EQ(clean.issueCount, 0);
    EXPECT_EQ(clean.issueTypes, std::nullopt);
    EXPECT_EQ(clean.proposedRename, std::nullopt);
    EXPECT_FALSE(clean.needsRename);
    EXPECT_TRUE(clean.shortenedComponents.empty());
    EXPECT_FALSE(clean.isDirectory);

    const IndexedFile& folder = rows[1];
    EXPECT_TRUE(folder.isDirectory);
    EXPECT_TRUE(folder.hasIssues);
    EXPECT_EQ(folder.issueCount, 2);
    EXPECT_EQ(folder.issueTypes, "folderNameTooLong(300/255),pathShortened(400/250)");
    EXPECT_EQ(folder.proposedRename, "dir/long");
    EXPECT_EQ(folder.shortenedComponents, withIssues.shortenedComponents);
    EXPECT_EQ(folder.firstSeen, atSeconds(42.5));
    EXPECT_EQ(folder.scanRoot, "/r");

    RawDatabase raw(m_dir / "tessaline.db");
    EXPECT_THAT(raw.column("SELECT issue_types FROM file_index ORDER BY relative_path"), ElementsAre("NULL", "folderNameTooLong(300/255),pathShortened(400/250)"));
    EXPECT_THAT(raw.column("SELECT shortened_components FROM file_index ORDER BY relative_path"), ElementsAre("NULL", R"({"long":"long name"})"));
    EXPECT_THAT(raw.column("SELECT has_issues || issue_count || needs_rename FROM file_index ORDER BY relative_path"), ElementsAre("000", "121"));
}

// Handing the results over writes the rows a copy writes, in the same order
// (the row ids show it), and leaves the list empty; a list longer than the
// step between two returns of freed pages goes through that path too.
TEST_F(FileIndexQueries, ResultsHandedOverAreWrittenInOrderAndFreed)
{
    std::vector<FileTransformationResult> results;
    for (int i = 0; i < 70000; ++i) {
        const std::string name = "f" + std::to_string((i * 7919) % 70000) + (i % 9 == 0 ? ":x.txt" : ".txt");
        results.push_back(i % 9 == 0 ? makeResult("/r", name, false, {Issue::CharacterTransformed {{":"}, name, "f_x.txt"}}, "f_x.txt")
                                     : makeResult("/r", name));
    }
    const auto rowsOf = [](const std::string& dbPath) {
        return RawDatabase(dbPath, RawDatabase::Mode::readOnly)
            .column("SELECT id || ' ' || path || ' ' || has_issues || ' ' || ifnull(proposed_rename, '') FROM file_index ORDER BY id");
    };
    TempDir other;
    auto opened = FileIndexDatabase::open(other / "copy.db");
    ASSERT_TRUE(opened.ok());
    ASSERT_TRUE(opened.value()->upsertFiles(results, "/r", atSeconds(1)));
    opened.value()->close();

    ASSERT_TRUE(m_db->upsertFiles(std::move(results), "/r", atSeconds(1)));
    EXPECT_TRUE(results.empty());
    const auto rows = rowsOf(databasePath());
    EXPECT_EQ(rows.size(), 70000U);
    EXPECT_EQ(rows, rowsOf(other / "copy.db"));
}

TEST(IssueTypesText, EntriesOfEveryKind)
{
    const std::vector<std::pair<Issue, std::string>> cases = {
        {Issue::CharacterTransformed {{":"}, "a:b", "a_b"}, "characterTransformed"},
        {Issue::Collision {"other"}, "collision"},
        {Issue::EncodingTransformed {"é", "e"}, "encodingTransformed"},
        {Issue::FilenameTooLong {300, 255}, "filenameTooLong(300/255)"},
        {Issue::FilenameUnresolvable {"No room, even for (one) character"}, "filenameUnresolvable(No room, even for (one) character)"},
        {Issue::FolderNameTooLong {256, 255}, "folderNameTooLong(256/255)"},
        {Issue::PathShortened {1200, 1024}, "pathShortened(1200/1024)"},
        {Issue::PathTooDeep {12, 10}, "pathTooDeep(12/10)"},
        {Issue::PathTooLong {5000000000, -1}, "pathTooLong(5000000000/-1)"},
        {Issue::RepeatedSeparators {"a__b", "a_b"}, "repeatedSeparators"},
        {Issue::ReservedName {"CON"}, "reservedName"},
        {Issue::TrimmedCharacters {{" a "}}, "trimmedCharacters"},
    };
    ASSERT_EQ(cases.size(), Issue::kKindCount);
    for (const auto& [issue, expected] : cases) {
        EXPECT_EQ(IssueTypesText::entry(issue), expected);
    }
    EXPECT_EQ(IssueTypesText::join({Issue::FilenameTooLong {300, 255}, Issue::PathTooDeep {12, 10}}), "filenameTooLong(300/255),pathTooDeep(12/10)");
    EXPECT_EQ(IssueTypesText::join({}), std::nullopt);
}

TEST_F(FileIndexQueries, PagesAreOrderedByRelativePathBytesAndHonourLimitAndOffset)
{
    std::vector<FileTransformationResult> results;
    for (const char* name : {"b", "a", "B", "c", "\xC3\xA9"}) {
        const bool flagged = std::string(name) != "c";
        results.push_back(makeResult("/r", name, false, flagged ? std::vector<Issue> {Issue::ReservedName {"X"}} : std::vector<Issue> {}));
    }
    results.push_back(makeResult("/other", "a"));
    m_db->upsertFiles(results, "/r", atSeconds(1));  // the scan root column is the one given

    EXPECT_THAT(relativePaths(m_db->fetchFiles("/r", std::numeric_limits<std::int64_t>::max(), 0)), ElementsAre("B", "a", "a", "b", "c", "\xC3\xA9"));
    EXPECT_THAT(relativePaths(m_db->fetchFilesWithIssues("/r", std::numeric_limits<std::int64_t>::max(), 0)), ElementsAre("B", "a", "b", "\xC3\xA9"));
    EXPECT_THAT(relativePaths(m_db->fetchFilesWithIssues("/r", 2, 1)), ElementsAre("a", "b"));
    // One row at a time, the rows and order of the whole page.
    std::vector<IndexedFile> visited;
    m_db->forEachFileWithIssues("/r", [&](const IndexedFile& file) { visited.push_back(file); });
    EXPECT_EQ(visited, m_db->fetchFilesWithIssues("/r", std::numeric_limits<std::int64_t>::max(), 0));
    EXPECT_THAT(relativePaths(m_db->fetchFiles("/r", std::numeric_limits<std::int64_t>::max(), 4)), ElementsAre("c", "\xC3\xA9"));
    EXPECT_TRUE(m_db->fetchFiles("/elsewhere", 10, 0).empty());
    EXPECT_EQ(m_db->issueCount("/r"), 4);
    EXPECT_EQ(m_db->totalCount("/r"), 6);
    EXPECT_EQ(m_db->totalCount("/elsewhere"), 0);
}

TEST_F(FileIndexQueries, APathThatIsNotUtf8KeepsItsBytes)
{
    // "café" in Latin-1, beside the same name in UTF-8: two different files.
    const std::string latin1 = "caf\xE9.txt";
    const std::string root = "/r/\xFF\xFEroot";
    m_db->upsertFiles({makeResult(root, latin1, false, {Issue::EncodingTransformed {latin1, "café.txt"}}, "café.txt"),
                          makeResult(root, kNfc + ".txt")},
        root, atSeconds(1));
    const auto rows = m_db->fetchFiles(root, 10, 0);
    ASSERT_EQ(rows.size(), 2U);
    EXPECT_EQ(rows[0].relativePath, kNfc + ".txt");
    EXPECT_EQ(rows[1].relativePath, latin1);
    EXPECT_EQ(rows[1].path, root + "/" + latin1);
    EXPECT_EQ(rows[1].scanRoot, root);
    EXPECT_EQ(rows[1].proposedRename, "café.txt");

    const auto comparison = m_db->compareBatch({{root + "/" + latin1, false}, {root + "/caf\xE8.txt", false}});
    EXPECT_EQ(comparison.unchangedCount, 1);
    ASSERT_EQ(comparison.newItems.size(), 1U);
    EXPECT_EQ(comparison.newItems[0].path, root + "/caf\xE8.txt");

    EXPECT_NE(pathKey(root + "/" + latin1), pathKey(root + "/" + kNfc + ".txt"));
    EXPECT_EQ(pathKey("/\xFF/" + kNfd + "/\xE9" + kNfd), "/\xFF/" + kNfc + "/\xE9" + kNfd);

    m_db->deletePaths({root + "/" + latin1});
    EXPECT_EQ(m_db->totalCount(root), 1);
}

TEST_F(FileIndexQueries, FindDeletedPathsReturnsRowsOlderThanTheCutoff)
{
    m_db->upsertFiles({makeResult("/r", "old"), makeResult("/r", "seen")}, "/r", atSeconds(100));
    m_db->upsertFiles({makeResult("/s", "other")}, "/s", atSeconds(1));
    m_db->touchPaths({"/r/seen", "/r/not-indexed"}, atSeconds(200));
    const auto deleted = m_db->findDeletedPaths("/r", atSeconds(150));
    EXPECT_THAT(deleted, ElementsAre("/r/old"));
    m_db->deletePaths(deleted);
    EXPECT_THAT(relativePaths(m_db->fetchFiles("/r", 10, 0)), ElementsAre("seen"));
    EXPECT_EQ(m_db->totalCount("/s"), 1);
}

TEST_F(FileIndexQueries, LastCompletedScanSkipsRunningRecords)
{
    ManualClock clock(atSeconds(1000));
    m_db->setClock(clock.function());
    EXPECT_EQ(m_db->lastCompletedScan("/r"), std::nullopt);
    const auto older = m_db->startScanRecord("/r", "Manual");
    clock.advance(std::chrono::seconds(3));
    m_db->finishScanRecord(older, 10, 10, 0, 0, 3, "completed");
    const auto newer = m_db->startScanRecord("/r", "Scheduled");
    clock.advance(std::chrono::seconds(3));
    m_db->finishScanRecord(newer, 12, 2, 0, 1, 4, "completed");
    const auto cancelled = m_db->startScanRecord("/r", "Manual");
    clock.advance(std::chrono::seconds(3));
    m_db->finishScanRecord(cancelled, 1, 1, 0, 0, 0, "cancelled");
    m_db->startScanRecord("/r", "Manual");  // still running
    const auto elsewhere = m_db->startScanRecord("/s", "Manual");
    m_db->finishScanRecord(elsewhere, 1, 1, 0, 0, 0, "completed");
    m_db->finishScanRecord(-1, 9, 9, 9, 9, 9, "completed");  // updates nothing

    const auto last = m_db->lastCompletedScan("/r");
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->id, newer);
    EXPECT_EQ(last->scanRoot, "/r");
    EXPECT_EQ(last->trigger, "Scheduled");
    EXPECT_EQ(last->status, "completed");
    EXPECT_EQ(last->totalFiles, 12);
    EXPECT_EQ(last->newFiles, 2);
    EXPECT_EQ(last->changedFiles, 0);
    EXPECT_EQ(last->deletedFiles, 1);
    EXPECT_EQ(last->issuesFound, 4);
    EXPECT_EQ(last->startTime, atSeconds(1003));
    ASSERT_TRUE(last->endTime.has_value());
    EXPECT_EQ(*last->endTime, atSeconds(1006));
    EXPECT_EQ(m_db->lastCompletedScan("/s")->id, elsewhere);

    // Counts beyond 32 bits are clamped, not wrapped.
    const auto huge = m_db->startScanRecord("/h", "Manual");
    m_db->finishScanRecord(huge, std::int64_t {1} << 40, 0, 0, 0, 0, "completed");
    EXPECT_EQ(m_db->lastCompletedScan("/h")->totalFiles, std::numeric_limits<std::int32_t>::max());
}

TEST_F(FileIndexQueries, PruneOtherRootsInItsThreeCases)
{
    // Only the current root: nothing happens.
    m_db->upsertFiles({makeResult("/r", "a"), makeResult("/r", "b"), makeResult("/r", "c")}, "/r", atSeconds(1));
    {
        LogWatcher log;
        m_db->pruneOtherRoots("/r");
        EXPECT_EQ(m_db->totalCount("/r"), 3);
        EXPECT_THAT(log.logged(), ::testing::Not(::testing::HasSubstr("stale records")));
    }
    // Some rows of another root: they are deleted.
    m_db->upsertFiles({makeResult("/s", "x"), makeResult("/s", "y")}, "/s", atSeconds(1));
    {
        LogWatcher log;
        m_db->pruneOtherRoots("/r");
        EXPECT_EQ(m_db->totalCount("/s"), 0);
        EXPECT_EQ(m_db->totalCount("/r"), 3);
        EXPECT_TRUE(log.waitForTimedLine("FileIndexDatabase: Deleted 2 stale records (kept 3 for current root) in ", 2));
    }
    // Every row belongs to another root: the table is dropped and recreated.
    {
        LogWatcher log;
        m_db->pruneOtherRoots("/new");
        EXPECT_EQ(m_db->totalCount("/r"), 0);
        EXPECT_TRUE(log.waitForTimedLine("FileIndexDatabase: Dropped and recreated file_index (3 stale records) in ", 3));
        RawDatabase raw(m_dir / "tessaline.db");
        EXPECT_THAT(raw.column("SELECT name FROM sqlite_master WHERE type = 'index' AND name LIKE 'idx_%'"),
            UnorderedElementsAre("idx_scan_root_issues", "idx_last_scanned"));
    }
    m_db->upsertFiles({makeResult("/new", "z")}, "/new", atSeconds(1));
    EXPECT_EQ(m_db->totalCount("/new"), 1);
}

}  // namespace
}  // namespace tess
