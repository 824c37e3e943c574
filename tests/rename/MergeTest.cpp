#include "FaultyFileSystem.h"
#include "RenameTestSupport.h"

#include <cerrno>
#include <gmock/gmock.h>
#include <unistd.h>

namespace tess::test {
namespace {

using ::testing::ElementsAre;
using Op = FaultyFileSystem::Op;

class MergeTest : public RenamerTest {
protected:
    bool merge(FileSystemOps& fs = FileSystemOps::posix(), const SourceFileRenamer::PrivilegedRename& privileged = {})
    {
        return SourceFileRenamer::moveRemainingContents(at("src"), at("dst"), fs, privileged);
    }
};

TEST_F(MergeTest, MetadataFiles)
{
    write("src/.DS_Store", "source copy");
    write("dst/.DS_Store", "target copy");
    EXPECT_TRUE(merge());
    EXPECT_FALSE(exists("src/.DS_Store"));
    EXPECT_EQ(read("dst/.DS_Store"), "target copy");

    write("src/.DS_Store", "source copy");
    ::unlink(at("dst/.DS_Store").c_str());
    LogCapture::clear();
    EXPECT_TRUE(merge());
    EXPECT_EQ(read("dst/.DS_Store"), "source copy");
    EXPECT_GE(LogCapture::find("moveRemainingContents: moved .DS_Store to target directory"), 0);
    EXPECT_EQ(LogCapture::lines()[0].level, "INFO");
}

TEST_F(MergeTest, FoldersOnBothSidesAreMergedRecursively)
{
    write("src/sub/inner/a", "a");
    write("dst/sub/b", "b");
    write("dst/sub/inner/c", "c");
    EXPECT_TRUE(merge());
    EXPECT_EQ(read("dst/sub/inner/a"), "a");
    EXPECT_FALSE(exists("src/sub"));
    EXPECT_TRUE(exists("src"));
}

TEST_F(MergeTest, ConflictsStopTheMerge)
{
    struct Case {
        bool sourceIsFolder;
        bool targetIsFolder;
    };
    for (const Case& c : {Case {false, false}, Case {true, false}, Case {false, true}}) {
        TempDir scratch;
        scratch.writeFile("src/a", "moved first");
        c.sourceIsFolder ? scratch.makeDir("src/x") : scratch.writeFile("src/x", "s");
        c.targetIsFolder ? scratch.makeDir("dst/x") : scratch.writeFile("dst/x", "t");
        LogCapture::clear();
        EXPECT_FALSE(SourceFileRenamer::moveRemainingContents(scratch / "src", scratch / "dst"));
        EXPECT_TRUE(scratch.exists("dst/a"));  // entries before the conflict stay moved
        EXPECT_TRUE(scratch.exists("src/x"));
        EXPECT_GE(LogCapture::find("❌ moveRemainingContents: conflict — x exists in both source and target"), 0);
    }
}

TEST_F(MergeTest, UnreadableAndEmptySources)
{
    makeDir("src");
    makeDir("dst");
    EXPECT_TRUE(merge());
    FaultyFileSystem fs;
    fs.fail(Op::list, "/src", EACCES);
    LogCapture::clear();
    EXPECT_FALSE(merge(fs));
    EXPECT_TRUE(LogCapture::lines().empty());
}

TEST_F(MergeTest, MoveFailuresAndThePrivilegedFallback)
{
    write("src/a", "a");
    makeDir("dst");
    FaultyFileSystem fs;
    fs.fail(Op::rename, "/src/a", EXDEV);
    int asked = 0;
    auto privileged = [&](const std::string& from, const std::string& to) {
        ++asked;
        return SourceFileRenamer::PrivilegedReply {::rename(from.c_str(), to.c_str()) == 0, "refused"};
    };
    EXPECT_FALSE(merge(fs, privileged));
    EXPECT_EQ(asked, 0);
    EXPECT_GE(LogCapture::find("❌ moveRemainingContents: failed to move a: Invalid cross-device link"), 0);

    FaultyFileSystem denied;
    denied.fail(Op::rename, "/src/a", EACCES);
    EXPECT_TRUE(merge(denied, privileged));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(read("dst/a"), "a");

    write("src/b", "b");
    denied.fail(Op::rename, "/src/b", EACCES);
    auto refusing = [](const std::string&, const std::string&) { return SourceFileRenamer::PrivilegedReply {false, "no"}; };
    EXPECT_FALSE(merge(denied, refusing));
    EXPECT_GE(LogCapture::find("❌ moveRemainingContents: privileged move failed for b: no"), 0);
}

TEST(PermissionErrorTest, OnlyAccessAndPermissionErrors)
{
    EXPECT_TRUE(SourceFileRenamer::isPermissionError(SourceFileRenamer::posixError(EACCES)));
    EXPECT_TRUE(SourceFileRenamer::isPermissionError(SourceFileRenamer::posixError(EPERM)));
    for (int error : {ENOENT, ENOSPC, EXDEV, EROFS, EEXIST})
        EXPECT_FALSE(SourceFileRenamer::isPermissionError(SourceFileRenamer::posixError(error))) << error;
    EXPECT_FALSE(SourceFileRenamer::isPermissionError(Error {kAppErrorDomain, EACCES, "x"}));
}

class SubdirectoryTest : public RenamerTest { };

TEST_F(SubdirectoryTest, PreOrderWithoutLinks)
{
    makeDir("b/y");
    makeDir("a/x");
    makeDir(".hidden");
    write("a/file");
    ASSERT_EQ(::symlink(at("a").c_str(), at("c").c_str()), 0);
    std::vector<std::string> found;
    SourceFileRenamer::collectSubdirectories(root(), found);
    EXPECT_THAT(found, ElementsAre(at(".hidden"), at("a"), at("a/x"), at("b"), at("b/y")));
}

}  // namespace
}  // namespace tess::test
