// A folder the renamer makes in place of a renamed folder keeps that folder's
// mode, owner, ACLs, extended attributes and times, and the undo gives them
// back to the original; a metadata step that fails is a WARN line only.

#include "FaultyFileSystem.h"
#include "FolderMeta.h"
#include "RenameTestSupport.h"

#include "history/HistoryUndo.h"

#include <acl/libacl.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <ostream>
#include <sys/acl.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace tess::test {
namespace {

using Op = FaultyFileSystem::Op;

struct Case {
    const char* name;
    mode_t mode;
    bool otherOwner;
    bool acl;
    bool attribute;
};

class FolderMetadataTest : public RenamerTest {
protected:
    // The folder: "a:b" holding "x:y" and "keep.txt", with the
    // metadata of `c` and an old modification time.
    void makeSource(const Case& c)
    {
        write("a:b/x:y", "moved file");
        write("a:b/keep.txt", "left in place");
        const std::string source = at("a:b");
        ASSERT_EQ(::chmod(source.c_str(), c.mode), 0);
        if (c.otherOwner) {
            ASSERT_EQ(::lchown(source.c_str(), 4242, 4343), 0) << "the tests run as root";
        }
        if (c.acl) {
            // The owning entries as the mode has them, plus one for another user.
            const auto bits = [&](int shift) {
                const mode_t m = (c.mode >> shift) & 7;
                return std::string(m & 4 ? "r" : "-") + (m & 2 ? "w" : "-") + (m & 1 ? "x" : "-");
            };
            const std::string text = "u::" + bits(6) + ",u:12345:r-x,g::" + bits(3) + ",m::" + bits(3) + ",o::" + bits(0);
            setAcl(source, ACL_TYPE_ACCESS, text.c_str());
            setAcl(source, ACL_TYPE_DEFAULT, "u::rwx,u:12345:rwx,g::r-x,m::rwx,o::---");
        }
        if (c.attribute) {
            ASSERT_EQ(::lsetxattr(source.c_str(), "user.note", "private", 7, 0), 0) << std::strerror(errno);
        }
        setOldTimes(source);
    }
};

TEST_F(FolderMetadataTest, RenamedFolderAndUndoneOriginalMatchTheSource)
{
    ASSERT_EQ(::geteuid(), 0u) << "owner changes need root";
    const Case cases[] = {
        {"private 0700", 0700, false, false, false},
        {"0750 owned by another user", 0750, true, false, false},
        {"setgid 2775 with ACLs for another user", 02775, false, true, false},
        {"sticky 1777 with a user attribute", 01777, false, false, true},
        {"sticky and setgid 3770 with everything", 03770, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(root());
        std::filesystem::create_directory(root());
        makeSource(c);
        const FolderMeta original = metaOf(at("a:b"));
        ASSERT_EQ(original.mode, c.mode) << original;

        const auto result = SourceFileRenamer::renameFiles(mergedFolderBatch(), root(), kAppErrorDomain);
        EXPECT_TRUE(result.failed.empty());
        EXPECT_EQ(result.mergedDirectories, std::vector<std::string> {"a:b"});
        ASSERT_FALSE(exists("a:b"));
        EXPECT_EQ(read("a_b/keep.txt"), "left in place");
        EXPECT_EQ(metaOf(at("a_b")), original);

        const auto undone = HistoryUndo::undoHistoryEntry(mergedFolderRecords(), root(), kAppErrorDomain);
        EXPECT_TRUE(undone.failed.empty());
        ASSERT_FALSE(exists("a_b"));
        EXPECT_EQ(read("a:b/x:y"), "moved file");
        EXPECT_EQ(metaOf(at("a:b")), original);
        EXPECT_EQ(LogCapture::find("Rename: could not copy"), -1);
    }
}

TEST_F(FolderMetadataTest, FolderMadeOnlyAsAMissingParentKeepsTheDefaults)
{
    makeSource({"private", 0700, false, false, true});
    const auto result = SourceFileRenamer::renameFiles({file("a:b/x:y", "made/x_y")}, root(), kAppErrorDomain);
    EXPECT_TRUE(result.failed.empty());
    const FolderMeta made = metaOf(at("made"));
    EXPECT_NE(made.mode, 0700u);
    EXPECT_TRUE(made.attributes.empty());
    EXPECT_GT(made.modified.tv_sec, kOldModification.tv_sec);
}

TEST_F(FolderMetadataTest, AFailedMetadataStepIsAWarningAndTheRenameStillSucceeds)
{
    const struct {
        Op op;
        const char* fragment;
    } failures[] = {
        {Op::chown, "owner and group"},
        {Op::chmod, "permissions"},
        {Op::acl, "access ACL"},
        {Op::xattr, "extended attribute user.note"},
        {Op::times, "access and modification times"},
    };
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.fragment);
        std::filesystem::remove_all(root());
        std::filesystem::create_directory(root());
        makeSource({"everything", 0750, true, true, true});
        LogCapture::clear();
        FaultyFileSystem fs;
        fs.fail(failure.op, "/a_b", EPERM, 1);
        const auto result = SourceFileRenamer::renameFiles(mergedFolderBatch(), root(), kAppErrorDomain, {}, {}, fs);
        EXPECT_TRUE(result.failed.empty());
        EXPECT_EQ(result.renamed.size(), 1u);
        EXPECT_EQ(result.mergedDirectories, std::vector<std::string> {"a:b"});
        EXPECT_EQ(read("a_b/x_y"), "moved file");
        EXPECT_EQ(read("a_b/keep.txt"), "left in place");
        const int line = LogCapture::find(std::string("Rename: could not copy the original folder's ") + failure.fragment);
        ASSERT_GE(line, 0);
        EXPECT_EQ(LogCapture::lines()[static_cast<std::size_t>(line)].level, "WARN");
        EXPECT_NE(LogCapture::lines()[static_cast<std::size_t>(line)].message.find(std::strerror(EPERM)), std::string::npos);
    }
}

