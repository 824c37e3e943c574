#include "CaseFoldingFileSystem.h"
#include "FaultyFileSystem.h"
#include "RenameTestSupport.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <gmock/gmock.h>
#include <unistd.h>

namespace tess::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using Op = FaultyFileSystem::Op;
using Reply = SourceFileRenamer::PrivilegedReply;
const std::string kDomain = kAppErrorDomain;

class BatchTest : public RenamerTest { };

TEST_F(BatchTest, EmptyBatchReturnsEmptyResultAndLogsNothing)
{
    const auto result = SourceFileRenamer::renameFiles({}, root(), kDomain);
    EXPECT_TRUE(result.renamed.empty());
    EXPECT_TRUE(result.failed.empty());
    EXPECT_TRUE(result.createdDirectories.empty());
    EXPECT_TRUE(result.mergedDirectories.empty());
    EXPECT_TRUE(LogCapture::lines().empty());
}

TEST_F(BatchTest, OccupiedTargetIsNeverReplaced)
{
    write("a.txt", "mine");
    write("b.txt", "theirs");
    const auto result = SourceFileRenamer::renameFiles({file("a.txt", "b.txt")}, root(), kDomain);
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_EQ(result.failed[0].path, "a.txt");
    EXPECT_EQ(result.failed[0].error,
        (Error {kDomain, -1, "Target file already exists at b.txt. Delete or rename the existing file, then retry."}));
    EXPECT_EQ(read("a.txt"), "mine");
    EXPECT_EQ(read("b.txt"), "theirs");
    EXPECT_EQ(LogCapture::find("❌ Rename failed: target file already exists — a.txt → b.txt"), 0);
    EXPECT_EQ(LogCapture::lines()[0].level, "ERROR");
}

TEST_F(BatchTest, MissingParentsAreCreatedAndRecorded)
{
    write("f", "data");
    const auto result = SourceFileRenamer::renameFiles({file("f", "x/y/f")}, root(), kDomain);
    EXPECT_TRUE(result.failed.empty());
    EXPECT_THAT(result.renamed, ElementsAre(SourceFileRenamer::RenamedItem {"f", "x/y/f"}));
    EXPECT_EQ(result.createdDirectories, (std::set<std::string> {"x", "x/y"}));
    EXPECT_EQ(read("x/y/f"), "data");
}

TEST_F(BatchTest, ParentCreationFailureNamesTheTargetsParent)
{
    // Whichever missing folder cannot be made, the failure names the
    // target's parent (y, with its full path in the log) and the reason.
    struct Case {
        std::string failingFolder;
        std::set<std::string> created;
    };
    for (const Case& c : {Case {"/root/x", {}}, Case {"/root/x/y", {"x"}}}) {
        SCOPED_TRACE(c.failingFolder);
        TempDir scratch;
        scratch.writeFile("root/f", "data");
        FaultyFileSystem fs;
        fs.fail(Op::mkdir, c.failingFolder, EACCES);
        LogCapture::clear();
        const auto result = SourceFileRenamer::renameFiles({file("f", "x/y/f")}, scratch / "root", kDomain, {}, {}, fs);
        ASSERT_EQ(result.failed.size(), 1u);
        EXPECT_EQ(result.failed[0].error.message, "Cannot create parent folder y. Check folder permissions and available disk space, then retry. (Permission denied)");
        EXPECT_EQ(result.createdDirectories, c.created);
        EXPECT_TRUE(result.renamed.empty());
        EXPECT_TRUE(scratch.exists("root/f"));
        EXPECT_GE(LogCapture::find("❌ Rename failed: could not create parent directory — " + scratch.path() + "/root/x/y: Permission denied"), 0);
    }
}

