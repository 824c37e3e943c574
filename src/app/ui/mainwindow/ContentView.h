#pragma once

#include "model/MonitorViewModel.h"
#include "plist/NotificationCenter.h"
#include "ui/mainwindow/MainWindowState.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

#include <QDialog>
#include <QMessageBox>

class QMainWindow;
class QSplitter;
class QStackedWidget;

namespace tess {

class HelperStatusManager;
class MainStatusBar;
class MainToolbar;
class PlaceholderPane;
class ProgressOverlay;
class Workspace;

// The main window's content: it owns the window's MonitorViewModel, lays out
// the main pane (the issue list or a placeholder pane, the status bar) beside
// the advanced-settings pane, puts the toolbar on the window, and carries the
// window's sheets and alerts. Widgets are updated in place from the model's
// signals, coalesced to one update per turn of the event loop.
class ContentView : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* kOpenSettingsSheet = "OpenSettingsSheet";
    static constexpr const char* kShowAboutWindow = "ShowAboutWindow";

    struct Dependencies {
        MonitorViewModel::Dependencies model;
        HelperStatusManager* helperStatus = nullptr;
        Workspace* workspace = nullptr;
        NotificationCenter* notifications = nullptr;  // null: the default centre
        // The views this window hosts.
        std::function<QWidget*(MonitorViewModel&, QWidget* parent)> makeIssueList;
        std::function<QWidget*(MonitorViewModel&, QWidget* parent)> makeAdvancedPane;
        std::function<QDialog*(QWidget* parent)> makeSettingsSheet;
        std::function<QWidget*(std::function<void()> close)> makeAboutView;
        std::function<QDialog*(MonitorViewModel&, QWidget* parent)> makeHistorySheet;
        std::function<void()> showHelpWindow;
        // The rename report sheet; `onExport` exports the report shown.
        std::function<QDialog*(const RenameReport& report, std::function<void()> onExport, QWidget* parent)>
            makeRenameReportSheet;
        // How long after the window shows the daemon's approval is checked.
        int approvalCheckDelayMs = 1500;
    };

    // Builds the content into `window` (central widget and toolbar).
    ContentView(QMainWindow& window, Dependencies dependencies);
    ~ContentView() override;

    MonitorViewModel& model() const { return *m_model; }
    MainToolbar& toolbar() const { return *m_toolbar; }
    MainWindowState::Snapshot snapshot() const;
    // True when no scan runs and no index database is open or still writing:
    // the index files may be deleted.
    bool isIndexReleased() const;

    // The sheets and alerts now shown (null when none).
    QDialog* settingsSheet() const { return m_settingsSheet; }
    QDialog* aboutSheet() const { return m_aboutSheet; }
    QDialog* historySheet() const { return m_historySheet; }
    QMessageBox* renameConfirmation() const { return m_renameConfirmation; }
    QMessageBox* renameResult() const { return m_renameResult; }
    QMessageBox* helperAlert() const { return m_helperAlert; }
    QDialog* renameReportSheet() const { return m_renameReportSheet; }
    QMessageBox* exportErrorAlert() const { return m_exportError; }

    void showSettingsSheet();
    void showAboutSheet();
    void showHistorySheet();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void scheduleUpdate();
    void update();
    void updateContentArea(const MainWindowState::Snapshot& s);
    void updateOverlays(const MainWindowState::Snapshot& s);
    void updateAlerts();
    void updateRenameReportSheet();
    void updateExportError();
    void updateAdvancedPane();
    void checkHelperApproval();
    // The splitter with the main pane: the content stack (issue list,
    // placeholder, empty) above the status bar.
    void buildPanes();
    void buildOverlays();
    // Every published change of the model leads to one update on the next turn;
    // the ticker refreshes the relative times each second.
    void subscribeToModel();
    void observe(const char* name, void (ContentView::*slot)());

    Dependencies m_deps;
    std::unique_ptr<MonitorViewModel> m_model;
    NotificationCenter* m_notifications = nullptr;
    std::vector<NotificationCenter::Token> m_tokens;
    MainToolbar* m_toolbar = nullptr;
    QSplitter* m_splitter = nullptr;
    QWidget* m_mainPane = nullptr;
    QStackedWidget* m_content = nullptr;
    QWidget* m_issueList = nullptr;
    PlaceholderPane* m_placeholder = nullptr;
    QWidget* m_empty = nullptr;
    MainStatusBar* m_statusBar = nullptr;
    ProgressOverlay* m_scanOverlay = nullptr;
    ProgressOverlay* m_renameOverlay = nullptr;
    QWidget* m_advancedPane = nullptr;
    QTimer m_ticker;
    bool m_updateQueued = false;
    bool m_approvalChecked = false;
    QPointer<QDialog> m_settingsSheet;
    QPointer<QDialog> m_aboutSheet;
    QPointer<QDialog> m_historySheet;
    QPointer<QMessageBox> m_renameConfirmation;
    QPointer<QMessageBox> m_renameResult;
    QPointer<QMessageBox> m_helperAlert;
    QPointer<QDialog> m_renameReportSheet;
    QPointer<QMessageBox> m_exportError;
};

}  // namespace tess
