#include "ui/mainwindow/MainWindowComposition.h"

#include "index/FileIndexDatabase.h"
#include "log/AppLogger.h"
#include "model/HelperStatusManager.h"
#include "model/MonitorViewModel.h"
#include "model/PreferencesManager.h"
#include "model/SettingsManager.h"
#include "plist/NotificationCenter.h"
#include "ui/help/AboutView.h"
#include "ui/history/HistoryListView.h"
#include "ui/history/RenameReportView.h"
#include "ui/issuelist/FileListView.h"
#include "ui/mainwindow/ContentView.h"
#include "ui/mainwindow/QtFolderPicker.h"
#include "ui/mainwindow/QtReportSavePanel.h"
#include "ui/mainwindow/ShellActions.h"
#include "ui/mainwindow/WindowManager.h"
#include "ui/settings/AdvancedSettingsView.h"
#include "ui/settings/SettingsView.h"
#include "ui/widgets/Theme.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>

namespace tess::MainWindowComposition {

namespace {

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

// The sheets and panes the content view makes on demand.
void addViewFactories(ContentView::Dependencies& deps, const Services& services, std::shared_ptr<ReportSavePanel> savePanel)
{
    Workspace& workspace = services.workspace;
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
}

}  // namespace

void fillMainWindow(QMainWindow& window, const Services& services, ShellActions& actions)
{
    actions.fillMenuBar(*window.menuBar());
    HelperStatusManager& helperStatus = services.helperStatus;
    ContentView::Dependencies deps;
    deps.model.settingsManager = &services.settings;
    deps.model.dataFolder = services.dataFolder;
    deps.model.notificationCenter = &services.notifications;
    auto folderPicker = std::make_shared<QtFolderPicker>(&window);
    deps.model.folderPicker = folderPicker;
    deps.model.isHelperReady = [&helperStatus] { return helperStatus.isHelperReady(); };
    auto savePanel = std::make_shared<QtReportSavePanel>(&window);
    deps.model.rename.savePanel = savePanel;
    deps.helperStatus = &helperStatus;
    deps.workspace = &services.workspace;
    deps.notifications = &services.notifications;
    deps.approvalCheckDelayMs = services.approvalCheckDelayMs;
    addViewFactories(deps, services, savePanel);
    auto* content = new ContentView(window, std::move(deps));
    QPointer<MonitorViewModel> model(&content->model());
    folderPicker->setStartFolder([model]() -> std::optional<std::string> {
        const MonitorViewModel* shown = model.data();
        return shown != nullptr ? shown->sourcePath() : std::nullopt;
    });
    services.content = content;
}

void connectShellActions(ShellActions& actions, WindowManager& windows, NotificationCenter& notifications)
{
    QObject::connect(&actions, &ShellActions::aboutRequested, &windows, [&notifications] {
        notifications.post(ContentView::kShowAboutWindow);
    });
    QObject::connect(&actions, &ShellActions::settingsRequested, &windows, [&windows, &notifications] {
        windows.showStandaloneWindow();
        notifications.post(ContentView::kOpenSettingsSheet);
    });
    QObject::connect(&actions, &ShellActions::showMainWindowRequested, &windows, &WindowManager::showStandaloneWindow);
}

void applyAppearance(AppSettings::AppearanceMode mode)
{
    theme::keepDerivedRolesInStep();
    switch (mode) {
    case AppSettings::AppearanceMode::light:
        QApplication::setPalette(theme::lightPalette());
        break;
    case AppSettings::AppearanceMode::dark:
        QApplication::setPalette(theme::darkPalette());
        break;
    case AppSettings::AppearanceMode::automatic:
        // A palette with no role set resolves against the base palette: the
        // platform theme's where there is one, Fusion's standard elsewhere.
        // Only the derived roles are then set, so the others keep following
        // the desktop's scheme.
        QApplication::setPalette(QPalette());
        QApplication::setPalette(theme::withDerivedRoles(QApplication::palette()));
        break;
    }
}

}  // namespace tess::MainWindowComposition
