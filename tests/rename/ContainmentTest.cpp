// Moves and folder creations never reach outside the scan root, even when
// links inside the tree change during a batch, and a folder is never merged
// into itself.

#include "RenameTestSupport.h"

#include <filesystem>
#include <gmock/gmock.h>
#include <unistd.h>

namespace tess::test {
namespace {

using Reply = SourceFileRenamer::PrivilegedReply;
const std::string kDomain = kAppErrorDomain;

class ContainmentTest : public RenamerTest { };

// A link that once led to a folder inside the root is moved away and a link
// to a folder outside takes its name: a later move into that name must see
// where it leads now.
TEST_F(ContainmentTest, LinkSwappedDuringTheBatchIsResolvedAgain)
{
    TempDir outside;
    makeDir("real");
    write("real/a", "a");
    write("f", "data");
    ASSERT_EQ(::symlink("real", at("s").c_str()), 0);
    ASSERT_EQ(::symlink(outside.path().c_str(), at("evil").c_str()), 0);

    const auto result = SourceFileRenamer::renameFiles(
        {file("s/a", "s/b"), file("s", "t"), file("evil", "s"), file("f", "s/f")}, root(), kDomain);

    EXPECT_FALSE(outside.exists("f"));
    EXPECT_EQ(read("f"), "data");
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_EQ(result.failed[0].path, "f");
    EXPECT_EQ(read("real/b"), "a");
}

// A dangling link inside the tree whose target lies outside: nothing may be
// created through it, neither directly nor by the privileged callback (which
// creates missing parents the way the daemon does).
TEST_F(ContainmentTest, NothingIsCreatedThroughADanglingLink)
{
    TempDir outside;
    write("f", "data");
    ASSERT_EQ(::symlink((outside.path() + "/missing").c_str(), at("L").c_str()), 0);
    std::vector<std::string> asked;
    auto create = [&](const std::string& path) {
        asked.push_back(path);
        std::error_code ignored;
        std::filesystem::create_directories(path, ignored);
        return Reply {true, "ok"};
    };

    const auto result = SourceFileRenamer::renameFiles({file("f", "L/x/f")}, root(), kDomain, {}, create);

    EXPECT_TRUE(asked.empty());
    EXPECT_FALSE(outside.exists("missing"));
    EXPECT_EQ(read("f"), "data");
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_TRUE(result.renamed.empty());
    EXPECT_TRUE(result.createdDirectories.empty());
}

// The target names the source folder itself through a link: merging it into
// itself would remove its metadata files, its empty subfolders and finally
// the folder.
TEST_F(ContainmentTest, FolderIsNeverMergedIntoItself)
{
    makeDir("a/x/empty");
    write("a/x/.DS_Store", "meta");
    ASSERT_EQ(::symlink("a", at("s").c_str()), 0);

    const auto result = SourceFileRenamer::renameFiles({folder("a/x", "s/x")}, root(), kDomain);

    EXPECT_TRUE(exists("a/x/empty"));
    EXPECT_EQ(read("a/x/.DS_Store"), "meta");
    EXPECT_TRUE(result.mergedDirectories.empty());
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_EQ(result.failed[0].path, "a/x");
}

}  // namespace
}  // namespace tess::test
