// Verification compares the item's identity from before the move, never
// advises deleting an original that is not the moved item, and tells a path
// it could not read from one that is absent; a batch whose record cannot be
// written stops before its next step.

#include "FaultyFileSystem.h"
#include "RenameTestSupport.h"

#include "rename/VerificationSentences.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <unistd.h>

namespace tess::test {
namespace {

using Op = FaultyFileSystem::Op;
using VStatus = SourceFileRenamer::RenameVerification::VerificationStatus;

class HonestVerificationTest : public RenamerTest {
public:
    using RenamerTest::at;
    using RenamerTest::write;
};

bool advisesDeleting(const SourceFileRenamer::RenameVerification& verification)
{
    return verification.detail.find("Manually delete") != std::string::npos
        || (verification.detail.empty() && verification.status == VStatus::both);
}

std::optional<ItemIdentity> identityOf(const std::string& path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return std::nullopt;
    return ItemIdentity::of(st);
}

TEST_F(HonestVerificationTest, TheTargetMustBeTheMovedItem)
{
    struct Case {
        const char* name;
        std::function<void(HonestVerificationTest&)> afterMove;  // what happens behind the engine's back
        VStatus status;
        const char* detailStart;  // "" for the status's own text
    };
    const std::vector<Case> cases {
        {"moved", [](HonestVerificationTest&) {}, VStatus::verified, ""},
        {"new item at the old name", [](HonestVerificationTest& t) { t.write("a", "new"); }, VStatus::verified, ""},
        // The renamed item is moved away (kept, so its inode is not reused)
        // and another put under its new name.
        {"target replaced", [](HonestVerificationTest& t) {
             ASSERT_EQ(::rename(t.at("b").c_str(), t.at("away").c_str()), 0);
             t.write("b", "other");
         },
            VStatus::targetMissing, "Neither original nor target holds the renamed item — "},
        {"both replaced", [](HonestVerificationTest& t) {
             ASSERT_EQ(::rename(t.at("b").c_str(), t.at("away").c_str()), 0);
             t.write("b", "other");
             t.write("a", "another");
         },
            VStatus::both, "Both original and target hold other items — "},
        {"moved back, other item at the target", [](HonestVerificationTest& t) {
             ASSERT_EQ(::rename(t.at("b").c_str(), t.at("a").c_str()), 0);
             t.write("b", "other");
         },
            VStatus::sourceStillExists, "Target holds another item — "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write("a", "the item");
        const auto batch = SourceFileRenamer::renameFiles({file("a", "b")}, root(), kAppErrorDomain);
        ASSERT_EQ(batch.renamedIdentities.size(), 1u);
        c.afterMove(*this);
        const auto failed = SourceFileRenamer::verifyBatch({file("a", "b")}, root(), batch);
        const SourceFileRenamer::RenameVerification verification
            = failed.empty() ? SourceFileRenamer::RenameVerification {"a", "b", VStatus::verified} : failed[0];
        EXPECT_EQ(verification.status, c.status);
        EXPECT_EQ(verification.detail.substr(0, std::string(c.detailStart).size()), c.detailStart);
        EXPECT_FALSE(advisesDeleting(verification)) << verification.detail;
        ::unlink(at("a").c_str());
        ::unlink(at("b").c_str());
        ::unlink(at("away").c_str());
    }
}

// The real file system, with something done to an item right after the
// batch moved it: what another program does while the batch goes on.
class AfterMoveFileSystem : public FaultyFileSystem {
public:
    int renameNoReplace(const std::string& from, const std::string& to) override
    {
        const int result = FaultyFileSystem::renameNoReplace(from, to);
        if (result == 0 && afterMove)
            afterMove(to);
        return result;
    }
    std::function<void(const std::string& movedTo)> afterMove;
};

// Identity is the device, the inode and the kind: content written after the
// move does not make another item, another inode or kind does.
TEST_F(HonestVerificationTest, AFileInUseIsStillTheRenamedItem)
{
    struct Case {
        const char* name;
        bool folder;
        std::function<void(HonestVerificationTest&, const std::string& movedTo)> afterMove;
        VStatus status;
        const char* detailStart;
    };
    const std::vector<Case> cases {
        {"a log appended to after its move", false,
            [](HonestVerificationTest&, const std::string& movedTo) {
                const int fd = ::open(movedTo.c_str(), O_WRONLY | O_APPEND);
                ASSERT_GE(fd, 0);
                ASSERT_EQ(::write(fd, "one more line\n", 14), 14);
                ::close(fd);
            },
            VStatus::verified, ""},
        {"a file replaced by another inode", false,
            [](HonestVerificationTest& t, const std::string& movedTo) {
                ASSERT_EQ(::rename(movedTo.c_str(), t.at("kept elsewhere").c_str()), 0);
                t.write("server_log.txt", "another file");
            },
            VStatus::targetMissing, "Neither original nor target holds the renamed item — "},
        {"a folder replaced by a file", true,
            [](HonestVerificationTest& t, const std::string& movedTo) {
                ASSERT_EQ(::rmdir(movedTo.c_str()), 0);
                t.write("server_log.txt", "a file now");
            },
            VStatus::targetMissing, "Neither original nor target holds the renamed item — "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.folder ? makeDir("server:log.txt") : write("server:log.txt", "first line\n");
        write("other:item", "o");
        AfterMoveFileSystem fs;
        fs.afterMove = [&](const std::string& movedTo) {
            if (movedTo == at("server_log.txt"))
                c.afterMove(*this, movedTo);
        };
        // Another item follows, so the change happens while the batch runs.
        const std::vector<RenameInstruction> batch {
            {"server:log.txt", "server_log.txt", c.folder}, file("other:item", "other_item")};
        const auto result = SourceFileRenamer::renameFiles(batch, root(), kAppErrorDomain, {}, {}, fs);
        ASSERT_EQ(result.renamed.size(), 2u);
        const auto failed = SourceFileRenamer::verifyBatch(batch, root(), result, fs);
        if (c.status == VStatus::verified) {
            EXPECT_TRUE(failed.empty()) << failed[0].detail;
        } else {
            ASSERT_EQ(failed.size(), 1u);
            EXPECT_EQ(failed[0].status, c.status);
            EXPECT_EQ(failed[0].detail.rfind(c.detailStart, 0), 0u) << failed[0].detail;
            EXPECT_FALSE(advisesDeleting(failed[0])) << failed[0].detail;
        }
        std::filesystem::remove_all(at("server_log.txt"));
        std::filesystem::remove_all(at("kept elsewhere"));
        std::filesystem::remove(at("other_item"));
    }
}

// Every sentence a verification writes gives back its status, so a history
// file read back says what the batch reported; the sentences that found
// another item at the new name say so (an undo must not move that item).
TEST(VerificationSentencesTest, EachSentenceTellsItsStatusBack)
{
    using Finding = VerificationSentences::Finding;
    using Reading = VerificationSentences::Reading;
    for (const auto& [finding, anotherAtTarget] : std::vector<std::pair<Finding, bool>> {{Finding::targetHoldsAnotherItem, true},
             {Finding::bothHoldOtherItems, true}, {Finding::neitherHoldsTheItem, true},
             {Finding::originalHoldsAnotherItem, false}, {Finding::targetUnconfirmed, false}}) {
        const std::string sentence(VerificationSentences::sentence(finding));
        SCOPED_TRACE(sentence);
        EXPECT_EQ(VerificationSentences::read(sentence), (Reading {VerificationSentences::statusOf(finding), anotherAtTarget}));
        EXPECT_EQ(sentence.find("Manually delete"), std::string::npos);
    }
    for (VStatus status : {VStatus::sourceStillExists, VStatus::targetMissing, VStatus::both}) {
        const std::string sentence = VerificationSentences::unreadable("/data/a: b", "Permission denied", "Diagnosis.", status);
        EXPECT_EQ(VerificationSentences::read(sentence), (Reading {status, false})) << sentence;
    }
    // Texts written before, and texts that are none of these.
    EXPECT_EQ(VerificationSentences::read("Target holds another item — the original was not renamed and is still in place."),
        (Reading {VStatus::sourceStillExists, true}));
    EXPECT_FALSE(VerificationSentences::read("Could not be verified — /a: Permission denied."));
    EXPECT_FALSE(VerificationSentences::read("written by someone else"));
}

TEST_F(HonestVerificationTest, AnOccupiedTargetOrAnEmptyMadeFolderIsNeverTheOriginalsCopy)
{
    // The target is an unrelated file: the rename fails, and the report
    // must not suggest deleting the original.
    write("a", "original");
    write("b", "unrelated");
    auto batch = SourceFileRenamer::renameFiles({file("a", "b")}, root(), kAppErrorDomain);
    ASSERT_EQ(batch.failed.size(), 1u);
    auto failed = SourceFileRenamer::verifyBatch({file("a", "b")}, root(), batch);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].status, VStatus::both);
    EXPECT_FALSE(advisesDeleting(failed[0])) << failed[0].detail;

    // The target is an empty folder the batch made, while the original
    // still holds the files.
    write("docs/x", "x");
    makeDir("docs 2");
    const auto verification = SourceFileRenamer::verifyRename(folder("docs", "docs 2"), root(), identityOf(at("docs")));
    EXPECT_EQ(verification.status, VStatus::sourceStillExists);
    EXPECT_EQ(verification.detail.rfind("Target holds another item — ", 0), 0u) << verification.detail;
}

TEST_F(HonestVerificationTest, AnUnreadableSourceIsReportedAsWhatItIs)
{
    // A folder without search permission: lstat says EACCES, and the items
    // are there. (Root ignores modes, so the error is injected.)
    write("locked/a.txt", "a");
    makeDir("locked/sub");
    FaultyFileSystem fs;
    fs.fail(Op::lstat, "locked/a.txt", EACCES);
    fs.fail(Op::lstat, "locked/sub", EACCES);
    const auto batch = SourceFileRenamer::renameFiles(
        {file("locked/a.txt", "locked/b.txt"), folder("locked/sub", "locked/sub2")}, root(), kAppErrorDomain, {}, {}, fs);
    ASSERT_EQ(batch.failed.size(), 2u);
    for (const auto& failure : batch.failed) {
        EXPECT_EQ(failure.error.message.rfind("Permission denied. ", 0), 0u) << failure.error.message;
        EXPECT_EQ(failure.error.message.find("not found"), std::string::npos) << failure.error.message;
    }
    EXPECT_TRUE(exists("locked/a.txt"));

    const auto verification = SourceFileRenamer::verifyRename(file("locked/a.txt", "locked/b.txt"), root(), fs);
    EXPECT_EQ(verification.detail.rfind("Could not be verified — " + at("locked/a.txt") + ": Permission denied.", 0), 0u)
        << verification.detail;
    EXPECT_EQ(verification.detail.find("Neither original nor target found"), std::string::npos);
}

TEST_F(HonestVerificationTest, AnAppendOnlyFolderOrItemIsDiagnosed)
{
    write("kept/a.txt");
    FaultyFileSystem fs;
    fs.appendOnly = {at("kept")};
    const std::string summary = SourceFileRenamer::diagnosePermissionFailure(at("kept/a.txt"), at("kept/b.txt"), fs);
    EXPECT_EQ(summary, "Source folder kept/ is append-only: its items cannot be renamed or removed. Run: chattr -a \"" + at("kept") + "\"");
    fs.appendOnly = {at("kept/a.txt")};
    EXPECT_EQ(SourceFileRenamer::diagnosePermissionFailure(at("kept/a.txt"), at("kept/b.txt"), fs),
        "Source file is append-only and cannot be renamed. Run: chattr -a \"" + at("kept/a.txt") + "\"");
}

// Fails every announcement from the `failFrom`-th on.
class FailingRecorder : public BatchRecorder {
public:
    explicit FailingRecorder(int failFrom)
        : m_left(failFrom)
    {
    }
    Status willDo(Step, const std::string& from, const std::string&) override
    {
        if (m_left-- <= 0)
            return Error {kAppErrorDomain, ENOSPC, "No space left on device"};
        announced.push_back(from);
        return {};
    }
    Status didFail(Step, const std::string&, const std::string&, const std::string&) override { return {}; }
    void checkpoint() override { ++checkpoints; }

