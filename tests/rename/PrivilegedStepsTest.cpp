// What the privileged helper does for a batch beyond moving items: a folder
// made in place of another owner's folder gets that owner from it, a merged
// folder this process may not remove is removed by it, and once it refuses
// or cannot be reached it is not asked again; every failure names its reply.
// The tests run as root: a user's refusals are injected through the
// file-system seam, and the helper's work is done by the test itself.

#include "FaultyFileSystem.h"
#include "RenameTestSupport.h"

#include "history/HistoryUndo.h"

#include <cerrno>
#include <filesystem>
#include <gmock/gmock.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tess::test {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using Op = FaultyFileSystem::Op;
using Reply = SourceFileRenamer::PrivilegedReply;
using Calls = SourceFileRenamer::PrivilegedCalls;

const Reply kRefused {false, "Not authorized: the system's policy does not allow this operation", true};

struct Owner {
    uid_t uid = 0;
    gid_t gid = 0;
    mode_t mode = 0;
    friend bool operator==(const Owner&, const Owner&) = default;
};

Owner ownerOf(const std::string& path)
{
    struct stat st { };
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return {st.st_uid, st.st_gid, static_cast<mode_t>(st.st_mode & 07777)};
}

bool isEmptyFolder(const std::string& path)
{
    std::vector<FileSystemOps::DirEntry> entries;
    return FileSystemOps::posix().listDirectory(path, entries) == 0 && entries.empty();
}

class PrivilegedStepsTest : public RenamerTest {
protected:
    // "a:b", owned by another user, holding a file to rename and one that
    // needs none; renamed to "a_b", which the batch makes for it.
    void makeOtherUsersFolder()
    {
        write("a:b/x:y", "renamed");
        write("a:b/keep.txt", "merged");
        ASSERT_EQ(::chmod(at("a:b").c_str(), 0750), 0);
        ASSERT_EQ(::lchown(at("a:b").c_str(), 4242, 4343), 0) << "the tests run as root";
    }
};

