#pragma once

#include "ui/mainwindow/MainWindowState.h"

#include <QObject>

#include <functional>

class QAction;
class QMainWindow;
class QMenu;
class QToolBar;
class QToolButton;

namespace tess {

class MonitorViewModel;
class Workspace;

// The main window's toolbar: the source and preset menus, Scan, Analyze and
// Rename, the More menu and the advanced-settings button. Every title, icon,
// help text and enabled flag comes from MainWindowState::toolbarState; the
// toolbar keeps no state of its own.
class MainToolbar : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kOnlineHelpAddress = "https://quenby.example/tessaline/help.html";

    struct Actions {
        std::function<void()> showHistory;
        std::function<void()> showHelpWindow;
        std::function<void()> showSettings;
        std::function<void()> showAbout;
        std::function<void()> exportReport;
    };

    MainToolbar(QMainWindow& window, MonitorViewModel& model, Workspace& workspace, Actions actions);

    // Applies the model's current values to every item.
    void refresh(const MainWindowState::Snapshot& snapshot);

    QToolBar* toolBar() const { return m_toolBar; }
    QAction* scanAction() const { return m_scan; }
    QAction* analyzeAction() const { return m_analyze; }
    QAction* renameAction() const { return m_rename; }
    QAction* exportAction() const { return m_export; }
    QAction* advancedAction() const { return m_advanced; }
    QToolButton* sourceButton() const { return m_sourceButton; }
    QToolButton* presetButton() const { return m_presetButton; }
    QMenu* sourceMenu() const { return m_sourceMenu; }
    QMenu* presetMenu() const { return m_presetMenu; }

private:
    void buildMoreMenu(QToolButton& button);
    void rebuildSourceMenu(const MainWindowState::ToolbarState& state);
    void rebuildPresetMenu();
    void runScan();
    void runAnalyze();

    MonitorViewModel& m_model;
    Workspace& m_workspace;
    Actions m_actions;
    MainWindowState::ToolbarState m_state;
    QToolBar* m_toolBar = nullptr;
    QToolButton* m_sourceButton = nullptr;
    QMenu* m_sourceMenu = nullptr;
    QToolButton* m_presetButton = nullptr;
    QMenu* m_presetMenu = nullptr;
    QAction* m_scan = nullptr;
    QAction* m_analyze = nullptr;
    QAction* m_rename = nullptr;
    QAction* m_export = nullptr;
    QAction* m_advanced = nullptr;
};

}  // namespace tess
