#include "platform/DBusSystemNotifications.h"
#include "LogCapture.h"
#include "TempDir.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tess {
namespace {

using namespace std::chrono_literals;

// A dbus-daemon of the test's own, configured like a system bus.
class PrivateBus {
public:
    PrivateBus()
    {
        const std::string config = m_dir / "bus.conf";
        std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                                 " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                                 "<busconfig><type>system</type><listen>unix:path="
                              << (m_dir / "bus") << "</listen><auth>EXTERNAL</auth>"
                              << "<policy context=\"default\"><allow user=\"*\"/><allow own=\"*\"/>"
                                 "<allow send_type=\"signal\"/><allow send_type=\"method_call\"/>"
                                 "<allow send_type=\"method_return\"/><allow send_type=\"error\"/>"
                                 "<allow receive_type=\"signal\"/><allow receive_type=\"method_call\"/>"
                                 "<allow receive_type=\"method_return\"/><allow receive_type=\"error\"/>"
                                 "</policy></busconfig>\n";
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(fds[1], 3);
            const std::string argument = "--config-file=" + config;
            ::execlp("dbus-daemon", "dbus-daemon", argument.c_str(), "--nofork", "--print-address=3", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string line;
        char byte = 0;
        pollfd entry {fds[0], POLLIN, 0};
        while (::poll(&entry, 1, 5000) > 0 && ::read(fds[0], &byte, 1) == 1 && byte != '\n')
            line.push_back(byte);
        ::close(fds[0]);
        m_address = line;
    }
    ~PrivateBus()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const std::string& address() const { return m_address; }

private:
    test::TempDir m_dir;
    pid_t m_pid = -1;
    std::string m_address;
};

template <class Predicate>
bool waitUntil(Predicate done, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class DBusSystemNotificationsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (QCoreApplication::instance() == nullptr) {
            static int argc = 1;
            static char name[] = "test_platform";
            static char* argv[] = {name, nullptr};
            new QCoreApplication(argc, argv);
        }
    }

