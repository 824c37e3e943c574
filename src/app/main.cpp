// The application's composition root: the shared services, the windows, the
// commands and the start-up sequence.

#include "core/HugePageHeap.h"
#include "index/FileIndexDatabase.h"
#include "log/AppLogger.h"
#include "model/AppStartup.h"
#include "model/HelperStatusManager.h"
#include "model/MonitorViewModel.h"
#include "model/PreferencesManager.h"
#include "model/QuitController.h"
#include "model/SettingsManager.h"
#include "model/SingleInstance.h"
#include "model/UnixSignalWatcher.h"
#include "model/UpdateManager.h"
#include "platform/AutostartFolder.h"
#include "platform/LoginItem.h"
#include "platform/SystemServiceManager.h"
#include "plist/NotificationCenter.h"
#include "ui/help/AboutView.h"
#include "ui/issuelist/FileListView.h"
#include "ui/mainwindow/ContentView.h"
#include "ui/settings/AdvancedSettingsView.h"
#include "ui/widgets/DesktopWorkspace.h"

#include "ui/help/HelpView.h"
#include "ui/history/HistoryListView.h"
#include "ui/history/RenameReportView.h"
#include "ui/mainwindow/QtFolderPicker.h"
#include "ui/mainwindow/QtReportSavePanel.h"
#include "ui/mainwindow/QuitSheet.h"
#include "ui/mainwindow/ShellActions.h"
#include "ui/mainwindow/WindowManager.h"
#include "ui/settings/SettingsView.h"
#include "ui/widgets/Theme.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QSessionManager>
#include <QStyle>
#include <QStyleFactory>
#include <QSystemTrayIcon>
#include <QTimer>

#include <csignal>
#include <cstdlib>

namespace {

using namespace tess;

// Set by the smoke test: the main window is saved there once shown, then the
// application quits the ordinary way.
constexpr const char* kScreenshotVariable = "TESSALINE_SCREENSHOT";

void applyAppearance(AppSettings::AppearanceMode mode)
{
    switch (mode) {
    case AppSettings::AppearanceMode::light:
        QApplication::setPalette(theme::lightPalette());
        break;
    case AppSettings::AppearanceMode::dark:
        QApplication::setPalette(theme::darkPalette());
        break;
    case AppSettings::AppearanceMode::automatic:
        QApplication::setPalette(QApplication::style()->standardPalette());
        break;
    }
}

void configureApplication()
{
    QApplication::setApplicationName(QStringLiteral("Tessaline"));
    QApplication::setDesktopFileName(QStringLiteral("app.quenby.Tessaline"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(AboutView::applicationIconResource()));
}

// The services every window shares, made once in main().
struct Services {
    SettingsManager& settings;
    UpdateManager& updates;
    HelperStatusManager& helperStatus;
    NotificationCenter& notifications;
    DesktopWorkspace& workspace;
    AutostartLoginItem& loginItem;
    QPointer<ContentView>& content;
    WindowManager*& windows;
};

// What the settings sheet needs: the store, the login item, the theme, the
// logger, and when the index may be deleted (monitoring stopped and every
// queued write done).
PreferencesManager::Dependencies preferencesDependencies(const Services& services)
{
    PreferencesManager::Dependencies deps;
    deps.settings = &services.settings;
    deps.loginItem = &services.loginItem;
    deps.notifications = &services.notifications;
    deps.applyTheme = [windows = &services.windows](AppSettings::AppearanceMode mode) { (*windows)->applyTheme(mode); };
    deps.setDebugEnabled = [](bool enabled) { AppLogger::shared().setDebugEnabled(enabled); };
    deps.databasePath = [] { return FileIndexDatabase::defaultPath(); };
    deps.monitoringStopped = [content = &services.content] {
        const ContentView* view = content->data();
        return view == nullptr || view->isIndexReleased();
    };
    return deps;
}

// Fills the main window: its menu bar and the content view with everything
// it makes on demand.
void fillMainWindow(QMainWindow& window, const Services& services, ShellActions& actions)
{
    actions.fillMenuBar(*window.menuBar());
    DesktopWorkspace& workspace = services.workspace;
    HelperStatusManager& helperStatus = services.helperStatus;
    ContentView::Dependencies deps;
    deps.model.settingsManager = &services.settings;
    deps.model.folderPicker = std::make_shared<QtFolderPicker>(&window);
    deps.model.isHelperReady = [&helperStatus] { return helperStatus.isHelperReady(); };
    auto savePanel = std::make_shared<QtReportSavePanel>(&window);
    deps.model.rename.savePanel = savePanel;
    deps.helperStatus = &helperStatus;
    deps.workspace = &workspace;
    deps.makeIssueList = [&workspace](MonitorViewModel& model, QWidget* parent) {
        auto* list = new FileListView(model, workspace, parent);
        QObject::connect(list, &FileListView::renameRequested, &model,
            [&model](const std::vector<FileTransformationResult>& results) { model.renameFiles(results); });
        return list;
    };
    deps.makeAdvancedPane = [](MonitorViewModel& model, QWidget* parent) { return new AdvancedSettingsView(model, parent); };
    deps.makeSettingsSheet = [services](QWidget* parent) {
        return new SettingsView(preferencesDependencies(services), services.helperStatus, services.updates, parent);
    };
    deps.makeAboutView = [&workspace](std::function<void()> close) { return new AboutView(std::move(close), workspace); };
    deps.makeHistorySheet = [savePanel, &workspace](MonitorViewModel& model, QWidget* parent) {
        return new HistoryListView(model, *savePanel, workspace, parent);
    };
    deps.showHelpWindow = [windows = &services.windows] { (*windows)->showHelpWindow(); };
    deps.makeRenameReportSheet = [&workspace](const RenameReport& report, std::function<void()> onExport, QWidget* parent) {
        return new RenameReportView(report, std::move(onExport), workspace, parent);
    };
    services.content = new ContentView(window, std::move(deps));
}

// The menu commands, a second launch, and the signals that end the session.
void connectCommands(QApplication& app, ShellActions& actions, SingleInstance& instance, WindowManager& windows,
    QuitController& quit, NotificationCenter& notifications)
{
    QObject::connect(&actions, &ShellActions::aboutRequested, &app, [&notifications] { notifications.post("ShowAboutWindow"); });
    QObject::connect(&actions, &ShellActions::settingsRequested, &app, [&windows, &notifications] {
        windows.showStandaloneWindow();
        notifications.post("OpenSettingsSheet");
    });
    QObject::connect(&actions, &ShellActions::showMainWindowRequested, &windows, &WindowManager::showStandaloneWindow);
    QObject::connect(&actions, &ShellActions::quitRequested, &quit, &QuitController::requestQuit);
    QObject::connect(&instance, &SingleInstance::reopenRequested, &windows, &WindowManager::showStandaloneWindow);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &quit, [&quit](QSessionManager&) { quit.requestQuit(); });
}

// The tray icon and its menu, where the desktop has a tray.
std::unique_ptr<QSystemTrayIcon> showTrayIcon(ShellActions& actions, QMenu& trayMenu, WindowManager& windows)
{
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return nullptr;
    }
    actions.fillTrayMenu(trayMenu);
    auto tray = std::make_unique<QSystemTrayIcon>(QApplication::windowIcon());
    tray->setToolTip(QStringLiteral("Tessaline"));
    tray->setContextMenu(&trayMenu);
    QObject::connect(tray.get(), &QSystemTrayIcon::activated, &windows, [&windows](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
            windows.showStandaloneWindow();
        }
    });
    tray->show();
    return tray;
}

