#pragma once

#include "HelperClient.h"

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>

namespace tess::test {

// A daemon binary started with its environment pointed at a test folder: its
// socket and a private bus, and for the test build (the default), which
// alone reads them, a password file and a disk-image tool.
class DaemonProcess {
public:
    // Variables for the daemon; an empty value removes the variable.
    using Environment = std::map<std::string, std::string>;

    explicit DaemonProcess(Environment environment, std::string binary = TESSALINE_HELPER_BINARY);
    ~DaemonProcess();  // kills the daemon if it still runs
    DaemonProcess(const DaemonProcess&) = delete;
    DaemonProcess& operator=(const DaemonProcess&) = delete;

    // Starts the daemon and waits until its socket answers or it exits.
    // With `inheritedSocket` >= 0, the daemon gets it the way systemd passes
    // a socket (descriptor 3, LISTEN_FDS=1, LISTEN_PID).
    bool start(const std::string& socketPath, int inheritedSocket = -1, int extraFd = -1);
    // Starts the daemon without waiting for anything. `extraFd` >= 0 is
    // passed as a second systemd descriptor (4, LISTEN_FDS=2).
    bool launch(int inheritedSocket = -1, int extraFd = -1);
    // Sends SIGTERM and returns the exit status; empty when it did not end
    // normally within `limit`.
    std::optional<int> terminate(std::chrono::milliseconds limit = std::chrono::seconds(5));
    // Waits for the daemon to end by itself.
    std::optional<int> waitForExit(std::chrono::milliseconds limit);
    bool running();
    pid_t pid() const { return m_pid; }

private:
    Environment m_environment;
    std::string m_binary;
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

// Runs `call` in a child process that has dropped root for `uid`/`gid` (with
// `groups` as supplementary groups), and returns what the call returned.
HelperCallResult callAsUser(uid_t uid, gid_t gid, const std::vector<gid_t>& groups,
    const std::function<HelperCallResult()>& call);

}  // namespace tess::test