    test::LogCapture m_log;
};

TEST_F(DBusSystemNotificationsTest, DaemonSignalsBecomeNotifications)
{
    PrivateBus bus;
    if (bus.address().empty())
        GTEST_SKIP() << "dbus-daemon could not be started";
    const QString address = QString::fromStdString(bus.address());

    DBusSystemNotifications notifications(address);
    ASSERT_TRUE(notifications.start());
    std::vector<std::string> received;
    QObject::connect(&notifications, &SystemNotifications::helperDidBecomeActive, [&] { received.push_back("active"); });
    QObject::connect(&notifications, &SystemNotifications::helperDidBecomeInactive, [&] { received.push_back("inactive"); });

    {
        QDBusConnection sender = QDBusConnection::connectToBus(address, QStringLiteral("sender"));
        ASSERT_TRUE(sender.isConnected());
        // The daemon's object path and interface; an unrelated signal first.
        const QString path = QStringLiteral("/app/quenby/tessaline/helper");
        const QString interface = QStringLiteral("app.quenby.tessaline.helper");
        sender.send(QDBusMessage::createSignal(path, QStringLiteral("app.quenby.other"), QStringLiteral("didBecomeActive")));
        sender.send(QDBusMessage::createSignal(path, interface, QStringLiteral("didBecomeActive")));
        sender.send(QDBusMessage::createSignal(path, interface, QStringLiteral("didBecomeInactive")));
        EXPECT_TRUE(waitUntil([&] { return received.size() >= 2; }, 5s));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("sender"));
    waitUntil([] { return false; }, 100ms);  // nothing more may arrive
    EXPECT_EQ(received, (std::vector<std::string> {"active", "inactive"}));
}

TEST_F(DBusSystemNotificationsTest, BackgroundStartListensOnceFinished)
{
    PrivateBus bus;
    if (bus.address().empty())
        GTEST_SKIP() << "dbus-daemon could not be started";
    const QString address = QString::fromStdString(bus.address());

    DBusSystemNotifications notifications(address);
    std::vector<bool> finished;
    int active = 0;
    QObject::connect(&notifications, &SystemNotifications::startFinished, [&](bool listening) { finished.push_back(listening); });
    QObject::connect(&notifications, &SystemNotifications::helperDidBecomeActive, [&] { ++active; });
    notifications.startInBackground();
    notifications.startInBackground();  // no second connection
    ASSERT_TRUE(waitUntil([&] { return !finished.empty(); }, 5s));
    EXPECT_EQ(finished, (std::vector<bool> {true}));
    EXPECT_TRUE(notifications.start());  // already listening

    {
        QDBusConnection sender = QDBusConnection::connectToBus(address, QStringLiteral("sender2"));
        sender.send(QDBusMessage::createSignal(QStringLiteral("/app/quenby/tessaline/helper"),
            QStringLiteral("app.quenby.tessaline.helper"), QStringLiteral("didBecomeActive")));
        EXPECT_TRUE(waitUntil([&] { return active == 1; }, 5s));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("sender2"));
    waitUntil([] { return false; }, 100ms);
    EXPECT_EQ(finished.size(), 1u);
}

// A bus that takes the connection but never answers would hold whoever
// connects, and the D-Bus library's own thread with it.
TEST_F(DBusSystemNotificationsTest, HungBusNeverBlocksTheCallerOrOtherConnections)
{
    test::TempDir dir;
    const std::string path = dir / "hung-bus";
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un socketAddress {};
    socketAddress.sun_family = AF_UNIX;
    path.copy(socketAddress.sun_path, sizeof socketAddress.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&socketAddress), sizeof socketAddress), 0);
    ASSERT_EQ(::listen(listener, 4), 0);

    std::vector<bool> finished;
    const auto start = std::chrono::steady_clock::now();
    {
        DBusSystemNotifications gone(QString::fromStdString("unix:path=" + path));
        gone.setProbeTimeout(100ms);
        gone.startInBackground();  // destroyed while its start is under way
    }
    DBusSystemNotifications notifications(QString::fromStdString("unix:path=" + path));
    notifications.setProbeTimeout(300ms);
    QObject::connect(&notifications, &SystemNotifications::startFinished, [&](bool listening) { finished.push_back(listening); });
    notifications.startInBackground();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    const bool gaveUp = waitUntil([&] { return !finished.empty(); }, 3s);
    if (!gaveUp)
        ::close(listener);  // frees a stuck connection before the checks below
    ASSERT_TRUE(gaveUp);
    EXPECT_EQ(finished, (std::vector<bool> {false}));
    // Both gave up, the one destroyed meanwhile too (without touching it).
    const std::string warning = "SystemNotifications: no D-Bus system bus reachable, daemon notifications will not arrive (" + path + " does not answer)";
    EXPECT_TRUE(waitUntil([&] { return m_log.countMessage(warning) == 2; }, 2s));
    EXPECT_EQ(m_log.levelOf(warning), "WARN");

    // Other connections still work while the hung bus keeps its socket open.
    PrivateBus bus;
    if (!bus.address().empty()) {
        DBusSystemNotifications healthy(QString::fromStdString(bus.address()));
        const auto connecting = std::chrono::steady_clock::now();
        EXPECT_TRUE(healthy.start());
        EXPECT_LT(std::chrono::steady_clock::now() - connecting, 2s);
    }
    ::close(listener);
}

TEST_F(DBusSystemNotificationsTest, UnreachableBusIsLoggedAndSilent)
{
    test::TempDir dir;
    DBusSystemNotifications notifications(QString::fromStdString("unix:path=" + (dir / "no-bus")));
    EXPECT_FALSE(notifications.start());
    bool warned = false;
    for (const auto& message : m_log.messages())
        warned = warned || message.rfind("SystemNotifications: no D-Bus system bus reachable, daemon notifications will not arrive (", 0) == 0;
    EXPECT_TRUE(warned);
}

}  // namespace
}  // namespace tess