    std::vector<std::string> announced;
    int checkpoints = 0;

private:
    int m_left;
};

TEST_F(HonestVerificationTest, ABatchStopsWhenItsRecordCannotBeWritten)
{
    for (int i = 0; i < 4; ++i)
        write("f" + std::to_string(i), std::to_string(i));
    write("old/keep", "k");
    FailingRecorder recorder(2);
    const auto batch = SourceFileRenamer::renameFiles({file("f0", "g0"), file("f1", "g1"), file("f2", "g2"),
                                                          file("f3", "new/g3"), folder("old", "new")},
        root(), kAppErrorDomain, {}, {}, FileSystemOps::posix(), recorder);
    EXPECT_EQ(originals(batch), (std::vector<std::string> {"f0", "f1"}));
    EXPECT_EQ(recorder.announced, (std::vector<std::string> {"f0", "f1"}));
    ASSERT_EQ(batch.failed.size(), 3u);
    for (const auto& failure : batch.failed) {
        EXPECT_EQ(failure.error.message,
            "Not renamed: the batch's history could not be written (No space left on device). The batch stopped "
            "here, so that every rename it made can be undone.");
    }
    EXPECT_TRUE(exists("f2") && exists("f3") && exists("old/keep"));
    EXPECT_FALSE(exists("new"));
    EXPECT_TRUE(batch.createdDirectories.empty());
}

TEST_F(HonestVerificationTest, TheCleanUpAnnouncesEachFolderBeforeRemovingIt)
{
    makeDir("top/empty/inner");
    makeDir("top/other");
    FailingRecorder recorder(2);
    const auto result = SourceFileRenamer::cleanupEmptyDirectories(at("top"), root(), FileSystemOps::posix(), {}, &recorder);
    // Deepest first; the third announcement fails, so "top/other" stays.
    EXPECT_EQ(recorder.announced, (std::vector<std::string> {"top/empty/inner", "top/empty"}));
    EXPECT_EQ(result.removedDirectories, (std::vector<std::string> {at("top/empty/inner"), at("top/empty")}));
    EXPECT_EQ(result.failureCount, 1);  // "top" still holds "other": left alone, no failure
    EXPECT_TRUE(exists("top/other"));
}

}  // namespace
}  // namespace tess::test
