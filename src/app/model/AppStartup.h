#pragma once

#include "platform/ServiceManager.h"

#include <QObject>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace tess {

// The start-up sequence: the daemon is registered again (restarted when it
// was enabled), its status refreshed, then the main window shown. The
// service-manager calls and the pauses between them run on a worker thread
// while the event loop runs; the status refresh and the window are the main
// thread's. Nothing here ever asks the user for a password.
class AppStartup : public QObject {
    Q_OBJECT

public:
    // The environment variable that test programs set: start-up then does
    // nothing but say so.
    static constexpr const char* kTestHarnessVariable = "TESSALINE_UNDER_TEST";

    struct Dependencies {
        std::shared_ptr<ServiceManager> services;
        // Blocks the worker for the given time.
        std::function<void(std::chrono::milliseconds)> pause;
        // True under a test program (default: kTestHarnessVariable is set).
        std::function<bool()> underTestHarness;
        // Main thread: asks the daemon status manager to refresh.
        std::function<void()> refreshHelperStatus;
        // Main thread: shows the main window.
        std::function<void()> showMainWindow;
    };

    explicit AppStartup(Dependencies dependencies, QObject* parent = nullptr);
    ~AppStartup() override;

    // Runs the sequence; returns at once. `finished` follows the window.
    void start();

    // "notRegistered", "enabled", "requiresApproval", "notFound" or "unknown".
    static std::string statusName(ServiceStatus status);

signals:
    void finished();

private:
    void registerDaemon();
    void finishOnMainThread();

    Dependencies m_deps;
    std::unique_ptr<class QThread> m_worker;
};

}  // namespace tess
