#include "ui/mainwindow/ApplicationQuit.h"

#include "index/FileIndexDatabase.h"
#include "model/UnixSignalWatcher.h"
#include "ui/mainwindow/ContentView.h"
#include "ui/mainwindow/QuitSheet.h"
#include "ui/mainwindow/ShellActions.h"
#include "ui/mainwindow/WindowManager.h"

#include <QGuiApplication>
#include <QSessionManager>

namespace tess {

ApplicationQuit::ApplicationQuit(WindowManager& windows, const QPointer<ContentView>& content, std::function<void()> quit,
    QObject* parent)
    : QObject(parent)
    , m_windows(windows)
    , m_content(content)
    , m_controller(dependencies(std::move(quit)))
{
    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(application, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { requestQuit(); });
    }
}

void ApplicationQuit::listenTo(ShellActions& actions)
{
    connect(&actions, &ShellActions::quitRequested, this, &ApplicationQuit::requestQuit);
}

void ApplicationQuit::listenTo(UnixSignalWatcher& signalWatcher)
{
    connect(&signalWatcher, &UnixSignalWatcher::signalReceived, this, &ApplicationQuit::requestQuit);
}

QuitController::Dependencies ApplicationQuit::dependencies(std::function<void()> quit)
{
    QuitController::Dependencies deps;
    deps.pendingWrites = [] { return FileIndexDatabase::pendingWorkCountOfAllDatabases(); };
    deps.waitForWrites = [] { FileIndexDatabase::waitForAllDatabases(); };
    deps.showWaitSheet = [this] { showWaitSheet(); };
    deps.quit = quit ? std::move(quit) : [] { QCoreApplication::exit(0); };
    deps.windowModel = [this]() -> MonitorViewModel* {
        ContentView* content = m_content.data();
        return content != nullptr ? &content->model() : nullptr;
    };
    deps.showBatchProgress = [this] { m_windows.showStandaloneWindow(); };
    return deps;
}

void ApplicationQuit::showWaitSheet()
{
    // A sheet on a hidden window shows nothing: the window first.
    m_windows.showStandaloneWindow();
    // One sheet, kept with the window when closed, so that a quit asked
    // again shows it again.
    QDialog* sheet = m_sheet.data();
    if (sheet == nullptr) {
        sheet = new QuitSheet(m_windows.standaloneWindow());
        m_sheet = sheet;
    }
    sheet->open();
}

}  // namespace tess
