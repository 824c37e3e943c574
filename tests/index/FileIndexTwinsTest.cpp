// Twins in the index: paths that share one NFC key (names that differ only
// in normalisation). Which twin owns the key, that every comparison finds
// each twin's own row, that a row holding other bytes than its item makes
// the item changed, and that stale twins are removed by row id.

#include "IndexTestSupport.h"
#include "index/FileIndexDatabase.h"
#include "index/PathKey.h"
#include "text/Text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <set>
#include <unordered_map>

namespace tess {
namespace {

using test::atSeconds;
using test::kNfc;
using test::kNfd;
using test::makeResult;
using test::RawDatabase;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

std::vector<FileItem> filesAt(const std::vector<std::string>& paths)
{
    std::vector<FileItem> items;
    for (const auto& path : paths) {
        items.push_back(FileItem {path, false});
    }
    return items;
}

// "ẹ́" written four ways: e, acute and dot below in both orders, é with dot
// below, and the NFC form (ẹ with acute).
const std::string kAcuteDot = "e\xCC\x81\xCC\xA3";
const std::string kDotAcute = "e\xCC\xA3\xCC\x81";
const std::string kPrecomposedDot = "\xC3\xA9\xCC\xA3";
const std::string kDotNfc = "\xE1\xBA\xB9\xCC\x81";
const std::string kKelvin = "\xE2\x84\xAA";  // KELVIN SIGN, whose NFC is "K"

TEST(TwinKeys, TheNfcTwinOrElseTheByteSmallestOwnsTheKey)
{
    struct Case {
        const char* name;
        std::vector<std::string> paths;
        std::vector<std::string> keyedByBytes;
    };
    const std::vector<Case> cases {
        {"precomposed and decomposed", {"/r/" + kNfc, "/r/" + kNfd, "/r/plain"}, {"/r/" + kNfd}},
        {"the other order", {"/r/" + kNfd, "/r/" + kNfc}, {"/r/" + kNfd}},
        {"a decomposed name alone", {"/r/" + kNfd, "/r/x" + kNfc}, {}},
        {"no twin in NFC: the byte-smallest", {"/r/" + kPrecomposedDot, "/r/" + kDotAcute, "/r/" + kAcuteDot},
            {"/r/" + kDotAcute, "/r/" + kPrecomposedDot}},
        {"then the NFC twin comes", {"/r/" + kPrecomposedDot, "/r/" + kDotAcute, "/r/" + kDotNfc, "/r/" + kAcuteDot},
            {"/r/" + kAcuteDot, "/r/" + kDotAcute, "/r/" + kPrecomposedDot}},
        {"an ASCII key", {"/r/" + kKelvin + ".txt", "/r/K.txt"}, {"/r/" + kKelvin + ".txt"}},
        {"twin folders and their children",
            {"/r/" + kNfc, "/r/" + kNfd, "/r/" + kNfc + "/a", "/r/" + kNfd + "/a", "/r/" + kNfd + "/b"},
            {"/r/" + kNfd, "/r/" + kNfd + "/a"}},
        {"beside a name that is not UTF-8", {"/r/\xFF/" + kNfd, "/r/\xFF/" + kNfc}, {"/r/\xFF/" + kNfd}},
        {"the same path twice", {"/r/" + kNfd, "/r/" + kNfd}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TwinKeys twins = TwinKeys::of(filesAt(c.paths));
        std::vector<std::string> expected = c.keyedByBytes;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(twins.paths(), expected);
        // Keys are unique; a path without a twin keeps its NFC key.
        std::set<std::string> keys;
        for (const auto& path : std::set<std::string>(c.paths.begin(), c.paths.end())) {
            const std::string key = twins.keyOf(path);
            EXPECT_TRUE(keys.insert(key).second) << key;
            EXPECT_EQ(key, twins.isKeyedByBytes(path) ? path : pathKey(path));
        }
    }
}

// Every character outside ASCII whose NFC form is ASCII is caught: a key that
// may stand for other bytes is always read back.
TEST(TwinKeys, EveryAsciiKeyThatStandsForOtherBytesIsFlagged)
{
    const auto utf8 = [](char32_t c) {
        std::string out;
        if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        }
        out += static_cast<char>(0x80 | (c & 0x3F));
        return out;
    };
    std::set<std::string> asciiForms;
    for (char32_t c = 0x80; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) {
            continue;
        }
        const std::string form = text::nfc(utf8(c));
        if (text::isAscii(form)) {
            asciiForms.insert(form);
            EXPECT_TRUE(keyMayHideOtherBytes("/r/" + form, 3)) << "U+" << std::hex << static_cast<unsigned>(c);
        }
    }
    EXPECT_EQ(asciiForms, (std::set<std::string> {"K", ";", "`"}));
    EXPECT_FALSE(keyMayHideOtherBytes("/r/Report: draft 1.txt"));
    EXPECT_FALSE(keyMayHideOtherBytes("/K/a.txt", 3));
    EXPECT_TRUE(keyMayHideOtherBytes("/r/" + kNfc));
}

class FileIndexTwins : public test::OpenIndexTest {
protected:
    // Writes `paths` (files below /r) as a scan of exactly them would.
    void index(const std::vector<std::string>& relativePaths, double time = 1)
    {
        std::vector<FileTransformationResult> results;
        std::vector<FileItem> items;
        for (const auto& relative : relativePaths) {
            results.push_back(makeResult("/r", relative));
            items.push_back(results.back().originalFile);
        }
        m_db->upsertFiles(results, "/r", atSeconds(time), TwinKeys::of(items));
    }

