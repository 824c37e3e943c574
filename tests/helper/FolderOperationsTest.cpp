// The daemon's folder operations for an administrator whose own rights fall
// short: a folder takes another folder's owner, group, mode, ACLs, `user.`
// attributes and times, and an empty folder in a folder the user cannot
// write is removed. The calls are made as the tester (uid 4242, an
// administrator here), as the application makes them.

#include "DaemonFixture.h"
#include "FolderMeta.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <acl/libacl.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <map>
#include <ostream>
#include <sys/acl.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace tess::test {
namespace {

using ::testing::HasSubstr;

constexpr uid_t kTester = 4242;
constexpr gid_t kTesterGroup = 65534;

bool isDirectory(const std::string& path)
{
    struct stat info { };
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isLink(const std::string& path)
{
    struct stat info { };
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

class FolderOperationsTest : public DaemonFixture {
protected:
    void SetUp() override
    {
        DaemonFixture::SetUp();
        m_root = m_dir->path();
        // The user's tree, in which the user makes folders of its own.
        m_dir->makeDir("tree");
        ASSERT_EQ(::chown(at("tree").c_str(), kTester, kTesterGroup), 0) << "the tests run as root";
        startPolkit();
        // The administrators' group is the tester's own group here.
        startDaemon({{"TESSALINE_HELPER_ADMIN_GROUP", "nogroup"}});
        handOverHome();
    }

    std::string at(const std::string& relative) const { return m_root + "/" + relative; }

    // Runs a system call as the tester: its errno, or 0.
    static int errorAsTester(const std::function<int()>& call)
    {
        auto result = asTester([&] {
            HelperCallResult outcome;
            outcome.reply.message = std::to_string(call() == 0 ? 0 : errno);
            return outcome;
        });
        return std::stoi(result.reply.message);
    }

    // Root's 2750 folder with an ACL for the tester, a default ACL, a user
    // attribute and old times: a folder the user could not give a stand-in.
    void makeRootsFolder(const std::string& relative)
    {
        const std::string path = at(relative);
        m_dir->makeDir(relative);
        ASSERT_EQ(::chmod(path.c_str(), 02750), 0);
        setAcl(path, ACL_TYPE_ACCESS, "u::rwx,u:4242:r-x,g::r-x,m::r-x,o::---");
        setAcl(path, ACL_TYPE_DEFAULT, "u::rwx,u:4242:rwx,g::r-x,m::rwx,o::---");
        ASSERT_EQ(::lsetxattr(path.c_str(), "user.note", "root's", 6, 0), 0) << std::strerror(errno);
        setOldTimes(path);
    }

    std::string m_root;
};

TEST_F(FolderOperationsTest, ApplyAttributesGivesAFolderEverythingOfAnotherOwnersFolder)
{
    // Root's folder, and the folder the user made in its place.
    makeRootsFolder("tree/Original");
    ASSERT_EQ(errorAsTester([&] { return ::mkdir(at("tree/Renamed").c_str(), 0755); }), 0);
    ASSERT_EQ(errorAsTester([&] { return ::chown(at("tree/Renamed").c_str(), 0, 0); }), EPERM) << "the user alone cannot";

    // The user's sticky 1700 folder with an attribute, and a folder the
    // daemon made for the user, as root, in a folder with a default ACL
    // (so it was made with ACLs the user's folder does not have).
    m_dir->makeDir("tree/Mine");
    ASSERT_EQ(::chmod(at("tree/Mine").c_str(), 01700), 0);
    ASSERT_EQ(::lsetxattr(at("tree/Mine").c_str(), "user.colour", "blue", 4, 0), 0);
    ASSERT_EQ(::chown(at("tree/Mine").c_str(), kTester, kTesterGroup), 0);
    setOldTimes(at("tree/Mine"));
    m_dir->makeDir("shared");
    setAcl(at("shared"), ACL_TYPE_DEFAULT, "u::rwx,u:12345:rwx,g::r-x,m::rwx,o::r-x");
    auto made = asTester([&] { return m_client->createDirectory(at("shared/Made"), kTimeout); });
    ASSERT_TRUE(made.reply.success) << made.reply.message;
    ASSERT_THAT(aclText(at("shared/Made"), ACL_TYPE_ACCESS), HasSubstr("user:12345:rwx"));

    struct Case {
        const char* name;
        std::string templatePath;
        std::string target;
    };
    const Case cases[] = {
        {"root's folder onto the user's", at("tree/Original"), at("tree/Renamed")},
        {"the user's folder onto root's", at("tree/Mine"), at("shared/Made")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const FolderMeta expected = metaOf(c.templatePath);
        ASSERT_NE(metaOf(c.target), expected);
        auto applied = asTester([&] { return m_client->applyAttributes(c.templatePath, c.target, kTimeout); });
        ASSERT_TRUE(applied.ok());
        EXPECT_EQ(applied.reply, (HelperReply {true, "", ""}));
        EXPECT_EQ(metaOf(c.target), expected);
        EXPECT_EQ(metaOf(c.templatePath), expected) << "the template is only read";
    }

    EXPECT_EQ(m_daemon->terminate(), 0);
    const std::string record = readFile(rootLogPath());
    const std::string copied = at("tree/Original") + " \u2192 " + at("tree/Renamed") + "\n";
    EXPECT_THAT(record, HasSubstr("] [INFO] [uid 4242] Request to apply attributes: " + copied));
    EXPECT_THAT(record, HasSubstr("] [INFO] [uid 4242] Successfully applied attributes: " + copied));
}

TEST_F(FolderOperationsTest, ApplyAttributesRefusesLinksAndWhatIsNotAFolder)
{
    makeRootsFolder("tree/Original");
    m_dir->makeDir("tree/Other");
    m_dir->makeDir("outside/Real");
    ::chmod(at("outside/Real").c_str(), 0711);
    m_dir->writeFile("tree/file", "file");
    ASSERT_EQ(::symlink(at("outside/Real").c_str(), at("tree/link").c_str()), 0);
    ASSERT_EQ(::symlink(at("outside").c_str(), at("tree/via").c_str()), 0);
    const std::string linkRefusal = "Refused to follow a symbolic link: ";

    struct Case {
        const char* name;
        std::string templatePath;
        std::string target;
        std::string message;
    };
    const Case cases[] = {
        {"the template is a link", at("tree/link"), at("tree/Other"), linkRefusal + at("tree/link")},
        {"the target is a link", at("tree/Original"), at("tree/link"), linkRefusal + at("tree/link")},
        {"a link in the middle of the target", at("tree/Original"), at("tree/via/Real"), linkRefusal + at("tree/via")},
        {"the template is a file", at("tree/file"), at("tree/Other"), "Not an existing folder: " + at("tree/file") + " (Not a directory)"},
        {"the target is a file", at("tree/Original"), at("tree/file"), "Not an existing folder: " + at("tree/file") + " (Not a directory)"},
        {"the target is missing", at("tree/Original"), at("tree/ghost"),
            "Not an existing folder: " + at("tree/ghost") + " (No such file or directory)"},
        {"a relative target", at("tree/Original"), "tree/Other", "Path is not absolute: tree/Other"},
        {"a target under /proc", at("tree/Original"), "/proc/self", "Refused a path under /proc, /sys or /dev: /proc/self"},
    };
    const FolderMeta real = metaOf(at("outside/Real"));
    const FolderMeta other = metaOf(at("tree/Other"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto applied = asTester([&] { return m_client->applyAttributes(c.templatePath, c.target, kTimeout); });
        ASSERT_TRUE(applied.ok());
        EXPECT_EQ(applied.reply, (HelperReply {false, c.message, ""}));
        EXPECT_EQ(metaOf(at("outside/Real")), real);
        EXPECT_EQ(metaOf(at("tree/Other")), other);
    }
    EXPECT_EQ(m_dir->readFile("tree/file"), "file");

    EXPECT_EQ(m_daemon->terminate(), 0);
    EXPECT_THAT(readFile(rootLogPath()), HasSubstr("] [ERROR] [uid 4242] Failed to apply attributes " + at("tree/Original") + " \u2192 " + at("tree/link") + ": " + linkRefusal + at("tree/link") + "\n"));
}

TEST_F(FolderOperationsTest, ApplyAttributesFailsWhenTheOwnerCannotBeSet)
{
    makeRootsFolder("tree/Original");
    m_dir->makeDir("tree/Frozen");
    ASSERT_EQ(::chown(at("tree/Frozen").c_str(), kTester, kTesterGroup), 0);
    const FolderMeta before = metaOf(at("tree/Frozen"));
    struct Immutable {
        int fd;
        int flags = 0;
        bool set = false;
        explicit Immutable(const std::string& path)
            : fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
        {
            if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
                int immutable = flags | FS_IMMUTABLE_FL;
                set = ::ioctl(fd, FS_IOC_SETFLAGS, &immutable) == 0;
            }
        }
        ~Immutable()
        {
            if (set)
                ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
            ::close(fd);
        }
    } frozen(at("tree/Frozen"));
    if (!frozen.set)
        GTEST_SKIP() << "this file system has no immutable flag";

    auto applied = asTester([&] { return m_client->applyAttributes(at("tree/Original"), at("tree/Frozen"), kTimeout); });
    EXPECT_EQ(applied.reply, (HelperReply {false, "Failed to set owner and group of " + at("tree/Frozen") + ": Operation not permitted", ""}));
    EXPECT_EQ(metaOf(at("tree/Frozen")), before);
}

// A file system without ACLs or extended attributes of any kind.
class RamFs {
public:
    explicit RamFs(const std::string& path)
        : m_path(path)
        , m_mounted(::mount("none", path.c_str(), "ramfs", 0, nullptr) == 0)
    {
    }
    ~RamFs()
    {
        if (m_mounted)
            ::umount2(m_path.c_str(), MNT_DETACH);
    }
    RamFs(const RamFs&) = delete;
    RamFs& operator=(const RamFs&) = delete;
    bool mounted() const { return m_mounted; }

private:
    std::string m_path;
    bool m_mounted;
};

TEST_F(FolderOperationsTest, ApplyAttributesOntoAFileSystemWithoutAclsSetsOwnerAndModeAndNamesTheRest)
{
    makeRootsFolder("tree/Original");
    m_dir->makeDir("ram");
    RamFs ram(at("ram"));
    if (!ram.mounted())
        GTEST_SKIP() << "ramfs cannot be mounted here";
    m_dir->makeDir("ram/Made");
    ASSERT_EQ(::chown(at("ram/Made").c_str(), kTester, kTesterGroup), 0);

    auto applied = asTester([&] { return m_client->applyAttributes(at("tree/Original"), at("ram/Made"), kTimeout); });
    EXPECT_EQ(applied.reply, (HelperReply {true, "Owner, group and mode were applied, but not: access ACL: Operation not supported; default ACL: "
                                                 "Operation not supported; extended attribute user.note: Operation not supported",
                                 ""}));
    const FolderMeta original = metaOf(at("tree/Original"));
    const FolderMeta made = metaOf(at("ram/Made"));
    EXPECT_EQ(made.uid, original.uid);
    EXPECT_EQ(made.gid, original.gid);
    EXPECT_EQ(made.mode, original.mode);
    EXPECT_TRUE(made.attributes.empty());
    EXPECT_EQ(made.modified.tv_sec, kOldModification.tv_sec) << "the times come after what failed";
    EXPECT_EQ(made.modified.tv_nsec, kOldModification.tv_nsec);

    EXPECT_EQ(m_daemon->terminate(), 0);
    EXPECT_THAT(readFile(rootLogPath()), HasSubstr("] [ERROR] [uid 4242] Applied attributes in part: " + at("tree/Original") + " \u2192 " + at("ram/Made") + "; not copied: access ACL: Operation not supported; "));
}

TEST_F(FolderOperationsTest, RemoveDirectoryRemovesOnlyAnEmptyFolderAndNeverALink)
{
    // Root's 0755 folder inside the user's tree: the user cannot remove
    // anything in it.
    m_dir->makeDir("tree/locked/empty");
    m_dir->makeDir("tree/locked/also-empty");
    m_dir->writeFile("tree/locked/full/kept", "kept");
    m_dir->writeFile("tree/locked/file", "file");
    m_dir->makeDir("outside/linked");
    ASSERT_EQ(::chmod(at("tree/locked").c_str(), 0755), 0);
    ASSERT_EQ(::symlink(at("outside/linked").c_str(), at("tree/locked/link").c_str()), 0);
    ASSERT_EQ(::symlink(at("tree/locked").c_str(), at("tree/via").c_str()), 0);
    ASSERT_EQ(errorAsTester([&] { return ::rmdir(at("tree/locked/empty").c_str()); }), EACCES) << "the user alone cannot";

    struct Case {
        const char* name;
        std::string path;
        HelperReply expected;
    };
    const Case cases[] = {
        {"an empty folder in root's folder", at("tree/locked/empty"), {true, "", ""}},
        {"a folder with a file in it", at("tree/locked/full"), {false, "Directory not empty", ""}},
        {"a link to an empty folder", at("tree/locked/link"), {false, "Refused to follow a symbolic link: " + at("tree/locked/link"), ""}},
        {"a link in the middle", at("tree/via/also-empty"), {false, "Refused to follow a symbolic link: " + at("tree/via"), ""}},
        {"a file", at("tree/locked/file"), {false, "Not an existing folder: " + at("tree/locked/file") + " (Not a directory)", ""}},
        {"a missing folder", at("tree/locked/ghost"), {false, "Not an existing folder: " + at("tree/locked/ghost") + " (No such file or directory)", ""}},
        {"the root of everything", "/", {false, "Refused to remove a mount point: /", ""}},
        {"a relative path", "tree/locked/also-empty", {false, "Path is not absolute: tree/locked/also-empty", ""}},
        {"a folder under /dev", "/dev/shm", {false, "Refused a path under /proc, /sys or /dev: /dev/shm", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto removed = asTester([&] { return m_client->removeDirectory(c.path, kTimeout); });
        ASSERT_TRUE(removed.ok());
        EXPECT_EQ(removed.reply, c.expected);
    }
    EXPECT_FALSE(m_dir->exists("tree/locked/empty"));
    EXPECT_EQ(m_dir->readFile("tree/locked/full/kept"), "kept");
    EXPECT_TRUE(isLink(at("tree/locked/link")));
    EXPECT_TRUE(isDirectory(at("outside/linked")));
    EXPECT_TRUE(isDirectory(at("tree/locked/also-empty")));
    EXPECT_EQ(m_dir->readFile("tree/locked/file"), "file");

    EXPECT_EQ(m_daemon->terminate(), 0);
    const std::string record = readFile(rootLogPath());
    EXPECT_THAT(record, HasSubstr("] [INFO] [uid 4242] Request to remove directory: " + at("tree/locked/empty") + "\n"));
    EXPECT_THAT(record, HasSubstr("] [INFO] [uid 4242] Successfully removed directory: " + at("tree/locked/empty") + "\n"));
    EXPECT_THAT(record, HasSubstr("] [ERROR] [uid 4242] Failed to remove directory " + at("tree/locked/full") + ": Directory not empty\n"));
}

TEST_F(FolderOperationsTest, RemoveDirectoryRefusesAMountPoint)
{
    // A bind mount within one file system: the device numbers are equal.
    m_dir->makeDir("tree/source");
    m_dir->makeDir("tree/mounted");
    if (::mount(at("tree/source").c_str(), at("tree/mounted").c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "bind mounts are not possible here";
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount {at("tree/mounted")};

    auto removed = asTester([&] { return m_client->removeDirectory(at("tree/mounted"), kTimeout); });
    EXPECT_EQ(removed.reply, (HelperReply {false, "Refused to remove a mount point: " + at("tree/mounted"), ""}));
    EXPECT_TRUE(isDirectory(at("tree/mounted")));
}

TEST_F(FolderOperationsTest, AFolderSwappedForALinkAfterTheChecksIsNotFollowed)
{
    // Between the checks and the change, the folder holding the item named
    // in either path is swapped for a link to the outside folder (once).
    const std::string swap = writeScript("swap", "for p in \"$1\" \"$2\"; do\n"
                                                 "  case \"$p\" in */swapped/*)\n"
                                                 "    d=\"${p%/*}\"\n"
                                                 "    [ -L \"$d\" ] || { mv \"$d\" \"$d.real\" && ln -s '"
            + at("outside") + "' \"$d\"; } ;;\n"
                              "  esac\n"
                              "done\n");
    m_daemon->terminate();
    startDaemon({{"TESSALINE_HELPER_ADMIN_GROUP", "nogroup"}, {"TESSALINE_HELPER_CHECKPOINT", swap}});
    makeRootsFolder("tree/Original");
    m_dir->makeDir("tree/a/swapped/empty");
    m_dir->makeDir("tree/b/swapped/Target");
    m_dir->makeDir("outside/empty");
    m_dir->makeDir("outside/Target");
    const FolderMeta outside = metaOf(at("outside/Target"));

    auto removed = asTester([&] { return m_client->removeDirectory(at("tree/a/swapped/empty"), kTimeout); });
    EXPECT_EQ(removed.reply, (HelperReply {true, "", ""}));
    auto applied = asTester([&] { return m_client->applyAttributes(at("tree/Original"), at("tree/b/swapped/Target"), kTimeout); });
    EXPECT_EQ(applied.reply, (HelperReply {true, "", ""}));

    ASSERT_TRUE(isLink(at("tree/a/swapped")));
    ASSERT_TRUE(isLink(at("tree/b/swapped")));
    // Both acted in the folders that were checked; the outside is as it was.
    EXPECT_FALSE(m_dir->exists("tree/a/swapped.real/empty"));
    EXPECT_TRUE(isDirectory(at("outside/empty")));
    EXPECT_EQ(metaOf(at("tree/b/swapped.real/Target")), metaOf(at("tree/Original")));
    EXPECT_EQ(metaOf(at("outside/Target")), outside);
}

}  // namespace
}  // namespace tess::test
