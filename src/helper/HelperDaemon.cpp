#include "HelperDaemon.h"

#include "ChildProcess.h"
#include "ClientSession.h"
#include "ConnectionRegistry.h"
#include "FrameIO.h"
#include "HelperEndpoint.h"
#include "HelperLogger.h"
#include "HelperToolService.h"
#include "LogLimiter.h"
#include "PeerAuthorizer.h"
#include "PolkitAuthority.h"
#include "WireFormat.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace tess {

namespace {

using namespace std::chrono_literals;

constexpr std::size_t kMaxConnections = 64;  // shared by the users other than root
constexpr std::size_t kMaxConnectionsPerUser = 16;
constexpr auto kFirstRequestLimit = 5s;  // a new connection sending its first request
constexpr auto kIdleLimit = 30s;  // a connection waiting for its next request
constexpr auto kReplyLimit = 10s;  // writing one reply
// Running requests at SIGTERM: time for a disk-image program to be stopped
// (ChildProcess::kStopGrace) and cleaned up after.
constexpr auto kStopLimit = ChildProcess::kStopGrace + 2000ms;
constexpr auto kDrainLimit = 1000ms;  // queued log entries at exit

struct Connection {
    int fd = -1;
    std::uint64_t id = 0;
    PeerContext peer;
};

void serveRequests(const Connection& connection, HelperToolService& service, ConnectionRegistry& connections,
    LogLimiter& limits, HelperLogger& logger, const std::function<void(const HelperRequest&)>& requestHook)
{
    ClientSession client(logger, connection.peer, limits);
    const std::string malformed = "Refused a malformed request from uid " + std::to_string(connection.peer.uid);
    for (bool first = true;; first = false) {
        const auto limit = first ? std::chrono::seconds(kFirstRequestLimit) : std::chrono::seconds(kIdleLimit);
        auto frame = FrameIO::readFrame(connection.fd, std::chrono::steady_clock::now() + limit, WireFormat::kMaxPayload);
        if (frame.status != FrameIO::Status::ok) {
            if (frame.status == FrameIO::Status::malformed && !connections.madeRoom(connection.id)) {
                client.refuse(malformed);
            }
            break;
        }
        // Closed meanwhile to make room for another user: not served.
        if (!connections.beginRequest(connection.id)) {
            break;
        }
        auto request = WireFormat::decodeRequest(frame.payload);
        if (!request) {
            client.refuse(malformed);
            break;
        }
        // A request that fails with an exception is answered as failed; the
        // connection and the daemon go on.
        HelperReply reply;
        try {
            if (requestHook) {
                requestHook(*request);
            }
            reply = service.handle(*request, client);
        } catch (const std::exception& error) {
            std::string text = std::string("Request failed: ") + error.what();
            client.log(text, "ERROR");
            reply = {false, text, {}};
        }
        client.finishRequest();
        const auto written = FrameIO::writeFrame(connection.fd, WireFormat::encodeReply(reply), std::chrono::steady_clock::now() + kReplyLimit);
        connections.endRequest(connection.id);
        if (written != FrameIO::Status::ok) {
            break;
        }
    }
}

// A connection's thread. Nothing thrown here may end the process, which
// serves every other client as root.
void serveConnection(Connection connection, std::shared_ptr<HelperToolService> service,
    std::shared_ptr<ConnectionRegistry> connections, std::shared_ptr<LogLimiter> limits, HelperLogger& logger,
    std::function<void(const HelperRequest&)> requestHook)
{
    try {
        serveRequests(connection, *service, *connections, *limits, logger, requestHook);
    } catch (const std::exception& error) {
        try {
            logger.log("Connection from uid " + std::to_string(connection.peer.uid) + " failed: " + error.what(), "ERROR", connection.peer.uid);
        } catch (...) {
        }
    } catch (...) {
        try {
            logger.log("Connection from uid " + std::to_string(connection.peer.uid) + " failed", "ERROR", connection.peer.uid);
        } catch (...) {
        }
    }
    connections->remove(connection.id);
    ::close(connection.fd);
}

}  // namespace

