#include "HistoryTestSupport.h"
#include "TempDir.h"
#include "TestEnvironment.h"

#include "history/HistoryFileOps.h"
#include "history/TransformationHistory.h"
#include "history/TransformationHistoryError.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <dirent.h>
#include <set>
#include <sys/stat.h>

namespace tess {
namespace {

using test::record;
using test::tokens;
using test::utcTime;
using Type = HistoryRecordType;
using Status_ = HistoryRecordStatus;

std::set<std::string> namesIn(const std::string& folder)
{
    std::set<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* item = readdir(dir)) {
            const std::string name = item->d_name;
            if (name != "." && name != "..")
                names.insert(name);
        }
        closedir(dir);
    }
    return names;
}

HistoryEntry sampleEntry(std::string scanRoot = "/srv/photos")
{
    HistoryEntry entry;
    entry.timestamp = utcTime(2025, 3, 5, 14, 7, 9, 120);
    entry.scanRoot = std::move(scanRoot);
    entry.records = {record("a", "b", Type::file)};
    return entry;
}

std::string header(std::string_view timestamp, std::string_view version = "1")
{
    return tokens({"TSHISTORY", version, timestamp, "/srv/photos", "rename", ""});
}

TEST(TransformationHistoryFiles, HeaderCountsRecordsAndUserFacingOnes)
{
    test::TempDir dir;
    const std::string records = tokens({"a", "b", "F", "fail", "why", "c", "", "CD", "ok", "", "m", "", "SM", "ok", "",
        "o", "", "RD", "ok", "", "p", "q", "D", "verify-fail", "Target missing"});
    dir.writeFile("mixed.tshistory", header("2025-01-31T09:05:07.250Z") + std::string(1, '\0') + records);
    dir.writeFile("surplus.tshistory", test::readDataFile("empty-fields.tshistory") + std::string(1, '\0'));
    dir.writeFile("v2.tshistory", header("2025-01-31T09:05:07.250Z", "2"));
    dir.writeFile("empty.tshistory", "");
    dir.writeFile("foreign.tshistory", tokens({"NOTHISTORY", "1", "2025-01-31T09:05:07.250Z", "/r", "rename", ""}));
    dir.writeFile("badtime.tshistory", header("soon"));

    const auto mixed = TransformationHistory::readHeader(dir / "mixed.tshistory");
    ASSERT_TRUE(mixed);
    EXPECT_EQ(mixed->id, "mixed");
    EXPECT_EQ(mixed->url, dir / "mixed.tshistory");
    EXPECT_EQ(mixed->timestamp, utcTime(2025, 1, 31, 9, 5, 7, 250));
    EXPECT_EQ(mixed->scanRoot, "/srv/photos");
    EXPECT_EQ(mixed->operation, HistoryOperation::rename);
    EXPECT_EQ(mixed->recordCount, 5);
    EXPECT_EQ(mixed->userFacingCount, 3);  // F (failed too), RD and D; never CD or SM

    // A surplus token is ignored by the header, though the parser refuses it.
    const auto surplus = TransformationHistory::readHeader(dir / "surplus.tshistory");
    ASSERT_TRUE(surplus);
    EXPECT_EQ(surplus->recordCount, 3);
    EXPECT_EQ(surplus->userFacingCount, 2);

    // The version is not examined here.
    EXPECT_TRUE(TransformationHistory::readHeader(dir / "v2.tshistory"));
    EXPECT_FALSE(TransformationHistory::readHeader(dir / "empty.tshistory"));
    EXPECT_FALSE(TransformationHistory::readHeader(dir / "foreign.tshistory"));
    EXPECT_FALSE(TransformationHistory::readHeader(dir / "badtime.tshistory"));
    EXPECT_FALSE(TransformationHistory::readHeader(dir / "missing.tshistory"));
}