TEST_F(BatchTest, PrivilegedFolderCreationIsAskedForTheWholeParent)
{
    write("f", "data");
    FaultyFileSystem fs;
    fs.fail(Op::mkdir, "/root/x", EACCES, 1);
    std::vector<std::string> asked;
    auto create = [&](const std::string& path) {
        asked.push_back(path);
        std::filesystem::create_directories(path);
        return Reply {true, "ok"};
    };
    const auto result = SourceFileRenamer::renameFiles({file("f", "x/y/f")}, root(), kDomain, {}, create, fs);
    EXPECT_THAT(asked, ElementsAre(at("x/y")));
    EXPECT_TRUE(result.failed.empty());
    EXPECT_EQ(result.createdDirectories, (std::set<std::string> {"x", "x/y"}));
    EXPECT_EQ(read("x/y/f"), "data");
}

TEST_F(BatchTest, FailedPrivilegedFolderCreationIsReported)
{
    write("f");
    FaultyFileSystem fs;
    fs.fail(Op::mkdir, "/root/x", EACCES);
    auto create = [](const std::string&) { return Reply {false, "daemon says no"}; };
    const auto result = SourceFileRenamer::renameFiles({file("f", "x/f")}, root(), kDomain, {}, create, fs);
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_EQ(result.failed[0].error.message,
        "Cannot create parent folder x. Check that the volume is writable and not full, then retry. (daemon says no)");
    EXPECT_TRUE(result.createdDirectories.empty());
    EXPECT_GE(LogCapture::find("❌ Rename failed: could not create parent directory (privileged) — " + at("x") + ": daemon says no"), 0);

    // A deeper parent: the daemon is asked for it whole, and the failure names it.
    LogCapture::clear();
    const auto deeper = SourceFileRenamer::renameFiles({file("f", "x/y/f")}, root(), kDomain, {}, create, fs);
    ASSERT_EQ(deeper.failed.size(), 1u);
    EXPECT_EQ(deeper.failed[0].error.message,
        "Cannot create parent folder y. Check that the volume is writable and not full, then retry. (daemon says no)");
    EXPECT_GE(LogCapture::find("❌ Rename failed: could not create parent directory (privileged) — " + at("x/y") + ": daemon says no"), 0);
}

TEST_F(BatchTest, FolderIsMergedIntoTheFolderItsFilesWereMovedTo)
{
    write("Old/f1", "one");
    write("Old/g", "gee");
    const auto result = SourceFileRenamer::renameFiles(
        {folder("Old", "New"), file("Old/f1", "New/f2")}, root(), kDomain);
    EXPECT_TRUE(result.failed.empty());
    EXPECT_THAT(result.renamed, ElementsAre(SourceFileRenamer::RenamedItem {"Old/f1", "New/f2"}));
    EXPECT_THAT(result.mergedDirectories, ElementsAre("Old"));
    EXPECT_EQ(result.createdDirectories, (std::set<std::string> {"New"}));
    EXPECT_FALSE(exists("Old"));
    EXPECT_EQ(read("New/f2"), "one");
    EXPECT_EQ(read("New/g"), "gee");
    EXPECT_GE(LogCapture::find("moveRemainingContents: moved g to target directory"), 0);
    // The merge went into a folder this batch made.
    EXPECT_THAT(result.mergedItems, ElementsAre(SourceFileRenamer::MergedItem {"Old/g", "New/g", true}));
}

TEST_F(BatchTest, MergeIntoAFolderThatWasThereBeforeReportsWhatItMovedAlong)
{
    write("Old/listed", "l");
    write("Old/arrived-after-the-scan", "a");
    write("Old/excluded.tmp", "t");
    write("New/theirs", "t");
    const auto result = SourceFileRenamer::renameFiles({folder("Old", "New"), file("Old/listed", "New/listed")}, root(), kDomain);
    EXPECT_TRUE(result.failed.empty());
    EXPECT_THAT(result.mergedDirectories, ElementsAre("Old"));
    EXPECT_THAT(result.mergedItems,
        ElementsAre(SourceFileRenamer::MergedItem {"Old/arrived-after-the-scan", "New/arrived-after-the-scan", false},
            SourceFileRenamer::MergedItem {"Old/excluded.tmp", "New/excluded.tmp", false}));
}

