#pragma once

#include "model/QuitController.h"

#include <QDialog>
#include <QObject>
#include <QPointer>

#include <functional>

namespace tess {

class ContentView;
class ShellActions;
class UnixSignalWatcher;
class WindowManager;

// How the application quits: the Quit command, the signals of the session's
// end and the session manager all ask one QuitController, which waits for a
// rename or undo batch of the main window, then for the queued writes of
// every open index database (with the "Saving analysis results…" sheet on the
// main window), and then ends the event loop with the sheet still open.
class ApplicationQuit : public QObject {
    Q_OBJECT

public:
    // `content` is the main window's content once the window is built.
    // `quit` ends the event loop (default: QCoreApplication::exit(0), which
    // no open window can refuse).
    ApplicationQuit(WindowManager& windows, const QPointer<ContentView>& content, std::function<void()> quit = {},
        QObject* parent = nullptr);

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
    const QPointer<ContentView>& m_content;
    QPointer<QDialog> m_sheet;
    QuitController m_controller;
};

}  // namespace tess