TEST(TransformationHistoryFiles, HeaderAndParserAgreeOnUtf8OfEveryTextToken)
{
    // Text tokens must be UTF-8; path tokens hold raw bytes.
    const std::string head = "TSHISTORY" + std::string(1, '\0') + "1" + std::string(1, '\0') + "2025-01-31T09:05:07.250Z"
        + std::string(1, '\0');
    const auto file = [&](std::string_view root, std::string_view parent, std::string_view path, std::string_view error) {
        return head + std::string(root) + std::string(1, '\0') + "rename" + std::string(1, '\0') + std::string(parent)
            + std::string(1, '\0') + tokens({path, "b", "F", "fail", error});
    };
    // A two-byte character split across the header reader's 64 KiB reads.
    const std::string longError = std::string(65536 - file("/r", "", "a", "").size() - 1, 'e') + "\xC3\xA9";
    const struct {
        const char* name;
        std::string bytes;
        bool valid;
    } cases[] = {
        {"all text valid", file("/r", "p\xC3\xA9re", "a", "caf\xC3\xA9"), true},
        {"raw bytes in paths", file("/r\xFF", "", "a\xFF\xC0", ""), true},
        {"error with a stray byte", file("/r", "", "a", "bad\xFF"), false},
        {"error ends inside a sequence", file("/r", "", "a", "cut\xE2\x82"), false},
        {"error with a surrogate", file("/r", "", "a", "\xED\xA0\x80"), false},
        {"error with an overlong slash", file("/r", "", "a", "\xC0\xAF"), false},
        {"error above U+10FFFF", file("/r", "", "a", "\xF4\x90\x80\x80"), false},
        {"parent id with a stray byte", file("/r", "\xC3", "a", ""), false},
        {"parent id with a four-byte character", file("/r", "\xF0\x9F\x98\x80", "a", ""), true},
        {"character across two reads", file("/r", "", "a", longError), true},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dir.writeFile("case.tshistory", c.bytes);
        EXPECT_EQ(TransformationHistory::parse(c.bytes).ok(), c.valid);
        EXPECT_EQ(TransformationHistory::readHeader(dir / "case.tshistory").has_value(), c.valid);
        EXPECT_EQ(TransformationHistory::listHistories(dir.path()).size(), c.valid ? 1u : 0u);
    }
}

TEST(TransformationHistoryFiles, ListingKeepsReadableHistoryFilesNewestFirst)
{
    test::TempDir dir;
    dir.writeFile("older.tshistory", header("2025-01-01T00:00:00.000Z"));
    dir.writeFile("newer.tshistory", header("2025-06-01T00:00:00.000Z"));
    dir.writeFile("same-b.tshistory", header("2025-03-01T00:00:00.000Z"));
    dir.writeFile("same-a.tshistory", header("2025-03-01T00:00:00.000Z"));
    dir.writeFile("version2.tshistory", header("2025-02-01T00:00:00.000Z", "2"));
    dir.writeFile("notes.txt", header("2025-07-01T00:00:00.000Z"));
    dir.writeFile("upper.TSHISTORY", header("2025-07-01T00:00:00.000Z"));
    dir.writeFile(".hidden.tshistory", header("2025-07-01T00:00:00.000Z"));
    dir.writeFile("broken.tshistory", "TSHISTORY");
    dir.makeDir("folder.tshistory");

    std::vector<std::string> ids;
    for (const auto& summary : TransformationHistory::listHistories(dir.path()))
        ids.push_back(summary.id);
    EXPECT_EQ(ids, (std::vector<std::string> {"newer", "same-a", "same-b", "version2", "older"}));

    EXPECT_TRUE(TransformationHistory::listHistories(dir / "does-not-exist").empty());
}