// This process may not give a folder away (its chown is refused); the helper
// gives the folder made in place of "a:b" its owner before anything is moved
// in, and the undo's "a:b" likewise. Without it, or when it refuses, the
// results name the folders that did not keep their owner. (The undo knows
// the owner only from the folder that stood in for "a:b".)
TEST_F(PrivilegedStepsTest, AFolderMadeInPlaceOfAnotherOwnersFolderGetsItsOwnerFromTheHelper)
{
    enum class Helper { absent,
        applies,
        refuses };
    const struct {
        const char* name;
        Helper forRename;
        Helper forUndo;
        const char* renameReason;  // in the rename's result, when the owner was not kept
        const char* undoReason;  // in the undo's
    } cases[] = {
        {"the helper applies the attributes", Helper::applies, Helper::applies, nullptr, nullptr},
        {"no helper", Helper::absent, Helper::absent, "(Operation not permitted; the privileged helper is not in use)", nullptr},
        {"the helper refuses", Helper::refuses, Helper::refuses, "(Not authorized: the system's policy does not allow this operation)", nullptr},
        {"the helper refuses the undo", Helper::applies, Helper::refuses, nullptr, "(Not authorized: the system's policy does not allow this operation)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(root());
        std::filesystem::create_directory(root());
        makeOtherUsersFolder();
        const Owner original = ownerOf(at("a:b"));
        FaultyFileSystem fs;
        fs.fail(Op::chown, "/a_b", EPERM);
        fs.fail(Op::chown, "/a:b", EPERM);
        Helper helper = c.forRename;
        std::vector<std::pair<std::string, std::string>> asked;
        std::vector<bool> emptyWhenAsked;
        Calls calls;
        calls.applyAttributes = [&](const std::string& from, const std::string& to) {
            asked.emplace_back(from, to);
            emptyWhenAsked.push_back(isEmptyFolder(to));
            if (helper == Helper::refuses) {
                return kRefused;
            }
            struct stat st { };
            ::lstat(from.c_str(), &st);
            const bool done = ::lchown(to.c_str(), st.st_uid, st.st_gid) == 0 && ::chmod(to.c_str(), st.st_mode & 07777) == 0;
            return Reply {done, ""};
        };
        const auto withHelper = [&] { return helper == Helper::absent ? Calls {} : calls; };

        const auto result = SourceFileRenamer::renameFiles(mergedFolderBatch(), root(), kAppErrorDomain, withHelper(), fs, nullptr);
        EXPECT_TRUE(result.failed.empty());
        EXPECT_EQ(read("a_b/keep.txt"), "merged");
        const Owner standIn = ownerOf(at("a_b"));
        helper = c.forUndo;
        const auto undone = HistoryUndo::undoHistoryEntry(mergedFolderRecords(), root(), kAppErrorDomain, withHelper(), fs);
        EXPECT_TRUE(undone.failed.empty());
        EXPECT_EQ(read("a:b/x:y"), "renamed");
        EXPECT_EQ(read("a:b/keep.txt"), "merged");

        // Asked once per folder whose owner this process cannot give: the
        // rename's "a_b", and the undo's "a:b" when "a_b" has another owner.
        std::vector<std::pair<std::string, std::string>> expected;
        if (c.forRename != Helper::absent) {
            expected.emplace_back(at("a:b"), at("a_b"));
        }
        if (c.forUndo != Helper::absent && standIn.uid != ::geteuid()) {
            expected.emplace_back(at("a_b"), at("a:b"));
        }
        EXPECT_EQ(asked, expected);
        EXPECT_EQ(emptyWhenAsked, std::vector<bool>(expected.size(), true));
        if (c.renameReason == nullptr) {
            EXPECT_EQ(standIn, original);
            EXPECT_TRUE(result.foldersNotKept.empty());
        } else {
            EXPECT_NE(standIn.uid, original.uid);
            ASSERT_EQ(result.foldersNotKept.size(), 1u);
            EXPECT_EQ(result.foldersNotKept[0].folder, "a_b");
            EXPECT_THAT(result.foldersNotKept[0].description, StartsWith("a_b belongs to root:"));
            EXPECT_THAT(result.foldersNotKept[0].description, HasSubstr(" with mode 750, not to "));
            EXPECT_THAT(result.foldersNotKept[0].description, HasSubstr(" as a:b did "));
            EXPECT_THAT(result.foldersNotKept[0].description, EndsWith(c.renameReason));
        }
        if (c.undoReason == nullptr) {
            EXPECT_EQ(ownerOf(at("a:b")), standIn);
            EXPECT_TRUE(undone.foldersNotKept.empty());
            EXPECT_EQ(HistoryUndo::resultMessage(undone), "Undo complete: 2 items restored");
        } else {
            // The undo's "a:b", made again by this process, is not the
            // owner's: the undo says so instead of "complete".
            EXPECT_NE(ownerOf(at("a:b")).uid, original.uid);
            ASSERT_EQ(undone.foldersNotKept.size(), 1u);
            EXPECT_EQ(undone.foldersNotKept[0].folder, "a:b");
            const std::string message = HistoryUndo::resultMessage(undone);
            EXPECT_THAT(message, StartsWith("Undo: 2 items restored. 1 folder did not keep the owner, group and mode of the folder it replaces: a:b belongs to root:"));
            EXPECT_THAT(message, EndsWith(c.undoReason));
        }
        if (c.renameReason == nullptr && c.undoReason == nullptr) {
            EXPECT_EQ(LogCapture::find("could not copy the original folder's owner"), -1);
        }
        LogCapture::clear();
    }
}

// A folder the helper made (another owner's, here root's with a mode this
// process may not change) for the user's own folder becomes the user's
// right away: the user's own moves into it go on.
TEST_F(PrivilegedStepsTest, AFolderTheHelperMadeForTheUsersFolderIsTheUsersBeforeItsItemsMoveIn)
{
    write("a:b/x:y", "renamed");
    ASSERT_EQ(::chmod(at("a:b").c_str(), 0700), 0);
    FaultyFileSystem fs;
    fs.fail(Op::mkdir, "/a_b", EACCES);
    fs.fail(Op::chmod, "/a_b", EPERM);
    std::vector<std::string> order;
    Calls calls;
    calls.createDirectory = [&](const std::string& path) {
        order.push_back("create");
        return Reply {::mkdir(path.c_str(), 0755) == 0, ""};
    };
    calls.applyAttributes = [&](const std::string& from, const std::string& to) {
        order.push_back(isEmptyFolder(to) ? "apply to the empty folder" : "apply too late");
        return Reply {::chmod(to.c_str(), ownerOf(from).mode) == 0, ""};
    };
    calls.rename = [&](const std::string&, const std::string&) {
        order.push_back("privileged move");
        return Reply {false, "not needed"};
    };
    const auto result = SourceFileRenamer::renameFiles(mergedFolderBatch(), root(), kAppErrorDomain, calls, fs, nullptr);
    EXPECT_TRUE(result.failed.empty());
    EXPECT_EQ(order, (std::vector<std::string> {"create", "apply to the empty folder"}));
    EXPECT_EQ(ownerOf(at("a_b")).mode, 0700u);
    EXPECT_EQ(read("a_b/x_y"), "renamed");
}

// The merged folder, and an emptied subfolder inside it, that this process
// may not remove are removed by the helper; when the helper cannot, the
// failure says what stayed and why, and speaks of merged files only when
// the merge moved some.
TEST_F(PrivilegedStepsTest, AMergedFolderThisProcessMayNotRemoveIsRemovedByTheHelper)
{
    const struct {
        const char* name;
        bool withUnrenamedItem;
        bool helperRemoves;
        const char* failurePrefix;  // nullptr: no failure
    } cases[] = {
        {"the helper removes it", true, true, nullptr},
        {"the helper refuses, the merge moved an item", true, false, "Unindexed files were merged into the target, but the original folder could not be removed. "},
        {"the helper refuses, every item had its own rename", false, false, "Its items are in a_b now, but the original folder could not be removed. "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(root());
        std::filesystem::create_directory(root());
        write("a:b/x:y", "renamed");
        write("a:b/sub/s:t", "renamed too");
        if (c.withUnrenamedItem) {
            write("a:b/keep.txt", "merged");
        }
        FaultyFileSystem fs;
        fs.fail(Op::rmdir, "/a:b", EACCES);
        fs.fail(Op::rmdir, "/a:b/sub", EACCES);
        std::vector<std::string> asked;
        Calls calls;
        calls.removeDirectory = [&](const std::string& path) {
            asked.push_back(path);
            if (!c.helperRemoves) {
                return kRefused;
            }
            return Reply {::rmdir(path.c_str()) == 0, ""};
        };
        const auto result = SourceFileRenamer::renameFiles(
            {file("a:b/x:y", "a_b/x_y"), file("a:b/sub/s:t", "a_b/sub/s_t"), folder("a:b", "a_b")}, root(), kAppErrorDomain,
            SourceFileRenamer::untilUnavailable(calls), fs, nullptr);
        EXPECT_EQ(read("a_b/x_y"), "renamed");
        if (c.failurePrefix == nullptr) {
            EXPECT_TRUE(result.failed.empty());
            EXPECT_EQ(asked, (std::vector<std::string> {at("a:b/sub"), at("a:b")}));
            EXPECT_EQ(result.mergedDirectories, std::vector<std::string> {"a:b"});
            EXPECT_FALSE(exists("a:b"));
            continue;
        }
        // Refused once: the outer folder is not asked for.
        EXPECT_EQ(asked, std::vector<std::string> {at("a:b/sub")});
        ASSERT_EQ(result.failed.size(), 1u);
        EXPECT_EQ(result.failed[0].path, "a:b");
        EXPECT_THAT(result.failed[0].error.message, StartsWith(c.failurePrefix));
        EXPECT_THAT(result.failed[0].error.message, EndsWith(" (" + kRefused.message + ")"));
        EXPECT_THAT(result.failed[0].error.message, Not(HasSubstr("conflicting")));
        EXPECT_TRUE(exists("a:b/sub"));
    }
}

// Without a helper, a merged folder kept by a subfolder that could not be
// removed says which subfolder and why, not only "Directory not empty".
TEST_F(PrivilegedStepsTest, AMergedFolderKeptByItsSubfolderNamesIt)
{
    write("a:b/sub/s:t", "renamed");
    FaultyFileSystem fs;
    fs.fail(Op::rmdir, "/a:b/sub", EBUSY);
    const auto result = SourceFileRenamer::renameFiles({file("a:b/sub/s:t", "a_b/sub/s_t"), folder("a:b", "a_b")}, root(),
        kAppErrorDomain, Calls {}, fs, nullptr);
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_EQ(result.failed[0].error.message,
        "Its items are in a_b now, but the original folder could not be removed. Its emptied subfolder a:b/sub could not be removed (Device or resource busy).");
}

// Once a reply says the helper is unavailable (a refusal, or no helper to
// reach), no later call of the batch reaches it, whichever operation; each
// answers that reply. Other failures leave the helper in the batch.
TEST(PrivilegedCalls, OnceTheHelperIsUnavailableNoLaterCallReachesIt)
{
    const struct {
        const char* name;
        Reply first;
        int reached;  // of the five calls
    } cases[] = {
        {"success", {true, "", false}, 5},
        {"an ordinary failure", {false, "File exists", false}, 5},
        {"a refusal", kRefused, 1},
        {"no helper to reach", {false, "XPC call failed: Failed to create XPC proxy connection to helper tool", true}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int reached = 0;
        const auto answer = [&] { return ++reached == 1 ? c.first : Reply {true, ""}; };
        Calls calls;
        calls.rename = [&](const std::string&, const std::string&) { return answer(); };
        calls.createDirectory = [&](const std::string&) { return answer(); };
        calls.removeDirectory = [&](const std::string&) { return answer(); };
        calls.applyAttributes = [&](const std::string&, const std::string&) { return answer(); };
        const Calls gated = SourceFileRenamer::untilUnavailable(calls);
        const std::vector<Reply> replies = {gated.rename("/a", "/b"), gated.createDirectory("/c"), gated.removeDirectory("/d"),
            gated.applyAttributes("/e", "/f"), gated.rename("/g", "/h")};
        EXPECT_EQ(reached, c.reached);
        if (c.reached == 1) {
            for (const Reply& reply : replies) {
                EXPECT_FALSE(reply.success);
                EXPECT_EQ(reply.message, c.first.message);
            }
        }
    }
    // Calls that were never given stay absent.
    const Calls none = SourceFileRenamer::untilUnavailable({});
    EXPECT_FALSE(none.rename || none.createDirectory || none.removeDirectory || none.applyAttributes);
}

// A time-out may be a password prompt still open, so the helper is asked
// again; a second time-out in a row ends its part in the batch.
TEST(PrivilegedCalls, TwoTimeOutsInARowEndTheHelpersPart)
{
    const Reply timedOut {false, "XPC call failed: timed out", false, true};
    const std::vector<Reply> answers = {timedOut, {true, ""}, timedOut, timedOut, {true, ""}};
    std::size_t reached = 0;
    Calls calls;
    calls.rename = [&](const std::string&, const std::string&) { return answers.at(reached++); };
    const Calls gated = SourceFileRenamer::untilUnavailable(calls);
    std::vector<Reply> replies;
    for (int i = 0; i < 6; ++i) {
        replies.push_back(gated.rename("/a", "/b"));
    }
    EXPECT_EQ(reached, 4u);  // a success between two time-outs starts the count again
    EXPECT_TRUE(replies[1].success);
    for (std::size_t i = 3; i < replies.size(); ++i) {
        EXPECT_FALSE(replies[i].success);
        EXPECT_EQ(replies[i].message, timedOut.message);
    }
}

// A batch whose helper refuses asks it once; every item that needed it
// fails with the refusal in its text.
TEST_F(PrivilegedStepsTest, ARefusalIsAskedOnceAndNamedByEveryFailure)
{
    write("d/f:1", "1");
    write("d/f:2", "2");
    write("d/f:3", "3");
    FaultyFileSystem fs;
    fs.fail(Op::rename, "", EACCES);
    int asked = 0;
    Calls calls;
    calls.rename = [&](const std::string&, const std::string&) {
        ++asked;
        return kRefused;
    };
    const auto result = SourceFileRenamer::renameFiles({file("d/f:1", "d/f_1"), file("d/f:2", "d/f_2"), file("d/f:3", "d/f_3")},
        root(), kAppErrorDomain, SourceFileRenamer::untilUnavailable(calls), fs, nullptr);
    EXPECT_EQ(asked, 1);
    ASSERT_EQ(result.failed.size(), 3u);
    for (const auto& failure : result.failed) {
        EXPECT_THAT(failure.error.message, StartsWith("Permission denied even with elevated privileges. "));
        EXPECT_THAT(failure.error.message, EndsWith(" (" + kRefused.message + ")"));
    }
}

}  // namespace
}  // namespace tess::test
