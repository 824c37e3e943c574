#include "platform/DBusSystemNotifications.h"

#include "log/AppLogger.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QMetaObject>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace tess {

namespace {

// "a.b.c.name" → interface "a.b.c", member "name".
QString interfaceOf(std::string_view name)
{
    return QString::fromUtf8(name.substr(0, name.rfind('.')));
}

QString memberOf(std::string_view name)
{
    return QString::fromUtf8(name.substr(name.rfind('.') + 1));
}

QString uniqueConnectionName()
{
    static std::atomic<int> counter {0};
    return QStringLiteral("tessaline-notifications-%1").arg(++counter);
}

// The system bus, or a private connection of the given name to `address`.
QDBusConnection openBus(const QString& address, const QString& name)
{
    return address.isEmpty() ? QDBusConnection::systemBus() : QDBusConnection::connectToBus(address, name);
}

// The socket of a "unix:path=..." bus address (the first of a list), or
// empty for any other kind of address.
std::string unixSocketPath(const QString& address)
{
    QString bus = address;
    if (bus.isEmpty()) {
        const char* configured = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
        bus = configured != nullptr && *configured != '\0' ? QString::fromUtf8(configured)
                                                           : QStringLiteral("unix:path=/var/run/dbus/system_bus_socket");
    }
    bus = bus.section(QLatin1Char(';'), 0, 0);
    if (!bus.startsWith(QLatin1String("unix:"))) {
        return {};
    }
    for (const QString& pair : bus.mid(5).split(QLatin1Char(','))) {
        if (pair.startsWith(QLatin1String("path="))) {
            return QByteArray::fromPercentEncoding(pair.mid(5).toUtf8()).toStdString();
        }
    }
    return {};
}

// False only when a bus at `path` takes the connection but does not start
// the handshake within the time-out. The D-Bus library would wait for such
// a bus for good, and with it every other D-Bus connection of the process.
bool answersInTime(const std::string& path, std::chrono::milliseconds timeout)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        return true;
    }
    path.copy(address.sun_path, path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return true;
    }
    bool answered = true;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        const std::string uid = std::to_string(::getuid());
        std::string hello("\0AUTH EXTERNAL ", 15);
        for (unsigned char c : uid) {
            static constexpr char kHex[] = "0123456789abcdef";
            hello += kHex[c >> 4];
            hello += kHex[c & 0xf];
        }
        hello += "\r\n";
        answered = false;
        if (::send(fd, hello.data(), hello.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(hello.size())) {
            const auto deadline = std::chrono::steady_clock::now() + timeout;
            for (;;) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
                if (left.count() <= 0) {
                    break;
                }
                pollfd entry {fd, POLLIN, 0};
                const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
                if (ready < 0 && errno == EINTR) {
                    continue;
                }
                // Any answer, even a hang-up, means the bus is not stuck.
                answered = ready > 0;
                break;
            }
        }
    }
    ::close(fd);
    return answered;
}

}  // namespace

// Shared by the object and its background connection: whoever learns second
// that the other is done closes the private connection.
struct DBusSystemNotifications::Background {
    std::mutex mutex;
    bool ownerAlive = true;
    bool finished = false;
};

DBusSystemNotifications::DBusSystemNotifications(QString busAddress, QObject* parent)
    : SystemNotifications(parent)
    , m_busAddress(std::move(busAddress))
{
}

DBusSystemNotifications::~DBusSystemNotifications()
{
    bool closeHere = true;
    if (m_background) {
        std::lock_guard lock(m_background->mutex);
        m_background->ownerAlive = false;
        closeHere = m_background->finished;
    }
    if (closeHere && !m_connectionName.isEmpty()) {
        QDBusConnection::disconnectFromBus(m_connectionName);
    }
}

bool DBusSystemNotifications::subscribe(QDBusConnection& bus, DBusSystemNotifications* receiver)
{
    if (!bus.isConnected()) {
        TESS_LOG_WARN("SystemNotifications: no D-Bus system bus reachable, daemon notifications will not arrive ("
            + bus.lastError().message().toStdString() + ")");
        return false;
    }
    const bool active = bus.connect(QString(), QString(), interfaceOf(kDidBecomeActive), memberOf(kDidBecomeActive),
        receiver, SLOT(onDidBecomeActive()));
    const bool inactive = bus.connect(QString(), QString(), interfaceOf(kDidBecomeInactive), memberOf(kDidBecomeInactive),
        receiver, SLOT(onDidBecomeInactive()));
    if (!active || !inactive) {
        TESS_LOG_WARN("SystemNotifications: could not subscribe to the daemon's D-Bus signals ("
            + bus.lastError().message().toStdString() + ")");
        return false;
    }
    return true;
}

bool DBusSystemNotifications::start()
{
    if (m_started) {
        return true;
    }
    if (m_starting) {
        return false;  // a background start owns the connection
    }
    if (!m_connectionName.isEmpty()) {
        QDBusConnection::disconnectFromBus(m_connectionName);
    }
    m_connectionName = m_busAddress.isEmpty() ? QString() : uniqueConnectionName();
    QDBusConnection bus = openBus(m_busAddress, m_connectionName);
    m_started = subscribe(bus, this);
    return m_started;
}

void DBusSystemNotifications::startInBackground()
{
    if (m_started || m_starting) {
        return;
    }
    m_starting = true;
    if (!m_connectionName.isEmpty()) {
        QDBusConnection::disconnectFromBus(m_connectionName);
    }
    m_connectionName = m_busAddress.isEmpty() ? QString() : uniqueConnectionName();
    m_background = std::make_shared<Background>();
    std::thread([background = m_background, address = m_busAddress, name = m_connectionName, receiver = this,
                    probeTimeout = m_probeTimeout] {
        const std::string socketPath = unixSocketPath(address);
        if (!answersInTime(socketPath, probeTimeout)) {
            TESS_LOG_WARN("SystemNotifications: no D-Bus system bus reachable, daemon notifications will not arrive ("
                + socketPath + " does not answer)");
            std::lock_guard lock(background->mutex);
            background->finished = true;
            if (background->ownerAlive) {
                QMetaObject::invokeMethod(
                    receiver, [receiver] { receiver->finishStart(false); }, Qt::QueuedConnection);
            }
            return;
        }
        QDBusConnection bus = openBus(address, name);
        // Held while subscribing, so the receiver cannot go away meanwhile.
        std::lock_guard lock(background->mutex);
        background->finished = true;
        if (!background->ownerAlive) {
            if (!name.isEmpty()) {
                QDBusConnection::disconnectFromBus(name);
            }
            return;
        }
        const bool listening = subscribe(bus, receiver);
        QMetaObject::invokeMethod(
            receiver, [receiver, listening] { receiver->finishStart(listening); }, Qt::QueuedConnection);
    }).detach();
}

void DBusSystemNotifications::finishStart(bool listening)
{
    m_starting = false;
    m_started = listening;
    emit startFinished(listening);
}

void DBusSystemNotifications::onDidBecomeActive()
{
    emit helperDidBecomeActive();
}

void DBusSystemNotifications::onDidBecomeInactive()
{
    emit helperDidBecomeInactive();
}

}  // namespace tess
