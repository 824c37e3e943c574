#include "DaemonFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace tess::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class FileOperationsTest : public DaemonFixture {
protected:
    void SetUp() override
    {
        DaemonFixture::SetUp();
        startPolkit();
        startDaemon();
        handOverHome();
        m_dir->makeDir("tree/folder");
        m_dir->writeFile("tree/file", "file");
    }

    bool isDirectory(const std::string& relative) const
    {
        struct stat info { };
        return ::lstat((*m_dir / relative).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    }

    std::string finishedLog()
    {
        m_daemon->terminate();
        return readLog();
    }
};

TEST_F(FileOperationsTest, CreateDirectory)
{
    struct Case {
        const char* name;
        std::string path;
        HelperReply expected;
        const char* createdFolder;  // relative to the test folder, or null
    };
    const std::string root = m_dir->path();
    const Case cases[] = {
        {"existing folder", root + "/tree/folder", {true, "", ""}, "tree/folder"},
        {"file in the way", root + "/tree/file", {false, "A file already exists at the target directory path", ""}, nullptr},
        {"standardised path", root + "/tree//./a/../b", {true, "", ""}, "tree/b"},
        {"missing parent chain", root + "/tree/p/q/r", {true, "", ""}, "tree/p/q/r"},
        {"file as a parent", root + "/tree/file/sub", {false, "Could not create directory " + root + "/tree/file: Not a directory", ""}, nullptr},
        {"relative path", "tree/relative", {false, "Path is not absolute: tree/relative", ""}, nullptr},
        {"dangling symbolic link in the way", root + "/tree/dangling/sub", {false, "Refused to follow a symbolic link: " + root + "/tree/dangling", ""}, nullptr},
    };
    ASSERT_EQ(::symlink("/nonexistent/folder", (root + "/tree/dangling").c_str()), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto result = m_client->createDirectory(c.path, kTimeout);
        ASSERT_TRUE(result.ok());
        EXPECT_EQ(result.reply, c.expected);
        if (c.createdFolder != nullptr) {
            EXPECT_TRUE(isDirectory(c.createdFolder));
        }
    }
    EXPECT_FALSE(m_dir->exists("tree/a"));
    EXPECT_EQ(m_dir->readFile("tree/file"), "file");

    std::string log = finishedLog();
    EXPECT_THAT(log, HasSubstr("] [INFO] Request to create directory: " + root + "/tree//./a/../b\n"));
    EXPECT_THAT(log, HasSubstr("] [INFO] Successfully created directory: " + root + "/tree/b\n"));
    EXPECT_THAT(log, HasSubstr("] [DEBUG] Directory already exists at " + root + "/tree/folder\n"));
    EXPECT_THAT(log, HasSubstr("] [ERROR] Failed to create directory " + root + "/tree/file/sub: Could not create"));
    // A file in the way is answered, not logged.
    EXPECT_THAT(log, Not(HasSubstr("A file already exists")));
}

