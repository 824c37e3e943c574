#pragma once

#include "DaemonProcess.h"
#include "HelperClient.h"
#include "PolkitMock.h"
#include "PrivateBus.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace tess::test {

// Polls `condition` until it holds (true) or `limit` has passed (false).
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit);

// A raw connection to the daemon, for clients that misbehave; -1 on failure.
int connectRaw(const std::string& path);
// `request` framed as it goes on the wire.
std::string requestFrame(const HelperRequest& request);

// One private bus for the whole program; per test a folder with the socket,
// a password file (root's home is <folder>/home) and the daemon itself.
class DaemonFixture : public ::testing::Test {
protected:
    static constexpr std::chrono::milliseconds kTimeout {5000};

    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;

    // Starts the daemon and waits until it answers; `extra` adds or
    // overrides its variables.
    void startDaemon(const DaemonProcess::Environment& extra = {}, bool waitUntilAnswering = true);
    // Simulated polkit on the private bus; with `allow`, it authorises the
    // daemon's action, else it refuses everything.
    void startPolkit(bool allow = true);
    // Hands root's test home to the daemon, so its log is written there.
    void handOverHome();
    // `call` made as the tester: uid 4242 in group 65534 ("nogroup"), no
    // other groups.
    static HelperCallResult asTester(const std::function<HelperCallResult()>& call);

    std::string logPath() const;
    std::string readLog() const;
    // Root's own log, where entries of clients without a log of their own
    // go: what was done as root, and apart from it all the rest.
    std::string rootLogPath() const;
    std::string rootActivityLogPath() const;
    static std::string readFile(const std::string& path);
    // The log once it holds `text` (entries are written in the background),
    // or as it is after `limit`.
    std::string waitForLog(const std::string& text, std::chrono::milliseconds limit = std::chrono::seconds(2)) const;
    // A shell script written to the folder and made executable.
    std::string writeScript(const std::string& name, const std::string& body) const;

    static PrivateBus* bus() { return s_bus; }

    std::unique_ptr<TempDir> m_dir;
    std::string m_home;
    std::string m_socket;
    std::string m_passwd;
    std::unique_ptr<SignalWatcher> m_watcher;
    std::unique_ptr<PolkitMock> m_polkit;
    std::unique_ptr<DaemonProcess> m_daemon;
    std::unique_ptr<HelperClient> m_client;

private:
    static PrivateBus* s_bus;
};

}  // namespace tess::test
