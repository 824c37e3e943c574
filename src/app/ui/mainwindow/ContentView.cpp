#include "ui/mainwindow/ContentView.h"

#include "index/FileIndexDatabase.h"
#include "log/AppLogger.h"
#include "model/HelperStatusManager.h"
#include "model/SettingsManager.h"
#include "ui/help/AboutView.h"
#include "ui/mainwindow/MainStatusBar.h"
#include "ui/mainwindow/MainToolbar.h"
#include "ui/mainwindow/PlaceholderPane.h"
#include "ui/mainwindow/ProgressOverlay.h"
#include "ui/widgets/AlertBox.h"
#include "ui/widgets/ViewText.h"
#include "ui/widgets/Workspace.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDialog>
#include <QFrame>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace tess {

namespace {

using MainWindowState::ContentArea;
using MainWindowState::ReadyVariant;

// The window's smallest width (800) holds the advanced pane at its smallest
// and the main pane beside it: the list yields width to the pane.
constexpr int kMainPaneMinimumWidth = 380;
constexpr int kAdvancedPaneMinimumWidth = 400;

}  // namespace

ContentView::ContentView(QMainWindow& window, Dependencies dependencies)
    : QWidget(&window)
    , m_deps(std::move(dependencies))
    , m_model(std::make_unique<MonitorViewModel>(m_deps.model))
    , m_notifications(m_deps.notifications ? m_deps.notifications : &NotificationCenter::defaultCenter())
{
    setObjectName(QStringLiteral("contentView"));
    window.setCentralWidget(this);
    m_toolbar = new MainToolbar(window, *m_model, *m_deps.workspace,
        {[this] { showHistorySheet(); }, m_deps.showHelpWindow, [this] { showSettingsSheet(); },
            [this] { showAboutSheet(); }, [this] { m_model->exportReport(); }});

    buildPanes();
    buildOverlays();
    subscribeToModel();

    observe(kOpenSettingsSheet, &ContentView::showSettingsSheet);
    observe(kShowAboutWindow, &ContentView::showAboutSheet);
    // The model restored the saved folder and its last results when it was
    // made; the panes read that state here.
    update();
}

void ContentView::buildPanes()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("contentSplitter"));
    m_splitter->setChildrenCollapsible(false);
    layout->addWidget(m_splitter);

    m_mainPane = new QWidget(m_splitter);
    m_mainPane->setObjectName(QStringLiteral("mainPane"));
    m_mainPane->setMinimumWidth(kMainPaneMinimumWidth);
    auto* mainLayout = new QVBoxLayout(m_mainPane);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    mainLayout->setSpacing(0);
    m_content = new QStackedWidget(m_mainPane);
    m_content->setObjectName(QStringLiteral("contentStack"));
    mainLayout->addWidget(m_content, 1);
    if (m_deps.makeIssueList) {
        m_issueList = m_deps.makeIssueList(*m_model, m_content);
        m_content->addWidget(m_issueList);
    }
    m_placeholder = new PlaceholderPane(m_content);
    m_placeholder->setObjectName(QStringLiteral("placeholderPane"));
    m_content->addWidget(m_placeholder);
    m_empty = new QWidget(m_content);
    m_content->addWidget(m_empty);
    auto* divider = new QFrame(m_mainPane);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    mainLayout->addWidget(divider);
    m_statusBar = new MainStatusBar(m_mainPane);
    connect(m_statusBar, &MainStatusBar::settingsRequested, this, &ContentView::showSettingsSheet);
    mainLayout->addWidget(m_statusBar);
    m_splitter->addWidget(m_mainPane);
    m_splitter->setStretchFactor(0, 1);
}

// The progress overlays of a scan and of a rename, over the content.
void ContentView::buildOverlays()
{
    m_scanOverlay = new ProgressOverlay(m_content);
    m_scanOverlay->setObjectName(QStringLiteral("scanProgressOverlay"));
    m_scanOverlay->hide();
    m_renameOverlay = new ProgressOverlay(m_content);
    m_renameOverlay->setObjectName(QStringLiteral("renameProgressOverlay"));
    m_renameOverlay->hide();
}