TEST_F(FolderMetadataTest, FolderMadeByThePrivilegedHelperTakesTheMetadataFromHere)
{
    makeSource({"private attribute", 0700, false, false, true});
    const FolderMeta original = metaOf(at("a:b"));
    FaultyFileSystem fs;
    fs.fail(Op::mkdir, "/a_b", EACCES);
    int calls = 0;
    const auto createDirectory = [&](const std::string& path) {
        ++calls;
        EXPECT_EQ(::mkdir(path.c_str(), 0755), 0);  // as the helper would, with its own defaults
        return SourceFileRenamer::PrivilegedReply {true, ""};
    };
    const auto result = SourceFileRenamer::renameFiles(mergedFolderBatch(), root(), kAppErrorDomain, {}, createDirectory, fs);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(result.failed.empty());
    EXPECT_EQ(metaOf(at("a_b")), original);
}

}  // namespace
}  // namespace tess::test

namespace tess::test {
namespace {

// A folder with no rename of its own inside a renamed folder ("docs/c"
// inside "docs", renamed for a collision with "Docs") is made under the new
// name as a missing parent of its file: it stands in for "docs/c" and takes
// its metadata; the undo gives it back.
TEST_F(FolderMetadataTest, FolderMadeInPlaceOfAnInnerFolderTakesItsMetadata)
{
    write("Docs/a.txt", "a");
    write("docs/c/x:y", "moved");
    write("docs/c/keep.txt", "kept");
    const std::string inner = at("docs/c");
    ASSERT_EQ(::chmod(inner.c_str(), 0700), 0);
    ASSERT_EQ(::lsetxattr(inner.c_str(), "user.note", "private", 7, 0), 0) << std::strerror(errno);
    setOldTimes(inner);
    const FolderMeta before = metaOf(inner);

    const auto result = SourceFileRenamer::renameFiles(
        {file("docs/c/x:y", "docs 2/c/x_y"), folder("docs", "docs 2")}, root(), kAppErrorDomain);
    ASSERT_TRUE(result.failed.empty()) << result.failed[0].error.message;
    EXPECT_EQ(read("docs 2/c/keep.txt"), "kept");
    EXPECT_EQ(metaOf(at("docs 2/c")), before);

    HistoryEntry entry;
    entry.scanRoot = root();
    entry.records = {
        {"docs/c/x:y", "docs 2/c/x_y", HistoryRecordType::file, HistoryRecordStatus::ok, ""},
        {"docs", "", HistoryRecordType::removedDirectory, HistoryRecordStatus::ok, ""},
        {"docs 2", "", HistoryRecordType::createdDirectory, HistoryRecordStatus::ok, ""},
        {"docs 2/c", "", HistoryRecordType::createdDirectory, HistoryRecordStatus::ok, ""},
    };
    const auto undone = HistoryUndo::undoHistoryEntry(entry, root(), kAppErrorDomain);
    ASSERT_TRUE(undone.failed.empty()) << undone.failed[0].error.message;
    EXPECT_FALSE(exists("docs 2"));
    EXPECT_EQ(read("docs/c/x:y"), "moved");
    EXPECT_EQ(metaOf(inner), before);
}

}  // namespace
}  // namespace tess::test
