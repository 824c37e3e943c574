#include "scan/DirectoryWalker.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <map>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace tess {
namespace {

using test::TempDir;

// Relative path -> is-directory, for comparing outcomes regardless of order.
std::map<std::string, bool> relativeItems(const DirectoryWalker::Outcome& outcome, const std::string& root)
{
    std::map<std::string, bool> items;
    for (const auto& item : outcome.items) {
        EXPECT_EQ(item.path.rfind(root + "/", 0), 0U) << item.path;
        const bool fresh = items.emplace(item.path.substr(root.size() + 1), item.isDirectory).second;
        EXPECT_TRUE(fresh) << "listed twice: " << item.path;
    }
    return items;
}

class DirectoryWalkerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_tree.writeFile("visible.txt");
        m_tree.writeFile(".hidden");
        m_tree.writeFile(".hiddendir/inner.txt");
        m_tree.writeFile("App.app/Contents/Info.plist");
        m_tree.writeFile("Lib.FRAMEWORK/lib.so");
        m_tree.writeFile("notapackage.app");  // a file with a bundle extension is an item
        m_tree.writeFile("sub/a.txt");
        m_tree.writeFile("sub/b.tmp");
        m_tree.writeFile("sub/deeper/c.txt");
        m_tree.writeFile("node_modules/x.js");
        m_tree.writeFile("bad\xFFname.txt");
        ASSERT_EQ(symlink("sub", (m_tree / "link").c_str()), 0);
        ASSERT_EQ(symlink("/nonexistent", (m_tree / "dangling").c_str()), 0);
    }

    DirectoryWalker::Options options(std::size_t workers = 2) const
    {
        DirectoryWalker::Options o;
        o.workerCount = workers;
        o.excludePatterns = CompiledExcludePatterns::compile({"*.tmp", "node_modules"});
        return o;
    }

    const std::map<std::string, bool> m_expected {
        {"visible.txt", false},
        {"notapackage.app", false},
        {"sub", true},
        {"sub/a.txt", false},
        {"sub/deeper", true},
        {"sub/deeper/c.txt", false},
        {"bad\xFFname.txt", false},
        {"link", false},
        {"dangling", false},
    };
    TempDir m_tree;
};

TEST_F(DirectoryWalkerTest, SkipsHiddenPackagesAndExcludedAndNeverFollowsLinks)
{
    for (long long workers : {0LL, 1LL, 2LL, 8LL, 1000LL}) {
        const auto outcome = DirectoryWalker::walk(m_tree.path(), options(DirectoryWalker::clampWorkerCount(workers)));
        EXPECT_EQ(relativeItems(outcome, m_tree.path()), m_expected) << "workers " << workers;
        EXPECT_TRUE(outcome.unlistedFolders.empty());
        EXPECT_FALSE(outcome.rootUnlisted);
        EXPECT_FALSE(outcome.cancelled);
    }
}

TEST_F(DirectoryWalkerTest, RootWithTrailingSlashGivesTheSamePaths)
{
    const auto outcome = DirectoryWalker::walk(m_tree.path() + "/", options());
    EXPECT_EQ(relativeItems(outcome, m_tree.path()), m_expected);
}

TEST(DirectoryWalker, ClampsWorkerCountAndRecognisesPackages)
{
    EXPECT_EQ(DirectoryWalker::clampWorkerCount(-5), 1U);
    EXPECT_EQ(DirectoryWalker::clampWorkerCount(0), 1U);
    EXPECT_EQ(DirectoryWalker::clampWorkerCount(2), 2U);
    EXPECT_EQ(DirectoryWalker::clampWorkerCount(64), 64U);
    EXPECT_EQ(DirectoryWalker::clampWorkerCount(65), 64U);

    for (const char* name : {"A.app", "x.bundle", "y.Framework", "p.plugin", "k.kext", "i.pkg", "m.mpkg", "r.rtfd",
             "Photos Library.photoslibrary", "P.xcodeproj", "W.xcworkspace"}) {
        EXPECT_TRUE(DirectoryWalker::isPackageName(name)) << name;
    }
    for (const char* name : {"app", ".app", "x.apps", "x.app.bak", "x_app", "x.ap"}) {
        EXPECT_FALSE(DirectoryWalker::isPackageName(name)) << name;
    }
}

TEST_F(DirectoryWalkerTest, FolderThatCannotBeListedIsReportedAndTheRestIsWalked)
{
    auto o = options(3);
    o.openDirectory = [](int rootFd, const std::string& relative, const std::string& absolute) {
        if (relative == "sub/deeper") {
            return -EACCES;
        }
        return DirectoryWalker::openDirectoryDefault(rootFd, relative, absolute);
    };
    const auto outcome = DirectoryWalker::walk(m_tree.path(), o);
    auto expected = m_expected;
    expected.erase("sub/deeper/c.txt");
    EXPECT_EQ(relativeItems(outcome, m_tree.path()), expected);
    ASSERT_EQ(outcome.unlistedFolders.size(), 1U);
    EXPECT_EQ(outcome.unlistedFolders[0].path, m_tree / "sub/deeper");
    EXPECT_EQ(outcome.unlistedFolders[0].error, EACCES);
    EXPECT_FALSE(outcome.rootUnlisted);
}