TEST_F(BatchTest, AMergeStoppedByAnImmutableFolderNamesTheCause)
{
    write("Old/one.txt", "1");
    makeDir("New");
    FaultyFileSystem fs;
    fs.immutableFolders = {at("Old")};
    fs.fail(Op::rename, "/Old/one.txt", EPERM);
    fs.fail(Op::access, "/Old", EPERM);
    const auto result = SourceFileRenamer::renameFiles({folder("Old", "New")}, root(), kDomain, {}, {}, fs);
    ASSERT_EQ(result.failed.size(), 1u);
    const std::string& message = result.failed[0].error.message;
    EXPECT_THAT(message, StartsWith("Could not merge into the existing folder New: one.txt could not be moved (Operation not permitted). "));
    EXPECT_THAT(message, HasSubstr("Source folder Old/ is immutable: its items cannot be added, renamed or removed. Run: chattr -i"));
    EXPECT_THAT(message, ::testing::Not(HasSubstr("conflicting contents")));
    EXPECT_THAT(message, ::testing::Not(HasSubstr("not writable by you")));
    EXPECT_TRUE(exists("Old/one.txt"));
}

TEST_F(BatchTest, MergeConflictListsFiveNamesAndTheRest)
{
    for (const char* name : {"g", "a", "f", "b", "e", "c", "d"})
        write(std::string("Old/") + name, "old");
    write("New/d", "new");
    const auto result = SourceFileRenamer::renameFiles({folder("Old", "New")}, root(), kDomain);
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_EQ(result.failed[0].path, "Old");
    // a, b and c were merged before the conflict on d; they stay merged.
    EXPECT_EQ(result.failed[0].error.message,
        "Both the original and target folder exist with conflicting contents (d, e, f, g). Manually merge or remove the conflicting items, then retry.");
    EXPECT_TRUE(exists("New/a"));
    EXPECT_EQ(read("New/d"), "new");
    EXPECT_EQ(read("Old/d"), "old");
    EXPECT_GE(LogCapture::find("❌ moveRemainingContents: conflict — d exists in both source and target"), 0);
    EXPECT_GE(LogCapture::find("❌ Rename failed: directory conflict, cannot merge — Old contains: [\"d\", \"e\", \"f\", \"g\"]"), 0);
}

TEST_F(BatchTest, MergeConflictWithSevenEntriesLeftSaysTwoMore)
{
    for (const char* name : {"a", "b", "c", "d", "e", "f", "g"})
        write(std::string("Old/") + name, "old");
    write("New/a", "new");
    const auto result = SourceFileRenamer::renameFiles({folder("Old", "New")}, root(), kDomain);
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_EQ(result.failed[0].error.message,
        "Both the original and target folder exist with conflicting contents (a, b, c, d, e and 2 more). Manually merge or remove the conflicting items, then retry.");
    EXPECT_GE(LogCapture::find("contains: [\"a\", \"b\", \"c\", \"d\", \"e\", \"f\", \"g\"]"), 0);
}

TEST_F(BatchTest, FoldersAreProcessedDeepestFirstAndStablyOtherwise)
{
    makeDir("a/b");
    makeDir("c");
    makeDir("d");
    const auto result = SourceFileRenamer::renameFiles(
        {folder("c", "c2"), folder("a", "a2"), folder("d", "d2"), folder("a/b", "a/b2")}, root(), kDomain);
    EXPECT_TRUE(result.failed.empty());
    EXPECT_THAT(originals(result), ElementsAre("a/b", "c", "a", "d"));
    EXPECT_TRUE(exists("a2/b2"));
    EXPECT_TRUE(exists("c2"));
    EXPECT_TRUE(exists("d2"));
}

