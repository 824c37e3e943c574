#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>

namespace tess {

// The one road out of the application: the menu, the tray, a signal and the
// end of the session all ask here. While the file index still has result
// writes queued, the quit waits for them off the main thread (with a sheet on
// the main window); then the application quits, whatever is shown.
class QuitController : public QObject {
    Q_OBJECT

public:
    struct Dependencies {
        // Background writes still queued in every open index database.
        std::function<std::int64_t()> pendingWrites;
        // Blocks until those writes are done (runs on a worker thread).
        std::function<void()> waitForWrites;
        // Main thread: shows "Saving analysis results…" on the main window
        // (again, when it was closed meanwhile).
        std::function<void()> showWaitSheet;
        // Main thread: ends the event loop, whatever windows are open.
        std::function<void()> quit;
    };

    enum class State {
        running,
        waitingForWrites,
        quitting,
    };

    explicit QuitController(Dependencies dependencies, QObject* parent = nullptr);
    ~QuitController() override;

    // Quits now, or once the queued writes are done. Asked again while
    // waiting, it shows the sheet again.
    void requestQuit();
    State state() const { return m_state; }
    bool isWaiting() const { return m_state == State::waitingForWrites; }

private:
    void waitForWrites();
    void finish();

    Dependencies m_deps;
    State m_state = State::running;
    std::unique_ptr<class QThread> m_waiter;
};

}  // namespace tess
