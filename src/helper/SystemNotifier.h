#pragma once

#include "Outcome.h"

#include <string_view>

struct DBusConnection;

namespace tess {

// Posts the daemon's system-wide notifications as D-Bus signals on the system
// bus (DBUS_SYSTEM_BUS_ADDRESS chooses another bus): the notification
// "a.b.c.name" becomes the signal "name" of interface "a.b.c" on the object
// path kObjectPath. Not thread-safe: used from the daemon's main thread.
class SystemNotifier {
public:
    static constexpr const char* kObjectPath = "/app/quenby/tessaline/helper";

    SystemNotifier() = default;
    ~SystemNotifier();
    SystemNotifier(const SystemNotifier&) = delete;
    SystemNotifier& operator=(const SystemNotifier&) = delete;

    // Connects when not connected yet.
    Outcome connect();
    // Sends the signal and flushes it.
    Outcome post(std::string_view notificationName);

private:
    DBusConnection* m_connection = nullptr;
};

}  // namespace tess
