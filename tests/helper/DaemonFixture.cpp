#include "DaemonFixture.h"

#include "FrameIO.h"
#include "HelperLogger.h"
#include "PolkitAuthority.h"
#include "WireFormat.h"

#include <fstream>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace tess::test {

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

int connectRaw(const std::string& path)
{
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string requestFrame(const HelperRequest& request)
{
    auto payload = WireFormat::encodeRequest(request);
    return FrameIO::header(payload->size()) + *payload;
}

PrivateBus* DaemonFixture::s_bus = nullptr;

void DaemonFixture::SetUpTestSuite()
{
    if (s_bus == nullptr)
        s_bus = new PrivateBus();
}

void DaemonFixture::TearDownTestSuite()
{
    delete s_bus;
    s_bus = nullptr;
}

void DaemonFixture::SetUp()
{
    ASSERT_FALSE(bus()->address().empty()) << "dbus-daemon did not start";
    m_dir = std::make_unique<TempDir>();
    // Unprivileged test peers must reach the socket.
    ::chmod(m_dir->path().c_str(), 0755);
    m_home = *m_dir / "home";
    m_dir->makeDir("home");
    m_socket = *m_dir / "helper.sock";
    m_passwd = *m_dir / "passwd";
    m_dir->writeFile("passwd", "root:x:0:0:root:" + m_home + ":/bin/sh\n"
                                                             "tester:x:4242:65534:tester:"
            + m_home + "/tester:/bin/sh\n"
                       "nobody:x:65534:65534:nobody:/nonexistent:/usr/sbin/nologin\n");
    m_watcher = std::make_unique<SignalWatcher>(bus()->address());
    ASSERT_TRUE(m_watcher->connected());
    m_client = std::make_unique<HelperClient>(m_socket);
}

void DaemonFixture::startDaemon(const DaemonProcess::Environment& extra, bool waitUntilAnswering)
{
    DaemonProcess::Environment environment {
        {"TESSALINE_HELPER_SOCKET", m_socket},
        {"DBUS_SYSTEM_BUS_ADDRESS", bus()->address()},
        {"TESSALINE_HELPER_PASSWD_FILE", m_passwd},
        {"TESSALINE_HELPER_ADMIN_GROUP", ""},
        {"TESSALINE_DISKIMAGE_TOOL", *m_dir / "no-such-tool"},
        {"TESSALINE_HELPER_ROOT_LOG", rootLogPath()},
    };
    for (const auto& [name, value] : extra)
        environment[name] = value;
    m_daemon = std::make_unique<DaemonProcess>(environment);
    if (waitUntilAnswering) {
        ASSERT_TRUE(m_daemon->start(m_socket)) << "the daemon did not start";
    } else {
        ASSERT_TRUE(m_daemon->launch());
    }
}

void DaemonFixture::startPolkit(bool allow)
{
    m_polkit.reset();
    m_polkit = std::make_unique<PolkitMock>(bus()->address());
    ASSERT_TRUE(m_polkit->running()) << "the simulated polkitd did not start";
    ASSERT_TRUE(m_polkit->setAllowed(allow ? std::vector<std::string> {PolkitAuthority::kAction} : std::vector<std::string> {}));
}

void DaemonFixture::handOverHome()
{
    auto result = m_client->initializeForUser(m_home, kTimeout);
    ASSERT_TRUE(result.ok());
    ASSERT_TRUE(result.reply.success) << result.reply.message;
}

std::string DaemonFixture::logPath() const
{
    return HelperLogger::logPathForHome(m_home);
}

std::string DaemonFixture::rootLogPath() const
{
    return *m_dir / "root.log";
}

HelperCallResult DaemonFixture::asTester(const std::function<HelperCallResult()>& call)
{
    return callAsUser(4242, 65534, {}, call);
}

std::string DaemonFixture::rootActivityLogPath() const
{
    return HelperLogger::activityLogPath(rootLogPath());
}

std::string DaemonFixture::readLog() const
{
    return readFile(logPath());
}

std::string DaemonFixture::readFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string DaemonFixture::waitForLog(const std::string& text, std::chrono::milliseconds limit) const
{
    std::string log;
    waitUntil([&] {
        log = readLog();
        return log.find(text) != std::string::npos;
    },
        limit);
    return log;
}

std::string DaemonFixture::writeScript(const std::string& name, const std::string& body) const
{
    m_dir->writeFile(name, "#!/bin/sh\n" + body);
    std::string path = *m_dir / name;
    ::chmod(path.c_str(), 0755);
    return path;
}

}  // namespace tess::test