    std::vector<std::string> column(const std::string& sql)
    {
        m_db->waitForPendingWrites();
        return RawDatabase(databasePath()).column(sql);
    }
};

TEST_F(FileIndexTwins, EachTwinKeepsItsRowAndBothComparisonsFindIt)
{
    index({kNfd + ".txt", kNfc + ".txt", "plain.txt"});
    // Every row is keyed by its own bytes here: the NFC twin's are the key.
    EXPECT_THAT(column("SELECT path_key FROM file_index ORDER BY path"),
        ElementsAre("/r/" + kNfd + ".txt", "/r/" + kNfc + ".txt", "/r/plain.txt"));

    const auto items = filesAt({"/r/" + kNfc + ".txt", "/r/plain.txt", "/r/" + kNfd + ".txt"});
    const auto batch = m_db->compareBatch(items);
    EXPECT_THAT(batch.newItems, IsEmpty());
    EXPECT_THAT(batch.changedItems, IsEmpty());
    EXPECT_EQ(batch.unchangedCount, 3);
    const auto match = m_db->matchIndexedPaths(items, {});
    ASSERT_TRUE(match.valid);
    EXPECT_EQ(match.indexed, (std::vector<std::uint8_t> {1, 1, 1}));
    EXPECT_THAT(match.changed, IsEmpty());
    EXPECT_EQ(match.seenRowIds.size(), 3U);
    EXPECT_EQ(match.twinKeys.paths(), TwinKeys::of(items).paths());

    // The re-analysis reads the same twins from the rows, and writing its
    // results keeps one row per twin.
    TwinKeys fromRows;
    const auto rows = m_db->fetchItems("/r", &fromRows);
    EXPECT_EQ(fromRows.paths(), match.twinKeys.paths());
    std::vector<FileTransformationResult> results;
    for (const auto& row : rows) {
        results.push_back(makeResult("/r", row.path.substr(3)));
    }
    m_db->upsertFiles(results, "/r", atSeconds(2), fromRows);
    EXPECT_EQ(m_db->totalCount("/r"), 3);
}

// The read of the re-analysis beside the background writes gives the same
// twins as the read on the statement queue, and the stored analysis of each
// row under the key its result is written with; a delete by id that fails is
// rolled back whole and answered with false.
TEST_F(FileIndexTwins, TheReadBesideWritesGivesTheTwinsAndEachRowsAnalysisUnderItsKey)
{
    const std::vector<std::string> relative {kNfc + ".txt", kNfd + ".txt", "d/" + kNfd + ".txt", "plain.txt"};
    std::vector<FileTransformationResult> results;
    std::vector<FileItem> items;
    for (std::size_t i = 0; i < relative.size(); ++i) {
        // A different analysis per row, so a look-up under another row's key shows.
        results.push_back(makeResult("/r", relative[i], false, {}, relative[i] + std::string(i + 1, '_')));
        items.push_back(results.back().originalFile);
    }
    const TwinKeys expectedTwins = TwinKeys::of(items);
    ASSERT_EQ(expectedTwins.paths(), std::vector<std::string> {"/r/" + kNfd + ".txt"});
    ASSERT_TRUE(m_db->upsertFiles(results, "/r", atSeconds(1), expectedTwins));

    TwinKeys onQueue;
    std::unordered_map<std::string, std::string> analysisOnQueue;
    const auto queued = m_db->fetchItems("/r", &onQueue, &analysisOnQueue);
    TwinKeys beside;
    std::unordered_map<std::string, std::string> analysisBeside;
    const auto besideItems = m_db->fetchItemsBesideWrites("/r", &beside, &analysisBeside);
    EXPECT_EQ(besideItems, queued);
    EXPECT_EQ(queued.size(), relative.size());
    EXPECT_EQ(onQueue.paths(), expectedTwins.paths());
    EXPECT_EQ(beside.paths(), expectedTwins.paths());
    EXPECT_EQ(analysisBeside, analysisOnQueue);
    EXPECT_EQ(m_db->fetchStoredAnalysis("/r"), analysisOnQueue);
    EXPECT_EQ(m_db->fetchStoredAnalysis("/other"), (std::unordered_map<std::string, std::string> {}));
    ASSERT_EQ(analysisBeside.size(), results.size());
    for (const auto& result : results) {
        SCOPED_TRACE(result.originalFile.path);
        const std::string key = beside.keyOf(result.originalFile.path);
        ASSERT_TRUE(analysisBeside.contains(key));
        EXPECT_EQ(analysisBeside.at(key), FileIndexDatabase::analysisText(result));
    }

    std::vector<std::int64_t> ids;
    for (const auto& row : m_db->findStaleRows("/r", atSeconds(2))) {
        ids.push_back(row.id);
    }
    ASSERT_EQ(ids.size(), relative.size());
    RawDatabase(databasePath())
        .exec("CREATE TRIGGER keep_plain BEFORE DELETE ON file_index WHEN OLD.relative_path = 'plain.txt'"
              " BEGIN SELECT RAISE(ABORT, 'kept'); END");
    const test::LogWatcher log;
    EXPECT_FALSE(m_db->deleteRows(ids));
    EXPECT_TRUE(log.waitFor("deleteRows failed, its changes were rolled back"));
    EXPECT_EQ(m_db->totalCount("/r"), static_cast<std::int64_t>(relative.size()));
    RawDatabase(databasePath()).exec("DROP TRIGGER keep_plain");
    EXPECT_TRUE(m_db->deleteRows(ids));
    EXPECT_EQ(m_db->totalCount("/r"), 0);
    EXPECT_TRUE(m_db->deleteRows({}));
}

// A row under an item's key that holds other bytes (a name renamed only in
// its normalisation, a folder above it renamed so, or the one row the twins
// shared before they had a row each) makes the item changed, in both
// comparisons, also below a root whose own name is not plain ASCII.
TEST_F(FileIndexTwins, ARowHoldingOtherBytesMakesItsItemChanged)
{
    struct Case {
        const char* name;
        std::vector<std::string> indexed;  // relative to /r, written first to last
        std::vector<std::string> found;
        std::vector<std::size_t> changed;  // positions in found
        std::vector<std::size_t> fresh;
    };
    const std::vector<Case> cases {
        {"renamed to NFC", {kNfd + ".txt"}, {kNfc + ".txt"}, {0}, {}},
        {"renamed to NFD", {kNfc + ".txt"}, {kNfd + ".txt"}, {0}, {}},
        {"renamed from the Kelvin sign", {kKelvin + ".txt"}, {"K.txt"}, {0}, {}},
        {"folder renamed", {kNfd, kNfd + "/a.txt", "b.txt"}, {kNfc, kNfc + "/a.txt", "b.txt"}, {0, 1}, {}},
        {"below a root that is not ASCII", {"K\xC3\xB6/" + kNfd, "K\xC3\xB6/x"}, {"K\xC3\xB6/" + kNfc, "K\xC3\xB6/x"}, {0}, {}},
        {"the row the twins shared", {kNfc + ".txt", kNfd + ".txt"}, {kNfc + ".txt", kNfd + ".txt"}, {0}, {1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_db->execute("DELETE FROM file_index");
        // One result at a time and without twins: each row under the NFC key.
        for (const auto& relative : c.indexed) {
            m_db->upsertFiles({makeResult("/r", relative)}, "/r", atSeconds(1));
        }
        std::vector<FileItem> items;
        for (const auto& relative : c.found) {
            items.push_back(FileItem {"/r/" + relative, false});
        }
        std::vector<FileItem> changed;
        std::vector<FileItem> fresh;
        for (const std::size_t i : c.changed) {
            changed.push_back(items[i]);
        }
        for (const std::size_t i : c.fresh) {
            fresh.push_back(items[i]);
        }
        const auto batch = m_db->compareBatch(items);
        EXPECT_EQ(batch.changedItems, changed);
        EXPECT_EQ(batch.newItems, fresh);
        const auto match = m_db->matchIndexedPaths(items, {});
        ASSERT_TRUE(match.valid);
        EXPECT_EQ(std::vector<std::size_t>(match.changed.begin(), match.changed.end()), c.changed);
    }
}

// The twin that vanished goes by its row id; the twin that owns the key stays.
TEST_F(FileIndexTwins, AVanishedTwinIsRemovedByRowIdAndTheOtherStays)
{
    index({kNfc + ".txt", kNfd + ".txt"});
    const auto items = filesAt({"/r/" + kNfc + ".txt"});
    auto match = m_db->matchIndexedPaths(items, {});
    ASSERT_TRUE(match.valid);
    ASSERT_TRUE(m_db->touchMatchedRows(match, atSeconds(5)));
    const auto stale = m_db->findUnseenStaleRows(match, "/r", atSeconds(5));
    ASSERT_TRUE(stale.has_value());
    ASSERT_EQ(stale->size(), 1U);
    EXPECT_EQ(stale->front().path, "/r/" + kNfd + ".txt");
    ASSERT_TRUE(m_db->deleteMatchedRows(match, {stale->front().id}));
    EXPECT_THAT(column("SELECT path FROM file_index"), ElementsAre("/r/" + kNfc + ".txt"));

    // The same without the pass: the stale rows found by time, deleted by id.
    index({kNfc + ".txt", kNfd + ".txt"}, 10);
    m_db->touchPaths({"/r/" + kNfc + ".txt"}, atSeconds(20), TwinKeys::of(filesAt({"/r/" + kNfc + ".txt"})));
    std::vector<std::int64_t> ids;
    for (const auto& row : m_db->findStaleRows("/r", atSeconds(20))) {
        EXPECT_EQ(row.path, "/r/" + kNfd + ".txt");
        ids.push_back(row.id);
    }
    m_db->deleteRows(ids);
    EXPECT_THAT(column("SELECT path FROM file_index"), ElementsAre("/r/" + kNfc + ".txt"));
}

}  // namespace
}  // namespace tess