TEST(TransformationHistoryFiles, SaveCreatesTheFolderAndWritesTheSerializedEntry)
{
    test::ScopedEnv tz("TZ", std::string("UTC"));
    test::TempDir dir;
    const std::string folder = dir / "deep/er/history";
    const HistoryEntry entry = sampleEntry();

    const Result<std::string> saved = TransformationHistory::save(entry, folder);
    ASSERT_TRUE(saved.ok()) << saved.error().message;
    EXPECT_EQ(*saved, folder + "/2025-03-05_140709_photos.tshistory");
    EXPECT_EQ(dir.readFile("deep/er/history/2025-03-05_140709_photos.tshistory"), TransformationHistory::serialize(entry));
    const Result<HistoryEntry> back = TransformationHistory::parse(dir.readFile("deep/er/history/2025-03-05_140709_photos.tshistory"));
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(*back, entry);
}

TEST(TransformationHistoryFiles, SaveNeverReplacesAFileOfTheSameSecond)
{
    test::ScopedEnv tz("TZ", std::string("UTC"));
    test::TempDir dir;
    HistoryEntry first = sampleEntry();
    HistoryEntry second = sampleEntry();
    second.records.push_back(record("c", "d", Type::file));
    HistoryEntry third = sampleEntry();
    third.operation = HistoryOperation::undo;

    const test::LogCapture log;
    const auto a = TransformationHistory::save(first, dir.path());
    const auto b = TransformationHistory::save(second, dir.path());
    const auto c = TransformationHistory::save(third, dir.path());
    ASSERT_TRUE(a.ok() && b.ok() && c.ok());
    EXPECT_EQ(*a, dir / "2025-03-05_140709_photos.tshistory");
    EXPECT_EQ(*b, dir / "2025-03-05_140709_photos-2.tshistory");
    EXPECT_EQ(*c, dir / "2025-03-05_140709_photos-3.tshistory");
    EXPECT_EQ(dir.readFile("2025-03-05_140709_photos.tshistory"), TransformationHistory::serialize(first));
    EXPECT_EQ(dir.readFile("2025-03-05_140709_photos-2.tshistory"), TransformationHistory::serialize(second));
    // No temporary file is left behind.
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string> {"2025-03-05_140709_photos.tshistory", "2025-03-05_140709_photos-2.tshistory", "2025-03-05_140709_photos-3.tshistory"}));
    EXPECT_EQ(TransformationHistory::listHistories(dir.path()).size(), 3u);
    EXPECT_TRUE(log.contains("History saved: 2025-03-05_140709_photos.tshistory (1 records)\n")) << log.text();
    EXPECT_TRUE(log.contains("History saved: 2025-03-05_140709_photos-2.tshistory (2 records)\n"));
}

// The calls of a history folder on exFAT through FUSE or some network
// shares: no RENAME_NOREPLACE, no hard links.
class NoExclusiveMoveFiles : public HistoryFileOps {
public:
    int renameNoReplace(const std::string&, const std::string&) override
    {
        ++renames;
        return EINVAL;
    }
    int link(const std::string&, const std::string&) override
    {
        ++links;
        return EPERM;
    }
    int renames = 0;
    int links = 0;
};

TEST(TransformationHistoryFiles, SaveWorksWhereNeitherANoReplaceRenameNorALinkExists)
{
    test::ScopedEnv tz("TZ", std::string("UTC"));
    test::TempDir dir;
    dir.writeFile("2025-03-05_140709_photos.tshistory", "someone else's file");
    NoExclusiveMoveFiles files;
    HistoryEntry second = sampleEntry();
    second.records.push_back(record("c", "d", Type::file));

    const auto a = TransformationHistory::save(sampleEntry(), dir.path(), files);
    const auto b = TransformationHistory::save(second, dir.path(), files);
    ASSERT_TRUE(a.ok()) << a.error().message;
    ASSERT_TRUE(b.ok()) << b.error().message;
    EXPECT_GT(files.renames, 0);
    EXPECT_GT(files.links, 0);
    // Saved under the next free names; the file that was there is untouched.
    EXPECT_EQ(*a, dir / "2025-03-05_140709_photos-2.tshistory");
    EXPECT_EQ(*b, dir / "2025-03-05_140709_photos-3.tshistory");
    EXPECT_EQ(dir.readFile("2025-03-05_140709_photos.tshistory"), "someone else's file");
    EXPECT_EQ(dir.readFile("2025-03-05_140709_photos-2.tshistory"), TransformationHistory::serialize(sampleEntry()));
    EXPECT_EQ(dir.readFile("2025-03-05_140709_photos-3.tshistory"), TransformationHistory::serialize(second));
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string> {"2025-03-05_140709_photos.tshistory", "2025-03-05_140709_photos-2.tshistory", "2025-03-05_140709_photos-3.tshistory"}));
    const auto listed = TransformationHistory::listHistories(dir.path());
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_FALSE(listed[0].incomplete);
}

