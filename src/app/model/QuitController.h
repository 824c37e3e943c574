#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>

namespace tess {

class MonitorViewModel;

// The one road out of the application: the menu, the tray, a signal and the
// end of the session all ask here. A rename or undo batch of the main window
// that is running is let finish and be recorded first (its window, with the
// batch's progress, stays); then, while the file index still has result
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
        // Main thread: the main window's model, or null while there is none.
        std::function<MonitorViewModel*()> windowModel;
        // Main thread: brings the main window, with the batch's progress, to the front.
        std::function<void()> showBatchProgress;
    };

    enum class State {
        running,
        waitingForBatch,
        waitingForWrites,
        quitting,
    };

    explicit QuitController(Dependencies dependencies, QObject* parent = nullptr);
    ~QuitController() override;

    // Quits now, or once the running batch is recorded and the queued writes
    // are done. Asked again while waiting, it shows again what is waited for.
    void requestQuit();
    State state() const { return m_state; }

private:
    // Goes on from the batch to the writes to the end.
    void proceed();
    void onBatchStateChanged();
    void waitForWrites();
    void finish();

    Dependencies m_deps;
    State m_state = State::running;
    QPointer<MonitorViewModel> m_batchModel;
    QMetaObject::Connection m_batchConnection;
    std::unique_ptr<class QThread> m_waiter;
};

}  // namespace tess
