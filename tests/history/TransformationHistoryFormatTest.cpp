#include "HistoryTestSupport.h"
#include "TestEnvironment.h"

#include "history/HistoryTimestamp.h"
#include "history/TransformationHistory.h"
#include "history/TransformationHistoryError.h"

#include <gtest/gtest.h>

#include <fstream>

namespace tess {
namespace {

using test::record;
using test::tokens;
using test::utcTime;
using Type = HistoryRecordType;
using Status_ = HistoryRecordStatus;

HistoryEntry noRecordsEntry()
{
    HistoryEntry entry;
    entry.timestamp = utcTime(2025, 1, 31, 9, 5, 7, 250);
    entry.scanRoot = "/Volumes/Data";
    entry.operation = HistoryOperation::undo;
    entry.parentHistoryID = "2025-01-30_101010_Data";
    return entry;
}

HistoryEntry emptyFieldsEntry()
{
    HistoryEntry entry;
    entry.timestamp = utcTime(2025, 1, 31, 9, 5, 7, 250);
    entry.scanRoot = "/srv/photos";
    entry.operation = HistoryOperation::rename;
    entry.records = {
        record("a/x", "a/y", Type::file),
        record("n", "", Type::createdDirectory),
        record("c", "d", Type::file, Status_::fail, "Source file not found at expected location."),
    };
    return entry;
}

TEST(TransformationHistoryFormat, EnumerationsUseExactRawValues)
{
    EXPECT_EQ(rawValue(HistoryOperation::rename), "rename");
    EXPECT_EQ(rawValue(HistoryOperation::undo), "undo");
    EXPECT_EQ(rawValue(Type::file), "F");
    EXPECT_EQ(rawValue(Type::directory), "D");
    EXPECT_EQ(rawValue(Type::removedDirectory), "RD");
    EXPECT_EQ(rawValue(Type::createdDirectory), "CD");
    EXPECT_EQ(rawValue(Type::storedMetadata), "SM");
    EXPECT_EQ(rawValue(Status_::ok), "ok");
    EXPECT_EQ(rawValue(Status_::fail), "fail");
    EXPECT_EQ(rawValue(Status_::verifyFail), "verify-fail");
    EXPECT_EQ(historyRecordTypeFromRaw("RD"), Type::removedDirectory);
    EXPECT_EQ(historyRecordStatusFromRaw("verify-fail"), Status_::verifyFail);
    EXPECT_EQ(historyOperationFromRaw("undo"), HistoryOperation::undo);
    // Case-sensitive, no trimming.
    EXPECT_FALSE(historyRecordTypeFromRaw("f"));
    EXPECT_FALSE(historyRecordTypeFromRaw("F "));
    EXPECT_FALSE(historyRecordStatusFromRaw("OK"));
    EXPECT_FALSE(historyOperationFromRaw("Rename"));
}

TEST(TransformationHistoryFormat, EntryWithoutRecordsIsTheSixHeaderTokens)
{
    const std::string golden = test::readDataFile("no-records.tshistory");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(std::count(golden.begin(), golden.end(), '\0'), 5);

    EXPECT_EQ(TransformationHistory::serialize(noRecordsEntry()), golden);
    const Result<HistoryEntry> parsed = TransformationHistory::parse(golden);
    ASSERT_TRUE(parsed.ok()) << parsed.error().message;
    EXPECT_EQ(*parsed, noRecordsEntry());
    EXPECT_TRUE(parsed->records.empty());
}

TEST(TransformationHistoryFormat, EmptyFieldsKeepTheirPlaceAndVersionIsAlwaysOne)
{
    const std::string golden = test::readDataFile("empty-fields.tshistory");
    HistoryEntry entry = emptyFieldsEntry();
    entry.version = "7";  // not consulted by the writer
    EXPECT_EQ(TransformationHistory::serialize(entry), golden);

    const Result<HistoryEntry> parsed = TransformationHistory::parse(golden);
    ASSERT_TRUE(parsed.ok()) << parsed.error().message;
    EXPECT_EQ(parsed->version, "1");
    EXPECT_EQ(parsed->parentHistoryID, "");
    EXPECT_EQ(*parsed, emptyFieldsEntry());
}

TEST(TransformationHistoryFormat, PathTokensKeepRawBytes)
{
    // Names on Linux may be invalid UTF-8: the file stores them verbatim.
    const std::string golden = test::readDataFile("raw-bytes.tshistory");
    const Result<HistoryEntry> parsed = TransformationHistory::parse(golden);
    ASSERT_TRUE(parsed.ok()) << parsed.error().message;
    EXPECT_EQ(parsed->scanRoot, "/srv/caf\xe9");
    ASSERT_EQ(parsed->records.size(), 1u);
    EXPECT_EQ(parsed->records[0].originalRelativePath, "caf\xe9/menu\xff.txt");
    EXPECT_EQ(TransformationHistory::serialize(*parsed), golden);
}

TEST(TransformationHistoryFormat, SerializeNeverBreaksTheTokenStructure)
{
    HistoryEntry entry = emptyFieldsEntry();
    entry.records[2].error = std::string("bad\0text \xff", 10);
    entry.parentHistoryID = std::string("p\0q", 3);
    const Result<HistoryEntry> parsed = TransformationHistory::parse(TransformationHistory::serialize(entry));
    ASSERT_TRUE(parsed.ok()) << parsed.error().message;
    ASSERT_EQ(parsed->records.size(), 3u);
    EXPECT_EQ(parsed->records[2].error, "bad\xEF\xBF\xBDtext \xC3\xBF");
    EXPECT_EQ(parsed->parentHistoryID, "p\xEF\xBF\xBDq");
}

struct ParseFailure {
    const char* name;
    std::string bytes;
    TransformationHistoryError::Kind kind;
    std::string message;
};

TEST(TransformationHistoryFormat, ParseChecksRunInOrderWithExactTexts)
{
    using Kind = TransformationHistoryError::Kind;
    const std::string golden = test::readDataFile("empty-fields.tshistory");
    const std::string header = tokens({"TSHISTORY", "1", "2025-01-31T09:05:07.250Z", "/r", "rename", ""});
    const std::vector<ParseFailure> cases = {
        {"empty file", "", Kind::invalidFormat, "Invalid history file format: too few tokens for header: got 1, need 6"},
        {"five tokens", tokens({"TSHISTORY", "1", "2025-01-31T09:05:07.250Z", "/r", "rename"}), Kind::invalidFormat,
            "Invalid history file format: too few tokens for header: got 5, need 6"},
        {"invalid UTF-8 text token", tokens({"TSHISTORY", "1", "2025-01-31T09:05:07.250Z", "/r", "rename\xff", ""}), Kind::invalidFormat,
            "Invalid history file format: not valid UTF-8"},
        {"invalid UTF-8 before too few tokens", "TSHISTORY\xff", Kind::invalidFormat, "Invalid history file format: not valid UTF-8"},
        {"missing magic", tokens({"TSHISTORX", "1", "2025-01-31T09:05:07.250Z", "/r", "rename", ""}), Kind::invalidFormat,
            "Invalid history file format: missing magic: got 'TSHISTORX'"},
        {"version 2", tokens({"TSHISTORY", "2", "2025-01-31T09:05:07.250Z", "/r", "rename", ""}), Kind::invalidVersion,
            "Unsupported history file version: 2"},
        {"version before timestamp", tokens({"TSHISTORY", "2", "yesterday", "/r", "rename", ""}), Kind::invalidVersion,
            "Unsupported history file version: 2"},
        {"bad timestamp", tokens({"TSHISTORY", "1", "2025-01-31 09:05:07", "/r", "rename", ""}), Kind::invalidFormat,
            "Invalid history file format: invalid timestamp: '2025-01-31 09:05:07'"},
        {"bad operation", tokens({"TSHISTORY", "1", "2025-01-31T09:05:07.250Z", "/r", "redo", ""}), Kind::invalidFormat,
            "Invalid history file format: invalid operation: 'redo'"},
        {"one NUL appended", golden + std::string(1, '\0'), Kind::invalidTokenCount,
            "Invalid token count: expected multiple of 5 after header, got remainder 1"},
        {"four surplus tokens", header + std::string(1, '\0') + tokens({"", "a", "b", "F"}), Kind::invalidTokenCount,
            "Invalid token count: expected multiple of 5 after header, got remainder 4"},
        {"bad type in third record",
            header + std::string(1, '\0') + tokens({"a", "b", "F", "ok", "", "c", "d", "D", "ok", "", "e", "f", "X", "ok", ""}),
            Kind::invalidFormat, "Invalid history file format: invalid record type: 'X' at record 2"},
        {"type checked before status",
            header + std::string(1, '\0') + tokens({"a", "b", "F", "done", "", "c", "d", "Q", "ok", ""}),
            Kind::invalidFormat, "Invalid history file format: invalid record status: 'done' at record 0"},
        {"status is case-sensitive", header + std::string(1, '\0') + tokens({"a", "b", "F", "OK", ""}), Kind::invalidFormat,
            "Invalid history file format: invalid record status: 'OK' at record 0"},
    };
    for (const ParseFailure& c : cases) {
        SCOPED_TRACE(c.name);
        const Result<HistoryEntry> parsed = TransformationHistory::parse(c.bytes);
        ASSERT_FALSE(parsed.ok());
        EXPECT_EQ(parsed.error().domain, TransformationHistoryError::kDomain);
        EXPECT_EQ(parsed.error().code, static_cast<std::int64_t>(c.kind));
        EXPECT_EQ(parsed.error().message, c.message);
    }
}

TEST(TransformationHistoryFormat, ErrorDescriptions)
{
    EXPECT_EQ(TransformationHistoryError::directoryCreationFailed("/x/history").description(),
        "Failed to create history directory: /x/history");
    EXPECT_EQ(TransformationHistoryError::invalidTokenCount(5, 3).description(),
        "Invalid token count: expected multiple of 5 after header, got remainder 3");
}

TEST(TransformationHistoryFormat, TimestampForm)
{
    EXPECT_EQ(HistoryTimestamp::format(utcTime(2025, 1, 31, 9, 5, 7, 250)), "2025-01-31T09:05:07.250Z");
    // Sub-millisecond parts are dropped; times before 1970 work too.
    EXPECT_EQ(HistoryTimestamp::format(utcTime(2025, 1, 31, 9, 5, 7, 250) + std::chrono::microseconds(999)), "2025-01-31T09:05:07.250Z");
    EXPECT_EQ(HistoryTimestamp::format(utcTime(1969, 12, 31, 23, 59, 59, 1)), "1969-12-31T23:59:59.001Z");

    const struct {
        const char* text;
        bool valid;
        std::chrono::system_clock::time_point expected;
    } cases[] = {
        {"2025-01-31T09:05:07.250Z", true, utcTime(2025, 1, 31, 9, 5, 7, 250)},
        {"2025-01-31T10:05:07.25+01:00", true, utcTime(2025, 1, 31, 9, 5, 7, 250)},
        {"2024-02-29T00:00:00.000Z", true, utcTime(2024, 2, 29, 0, 0, 0)},
        {"2025-01-31T09:05:07Z", false, {}},
        {"2025-02-29T00:00:00.000Z", false, {}},
        {"2025-01-31T24:00:00.000Z", false, {}},
        {"2025-01-31t09:05:07.250z", false, {}},
        {"2025-01-31T09:05:07.250Z ", false, {}},
        {"", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto parsed = HistoryTimestamp::parse(c.text);
        ASSERT_EQ(parsed.has_value(), c.valid);
        if (c.valid) {
            EXPECT_EQ(*parsed, c.expected);
        }
    }
}

TEST(TransformationHistoryFormat, FileNames)
{
    test::ScopedEnv tz("TZ", std::string("UTC"));
    const auto at = utcTime(2025, 3, 5, 14, 7, 9, 900);
    const std::string sixty(60, 'a');
    const std::string fifty(50, 'b');
    // 50 characters of 4 bytes each: within the character limit, but over
    // the byte budget of a 200-byte file name.
    std::string emoji;
    for (int i = 0; i < 50; ++i)
        emoji += "\xF0\x9F\x98\x80";
    const struct {
        std::string scanRoot;
        std::string expected;
    } cases[] = {
        {"/Volumes/My Disk: 2", "2025-03-05_140709_My_Disk__2.tshistory"},
        {"/", "2025-03-05_140709__.tshistory"},
        {"/home/ann/Photos/", "2025-03-05_140709_Photos.tshistory"},
        {"/data/" + sixty, "2025-03-05_140709_" + std::string(50, 'a') + ".tshistory"},
        {"/data/" + fifty, "2025-03-05_140709_" + fifty + ".tshistory"},
        // Cut after 50 characters, not bytes: "é" decomposed is one character.
        {"/data/" + [] { std::string s; for (int i = 0; i < 55; ++i) s += "e\xCC\x81"; return s; }(),
            "2025-03-05_140709_" + [] { std::string s; for (int i = 0; i < 50; ++i) s += "e\xCC\x81"; return s; }() + ".tshistory"},
        {"/data/" + emoji, "2025-03-05_140709_" + emoji.substr(0, 43 * 4) + ".tshistory"},
        // A name that is not UTF-8 gives a UTF-8 file name.
        {"/srv/caf\xe9", "2025-03-05_140709_caf\xC3\xA9.tshistory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scanRoot);
        const std::string name = TransformationHistory::makeFileName(at, c.scanRoot);
        EXPECT_EQ(name, c.expected);
        EXPECT_LE(name.size(), TransformationHistory::kMaxFileNameBytes);
    }
}

TEST(TransformationHistoryFormat, FileNameFollowsTheLocalTimeZone)
{
    test::ScopedEnv tz("TZ", std::string("XST-5:30"));  // UTC+05:30
    EXPECT_EQ(TransformationHistory::makeFileName(utcTime(2025, 3, 5, 14, 7, 9), "/x"), "2025-03-05_193709_x.tshistory");
}

TEST(TransformationHistoryFormat, UndoPlanOfTheSevenRecordExample)
{
    test::ScopedEnv tz("TZ", std::string("UTC"));
    HistoryEntry entry;
    entry.timestamp = utcTime(2025, 3, 5, 14, 7, 9);
    entry.scanRoot = "/srv/disk";
    entry.records = {
        record("a/x", "a/y", Type::file),
        record("a", "b", Type::directory),
        record("c", "d", Type::file, Status_::fail, "nope"),
        record("old/sub", "", Type::removedDirectory),
        record("old", "", Type::removedDirectory),
        record("n", "", Type::createdDirectory),
        record("n/m", "", Type::createdDirectory),
    };
    const HistoryEntry plan = TransformationHistory::undoPlan(entry);
    const std::vector<HistoryRecord> expected = {
        record("old", "", Type::removedDirectory),
        record("old/sub", "", Type::removedDirectory),
        record("b", "a", Type::directory),
        record("a/y", "a/x", Type::file),
        record("n/m", "", Type::createdDirectory),
        record("n", "", Type::createdDirectory),
    };
    EXPECT_EQ(plan.records, expected);
    EXPECT_EQ(plan.version, "1");
    EXPECT_EQ(plan.operation, HistoryOperation::undo);
    EXPECT_EQ(plan.scanRoot, "/srv/disk");
    EXPECT_EQ(plan.parentHistoryID, "2025-03-05_140709_disk.tshistory");
}

TEST(TransformationHistoryFormat, UndoPlanOrdersEachGroupStablyAndLeavesOutWhatItCannotUndo)
{
    HistoryEntry entry;
    entry.records = {
        record("p/q/r", "P/Q/R", Type::directory),
        record("s", "S", Type::directory),
        record("p", "P", Type::directory),
        record("t", "T", Type::directory),
        record("f2", "g2", Type::file, Status_::verifyFail, "Target missing"),
        record("meta", "", Type::storedMetadata),
        record("f1", "g1", Type::file),
        record("z", "", Type::createdDirectory),
        record("y/z", "", Type::createdDirectory),
        record("x", "", Type::createdDirectory),
        record("w", "", Type::createdDirectory, Status_::fail, "no"),
    };
    const HistoryEntry plan = TransformationHistory::undoPlan(entry);
    const std::vector<HistoryRecord> expected = {
        record("S", "s", Type::directory),
        record("P", "p", Type::directory),
        record("T", "t", Type::directory),
        record("P/Q/R", "p/q/r", Type::directory),
        record("g1", "f1", Type::file),
        record("y/z", "", Type::createdDirectory),
        record("z", "", Type::createdDirectory),
        record("x", "", Type::createdDirectory),
    };
    EXPECT_EQ(plan.records, expected);
}

}  // namespace
}  // namespace tess
