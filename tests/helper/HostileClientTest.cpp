#include "DaemonFixture.h"

#include "FrameIO.h"
#include "HelperLogger.h"
#include "PolkitAuthority.h"
#include "WireFormat.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tess::test {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

// The resident memory of process `pid` in kB (0 when unreadable).
long residentKilobytes(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return 0;
}

long fileSize(const std::string& path)
{
    struct stat info { };
    return ::stat(path.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : -1;
}

std::size_t occurrences(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

// Sends `request` on `fd` and reads the reply; empty when none came.
std::optional<HelperReply> ask(int fd, const HelperRequest& request)
{
    const std::string frame = requestFrame(request);
    if (::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(frame.size()))
        return std::nullopt;
    auto reply = FrameIO::readFrame(fd, std::chrono::steady_clock::now() + 5s, WireFormat::kMaxPayload);
    if (reply.status != FrameIO::Status::ok)
        return std::nullopt;
    return WireFormat::decodeReply(reply.payload);
}

// Whether the daemon has closed `fd` (without waiting).
bool closedByDaemon(int fd)
{
    pollfd entry {fd, POLLIN, 0};
    char byte;
    return ::poll(&entry, 1, 0) == 1 && ::recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
}

// A process of user `uid` (in the administrators' group "nogroup") that
// holds `count` connections to the daemon, each served one ping, until it is
// let go.
class HeldConnections {
public:
    HeldConnections(const std::string& socket, uid_t uid, int count)
    {
        int control[2];
        int report[2];
        if (::pipe(control) != 0 || ::pipe(report) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(control[1]);
            ::close(report[0]);
            if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(uid) != 0)
                ::_exit(2);
            std::vector<int> fds;
            int served = 0;
            for (int i = 0; i < count; ++i) {
                fds.push_back(connectRaw(socket));
                auto reply = fds.back() >= 0 ? ask(fds.back(), {HelperSelector::testConnection, {}}) : std::nullopt;
                served += reply && reply->success ? 1 : 0;
            }
            writeNumber(report[1], served);
            char byte;
            ssize_t got = ::read(control[0], &byte, 1);
            (void)got;
            int closed = 0;
            for (int fd : fds)
                closed += fd >= 0 && closedByDaemon(fd) ? 1 : 0;
            writeNumber(report[1], closed);
            ::_exit(0);
        }
        ::close(control[0]);
        ::close(report[1]);
        m_control = control[1];
        m_report = report[0];
        m_served = readNumber();
    }
    ~HeldConnections() { letGo(); }

    int served() const { return m_served; }
    // Lets go of the connections; how many of them the daemon had closed.
    int letGo()
    {
        if (m_pid <= 0)
            return -1;
        // A byte, not the end of the pipe: children forked later hold copies.
        writeNumber(m_control, 0);
        ::close(m_control);
        int closed = readNumber();
        ::close(m_report);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
        return closed;
    }

private:
    static void writeNumber(int fd, int number)
    {
        ssize_t ignored = ::write(fd, &number, sizeof number);
        (void)ignored;
    }
    int readNumber() const
    {
        int number = -1;
        return ::read(m_report, &number, sizeof number) == static_cast<ssize_t>(sizeof number) ? number : -1;
    }

    pid_t m_pid = -1;
    int m_control = -1;
    int m_report = -1;
    int m_served = -1;
};

using HostileClientTest = DaemonFixture;

TEST_F(HostileClientTest, AFloodOfRefusedRequestsKeepsMemoryAndLogBounded)
{
    startPolkit();
    startDaemon({{"TESSALINE_HELPER_LOG_SIZE_LIMIT", "65536"}});
    handOverHome();
    const long before = residentKilobytes(m_daemon->pid());

    // Each connection asks again and again for paths of 30 KB under /proc,
    // beginning with a right-to-left override.
    constexpr int kConnections = 8;
    constexpr int kRequests = 400;
    const std::string hostile = "/proc/\u202E" + std::string(30000, 'a');
    std::atomic<int> refused {0};
    std::atomic<long> peak {0};
    std::atomic<bool> flooding {true};
    std::thread sampler([&] {
        while (flooding) {
            peak = std::max(peak.load(), residentKilobytes(m_daemon->pid()));
            std::this_thread::sleep_for(10ms);
        }
    });
    std::vector<std::thread> clients;
    for (int c = 0; c < kConnections; ++c) {
        clients.emplace_back([&, c] {
            int fd = connectRaw(m_socket);
            for (int i = 0; i < kRequests && fd >= 0; ++i) {
                auto reply = i % 2 == 0 ? ask(fd, {HelperSelector::createDirectory, {hostile}})
                                        : ask(fd, {HelperSelector::renameFile, {hostile, hostile + std::to_string(c)}});
                if (reply && !reply->success && reply->message == "Refused a path under /proc, /sys or /dev: " + hostile)
                    ++refused;
            }
            ::close(fd);
        });
    }
    for (auto& client : clients)
        client.join();
    flooding = false;
    sampler.join();
    EXPECT_EQ(refused, kConnections * kRequests) << "every request is refused with its whole path";

    ASSERT_TRUE(m_client->testConnection(kTimeout).reply.success);
    EXPECT_EQ(m_daemon->terminate(), 0);
    const std::string log = readLog();
    // AddressSanitizer holds freed memory back in quarantine.
    if (!kAddressSanitizer) {
        EXPECT_LT(peak - before, 32 * 1024) << "resident memory grew from " << before << " kB to " << peak << " kB";
    }
    EXPECT_LE(fileSize(logPath()), 65536 + 8192);
    EXPECT_LE(fileSize(logPath() + ".1"), 65536 + 8192);

    // The user's refusals are logged once per interval whatever the number
    // of connections, each with its request, and the count of the others
    // with the next one logged or at the end.
    const std::size_t logged = occurrences(log, "] [ERROR] Refused a path under /proc, /sys or /dev: /proc/\\u{202E}aaa");
    EXPECT_GE(logged, 1u);
    EXPECT_LE(logged, 3u) << "the flood takes a few seconds";
    EXPECT_EQ(occurrences(log, "] [INFO] Request to create directory: /proc/\\u{202E}aaa")
            + occurrences(log, "] [INFO] Request to rename: /proc/\\u{202E}aaa"),
        logged);
    std::size_t counted = 0;
    for (auto at = log.find(" more refusals from uid 0 were not logged"); at != std::string::npos;
         at = log.find(" more refusals from uid 0 were not logged", at + 1)) {
        const auto start = log.find_last_of(" (", at - 1) + 1;
        counted += std::stoul(log.substr(start, at - start));
    }
    EXPECT_EQ(logged + counted, static_cast<std::size_t>(kConnections * kRequests));
    // An argument is shown up to a few hundred bytes, with its length.
    EXPECT_THAT(log, HasSubstr("aaa\u2026 (30009 bytes)\n"));
    EXPECT_THAT(log, Not(HasSubstr(std::string(1000, 'a'))));
}

TEST_F(HostileClientTest, RefusesAConnectionWhoseStartTimeCannotBeRead)
{
    startPolkit();
    startDaemon({{"TESSALINE_HELPER_START_TIME_UNREADABLE", "1"}}, false);
    ASSERT_TRUE(waitUntil([&] { return m_dir->exists("helper.sock"); }, 5s));

    struct Case {
        const char* name;
        std::function<HelperCallResult()> call;
    };
    const Case cases[] = {
        {"create", [&] { return m_client->createDirectory(*m_dir / "made", kTimeout); }},
        {"rename", [&] { return m_client->renameFile(*m_dir / "passwd", *m_dir / "moved", kTimeout); }},
        {"ping", [&] { return m_client->testConnection(kTimeout); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto result = c.call();
        EXPECT_FALSE(result.ok() && result.reply.success);
    }
    EXPECT_FALSE(m_dir->exists("made"));
    EXPECT_TRUE(m_dir->exists("passwd"));
    EXPECT_EQ(m_polkit->calls().find("CheckAuthorization"), std::string::npos) << "polkit must not be asked without a start time";
    EXPECT_TRUE(m_daemon->running());
}

TEST(PolkitAuthorityTest, NeverAsksForAProcessWithoutItsStartTime)
{
    PolkitAuthority authority;
    auto decision = authority.check({::getpid(), 0, 0, 0});
    EXPECT_FALSE(decision.authorized);
    EXPECT_EQ(decision.reason, "the start time of the calling process is unknown");
}

TEST_F(HostileClientTest, OneUsersIdleConnectionsDoNotLockOutAnother)
{
    startDaemon({{"TESSALINE_HELPER_ADMIN_GROUP", "nogroup"}});
    // Root opens 64 connections and sends nothing.
    std::vector<int> idle;
    for (int i = 0; i < 64; ++i) {
        int fd = connectRaw(m_socket);
        ASSERT_GE(fd, 0);
        idle.push_back(fd);
    }
    const auto opened = std::chrono::steady_clock::now();
    // The tester, another administrator, is served at once.
    const auto start = std::chrono::steady_clock::now();
    auto served = callAsUser(4242, 65534, {}, [&] { return m_client->testConnection(kTimeout); });
    EXPECT_TRUE(served.ok() && served.reply.success) << served.detail;
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);

    // Past the cap for one user, connections are closed at once; the others
    // when their first request does not come within a few seconds.
    std::size_t closed = 0;
    waitUntil([&] {
        closed = 0;
        for (int fd : idle)
            closed += closedByDaemon(fd) ? 1 : 0;
        return closed >= 48;
    },
        2s);
    // Exactly the ones past the cap, unless a slow run (a sanitizer build on
    // a loaded machine) reached the first-request limit of the others.
    EXPECT_GE(closed, 48u);
    if (std::chrono::steady_clock::now() - opened < 4s) {
        EXPECT_EQ(closed, 48u);
    }
    EXPECT_TRUE(waitUntil([&] {
        for (int fd : idle) {
            if (!closedByDaemon(fd))
                return false;
        }
        return true;
    },
        10s));
    for (int fd : idle)
        ::close(fd);
    EXPECT_TRUE(m_client->testConnection(kTimeout).reply.success);
}

TEST_F(HostileClientTest, FourUsersAtTheirLimitKeepNeitherAFifthUserNorRootOut)
{
    startDaemon({{"TESSALINE_HELPER_ADMIN_GROUP", "nogroup"}});
    handOverHome();
    auto ping = [&] { return m_client->testConnection(kTimeout); };
    // Four administrators hold 16 connections each: every shared place.
    std::vector<std::unique_ptr<HeldConnections>> holders;
    for (uid_t uid = 5001; uid <= 5004; ++uid) {
        holders.push_back(std::make_unique<HeldConnections>(m_socket, uid, 16));
        ASSERT_EQ(holders.back()->served(), 16) << "uid " << uid;
    }
    // One of them gets no more.
    EXPECT_FALSE(callAsUser(5001, 65534, {}, ping).ok());

    // A fifth administrator is served in the place of an idle connection of
    // theirs, and root without taking any.
    const auto start = std::chrono::steady_clock::now();
    auto fifth = asTester(ping);
    EXPECT_TRUE(fifth.ok() && fifth.reply.success) << fifth.detail;
    auto ofRoot = ping();
    EXPECT_TRUE(ofRoot.ok() && ofRoot.reply.success) << ofRoot.detail;
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);

    int closed = 0;
    for (auto& holder : holders)
        closed += holder->letGo();
    EXPECT_EQ(closed, 1) << "one idle connection made room for the fifth user";
    EXPECT_EQ(m_daemon->terminate(), 0);
    EXPECT_THAT(readFile(rootActivityLogPath()), ::testing::ContainsRegex("\\[DEBUG\\] Closed an idle connection of uid 500[1-4] to serve uid 4242\n"));
}

TEST_F(HostileClientTest, RefusedRequestsCannotRotateRootsRecordOfWhatWasDone)
{
    startPolkit();
    startDaemon({{"TESSALINE_HELPER_ADMIN_GROUP", "nogroup"}, {"TESSALINE_HELPER_LOG_SIZE_LIMIT", "4096"}});
    handOverHome();
    m_dir->writeFile("file", "content");

    // The tester, who handed over no home, has polkit's yes for a rename...
    auto renamed = asTester([&] { return m_client->renameFile(*m_dir / "file", *m_dir / "renamed", kTimeout); });
    ASSERT_TRUE(renamed.reply.success) << renamed.reply.message;

    // ...then floods refused requests and pings, each on a new connection,
    // many times what root's log holds.
    constexpr int kRounds = 250;
    const std::string refused = "/proc/" + std::string(250, 'x');
    auto flood = asTester([&] {
        HelperCallResult last;
        for (int i = 0; i < kRounds; ++i) {
            last = m_client->createDirectory(refused, kTimeout);
            m_client->testConnection(kTimeout);
        }
        return last;
    });
    EXPECT_FALSE(flood.reply.success);
    EXPECT_EQ(m_daemon->terminate(), 0);

    const std::string record = readFile(rootLogPath());
    EXPECT_THAT(record, HasSubstr("] [INFO] [uid 4242] Request to rename: " + (*m_dir / "file") + " \u2192 " + (*m_dir / "renamed") + "\n"));
    EXPECT_THAT(record, HasSubstr("] [INFO] [uid 4242] Successfully renamed: " + (*m_dir / "file") + " \u2192 " + (*m_dir / "renamed") + "\n"));
    EXPECT_THAT(record, Not(HasSubstr("testHelperConnection")));
    EXPECT_THAT(record, Not(HasSubstr("Refused")));

    // The rest went to a file of its own, rotated more than once (the first
    // pings are gone), with the refusals cut to a few lines and a count.
    const std::string activityPath = rootActivityLogPath();
    const std::string activity = readFile(activityPath + ".1") + readFile(activityPath);
    EXPECT_LE(fileSize(activityPath), 4096);
    EXPECT_LT(occurrences(activity, "] [DEBUG] testHelperConnection called\n"), static_cast<std::size_t>(kRounds));
    EXPECT_LE(occurrences(activity, "] [ERROR] Refused a path under /proc, /sys or /dev: "), 3u);
    EXPECT_THAT(activity, HasSubstr(" more refusals from uid 4242 were not logged"));
}

TEST_F(HostileClientTest, EachClientsConnectionLinesGoToItsOwnUsersLog)
{
    startDaemon({{"TESSALINE_HELPER_ADMIN_GROUP", "nogroup"}});
    m_dir->makeDir("home/tester");
    ::chown((m_home + "/tester").c_str(), 4242, 65534);
    const std::string connection = "] [DEBUG] New XPC connection from client\n";
    handOverHome();
    const std::size_t ofRoot = occurrences(waitForLog("Global log: "), connection);
    EXPECT_GE(ofRoot, 1u);

    // The tester before and after its own hand-over, and a user who is
    // not an administrator (it reaches the socket through its group only).
    EXPECT_TRUE(asTester([&] { return m_client->testConnection(kTimeout); }).reply.success);
    EXPECT_EQ(callAsUser(5555, 5555, {65534}, [&] { return m_client->testConnection(kTimeout); }).failure, HelperCallResult::Failure::noReply);
    EXPECT_TRUE(asTester([&] { return m_client->initializeForUser(m_home + "/tester", kTimeout); }).reply.success);
    EXPECT_TRUE(asTester([&] { return m_client->testConnection(kTimeout); }).reply.success);
    EXPECT_EQ(m_daemon->terminate(), 0);

    const std::string firstUsers = readLog();
    EXPECT_EQ(occurrences(firstUsers, connection), ofRoot) << firstUsers;
    EXPECT_THAT(firstUsers, Not(HasSubstr("uid 5555")));
    const std::string ofRootsOwn = readFile(rootActivityLogPath());
    EXPECT_EQ(occurrences(ofRootsOwn, connection), 3u) << "the tester's two before its hand-over, and the refused user's";
    EXPECT_THAT(ofRootsOwn, HasSubstr("] [ERROR] Refused a connection from uid 5555: not root or an administrator\n"));
    EXPECT_EQ(occurrences(readFile(HelperLogger::logPathForHome(m_home + "/tester")), connection), 1u);
}

TEST_F(HostileClientTest, EachClientsRequestsGoToItsOwnUsersLog)
{
    startPolkit();
    startDaemon({{"TESSALINE_HELPER_ADMIN_GROUP", "nogroup"}});
    m_dir->makeDir("home/tester");
    ::chown((m_home + "/tester").c_str(), 4242, 65534);
    const std::string testerLog = HelperLogger::logPathForHome(m_home + "/tester");

    handOverHome();
    EXPECT_TRUE(asTester([&] { return m_client->createDirectory(*m_dir / "by-tester-early", kTimeout); }).reply.success);
    EXPECT_TRUE(asTester([&] { return m_client->initializeForUser(m_home + "/tester", kTimeout); }).reply.success);
    EXPECT_TRUE(asTester([&] { return m_client->createDirectory(*m_dir / "by-tester", kTimeout); }).reply.success);
    EXPECT_TRUE(m_client->createDirectory(*m_dir / "by-root", kTimeout).reply.success);
    EXPECT_EQ(m_daemon->terminate(), 0);

    const std::string rootLog = readLog();
    const std::string ofTester = readFile(testerLog);
    const std::string ofRoot = readFile(rootLogPath());
    EXPECT_THAT(rootLog, HasSubstr("Successfully created directory: " + (*m_dir / "by-root") + "\n"));
    EXPECT_THAT(rootLog, HasSubstr("Helper tool started and listening for connections"));
    EXPECT_THAT(rootLog, Not(HasSubstr("by-tester")));
    EXPECT_THAT(ofTester, HasSubstr("Successfully created directory: " + (*m_dir / "by-tester") + "\n"));
    EXPECT_THAT(ofTester, HasSubstr("] [INFO] User home: " + m_home + "/tester\n"));
    EXPECT_THAT(ofTester, Not(HasSubstr("by-root")));
    EXPECT_THAT(ofTester, Not(HasSubstr("by-tester-early")));
    // Root's record holds what was done as root for every client, with its
    // uid, also after the tester has a log of its own.
    EXPECT_THAT(ofRoot, HasSubstr("] [INFO] [uid 4242] Successfully created directory: " + (*m_dir / "by-tester-early") + "\n"));
    EXPECT_THAT(ofRoot, HasSubstr("] [INFO] [uid 4242] Successfully created directory: " + (*m_dir / "by-tester") + "\n"));
    EXPECT_THAT(ofRoot, HasSubstr("] [INFO] [uid 0] Successfully created directory: " + (*m_dir / "by-root") + "\n"));
    struct stat info { };
    ASSERT_EQ(::stat(rootLogPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(HostileClientTest, RefusesDevWhateverPathReachesIt)
{
    m_dir->makeDir("devices");
    m_dir->writeFile("file", "keep");
    const std::string bind = *m_dir / "devices";
    if (std::system(("mount --bind /dev '" + bind + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "bind mounts are not possible here";
    struct Unmount {
        std::string path;
        ~Unmount() { std::system(("umount -l '" + path + "'").c_str()); }
    } unmount {bind};
    startPolkit();
    startDaemon();

    const std::string refusal = "Refused a path under /proc, /sys or /dev: ";
    auto created = m_client->createDirectory(bind + "/tessaline-bind-test", kTimeout);
    EXPECT_EQ(created.reply, (HelperReply {false, refusal + bind, ""}));
    EXPECT_FALSE(std::filesystem::exists("/dev/tessaline-bind-test"));
    auto moved = m_client->renameFile(*m_dir / "file", bind + "/shm/tessaline-bind-test", kTimeout);
    EXPECT_FALSE(moved.reply.success);
    EXPECT_THAT(moved.reply.message, HasSubstr(refusal));
    EXPECT_TRUE(m_dir->exists("file"));
    EXPECT_EQ(m_client->removeDirectory(bind + "/tessaline-bind-test", kTimeout).reply, (HelperReply {false, refusal + bind, ""}));
    // Not even read as a template.
    m_dir->makeDir("target");
    EXPECT_EQ(m_client->applyAttributes(bind + "/shm", *m_dir / "target", kTimeout).reply, (HelperReply {false, refusal + bind + "/shm", ""}));
    // A folder on an ordinary file system is still served.
    EXPECT_TRUE(m_client->createDirectory(*m_dir / "ordinary", kTimeout).reply.success);
}

}  // namespace
}  // namespace tess::test