// What quitting waits for, and the sheet it shows while it waits.
QuitController::Dependencies quitDependencies(WindowManager& windows)
{
    return {
        [] { return FileIndexDatabase::pendingWorkCountOfAllDatabases(); },
        [] { FileIndexDatabase::waitForAllDatabases(); },
        [&windows] {
            // A sheet on a hidden window shows nothing: the window first.
            windows.showStandaloneWindow();
            auto* sheet = new QuitSheet(windows.standaloneWindow());
            sheet->setAttribute(Qt::WA_DeleteOnClose);
            sheet->open();
        },
        [] { QApplication::quit(); },
    };
}

// Shows the About window when another part of the application asks for it.
NotificationCenter::Token observeAboutRequests(NotificationCenter& notifications, WindowManager& windows)
{
    QPointer<WindowManager> windowsGuard(&windows);
    return notifications.addObserver("ShowAboutWindow", [windowsGuard](const auto&) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [windowsGuard] {
                if (windowsGuard) {
                    windowsGuard->showAboutWindow();
                }
            },
            Qt::QueuedConnection);
    });
}

// Saves the main window to `path` once the start-up is done, then quits.
void saveScreenshotOnceStarted(AppStartup& startup, WindowManager& windows, QuitController& quit, const QString& path)
{
    QObject::connect(&startup, &AppStartup::finished, &windows, [&windows, &quit, path] {
        QTimer::singleShot(500, &windows, [&windows, &quit, path] {
            windows.standaloneWindow()->grab().save(path);
            quit.requestQuit();
        });
    });
}

}  // namespace

int main(int argc, char** argv)
{
    startWithHugePageHeap(argv);
    QApplication app(argc, argv);
    configureApplication();

    SingleInstance instance;
    if (!instance.claim()) {
        return 0;
    }

    AppLogger::shared();
    SettingsManager& settings = SettingsManager::shared();
    applyAppearance(settings.settings().preferences.appearanceMode);
    UpdateManager& updates = UpdateManager::shared();
    HelperStatusManager& helperStatus = HelperStatusManager::shared();
    NotificationCenter& notifications = NotificationCenter::defaultCenter();
    ShellActions actions(updates);

    DesktopWorkspace workspace;
    AutostartLoginItem loginItem(QCoreApplication::applicationFilePath().toStdString(), AutostartFolder::path());
    QPointer<ContentView> content;
    WindowManager* windowsPointer = nullptr;
    const Services services {settings, updates, helperStatus, notifications, workspace, loginItem, content, windowsPointer};

    WindowManager windows({
        [&](QMainWindow& window) { fillMainWindow(window, services, actions); },
        [] { return new HelpView; },
        [&workspace](std::function<void()> close) { return new AboutView(std::move(close), workspace); },
        applyAppearance,
    });
    windowsPointer = &windows;

    QuitController quit(quitDependencies(windows));

    connectCommands(app, actions, instance, windows, quit, notifications);
    const auto aboutToken = observeAboutRequests(notifications, windows);

    UnixSignalWatcher signalWatcher({SIGTERM, SIGINT, SIGHUP});
    QObject::connect(&signalWatcher, &UnixSignalWatcher::signalReceived, &quit, &QuitController::requestQuit);

    QMenu trayMenu;
    const std::unique_ptr<QSystemTrayIcon> tray = showTrayIcon(actions, trayMenu, windows);

    AppStartup startup({
        makeSystemServiceManager(),
        {},
        {},
        [&] { helperStatus.refreshStatus(); },
        [&] { windows.showStandaloneWindow(); },
    });
    if (const char* screenshot = std::getenv(kScreenshotVariable)) {
        saveScreenshotOnceStarted(startup, windows, quit, QString::fromLocal8Bit(screenshot));
    }
    startup.start();

    const int status = QApplication::exec();
    notifications.removeObserver(aboutToken);
    return status;
}
