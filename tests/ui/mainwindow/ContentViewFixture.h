#pragma once

// The main window's content over a real view model: isolated settings, an
// NTFS destination, a scripted folder picker and a daemon awaiting approval.

#include "FakeServiceManager.h"
#include "FakeWorkspace.h"
#include "TempDir.h"
#include "WidgetTestSupport.h"

#include "model/HelperStatusManager.h"
#include "model/MonitorViewModel.h"
#include "model/SettingsManager.h"
#include "settings/DefaultsStore.h"
#include "ui/issuelist/FileListView.h"
#include "ui/mainwindow/ContentView.h"
#include "ui/mainwindow/MainStatusBar.h"
#include "ui/mainwindow/MainToolbar.h"
#include "ui/mainwindow/PlaceholderPane.h"
#include "ui/mainwindow/ProgressOverlay.h"
#include "ui/settings/AdvancedSettingsView.h"
#include "ui/widgets/Theme.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>

#include <memory>
#include <optional>
#include <string>

namespace tess {
namespace {

class ScriptedPicker : public FolderPicker {
public:
    void chooseFolder(const std::string&, const std::string&, Completion done) override { done(answer); }
    std::optional<std::string> answer;
};

[[maybe_unused]] void saveShot(QWidget& widget, const QString& name)
{
    widget.grab().save(test::screenshotPath(QStringLiteral("main-window"), name));
}

class ContentViewTest : public ::testing::Test {
protected:
    ContentViewTest()
        : m_settings(std::make_shared<DefaultsStore>(m_dir / "defaults.plist"))
    {
        m_settings.updateSettings([](AppSettings& s) {
            s.preferences.lastDestinationConfig = DestinationConfig::presetFilesystem(FilesystemPreset::ntfs, false);
            s.preferences.usePrivilegedHelper = true;
        });
        m_services->setStatus(ServiceStatus::requiresApproval);
        m_services->failRegistration("needs approval");
        HelperStatusManager::Dependencies helper;
        helper.serviceManager = m_services;
        helper.socketPath = m_dir / "nothing.sock";
        helper.homeFolder = [this] { return m_dir.path(); };
        helper.openLoginItems = [this] { ++m_openedApproval; };
        helper.sleep = [](std::chrono::milliseconds) {};
        m_helper = std::make_unique<HelperStatusManager>(std::move(helper));
    }

    ContentView& build()
    {
        m_window = std::make_unique<QMainWindow>();
        m_window->resize(1240, 760);
        ContentView::Dependencies deps;
        deps.model.settingsManager = &m_settings;
        deps.model.dataFolder = m_dir / "data";
        deps.model.folderPicker = m_picker;
        deps.model.isHelperReady = [] { return false; };
        deps.model.notificationCenter = &m_center;
        deps.model.directoryOpener = m_opener;
        deps.helperStatus = m_helper.get();
        deps.workspace = &m_workspace;
        deps.notifications = &m_center;
        deps.makeIssueList = [this](MonitorViewModel& model, QWidget* parent) {
            return new FileListView(model, m_workspace, parent);
        };
        deps.makeAdvancedPane = [](MonitorViewModel& model, QWidget* parent) {
            return new AdvancedSettingsView(model, parent);
        };
        deps.makeSettingsSheet = [](QWidget* parent) {
            auto* sheet = new QDialog(parent);
            sheet->setObjectName(QStringLiteral("settingsSheet"));
            return sheet;
        };
        deps.makeAboutView = [](std::function<void()>) { return new QLabel(QStringLiteral("about")); };
        deps.makeHistorySheet = [](MonitorViewModel&, QWidget* parent) { return new QDialog(parent); };
        deps.showHelpWindow = [this] { ++m_helpWindows; };
        deps.makeRenameReportSheet = [this](const RenameReport&, std::function<void()>, QWidget* parent) {
            ++m_reportSheets;
            return new QDialog(parent);
        };
        deps.approvalCheckDelayMs = m_approvalDelay;
        m_view = new ContentView(*m_window, std::move(deps));
        return *m_view;
    }

    PlaceholderPane& pane() const { return *m_view->findChild<PlaceholderPane*>(QStringLiteral("placeholderPane")); }
    QWidget* current() const { return m_view->findChild<QStackedWidget*>(QStringLiteral("contentStack"))->currentWidget(); }

    test::TempDir m_dir;
    SettingsManager m_settings;
    NotificationCenter m_center;
    std::shared_ptr<ScriptedPicker> m_picker = std::make_shared<ScriptedPicker>();
    std::shared_ptr<test::FakeServiceManager> m_services = std::make_shared<test::FakeServiceManager>();
    std::unique_ptr<HelperStatusManager> m_helper;
    test::FakeWorkspace m_workspace;
    std::unique_ptr<QMainWindow> m_window;
    ContentView* m_view = nullptr;
    DirectoryWalker::DirectoryOpener m_opener;  // empty: the real file system
    int m_approvalDelay = 60000;
    int m_openedApproval = 0;
    int m_helpWindows = 0;
    int m_reportSheets = 0;
};

}  // namespace
}  // namespace tess