// A folder removed (or replaced by a file) after its parent was listed, as
// other programs' temporary folders are, is gone, not unreadable.
TEST_F(DirectoryWalkerTest, FolderGoneBeforeItIsOpenedIsNotReportedAsUnlisted)
{
    for (const bool replacedByFile : {false, true}) {
        SCOPED_TRACE(replacedByFile ? "replaced by a file" : "removed");
        m_tree.writeFile("sub/deeper/c.txt");
        auto o = options(3);
        o.openDirectory = [this, replacedByFile](int rootFd, const std::string& relative, const std::string& absolute) {
            if (relative == "sub/deeper") {
                std::filesystem::remove_all(m_tree / "sub/deeper");
                if (replacedByFile) {
                    m_tree.writeFile("sub/deeper");
                }
            }
            return DirectoryWalker::openDirectoryDefault(rootFd, relative, absolute);
        };
        const auto outcome = DirectoryWalker::walk(m_tree.path(), o);
        auto expected = m_expected;
        expected.erase("sub/deeper/c.txt");
        expected.erase("sub/deeper");
        EXPECT_EQ(relativeItems(outcome, m_tree.path()), expected);
        EXPECT_TRUE(outcome.unlistedFolders.empty()) << outcome.unlistedFolders.front().error;
        EXPECT_FALSE(outcome.rootUnlisted);
        EXPECT_FALSE(outcome.cancelled);
        std::filesystem::remove_all(m_tree / "sub/deeper");
    }
}

TEST_F(DirectoryWalkerTest, WhatAWorkerThrowsEndsTheWalkAsFailedWithoutAPartialListing)
{
    const struct {
        const char* name;
        std::string thrower;  // the relative path whose opening throws ("" = the source folder)
        bool badAlloc;
    } cases[] = {
        {"runtime error in a subfolder", "sub", false},
        {"allocation failure deeper down", "sub/deeper", true},
        {"runtime error opening the source folder", "", false},
    };
    for (const auto& c : cases) {
        for (const std::size_t workers : {std::size_t {1}, std::size_t {4}}) {
            SCOPED_TRACE(std::string(c.name) + ", workers " + std::to_string(workers));
            auto o = options(workers);
            o.openDirectory = [&](int rootFd, const std::string& relative, const std::string& absolute) {
                if (relative == c.thrower) {
                    if (c.badAlloc) {
                        throw std::bad_alloc();
                    }
                    throw std::runtime_error("injected");
                }
                return DirectoryWalker::openDirectoryDefault(rootFd, relative, absolute);
            };
            const auto outcome = DirectoryWalker::walk(m_tree.path(), o);
            EXPECT_TRUE(outcome.failed);
            EXPECT_TRUE(outcome.cancelled);
            EXPECT_TRUE(outcome.rootUnlisted);
            EXPECT_EQ(outcome.rootError, EIO);
            EXPECT_TRUE(outcome.items.empty());

            // The next walk is whole.
            EXPECT_EQ(relativeItems(DirectoryWalker::walk(m_tree.path(), options(workers)), m_tree.path()), m_expected);
        }
    }
}

TEST_F(DirectoryWalkerTest, RootThatCannotBeListedIsReported)
{
    auto o = options();
    o.openDirectory = [](int, const std::string&, const std::string&) { return -EIO; };
    const auto outcome = DirectoryWalker::walk(m_tree.path(), o);
    EXPECT_TRUE(outcome.rootUnlisted);
    EXPECT_EQ(outcome.rootError, EIO);
    EXPECT_TRUE(outcome.items.empty());

    const auto missing = DirectoryWalker::walk(m_tree / "missing", options());
    EXPECT_TRUE(missing.rootUnlisted);
    EXPECT_EQ(missing.rootError, ENOENT);
}

TEST_F(DirectoryWalkerTest, CancellationStopsTheWalk)
{
    std::atomic<int> checks {0};
    auto o = options(1);
    o.isCancelled = [&] { return ++checks > 2; };
    const auto outcome = DirectoryWalker::walk(m_tree.path(), o);
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_LT(outcome.items.size(), m_expected.size());
}

TEST(DirectoryWalker, WalksPathsLongerThanTheSystemLimit)
{
    TempDir tree;
    const std::string component(200, 'd');
    int fd = open(tree.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    std::string relative;
    for (int level = 0; level < 25; ++level) {  // about 5,000 bytes
        ASSERT_EQ(mkdirat(fd, component.c_str(), 0755), 0);
        const int next = openat(fd, component.c_str(), O_RDONLY | O_DIRECTORY);
        close(fd);
        ASSERT_GE(next, 0);
        fd = next;
        relative += (relative.empty() ? "" : "/") + component;
    }
    const int file = openat(fd, "leaf.txt", O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(file, 0);
    close(file);
    close(fd);

    DirectoryWalker::Options o;
    const auto outcome = DirectoryWalker::walk(tree.path(), o);
    EXPECT_TRUE(outcome.unlistedFolders.empty());
    EXPECT_EQ(outcome.items.size(), 26U);
    const auto items = relativeItems(outcome, tree.path());
    EXPECT_TRUE(items.contains(relative + "/leaf.txt"));

    // Remove the deep tree from the bottom up (too long for one path).
    std::vector<std::string> levels;
    for (std::string p = relative; !p.empty();) {
        levels.push_back(p);
        const auto slash = p.rfind('/');
        p = slash == std::string::npos ? std::string() : p.substr(0, slash);
    }
    int rootFd = open(tree.path().c_str(), O_RDONLY | O_DIRECTORY);
    int deepest = DirectoryWalker::openDirectoryDefault(rootFd, relative, tree / relative);
    ASSERT_GE(deepest, 0);
    EXPECT_EQ(unlinkat(deepest, "leaf.txt", 0), 0);
    close(deepest);
    for (std::size_t i = 0; i + 1 < levels.size(); ++i) {
        const int parent = DirectoryWalker::openDirectoryDefault(rootFd, levels[i + 1], tree / levels[i + 1]);
        ASSERT_GE(parent, 0);
        EXPECT_EQ(unlinkat(parent, component.c_str(), AT_REMOVEDIR), 0);
        close(parent);
    }
    close(rootFd);
}

}  // namespace
}  // namespace tess
