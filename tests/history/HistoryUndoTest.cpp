#include "FaultyFileSystem.h"
#include "HistoryTestSupport.h"
#include "TempDir.h"

#include "history/HistoryUndo.h"
#include "history/TransformationHistory.h"
#include "rename/SourceFileRenamer.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace tess {
namespace {

using test::fileBytes;
using test::record;
using Type = HistoryRecordType;
using Status_ = HistoryRecordStatus;

using Snapshot = test::TreeSnapshot;

Snapshot snapshot(const std::string& root)
{
    return test::snapshotTree(root);
}

// Records a batch the way the rename workflow does: the moved pairs, the
// failures, the removed folders (the renamer's merged sources, then the
// clean-up's) and the created folders.
std::vector<HistoryRecord> recordBatch(const std::vector<RenameInstruction>& instructions,
    const SourceFileRenamer::RenameBatchResult& batch, const std::vector<std::string>& cleanedUp)
{
    const auto lookup = [&](const std::string& path) -> const RenameInstruction* {
        for (const auto& instruction : instructions) {
            if (instruction.currentRelativePath == path)
                return &instruction;
        }
        return nullptr;
    };
    std::vector<HistoryRecord> records;
    for (const auto& moved : batch.renamed) {
        const RenameInstruction* instruction = lookup(moved.original);
        records.push_back(record(moved.original, moved.newPath, instruction && instruction->isDirectory ? Type::directory : Type::file));
    }
    for (const auto& failure : batch.failed) {
        const RenameInstruction* instruction = lookup(failure.path);
        records.push_back(record(failure.path, instruction ? instruction->targetRelativePath : failure.path,
            instruction && instruction->isDirectory ? Type::directory : Type::file, Status_::fail, failure.error.message));
    }
    for (const auto& merged : batch.mergedDirectories)
        records.push_back(record(merged, "", Type::removedDirectory));
    for (const auto& removed : cleanedUp)
        records.push_back(record(removed, "", Type::removedDirectory));
    for (const auto& created : batch.createdDirectories)
        records.push_back(record(created, "", Type::createdDirectory));
    return records;
}

TEST(HistoryUndo, RestoresARecordedBatchExactlyAndASecondUndoChangesNothing)
{
    test::TempDir tree;
    test::TempDir historyFolder;
    const std::string root = tree.path();
    tree.writeFile("Old/f1", "one");
    tree.writeFile("Old/g", "gee");
    tree.writeFile("A/B/x.txt", "x");
    tree.writeFile("A/B/keep.txt", "keep");
    tree.writeFile("A/top.txt", "top");
    tree.writeFile("C/D/w.txt", "w");
    tree.writeFile("E/e.txt", "e");
    tree.writeFile("Deep/Sub/z.txt", "z");
    tree.writeFile("bad\xff.txt", "raw bytes");
    tree.writeFile("loose.txt", "loose");
    tree.writeFile(".hidden", "h");
    const Snapshot before = snapshot(root);

    const std::vector<RenameInstruction> instructions = {
        {"Old", "New", true},  // merged into New, which the file move creates
        {"Old/f1", "New/f2", false},
        {"A", "A2", true},  // nested folder renames with a file inside
        {"A/B", "A2/B2", true},
        {"A/B/x.txt", "A2/B2/x2.txt", false},
        {"C", "C2", true},  // nested folder renames, nothing inside renamed
        {"C/D", "C2/D2", true},
        {"E", "E2", true},  // a plain folder rename
        {"Deep/Sub/z.txt", "Deep_Sub_z.txt", false},  // flattened; its folders are cleaned up
        {"bad\xff.txt", "bad_.txt", false},
        {"loose.txt", "Made/loose.txt", false},  // moved into a created folder
        {"ghost.txt", "ghost2.txt", false},  // fails: nothing to move
    };
    const auto batch = SourceFileRenamer::renameFiles(instructions, root, kAppErrorDomain);
    ASSERT_EQ(batch.failed.size(), 1u);
    EXPECT_FALSE(batch.createdDirectories.empty());
    EXPECT_FALSE(batch.mergedDirectories.empty());
    const auto cleanup = SourceFileRenamer::cleanupEmptyDirectories(root + "/Deep", root);
    std::vector<std::string> cleanedUp;
    for (const auto& removed : cleanup.removedDirectories)
        cleanedUp.push_back(removed.substr(root.size() + 1));
    ASSERT_EQ(cleanedUp.size(), 2u);

    HistoryEntry entry;
    entry.timestamp = std::chrono::system_clock::now();
    entry.scanRoot = root;
    entry.records = recordBatch(instructions, batch, cleanedUp);
    std::map<std::string, int> kinds;
    for (const HistoryRecord& r : entry.records)
        ++kinds[std::string(rawValue(r.type)) + "/" + std::string(rawValue(r.status))];
    // Every kind of record the rename workflow writes takes part.
    EXPECT_EQ(kinds, (std::map<std::string, int> {{"F/ok", 5}, {"F/fail", 1}, {"D/ok", 2}, {"RD/ok", 6}, {"CD/ok", 5}}));
    const auto saved = TransformationHistory::save(entry, historyFolder.path());
    ASSERT_TRUE(saved.ok()) << saved.error().message;
    ASSERT_NE(snapshot(root), before);

    // Read back from disk, as the undo workflow does.
    const std::string bytes = fileBytes(*saved);
    const Result<HistoryEntry> parsed = TransformationHistory::parse(bytes);
    ASSERT_TRUE(parsed.ok()) << parsed.error().message;
    EXPECT_EQ(parsed->records, entry.records);

    const auto undone = HistoryUndo::undoHistoryEntry(*parsed, root, kAppErrorDomain);
    for (const auto& failure : undone.failed)
        ADD_FAILURE() << failure.path << ": " << failure.error.message;
    EXPECT_EQ(undone.renamed.size(), batch.renamed.size());
    EXPECT_EQ(snapshot(root), before);

    EXPECT_EQ(HistoryUndo::restoredCount(undone), batch.renamed.size() + undone.recreatedDirectories.size());
    EXPECT_EQ(HistoryUndo::resultMessage(undone),
        "Undo complete: " + std::to_string(HistoryUndo::restoredCount(undone)) + " items restored");

    // Everything is back already: nothing is restored, nothing fails, and
    // the message says so instead of counting the records.
    const auto again = HistoryUndo::undoHistoryEntry(*parsed, root, kAppErrorDomain);
    EXPECT_TRUE(again.renamed.empty());
    EXPECT_TRUE(again.failed.empty());
    EXPECT_EQ(again.alreadyInPlace, batch.renamed.size());
    EXPECT_TRUE(again.recreatedDirectories.empty());
    EXPECT_EQ(HistoryUndo::resultMessage(again), "Undo: nothing restored — every item is already at its original name");
    EXPECT_EQ(snapshot(root), before);
}

TEST(HistoryUndo, UnsafePathsInAnEditedFileAreRefusedAndNothingIsTouched)
{
    test::TempDir outer;
    const std::string root = outer / "root";
    outer.writeFile("root/x", "inside");
    outer.writeFile("root/n/keep", "k");
    outer.writeFile("outside", "must stay");
    outer.makeDir("victim");
    const Snapshot before = snapshot(outer.path());

    const struct {
        const char* name;
        HistoryRecord bad;
    } cases[] = {
        {"parent in final path", record("outside-again", "../outside", Type::file)},
        {"parent as whole path", record("..", "", Type::createdDirectory)},
        {"absolute path", record("stolen", outer / "outside", Type::file)},
        {"absolute folder", record(outer / "victim", "", Type::createdDirectory)},
        {"dot component", record("a/./b", "x", Type::directory)},
        {"empty component", record("n//keep", "y", Type::file)},
        {"empty path", record("", "x", Type::file)},
        {"removed dir outside", record("../made-by-undo", "", Type::removedDirectory)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HistoryEntry entry;
        entry.scanRoot = root;
        // A harmless record first: it must not be carried out either.
        entry.records = {record("y", "x", Type::file), record("n", "", Type::createdDirectory), c.bad};
        const Result<HistoryEntry> parsed = TransformationHistory::parse(TransformationHistory::serialize(entry));
        ASSERT_TRUE(parsed.ok());

        const test::LogCapture log;
        const auto result = HistoryUndo::undoHistoryEntry(*parsed, root, kAppErrorDomain);
        EXPECT_TRUE(log.contains("\u274C Undo refused: unsafe path in history entry \u2014 ")) << log.text();
        EXPECT_TRUE(result.renamed.empty());
        ASSERT_EQ(result.failed.size(), 1u);
        EXPECT_NE(result.failed[0].error.message.find("unsafe path"), std::string::npos) << result.failed[0].error.message;
        EXPECT_EQ(snapshot(outer.path()), before);
    }
}

TEST(HistoryUndo, AnEntryOfAnotherScanRootIsRefused)
{
    test::TempDir open;
    test::TempDir other;
    open.writeFile("b", "current");
    other.writeFile("b", "other tree");
    HistoryEntry entry;
    entry.scanRoot = other.path();
    entry.records = {record("a", "b", Type::file)};

    const auto result = HistoryUndo::undoHistoryEntry(entry, open.path(), kAppErrorDomain);
    EXPECT_TRUE(result.renamed.empty());
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_EQ(result.failed[0].error.message,
        "This batch was recorded in another folder (" + other.path() + "). Open that folder as the source, then undo again.");
    EXPECT_TRUE(open.exists("b"));
    EXPECT_TRUE(other.exists("b"));
    EXPECT_FALSE(open.exists("a"));

    // The same folder written differently (trailing slash, symbolic link) is accepted.
    ASSERT_EQ(::symlink(open.path().c_str(), (other / "link").c_str()), 0);
    entry.scanRoot = other / "link";
    const auto viaLink = HistoryUndo::undoHistoryEntry(entry, open.path() + "/", kAppErrorDomain);
    EXPECT_TRUE(viaLink.failed.empty());
    EXPECT_TRUE(open.exists("a"));
}

TEST(HistoryUndo, AnEntryWithoutOkRecordsDoesNothing)
{
    test::TempDir tree;
    tree.writeFile("b", "x");
    HistoryEntry entry;
    entry.scanRoot = tree.path();
    entry.records = {record("a", "b", Type::file, Status_::fail, "no"), record("m", "", Type::storedMetadata),
        record("c", "", Type::createdDirectory, Status_::verifyFail, "?")};
    const Snapshot before = snapshot(tree.path());
    const test::LogCapture log;
    const auto result = HistoryUndo::undoHistoryEntry(entry, tree.path(), kAppErrorDomain);
    EXPECT_TRUE(result.renamed.empty());
    EXPECT_TRUE(result.failed.empty());
    EXPECT_EQ(snapshot(tree.path()), before);
    EXPECT_TRUE(log.contains("Undo complete: 0 reversed, 0 failed")) << log.text();
    EXPECT_FALSE(log.contains("Undo: removed ")) << log.text();
}

TEST(HistoryUndo, CreatedFoldersAreRemovedOnlyWhenNothingButMetadataIsLeft)
{
    test::TempDir tree;
    tree.writeFile("user/notes.txt", "mine");  // unmapped, holds a user file: stays
    tree.writeFile("meta/.DS_Store", "x");  // unmapped, metadata only: goes
    tree.makeDir("empty");  // unmapped and empty: goes
    tree.makeDir("kept");  // an RD folder that exists: left alone
    tree.writeFile("kept/k", "k");
    HistoryEntry entry;
    entry.scanRoot = tree.path();
    entry.records = {
        record("user", "", Type::createdDirectory),
        record("meta", "", Type::createdDirectory),
        record("empty", "", Type::createdDirectory),
        record("gone", "", Type::createdDirectory),  // no longer there: skipped
        record("kept", "", Type::removedDirectory),
    };
    const test::LogCapture log;
    const auto result = HistoryUndo::undoHistoryEntry(entry, tree.path(), kAppErrorDomain);
    // The folder that stays is named, with what it holds: the undo is not complete.
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_EQ(result.failed[0].path, "user");
    EXPECT_EQ(result.failed[0].error.message,
        "Not restored: user, which the rename made, still holds notes.txt; the history does not say where they were before, so they were left there.");
    EXPECT_EQ(HistoryUndo::resultMessage(result), "Undo: 0 restored, 1 failed");
    EXPECT_EQ(fileBytes(tree / "user/notes.txt"), "mine");
    EXPECT_FALSE(tree.exists("meta"));
    EXPECT_FALSE(tree.exists("empty"));
    EXPECT_TRUE(tree.exists("kept/k"));
    EXPECT_TRUE(log.contains("\u274C Undo: no original path mapping for non-empty created directory user\n")) << log.text();
    EXPECT_TRUE(log.contains("Undo: removed created directory meta\n"));
    EXPECT_TRUE(log.contains("Undo: removed created directory empty\n"));
    EXPECT_TRUE(log.contains("Undo: removed 2 directories created during original rename\n"));
    EXPECT_FALSE(log.contains("Undo: recreated directory"));
    EXPECT_FALSE(log.contains("gone"));
}

TEST(HistoryUndo, NothingIsRemovedThroughASymbolicLink)
{
    test::TempDir outer;
    const std::string root = outer / "root";
    outer.makeDir("root");
    outer.writeFile("elsewhere/.DS_Store", "metadata of another tree");
    outer.writeFile("elsewhere/inner/.DS_Store", "metadata of another tree");
    ASSERT_EQ(::symlink((outer / "elsewhere").c_str(), (outer / "root/link").c_str()), 0);

    // "made" maps to "link": merging it back would carry its file out of the tree.
    outer.writeFile("root/made/mine.txt", "stays in the tree");
    const Snapshot before = snapshot(outer.path());

    HistoryEntry entry;
    entry.scanRoot = root;
    entry.records = {record("link/inner", "", Type::createdDirectory), record("link", "", Type::createdDirectory),
        record("link/new", "", Type::removedDirectory), record("link/gone.txt", "made/gone.txt", Type::file),
        record("made", "", Type::createdDirectory)};
    const auto result = HistoryUndo::undoHistoryEntry(entry, root, kAppErrorDomain);
    ASSERT_EQ(result.failed.size(), 2u);
    EXPECT_EQ(result.failed[0].path, "link/new");
    EXPECT_EQ(result.failed[1].path, "made/gone.txt");  // nothing to move back
    EXPECT_EQ(snapshot(outer.path()), before);
}

TEST(HistoryUndo, AFolderThatCannotBeRecreatedIsReported)
{
    test::TempDir tree;
    tree.writeFile("blocker", "a file where a folder should be");
    HistoryEntry entry;
    entry.scanRoot = tree.path();
    entry.records = {record("blocker/sub", "", Type::removedDirectory)};

    const test::LogCapture log;
    const auto plain = HistoryUndo::undoHistoryEntry(entry, tree.path(), kAppErrorDomain);
    ASSERT_EQ(plain.failed.size(), 1u);
    EXPECT_EQ(plain.failed[0].path, "blocker/sub");
    EXPECT_EQ(plain.failed[0].error, (Error {kAppErrorDomain, -1, "Failed to recreate directory: Not a directory"}));

    std::vector<std::string> asked;
    const auto refused = HistoryUndo::undoHistoryEntry(entry, tree.path(), kAppErrorDomain, {},
        [&](const std::string& path) {
            asked.push_back(path);
            return SourceFileRenamer::PrivilegedReply {false, "helper said no"};
        });
    EXPECT_EQ(asked, std::vector<std::string> {tree / "blocker/sub"});
    ASSERT_EQ(refused.failed.size(), 1u);
    EXPECT_EQ(refused.failed[0].error.message, "Failed to recreate directory: helper said no");
    EXPECT_TRUE(log.contains("\u274C Undo: failed to recreate directory \u2014 " + (tree / "blocker/sub") + ": Not a directory\n")) << log.text();
    EXPECT_TRUE(log.contains("\u274C Undo: failed to recreate directory (privileged) \u2014 " + (tree / "blocker/sub") + ": helper said no\n"));

    const auto helped = HistoryUndo::undoHistoryEntry(entry, tree.path(), kAppErrorDomain, {},
        [](const std::string&) { return SourceFileRenamer::PrivilegedReply {true, ""}; });
    EXPECT_TRUE(helped.failed.empty());
}

TEST(HistoryUndo, TheHelperIsNeverAskedToCreateAFolderThroughALinkLeadingOutside)
{
    test::TempDir outer;
    const std::string root = outer / "root";
    outer.makeDir("root");
    outer.makeDir("elsewhere");
    ASSERT_EQ(::symlink((outer / "elsewhere").c_str(), (outer / "root/link").c_str()), 0);
    ASSERT_EQ(::symlink((outer / "nowhere").c_str(), (outer / "root/dangling").c_str()), 0);
    HistoryEntry entry;
    entry.scanRoot = root;
    entry.records = {record("link/new", "", Type::removedDirectory), record("dangling/new", "", Type::removedDirectory)};

    std::vector<std::string> asked;
    const auto result = HistoryUndo::undoHistoryEntry(entry, root, kAppErrorDomain, {}, [&](const std::string& path) {
        asked.push_back(path);
        std::error_code ignored;
        std::filesystem::create_directories(path, ignored);  // what the daemon would do
        return SourceFileRenamer::PrivilegedReply {true, ""};
    });
    EXPECT_TRUE(asked.empty());
    EXPECT_FALSE(outer.exists("elsewhere/new"));
    EXPECT_FALSE(outer.exists("nowhere"));
    ASSERT_EQ(result.failed.size(), 2u);
    EXPECT_EQ(result.failed[0].path, "link/new");
    EXPECT_EQ(result.failed[0].error.message, "Failed to recreate directory: Not a directory");
    EXPECT_EQ(result.failed[1].path, "dangling/new");
}

TEST(HistoryUndo, AFolderTheHelperMadeDespiteATimeOutIsNotReportedAsFailed)
{
    test::TempDir tree;
    tree.writeFile("blocker", "a file where a folder should be");
    HistoryEntry entry;
    entry.scanRoot = tree.path();
    entry.records = {record("blocker", "", Type::removedDirectory)};
    const auto result = HistoryUndo::undoHistoryEntry(entry, tree / "", kAppErrorDomain, {}, [&](const std::string&) {
        return SourceFileRenamer::PrivilegedReply {false, "timed out"};
    });
    // "blocker" exists (as a file): nothing to recreate, nothing asked.
    EXPECT_TRUE(result.failed.empty());

    entry.records = {record("late/sub", "", Type::removedDirectory)};
    tree.writeFile("late", "a file in the way for the plain attempt");
    const auto late = HistoryUndo::undoHistoryEntry(entry, tree.path(), kAppErrorDomain, {}, [&](const std::string& path) {
        // The helper clears the way and makes the folder, but its answer comes too late.
        std::filesystem::remove(tree / "late");
        std::filesystem::create_directories(path);
        return SourceFileRenamer::PrivilegedReply {false, "timed out"};
    });
    EXPECT_TRUE(late.failed.empty());
    EXPECT_TRUE(tree.exists("late/sub"));
}

TEST(HistoryUndo, ACreatedFolderIsMergedBackIntoItsFormerFolder)
{
    // The run gave X the name Y by creating Y and moving X's file into it;
    // something new landed in Y since.
    test::TempDir tree;
    tree.makeDir("X");
    tree.writeFile("Y/f", "f");
    tree.writeFile("Y/later.txt", "added after the run");
    HistoryEntry entry;
    entry.scanRoot = tree.path();
    entry.records = {
        record("X/f", "Y/f", Type::file),
        record("Y", "", Type::createdDirectory),
    };
    const test::LogCapture log;
    const auto result = HistoryUndo::undoHistoryEntry(entry, tree.path(), kAppErrorDomain);
    EXPECT_TRUE(result.failed.empty());
    ASSERT_EQ(result.renamed.size(), 1u);
    EXPECT_EQ(result.renamed[0].original, "Y/f");
    EXPECT_EQ(result.renamed[0].newPath, "X/f");
    EXPECT_EQ(fileBytes(tree / "X/f"), "f");
    EXPECT_EQ(fileBytes(tree / "X/later.txt"), "added after the run");
    EXPECT_FALSE(tree.exists("Y"));
    EXPECT_TRUE(log.contains("Undo: merged remaining contents and removed created directory Y\n")) << log.text();
    EXPECT_TRUE(log.contains("Undo: removed 1 directories created during original rename\n"));
    EXPECT_TRUE(log.contains("Undo complete: 1 reversed, 0 failed\n"));
}

}  // namespace
}  // namespace tess

