#include "DaemonFixture.h"

#include "FrameIO.h"
#include "WireFormat.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <future>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace tess::test {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

// 'd' stands for a digit, every other character for itself.
bool matchesPattern(std::string_view text, std::string_view pattern)
{
    if (text.size() != pattern.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool digit = text[i] >= '0' && text[i] <= '9';
        if (pattern[i] == 'd' ? !digit : text[i] != pattern[i])
            return false;
    }
    return true;
}

// Removes the "[yyyy-MM-dd HH:mm:ss.SSS] " in front of every entry (an entry
// starts a line with "["), and returns the value of the "Build: " entry.
std::string withoutTimes(const std::string& log, std::string& build)
{
    std::string out;
    std::size_t i = 0;
    while (i < log.size()) {
        if ((i == 0 || log[i - 1] == '\n') && matchesPattern(std::string_view(log).substr(i, 26), "[dddd-dd-dd dd:dd:dd.ddd] "))
            i += 26;
        auto end = log.find('\n', i);
        end = end == std::string::npos ? log.size() : end + 1;
        std::string line = log.substr(i, end - i);
        if (line.rfind("[INFO] Build: ", 0) == 0)
            build = line.substr(14, line.size() - 15);
        out += line;
        i = end;
    }
    return out;
}

using HelperDaemonTest = DaemonFixture;

TEST_F(HelperDaemonTest, AnnouncesItselfAfterListeningAndLeavesCleanlyOnSigterm)
{
    // Whoever hears the announcement can connect at once.
    startDaemon({}, false);
    ASSERT_TRUE(m_watcher->waitFor("didBecomeActive", 5s));
    handOverHome();

    auto version = m_client->getVersion(kTimeout);
    ASSERT_TRUE(version.ok());
    EXPECT_EQ(version.reply.message, "1.0");
    EXPECT_EQ(version.reply.detail, "Version 1.0");
    auto ping = m_client->testConnection(kTimeout);
    ASSERT_TRUE(ping.ok());
    EXPECT_TRUE(ping.reply.success);
    EXPECT_EQ(ping.reply.message, "Helper tool is responding correctly");

    EXPECT_EQ(m_daemon->terminate(), 0);
    EXPECT_TRUE(m_watcher->waitFor("didBecomeInactive", 2s));
    EXPECT_EQ(m_watcher->received(), (std::vector<std::string> {"didBecomeActive", "didBecomeInactive"}));
    // The stop entry is written before the process ends, and the socket is gone.
    EXPECT_THAT(readLog(), HasSubstr("] [INFO] Received SIGTERM, notifying app and exiting\n"));
    EXPECT_FALSE(m_dir->exists("helper.sock"));
}

TEST_F(HelperDaemonTest, ServesTheSocketThatSystemdPasses)
{
    int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    m_socket.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 8), 0);

    DaemonProcess daemon({{"TESSALINE_HELPER_SOCKET", *m_dir / "unused.sock"},
        {"DBUS_SYSTEM_BUS_ADDRESS", bus()->address()},
        {"TESSALINE_HELPER_PASSWD_FILE", m_passwd}});
    ASSERT_TRUE(daemon.start(m_socket, listener));
    ::close(listener);
    EXPECT_TRUE(m_watcher->waitFor("didBecomeActive", 2s));
    EXPECT_TRUE(m_client->testConnection(kTimeout).reply.success);
    EXPECT_FALSE(m_dir->exists("unused.sock"));
    EXPECT_EQ(daemon.terminate(), 0);
    // The socket belongs to systemd: the daemon leaves it in place.
    EXPECT_TRUE(m_dir->exists("helper.sock"));
}

TEST_F(HelperDaemonTest, HandsNoDescriptorFromSystemdOnToTheProgramsItRuns)
{
    int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    m_socket.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 8), 0);
    // A second descriptor, as systemd passes one per listening socket.
    int extra[2];
    ASSERT_EQ(::pipe2(extra, O_CLOEXEC), 0);
    struct stat pipeInfo { };
    ASSERT_EQ(::fstat(extra[1], &pipeInfo), 0);

    std::string tool = writeScript("listing-tool", "ls -l /proc/$$/fd/ > '" + (*m_dir / "listing") + "'\nexit 1\n");
    m_dir->writeFile("image.img", "");
    startPolkit();
    DaemonProcess daemon({{"TESSALINE_HELPER_SOCKET", *m_dir / "unused.sock"},
        {"DBUS_SYSTEM_BUS_ADDRESS", bus()->address()},
        {"TESSALINE_HELPER_PASSWD_FILE", m_passwd},
        {"TESSALINE_DISKIMAGE_TOOL", tool}});
    ASSERT_TRUE(daemon.start(m_socket, listener, extra[1]));
    ::close(listener);
    ::close(extra[0]);
    ::close(extra[1]);

    EXPECT_FALSE(m_client->mountDiskImage(*m_dir / "image.img", kTimeout).reply.success);
    std::string listing = m_dir->readFile("listing");
    EXPECT_THAT(listing, HasSubstr("pipe:[")) << "the tool's own output pipes are listed";
    EXPECT_THAT(listing, Not(HasSubstr("pipe:[" + std::to_string(pipeInfo.st_ino) + "]"))) << listing;
    EXPECT_EQ(daemon.terminate(), 0);
}

