#pragma once

#include "platform/SystemNotifications.h"

#include <QString>
#include <chrono>
#include <memory>

class QDBusConnection;

namespace tess {

// Receives the daemon's announcements as D-Bus signals on the system bus: the
// notification "a.b.c.name" is the signal "name" of interface "a.b.c", from
// any sender and object path. Without a reachable bus it logs why and stays
// silent.
class DBusSystemNotifications : public SystemNotifications {
    Q_OBJECT

public:
    // An empty address means the system bus (DBUS_SYSTEM_BUS_ADDRESS or the
    // standard socket); tests pass the address of a private bus.
    explicit DBusSystemNotifications(QString busAddress = {}, QObject* parent = nullptr);
    // Never waits for a connection still being made in the background.
    ~DBusSystemNotifications() override;

    bool start() override;
    // Connects on a thread of its own, which outlives this object if the bus
    // hangs and closes the connection itself once it returns. A bus on a
    // Unix socket that does not answer within the probe time-out is given
    // up before the D-Bus library is asked to connect (which would wait for
    // it for good, holding up every D-Bus connection of the process).
    void startInBackground() override;
    void setProbeTimeout(std::chrono::milliseconds timeout) { m_probeTimeout = timeout; }

private slots:
    void onDidBecomeActive();
    void onDidBecomeInactive();

private:
    struct Background;

    static bool subscribe(QDBusConnection& bus, DBusSystemNotifications* receiver);
    void finishStart(bool listening);

    QString m_busAddress;
    QString m_connectionName;
    bool m_started = false;
    bool m_starting = false;
    std::chrono::milliseconds m_probeTimeout = std::chrono::seconds(5);
    std::shared_ptr<Background> m_background;
};

}  // namespace tess
