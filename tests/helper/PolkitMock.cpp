#include "PolkitMock.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <dbus/dbus.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tess::test {

namespace {

constexpr const char* kName = "org.freedesktop.PolicyKit1";
constexpr const char* kObject = "/org/freedesktop/PolicyKit1/Authority";

DBusConnection* connectTo(const std::string& address)
{
    DBusError error;
    ::dbus_error_init(&error);
    DBusConnection* connection = ::dbus_connection_open_private(address.c_str(), &error);
    if (connection == nullptr || !::dbus_bus_register(connection, &error)) {
        ::dbus_error_free(&error);
        if (connection != nullptr) {
            ::dbus_connection_close(connection);
            ::dbus_connection_unref(connection);
        }
        return nullptr;
    }
    ::dbus_connection_set_exit_on_disconnect(connection, FALSE);
    return connection;
}

void release(DBusConnection* connection)
{
    ::dbus_connection_close(connection);
    ::dbus_connection_unref(connection);
}

}  // namespace

PolkitMock::PolkitMock(const std::string& address)
    : m_address(address)
{
    const std::string log = m_dir / "calls.log";
    m_pid = ::fork();
    if (m_pid == 0) {
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.c_str(), 1);
        int quiet = ::open("/dev/null", O_WRONLY);
        if (quiet >= 0) {
            ::dup2(quiet, STDOUT_FILENO);
            ::dup2(quiet, STDERR_FILENO);
        }
        // The system's Python, which has the dbus bindings the mock needs.
        ::execl("/usr/bin/python3", "python3", "-m", "dbusmock", "--system", "--template", "polkitd", "-l", log.c_str(),
            static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (m_pid < 0)
        return;
    DBusConnection* connection = connectTo(m_address);
    if (connection == nullptr)
        return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
        if (::dbus_bus_name_has_owner(connection, kName, nullptr)) {
            m_running = true;
            break;
        }
        if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    release(connection);
}

PolkitMock::~PolkitMock()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
}

bool PolkitMock::setAllowed(const std::vector<std::string>& actions)
{
    DBusConnection* connection = connectTo(m_address);
    if (connection == nullptr)
        return false;
    DBusMessage* call = ::dbus_message_new_method_call(kName, kObject, "org.freedesktop.DBus.Mock", "SetAllowed");
    DBusMessageIter arguments;
    DBusMessageIter list;
    ::dbus_message_iter_init_append(call, &arguments);
    ::dbus_message_iter_open_container(&arguments, DBUS_TYPE_ARRAY, "s", &list);
    for (const auto& action : actions) {
        const char* text = action.c_str();
        ::dbus_message_iter_append_basic(&list, DBUS_TYPE_STRING, &text);
    }
    ::dbus_message_iter_close_container(&arguments, &list);
    DBusError error;
    ::dbus_error_init(&error);
    DBusMessage* reply = ::dbus_connection_send_with_reply_and_block(connection, call, 5000, &error);
    bool done = reply != nullptr;
    if (reply != nullptr)
        ::dbus_message_unref(reply);
    ::dbus_message_unref(call);
    ::dbus_error_free(&error);
    release(connection);
    return done;
}

bool PolkitMock::refuseAfter(int checks)
{
    DBusConnection* connection = connectTo(m_address);
    if (connection == nullptr)
        return false;
    // A template of our own replaces the mock's check.
    const std::string templatePath = TESSALINE_POLKIT_LIMITED_TEMPLATE;
    DBusMessage* call = ::dbus_message_new_method_call(kName, kObject, "org.freedesktop.DBus.Mock", "AddTemplate");
    DBusMessageIter arguments;
    DBusMessageIter parameters;
    DBusMessageIter entry;
    DBusMessageIter value;
    ::dbus_message_iter_init_append(call, &arguments);
    const char* path = templatePath.c_str();
    ::dbus_message_iter_append_basic(&arguments, DBUS_TYPE_STRING, &path);
    ::dbus_message_iter_open_container(&arguments, DBUS_TYPE_ARRAY, "{sv}", &parameters);
    ::dbus_message_iter_open_container(&parameters, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
    const char* key = "yes";
    ::dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key);
    ::dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, "i", &value);
    const dbus_int32_t count = checks;
    ::dbus_message_iter_append_basic(&value, DBUS_TYPE_INT32, &count);
    ::dbus_message_iter_close_container(&entry, &value);
    ::dbus_message_iter_close_container(&parameters, &entry);
    ::dbus_message_iter_close_container(&arguments, &parameters);
    DBusError error;
    ::dbus_error_init(&error);
    DBusMessage* reply = ::dbus_connection_send_with_reply_and_block(connection, call, 5000, &error);
    const bool done = reply != nullptr;
    if (reply != nullptr)
        ::dbus_message_unref(reply);
    ::dbus_message_unref(call);
    ::dbus_error_free(&error);
    release(connection);
    return done;
}

int PolkitMock::checkCount() const
{
    const std::string log = calls();
    int count = 0;
    for (std::size_t at = log.find("CheckAuthorization"); at != std::string::npos; at = log.find("CheckAuthorization", at + 1))
        ++count;
    return count;
}

std::string PolkitMock::calls() const
{
    return m_dir.exists("calls.log") ? m_dir.readFile("calls.log") : std::string();
}

}  // namespace tess::test