void ContentView::subscribeToModel()
{
    // Every published change leads to one update on the next turn.
    MonitorViewModel* model = m_model.get();
    for (auto signal : {&MonitorViewModel::monitoringStatusChanged, &MonitorViewModel::lastScanSummaryChanged,
             &MonitorViewModel::issueCountChanged, &MonitorViewModel::totalIndexedChanged,
             &MonitorViewModel::sourcePathChanged, &MonitorViewModel::destinationConfigChanged,
             &MonitorViewModel::activeSettingsChanged, &MonitorViewModel::activePresetNameChanged,
             &MonitorViewModel::showAdvancedSettingsChanged, &MonitorViewModel::isMonitoringChanged,
             &MonitorViewModel::cachedFileCountChanged, &MonitorViewModel::lastAnalysisTimeChanged,
             &MonitorViewModel::isRestoringSessionChanged, &MonitorViewModel::missingSourcePathChanged,
             &MonitorViewModel::filteredIssuesChanged, &MonitorViewModel::selectedFileIDsChanged,
             &MonitorViewModel::renameStateChanged, &MonitorViewModel::renameReportChanged,
             &MonitorViewModel::showRenameReportChanged, &MonitorViewModel::exportErrorMessageChanged,
             &MonitorViewModel::scanShortfallChanged, &MonitorViewModel::indexErrorMessageChanged}) {
        connect(model, signal, this, &ContentView::scheduleUpdate);
    }
    m_ticker.setInterval(1000);
    connect(&m_ticker, &QTimer::timeout, this, &ContentView::update);
    m_ticker.start();
}

ContentView::~ContentView()
{
    for (const NotificationCenter::Token token : m_tokens) {
        m_notifications->removeObserver(token);
    }
}

void ContentView::observe(const char* name, void (ContentView::*slot)())
{
    QPointer<ContentView> self(this);
    m_tokens.push_back(m_notifications->addObserver(name, [self, slot](const NotificationCenter::Notification&) {
        // Posts may come from any thread; the sheet opens on the main thread.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, slot] {
                if (self) {
                    (self.data()->*slot)();
                }
            },
            Qt::QueuedConnection);
    }));
}

MainWindowState::Snapshot ContentView::snapshot() const
{
    const MonitorViewModel& m = *m_model;
    MainWindowState::Snapshot s;
    s.status = m.monitoringStatus();
    s.sourcePath = m.sourcePath();
    s.totalIndexed = m.totalIndexed();
    s.issueCount = m.issueCount();
    s.cachedFileCount = m.cachedFileCount();
    s.selectedCount = static_cast<std::int64_t>(m.selectedFileIDs().size());
    s.filteredCount = static_cast<std::int64_t>(m.filteredIssueCount());
    s.isRenaming = m.isRenaming();
    s.isRestoringSession = m.isRestoringSession();
    s.showAdvancedSettings = m.showAdvancedSettings();
    s.canStartMonitoring = m.canStartMonitoring();
    s.hasResults = m.hasResults();
    s.hasCoordinator = m.hasCoordinator();
    s.isPresetModified = m.isPresetModified();
    s.activePresetName = m.activePresetName();
    s.missingSourcePath = m.missingSourcePath();
    s.lastScanSummary = m.lastScanSummary();
    s.lastAnalysisTime = m.lastAnalysisTime();
    s.hasDestination = m.destinationConfig().has_value();
    s.lastScanStopped = m.lastScanStopped();
    const std::vector<UnreadableFolder>& unreadable = m.unreadableFolders();
    s.unreadableCount = static_cast<std::int64_t>(unreadable.size());
    s.unreadableShown.assign(unreadable.begin(), unreadable.begin() + static_cast<std::ptrdiff_t>(std::min(unreadable.size(), MainWindowState::kUnreadableShown)));
    s.indexErrorMessage = m.indexErrorMessage();
    s.indexNotice = m.indexNotice();
    return s;
}