TEST_F(BatchTest, FolderInstructionOnAFileFails)
{
    write("plain");
    const auto result = SourceFileRenamer::renameFiles({folder("plain", "other")}, root(), kDomain);
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_EQ(result.failed[0].error.message, "Source directory not found at expected location.");
    EXPECT_GE(LogCapture::find("❌ Rename skipped: source directory missing — plain"), 0);
    EXPECT_TRUE(exists("plain"));
}

TEST_F(BatchTest, MissingSourceFileFails)
{
    const auto result = SourceFileRenamer::renameFiles({file("ghost", "other")}, root(), kDomain);
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_EQ(result.failed[0].error.message, "Source file not found at expected location.");
    EXPECT_GE(LogCapture::find("❌ Rename skipped: source file missing — ghost"), 0);
    EXPECT_EQ(result.missingSources, 1u);
    EXPECT_EQ(LogCapture::find("more items"), -1);
}

// A list older than the folder: every item fails, but the log says so once
// (and once more with the count), not thousands of times.
TEST_F(BatchTest, ManyMissingSourcesAreLoggedOnce)
{
    std::vector<RenameInstruction> instructions;
    for (int i = 0; i < 500; ++i)
        instructions.push_back(file("gone " + std::to_string(i), "new " + std::to_string(i)));
    instructions.push_back(folder("gone folder", "new folder"));
    write("present", "p");
    instructions.push_back(file("present", "present-new"));
    const auto result = SourceFileRenamer::renameFiles(instructions, root(), kDomain);
    EXPECT_EQ(result.failed.size(), 501u);
    EXPECT_EQ(result.missingSources, 501u);
    EXPECT_EQ(result.renamed.size(), 1u);
    int skipped = 0;
    for (const auto& line : LogCapture::lines())
        skipped += line.message.find("Rename skipped:") != std::string::npos ? 1 : 0;
    EXPECT_EQ(skipped, 2);
    EXPECT_GE(LogCapture::find("❌ Rename skipped: source file missing — gone 0"), 0);
    EXPECT_GE(LogCapture::find("❌ Rename skipped: source missing for 500 more items (not logged one by one)"), 0);
}

TEST_F(BatchTest, FolderWhoseTargetIsAFileOrALinkIsNotMerged)
{
    write("Old/inside", "keep");
    write("New", "file in the way");
    auto result = SourceFileRenamer::renameFiles({folder("Old", "New")}, root(), kDomain);
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_THAT(result.failed[0].error.message, StartsWith("Target file already exists at New."));

    TempDir elsewhere;
    ASSERT_EQ(::symlink(elsewhere.path().c_str(), at("Linked").c_str()), 0);
    result = SourceFileRenamer::renameFiles({folder("Old", "Linked")}, root(), kDomain);
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_TRUE(exists("Old/inside"));
    EXPECT_FALSE(elsewhere.exists("inside"));
}

TEST_F(BatchTest, CaseOnlyRenameOnACaseSensitiveVolume)
{
    write("readme.txt", "r");
    const auto result = SourceFileRenamer::renameFiles({file("readme.txt", "README.txt")}, root(), kDomain);
    EXPECT_TRUE(result.failed.empty());
    EXPECT_EQ(result.renamed.size(), 1u);
    EXPECT_FALSE(exists("readme.txt"));
    EXPECT_EQ(read("README.txt"), "r");
}

TEST_F(BatchTest, CaseOnlyRenameOnAVolumeThatIgnoresCaseGoesThroughATemporaryName)
{
    write("readme.txt", "r");
    makeDir("docs");
    CaseFoldingFileSystem fs;
    const std::vector<RenameInstruction> batch {file("readme.txt", "README.txt"), folder("docs", "Docs")};
    const auto result = SourceFileRenamer::renameFiles(batch, root(), kDomain, {}, {}, fs);
    EXPECT_TRUE(result.failed.empty());
    EXPECT_EQ(result.renamed.size(), 2u);
    std::vector<FileSystemOps::DirEntry> entries;
    ASSERT_EQ(fs.listDirectory(root(), entries), 0);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "Docs");
    EXPECT_EQ(entries[1].name, "README.txt");
    EXPECT_EQ(read("README.txt"), "r");
    // Both names resolve to the one item, yet the verification is not fooled.
    for (const auto& instruction : batch) {
        EXPECT_EQ(SourceFileRenamer::verifyRename(instruction, root(), fs).status,
            SourceFileRenamer::RenameVerification::VerificationStatus::verified);
    }
}

