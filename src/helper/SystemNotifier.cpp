#include "SystemNotifier.h"

#include <dbus/dbus.h>

namespace tess {

SystemNotifier::~SystemNotifier()
{
    if (m_connection != nullptr) {
        ::dbus_connection_close(m_connection);
        ::dbus_connection_unref(m_connection);
    }
}

Outcome SystemNotifier::connect()
{
    if (m_connection != nullptr) {
        return Outcome::success();
    }
    DBusError error;
    ::dbus_error_init(&error);
    m_connection = ::dbus_bus_get_private(DBUS_BUS_SYSTEM, &error);
    if (m_connection == nullptr) {
        std::string why = ::dbus_error_is_set(&error) ? error.message : "unknown error";
        ::dbus_error_free(&error);
        return Failure {why};
    }
    ::dbus_connection_set_exit_on_disconnect(m_connection, FALSE);
    return Outcome::success();
}

Outcome SystemNotifier::post(std::string_view notificationName)
{
    auto dot = notificationName.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == notificationName.size()) {
        return Failure {"invalid notification name"};
    }
    if (Outcome connected = connect(); !connected) {
        return connected;
    }
    std::string interface(notificationName.substr(0, dot));
    std::string member(notificationName.substr(dot + 1));
    DBusMessage* message = ::dbus_message_new_signal(kObjectPath, interface.c_str(), member.c_str());
    if (message == nullptr) {
        return Failure {"out of memory"};
    }
    bool sent = ::dbus_connection_send(m_connection, message, nullptr);
    ::dbus_message_unref(message);
    if (!sent) {
        return Failure {"out of memory"};
    }
    ::dbus_connection_flush(m_connection);
    if (!::dbus_connection_get_is_connected(m_connection)) {
        ::dbus_connection_close(m_connection);
        ::dbus_connection_unref(m_connection);
        m_connection = nullptr;
        return Failure {"disconnected from the bus"};
    }
    return Outcome::success();
}

}  // namespace tess