TEST_F(FileOperationsTest, Rename)
{
    const std::string root = m_dir->path();
    m_dir->writeFile("tree/move-me", "payload");
    m_dir->writeFile("tree/deep-me", "deep");
    m_dir->writeFile("tree/dotted", "dotted");
    m_dir->writeFile("tree/kept", "kept");
    m_dir->writeFile("tree/target", "target");
    ASSERT_EQ(::symlink("/nonexistent/target", (root + "/tree/dangling").c_str()), 0);

    struct Case {
        const char* name;
        std::string source;
        std::string destination;
        HelperReply expected;
    };
    const Case cases[] = {
        {"plain rename", root + "/tree/move-me", root + "/tree/moved", {true, "", ""}},
        {"missing parent chain", root + "/tree/deep-me", root + "/tree/n1/n2/deep", {true, "", ""}},
        {"parent named through a missing folder", root + "/tree/dotted", root + "/tree/m1/../m2/dotted", {true, "", ""}},
        {"missing source", root + "/tree/ghost", root + "/tree/g1/ghost", {false, "Source file does not exist: " + root + "/tree/ghost", ""}},
        {"existing target is never replaced", root + "/tree/kept", root + "/tree/target", {false, "File exists", ""}},
        {"dangling symbolic link is an item", root + "/tree/dangling", root + "/tree/link", {true, "", ""}},
        {"folder into itself: bare system text", root + "/tree/folder", root + "/tree/folder/inside", {false, "Invalid argument", ""}},
        {"relative destination", root + "/tree/kept", "kept-too", {false, "Path is not absolute: kept-too", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto result = m_client->renameFile(c.source, c.destination, kTimeout);
        ASSERT_TRUE(result.ok());
        EXPECT_EQ(result.reply, c.expected);
    }
    EXPECT_EQ(m_dir->readFile("tree/moved"), "payload");
    EXPECT_EQ(m_dir->readFile("tree/n1/n2/deep"), "deep");
    EXPECT_EQ(m_dir->readFile("tree/m2/dotted"), "dotted");
    EXPECT_FALSE(m_dir->exists("tree/g1")) << "a missing source creates nothing";
    EXPECT_EQ(m_dir->readFile("tree/kept"), "kept");
    EXPECT_EQ(m_dir->readFile("tree/target"), "target");
    char link[64] = {};
    EXPECT_GT(::readlink((root + "/tree/link").c_str(), link, sizeof link - 1), 0);
    EXPECT_TRUE(isDirectory("tree/folder"));

    std::string log = finishedLog();
    EXPECT_THAT(log, HasSubstr("] [INFO] Request to rename: " + root + "/tree/move-me \u2192 " + root + "/tree/moved\n"));
    EXPECT_THAT(log, HasSubstr("] [INFO] Successfully renamed: " + root + "/tree/move-me \u2192 " + root + "/tree/moved\n"));
    EXPECT_THAT(log, HasSubstr("] [ERROR] Failed to rename " + root + "/tree/kept: File exists\n"));
    EXPECT_THAT(log, Not(HasSubstr("Source file does not exist")));
}

TEST_F(FileOperationsTest, ANameWithLineBreaksIsLoggedAsOneEscapedLine)
{
    const std::string root = m_dir->path();
    const std::string name = "evil\n[2001-01-01 00:00:00.000] [INFO] forged\rend";
    m_dir->writeFile("tree/" + name, "x");
    auto result = m_client->renameFile(root + "/tree/" + name, root + "/tree/plain", kTimeout);
    ASSERT_TRUE(result.ok());
    EXPECT_TRUE(result.reply.success) << result.reply.message;

    std::string log = finishedLog();
    const std::string escaped = "evil\\n[2001-01-01 00:00:00.000] [INFO] forged\\x0Dend";
    EXPECT_THAT(log, HasSubstr("] [INFO] Request to rename: " + root + "/tree/" + escaped + " \u2192 " + root + "/tree/plain\n"));
    EXPECT_THAT(log, HasSubstr("] [INFO] Successfully renamed: " + root + "/tree/" + escaped + " \u2192 " + root + "/tree/plain\n"));
    EXPECT_THAT(log, Not(HasSubstr("\n[2001-01-01")));
    EXPECT_THAT(log, Not(HasSubstr("\r")));
}

TEST_F(FileOperationsTest, RenameReportsAParentItCannotCreate)
{
    const std::string root = m_dir->path();
    m_dir->writeFile("tree/source", "s");
    auto result = m_client->renameFile(root + "/tree/source", root + "/tree/file/below/name", kTimeout);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.reply.message, "Failed to create parent directory: Could not create directory " + root + "/tree/file: Not a directory");
    EXPECT_FALSE(result.reply.success);
    EXPECT_EQ(m_dir->readFile("tree/source"), "s");
}

}  // namespace
}  // namespace tess::test
