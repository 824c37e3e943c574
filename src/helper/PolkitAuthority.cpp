#include "PolkitAuthority.h"

#include <cstdint>
#include <cstdlib>
#include <dbus/dbus.h>
#include <fstream>
#include <sstream>

namespace tess {

namespace {

constexpr const char* kService = "org.freedesktop.PolicyKit1";
constexpr const char* kObject = "/org/freedesktop/PolicyKit1/Authority";
constexpr const char* kInterface = "org.freedesktop.PolicyKit1.Authority";
constexpr dbus_uint32_t kAllowUserInteraction = 1;

class Message {
public:
    explicit Message(DBusMessage* message)
        : m_message(message)
    {
    }
    ~Message()
    {
        if (m_message != nullptr) {
            ::dbus_message_unref(m_message);
        }
    }
    Message(const Message&) = delete;
    Message& operator=(const Message&) = delete;
    DBusMessage* get() const { return m_message; }

private:
    DBusMessage* m_message;
};

class ErrorHolder {
public:
    ErrorHolder() { ::dbus_error_init(&error); }
    ~ErrorHolder() { ::dbus_error_free(&error); }
    ErrorHolder(const ErrorHolder&) = delete;
    ErrorHolder& operator=(const ErrorHolder&) = delete;
    std::string text() const
    {
        return ::dbus_error_is_set(&error) && error.message != nullptr ? error.message : "unknown error";
    }
    DBusError error;
};

template <typename T>
bool appendEntry(DBusMessageIter* dict, const char* key, int type, const char* signature, const T& value)
{
    DBusMessageIter entry;
    DBusMessageIter variant;
    return ::dbus_message_iter_open_container(dict, DBUS_TYPE_DICT_ENTRY, nullptr, &entry)
        && ::dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key)
        && ::dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, signature, &variant)
        && ::dbus_message_iter_append_basic(&variant, type, &value)
        && ::dbus_message_iter_close_container(&entry, &variant)
        && ::dbus_message_iter_close_container(dict, &entry);
}

// CheckAuthorization((sa{sv}) subject, s action, a{ss} details, u flags, s cancellation id)
bool appendArguments(DBusMessage* message, const PeerContext& peer)
{
    DBusMessageIter arguments;
    DBusMessageIter subject;
    DBusMessageIter dict;
    DBusMessageIter details;
    const char* kind = "unix-process";
    const char* action = PolkitAuthority::kAction;
    const char* cancellation = "";
    dbus_uint32_t pid = static_cast<dbus_uint32_t>(peer.pid);
    dbus_uint64_t startTime = peer.startTime;
    dbus_int32_t uid = static_cast<dbus_int32_t>(peer.uid);
    dbus_uint32_t flags = kAllowUserInteraction;
    ::dbus_message_iter_init_append(message, &arguments);
    return ::dbus_message_iter_open_container(&arguments, DBUS_TYPE_STRUCT, nullptr, &subject)
        && ::dbus_message_iter_append_basic(&subject, DBUS_TYPE_STRING, &kind)
        && ::dbus_message_iter_open_container(&subject, DBUS_TYPE_ARRAY, "{sv}", &dict)
        && appendEntry(&dict, "pid", DBUS_TYPE_UINT32, "u", pid)
        && appendEntry(&dict, "start-time", DBUS_TYPE_UINT64, "t", startTime)
        && appendEntry(&dict, "uid", DBUS_TYPE_INT32, "i", uid)
        && ::dbus_message_iter_close_container(&subject, &dict)
        && ::dbus_message_iter_close_container(&arguments, &subject)
        && ::dbus_message_iter_append_basic(&arguments, DBUS_TYPE_STRING, &action)
        && ::dbus_message_iter_open_container(&arguments, DBUS_TYPE_ARRAY, "{ss}", &details)
        && ::dbus_message_iter_close_container(&arguments, &details)
        && ::dbus_message_iter_append_basic(&arguments, DBUS_TYPE_UINT32, &flags)
        && ::dbus_message_iter_append_basic(&arguments, DBUS_TYPE_STRING, &cancellation);
}

