#include "HistoryTestSupport.h"
#include "TempDir.h"

#include "history/HistoryFile.h"
#include "history/HistoryJournal.h"
#include "history/HistoryUndo.h"
#include "history/TransformationHistory.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace tess {
namespace {

using test::fileBytes;
using test::record;
using test::TempDir;
using test::tokens;
using test::utcTime;
using Type = HistoryRecordType;
using Status_ = HistoryRecordStatus;
using Step = BatchRecorder::Step;

HistoryEntry batchEntry()
{
    HistoryEntry entry;
    entry.timestamp = utcTime(2025, 1, 31, 9, 5, 7, 250);
    entry.scanRoot = "/data/Photos";
    entry.records = {record("a", "b", Type::file), record("c", "d", Type::file, Status_::fail, "Permission denied. x"),
        record("e", "f", Type::file, Status_::verifyFail, "Neither"), record("g", "h", Type::directory),
        record("old", "", Type::removedDirectory), record("new", "", Type::createdDirectory)};
    return entry;
}

void truncateTo(const std::string& path, std::size_t size)
{
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0);
}

TEST(HistoryFormat, TheFileOfAFinishedBatchKeepsItsBytes)
{
    // Exactly the bytes history files have always had: no new token.
    const std::string golden = tokens({"TSHISTORY", "1", "2025-01-31T09:05:07.250Z", "/data/Photos", "rename", "",
        "a", "b", "F", "ok", "", "c", "d", "F", "fail", "Permission denied. x", "e", "f", "F", "verify-fail", "Neither",
        "g", "h", "D", "ok", "", "old", "", "RD", "ok", "", "new", "", "CD", "ok", ""});
    EXPECT_EQ(TransformationHistory::serialize(batchEntry()), golden);
    TempDir dir;
    const auto saved = TransformationHistory::save(batchEntry(), dir.path());
    ASSERT_TRUE(saved.ok()) << saved.error().message;
    EXPECT_EQ(fileBytes(*saved), golden);
}

TEST(HistoryFormat, OneCountRuleForTheRowTheAlertAndTheFile)
{
    // Five renames, one of them failed, one failed verification: the row
    // counts what was done (3 renames and 1 removed folder), never a failed
    // item twice, never a created folder.
    const HistoryEntry entry = batchEntry();
    EXPECT_EQ(TransformationHistory::doneCount(entry), 3);
    TempDir dir;
    ASSERT_TRUE(TransformationHistory::save(entry, dir.path()).ok());
    const auto listed = TransformationHistory::listHistories(dir.path());
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].doneCount, 3);
    EXPECT_EQ(listed[0].userFacingCount, 5);  // the old count, kept for older callers
    EXPECT_FALSE(listed[0].interrupted);
    EXPECT_FALSE(listed[0].incomplete);
}

TEST(HistoryFormat, AFileCutAtARecordBoundaryIsToldIncomplete)
{
    TempDir dir;
    const auto saved = TransformationHistory::save(batchEntry(), dir.path());
    ASSERT_TRUE(saved.ok());
    const std::string bytes = fileBytes(*saved);
    // Cut after the fourth record: it still parses, but is not what was written.
    std::size_t cut = 0;
    for (int nul = 0; nul < 6 + 5 * 4; ++nul) {
        cut = bytes.find('\0', cut) + 1;
    }
    truncateTo(*saved, cut - 1);
    ASSERT_TRUE(TransformationHistory::parse(fileBytes(*saved)).ok());
    const auto listed = TransformationHistory::listHistories(dir.path());
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_TRUE(listed[0].incomplete);
    const auto loaded = HistoryFile::load(*saved);
    ASSERT_TRUE(loaded.ok());
    EXPECT_TRUE(loaded->incomplete);
    EXPECT_EQ(loaded->entry.records.size(), 4u);

    // A file written before seals existed (no attribute) reads as it did.
    std::ofstream(dir / "2020-01-01_000000_old.tshistory", std::ios::binary) << bytes;
    const auto old = HistoryFile::load(dir / "2020-01-01_000000_old.tshistory");
    ASSERT_TRUE(old.ok());
    EXPECT_FALSE(old->incomplete);
    EXPECT_EQ(old->entry, TransformationHistory::parse(bytes).value());

    HistoryUndo::UndoResult result;
    result.renamed.push_back({"b", "a"});
    EXPECT_EQ(HistoryUndo::resultMessage(result, true),
        "Undo complete: 1 item restored. The history file is incomplete: renames after its last record are unknown "
        "and were not undone");
}

