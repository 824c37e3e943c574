#include "HistoryTestSupport.h"
#include "TempDir.h"

#include "history/HistoryFile.h"
#include "history/HistoryJournal.h"
#include "history/HistoryUndo.h"
#include "history/TransformationHistory.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
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
    // Never "complete": what came after the cut is unknown.
    EXPECT_EQ(HistoryUndo::resultMessage(result, true),
        "Undo: 1 item restored. The history file is incomplete: renames after its last whole record are unknown "
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
    EXPECT_EQ(journal.error().message, "The batch's history could not be created in " + (dir / "file/history") + ": Not a directory");
}

}  // namespace
}  // namespace tess

namespace tess {
namespace {

using test::fileBytes;
using test::record;
using test::TempDir;
using Type = HistoryRecordType;
using Status_ = HistoryRecordStatus;
using Step = BatchRecorder::Step;

bool present(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// A sealed history file, or a copy without its seal, cut inside a record:
// listed as incomplete, read up to its last whole record, and undone that
// far; the undo says the file is incomplete and never calls itself complete.
TEST(HistoryFormat, AFileCutInsideARecordIsUndoneUpToItsLastWholeRecord)
{
    TempDir dir;
    HistoryEntry entry;
    entry.timestamp = test::utcTime(2025, 3, 5, 14, 7, 9);
    entry.scanRoot = dir / "tree";
    for (const char* name : {"a", "b", "c", "d"}) {
        dir.writeFile(std::string("tree/") + name + "-new", name);
        entry.records.push_back(record(name, std::string(name) + "-new", Type::file));
    }
    const auto saved = TransformationHistory::save(entry, dir / "history");
    ASSERT_TRUE(saved.ok()) << saved.error().message;
    const std::string bytes = fileBytes(*saved);
    const std::size_t thirdRecord = bytes.find(std::string("c\0c-new", 7));
    ASSERT_NE(thirdRecord, std::string::npos);
    struct Case {
        const char* name;
        std::size_t size;
        bool keepSeal;
        std::size_t wholeRecords;
    };
    const Case cases[] = {
        {"one byte short", bytes.size() - 1, true, 3},
        {"inside the third record's final path", thirdRecord + 4, true, 2},
        {"one byte short, copied without its seal", bytes.size() - 1, false, 3},
        {"right after a type token, without its seal", thirdRecord + 9, false, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* name : {"a", "b", "c", "d"}) {
            std::filesystem::remove(dir / ("tree/" + std::string(name)));
            dir.writeFile(std::string("tree/") + name + "-new", name);
        }
        const std::string file = c.keepSeal ? *saved : dir / "copy.tshistory";
        if (c.keepSeal) {
            truncateTo(file, c.size);
        } else {
            std::ofstream(file, std::ios::binary) << bytes.substr(0, c.size);
        }
        const auto row = TransformationHistory::readHeader(file);
        ASSERT_TRUE(row.has_value());
        EXPECT_TRUE(row->incomplete);
        EXPECT_EQ(row->doneCount, static_cast<std::int64_t>(c.wholeRecords));

        const auto loaded = HistoryFile::load(file);
        ASSERT_TRUE(loaded.ok()) << loaded.error().message;
        EXPECT_TRUE(loaded->incomplete);
        EXPECT_EQ(loaded->entry.records,
            std::vector<HistoryRecord>(entry.records.begin(), entry.records.begin() + static_cast<std::ptrdiff_t>(c.wholeRecords)));
        const auto undone = HistoryUndo::undoHistoryEntry(loaded->entry, entry.scanRoot, kAppErrorDomain);
        EXPECT_TRUE(undone.failed.empty());
        EXPECT_EQ(HistoryUndo::resultMessage(undone, loaded->incomplete),
            "Undo: " + std::to_string(c.wholeRecords)
                + " items restored. The history file is incomplete: renames after its last whole record are unknown and "
                  "were not undone");
        for (std::size_t i = 0; i < 4; ++i) {
            const std::string name = entry.records[i].originalRelativePath;
            EXPECT_EQ(present(dir / ("tree/" + name)), i < c.wholeRecords) << name;
        }
        std::ofstream(*saved, std::ios::binary) << bytes;
    }
    // Damage before the last record is no cut: the file is refused.
    std::string damaged = bytes;
    damaged.replace(damaged.find(std::string("\0F\0", 3)) + 1, 1, "X");
    std::ofstream(dir / "damaged.tshistory", std::ios::binary) << damaged.substr(0, damaged.size() - 1);
    EXPECT_FALSE(HistoryFile::load(dir / "damaged.tshistory").ok());
}

// A journal whose batch stopped after announcing a step: the step is
// checked against the disk once, and the answer is written into the
// journal, so a later change of the disk (an undo) does not change it.
TEST(HistoryJournal, AJournalLeftBehindIsSettledOnceAgainstTheDisk)
{
    struct Case {
        const char* name;
        bool lastStepTaken;
        std::int64_t done;
    };
    for (const Case& c : {Case {"announced, never taken", false, 1}, Case {"taken, not followed by another record", true, 2}}) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.writeFile("tree/a-new", "a");
        dir.writeFile("tree/b", "b");
        HistoryEntry header;
        header.timestamp = test::utcTime(2025, 3, 5, 14, 7, 9);
        header.scanRoot = dir / "tree";
        auto journal = HistoryJournal::begin(header, dir / "history");
        ASSERT_TRUE(journal.ok());
        ASSERT_TRUE((*journal)->willDo(Step::moveFile, "a", "a-new").ok());
        ASSERT_TRUE((*journal)->willDo(Step::moveFile, "b", "b-new").ok());
        if (c.lastStepTaken) {
            ASSERT_EQ(::rename((dir / "tree/b").c_str(), (dir / "tree/b-new").c_str()), 0);
        }
        const std::string path = (*journal)->path();
        const std::size_t written = fileBytes(path).size();
        journal = Error {};  // killed

        const auto listed = TransformationHistory::listHistories(dir / "history");
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_EQ(listed[0].doneCount, c.done);
        EXPECT_GT(fileBytes(path).size(), written);  // settled in the file
        const std::string settled = fileBytes(path);

        // The disk changes (the steps are undone by hand): the count stays.
        ::rename((dir / "tree/a-new").c_str(), (dir / "tree/a").c_str());
        ::rename((dir / "tree/b-new").c_str(), (dir / "tree/b").c_str());
        const auto again = HistoryFile::load(path);
        ASSERT_TRUE(again.ok());
        EXPECT_EQ(TransformationHistory::doneCount(again->entry), c.done);
        EXPECT_EQ(fileBytes(path), settled);
    }
}

// An undo's file counts what the undo restored, the folders it made again
// included, as its message does; stored metadata (what merges moved along)
// never counts.
TEST(HistoryFormat, AnUndoCountsWhatItRestoredAndTheFoldersItMadeAgain)
{
    HistoryEntry undo;
    undo.timestamp = test::utcTime(2025, 3, 5, 14, 7, 9);
    undo.scanRoot = "/data/Photos";
    undo.operation = HistoryOperation::undo;
    undo.parentHistoryID = "2025-03-05_140700_Photos";
    undo.records = {record("a-new", "a", Type::file), record("d-new", "d", Type::directory),
        record("c-new", "", Type::file, Status_::fail, "Not restored"), record("gone", "", Type::createdDirectory),
        record("There/x", "Into/x", Type::storedMetadata)};
    EXPECT_EQ(TransformationHistory::doneCount(undo), 3);
    TempDir dir;
    ASSERT_TRUE(TransformationHistory::save(undo, dir.path()).ok());
    const auto listed = TransformationHistory::listHistories(dir.path());
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].doneCount, 3);

    // In a rename batch a created folder is not what the batch did.
    HistoryEntry rename = undo;
    rename.operation = HistoryOperation::rename;
    EXPECT_EQ(TransformationHistory::doneCount(rename), 2);
}

}  // namespace
}  // namespace tess