namespace tess {
namespace {

using test::fileBytes;
using test::record;
using Type = HistoryRecordType;
using Status_ = HistoryRecordStatus;

// The records the rename workflow writes for `batch`, its merges included.
std::vector<HistoryRecord> recordWithMerges(const std::vector<RenameInstruction>& instructions,
    const SourceFileRenamer::RenameBatchResult& batch)
{
    std::vector<HistoryRecord> records = recordBatch(instructions, batch, {});
    for (const auto& item : batch.mergedItems) {
        if (!item.intoCreatedFolder && item.to.empty())
            records.push_back(record(item.from, "", Type::removedDirectory));
        else if (!item.intoCreatedFolder)
            records.push_back(record(item.from, item.to, Type::storedMetadata));
    }
    return records;
}

// A folder merged into one that was there before: what the merge moved
// along (items the batch never listed) goes back with it; what cannot go
// back is named and the undo is not called complete.
TEST(HistoryUndo, WhatAMergeMovedAlongIsPutBackOrNamed)
{
    for (const bool blocked : {false, true}) {
        SCOPED_TRACE(blocked ? "one item cannot go back" : "everything goes back");
        test::TempDir tree;
        const std::string root = tree.path();
        tree.writeFile("Old/listed", "l");
        tree.writeFile("Old/arrived after the scan", "a");
        tree.writeFile("Old/excluded.tmp", "t");
        tree.writeFile("Old/sub/inner", "i");
        tree.writeFile("New/theirs", "theirs");
        tree.writeFile("New/sub/their inner", "ti");
        ::chmod((tree / "Old").c_str(), 0755);
        ::chmod((tree / "Old/sub").c_str(), 0755);
        const Snapshot before = snapshot(root);
        const std::vector<RenameInstruction> instructions {{"Old", "New", true}, {"Old/listed", "New/listed", false}};
        const auto batch = SourceFileRenamer::renameFiles(instructions, root, kAppErrorDomain);
        ASSERT_TRUE(batch.failed.empty());
        ASSERT_FALSE(tree.exists("Old"));
        HistoryEntry entry;
        entry.scanRoot = root;
        entry.records = recordWithMerges(instructions, batch);
        // The row counts what the batch listed: the file and the two folders it removed.
        EXPECT_EQ(TransformationHistory::doneCount(entry), 3);

        test::FaultyFileSystem fs;
        if (blocked)
            fs.fail(test::FaultyFileSystem::Op::rename, "/New/excluded.tmp", EIO);
        const auto undone = HistoryUndo::undoHistoryEntry(entry, root, kAppErrorDomain, {}, {}, fs);
        EXPECT_EQ(HistoryUndo::restoredCount(undone), 3u);
        if (!blocked) {
            EXPECT_TRUE(undone.failed.empty());
            EXPECT_EQ(HistoryUndo::resultMessage(undone), "Undo complete: 3 items restored");
            EXPECT_EQ(snapshot(root), before);
            continue;
        }
        ASSERT_EQ(undone.failed.size(), 1u);
        EXPECT_EQ(undone.failed[0].path, "New/excluded.tmp");
        EXPECT_EQ(HistoryUndo::resultMessage(undone), "Undo: 3 restored, 1 failed");
        EXPECT_EQ(fileBytes(tree / "New/excluded.tmp"), "t");
        EXPECT_EQ(fileBytes(tree / "Old/arrived after the scan"), "a");
        EXPECT_EQ(fileBytes(tree / "Old/sub/inner"), "i");
    }
}

// A merge into a folder that was there before moved items along, but the
// merged folder itself could not be removed: the undo moves those items back
// and must not say that nothing was restored.
TEST(HistoryUndo, ItemsAMergeMovedBackAreNotCalledAlreadyInPlace)
{
    test::TempDir tree;
    const std::string root = tree.path();
    tree.writeFile("Old/arrived after the scan", "a");
    tree.writeFile("New/theirs", "theirs");
    const Snapshot before = snapshot(root);
    const std::vector<RenameInstruction> instructions {{"Old", "New", true}};
    test::FaultyFileSystem renaming;
    renaming.fail(test::FaultyFileSystem::Op::rmdir, "/Old", EACCES);
    const auto batch = SourceFileRenamer::renameFiles(instructions, root, kAppErrorDomain, {}, {}, renaming);
    ASSERT_EQ(batch.failed.size(), 1u);
    ASSERT_EQ(fileBytes(tree / "New/arrived after the scan"), "a");
    HistoryEntry entry;
    entry.scanRoot = root;
    entry.records = recordWithMerges(instructions, batch);

    const auto undone = HistoryUndo::undoHistoryEntry(entry, root, kAppErrorDomain);
    EXPECT_TRUE(undone.failed.empty());
    EXPECT_EQ(undone.mergeRestored.size(), 1u);
    EXPECT_EQ(snapshot(root), before);
    EXPECT_EQ(HistoryUndo::resultMessage(undone), "Undo complete: 1 item a folder merge had moved put back");
}

// The batch's verification found another item at the new name: the undo
// leaves it where it is and names it; the other renames are undone.
TEST(HistoryUndo, AnItemFoundReplacedAtItsNewNameIsNeverMovedBack)
{
    test::TempDir tree;
    const std::string root = tree.path();
    tree.writeFile("a", "the renamed item");
    tree.writeFile("c", "c");
    const std::vector<RenameInstruction> instructions {{"a", "b", false}, {"c", "d", false}};
    const auto batch = SourceFileRenamer::renameFiles(instructions, root, kAppErrorDomain);
    ASSERT_EQ(batch.renamed.size(), 2u);
    // Another program moves the item away and puts another under its name.
    ASSERT_EQ(::rename((tree / "b").c_str(), (tree / "moved away").c_str()), 0);
    tree.writeFile("b", "another item");
    const auto failed = SourceFileRenamer::verifyBatch(instructions, root, batch);
    ASSERT_EQ(failed.size(), 1u);

    HistoryEntry entry;
    entry.scanRoot = root;
    entry.records = recordBatch(instructions, batch, {});
    entry.records.push_back(record("a", "b", Type::file, Status_::verifyFail, failed[0].detail));
    const test::LogCapture log;
    const auto undone = HistoryUndo::undoHistoryEntry(entry, root, kAppErrorDomain);
    ASSERT_EQ(undone.failed.size(), 1u);
    EXPECT_EQ(undone.failed[0].path, "b");
    EXPECT_EQ(undone.failed[0].error.message,
        "Not restored: the item at b is not the one this rename moved there (the rename's verification found it "
        "replaced), so it was left in place.");
    EXPECT_EQ(undone.leftInPlace, (std::set<std::string> {"b"}));
    EXPECT_EQ(HistoryUndo::resultMessage(undone), "Undo: 1 restored, 1 failed");
    EXPECT_EQ(fileBytes(tree / "b"), "another item");
    EXPECT_FALSE(tree.exists("a"));
    EXPECT_EQ(fileBytes(tree / "moved away"), "the renamed item");
    EXPECT_EQ(fileBytes(tree / "c"), "c");
    EXPECT_TRUE(log.contains("❌ Undo: b left in place — the item there is not the one the batch renamed")) << log.text();
}

// A merge moved "v " whole, under its old name, into the renamed "u" after
// its file x.txt had been renamed out of it; this user may not move "w "
// into another folder. The undo moves "v " back whole before x.txt's move
// back makes "u /v " again, so nothing inside it has to change folders.
TEST(HistoryUndo, AFolderAMergeMovedWholeGoesBackWholeBeforeTheRenamedItems)
{
    test::TempDir tree;
    tree.writeFile("u/v/x.txt", "x");
    tree.writeFile("u/v /w /f", "f");
    HistoryEntry entry;
    entry.scanRoot = tree.path();
    entry.records = {
        record("u /v /x.txt", "u/v/x.txt", Type::file),
        record("u ", "", Type::removedDirectory),
        record("u", "", Type::createdDirectory),
        record("u/v", "", Type::createdDirectory),
        record("u /v ", "u/v ", Type::storedMetadata),
    };
    test::FaultyFileSystem fs;
    fs.fail(test::FaultyFileSystem::Op::rename, "/u/v /w ", EACCES);
    const auto undone = HistoryUndo::undoHistoryEntry(entry, tree.path(), kAppErrorDomain, {}, {}, fs);
    EXPECT_TRUE(undone.failed.empty()) << undone.failed[0].error.message;
    EXPECT_EQ(HistoryUndo::resultMessage(undone), "Undo complete: 2 items restored");
    EXPECT_EQ(fileBytes(tree / "u /v /x.txt"), "x");
    EXPECT_EQ(fileBytes(tree / "u /v /w /f"), "f");
    EXPECT_FALSE(tree.exists("u"));
}

// The same, when a folder the batch removed lies inside the folder moved
// whole: making it again would make that folder's former path first, so the
// folder goes back before it.
TEST(HistoryUndo, AFolderAMergeMovedWholeGoesBackBeforeAFolderInsideItIsMadeAgain)
{
    test::TempDir tree;
    tree.writeFile("A/b/r/x", "x");
    tree.writeFile("A/B/d/y", "y");
    HistoryEntry entry;
    entry.scanRoot = tree.path();
    entry.records = {
        record("a/b/d/y", "A/B/d/y", Type::file),
        record("a/b/d", "", Type::removedDirectory),
        record("a", "", Type::removedDirectory),
        record("A", "", Type::createdDirectory),
        record("A/B", "", Type::createdDirectory),
        record("A/B/d", "", Type::createdDirectory),
        record("a/b", "A/b", Type::storedMetadata),
    };
    test::FaultyFileSystem fs;
    fs.fail(test::FaultyFileSystem::Op::rename, "/A/b/r", EACCES);  // r may not change folders
    const auto undone = HistoryUndo::undoHistoryEntry(entry, tree.path(), kAppErrorDomain, {}, {}, fs);
    EXPECT_TRUE(undone.failed.empty()) << undone.failed[0].error.message;
    EXPECT_EQ(fileBytes(tree / "a/b/r/x"), "x");
    EXPECT_EQ(fileBytes(tree / "a/b/d/y"), "y");
    EXPECT_FALSE(tree.exists("A"));
}

// What the undo may not do itself, the helper does: it moves back what was
// left in a created folder and removes that folder. Where the helper
// refuses, the failure names its reply.
TEST(HistoryUndo, TheHelperMovesBackAndRemovesWhatThisProcessMayNot)
{
    const std::string refusal = "Not authorized: the system's policy does not allow this operation";
    const struct {
        const char* name;
        test::FaultyFileSystem::Op op;  // what this process may not do
        std::string suffix;
        bool helperRefuses;
        std::string failure;  // empty: the undo is complete
    } cases[] = {
        {"the helper moves the item back", test::FaultyFileSystem::Op::rename, "/Y/later.txt", false, ""},
        {"the helper removes the folder", test::FaultyFileSystem::Op::rmdir, "/Y", false, ""},
        {"the helper refuses the move", test::FaultyFileSystem::Op::rename, "/Y/later.txt", true,
            "Not restored: items left in Y could not be moved back into X (later.txt: " + refusal + ")."},
        {"the helper refuses the removal", test::FaultyFileSystem::Op::rmdir, "/Y", true,
            "Not removed: Y, which the rename made, could not be removed (" + refusal + ")."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir tree;
        tree.makeDir("X");
        tree.writeFile("Y/f", "f");
        tree.writeFile("Y/later.txt", "added after the rename");
        HistoryEntry entry;
        entry.scanRoot = tree.path();
        entry.records = {record("X/f", "Y/f", Type::file), record("Y", "", Type::createdDirectory)};
        test::FaultyFileSystem fs;
        fs.fail(c.op, c.suffix, EACCES);
        int asked = 0;
        SourceFileRenamer::PrivilegedCalls calls;
        calls.rename = [&](const std::string& from, const std::string& to) {
            ++asked;
            return c.helperRefuses ? SourceFileRenamer::PrivilegedReply {false, refusal, true}
                                   : SourceFileRenamer::PrivilegedReply {std::rename(from.c_str(), to.c_str()) == 0, ""};
        };
        calls.removeDirectory = [&](const std::string& path) {
            ++asked;
            return c.helperRefuses ? SourceFileRenamer::PrivilegedReply {false, refusal, true}
                                   : SourceFileRenamer::PrivilegedReply {::rmdir(path.c_str()) == 0, ""};
        };
        const auto undone = HistoryUndo::undoHistoryEntry(entry, tree.path(), kAppErrorDomain, calls, fs);
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(fileBytes(tree / "X/f"), "f");
        if (c.failure.empty()) {
            EXPECT_TRUE(undone.failed.empty());
            EXPECT_EQ(HistoryUndo::resultMessage(undone), "Undo complete: 1 item restored");
            EXPECT_EQ(fileBytes(tree / "X/later.txt"), "added after the rename");
            EXPECT_FALSE(tree.exists("Y"));
            continue;
        }
        ASSERT_EQ(undone.failed.size(), 1u);
        EXPECT_EQ(undone.failed[0].path, "Y");
        EXPECT_EQ(undone.failed[0].error.message, c.failure);
        EXPECT_EQ(HistoryUndo::resultMessage(undone), "Undo: 1 restored, 1 failed");
        EXPECT_TRUE(tree.exists("Y"));
    }
}

// An undo that could not remove a folder the batch created says so; a
// second undo that only finds that folder to remove says what it did.
TEST(HistoryUndo, ASecondUndoSaysWhichCreatedFoldersItRemoved)
{
    test::TempDir tree;
    tree.writeFile("made/a", "a");
    HistoryEntry entry;
    entry.scanRoot = tree.path();
    entry.records = {record("a", "made/a", Type::file), record("made", "", Type::createdDirectory)};
    test::FaultyFileSystem busy;
    busy.fail(test::FaultyFileSystem::Op::rmdir, "/made", EBUSY, 1);
    const auto first = HistoryUndo::undoHistoryEntry(entry, tree.path(), kAppErrorDomain, {}, {}, busy);
    EXPECT_EQ(HistoryUndo::resultMessage(first), "Undo: 1 restored, 1 failed");
    ASSERT_EQ(first.failed.size(), 1u);
    EXPECT_EQ(first.failed[0].error.message, "Not removed: made, which the rename made, could not be removed (Device or resource busy).");
    ASSERT_TRUE(tree.exists("made"));

    const auto second = HistoryUndo::undoHistoryEntry(entry, tree.path(), kAppErrorDomain);
    EXPECT_EQ(second.removedCreatedDirectories, 1u);
    EXPECT_EQ(HistoryUndo::resultMessage(second),
        "Undo: nothing restored — every item is already at its original name; removed 1 empty folder the rename had created");
    EXPECT_FALSE(tree.exists("made"));
}

}  // namespace
}  // namespace tess
