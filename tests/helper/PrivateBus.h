#pragma once

#include "TempDir.h"

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

struct DBusConnection;

namespace tess::test {

// A dbus-daemon of our own with a system-bus-like configuration, so that the
// daemon's signals can be observed without the machine's system bus.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Empty when the bus could not be started.
    const std::string& address() const { return m_address; }

private:
    TempDir m_dir;
    pid_t m_pid = -1;
    std::string m_address;
};

// Receives the daemon's signals (interface "app.quenby.tessaline.helper").
class SignalWatcher {
public:
    explicit SignalWatcher(const std::string& address);
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

    bool connected() const { return m_connection != nullptr; }
    // True once a signal with this member has arrived (within `limit`).
    bool waitFor(const std::string& member, std::chrono::milliseconds limit);
    // Every member received so far, in order.
    const std::vector<std::string>& received() const { return m_received; }

private:
    void dispatch();
    DBusConnection* m_connection = nullptr;
    std::vector<std::string> m_received;
};

}  // namespace tess::test