bool ContentView::isIndexReleased() const
{
    return !m_model->hasCoordinator() && !m_model->hasDatabase()
        && FileIndexDatabase::pendingWorkCountOfAllDatabases() == 0;
}

void ContentView::scheduleUpdate()
{
    if (m_updateQueued) {
        return;
    }
    m_updateQueued = true;
    QMetaObject::invokeMethod(this, &ContentView::update, Qt::QueuedConnection);
}

void ContentView::update()
{
    m_updateQueued = false;
    const MainWindowState::Snapshot s = snapshot();
    const auto now = std::chrono::system_clock::now();
    const QLocale locale;
    m_toolbar->refresh(s);
    updateContentArea(s);
    updateOverlays(s);
    m_statusBar->apply(
        MainWindowState::statusBarTexts(s, m_model->statusText(), now, locale), MainWindowState::statusDotColor(s));
    m_statusBar->applyNotice(MainWindowState::statusNotice(s, locale));
    updateAdvancedPane();
    updateAlerts();
}

void ContentView::updateContentArea(const MainWindowState::Snapshot& s)
{
    const ContentArea area = MainWindowState::contentArea(s);
    if (area == ContentArea::issueList && m_issueList != nullptr) {
        m_content->setCurrentWidget(m_issueList);
        return;
    }
    if (area == ContentArea::nothing) {
        m_content->setCurrentWidget(m_empty);
        return;
    }
    PlaceholderPane::Content pane;
    switch (area) {
    case ContentArea::issueList:
    case ContentArea::nothing:
        break;
    case ContentArea::loading:
        pane.busy = true;
        pane.text = QStringLiteral("Loading previous results…");
        break;
    case ContentArea::allClear:
        pane.symbol = "checkmark.circle";
        pane.symbolColor = s.unreadableCount > 0 ? ColorName::warm : ColorName::brandGreen;
        pane.title = QStringLiteral("All Clear");
        pane.text = MainWindowState::allClearCountText(s.totalIndexed);
        pane.footnote = MainWindowState::allClearFootnote(s, std::chrono::system_clock::now(), QLocale()).value_or(QString());
        break;
    case ContentArea::error:
        pane.symbol = "exclamationmark.triangle";
        pane.symbolColor = ColorName::warm;
        pane.title = QStringLiteral("Error");
        pane.text = QString::fromStdString(s.status.message());
        break;
    case ContentArea::ready:
        switch (MainWindowState::readyVariant(s)) {
        case ReadyVariant::missingSource:
            pane.symbol = "exclamationmark.triangle.fill";
            pane.symbolColor = ColorName::warm;
            pane.emphasis = viewText(*s.missingSourcePath);
            pane.text = QStringLiteral(" missing.");
            pane.links = {{QStringLiteral("recheck"), [this] { m_model->restoreSavedSourceFolder(); }},
                {QStringLiteral("reset selection"), [this] { m_model->resetSourceSelection(); }}};
            break;
        case ReadyVariant::scanStopped:
            pane.symbol = "play.circle";
            pane.symbolAction = [this] { m_model->startMonitoring(); };
            pane.title = QStringLiteral("Scan Stopped");
            pane.text = MainWindowState::scanStoppedPaneText(s);
            break;
        case ReadyVariant::readyToScan:
            pane.symbol = "play.circle";
            pane.symbolAction = [this] { m_model->startMonitoring(); };
            pane.title = QStringLiteral("Ready to Scan");
            pane.text = QStringLiteral("Click Scan to analyze names for compatibility issues.");
            break;
        case ReadyVariant::chooseSource:
            pane.symbol = "doc.text.magnifyingglass";
            pane.symbolAction = [this] { m_model->selectSourceFolder(); };
            pane.title = QStringLiteral("Tessaline");
            pane.text = QStringLiteral("Select a source folder and target filesystem to begin monitoring.");
            break;
        }
        break;
    }
    const PlaceholderPane::Content& shown = m_placeholder->content();
    if (m_content->currentWidget() != m_placeholder || shown.title != pane.title || shown.text != pane.text
        || shown.footnote != pane.footnote || shown.emphasis != pane.emphasis || shown.symbol != pane.symbol
        || shown.busy != pane.busy) {
        m_placeholder->setContent(std::move(pane));
    }
    m_content->setCurrentWidget(m_placeholder);
}