TEST_F(BatchTest, ItemsOfAFolderWhoseCaseChangesOnAVolumeThatIgnoresCase)
{
    // The folder's new spelling already names it, so its items' targets
    // name the items themselves: they are not "in the way" of themselves.
    write("docs/readme", "r");
    write("docs/a:b", "ab");
    CaseFoldingFileSystem fs;
    const std::vector<RenameInstruction> batch {
        file("docs/readme", "Docs/readme"), file("docs/a:b", "Docs/a_b"), folder("docs", "Docs")};
    const auto result = SourceFileRenamer::renameFiles(batch, root(), kDomain, {}, {}, fs);
    EXPECT_TRUE(result.failed.empty()) << (result.failed.empty() ? "" : result.failed[0].error.message);
    EXPECT_EQ(result.renamed.size(), 3u);
    EXPECT_TRUE(result.createdDirectories.empty());
    EXPECT_TRUE(result.mergedDirectories.empty());
    std::vector<FileSystemOps::DirEntry> entries;
    ASSERT_EQ(PosixFileSystemOps().listDirectory(root(), entries), 0);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "Docs");
    EXPECT_EQ(read("Docs/readme"), "r");
    EXPECT_EQ(read("Docs/a_b"), "ab");
    for (const auto& instruction : batch) {
        SCOPED_TRACE(instruction.targetRelativePath);
        EXPECT_EQ(SourceFileRenamer::verifyRename(instruction, root(), fs).status,
            SourceFileRenamer::RenameVerification::VerificationStatus::verified);
    }
}

TEST_F(BatchTest, ItemsOfAFolderWhoseCaseChangesOnACaseSensitiveVolume)
{
    // Here the new spelling is another folder: created for the files, then
    // the old one is merged into it.
    write("docs/readme", "r");
    write("docs/keep", "k");
    const std::vector<RenameInstruction> batch {file("docs/readme", "Docs/readme"), folder("docs", "Docs")};
    const auto result = SourceFileRenamer::renameFiles(batch, root(), kDomain);
    EXPECT_TRUE(result.failed.empty());
    EXPECT_EQ(originals(result), std::vector<std::string> {"docs/readme"});
    EXPECT_EQ(result.createdDirectories, (std::set<std::string> {"Docs"}));
    EXPECT_EQ(result.mergedDirectories, std::vector<std::string> {"docs"});
    EXPECT_FALSE(exists("docs"));
    EXPECT_EQ(read("Docs/readme"), "r");
    EXPECT_EQ(read("Docs/keep"), "k");
    EXPECT_EQ(SourceFileRenamer::verifyRename(batch[0], root()).status,
        SourceFileRenamer::RenameVerification::VerificationStatus::verified);
}

TEST_F(BatchTest, CaseOnlyRenameThatFailsHalfwayReturnsTheItemToItsName)
{
    write("readme.txt", "r");
    CaseFoldingFileSystem fs;
    fs.failRename = 3;  // 1: refused as existing, 2: to the temporary name, 3: to the new name
    fs.failError = EIO;
    const auto result = SourceFileRenamer::renameFiles({file("readme.txt", "README.txt")}, root(), kDomain, {}, {}, fs);
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_EQ(result.failed[0].error.message, std::string("Rename failed: ") + std::strerror(EIO) + ". Ensure the file is not open in another app, the volume is writable, and there is sufficient disk space.");
    std::vector<FileSystemOps::DirEntry> entries;
    ASSERT_EQ(fs.listDirectory(root(), entries), 0);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "readme.txt");
    EXPECT_EQ(read("readme.txt"), "r");
}

