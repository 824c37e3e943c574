#include "ui/mainwindow/MainToolbar.h"

#include "model/MonitorCoordinator.h"
#include "model/MonitorViewModel.h"
#include "ui/widgets/ActionTitle.h"
#include "ui/widgets/Symbol.h"
#include "ui/widgets/Workspace.h"

#include <QAction>
#include <QActionGroup>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFontMetrics>
#include <QMainWindow>
#include <QMenu>
#include <QTextDocument>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

namespace tess {

namespace {

// The widest text of the source and preset buttons, in pixels.
constexpr int kMenuTitleWidth = 160;

QWidget* flexibleSpace(QWidget* parent)
{
    auto* spacer = new QWidget(parent);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    return spacer;
}

QAction* addCommand(QToolBar& bar, const char* name)
{
    auto* action = bar.addAction(QString());
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

void applyButton(QAction& action, const MainWindowState::ButtonState& state)
{
    action.setText(actionTitle(state.title.toStdString()));
    action.setIcon(symbol::icon(state.symbol));
    action.setToolTip(state.help);
    action.setEnabled(state.enabled);
}

}  // namespace

MainToolbar::MainToolbar(QMainWindow& window, MonitorViewModel& model, Workspace& workspace, Actions actions)
    : QObject(&window)
    , m_model(model)
    , m_workspace(workspace)
    , m_actions(std::move(actions))
{
    m_toolBar = window.addToolBar(QStringLiteral("Main"));
    m_toolBar->setObjectName(QStringLiteral("mainToolBar"));
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolBar->setIconSize(QSize(20, 20));
    m_toolBar->toggleViewAction()->setVisible(false);

    m_sourceButton = new QToolButton(m_toolBar);
    m_sourceButton->setObjectName(QStringLiteral("sourceToolButton"));
    m_sourceButton->setPopupMode(QToolButton::InstantPopup);
    m_sourceButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_sourceMenu = new QMenu(m_sourceButton);
    m_sourceMenu->setObjectName(QStringLiteral("sourceMenu"));
    m_sourceButton->setMenu(m_sourceMenu);
    m_toolBar->addWidget(m_sourceButton);

    m_presetButton = new QToolButton(m_toolBar);
    m_presetButton->setObjectName(QStringLiteral("presetToolButton"));
    m_presetButton->setPopupMode(QToolButton::InstantPopup);
    m_presetButton->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_presetButton->setIcon(symbol::icon("slider.horizontal.3"));
    m_presetMenu = new QMenu(m_presetButton);
    m_presetMenu->setObjectName(QStringLiteral("presetMenu"));
    m_presetButton->setMenu(m_presetMenu);
    connect(m_presetMenu, &QMenu::aboutToShow, this, &MainToolbar::rebuildPresetMenu);
    m_toolBar->addWidget(m_presetButton);

    m_toolBar->addWidget(flexibleSpace(m_toolBar));
    m_scan = addCommand(*m_toolBar, "actionScan");
    connect(m_scan, &QAction::triggered, this, &MainToolbar::runScan);
    m_analyze = addCommand(*m_toolBar, "actionAnalyze");
    connect(m_analyze, &QAction::triggered, this, &MainToolbar::runAnalyze);
    m_rename = addCommand(*m_toolBar, "actionRename");
    connect(m_rename, &QAction::triggered, this, [this] {
        if (m_state.rename.enabled) {
            m_model.setShowRenameConfirmation(true);
        }
    });
    m_toolBar->addWidget(flexibleSpace(m_toolBar));

    auto* more = new QToolButton(m_toolBar);
    more->setObjectName(QStringLiteral("moreToolButton"));
    more->setPopupMode(QToolButton::InstantPopup);
    more->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    more->setText(QStringLiteral("More"));
    more->setIcon(symbol::icon("ellipsis.circle"));
    buildMoreMenu(*more);
    m_toolBar->addWidget(more);

    m_advanced = addCommand(*m_toolBar, "actionAdvanced");
    m_advanced->setText(QStringLiteral("Advanced"));
    m_advanced->setIcon(symbol::icon("sidebar.squares.right"));
    connect(m_advanced, &QAction::triggered, this,
        [this] { m_model.setShowAdvancedSettings(!m_model.showAdvancedSettings()); });
}

void MainToolbar::buildMoreMenu(QToolButton& button)
{
    auto* menu = new QMenu(&button);
    menu->setObjectName(QStringLiteral("moreMenu"));
    m_export = menu->addAction(symbol::icon("square.and.arrow.up"), QStringLiteral("Export Report"));
    m_export->setObjectName(QStringLiteral("actionExportReport"));
    connect(m_export, &QAction::triggered, this, [this] { m_actions.exportReport(); });
    QAction* history = menu->addAction(symbol::icon("clock.arrow.circlepath"), QStringLiteral("History"));
    history->setObjectName(QStringLiteral("actionHistory"));
    connect(history, &QAction::triggered, this, [this] { m_actions.showHistory(); });
    menu->addSeparator();
    QAction* help = menu->addAction(symbol::icon("questionmark.circle"), QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("actionHelp"));
    connect(help, &QAction::triggered, this, [this] { m_actions.showHelpWindow(); });
    QAction* online = menu->addAction(symbol::icon("globe"), QStringLiteral("Online Help"));
    online->setObjectName(QStringLiteral("actionOnlineHelp"));
    connect(online, &QAction::triggered, this, [this] {
        const QUrl url(QString::fromLatin1(kOnlineHelpAddress));
        if (url.isValid()) {
            m_workspace.openUrl(url);
        }
    });
    QAction* settings = menu->addAction(symbol::icon("gear"), QStringLiteral("Settings"));
    settings->setObjectName(QStringLiteral("actionMoreSettings"));
    connect(settings, &QAction::triggered, this, [this] { m_actions.showSettings(); });
    menu->addSeparator();
    QAction* about = menu->addAction(symbol::icon("info.circle"), QStringLiteral("About Tessaline"));
    about->setObjectName(QStringLiteral("actionMoreAbout"));
    connect(about, &QAction::triggered, this, [this] { m_actions.showAbout(); });
    button.setMenu(menu);
}

void MainToolbar::refresh(const MainWindowState::Snapshot& snapshot)
{
    const MainWindowState::ToolbarState state = MainWindowState::toolbarState(snapshot);
    const bool sourceChanged = state.sourceHelp != m_state.sourceHelp || m_sourceMenu->isEmpty();
    m_state = state;

    const QFontMetrics sourceMetrics(m_sourceButton->font());
    m_sourceButton->setText(actionTitle(
        sourceMetrics.elidedText(state.sourceTitle, Qt::ElideMiddle, kMenuTitleWidth).toStdString()));
    m_sourceButton->setToolTip(Qt::convertFromPlainText(state.sourceHelp));
    m_sourceButton->setEnabled(state.sourceEnabled);
    if (sourceChanged) {
        if (state.sourceHasFolder) {
            const QIcon folderIcon = QFileIconProvider().icon(QFileInfo(state.sourceHelp));
            m_sourceButton->setIcon(folderIcon.isNull() ? symbol::icon("folder") : folderIcon);
        } else {
            m_sourceButton->setIcon(symbol::icon("folder"));
        }
        rebuildSourceMenu(state);
    }

    // Long names are shortened so the toolbar keeps every item on screen,
    // never " (Modified)" after them; the tooltip holds the whole title.
    const QFontMetrics metrics(m_presetButton->font());
    const QString name = state.presetButtonTitle.chopped(state.presetButtonSuffix.size());
    const int nameWidth = kMenuTitleWidth - metrics.horizontalAdvance(state.presetButtonSuffix);
    m_presetButton->setText(
        actionTitle((metrics.elidedText(name, Qt::ElideRight, nameWidth) + state.presetButtonSuffix).toStdString()));
    m_presetButton->setToolTip(Qt::convertFromPlainText(state.presetTitle + u'\n' + state.presetButtonTitle));
    m_presetButton->setAccessibleName(state.presetTitle);
    m_presetMenu->setTitle(state.presetTitle);
    m_presetButton->setEnabled(state.presetEnabled);
    applyButton(*m_scan, state.scan);
    applyButton(*m_analyze, state.analyze);
    applyButton(*m_rename, state.rename);
    m_export->setEnabled(state.exportEnabled);
    m_advanced->setToolTip(state.advancedHelp);
}

void MainToolbar::rebuildSourceMenu(const MainWindowState::ToolbarState& state)
{
    m_sourceMenu->clear();
    QAction* current = m_sourceMenu->addAction(m_sourceButton->icon(), actionTitle(state.sourceTitle.toStdString()));
    current->setObjectName(QStringLiteral("sourceCurrentAction"));
    m_sourceMenu->addSeparator();
    QAction* choose = m_sourceMenu->addAction(QStringLiteral("Choose Folder…"));
    choose->setObjectName(QStringLiteral("sourceChooseAction"));
    connect(choose, &QAction::triggered, this, [this] {
        if (!m_model.monitoringStatus().isScanning()) {
            m_model.selectSourceFolder();
        }
    });
    if (!state.sourceHasFolder) {
        return;
    }
    QAction* reveal = m_sourceMenu->addAction(QStringLiteral("Show in File Manager"));
    reveal->setObjectName(QStringLiteral("sourceRevealAction"));
    connect(reveal, &QAction::triggered, this, [this] {
        if (const auto& path = m_model.sourcePath()) {
            m_workspace.openUrl(Workspace::fileUrl(*path));
        }
    });
    QAction* clear = m_sourceMenu->addAction(QStringLiteral("Clear"));
    clear->setObjectName(QStringLiteral("sourceClearAction"));
    connect(clear, &QAction::triggered, this, [this] { m_model.resetSourceSelection(); });
}

void MainToolbar::rebuildPresetMenu()
{
    m_presetMenu->clear();
    auto* group = new QActionGroup(m_presetMenu);
    group->setExclusive(true);
    for (const auto& entry : MainWindowState::presetMenuEntries(
             m_model.availablePresets(), m_model.activePresetName(), m_model.activePresetId())) {
        switch (entry.kind) {
        case MainWindowState::PresetMenuEntry::Kind::divider:
            m_presetMenu->addSeparator();
            break;
        case MainWindowState::PresetMenuEntry::Kind::advanced: {
            QAction* advanced = m_presetMenu->addAction(symbol::icon("slider.horizontal.3"), entry.title);
            advanced->setObjectName(QStringLiteral("presetAdvancedAction"));
            connect(advanced, &QAction::triggered, this,
                [this] { m_model.setShowAdvancedSettings(!m_model.showAdvancedSettings()); });
            break;
        }
        case MainWindowState::PresetMenuEntry::Kind::preset: {
            QAction* action = m_presetMenu->addAction(actionTitle(entry.title.toStdString()));
            action->setCheckable(true);
            action->setChecked(entry.checked);
            group->addAction(action);
            const Uuid id = *entry.id;
            connect(action, &QAction::triggered, this, [this, id] { m_model.applyPreset(id); });
            break;
        }
        }
    }
}

void MainToolbar::runScan()
{
    switch (m_state.scanAction) {
    case MainWindowState::ScanAction::stopAnalysis:
        if (MonitorCoordinator* coordinator = m_model.coordinator()) {
            coordinator->stopAnalysis();
        }
        break;
    case MainWindowState::ScanAction::scanNow:
        if (MonitorCoordinator* coordinator = m_model.coordinator()) {
            coordinator->scanNow();
        }
        break;
    case MainWindowState::ScanAction::startMonitoring:
        m_model.startMonitoring();
        break;
    }
}

void MainToolbar::runAnalyze()
{
    switch (m_state.analyzeAction) {
    case MainWindowState::AnalyzeAction::stopAnalysis:
        if (MonitorCoordinator* coordinator = m_model.coordinator()) {
            coordinator->stopAnalysis();
        }
        break;
    case MainWindowState::AnalyzeAction::reanalyze:
        if (MonitorCoordinator* coordinator = m_model.coordinator()) {
            coordinator->reanalyze();
        }
        break;
    case MainWindowState::AnalyzeAction::analyzeFromDatabase:
        m_model.analyzeFromDatabase();
        break;
    }
}

}  // namespace tess