void ContentView::updateOverlays(const MainWindowState::Snapshot& s)
{
    const auto now = std::chrono::system_clock::now();
    if (s.status.isScanning()) {
        const auto start = m_model->scanStartTime();
        m_scanOverlay->setTexts(MainWindowState::scanOverlayTitle(s.status.progress().currentPhase),
            QString::fromStdString(m_model->progressText().value_or(std::string())),
            start ? MainWindowState::timerText(*start, now) : QString());
        m_scanOverlay->show();
        m_scanOverlay->raise();
    } else {
        m_scanOverlay->hide();
    }
    if (s.isRenaming) {
        const auto start = m_model->renameStartTime();
        m_renameOverlay->setTexts(QString::fromStdString(m_model->renameProgressLabel()), QString(),
            start ? MainWindowState::timerText(*start, now) : QString());
        m_renameOverlay->show();
        m_renameOverlay->raise();
    } else {
        m_renameOverlay->hide();
    }
}

void ContentView::updateAdvancedPane()
{
    const bool show = m_model->showAdvancedSettings();
    if (show && m_advancedPane == nullptr && m_deps.makeAdvancedPane) {
        m_advancedPane = m_deps.makeAdvancedPane(*m_model, m_splitter);
        m_advancedPane->setObjectName(QStringLiteral("advancedPane"));
        m_advancedPane->setMinimumWidth(kAdvancedPaneMinimumWidth);
        m_advancedPane->hide();
        m_splitter->addWidget(m_advancedPane);
        m_splitter->setStretchFactor(1, 0);
    }
    if (m_advancedPane == nullptr || m_advancedPane->isVisibleTo(this) == show) {
        return;
    }
    m_advancedPane->setVisible(show);
    if (show && m_splitter->isVisible()) {
        // The pane opens at its smallest width; the list keeps the rest.
        const int total = m_splitter->width() - m_splitter->handleWidth();
        m_splitter->setSizes({std::max(kMainPaneMinimumWidth, total - kAdvancedPaneMinimumWidth), kAdvancedPaneMinimumWidth});
    }
}

void ContentView::updateAlerts()
{
    if (m_model->showRenameConfirmation() && !m_renameConfirmation) {
        const auto count = static_cast<std::int64_t>(m_model->selectedFileIDs().size());
        QMessageBox* box = AlertBox::make(this, QStringLiteral("Rename Files"),
            MainWindowState::renameConfirmationText(count), QStringLiteral("renameConfirmationMessageBox"));
        box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
        QPushButton* rename = box->addButton(QStringLiteral("Rename"), QMessageBox::DestructiveRole);
        box->setDefaultButton(rename);
        connect(box, &QMessageBox::finished, this, [this, box] {
            const bool confirmed = box->buttonRole(box->clickedButton()) == QMessageBox::DestructiveRole;
            m_model->setShowRenameConfirmation(false);
            if (confirmed) {
                m_model->renameSelected();
            }
        });
        m_renameConfirmation = box;
        box->open();
    }
    if (m_model->showRenameResult() && !m_renameResult) {
        QMessageBox* box = AlertBox::make(this, QString::fromStdString(m_model->renameResultTitle()),
            QString::fromStdString(m_model->renameResultMessage()), QStringLiteral("renameResultMessageBox"));
        QPushButton* ok = box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box->setDefaultButton(ok);
        if (m_model->renameResultOffersReport() && m_model->renameReport()) {
            box->addButton(QStringLiteral("View Report"), QMessageBox::ActionRole);
        }
        connect(box, &QMessageBox::finished, this, [this, box] {
            const bool viewReport = box->buttonRole(box->clickedButton()) == QMessageBox::ActionRole;
            m_model->setShowRenameResult(false);
            if (viewReport) {
                m_model->setShowRenameReport(true);
            }
        });
        m_renameResult = box;
        box->open();
    }
    updateRenameReportSheet();
    updateExportError();
}

