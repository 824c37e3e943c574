#include "DaemonFixture.h"

#include "DiskImageOutput.h"
#include "DiskImageTool.h"
#include "LoopDevices.h"
#include "MountTable.h"
#include "TestEnvironment.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace tess::test {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;

// Whether process `pid` has ended (gone, or a zombie nobody reaped yet).
bool processGone(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string state;
    std::getline(stat, state);
    return state.empty() || state.find(") Z") != std::string::npos;
}

std::string plist(const std::string& entities)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
           "<key>system-entities</key><array>"
        + entities + "</array></dict></plist>\n";
}

TEST(DiskImageOutputTest, FindsTheFirstEntityWithAMountPoint)
{
    using Outcome = DiskImageOutput::Outcome;
    struct Case {
        const char* name;
        std::string output;
        Outcome outcome;
        std::string mountPoint;
    };
    const Case cases[] = {
        {"several entities",
            plist("<dict><key>dev-entry</key><string>/dev/loop0</string></dict>"
                  "<dict><key>mount-point</key><integer>3</integer></dict>"
                  "<dict><key>mount-point</key><string>/mnt/second</string></dict>"
                  "<dict><key>mount-point</key><string>/mnt/third</string></dict>"),
            Outcome::mounted, "/mnt/second"},
        {"written by our tool", DiskImageTool::plistForEntity("/dev/loop7", "/run/x/a & b <c>"), Outcome::mounted, "/run/x/a & b <c>"},
        {"no entity", plist(""), Outcome::noMountPoint, ""},
        {"no entity with a mount point", plist("<dict><key>dev-entry</key><string>/dev/loop0</string></dict>"), Outcome::noMountPoint, ""},
        {"an entity that is no dictionary", plist("<string>/mnt/x</string>"), Outcome::unreadable, ""},
        {"entities not an array", "<plist version=\"1.0\"><dict><key>system-entities</key><string>x</string></dict></plist>", Outcome::unreadable, ""},
        {"no entities key", "<plist version=\"1.0\"><dict/></plist>", Outcome::unreadable, ""},
        {"top level not a dictionary", "<plist version=\"1.0\"><array/></plist>", Outcome::unreadable, ""},
        {"garbage", "mounted somewhere, probably\n", Outcome::unreadable, ""},
        {"truncated", plist("<dict><key>mount-point</key><string>/mnt/x</string></dict>").substr(0, 90), Outcome::unreadable, ""},
        {"empty", "", Outcome::unreadable, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto parsed = DiskImageOutput::parse(c.output);
        EXPECT_EQ(parsed.outcome, c.outcome);
        EXPECT_EQ(parsed.mountPoint, c.mountPoint);
    }
}

TEST(MountTableTest, ReadsSourcesAndDecodesMountPoints)
{
    auto table = MountTable::parse(
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "98 22 7:3 / /run/tessaline-diskimage/My\\040Disk rw,nosuid,nodev - ext4 /dev/loop3 rw\n"
        "99 22 0:50 / /tmp rw master:2 - tmpfs tmpfs rw\n"
        "broken line\n");
    ASSERT_EQ(table.mounts().size(), 3u);
    const auto* disk = table.findByMountPoint("/run/tessaline-diskimage/My Disk");
    ASSERT_NE(disk, nullptr);
    EXPECT_EQ(disk->source, "/dev/loop3");
    EXPECT_EQ(table.findBySource("/dev/sda1").size(), 1u);
    EXPECT_EQ(table.findByMountPoint("/nowhere"), nullptr);
}

TEST(DiskImageToolTest, RefusesToDetachWhatIsNoDiskImage)
{
    DiskImageTool tool("/run/tessaline-diskimage-test");
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(tool.run({"detach", "/", "-quiet", "-force"}, out, err), 1);
    EXPECT_THAT(err.str(), HasSubstr("is not an attached disk image"));
    EXPECT_EQ(tool.run({"detach", "/proc", "-quiet", "-force"}, out, err), 1);
    EXPECT_EQ(tool.run({"attach", "/x", "-bogus"}, out, err), 1);
}

TEST(DiskImageToolTest, AttachesTheFileItCheckedWhateverTakesItsPlace)
{
    TempDir dir;
    const std::string image = dir / "image.img";
    dir.writeFile("image.img", "checked image");
    dir.writeFile("decoy", "decoy device");
    // This losetup puts a link to another file in the image's place before
    // it reads what it was given, as the owner of the folder could.
    dir.writeFile("bin/losetup", "#!/bin/sh\n"
                                 "mv '"
            + image + "' '" + image + ".moved' && ln -s '" + (dir / "decoy") + "' '" + image + "'\n"
                                                                                               "cat \"$3\" > '"
            + (dir / "attached") + "'\n"
                                   "echo /dev/loop99\n");
    dir.writeFile("bin/mount", "#!/bin/sh\nexit 0\n");
    ::chmod((dir / "bin/losetup").c_str(), 0755);
    ::chmod((dir / "bin/mount").c_str(), 0755);
    const char* path = std::getenv("PATH");
    ScopedEnv fakes("PATH", dir / "bin" + ":" + (path != nullptr ? path : "/usr/bin:/bin"));

    DiskImageTool tool(dir / "mounts");
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(tool.run({"attach", image, "-owners", "on", "-nobrowse", "-plist"}, out, err), 0) << err.str();
    EXPECT_EQ(dir.readFile("attached"), "checked image");
    EXPECT_EQ(DiskImageOutput::parse(out.str()).mountPoint, dir / "mounts/image");

    // Something that is no regular file is refused without being opened (a
    // FIFO without a writer would block the open for ever).
    ASSERT_EQ(::mkfifo((dir / "fifo.img").c_str(), 0644), 0);
    std::ostringstream fifoErr;
    EXPECT_EQ(tool.run({"attach", dir / "fifo.img", "-plist"}, out, fifoErr), 1);
    EXPECT_THAT(fifoErr.str(), HasSubstr("not a disk image file"));
}

class DiskImageDaemonTest : public DaemonFixture {
protected:
    void SetUp() override
    {
        DaemonFixture::SetUp();
        m_dir->writeFile("image.dmg", "not really an image");
        m_tool = *m_dir / "tool";
        startPolkit();
        startDaemon({{"TESSALINE_DISKIMAGE_TOOL", m_tool}});
    }

    // The fake tool records its arguments, one per line, then runs `body`.
    void setTool(const std::string& body) const
    {
        writeScript("tool", "for a in \"$@\"; do echo \"$a\"; done > \"" + (*m_dir / "args") + "\"\n" + body);
    }

    std::string m_tool;
};

TEST_F(DiskImageDaemonTest, Attach)
{
    const std::string image = *m_dir / "image.dmg";
    const std::string several = plist("<dict><key>dev-entry</key><string>/dev/loop0</string></dict>"
                                      "<dict><key>mount-point</key><string>/mnt/first</string></dict>"
                                      "<dict><key>mount-point</key><string>/mnt/second</string></dict>");
    struct Case {
        const char* name;
        std::string body;  // empty: no tool at all
        std::string path;
        HelperReply expected;
    };
    const Case cases[] = {
        {"several entities", "cat <<'EOF'\n" + several + "EOF\n", image, {true, "/mnt/first", ""}},
        {"standardised path", "cat <<'EOF'\n" + several + "EOF\n", m_dir->path() + "/./x/..//image.dmg", {true, "/mnt/first", ""}},
        {"non-zero exit", "echo 'no such device' >&2\nexit 3\n", image, {false, "tessaline-diskimage attach failed: no such device\n", ""}},
        {"error text not UTF-8", "printf 'bad \\377\\n' >&2\nexit 1\n", image, {false, "tessaline-diskimage attach failed: unknown error", ""}},
        {"garbage output", "echo 'attached, I think'\n", image, {false, "Failed to parse mount point from tessaline-diskimage output", ""}},
        {"no mount point", "cat <<'EOF'\n" + plist("") + "EOF\n", image, {false, "Image attached but no mount point found", ""}},
        {"missing image", "exit 0\n", *m_dir / "missing.dmg", {false, "Disk image not found: " + (*m_dir / "missing.dmg"), ""}},
        {"missing program", "", image, {false, "Failed to launch tessaline-diskimage: No such file or directory", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ::unlink(m_tool.c_str());
        ::unlink((*m_dir / "args").c_str());
        if (!c.body.empty())
            setTool(c.body);
        auto result = m_client->mountDiskImage(c.path, kTimeout);
        ASSERT_TRUE(result.ok());
        EXPECT_EQ(result.reply, c.expected);
    }
    // The last run that reached the tool passed the arguments in order.
    setTool("exit 1\n");
    m_client->mountDiskImage(m_dir->path() + "//image.dmg", kTimeout);
    EXPECT_EQ(m_dir->readFile("args"), "attach\n" + image + "\n-owners\non\n-nobrowse\n-plist\n");

    m_client->initializeForUser(m_home, kTimeout);
    m_daemon->terminate();
    std::string log = readLog();
    EXPECT_THAT(log, HasSubstr("] [INFO] Request to mount disk image with ownership: " + image + "\n"));
    EXPECT_THAT(log, HasSubstr("] [INFO] Successfully mounted " + image + " at /mnt/first with ownership enabled\n"));
    EXPECT_THAT(log, HasSubstr("] [ERROR] Failed to parse tessaline-diskimage plist output\n"));
    EXPECT_THAT(log, HasSubstr("] [ERROR] No mount point found in tessaline-diskimage output\n"));
    // The tool's line feed is written escaped: one entry stays one line.
    EXPECT_THAT(log, HasSubstr("] [ERROR] tessaline-diskimage attach failed: no such device\\n\n"));
}

TEST_F(DiskImageDaemonTest, Detach)
{
    setTool("exit 0\n");
    auto ok = m_client->unmountDiskImage("/mnt/disk", kTimeout);
    ASSERT_TRUE(ok.ok());
    EXPECT_EQ(ok.reply, (HelperReply {true, "", ""}));
    EXPECT_EQ(m_dir->readFile("args"), "detach\n/mnt/disk\n-quiet\n-force\n");

    setTool("echo 'resource busy' >&2\nexit 16\n");
    EXPECT_EQ(m_client->unmountDiskImage("/mnt/disk", kTimeout).reply,
        (HelperReply {false, "tessaline-diskimage detach failed: resource busy\n", ""}));

    ::unlink(m_tool.c_str());
    EXPECT_EQ(m_client->unmountDiskImage("/mnt/disk", kTimeout).reply,
        (HelperReply {false, "Failed to launch tessaline-diskimage: No such file or directory", ""}));

    m_client->initializeForUser(m_home, kTimeout);
    m_daemon->terminate();
    std::string log = readLog();
    EXPECT_THAT(log, HasSubstr("] [INFO] Successfully unmounted: /mnt/disk\n"));
    EXPECT_THAT(log, HasSubstr("] [ERROR] Failed to launch tessaline-diskimage detach: No such file or directory\n"));
}

TEST_F(DaemonFixture, StopsADiskImageProgramThatRunsPastItsTimeLimit)
{
    // The tool hangs in a program of its own, as a stuck mount would (the
    // cleanup the daemon asks for after a stopped attach finds nothing).
    const std::string grandchild = *m_dir / "grandchild";
    std::string tool = writeScript("hanging-tool", "[ \"$1\" = cleanup ] && exit 0\nsleep 30 &\necho $! > '" + grandchild + "'\nwait\n");
    m_dir->writeFile("image.img", "");
    startPolkit();
    startDaemon({{"TESSALINE_DISKIMAGE_TOOL", tool}, {"TESSALINE_HELPER_CHILD_TIME_LIMIT", "1"}});

    struct Case {
        const char* name;
        std::function<HelperCallResult()> call;
        std::string message;
    };
    const Case cases[] = {
        {"attach", [&] { return m_client->mountDiskImage(*m_dir / "image.img", kTimeout); },
            "tessaline-diskimage attach failed: stopped after 1 s without an answer"},
        {"detach", [&] { return m_client->unmountDiskImage("/mnt/hanging", kTimeout); },
            "tessaline-diskimage detach failed: stopped after 1 s without an answer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ::unlink(grandchild.c_str());
        auto start = std::chrono::steady_clock::now();
        auto result = c.call();
        auto elapsed = std::chrono::steady_clock::now() - start;
        ASSERT_TRUE(result.ok());
        EXPECT_EQ(result.reply, (HelperReply {false, c.message, ""}));
        EXPECT_GE(elapsed, std::chrono::milliseconds(1000));
        EXPECT_LT(elapsed, std::chrono::milliseconds(2000)) << "the reply must come within the limit and a second";
        // The program the tool started went with it. It was killed with its
        // group; on a busy machine it may not have been scheduled to die yet
        // when the reply comes, so its end is awaited (a sleep that was never
        // killed stays asleep for 30 s and fails this).
        pid_t pid = static_cast<pid_t>(std::stol(m_dir->readFile("grandchild")));
        std::string state;
        const auto gone = [&] {
            state.clear();
            std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
            std::getline(stat, state);
            return state.empty() || state.find(") Z") != std::string::npos;
        };
        EXPECT_TRUE(waitUntil(gone, std::chrono::seconds(5))) << state;
    }
    EXPECT_TRUE(m_client->testConnection(kTimeout).reply.success);
}

// The real program on a real ext4 image, where loop devices can be used.
TEST_F(DaemonFixture, RealToolAttachesAndDetachesAnExt4Image)
{
    const std::string image = *m_dir / "volume.img";
    std::string make = "truncate -s 4M '" + image + "' && mkfs.ext4 -q -F '" + image + "' >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0)
        GTEST_SKIP() << "mkfs.ext4 is not available";
    startPolkit();
    startDaemon({{"TESSALINE_DISKIMAGE_TOOL", TESSALINE_DISKIMAGE_BINARY},
        {"TESSALINE_DISKIMAGE_MOUNT_BASE", *m_dir / "mounts"}});
    auto attached = m_client->mountDiskImage(image, kTimeout);
    ASSERT_TRUE(attached.ok());
    if (!attached.reply.success && attached.reply.message.find("losetup") != std::string::npos)
        GTEST_SKIP() << "loop devices are not usable here: " << attached.reply.message;
    ASSERT_TRUE(attached.reply.success) << attached.reply.message;
    EXPECT_EQ(attached.reply.message, *m_dir / "mounts/volume");
    EXPECT_TRUE(m_dir->exists("mounts/volume/lost+found"));
    EXPECT_NE(MountTable::read().findByMountPoint(attached.reply.message), nullptr);

    auto detached = m_client->unmountDiskImage(attached.reply.message, kTimeout);
    EXPECT_TRUE(detached.reply.success) << detached.reply.message;
    EXPECT_EQ(MountTable::read().findByMountPoint(attached.reply.message), nullptr);
    EXPECT_FALSE(m_dir->exists("mounts/volume"));
}

// A real ext4 image and the real program, where loop devices can be used.
class RealDiskImageTest : public DaemonFixture {
protected:
    void SetUp() override
    {
        DaemonFixture::SetUp();
        m_image = *m_dir / "volume.img";
        std::string make = "truncate -s 4M '" + m_image + "' && mkfs.ext4 -q -F '" + m_image + "' >/dev/null 2>&1";
        if (std::system(make.c_str()) != 0)
            GTEST_SKIP() << "mkfs.ext4 is not available";
        startPolkit();
    }

    void TearDown() override
    {
        // Whatever a failed test left attached goes.
        for (const auto& device : backingDevices()) {
            for (const auto* mount : MountTable::read().findBySource(device))
                std::system(("umount -l '" + mount->mountPoint + "'").c_str());
            std::system(("losetup --detach " + device + " 2>/dev/null").c_str());
        }
    }

    void startWithRealTool(const DaemonProcess::Environment& extra = {})
    {
        DaemonProcess::Environment environment {{"TESSALINE_DISKIMAGE_TOOL", TESSALINE_DISKIMAGE_BINARY},
            {"TESSALINE_DISKIMAGE_MOUNT_BASE", *m_dir / "mounts"}};
        for (const auto& [name, value] : extra)
            environment[name] = value;
        startDaemon(environment);
    }

    std::vector<std::string> backingDevices() const
    {
        struct stat info { };
        if (m_image.empty() || ::stat(m_image.c_str(), &info) != 0)
            return {};
        return LoopDevices::backedBy(info.st_dev, info.st_ino);
    }

    // Whether every device of the image is gone within a few seconds: the
    // kernel lets a detached device go only once the last one that opened
    // it (udev probing it after the unmount, say) has closed it.
    bool devicesReleased() const
    {
        return waitUntil([&] { return backingDevices().empty(); }, 5s);
    }

    std::string m_image;
};

TEST_F(RealDiskImageTest, AnImageAttachedTwiceIsMountedOnce)
{
    startWithRealTool();
    auto first = m_client->mountDiskImage(m_image, kTimeout);
    ASSERT_TRUE(first.ok());
    if (!first.reply.success && first.reply.message.find("losetup") != std::string::npos)
        GTEST_SKIP() << "loop devices are not usable here: " << first.reply.message;
    ASSERT_TRUE(first.reply.success) << first.reply.message;

    // Again, and under another name of the same file: the same mount.
    ASSERT_EQ(::link(m_image.c_str(), (*m_dir / "same.img").c_str()), 0);
    for (const std::string& path : {m_image, m_image, *m_dir / "same.img"}) {
        SCOPED_TRACE(path);
        auto again = m_client->mountDiskImage(path, kTimeout);
        ASSERT_TRUE(again.ok());
        EXPECT_EQ(again.reply, (HelperReply {true, first.reply.message, ""}));
    }
    auto devices = backingDevices();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(MountTable::read().findBySource(devices.front()).size(), 1u);

    // Mounted elsewhere by someone else: refused, not mounted again.
    auto detached = m_client->unmountDiskImage(first.reply.message, kTimeout);
    EXPECT_TRUE(detached.reply.success) << detached.reply.message;
    EXPECT_TRUE(devicesReleased());
    m_dir->makeDir("elsewhere");
    ASSERT_EQ(std::system(("mount -o loop '" + m_image + "' '" + (*m_dir / "elsewhere") + "'").c_str()), 0);
    ASSERT_EQ(backingDevices().size(), 1u);
    auto refused = m_client->mountDiskImage(m_image, kTimeout);
    EXPECT_FALSE(refused.reply.success);
    EXPECT_THAT(refused.reply.message, HasSubstr(" is already attached as /dev/loop"));
    EXPECT_EQ(backingDevices().size(), 1u);
    ASSERT_EQ(std::system(("umount '" + (*m_dir / "elsewhere") + "'").c_str()), 0);
}

TEST_F(RealDiskImageTest, ADeviceOfTheImageThatNothingHoldsDoesNotBlockTheNextAttach)
{
    startWithRealTool();
    // Attached without a mount, as an attach killed after losetup leaves it.
    ASSERT_EQ(std::system(("losetup --find '" + m_image + "' 2>/dev/null").c_str()), 0);
    // The kernel lists the device's backing file a moment after losetup returns.
    ASSERT_TRUE(waitUntil([&] { return !backingDevices().empty(); }, 5s));
    m_dir->makeDir("mounts/volume");

    auto attached = m_client->mountDiskImage(m_image, kTimeout);
    ASSERT_TRUE(attached.ok());
    ASSERT_TRUE(attached.reply.success) << attached.reply.message;
    EXPECT_EQ(attached.reply.message, *m_dir / "mounts/volume") << "the folder left behind is used again";
    const auto devices = backingDevices();
    ASSERT_EQ(devices.size(), 1u) << "the device left behind was detached";
    EXPECT_EQ(MountTable::read().findBySource(devices.front()).size(), 1u);
    EXPECT_TRUE(m_client->unmountDiskImage(attached.reply.message, kTimeout).reply.success);
    EXPECT_TRUE(devicesReleased());
}

TEST_F(RealDiskImageTest, ADeviceOfTheImageThatAProgramHasOpenRefusesTheAttach)
{
    startWithRealTool();
    ASSERT_EQ(std::system(("losetup --find '" + m_image + "' 2>/dev/null").c_str()), 0);
    ASSERT_TRUE(waitUntil([&] { return !backingDevices().empty(); }, 5s));
    const std::string device = backingDevices().front();
    // Open for writing, not exclusively, as a virtual machine or a copy onto
    // the device holds it: the kernel only marks such a device to go when
    // it is closed, and the image must not be attached a second time.
    const int held = ::open(device.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(held, 0) << std::strerror(errno);

    auto refused = m_client->mountDiskImage(m_image, kTimeout);
    const auto devices = backingDevices();
    ::close(held);
    ASSERT_TRUE(refused.ok());
    EXPECT_FALSE(refused.reply.success) << refused.reply.message;
    EXPECT_THAT(refused.reply.message, HasSubstr(" is already attached as " + device));
    EXPECT_EQ(devices, std::vector<std::string> {device}) << "no second device of the image";
    if (refused.reply.success)
        m_client->unmountDiskImage(refused.reply.message, kTimeout);
}

TEST_F(RealDiskImageTest, DetachesAnImageMountedWithAutoclear)
{
    m_dir->makeDir("mounted");
    const std::string mountPoint = *m_dir / "mounted";
    if (std::system(("mount -o loop '" + m_image + "' '" + mountPoint + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "loop mounts are not possible here";
    ASSERT_EQ(backingDevices().size(), 1u);
    startWithRealTool();

    auto detached = m_client->unmountDiskImage(mountPoint, kTimeout);
    ASSERT_TRUE(detached.ok());
    EXPECT_EQ(detached.reply, (HelperReply {true, "", ""}));
    EXPECT_EQ(MountTable::read().findByMountPoint(mountPoint), nullptr);
    EXPECT_TRUE(devicesReleased());
}

TEST_F(RealDiskImageTest, AStoppedAttachTakesItsChildrenAndItsDeviceWithIt)
{
    // mount hangs; the program's own limit is far away, so only the
    // daemon's stop at one second ends it.
    const std::string pidFile = *m_dir / "mount-pid";
    m_dir->writeFile("bin/mount", "#!/bin/sh\necho $$ > '" + pidFile + "'\nexec sleep 30\n");
    ::chmod((*m_dir / "bin/mount").c_str(), 0755);
    startWithRealTool({{"TESSALINE_HELPER_CHILD_TIME_LIMIT", "1"}, {"TESSALINE_DISKIMAGE_CHILD_TIME_LIMIT", "30"},
        {"TESSALINE_DISKIMAGE_PROGRAMS", *m_dir / "bin"}});

    auto start = std::chrono::steady_clock::now();
    auto stopped = m_client->mountDiskImage(m_image, kTimeout);
    auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(stopped.ok());
    if (stopped.reply.message.find("losetup") != std::string::npos)
        GTEST_SKIP() << "loop devices are not usable here: " << stopped.reply.message;
    EXPECT_EQ(stopped.reply, (HelperReply {false, "tessaline-diskimage attach failed: stopped after 1 s without an answer", ""}));
    EXPECT_LT(elapsed, 1000ms + ChildProcess::kStopGrace + 1000ms);

    // The hanging mount went with the program, and the device it had
    // attached was detached before the reply.
    ASSERT_TRUE(m_dir->exists("mount-pid"));
    pid_t pid = static_cast<pid_t>(std::stol(m_dir->readFile("mount-pid")));
    EXPECT_TRUE(waitUntil([&] { return processGone(pid); }, 5s));
    EXPECT_TRUE(devicesReleased());
    EXPECT_FALSE(m_dir->exists("mounts/volume"));
}

// A mount that ignores SIGTERM (as a mount(2) of a large or damaged image
// may take longer than the daemon waits). It writes its parent's pid (the
// disk-image program's) and its own to the file "pids", whole, and hangs,
// the first time only.
std::string hangingMount(const std::string& folder)
{
    return "#!/bin/sh\n"
           "if [ -e '"
        + folder + "/mount-hung' ]; then PATH=/usr/sbin:/usr/bin:/sbin:/bin exec mount \"$@\"; fi\n"
                   "touch '"
        + folder + "/mount-hung'\n"
                   "echo $PPID $$ > '"
        + folder + "/pids.new' && mv '" + folder + "/pids.new' '" + folder + "/pids'\n"
                                                                             "trap '' TERM\n"
                                                                             "exec sleep 30\n";
}

// The two pids that hangingMount wrote: the program's and the mount's.
std::pair<pid_t, pid_t> hungPids(const TempDir& dir)
{
    std::istringstream in(dir.readFile("pids"));
    long program = 0;
    long mount = 0;
    in >> program >> mount;
    return {static_cast<pid_t>(program), static_cast<pid_t>(mount)};
}

TEST_F(RealDiskImageTest, AMountThatIgnoresSigtermLeavesNothingBehind)
{
    m_dir->writeFile("bin/mount", hangingMount(m_dir->path()));
    ::chmod((*m_dir / "bin/mount").c_str(), 0755);
    startWithRealTool({{"TESSALINE_HELPER_CHILD_TIME_LIMIT", "1"}, {"TESSALINE_DISKIMAGE_CHILD_TIME_LIMIT", "30"},
        {"TESSALINE_DISKIMAGE_PROGRAMS", *m_dir / "bin"}});

    const auto start = std::chrono::steady_clock::now();
    auto stopped = m_client->mountDiskImage(m_image, kTimeout);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(stopped.ok());
    if (stopped.reply.message.find("losetup") != std::string::npos)
        GTEST_SKIP() << "loop devices are not usable here: " << stopped.reply.message;
    EXPECT_EQ(stopped.reply, (HelperReply {false, "tessaline-diskimage attach failed: stopped after 1 s without an answer", ""}));
    // The program stopped its mount and undid the attach itself, before
    // the daemon's SIGKILL would have come.
    EXPECT_LT(elapsed, 1000ms + ChildProcess::kStopGrace);
    ASSERT_TRUE(m_dir->exists("pids"));
    const auto [program, mount] = hungPids(*m_dir);
    EXPECT_TRUE(waitUntil([&] { return processGone(program) && processGone(mount); }, 5s));
    EXPECT_TRUE(devicesReleased());
    EXPECT_FALSE(m_dir->exists("mounts/volume"));

    auto again = m_client->mountDiskImage(m_image, kTimeout);
    EXPECT_EQ(again.reply, (HelperReply {true, *m_dir / "mounts/volume", ""}));
    EXPECT_TRUE(m_client->unmountDiskImage(*m_dir / "mounts/volume", kTimeout).reply.success);
    EXPECT_TRUE(devicesReleased());
}

TEST_F(RealDiskImageTest, WhatAKilledProgramLeftTheDaemonCleansUp)
{
    // A disk-image program that attaches the image and makes its folder,
    // then ignores SIGTERM until the daemon kills it. The cleanup the
    // daemon then asks for is the real program's.
    writeScript("tool", "if [ \"$1\" = attach ]; then\n"
                        "  losetup --find \"$2\" && mkdir -p '"
            + (*m_dir / "mounts/volume") + "' || exit 1\n"
                                           "  echo $$ > '"
            + (*m_dir / "tool-pid") + "'\n"
                                      "  trap '' TERM\n"
                                      "  exec sleep 30\n"
                                      "fi\n"
                                      "exec '" TESSALINE_DISKIMAGE_BINARY "' \"$@\"\n");
    startWithRealTool({{"TESSALINE_DISKIMAGE_TOOL", *m_dir / "tool"}, {"TESSALINE_HELPER_CHILD_TIME_LIMIT", "1"}});

    auto stopped = m_client->mountDiskImage(m_image, kTimeout);
    ASSERT_TRUE(stopped.ok());
    if (!m_dir->exists("tool-pid"))
        GTEST_SKIP() << "loop devices are not usable here";
    EXPECT_EQ(stopped.reply, (HelperReply {false, "tessaline-diskimage attach failed: stopped after 1 s without an answer", ""}));
    EXPECT_TRUE(processGone(static_cast<pid_t>(std::stol(m_dir->readFile("tool-pid")))));
    EXPECT_TRUE(devicesReleased());
    EXPECT_FALSE(m_dir->exists("mounts/volume"));
    EXPECT_TRUE(m_dir->exists("mounts"));
}

TEST_F(RealDiskImageTest, NoDiskImageProgramOutlivesTheDaemon)
{
    m_dir->writeFile("bin/mount", hangingMount(m_dir->path()));
    ::chmod((*m_dir / "bin/mount").c_str(), 0755);
    // SIGTERM: the daemon stops its programs as it exits. SIGKILL: the
    // program sees its parent die.
    for (int signal : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(signal == SIGTERM ? "SIGTERM" : "SIGKILL");
        for (const char* file : {"mount-hung", "pids"})
            ::unlink((*m_dir / file).c_str());
        startWithRealTool({{"TESSALINE_DISKIMAGE_PROGRAMS", *m_dir / "bin"}});
        auto attach = std::async(std::launch::async, [&] { return m_client->mountDiskImage(m_image, 30s); });
        if (!waitUntil([&] { return m_dir->exists("pids"); }, 5s)) {
            m_daemon->terminate();
            GTEST_SKIP() << "loop devices are not usable here: " << attach.get().reply.message;
        }
        const auto [program, mount] = hungPids(*m_dir);

        ::kill(m_daemon->pid(), signal);
        auto status = m_daemon->waitForExit(5s);
        ASSERT_TRUE(status.has_value());
        EXPECT_EQ(*status, signal == SIGTERM ? 0 : 128 + SIGKILL);
        EXPECT_FALSE(attach.get().reply.success);
        EXPECT_TRUE(waitUntil([&] { return processGone(program) && processGone(mount); }, 5s));
        EXPECT_TRUE(devicesReleased());
        EXPECT_FALSE(m_dir->exists("mounts/volume"));
    }
}

TEST_F(DaemonFixture, StopsTheChildrenOfTheDiskImageProgramWithIt)
{
    // The real program; its losetup hangs, and only the daemon's limit ends it.
    const std::string pidFile = *m_dir / "losetup-pid";
    m_dir->writeFile("bin/losetup", "#!/bin/sh\necho $$ > '" + pidFile + "'\nexec sleep 30\n");
    ::chmod((*m_dir / "bin/losetup").c_str(), 0755);
    m_dir->writeFile("image.img", "");
    startPolkit();
    startDaemon({{"TESSALINE_DISKIMAGE_TOOL", TESSALINE_DISKIMAGE_BINARY}, {"TESSALINE_DISKIMAGE_MOUNT_BASE", *m_dir / "mounts"},
        {"TESSALINE_HELPER_CHILD_TIME_LIMIT", "1"}, {"TESSALINE_DISKIMAGE_CHILD_TIME_LIMIT", "30"},
        {"TESSALINE_DISKIMAGE_PROGRAMS", *m_dir / "bin"}});

    auto stopped = m_client->mountDiskImage(*m_dir / "image.img", kTimeout);
    ASSERT_TRUE(stopped.ok());
    EXPECT_EQ(stopped.reply, (HelperReply {false, "tessaline-diskimage attach failed: stopped after 1 s without an answer", ""}));
    ASSERT_TRUE(m_dir->exists("losetup-pid"));
    pid_t pid = static_cast<pid_t>(std::stol(m_dir->readFile("losetup-pid")));
    EXPECT_TRUE(waitUntil([&] { return processGone(pid); }, 5s)) << "the program's losetup outlived it";
}

}  // namespace
}  // namespace tess::test