HelperDaemon::Config HelperDaemon::configFromEnvironment()
{
    Config config;
    config.socketPath = HelperEndpoint::socketPath();
    config.adminGroup = PeerAuthorizer::adminGroupFromEnvironment();
    config.diskImageTool = HelperToolService::installedDiskImageTool();
    config.childTimeLimit = ChildProcess::timeLimitFromEnvironment();
    config.rootLogPath = HelperLogger::kDefaultRootLog;
    if (const char* path = std::getenv(kRootLogVariable); path != nullptr && path[0] == '/') {
        config.rootLogPath = path;
    }
    if (const char* text = std::getenv(kLogSizeLimitVariable); text != nullptr && *text != '\0') {
        char* end = nullptr;
        unsigned long long bytes = std::strtoull(text, &end, 10);
        if (*end == '\0' && bytes >= 4096 && bytes <= (1ull << 32)) {
            config.logSizeLimit = static_cast<std::size_t>(bytes);
        }
    }
    return config;
}

HelperDaemon::HelperDaemon(HelperLogger& logger, Config config)
    : m_logger(logger)
    , m_config(std::move(config))
    , m_connections(std::make_shared<ConnectionRegistry>(kMaxConnections, kMaxConnectionsPerUser))
    , m_limits(std::make_shared<LogLimiter>())
{
    m_logger.configure(m_config.rootLogPath, m_config.logSizeLimit);
}

HelperDaemon::~HelperDaemon()
{
    if (m_signalFd >= 0) {
        ::close(m_signalFd);
    }
}

int HelperDaemon::fail(const std::string& why)
{
    m_logger.log(why, "ERROR");
    std::fprintf(stderr, "%s: %s\n", HelperEndpoint::kServiceName.data(), why.c_str());
    m_logger.drain(kDrainLimit);
    return 1;
}