void ContentView::updateRenameReportSheet()
{
    if (!m_model->showRenameReport() || m_renameReportSheet) {
        return;
    }
    QDialog* sheet = nullptr;
    if (m_model->renameReport() && m_deps.makeRenameReportSheet) {
        sheet = m_deps.makeRenameReportSheet(
            *m_model->renameReport(), [this] { m_model->exportRenameReport(); }, window());
    } else {
        sheet = new QDialog(window());  // no report: the sheet is empty
    }
    sheet->setObjectName(sheet->objectName().isEmpty() ? QStringLiteral("renameReportSheet") : sheet->objectName());
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    connect(sheet, &QDialog::finished, this, [this] { m_model->setShowRenameReport(false); });
    m_renameReportSheet = sheet;
    sheet->open();
}

void ContentView::updateExportError()
{
    const auto& message = m_model->exportErrorMessage();
    if (!message || m_exportError) {
        return;
    }
    QMessageBox* box = AlertBox::make(this, QStringLiteral("Export Failed"), QString::fromStdString(*message), QStringLiteral("exportErrorMessageBox"));
    box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    connect(box, &QMessageBox::finished, this, [this] { m_model->setExportErrorMessage(std::nullopt); });
    m_exportError = box;
    box->open();
}

void ContentView::showSettingsSheet()
{
    if (m_settingsSheet || !m_deps.makeSettingsSheet) {
        return;
    }
    QDialog* sheet = m_deps.makeSettingsSheet(window());
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    m_settingsSheet = sheet;
    sheet->open();
}

void ContentView::showAboutSheet()
{
    if (m_aboutSheet || !m_deps.makeAboutView) {
        return;
    }
    auto* sheet = new QDialog(window());
    sheet->setObjectName(QStringLiteral("aboutSheet"));
    sheet->setWindowTitle(QString::fromUtf8(AboutView::kWindowTitle));
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(sheet);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    QPointer<QDialog> guard(sheet);
    layout->addWidget(m_deps.makeAboutView([guard] {
        if (QDialog* shown = guard.data()) {
            shown->accept();
        }
    }));
    m_aboutSheet = sheet;
    sheet->open();
}

void ContentView::showHistorySheet()
{
    if (m_historySheet || !m_deps.makeHistorySheet) {
        return;
    }
    QDialog* sheet = m_deps.makeHistorySheet(*m_model, window());
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    m_historySheet = sheet;
    sheet->open();
}

void ContentView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_approvalChecked || m_deps.helperStatus == nullptr) {
        return;
    }
    m_approvalChecked = true;
    QTimer::singleShot(m_deps.approvalCheckDelayMs, this, &ContentView::checkHelperApproval);
}

void ContentView::checkHelperApproval()
{
    QPointer<ContentView> self(this);
    m_deps.helperStatus->refreshStatus([self] {
        ContentView* view = self.data();
        if (view == nullptr || !MainWindowState::needsHelperApproval(view->m_deps.helperStatus->status())
            || view->m_helperAlert) {
            return;
        }
        QMessageBox* box = AlertBox::make(view, QStringLiteral("Helper Authorization Required"),
            MainWindowState::helperAlertText(), QStringLiteral("helperAlertMessageBox"));
        QPushButton* open = box->addButton(QStringLiteral("Open Settings"), QMessageBox::AcceptRole);
        box->addButton(QStringLiteral("Later"), QMessageBox::RejectRole);
        box->setDefaultButton(open);
        connect(box, &QMessageBox::finished, view, [view, box] {
            if (box->buttonRole(box->clickedButton()) == QMessageBox::AcceptRole) {
                view->m_deps.helperStatus->openLoginItemsSettings();
                return;
            }
            SettingsManager& settings = view->m_model->settingsManager();
            settings.updateSettings([](AppSettings& s) { s.preferences.usePrivilegedHelper = false; });
            settings.saveSettings();
        });
        view->m_helperAlert = box;
        box->open();
    });
}

}  // namespace tess
