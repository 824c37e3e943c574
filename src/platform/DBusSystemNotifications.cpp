#include "platform/DBusSystemNotifications.h"

#include "log/AppLogger.h"

#include <QDBusConnection>
#include <QDBusError>
#include <atomic>
#include <string_view>
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

}  // namespace

DBusSystemNotifications::DBusSystemNotifications(QString busAddress, QObject* parent)
    : SystemNotifications(parent)
    , m_busAddress(std::move(busAddress))
{
}

DBusSystemNotifications::~DBusSystemNotifications()
{
    if (!m_connectionName.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
}

bool DBusSystemNotifications::start()
{
    if (m_started)
        return true;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!m_busAddress.isEmpty()) {
        m_connectionName = uniqueConnectionName();
        bus = QDBusConnection::connectToBus(m_busAddress, m_connectionName);
    }
    if (!bus.isConnected()) {
        TESS_LOG_WARN("SystemNotifications: no D-Bus system bus reachable, daemon notifications will not arrive ("
            + bus.lastError().message().toStdString() + ")");
        return false;
    }
    const bool active = bus.connect(QString(), QString(), interfaceOf(kDidBecomeActive), memberOf(kDidBecomeActive),
        this, SLOT(onDidBecomeActive()));
    const bool inactive = bus.connect(QString(), QString(), interfaceOf(kDidBecomeInactive), memberOf(kDidBecomeInactive),
        this, SLOT(onDidBecomeInactive()));
    if (!active || !inactive) {
        TESS_LOG_WARN("SystemNotifications: could not subscribe to the daemon's D-Bus signals ("
            + bus.lastError().message().toStdString() + ")");
        return false;
    }
    m_started = true;
    return true;
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
