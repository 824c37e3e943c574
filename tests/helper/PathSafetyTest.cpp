#include "DaemonFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <dirent.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace tess::test {
namespace {

using ::testing::HasSubstr;

// Every name below `path`, folders with a trailing "/", links as "name -> target".
std::set<std::string> listTree(const std::string& path, const std::string& prefix = "")
{
    std::set<std::string> names;
    DIR* folder = ::opendir(path.c_str());
    if (folder == nullptr)
        return names;
    while (dirent* entry = ::readdir(folder)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        std::string full = path + "/" + name;
        struct stat info { };
        ::lstat(full.c_str(), &info);
        if (S_ISDIR(info.st_mode)) {
            names.insert(prefix + name + "/");
            for (const auto& below : listTree(full, prefix + name + "/"))
                names.insert(below);
        } else {
            names.insert(prefix + name);
        }
    }
    ::closedir(folder);
    return names;
}

bool isLink(const std::string& path)
{
    struct stat info { };
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// A tree with a folder of another owner's (outside) and links to it planted
// where a rename as root would follow them.
class PathSafetyTest : public DaemonFixture {
protected:
    void SetUp() override
    {
        DaemonFixture::SetUp();
        startPolkit();
        m_root = m_dir->path();
        m_dir->writeFile("outside/secret", "secret");
        m_dir->writeFile("tree/real/file", "file");
        m_dir->writeFile("tree/real/other", "other");
        m_dir->writeFile("tree/middle/victim", "victim");
        ASSERT_EQ(::symlink((m_root + "/outside").c_str(), (m_root + "/tree/link").c_str()), 0);
        ASSERT_EQ(::symlink((m_root + "/outside/secret").c_str(), (m_root + "/tree/real/to-secret").c_str()), 0);
        m_outside = listTree(m_root + "/outside");
    }

    std::string m_root;
    std::set<std::string> m_outside;
};

TEST_F(PathSafetyTest, FollowsNoLinkInAnyComponent)
{
    // Between the checks and the rename, this swaps tree/middle for a link
    // to the outside folder (once).
    std::string swap = writeScript("swap", "case \"$1\" in */tree/middle/*)\n"
                                           "  [ -L '"
            + m_root + "/tree/middle' ] || { mv '" + m_root + "/tree/middle' '" + m_root + "/tree/middle.real' && ln -s '" + m_root + "/outside' '" + m_root + "/tree/middle'; } ;;\nesac\n");
    startDaemon({{"TESSALINE_HELPER_CHECKPOINT", swap}});
    const std::string linkRefusal = "Refused to follow a symbolic link: " + m_root + "/tree/link";

    enum class Operation { rename,
        createDirectory };
    struct Case {
        const char* name;
        Operation operation;
        std::string path;
        std::string destination;
        HelperReply expected;
    };
    const Case cases[] = {
        {"link as a middle component of the source", Operation::rename, m_root + "/tree/link/secret", m_root + "/tree/real/stolen",
            {false, linkRefusal, ""}},
        {"link as a middle component of the destination's parent", Operation::rename, m_root + "/tree/real/file",
            m_root + "/tree/link/sub/file", {false, linkRefusal, ""}},
        {"link as the destination's parent", Operation::rename, m_root + "/tree/real/other", m_root + "/tree/link/other",
            {false, linkRefusal, ""}},
        {"link in the middle of a folder to create", Operation::createDirectory, m_root + "/tree/link/made", "", {false, linkRefusal, ""}},
        {"a link as the last component is renamed itself", Operation::rename, m_root + "/tree/real/to-secret",
            m_root + "/tree/real/renamed-link", {true, "", ""}},
        {"a link as the folder to create is not followed", Operation::createDirectory, m_root + "/tree/link", "",
            {false, "A file already exists at the target directory path", ""}},
        {"folder swapped for a link after the checks", Operation::rename, m_root + "/tree/middle/victim",
            m_root + "/tree/middle/renamed", {true, "", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto result = c.operation == Operation::rename ? m_client->renameFile(c.path, c.destination, kTimeout)
                                                       : m_client->createDirectory(c.path, kTimeout);
        ASSERT_TRUE(result.ok());
        EXPECT_EQ(result.reply, c.expected);
        EXPECT_EQ(listTree(m_root + "/outside"), m_outside) << "nothing outside the named folders may change";
    }
    EXPECT_EQ(m_dir->readFile("tree/real/file"), "file");
    EXPECT_EQ(m_dir->readFile("tree/real/other"), "other");
    EXPECT_TRUE(isLink(m_root + "/tree/real/renamed-link"));
    EXPECT_EQ(m_dir->readFile("outside/secret"), "secret");
    // The swapped rename happened in the folder that was checked.
    ASSERT_TRUE(isLink(m_root + "/tree/middle"));
    EXPECT_EQ(m_dir->readFile("tree/middle.real/renamed"), "victim");
    EXPECT_FALSE(m_dir->exists("tree/middle.real/victim"));

    handOverHome();
    m_daemon->terminate();
    EXPECT_THAT(readLog(), HasSubstr("] [ERROR] Failed to rename " + m_root + "/tree/link/secret: " + linkRefusal + "\n"));
}

TEST_F(PathSafetyTest, RefusesTheKernelsOwnFileSystems)
{
    startDaemon();
    struct Case {
        const char* name;
        std::string path;
        std::string refused;  // the path the reply names
    };
    const Case cases[] = {
        {"/proc", "/proc/self/comm", "/proc/self/comm"},
        {"/sys", "/sys/kernel/tessaline-test", "/sys/kernel/tessaline-test"},
        {"/dev", "/dev/shm/tessaline-test", "/dev/shm/tessaline-test"},
        {"/dev itself", "/dev", "/dev"},
        {"reached through ..", m_root + "/../../proc/self/comm", "/proc/self/comm"},
    };
    m_dir->writeFile("tree/file", "file");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto made = m_client->createDirectory(c.path, kTimeout);
        EXPECT_EQ(made.reply, (HelperReply {false, "Refused a path under /proc, /sys or /dev: " + c.refused, ""}));
        auto moved = m_client->renameFile(m_root + "/tree/file", c.path, kTimeout);
        EXPECT_FALSE(moved.reply.success);
        EXPECT_THAT(moved.reply.message, HasSubstr("Refused a path under /proc, /sys or /dev: "));
        auto removed = m_client->removeDirectory(c.path, kTimeout);
        EXPECT_EQ(removed.reply, (HelperReply {false, "Refused a path under /proc, /sys or /dev: " + c.refused, ""}));
        auto applied = m_client->applyAttributes(m_root + "/tree", c.path, kTimeout);
        EXPECT_EQ(applied.reply, (HelperReply {false, "Refused a path under /proc, /sys or /dev: " + c.refused, ""}));
    }
    EXPECT_EQ(m_dir->readFile("tree/file"), "file");
    struct stat info { };
    EXPECT_NE(::lstat("/dev/shm/tessaline-test", &info), 0);
}

}  // namespace
}  // namespace tess::test
