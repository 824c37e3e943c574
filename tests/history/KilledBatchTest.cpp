#include "HistoryTestSupport.h"
#include "TempDir.h"

#include "history/HistoryFile.h"
#include "history/HistoryUndo.h"
#include "history/TransformationHistory.h"
#include "report/RenameReport.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <random>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tess {
namespace {

using test::fileBytes;
using test::TempDir;

using Tree = test::TreeSnapshot;

Tree treeOf(const std::string& root)
{
    return test::snapshotTree(root, true);
}

constexpr int kFolders = 24;
constexpr int kFilesPerFolder = 40;

// Folders 0-5 are renamed whole; in folders 6-11 files are renamed in
// place; folders 12-23 are renamed while half their files are renamed into
// the new folder too, so the rest is merged after them (the last phase).
void makeTree(const std::string& root, std::vector<RenameInstruction>& instructions)
{
    instructions.clear();
    std::vector<RenameInstruction> folders;
    for (int k = 0; k < kFolders; ++k) {
        const std::string folder = "Dir " + std::to_string(k);
        const std::string renamed = folder + " (new)";
        ASSERT_EQ(::mkdir((root + "/" + folder).c_str(), 0700), 0);
        for (int j = 0; j < kFilesPerFolder; ++j) {
            const std::string name = "f:" + std::to_string(j) + ".txt";
            const std::string path = root + "/" + folder + "/" + name;
            std::ofstream(path) << folder << "/" << j;
            ::chmod(path.c_str(), j % 2 ? 0640 : 0604);
            const std::string fixed = "f_" + std::to_string(j) + ".txt";
            if (k >= 6 && k < 12) {
                instructions.push_back({folder + "/" + name, folder + "/" + fixed, false});
            } else if (k >= 12 && j % 2 == 0) {
                instructions.push_back({folder + "/" + name, renamed + "/" + fixed, false});
            }
        }
        ::chmod((root + "/" + folder).c_str(), k % 3 ? 0755 : 0750);
        if (k < 6 || k >= 12) {
            folders.push_back({folder, renamed, true});
        }
    }
    instructions.insert(instructions.end(), folders.begin(), folders.end());
}

void writeInstructions(const std::string& path, const std::vector<RenameInstruction>& instructions)
{
    std::ofstream out(path, std::ios::binary);
    for (const RenameInstruction& instruction : instructions) {
        out << instruction.currentRelativePath << '\0' << instruction.targetRelativePath << '\0'
            << (instruction.isDirectory ? "1" : "0") << '\0';
    }
}

struct ChildRun {
    int status = 0;
    std::string output;
};

ChildRun runChild(const std::string& root, const std::string& history, const std::string& instructions, long killAt,
    const std::string& when, const std::string& outputPath)
{
    const std::string killText = std::to_string(killAt);
    const char* argv[] = {HISTORY_BATCH_CHILD, root.c_str(), history.c_str(), instructions.c_str(), killText.c_str(),
        when.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    ChildRun run;
    if (posix_spawn(&pid, HISTORY_BATCH_CHILD, &actions, nullptr, const_cast<char**>(argv), environ) != 0) {
        ADD_FAILURE() << "cannot start " << HISTORY_BATCH_CHILD;
        return run;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::waitpid(pid, &run.status, 0);
    run.output = fileBytes(outputPath);
    return run;
}

// One batch in a child killed at `killAt` (`when`): whatever the history
// lists of it must undo to the original tree.
void killAndUndo(long killAt, const std::string& when)
{
    SCOPED_TRACE("killed at change " + std::to_string(killAt) + " (" + when + ")");
    TempDir dir;
    const std::string root = dir / "tree";
    const std::string history = dir / "history";
    ASSERT_EQ(::mkdir(root.c_str(), 0755), 0);
    std::vector<RenameInstruction> instructions;
    makeTree(root, instructions);
    writeInstructions(dir / "instructions", instructions);
    const Tree before = treeOf(root);

    const ChildRun run = runChild(root, history, dir / "instructions", killAt, when, dir / "output");
    const bool killed = WIFSIGNALED(run.status) && WTERMSIG(run.status) == SIGKILL;
    ASSERT_TRUE(killed || (WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0)) << run.status;

    const auto listed = TransformationHistory::listHistories(history);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].interrupted, killed);
    EXPECT_FALSE(listed[0].incomplete);

    const Result<HistoryFile::Loaded> loaded = HistoryFile::load(listed[0].url);
    ASSERT_TRUE(loaded.ok()) << loaded.error().message;
    EXPECT_EQ(TransformationHistory::doneCount(loaded->entry), listed[0].doneCount);
    const auto undone = HistoryUndo::undoHistoryEntry(loaded->entry, root, kAppErrorDomain);
    for (const auto& failure : undone.failed)
        ADD_FAILURE() << failure.path << ": " << failure.error.message;
    EXPECT_EQ(treeOf(root), before);
}

TEST(KilledBatch, EveryKilledBatchIsListedAndItsUndoRestoresTheTree)
{
    // A whole run first: its number of changes places the kill points.
    TempDir dir;
    const std::string root = dir / "tree";
    ASSERT_EQ(::mkdir(root.c_str(), 0755), 0);
    std::vector<RenameInstruction> instructions;
    makeTree(root, instructions);
    writeInstructions(dir / "instructions", instructions);
    const ChildRun whole = runChild(root, dir / "history", dir / "instructions", -1, "before", dir / "output");
    ASSERT_TRUE(WIFEXITED(whole.status) && WEXITSTATUS(whole.status) == 0) << whole.status;
    const long changes = std::stol(whole.output);
    ASSERT_GT(changes, 600);

    // Before the first change, in the file phase, in the merges at the end,
    // after the last change, after the whole batch, and at seeded points.
    std::vector<std::pair<long, std::string>> points {{0, "before"}, {0, "after"}, {changes / 3, "before"},
        {changes - 30, "before"}, {changes - 7, "after"}, {changes - 1, "after"}, {-1, "end"}, {-1, "before"}};
    std::mt19937 random(20261211);
    for (int i = 0; i < 6; ++i) {
        points.emplace_back(static_cast<long>(random() % static_cast<unsigned long>(changes)), i % 2 ? "after" : "before");
    }
    for (const auto& [killAt, when] : points) {
        killAndUndo(killAt, when);
    }
}

// Every kind of step once: plain renames, a chain of folders made for a
// file, a folder merged into the folder its file was moved to, a folder
// merged into one that was there before (with items the batch does not
// list), and a folder renamed whole.
void makeSmallTree(const std::string& root, std::vector<RenameInstruction>& instructions)
{
    for (const char* folder : {"Old:dir", "There", "Plain"}) {
        ASSERT_EQ(::mkdir((root + "/" + folder).c_str(), 0750), 0);
    }
    // Merged into a folder that was there before, nothing stands in for
    // it: its undo makes it again with the default mode.
    ASSERT_EQ(::mkdir((root + "/Into").c_str(), 0755), 0);
    for (const char* file : {"a:1", "a:2", "f:1", "Old:dir/x", "Old:dir/rest", "Into/listed", "Into/arrived later",
             "Into/excluded.tmp", "There/theirs", "Plain/p"}) {
        std::ofstream(root + "/" + file) << file;
    }
    instructions = {{"a:1", "a_1", false}, {"a:2", "a_2", false}, {"f:1", "new/deep/f_1", false},
        {"Old:dir/x", "Old_dir/x", false}, {"Into/listed", "There/listed", false}, {"Old:dir", "Old_dir", true},
        {"Into", "There", true}, {"Plain", "Plain_", true}};
}

bool exists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// A batch killed between the record of a step and the step: the row, the
// undo alert (which shows the row's count), the report and the undo's result
// count only the steps that reached the disk, and stay so after the undo.
TEST(KilledBatch, AStepRecordedButNeverTakenIsNeverCounted)
{
    TempDir dir;
    const std::string root = dir / "tree";
    ASSERT_EQ(::mkdir(root.c_str(), 0755), 0);
    std::vector<RenameInstruction> instructions;
    makeSmallTree(root, instructions);
    writeInstructions(dir / "instructions", instructions);
    const ChildRun whole = runChild(root, dir / "history", dir / "instructions", -1, "before", dir / "output");
    ASSERT_TRUE(WIFEXITED(whole.status) && WEXITSTATUS(whole.status) == 0) << whole.status;
    const long changes = std::stol(whole.output);
    ASSERT_GE(changes, 10);

    for (long killAt = 0; killAt < changes; ++killAt) {
        SCOPED_TRACE("killed before change " + std::to_string(killAt));
        TempDir run;
        const std::string tree = run / "tree";
        const std::string history = run / "history";
        ASSERT_EQ(::mkdir(tree.c_str(), 0755), 0);
        makeSmallTree(tree, instructions);
        const Tree before = treeOf(tree);
        const ChildRun killed = runChild(tree, history, dir / "instructions", killAt, "before", run / "output");
        ASSERT_TRUE(WIFSIGNALED(killed.status) && WTERMSIG(killed.status) == SIGKILL) << killed.status;

        // What the disk shows: an instruction is done when its source is
        // gone and its target is there (a merged folder is gone too).
        std::int64_t done = 0;
        for (const RenameInstruction& instruction : instructions) {
            done += !exists(tree + "/" + instruction.currentRelativePath) && exists(tree + "/" + instruction.targetRelativePath) ? 1 : 0;
        }
        auto listed = TransformationHistory::listHistories(history);
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_TRUE(listed[0].interrupted);
        EXPECT_EQ(listed[0].doneCount, done);

        const Result<HistoryFile::Loaded> loaded = HistoryFile::load(listed[0].url);
        ASSERT_TRUE(loaded.ok()) << loaded.error().message;
        const RenameReport report = RenameReport::fromHistoryEntry(loaded->entry);
        EXPECT_EQ(static_cast<std::int64_t>(report.renamed.size() + report.removedDirectories.size()), done);

        const HistoryUndo::UndoResult undone = HistoryUndo::undoHistoryEntry(loaded->entry, tree, kAppErrorDomain);
        for (const auto& failure : undone.failed)
            ADD_FAILURE() << failure.path << ": " << failure.error.message;
        EXPECT_EQ(static_cast<std::int64_t>(HistoryUndo::restoredCount(undone)), done);
        if (done > 0) {
            EXPECT_EQ(HistoryUndo::resultMessage(undone),
                "Undo complete: " + std::to_string(done) + (done == 1 ? " item" : " items") + " restored");
        }
        EXPECT_EQ(treeOf(tree), before);

        // Read again after the undo: the same count.
        listed = TransformationHistory::listHistories(history);
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_EQ(listed[0].doneCount, done);
    }
}

}  // namespace
}  // namespace tess