// The answer is (b is_authorized, b is_challenge, a{ss} details).
PolkitAuthority::Decision readAnswer(DBusMessage* reply)
{
    DBusMessageIter arguments;
    DBusMessageIter result;
    if (!::dbus_message_iter_init(reply, &arguments) || ::dbus_message_iter_get_arg_type(&arguments) != DBUS_TYPE_STRUCT) {
        return {false, "polkit gave an answer that cannot be read"};
    }
    ::dbus_message_iter_recurse(&arguments, &result);
    dbus_bool_t authorized = FALSE;
    dbus_bool_t challenge = FALSE;
    if (::dbus_message_iter_get_arg_type(&result) != DBUS_TYPE_BOOLEAN) {
        return {false, "polkit gave an answer that cannot be read"};
    }
    ::dbus_message_iter_get_basic(&result, &authorized);
    ::dbus_message_iter_next(&result);
    if (::dbus_message_iter_get_arg_type(&result) == DBUS_TYPE_BOOLEAN) {
        ::dbus_message_iter_get_basic(&result, &challenge);
    }
    ::dbus_message_iter_next(&result);
    bool dismissed = false;
    if (::dbus_message_iter_get_arg_type(&result) == DBUS_TYPE_ARRAY) {
        DBusMessageIter details;
        ::dbus_message_iter_recurse(&result, &details);
        while (::dbus_message_iter_get_arg_type(&details) == DBUS_TYPE_DICT_ENTRY) {
            DBusMessageIter entry;
            ::dbus_message_iter_recurse(&details, &entry);
            const char* key = nullptr;
            const char* value = nullptr;
            if (::dbus_message_iter_get_arg_type(&entry) == DBUS_TYPE_STRING) {
                ::dbus_message_iter_get_basic(&entry, &key);
                ::dbus_message_iter_next(&entry);
                if (::dbus_message_iter_get_arg_type(&entry) == DBUS_TYPE_STRING) {
                    ::dbus_message_iter_get_basic(&entry, &value);
                }
            }
            if (key != nullptr && value != nullptr && std::string_view(key) == "polkit.dismissed" && std::string_view(value) == "true") {
                dismissed = true;
            }
            ::dbus_message_iter_next(&details);
        }
    }
    if (authorized) {
        return {true, {}};
    }
    if (dismissed) {
        return {false, "the authentication was dismissed"};
    }
    if (challenge) {
        return {false, "authentication is required and could not be obtained"};
    }
    return {false, "the system's policy does not allow this operation"};
}

}  // namespace

PolkitAuthority::PolkitAuthority(std::chrono::milliseconds limit)
    : m_limit(limit)
{
}

PolkitAuthority::~PolkitAuthority()
{
    disconnect();
}

std::uint64_t PolkitAuthority::processStartTime(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) {
        return 0;
    }
    // The command name in parentheses may hold anything, spaces included.
    auto close = line.rfind(')');
    if (close == std::string::npos) {
        return 0;
    }
    std::istringstream fields(line.substr(close + 1));
    std::string field;
    // After the name: state (field 3) ... starttime (field 22).
    for (int number = 3; number <= 22; ++number) {
        if (!(fields >> field)) {
            return 0;
        }
    }
    return std::strtoull(field.c_str(), nullptr, 10);
}

Outcome PolkitAuthority::connect()
{
    if (m_connection != nullptr && ::dbus_connection_get_is_connected(m_connection)) {
        return Outcome::success();
    }
    disconnect();
    ErrorHolder error;
    m_connection = ::dbus_bus_get_private(DBUS_BUS_SYSTEM, &error.error);
    if (m_connection == nullptr) {
        return Failure {error.text()};
    }
    ::dbus_connection_set_exit_on_disconnect(m_connection, FALSE);
    return Outcome::success();
}

void PolkitAuthority::disconnect()
{
    if (m_connection != nullptr) {
        ::dbus_connection_close(m_connection);
        ::dbus_connection_unref(m_connection);
        m_connection = nullptr;
    }
}

PolkitAuthority::Decision PolkitAuthority::check(const PeerContext& peer)
{
    if (peer.pid <= 0) {
        return {false, "the calling process is unknown"};
    }
    // Without its start time polkit would judge whatever process holds the
    // pid when it looks.
    if (peer.startTime == 0) {
        return {false, "the start time of the calling process is unknown"};
    }
    if (Outcome connected = connect(); !connected) {
        return {false, "cannot reach the system bus: " + connected.reason()};
    }
    Message call(::dbus_message_new_method_call(kService, kObject, kInterface, "CheckAuthorization"));
    if (call.get() == nullptr || !appendArguments(call.get(), peer)) {
        return {false, "out of memory"};
    }
    ErrorHolder error;
    Message reply(::dbus_connection_send_with_reply_and_block(m_connection, call.get(), static_cast<int>(m_limit.count()), &error.error));
    if (reply.get() == nullptr) {
        return {false, "cannot ask polkit: " + error.text()};
    }
    return readAnswer(reply.get());
}

}  // namespace tess
