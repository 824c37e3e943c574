#pragma once

// The main window as the application composes it, over a private settings
// file, data folder and autostart folder, a daemon that awaits approval
// (never asked within a test) and a workspace that records what it is asked.

#include "FakeServiceManager.h"
#include "FakeWorkspace.h"
#include "TempDir.h"
#include "WidgetTestSupport.h"

#include "model/HelperStatusManager.h"
#include "model/SettingsManager.h"
#include "model/UpdateManager.h"
#include "platform/LoginItem.h"
#include "platform/NullUpdater.h"
#include "plist/NotificationCenter.h"
#include "settings/DefaultsStore.h"
#include "ui/help/AboutView.h"
#include "ui/help/HelpView.h"
#include "ui/mainwindow/ContentView.h"
#include "ui/mainwindow/MainWindowComposition.h"
#include "ui/mainwindow/ShellActions.h"
#include "ui/mainwindow/WindowManager.h"

#include <QDir>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

namespace tess::test {

class ComposedMainWindow {
public:
    // The index and the history go to `dataFolder`, by default "data" in `dir`.
    explicit ComposedMainWindow(const TempDir& dir, const std::string& dataFolder = {})
        : m_settings(std::make_shared<DefaultsStore>(dir / "defaults.plist"))
        , m_updates(std::make_shared<NullUpdater>(std::make_shared<DefaultsStore>(dir / "updater.plist")))
        , m_loginItem("/usr/bin/true", dir / "autostart")
        , m_actions(m_updates)
    {
        m_services->setStatus(ServiceStatus::notFound);
        HelperStatusManager::Dependencies helper;
        helper.serviceManager = m_services;
        helper.socketPath = dir / "nothing.sock";
        helper.homeFolder = [home = dir.path()] { return home; };
        helper.openLoginItems = [] {};
        helper.sleep = [](std::chrono::milliseconds) {};
        m_helper = std::make_unique<HelperStatusManager>(std::move(helper));
        m_windowServices = std::make_unique<MainWindowComposition::Services>(MainWindowComposition::Services {
            m_settings, m_updates, *m_helper, m_center, m_workspace, m_loginItem, m_content, m_windowsPointer,
            dataFolder.empty() ? dir / "data" : dataFolder, 600000});
        m_windows = std::make_unique<WindowManager>(WindowManager::Dependencies {
            [this](QMainWindow& window) { MainWindowComposition::fillMainWindow(window, *m_windowServices, m_actions); },
            [] { return new HelpView; },
            [this](std::function<void()> close) { return new AboutView(std::move(close), m_workspace); },
            MainWindowComposition::applyAppearance,
            m_actions.windowActions(),
        });
        m_windowsPointer = m_windows.get();
        MainWindowComposition::connectShellActions(m_actions, *m_windows, m_center);
        // As the application's entry does, before any window is shown.
        MainWindowComposition::applyAppearance(m_settings.settings().preferences.appearanceMode);
    }

    ~ComposedMainWindow()
    {
        if (ContentView* view = m_content.data()) {
            view->model().stopMonitoring();
        }
    }

    // Builds (the first time) and shows the main window.
    QMainWindow& show()
    {
        m_windows->showStandaloneWindow();
        return *m_windows->standaloneWindow();
    }

    SettingsManager& settings() { return m_settings; }
    WindowManager& windows() { return *m_windows; }
    ShellActions& actions() { return m_actions; }
    // The main window's content; null before the first show().
    ContentView* content() const { return m_content.data(); }
    // The same, as the application's quit path follows it.
    const QPointer<ContentView>& contentPointer() const { return m_content; }

    static QString screenshotPath(const QString& name)
    {
        return test::screenshotPath(QStringLiteral("main-window"), name);
    }

private:
    SettingsManager m_settings;
    UpdateManager m_updates;
    NotificationCenter m_center;
    FakeWorkspace m_workspace;
    AutostartLoginItem m_loginItem;
    ShellActions m_actions;
    std::shared_ptr<FakeServiceManager> m_services = std::make_shared<FakeServiceManager>();
    std::unique_ptr<HelperStatusManager> m_helper;
    QPointer<ContentView> m_content;
    WindowManager* m_windowsPointer = nullptr;
    std::unique_ptr<MainWindowComposition::Services> m_windowServices;
    std::unique_ptr<WindowManager> m_windows;
};

}  // namespace tess::test