int HelperDaemon::run()
{
    // 1. The service (its creation writes the banner).
    m_service = std::make_shared<HelperToolService>(m_logger, m_config.users, m_config.diskImageTool, m_config.childTimeLimit);
    m_service->setCheckpointHook(m_config.checkpointHook);

    // 2. SIGTERM is read from a descriptor; the caller has blocked it.
    sigset_t terminate;
    sigemptyset(&terminate);
    sigaddset(&terminate, SIGTERM);
    m_signalFd = ::signalfd(-1, &terminate, SFD_CLOEXEC);
    if (m_signalFd < 0) {
        return fail(std::string("Cannot watch SIGTERM: ") + std::strerror(errno));
    }

    // 3. Listen; a daemon that cannot listen ends at once and says so.
    if (Outcome listening = m_listener.open(m_config.socketPath, m_config.adminGroup); !listening) {
        return fail(listening.reason());
    }

    // 4. Announce it only now that clients can connect.
    if (Outcome posted = m_notifier.post(kDidBecomeActive); posted) {
        m_logger.log("Posted didBecomeActive D-Bus signal", "INFO");
    } else {
        m_logger.log("Could not post didBecomeActive on the system bus: " + posted.reason(), "ERROR");
    }

    for (;;) {
        pollfd entries[2] = {{m_listener.fd(), POLLIN, 0}, {m_signalFd, POLLIN, 0}};
        if (::poll(entries, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail(std::string("Cannot wait for connections: ") + std::strerror(errno));
        }
        if (entries[1].revents != 0) {
            signalfd_siginfo info {};
            if (::read(m_signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info) && info.ssi_signo == SIGTERM) {
                stop();
                return 0;
            }
        }
        if (entries[0].revents != 0) {
            acceptConnection();
        }
        m_connections->joinFinished();
    }
}

void HelperDaemon::logAbout(uid_t uid, LogLimiter::Kind kind, std::string text)
{
    const auto admitted = m_limits->admit(uid, kind);
    if (!admitted.write) {
        return;
    }
    const bool refusal = kind == LogLimiter::Kind::refusal;
    const char* level = refusal ? "ERROR" : "DEBUG";
    if (admitted.notWritten > 0) {
        const std::string count = LogLimiter::countText({uid, kind, admitted.notWritten});
        if (refusal) {
            text += " (" + count + ")";
        } else {
            m_logger.log(count, level, uid);
        }
    }
    m_logger.log(std::move(text), level, uid);
}

void HelperDaemon::acceptConnection()
{
    int fd = ::accept4(m_listener.fd(), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            m_logger.log(std::string("Cannot accept a connection: ") + std::strerror(errno), "ERROR");
            std::this_thread::sleep_for(100ms);
        }
        return;
    }

    ucred credentials {};
    socklen_t length = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) {
        m_logger.log(std::string("Refused a connection without credentials: ") + std::strerror(errno), "ERROR");
        ::close(fd);
        return;
    }
    // Every line about the connection is the client's: it goes to the log
    // of its own user (or root's), and a flood of them is cut per user.
    PeerContext peer {credentials.pid, credentials.uid, credentials.gid, 0};
    logAbout(peer.uid, LogLimiter::Kind::connection, "New XPC connection from client");
    PeerAuthorizer authorizer(m_config.adminGroup, m_config.users);
    if (!authorizer.isAuthorized(peer.uid, peer.gid)) {
        logAbout(peer.uid, LogLimiter::Kind::refusal, "Refused a connection from uid " + std::to_string(peer.uid) + ": not root or an administrator");
        ::close(fd);
        return;
    }
    // Without its start time polkit could be asked about whatever process
    // reuses the pid later: such a connection is not served.
    peer.startTime = m_config.startTimeReader ? m_config.startTimeReader(peer.pid) : PolkitAuthority::processStartTime(peer.pid);
    if (peer.startTime == 0) {
        logAbout(peer.uid, LogLimiter::Kind::refusal,
            "Refused a connection from uid " + std::to_string(peer.uid) + ", pid " + std::to_string(peer.pid)
                + ": the start time of its process could not be read");
        ::close(fd);
        return;
    }
    auto admission = m_connections->add(fd, peer.uid);
    if (!admission.id) {
        logAbout(peer.uid, LogLimiter::Kind::refusal, "Refused a connection from uid " + std::to_string(peer.uid) + ": too many connections");
        ::close(fd);
        return;
    }
    if (admission.madeRoomFrom) {
        logAbout(peer.uid, LogLimiter::Kind::connection,
            "Closed an idle connection of uid " + std::to_string(*admission.madeRoomFrom) + " to serve uid " + std::to_string(peer.uid));
    }
    const std::uint64_t id = *admission.id;
    try {
        m_connections->adopt(id, std::thread(serveConnection, Connection {fd, id, peer}, m_service, m_connections, m_limits, std::ref(m_logger), m_config.requestHook));
    } catch (const std::exception& error) {
        m_logger.log(std::string("Cannot serve a connection: ") + error.what(), "ERROR");
        m_connections->remove(id);
        ::close(fd);
    }
}

void HelperDaemon::stop()
{
    m_logger.log("Received SIGTERM, notifying app and exiting", "INFO");
    m_listener.close();
    // No disk-image program outlives the daemon (outside systemd nothing
    // else would stop it).
    m_service->stopChildren();
    m_connections->closeAll();
    m_connections->waitUntilEmpty(kStopLimit);
    m_connections->joinFinished();
    for (const auto& count : m_limits->takeAllCounts()) {
        m_logger.log(LogLimiter::countText(count), count.kind == LogLimiter::Kind::refusal ? "ERROR" : "DEBUG", count.uid);
    }
    if (Outcome posted = m_notifier.post(kDidBecomeInactive); !posted) {
        m_logger.log("Could not post didBecomeInactive on the system bus: " + posted.reason(), "ERROR");
    }
    m_logger.drain(kDrainLimit);
}

}  // namespace tess
