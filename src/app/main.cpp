// The application's composition root: the shared services, the windows, the
// commands and the start-up sequence.

#include "core/HugePageHeap.h"
#include "index/FileIndexDatabase.h"
#include "log/AppLogger.h"
#include "model/AppStartup.h"
#include "model/HelperStatusManager.h"
#include "model/SettingsManager.h"
#include "model/SingleInstance.h"
#include "model/UnixSignalWatcher.h"
#include "model/UpdateManager.h"
#include "platform/AutostartFolder.h"
#include "platform/LoginItem.h"
#include "platform/SystemServiceManager.h"
#include "plist/NotificationCenter.h"
#include "ui/help/AboutView.h"
#include "ui/mainwindow/ContentView.h"
#include "ui/widgets/DesktopWorkspace.h"

#include "ui/help/HelpView.h"
#include "ui/mainwindow/ApplicationQuit.h"
#include "ui/mainwindow/MainWindowComposition.h"
#include "ui/mainwindow/ShellActions.h"
#include "ui/mainwindow/WindowManager.h"

#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
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

void configureApplication()
{
    QApplication::setApplicationName(QStringLiteral("Tessaline"));
    QApplication::setDesktopFileName(QStringLiteral("app.quenby.Tessaline"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(AboutView::applicationIconResource()));
}

// The menu commands and a second launch.
void connectCommands(ShellActions& actions, SingleInstance& instance, WindowManager& windows, NotificationCenter& notifications)
{
    MainWindowComposition::connectShellActions(actions, windows, notifications);
    QObject::connect(&instance, &SingleInstance::reopenRequested, &windows, &WindowManager::showStandaloneWindow);
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
void saveScreenshotOnceStarted(AppStartup& startup, WindowManager& windows, ApplicationQuit& quit, const QString& path)
{
    QObject::connect(&startup, &AppStartup::finished, &windows, [&windows, &quit, path] {
        QTimer::singleShot(500, &windows, [&windows, &quit, path] {
            QImage image = windows.standaloneWindow()->grab().toImage();
            // What the window system made of the window, for the smoke test.
            const QWidget* active = QApplication::activeWindow();
            image.setText(QStringLiteral("activeWindow"), active != nullptr ? active->objectName() : QString());
            image.save(path);
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
    MainWindowComposition::applyAppearance(settings.settings().preferences.appearanceMode);
    UpdateManager& updates = UpdateManager::shared();
    HelperStatusManager& helperStatus = HelperStatusManager::shared();
    NotificationCenter& notifications = NotificationCenter::defaultCenter();
    ShellActions actions(updates);

    DesktopWorkspace workspace;
    AutostartLoginItem loginItem(QCoreApplication::applicationFilePath().toStdString(), AutostartFolder::path());
    QPointer<ContentView> content;
    WindowManager* windowsPointer = nullptr;
    const MainWindowComposition::Services services {
        settings, updates, helperStatus, notifications, workspace, loginItem, content, windowsPointer, {}};

    WindowManager windows({
        [&](QMainWindow& window) { MainWindowComposition::fillMainWindow(window, services, actions); },
        [] { return new HelpView; },
        [&workspace](std::function<void()> close) { return new AboutView(std::move(close), workspace); },
        MainWindowComposition::applyAppearance,
        actions.windowActions(),
    });
    windowsPointer = &windows;

    ApplicationQuit quit(windows, content);
    quit.listenTo(actions);

    connectCommands(actions, instance, windows, notifications);
    const auto aboutToken = observeAboutRequests(notifications, windows);

    UnixSignalWatcher signalWatcher({SIGTERM, SIGINT, SIGHUP});
    quit.listenTo(signalWatcher);

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