TEST(HistoryJournal, RecordsEveryStepAndIsListedAsInterruptedUntilFinished)
{
    TempDir dir;
    HistoryEntry header = batchEntry();
    auto journal = HistoryJournal::begin(header, dir.path());
    ASSERT_TRUE(journal.ok()) << journal.error().message;
    HistoryJournal& recorder = **journal;
    ASSERT_TRUE(recorder.willDo(Step::createFolder, "new", "").ok());
    ASSERT_TRUE(recorder.willDo(Step::moveFile, "a", "new/b").ok());
    ASSERT_TRUE(recorder.willDo(Step::moveFile, "c", "new/d").ok());
    ASSERT_TRUE(recorder.didFail(Step::moveFile, "c", "new/d", "Rename failed: x").ok());
    ASSERT_TRUE(recorder.willDo(Step::removeFolder, "old", "").ok());
    const std::string path = recorder.path();
    // Named as the batch's history file will be, with its own extension.
    const std::string fileName = TransformationHistory::makeFileName(header.timestamp, header.scanRoot);
    EXPECT_EQ(path, dir / fileName.substr(0, fileName.size() - 9) + "tsjournal");

    // While its batch runs, the journal is not listed.
    EXPECT_TRUE(TransformationHistory::listHistories(dir.path()).empty());
    journal = Error {};  // the batch's process is gone: the lock goes with it
    const auto listed = TransformationHistory::listHistories(dir.path());
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_TRUE(listed[0].interrupted);
    EXPECT_EQ(listed[0].doneCount, 2);  // a -> new/b and the removed folder; c was withdrawn
    EXPECT_EQ(listed[0].url, path);

    const auto loaded = HistoryFile::load(path);
    ASSERT_TRUE(loaded.ok()) << loaded.error().message;
    EXPECT_TRUE(loaded->interrupted);
    EXPECT_EQ(loaded->entry.records,
        (std::vector<HistoryRecord> {record("new", "", Type::createdDirectory), record("a", "new/b", Type::file),
            record("c", "new/d", Type::file, Status_::fail, "Rename failed: x"), record("old", "", Type::removedDirectory)}));

    // A journal whose batch finished and was saved is gone.
    auto second = HistoryJournal::begin(header, dir.path());
    ASSERT_TRUE(second.ok());
    EXPECT_NE((*second)->path(), path);
    ASSERT_TRUE((*second)->finish().ok());
    EXPECT_EQ(::access((*second)->path().c_str(), F_OK), -1);
}

TEST(HistoryJournal, AJournalCutAnywhereKeepsItsCompleteRecords)
{
    TempDir dir;
    auto journal = HistoryJournal::begin(batchEntry(), dir.path());
    ASSERT_TRUE(journal.ok());
    const std::string path = (*journal)->path();
    const std::size_t headerSize = fileBytes(path).size();
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE((*journal)->willDo(Step::moveFile, "é" + std::to_string(i), "e" + std::to_string(i)).ok());
    }
    ASSERT_TRUE((*journal)->didFail(Step::moveFile, "é3", "e3", "Rename failed: ünknown").ok());
    const std::string full = fileBytes(path);
    std::size_t previous = 0;
    for (std::size_t size = headerSize; size <= full.size(); ++size) {
        const Result<HistoryEntry> entry = HistoryJournal::parseJournal(std::string_view(full).substr(0, size));
        ASSERT_TRUE(entry.ok()) << size << ": " << entry.error().message;
        // Records only appear whole and in order, never lost once there.
        std::size_t count = 0;
        for (const HistoryRecord& r : entry->records) {
            count += r.status == Status_::ok ? 1 : 0;
        }
        EXPECT_GE(count + 1, previous) << size;
        previous = count;
        for (std::size_t i = 0; i < entry->records.size() && entry->records[i].status == Status_::ok; ++i) {
            EXPECT_EQ(entry->records[i].originalRelativePath, "é" + std::to_string(i)) << size;
        }
    }
    const Result<HistoryEntry> whole = HistoryJournal::parseJournal(full);
    ASSERT_TRUE(whole.ok());
    EXPECT_EQ(TransformationHistory::doneCount(*whole), 3);
    // A header that is cut or damaged is an error, as for any history file.
    EXPECT_FALSE(HistoryJournal::parseJournal(std::string_view(full).substr(0, headerSize - 3)).ok());
    EXPECT_FALSE(HistoryJournal::parseJournal("TSHISTORY\0002").ok());
}

TEST(HistoryJournal, ABatchWhoseJournalCannotBeCreatedIsTold)
{
    TempDir dir;
    dir.writeFile("file");
    // A folder that cannot exist (a file is in the way): root or not.
    const auto journal = HistoryJournal::begin(batchEntry(), dir / "file/history");
    ASSERT_FALSE(journal.ok());
    EXPECT_EQ(journal.error().message, "The batch's history could not be created in " + (dir / "file/history"));
}

}  // namespace
}  // namespace tess