TEST_F(HelperDaemonTest, ExitsWithFailureAndAnnouncesNothingWhenItCannotListen)
{
    struct Case {
        const char* name;
        std::string socketPath;
    };
    m_dir->writeFile("not-a-socket", "keep me");
    const Case cases[] = {
        {"missing folder", *m_dir / "missing/helper.sock"},
        {"a file in the way", *m_dir / "not-a-socket"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DaemonProcess daemon({{"TESSALINE_HELPER_SOCKET", c.socketPath},
            {"DBUS_SYSTEM_BUS_ADDRESS", bus()->address()},
            {"TESSALINE_HELPER_PASSWD_FILE", m_passwd}});
        EXPECT_FALSE(daemon.start(c.socketPath));
        auto status = daemon.waitForExit(5s);
        ASSERT_TRUE(status.has_value());
        EXPECT_NE(*status, 0);
    }
    EXPECT_EQ(m_dir->readFile("not-a-socket"), "keep me");
    EXPECT_FALSE(m_watcher->waitFor("didBecomeActive", 200ms));
}

TEST_F(HelperDaemonTest, RunsWithoutABus)
{
    startDaemon({{"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (*m_dir / "no-bus")}});
    handOverHome();
    EXPECT_TRUE(m_client->testConnection(kTimeout).reply.success);
    EXPECT_EQ(m_daemon->terminate(), 0);
    std::string log = readLog();
    EXPECT_THAT(log, HasSubstr("] [ERROR] Could not post didBecomeActive on the system bus: "));
    EXPECT_THAT(log, Not(HasSubstr("Posted didBecomeActive")));
}

TEST_F(HelperDaemonTest, TheInstalledDaemonReadsNoTestSettingsFromItsEnvironment)
{
    // The test build would take root's home from this password file, run
    // these programs as root and throw on request; the installed daemon must
    // do none of it.
    std::string tool = writeScript("marking-tool", "touch '" + (*m_dir / "tool-ran") + "'\nexit 1\n");
    std::string checkpoint = writeScript("marking-checkpoint", "touch '" + (*m_dir / "checkpoint-ran") + "'\n");
    m_dir->writeFile("image.img", "");
    m_dir->writeFile("file", "");
    startPolkit();
    DaemonProcess daemon({{"TESSALINE_HELPER_SOCKET", m_socket},
                             {"DBUS_SYSTEM_BUS_ADDRESS", bus()->address()},
                             {"TESSALINE_HELPER_PASSWD_FILE", m_passwd},
                             {"TESSALINE_DISKIMAGE_TOOL", tool},
                             {"TESSALINE_HELPER_CHECKPOINT", checkpoint},
                             {"TESSALINE_HELPER_FAULTS", "1"},
                             {"TESSALINE_HELPER_START_TIME_UNREADABLE", "1"}},
        TESSALINE_INSTALLED_HELPER_BINARY);
    ASSERT_TRUE(daemon.start(m_socket));

    auto home = m_client->initializeForUser(m_home, kTimeout);
    ASSERT_TRUE(home.ok());
    EXPECT_FALSE(home.reply.success);
    EXPECT_EQ(home.reply.message, "The home folder does not belong to the calling user: " + m_home);
    auto mount = m_client->mountDiskImage(*m_dir / "image.img", kTimeout);
    ASSERT_TRUE(mount.ok());
    EXPECT_FALSE(m_dir->exists("tool-ran"));
    EXPECT_TRUE(m_client->renameFile(*m_dir / "file", *m_dir / "renamed", kTimeout).reply.success);
    EXPECT_FALSE(m_dir->exists("checkpoint-ran"));
    EXPECT_TRUE(m_client->createDirectory(*m_dir / "throw-bad-alloc", kTimeout).reply.success);
    EXPECT_EQ(daemon.terminate(), 0);
}

TEST_F(HelperDaemonTest, ServesConcurrentClientsEachOnItsOwnConnection)
{
    // Every attach marks its arrival, then holds until the test releases it:
    // both arrive only when the daemon runs them side by side.
    const std::string release = *m_dir / "release";
    std::string tool = writeScript("held-tool", "touch '" + (*m_dir / "arrived.") + "'$$\n"
                                                                                    "i=0\n"
                                                                                    "while [ ! -e '"
            + release + "' ]; do\n"
                        "  i=$((i + 1)); [ $i -gt 2000 ] && exit 1\n"
                        "  sleep 0.01\n"
                        "done\n"
                        "echo '<plist><dict><key>system-entities</key><array><dict>"
                        "<key>mount-point</key><string>/mnt/held</string></dict></array></dict></plist>'\n");
    m_dir->writeFile("image.img", "");
    startPolkit();
    startDaemon({{"TESSALINE_DISKIMAGE_TOOL", tool}});
    const auto arrivals = [&] {
        std::size_t count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir->path())) {
            count += entry.path().filename().string().rfind("arrived.", 0) == 0 ? 1 : 0;
        }
        return count;
    };

    // A client that has sent only half a request must not hold up others.
    int stalled = connectRaw(m_socket);
    ASSERT_GE(stalled, 0);
    std::string frame = requestFrame({HelperSelector::testConnection, {}});
    ASSERT_EQ(::send(stalled, frame.data(), 3, MSG_NOSIGNAL), 3);

    constexpr auto kHeldTimeout = std::chrono::seconds(30);
    auto first = std::async(std::launch::async, [&] { return m_client->mountDiskImage(*m_dir / "image.img", kHeldTimeout); });
    auto second = std::async(std::launch::async, [&] { return m_client->mountDiskImage(*m_dir / "image.img", kHeldTimeout); });
    const bool sideBySide = waitUntil([&] { return arrivals() == 2; }, 10s);
    // Answered while both attaches are held.
    auto ping = m_client->testConnection(kTimeout);
    m_dir->writeFile("release", "");
    EXPECT_TRUE(sideBySide) << "the second attach waited for the first";
    EXPECT_TRUE(ping.ok() && ping.reply.success);
    auto a = first.get();
    auto b = second.get();
    ASSERT_TRUE(a.ok() && b.ok());
    EXPECT_EQ(a.reply, (HelperReply {true, "/mnt/held", ""}));
    EXPECT_EQ(b.reply, (HelperReply {true, "/mnt/held", ""}));

    // The stalled client finishes its request and is answered too.
    ASSERT_EQ(::send(stalled, frame.data() + 3, frame.size() - 3, MSG_NOSIGNAL), static_cast<ssize_t>(frame.size() - 3));
    auto reply = FrameIO::readFrame(stalled, std::chrono::steady_clock::now() + kTimeout, WireFormat::kMaxPayload);
    ASSERT_EQ(reply.status, FrameIO::Status::ok);
    EXPECT_TRUE(WireFormat::decodeReply(reply.payload)->success);
    ::close(stalled);
}

TEST_F(HelperDaemonTest, SurvivesClientsThatHangUpOrSendGarbage)
{
    std::string tool = writeScript("slow-tool", "sleep 0.3\n"
                                                "echo '<plist><dict><key>system-entities</key><array><dict>"
                                                "<key>mount-point</key><string>/mnt/abandoned</string></dict></array></dict></plist>'\n");
    m_dir->writeFile("image.img", "");
    startPolkit();
    startDaemon({{"TESSALINE_DISKIMAGE_TOOL", tool}});
    handOverHome();

    // Connects and leaves at once.
    ::close(connectRaw(m_socket));
    // Leaves in the middle of a frame.
    int fd = connectRaw(m_socket);
    std::string frame = requestFrame({HelperSelector::testConnection, {}});
    ::send(fd, frame.data(), 5, MSG_NOSIGNAL);
    ::close(fd);
    // Announces a frame far larger than allowed.
    fd = connectRaw(m_socket);
    std::string huge = FrameIO::header(512u * 1024 * 1024);
    ::send(fd, huge.data(), huge.size(), MSG_NOSIGNAL);
    char byte;
    EXPECT_EQ(::recv(fd, &byte, 1, 0), 0) << "an oversized frame must end the connection";
    ::close(fd);
    // A well-formed frame that is no request.
    fd = connectRaw(m_socket);
    std::string garbage = FrameIO::header(4) + "\x01zzz";
    ::send(fd, garbage.data(), garbage.size(), MSG_NOSIGNAL);
    EXPECT_EQ(::recv(fd, &byte, 1, 0), 0);
    ::close(fd);
    // Asks for a slow operation and hangs up before the reply is written.
    fd = connectRaw(m_socket);
    frame = requestFrame({HelperSelector::mountDiskImage, {*m_dir / "image.img"}});
    ::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL);
    ::close(fd);
    // The daemon finishes that operation, then finds nobody to answer.
    const std::string finished = "] [INFO] Successfully mounted " + (*m_dir / "image.img") + " at /mnt/abandoned with ownership enabled\n";
    EXPECT_THAT(waitForLog(finished, 10s), HasSubstr(finished)) << "the abandoned request did not finish";

    EXPECT_TRUE(m_daemon->running());
    auto ping = m_client->testConnection(kTimeout);
    ASSERT_TRUE(ping.ok());
    EXPECT_TRUE(ping.reply.success);
    EXPECT_THAT(readLog(), HasSubstr("] [ERROR] Refused a malformed request from uid 0\n"));
}

TEST_F(HelperDaemonTest, AnExceptionInAConnectionFailsThatRequestOnly)
{
    startPolkit();
    startDaemon({{"TESSALINE_HELPER_FAULTS", "1"}});
    struct Case {
        const char* name;
        std::string path;
        std::string message;
    };
    const Case cases[] = {
        {"out of memory", *m_dir / "throw-bad-alloc", "Request failed: std::bad_alloc"},
        {"system error", *m_dir / "throw-system-error", "Request failed: thread: Resource temporarily unavailable"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto failed = m_client->createDirectory(c.path, kTimeout);
        ASSERT_TRUE(failed.ok()) << "the request is answered";
        EXPECT_EQ(failed.reply, (HelperReply {false, c.message, ""}));
        EXPECT_FALSE(m_dir->exists(c.path.substr(c.path.rfind('/') + 1)));
        // The daemon goes on serving the next client.
        ASSERT_TRUE(m_daemon->running());
        auto next = m_client->createDirectory(*m_dir / "made", kTimeout);
        EXPECT_TRUE(next.reply.success) << next.reply.message;
    }
    handOverHome();
    m_daemon->terminate();
    std::string log = readLog();
    EXPECT_THAT(log, HasSubstr("] [ERROR] Request failed: std::bad_alloc\n"));
    EXPECT_THAT(log, HasSubstr("] [ERROR] Request failed: thread: Resource temporarily unavailable\n"));
}

TEST_F(HelperDaemonTest, WritesTheBannerFirstOnceTheHomeIsHandedOver)
{
    startPolkit();
    startDaemon();
    EXPECT_FALSE(m_dir->exists("home/.local")) << "nothing may be written before the hand-over";
    handOverHome();
    std::string log = waitForLog("Global log: ");

    // Every entry starts with its time; with the times taken out, the banner
    // and the announcement come first, in order.
    std::string build;
    std::string entries = withoutTimes(log, build);
    EXPECT_TRUE(matchesPattern(build, "dddd-dd-ddTdd:dd:ddZ")) << build;
    const std::string banner = "[INFO] \n\n" + std::string(113, '=') + "\n"
                                                                       "[INFO] Helper tool started and listening for connections\n"
                                                                       "[INFO] Build: "
        + build + "\n"
                  "[INFO] Version: 1.0\n"
                  "[INFO] "
        + std::string(80, '=') + "\n"
                                 "[INFO] Waiting for main app to initialize with user home directory\n"
                                 "[INFO] Posted didBecomeActive D-Bus signal\n";
    EXPECT_EQ(entries.substr(0, banner.size()), banner) << log;
    EXPECT_THAT(log, HasSubstr("] [DEBUG] testHelperConnection called\n"));
    EXPECT_THAT(log, HasSubstr("] [INFO] === Helper Initialized ===\n"));
    EXPECT_THAT(log, HasSubstr("] [INFO] User home: " + m_home + "\n"));
    EXPECT_THAT(log, HasSubstr("] [INFO] Global log: ~/.local/state/quenby/Tessaline-helper.log\n"));
    EXPECT_LT(log.find("Waiting for main app"), log.find("=== Helper Initialized ==="));

    // A second hand-over (also of the same home) keeps the file; a removed
    // log is recreated with the next entry only.
    handOverHome();
    ASSERT_EQ(::unlink(logPath().c_str()), 0);
    EXPECT_TRUE(m_client->testConnection(kTimeout).reply.success);
    ASSERT_TRUE(m_client->createDirectory(*m_dir / "made", kTimeout).reply.success);
    m_daemon->terminate();
    log = readLog();
    EXPECT_THAT(log, Not(HasSubstr("Helper tool started")));
    EXPECT_THAT(log, HasSubstr("Successfully created directory: " + (*m_dir / "made")));
}

TEST_F(HelperDaemonTest, AcceptsOnlyTheCallersOwnHome)
{
    startDaemon();
    m_dir->makeDir("elsewhere");
    auto refused = m_client->initializeForUser(*m_dir / "elsewhere", kTimeout);
    ASSERT_TRUE(refused.ok());
    EXPECT_FALSE(refused.reply.success);
    EXPECT_EQ(refused.reply.message, "The home folder does not belong to the calling user: " + (*m_dir / "elsewhere"));
    EXPECT_FALSE(m_dir->exists("elsewhere/.local"));

    // A trailing slash names the same folder.
    auto accepted = m_client->initializeForUser(m_home + "/", kTimeout);
    EXPECT_TRUE(accepted.reply.success) << accepted.reply.message;
    m_daemon->terminate();
    EXPECT_THAT(readLog(), HasSubstr("] [ERROR] The home folder does not belong to the calling user: "));
}

TEST_F(HelperDaemonTest, RefusesPeersThatAreNeitherRootNorAdministrators)
{
    startDaemon({{"TESSALINE_HELPER_ADMIN_GROUP", "sudo"}});
    // nobody, holding the socket's group only as a process group: the kernel
    // lets it connect, the daemon's own check must refuse it.
    gid_t sudo = 27;
    struct stat socketInfo { };
    ASSERT_EQ(::lstat(m_socket.c_str(), &socketInfo), 0);
    EXPECT_EQ(socketInfo.st_mode & 07777, 0660u);
    EXPECT_EQ(socketInfo.st_uid, 0u);
    EXPECT_EQ(socketInfo.st_gid, sudo);
    auto refused = callAsUser(65534, 65534, {sudo}, [&] { return m_client->testConnection(kTimeout); });
    EXPECT_EQ(refused.failure, HelperCallResult::Failure::noReply);

    handOverHome();
    m_daemon->terminate();
    // Root's log, not the log of the user who handed over a home.
    EXPECT_THAT(readFile(rootActivityLogPath()), HasSubstr("] [ERROR] Refused a connection from uid 65534: not root or an administrator\n"));
    EXPECT_THAT(readLog(), Not(HasSubstr("Refused a connection")));
}

TEST_F(HelperDaemonTest, ServesAdministratorsAndGivesThemTheLogItCreates)
{
    // The administrators' group is "nogroup" here, the tester's own group.
    startDaemon({{"TESSALINE_HELPER_ADMIN_GROUP", "nogroup"}});
    m_dir->makeDir("home/tester/.local");
    ::chown((m_home + "/tester").c_str(), 4242, 65534);
    ::chown((m_home + "/tester/.local").c_str(), 4242, 65534);
    // A state folder that is a symbolic link is not followed.
    m_dir->makeDir("decoy");
    ASSERT_EQ(::symlink((*m_dir / "decoy").c_str(), (m_home + "/tester/.local/state").c_str()), 0);

    auto first = callAsUser(4242, 65534, {}, [&] { return m_client->initializeForUser(m_home + "/tester", kTimeout); });
    ASSERT_TRUE(first.ok());
    EXPECT_TRUE(first.reply.success) << first.reply.message;
    m_daemon->terminate();
    EXPECT_FALSE(m_dir->exists("decoy/quenby"));
    EXPECT_FALSE(m_dir->exists("home/tester/.local/state/quenby"));

    // Without the trap, the folders and the log belong to the tester.
    ASSERT_EQ(::unlink((m_home + "/tester/.local/state").c_str()), 0);
    startDaemon({{"TESSALINE_HELPER_ADMIN_GROUP", "nogroup"}});
    auto second = callAsUser(4242, 65534, {}, [&] { return m_client->initializeForUser(m_home + "/tester", kTimeout); });
    EXPECT_TRUE(second.reply.success) << second.reply.message;
    auto wrongHome = callAsUser(4242, 65534, {}, [&] { return m_client->initializeForUser(m_home, kTimeout); });
    EXPECT_FALSE(wrongHome.reply.success);
    m_daemon->terminate();
    for (const char* path : {"home/tester/.local/state", "home/tester/.local/state/quenby",
             "home/tester/.local/state/quenby/Tessaline-helper.log"}) {
        struct stat info { };
        ASSERT_EQ(::lstat((*m_dir / path).c_str(), &info), 0) << path;
        EXPECT_EQ(info.st_uid, 4242u) << path;
        EXPECT_EQ(info.st_gid, 65534u) << path;
    }
}

}  // namespace
}  // namespace tess::test