TEST_F(BatchTest, HardLinkIsNeverTheSameItem)
{
    write("a", "shared");
    ASSERT_EQ(::link(at("a").c_str(), at("b").c_str()), 0);
    ASSERT_EQ(::link(at("a").c_str(), at("A").c_str()), 0);
    for (const auto& target : {"b", "A"}) {
        const auto result = SourceFileRenamer::renameFiles({file("a", target)}, root(), kDomain);
        ASSERT_EQ(result.failed.size(), 1u) << target;
        EXPECT_THAT(result.failed[0].error.message, StartsWith("Target file already exists at "));
    }
    EXPECT_TRUE(exists("a"));
    EXPECT_TRUE(exists("b"));
    EXPECT_TRUE(exists("A"));
}

TEST_F(BatchTest, InstructionOntoItselfCountsAsRenamed)
{
    write("same", "s");
    const RenameInstruction instruction = file("same", "same");
    const auto result = SourceFileRenamer::renameFiles({instruction}, root(), kDomain);
    EXPECT_TRUE(result.failed.empty());
    EXPECT_EQ(result.renamed.size(), 1u);
    EXPECT_EQ(SourceFileRenamer::verifyRename(instruction, root()).status,
        SourceFileRenamer::RenameVerification::VerificationStatus::verified);
}

TEST_F(BatchTest, PermissionDeniedWithoutCallback)
{
    write("f");
    FaultyFileSystem fs;
    fs.fail(Op::rename, "/root/f", EACCES);
    const auto result = SourceFileRenamer::renameFiles({file("f", "g")}, root(), kDomain, {}, {}, fs);
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_EQ(result.failed[0].error.message,
        "Permission denied. No obvious permission issue found — the file may be in use by another process");
    const int summary = LogCapture::find("❌ Permission diagnosis summary: ");
    const int failure = LogCapture::find("❌ Rename failed: permission denied (no privileged helper) — " + at("f") + ": Permission denied");
    EXPECT_GE(summary, 0);
    EXPECT_GT(failure, summary);
    EXPECT_TRUE(exists("f"));
}

TEST_F(BatchTest, PermissionDeniedWithCallbacks)
{
    struct Case {
        const char* name;
        bool succeeds;
        bool movesAnyway;  // reports failure (a time-out) after doing the work
        bool renamed;
    };
    for (const Case& c : {Case {"succeeds", true, true, true}, Case {"fails", false, false, false},
             Case {"times out after moving", false, true, true}}) {
        SCOPED_TRACE(c.name);
        TempDir scratch;
        scratch.writeFile("root/f", "data");
        FaultyFileSystem fs;
        fs.fail(Op::rename, "/root/f", EPERM);
        std::vector<std::pair<std::string, std::string>> asked;
        auto privileged = [&](const std::string& from, const std::string& to) {
            asked.emplace_back(from, to);
            if (c.movesAnyway)
                ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
            return Reply {c.succeeds, c.succeeds ? "" : "helper refused"};
        };
        LogCapture::clear();
        const auto result = SourceFileRenamer::renameFiles({file("f", "g")}, scratch / "root", kDomain, privileged, {}, fs);
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].first, scratch / "root/f");
        EXPECT_EQ(asked[0].second, scratch / "root/g");
        EXPECT_EQ(result.renamed.size(), c.renamed ? 1u : 0u);
        EXPECT_EQ(scratch.exists("root/g"), c.renamed);
        if (!c.renamed) {
            ASSERT_EQ(result.failed.size(), 1u);
            EXPECT_EQ(result.failed[0].error.message,
                "Permission denied even with elevated privileges. No obvious permission issue found — the file may be in use by another process (helper refused)");
            EXPECT_GE(LogCapture::find("❌ Rename failed: privileged move also failed — " + scratch.path() + "/root/f → " + scratch.path()
                          + "/root/g: helper refused"),
                0);
        }
    }
}

