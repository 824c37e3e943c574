#pragma once

#include "platform/SystemNotifications.h"

#include <QString>

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
    ~DBusSystemNotifications() override;

    bool start() override;

private slots:
    void onDidBecomeActive();
    void onDidBecomeInactive();

private:
    QString m_busAddress;
    QString m_connectionName;
    bool m_started = false;
};

}  // namespace tess