TEST(TransformationHistoryFiles, LongNamesStayWithinTheByteLimitWithASuffix)
{
    test::TempDir dir;
    std::string emoji;
    for (int i = 0; i < 50; ++i)
        emoji += "\xF0\x9F\x98\x80";
    const HistoryEntry entry = sampleEntry("/srv/" + emoji);
    for (int i = 0; i < 12; ++i) {
        const auto saved = TransformationHistory::save(entry, dir.path());
        ASSERT_TRUE(saved.ok()) << saved.error().message;
    }
    const std::set<std::string> names = namesIn(dir.path());
    EXPECT_EQ(names.size(), 12u);
    for (const std::string& name : names) {
        EXPECT_LE(name.size(), TransformationHistory::kMaxFileNameBytes) << name;
        EXPECT_EQ(name.substr(name.size() - 10), ".tshistory");
    }
}

TEST(TransformationHistoryFiles, SaveReportsAFolderThatCannotBeCreated)
{
    test::TempDir dir;
    dir.writeFile("occupied", "a file, not a folder");
    const auto saved = TransformationHistory::save(sampleEntry(), dir / "occupied/history");
    ASSERT_FALSE(saved.ok());
    EXPECT_EQ(saved.error().domain, TransformationHistoryError::kDomain);
    EXPECT_EQ(saved.error().code, static_cast<std::int64_t>(TransformationHistoryError::Kind::directoryCreationFailed));
    EXPECT_EQ(saved.error().message, "Failed to create history directory: " + (dir / "occupied/history"));
}

TEST(TransformationHistoryFiles, DefaultFolderIsHistoryInTheDataFolder)
{
    test::IsolatedHome home;
    const std::string expectedFolder = home.dataHome() + "/app.quenby.Tessaline/history";
    EXPECT_EQ(TransformationHistory::historyDirectory(), expectedFolder);
    EXPECT_TRUE(TransformationHistory::listHistories().empty());

    const auto saved = TransformationHistory::save(sampleEntry());
    ASSERT_TRUE(saved.ok()) << saved.error().message;
    EXPECT_EQ(saved->rfind(expectedFolder + "/", 0), 0u);
    const auto listed = TransformationHistory::listHistories();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].url, *saved);
    EXPECT_EQ(listed[0].recordCount, 1);
}

TEST(TransformationHistoryFiles, DeleteRemovesTheFileAndReportsFailures)
{
    test::TempDir dir;
    const auto saved = TransformationHistory::save(sampleEntry(), dir.path());
    ASSERT_TRUE(saved.ok());
    const test::LogCapture log;
    EXPECT_TRUE(TransformationHistory::deleteHistory(*saved).ok());
    EXPECT_TRUE(log.contains("History deleted: " + saved->substr(saved->rfind('/') + 1) + "\n")) << log.text();
    EXPECT_TRUE(TransformationHistory::listHistories(dir.path()).empty());

    const Status again = TransformationHistory::deleteHistory(*saved);
    ASSERT_FALSE(again.ok());
    EXPECT_EQ(again.error().code, ENOENT);
}

}  // namespace
}  // namespace tess