TEST_F(BatchTest, OtherErrorsNeverAskTheCallback)
{
    for (int error : {ENOENT, ENOSPC, EXDEV}) {
        SCOPED_TRACE(error);
        TempDir scratch;
        scratch.writeFile("root/f", "data");
        FaultyFileSystem fs;
        fs.fail(Op::rename, "/root/f", error);
        int asked = 0;
        auto privileged = [&](const std::string&, const std::string&) {
            ++asked;
            return Reply {true, ""};
        };
        LogCapture::clear();
        const auto result = SourceFileRenamer::renameFiles({file("f", "g")}, scratch / "root", kDomain, privileged, {}, fs);
        EXPECT_EQ(asked, 0);
        ASSERT_EQ(result.failed.size(), 1u);
        EXPECT_EQ(result.failed[0].error.message, std::string("Rename failed: ") + std::strerror(error) + ". Ensure the file is not open in another app, the volume is writable, and there is sufficient disk space.");
        EXPECT_GE(LogCapture::find("❌ Rename failed: move error — " + scratch.path() + "/root/f → " + scratch.path() + "/root/g: "
                      + std::strerror(error)),
            0);
        EXPECT_TRUE(scratch.exists("root/f"));
    }
}

TEST_F(BatchTest, MergedSourceFolderThatCannotBeRemovedIsReportedWithoutAskingForAnEmptyRename)
{
    write("Old/g", "gee");
    makeDir("New");
    FaultyFileSystem fs;
    fs.fail(Op::rmdir, "/root/Old", EACCES);
    std::vector<std::string> destinations;
    auto privileged = [&](const std::string&, const std::string& to) {
        destinations.push_back(to);
        return Reply {true, ""};
    };
    const auto result = SourceFileRenamer::renameFiles({folder("Old", "New")}, root(), kDomain, privileged, {}, fs);
    EXPECT_TRUE(destinations.empty());
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_THAT(result.failed[0].error.message,
        StartsWith("Unindexed files were merged into the target, but the original folder could not be removed. "));
    EXPECT_THAT(result.failed[0].error.message, HasSubstr("No obvious permission issue found"));
    EXPECT_TRUE(result.mergedDirectories.empty());
    EXPECT_EQ(read("New/g"), "gee");
    EXPECT_GE(LogCapture::find("❌ Rename failed: could not remove source directory after merging contents — " + at("Old")
                  + ": Permission denied"),
        0);
}

TEST_F(BatchTest, UnsafePathsAreRefused)
{
    write("f", "data");
    TempDir outside;
    ASSERT_EQ(::symlink(outside.path().c_str(), at("escape").c_str()), 0);
    for (const auto& instruction : {file("f", "../f"), file("/f", "g"), file("f", "a//g"), file("f", "./g"),
             file("f", std::string("g\0h", 3)), file("f", "escape/f"), file("escape/x", "y")}) {
        SCOPED_TRACE(instruction.targetRelativePath);
        LogCapture::clear();
        const auto result = SourceFileRenamer::renameFiles({instruction}, root(), kDomain);
        ASSERT_EQ(result.failed.size(), 1u);
        EXPECT_TRUE(result.renamed.empty());
        EXPECT_GE(LogCapture::find("❌ Rename skipped: invalid path — "), 0);
    }
    EXPECT_EQ(read("f"), "data");
    EXPECT_FALSE(outside.exists("f"));
}

TEST_F(BatchTest, NamesThatAreNotUtf8KeepTheirBytes)
{
    const std::string latin1 = "caf\xE9";
    write(latin1, "bytes");
    const auto result = SourceFileRenamer::renameFiles({file(latin1, "cafe"), file("cafe", latin1 + "2")}, root(), kDomain);
    EXPECT_TRUE(result.failed.empty());
    EXPECT_EQ(read(latin1 + "2"), "bytes");
}

}  // namespace
}  // namespace tess::test
