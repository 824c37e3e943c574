#include "ReportTestSupport.h"

#include "report/RenameReport.h"
#include "report/VerificationStatusText.h"

#include <gtest/gtest.h>

namespace tess {
namespace {

using Status = SourceFileRenamer::RenameVerification::VerificationStatus;
using Type = HistoryRecordType;
using RecordStatus = HistoryRecordStatus;

HistoryRecord record(std::string original, std::string final, Type type, RecordStatus status, std::string error = {})
{
    return HistoryRecord {std::move(original), std::move(final), type, status, std::move(error)};
}

TEST(RenameReport, FromHistoryEntryShowsWhatTheBatchDidInRecordOrder)
{
    HistoryEntry entry;
    entry.timestamp = test::utc(2026, 12, 9, 9, 30, 0, 123);
    entry.scanRoot = "/data";
    entry.records = {
        record("b.txt", "b_.txt", Type::file, RecordStatus::ok),
        record("locked.txt", "locked_.txt", Type::file, RecordStatus::fail, "Permission denied"),
        record("Dir", "Dir_", Type::directory, RecordStatus::ok),
        record("gone.txt", "gone_.txt", Type::file, RecordStatus::verifyFail,
            std::string(VerificationStatusText::description(Status::sourceStillExists))),
        record("both.txt", "Both.txt", Type::file, RecordStatus::verifyFail,
            std::string(VerificationStatusText::description(Status::both))),
        record("odd.txt", "odd_.txt", Type::file, RecordStatus::verifyFail, "written by someone else"),
        record("ok.txt", "ok_.txt", Type::file, RecordStatus::verifyFail,
            std::string(VerificationStatusText::description(Status::verified))),
        record("empty", "", Type::removedDirectory, RecordStatus::ok),
        record("new", "", Type::createdDirectory, RecordStatus::ok),
        record("x", "y", Type::storedMetadata, RecordStatus::ok),
        record("new2", "", Type::createdDirectory, RecordStatus::fail, "no"),
    };

    const RenameReport report = RenameReport::fromHistoryEntry(entry);

    EXPECT_EQ(report.timestamp, entry.timestamp);
    EXPECT_EQ(report.scanRoot, "/data");
    EXPECT_FALSE(report.historyPath);
    EXPECT_EQ(report.renamed, (std::vector<RenameReport::RenamedPair> {{"b.txt", "b_.txt"}, {"Dir", "Dir_"}}));
    EXPECT_EQ(report.failed, (std::vector<RenameReport::FailedRename> {{"locked.txt", "Permission denied"}}));
    EXPECT_EQ(report.removedDirectories, std::vector<std::string> {"empty"});
    ASSERT_EQ(report.failedVerifications.size(), 4u);
    struct Expected {
        const char* original;
        const char* target;
        Status status;
    };
    const Expected expected[] = {
        {"gone.txt", "gone_.txt", Status::sourceStillExists},
        {"both.txt", "Both.txt", Status::both},
        {"odd.txt", "odd_.txt", Status::targetMissing},
        {"ok.txt", "ok_.txt", Status::targetMissing},
    };
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(expected[i].original);
        EXPECT_EQ(report.failedVerifications[i].originalPath, expected[i].original);
        EXPECT_EQ(report.failedVerifications[i].targetPath, expected[i].target);
        EXPECT_EQ(report.failedVerifications[i].status, expected[i].status);
    }
}

TEST(RenameReport, FromBatchKeepsMessagesAndOnlyFailedVerifications)
{
    const std::vector<SourceFileRenamer::RenamedItem> renamed {{"a", "b"}};
    const std::vector<SourceFileRenamer::FailedItem> failed {{"c", Error {kAppErrorDomain, 13, "No permission"}}};
    const std::vector<RenameReport::Verification> verifications {
        {"a", "b", Status::verified}, {"c", "d", Status::sourceStillExists}};

    const RenameReport report = RenameReport::fromBatch(test::utc(2026, 1, 1, 0, 0, 0), "/root", renamed, failed,
        verifications, {"gone"}, std::string("/h/x.tshistory"));

    EXPECT_EQ(report.scanRoot, "/root");
    EXPECT_EQ(report.renamed, (std::vector<RenameReport::RenamedPair> {{"a", "b"}}));
    EXPECT_EQ(report.failed, (std::vector<RenameReport::FailedRename> {{"c", "No permission"}}));
    ASSERT_EQ(report.failedVerifications.size(), 1u);
    EXPECT_EQ(report.failedVerifications[0].originalPath, "c");
    EXPECT_EQ(report.removedDirectories, std::vector<std::string> {"gone"});
    EXPECT_EQ(report.historyPath, "/h/x.tshistory");
}

// A verification whose check found another item at a path keeps its own
// sentence through the history file and into what the report shows; a
// stored description still gives back its status.
TEST(RenameReport, AVerificationsOwnSentenceSurvivesTheHistoryFile)
{
    const std::string sentence = "Target holds another item — the original was not renamed and is still in place.";
    HistoryEntry entry;
    entry.scanRoot = "/root";
    entry.records = {record("a", "b", Type::file, RecordStatus::verifyFail, sentence),
        record("c", "d", Type::file, RecordStatus::verifyFail,
            std::string(VerificationStatusText::description(Status::sourceStillExists)))};
    const RenameReport report = RenameReport::fromHistoryEntry(entry);
    ASSERT_EQ(report.failedVerifications.size(), 2u);
    EXPECT_EQ(VerificationStatusText::text(report.failedVerifications[0]), sentence);
    EXPECT_EQ(report.failedVerifications[1].status, Status::sourceStillExists);
    EXPECT_EQ(VerificationStatusText::text(report.failedVerifications[1]),
        VerificationStatusText::description(Status::sourceStillExists));
    EXPECT_EQ(VerificationStatusText::text(report.failedVerifications[1]).find("delete"), std::string::npos);
}

TEST(VerificationStatusText, TokensAndDescriptionsRoundTrip)
{
    struct Case {
        Status status;
        const char* token;
        const char* descriptionStart;
    };
    const Case cases[] = {
        {Status::verified, "verified", "Verified — rename succeeded."},
        {Status::sourceStillExists, "sourceStillExists", "Original still exists, target missing — "},
        {Status::targetMissing, "targetMissing", "Neither original nor target found — "},
        {Status::both, "bothExist", "Both original and target exist — "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.token);
        EXPECT_EQ(VerificationStatusText::token(c.status), c.token);
        EXPECT_TRUE(VerificationStatusText::description(c.status).starts_with(c.descriptionStart));
        const auto recovered = VerificationStatusText::failedStatusFromDescription(
            VerificationStatusText::description(c.status));
        if (c.status == Status::verified) {
            EXPECT_FALSE(recovered);
        } else {
            EXPECT_EQ(recovered, c.status);
        }
    }
}

}  // namespace
}  // namespace tess
