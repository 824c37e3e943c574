#pragma once

#include "model/QuitController.h"

#include <QDialog>
#include <QObject>
#include <QPointer>

#include <functional>

namespace tess {

class ShellActions;
class UnixSignalWatcher;
class WindowManager;

// How the application quits: the Quit command, the signals of the session's
// end and the session manager all ask one QuitController, which waits for the
// queued writes of every open index database (with the "Saving analysis
// results…" sheet on the main window), and then ends the event loop with the
// sheet still open.
class ApplicationQuit : public QObject {
    Q_OBJECT

public:
    // `quit` ends the event loop (default: QCoreApplication::exit(0), which
    // no open window can refuse).
    explicit ApplicationQuit(WindowManager& windows, std::function<void()> quit = {}, QObject* parent = nullptr);

    // Quit requests from the Quit command and from these signals.
    void listenTo(ShellActions& actions);
    void listenTo(UnixSignalWatcher& signalWatcher);

    void requestQuit() { m_controller.requestQuit(); }
    const QuitController& controller() const { return m_controller; }
    // The sheet now shown, or null.
    QDialog* sheet() const { return m_sheet; }

private:
    QuitController::Dependencies dependencies(std::function<void()> quit);
    void showWaitSheet();

    WindowManager& m_windows;
    QPointer<QDialog> m_sheet;
    QuitController m_controller;
};

}  // namespace tess
