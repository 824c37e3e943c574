#pragma once

#include <QObject>

#include <cstdint>
#include <functional>

namespace tess {

// The one road out of the application: the menu, the tray, a signal and the
// end of the session all ask here. While the file index still has result
// writes queued, the quit waits for them off the main thread (with a sheet
// on the main window), then goes on.
class QuitController : public QObject {
    Q_OBJECT

public:
    struct Dependencies {
        // Background writes still queued in every open index database.
        std::function<std::int64_t()> pendingWrites;
        // Blocks until those writes are done (runs on a worker thread).
        std::function<void()> waitForWrites;
        // Main thread: shows "Saving analysis results…" on the main window.
        std::function<void()> showWaitSheet;
        // Main thread: ends the event loop.
        std::function<void()> quit;
    };

    explicit QuitController(Dependencies dependencies, QObject* parent = nullptr);
    ~QuitController() override;

    // Quits now, or once the queued writes are done. A second request while
    // waiting changes nothing.
    void requestQuit();
    bool isWaiting() const { return m_waiting; }

private:
    Dependencies m_deps;
    bool m_waiting = false;
    std::unique_ptr<class QThread> m_waiter;
};

}  // namespace tess
