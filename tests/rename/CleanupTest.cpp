#include "FaultyFileSystem.h"
#include "RenameTestSupport.h"

#include <cerrno>
#include <gmock/gmock.h>
#include <unistd.h>

namespace tess::test {
namespace {

using ::testing::ElementsAre;
using Op = FaultyFileSystem::Op;

class CleanupTest : public RenamerTest { };

TEST_F(CleanupTest, StartAtTheRootRemovesEmptyFoldersButNeverTheRoot)
{
    makeDir("a/b/c");
    makeDir("keep");
    write("keep/file");
    const auto result = SourceFileRenamer::cleanupEmptyDirectories(root(), root());
    EXPECT_THAT(result.removedDirectories, ElementsAre(at("a/b/c"), at("a/b"), at("a")));
    EXPECT_EQ(result.failureCount, 0);
    EXPECT_TRUE(exists("keep/file"));
    EXPECT_TRUE(dir().exists("root"));
    EXPECT_GE(LogCapture::find("cleanupEmptyDirectories: removed 3, failed 0 of 5 directories evaluated"), 0);
    EXPECT_GE(LogCapture::find("Cleanup: skipping non-empty directory " + at("keep")), 0);
    // With a trailing slash the root is still the root.
    makeDir("x");
    SourceFileRenamer::cleanupEmptyDirectories(root() + "/", root());
    EXPECT_TRUE(dir().exists("root"));
}

TEST_F(CleanupTest, StartFolderGoesLast)
{
    makeDir("start/sub");
    const auto result = SourceFileRenamer::cleanupEmptyDirectories(at("start"), root());
    EXPECT_THAT(result.removedDirectories, ElementsAre(at("start/sub"), at("start")));
    EXPECT_GE(LogCapture::find("Cleanup: removed empty directory " + at("start/sub")), 0);
    EXPECT_GE(LogCapture::find("Cleanup: removed root directory " + at("start")), 0);
    EXPECT_GE(LogCapture::find("cleanupEmptyDirectories: starting under " + at("start")), 0);
    EXPECT_GE(LogCapture::find("cleanupEmptyDirectories: evaluating 1 subdirectories"), 0);
}

TEST_F(CleanupTest, MetadataOnlyFoldersAreRemovedWithTheirFiles)
{
    write("start/meta/.DS_Store");
    write("start/meta/Thumbs.db");
    write("start/other/.ds_store");
    const auto result = SourceFileRenamer::cleanupEmptyDirectories(at("start"), root());
    EXPECT_THAT(result.removedDirectories, ElementsAre(at("start/meta")));
    EXPECT_TRUE(exists("start/other/.ds_store"));
}

TEST_F(CleanupTest, LinksAreNeitherFollowedNorRemoved)
{
    TempDir outside;
    outside.makeDir("empty");
    makeDir("start");
    ASSERT_EQ(::symlink((outside / "empty").c_str(), at("start/link").c_str()), 0);
    const auto result = SourceFileRenamer::cleanupEmptyDirectories(at("start"), root());
    EXPECT_TRUE(result.removedDirectories.empty());
    EXPECT_TRUE(outside.exists("empty"));
    EXPECT_TRUE(exists("start/link"));

    // A start folder that is a link leading outside the root: nothing at all.
    ASSERT_EQ(::symlink(outside.path().c_str(), at("out").c_str()), 0);
    LogCapture::clear();
    const auto linked = SourceFileRenamer::cleanupEmptyDirectories(at("out"), root());
    EXPECT_TRUE(linked.removedDirectories.empty());
    EXPECT_EQ(linked.failureCount, 0);
    EXPECT_TRUE(outside.exists("empty"));
    ASSERT_EQ(LogCapture::lines().size(), 1u);
    EXPECT_EQ(LogCapture::lines()[0].message, "cleanupEmptyDirectories: starting under " + at("out"));
}

TEST_F(CleanupTest, SiblingWhoseNameStartsWithTheRootsIsOutside)
{
    dir().makeDir("rootSibling/empty");
    const auto result = SourceFileRenamer::cleanupEmptyDirectories(dir() / "rootSibling", root());
    EXPECT_TRUE(result.removedDirectories.empty());
    EXPECT_TRUE(dir().exists("rootSibling/empty"));
}

TEST_F(CleanupTest, FailuresAreCountedAndTheRunGoesOn)
{
    makeDir("start/a");
    makeDir("start/b");
    FaultyFileSystem fs;
    fs.fail(Op::rmdir, "/start/a", EBUSY);
    const auto result = SourceFileRenamer::cleanupEmptyDirectories(at("start"), root(), fs);
    EXPECT_THAT(result.removedDirectories, ElementsAre(at("start/b")));
    EXPECT_EQ(result.failureCount, 1);  // the start folder is not empty and is left alone silently
    EXPECT_GE(LogCapture::find("❌ Cleanup: failed to remove directory " + at("start/a") + ": Device or resource busy"), 0);
    EXPECT_GE(LogCapture::find("cleanupEmptyDirectories: removed 1, failed 1 of 3 directories evaluated"), 0);
}

TEST_F(CleanupTest, PrivilegedRemovalAfterAFailure)
{
    makeDir("start/a");
    write("start/b/.DS_Store");
    FaultyFileSystem fs;
    fs.fail(Op::rmdir, "/start/a", EACCES);
    fs.fail(Op::unlink, "/start/b/.DS_Store", EACCES);
    std::vector<std::string> asked;
    auto privileged = [&](const std::string& path) {
        asked.push_back(path);
        return SourceFileRenamer::PrivilegedReply {false, "refused"};
    };
    const auto result = SourceFileRenamer::cleanupEmptyDirectories(at("start"), root(), fs, privileged);
    EXPECT_THAT(asked, ElementsAre(at("start/a"), at("start/b/.DS_Store")));
    EXPECT_EQ(result.failureCount, 2);
    EXPECT_GE(LogCapture::find("❌ Cleanup: failed to remove directory " + at("start/a") + ": refused"), 0);
    EXPECT_GE(LogCapture::find("❌ Cleanup: could not clear metadata from " + at("start/b") + ", skipping"), 0);
}

}  // namespace
}  // namespace tess::test
