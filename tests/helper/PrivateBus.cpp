#include "PrivateBus.h"

#include <algorithm>
#include <csignal>
#include <dbus/dbus.h>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tess::test {

PrivateBus::PrivateBus()
{
    const std::string config = m_dir / "bus.conf";
    {
        std::ofstream out(config);
        out << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig>\n  <type>system</type>\n"
               "  <listen>unix:path="
            << (m_dir / "system_bus_socket")
            << "</listen>\n"
               "  <auth>EXTERNAL</auth>\n"
               "  <policy context=\"default\">\n"
               "    <allow user=\"*\"/>\n    <allow own=\"*\"/>\n"
               "    <allow send_type=\"signal\"/>\n    <allow send_type=\"method_call\"/>\n"
               "    <allow send_type=\"method_return\"/>\n    <allow send_type=\"error\"/>\n"
               "    <allow receive_type=\"signal\"/>\n    <allow receive_type=\"method_call\"/>\n"
               "    <allow receive_type=\"method_return\"/>\n    <allow receive_type=\"error\"/>\n"
               "  </policy>\n</busconfig>\n";
    }
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return;
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(pipeFds[1], 3);
        // Its complaints (it may not raise its descriptor limit) go to a file.
        int log = ::open((m_dir / "bus.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (log >= 0)
            ::dup2(log, STDERR_FILENO);
        std::string configArgument = "--config-file=" + config;
        ::execlp("dbus-daemon", "dbus-daemon", configArgument.c_str(), "--nofork", "--print-address=3",
            static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    // The address comes as one line; wait at most five seconds.
    std::string line;
    char byte;
    pollfd entry {pipeFds[0], POLLIN, 0};
    while (::poll(&entry, 1, 5000) > 0 && ::read(pipeFds[0], &byte, 1) == 1 && byte != '\n')
        line.push_back(byte);
    ::close(pipeFds[0]);
    m_address = line;
}

PrivateBus::~PrivateBus()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
}

SignalWatcher::SignalWatcher(const std::string& address)
{
    DBusError error;
    ::dbus_error_init(&error);
    m_connection = ::dbus_connection_open_private(address.c_str(), &error);
    if (m_connection == nullptr || !::dbus_bus_register(m_connection, &error)) {
        ::dbus_error_free(&error);
        if (m_connection != nullptr) {
            ::dbus_connection_close(m_connection);
            ::dbus_connection_unref(m_connection);
            m_connection = nullptr;
        }
        return;
    }
    ::dbus_connection_set_exit_on_disconnect(m_connection, FALSE);
    ::dbus_bus_add_match(m_connection, "type='signal',interface='app.quenby.tessaline.helper'", &error);
    ::dbus_error_free(&error);
    ::dbus_connection_flush(m_connection);
}

SignalWatcher::~SignalWatcher()
{
    if (m_connection != nullptr) {
        ::dbus_connection_close(m_connection);
        ::dbus_connection_unref(m_connection);
    }
}

void SignalWatcher::dispatch()
{
    while (DBusMessage* message = ::dbus_connection_pop_message(m_connection)) {
        if (::dbus_message_get_type(message) == DBUS_MESSAGE_TYPE_SIGNAL && std::string(::dbus_message_get_interface(message) ? ::dbus_message_get_interface(message) : "") == "app.quenby.tessaline.helper" && std::string(::dbus_message_get_path(message) ? ::dbus_message_get_path(message) : "") == "/app/quenby/tessaline/helper")
            m_received.emplace_back(::dbus_message_get_member(message));
        ::dbus_message_unref(message);
    }
}

bool SignalWatcher::waitFor(const std::string& member, std::chrono::milliseconds limit)
{
    if (m_connection == nullptr)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        dispatch();
        if (std::find(m_received.begin(), m_received.end(), member) != m_received.end())
            return true;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        ::dbus_connection_read_write(m_connection, static_cast<int>(std::min<long long>(left.count(), 50)));
    }
}

}  // namespace tess::test
