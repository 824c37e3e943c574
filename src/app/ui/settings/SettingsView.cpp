#include "ui/settings/SettingsView.h"

#include "model/HelperStatusManager.h"
#include "model/UpdateManager.h"
#include "platform/Updater.h"
#include "ui/settings/HeaderView.h"
#include "ui/settings/HelpContent.h"
#include "ui/settings/HelpPopover.h"
#include "ui/settings/PreferencesHelp.h"
#include "ui/settings/SettingsCardParts.h"
#include "ui/settings/SettingsSheetState.h"
#include "ui/widgets/ActionTitle.h"
#include "ui/widgets/Card.h"
#include "ui/widgets/ColorResource.h"
#include "ui/widgets/Symbol.h"
#include "ui/widgets/Theme.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <functional>

namespace tess {

namespace {

using settingsCard::divider;
using settingsCard::plainLabel;
using settingsCard::subheadlineFont;

constexpr int kWidth = 520;
constexpr int kHeight = 640;
constexpr int kInset = 16;
constexpr int kCardSpacing = 16;
constexpr int kRowSpacing = 12;
constexpr int kEditorHeight = 60;
constexpr int kStatusDotSize = 8;
constexpr int kActionBoxInset = 8;
constexpr qreal kActionBoxRadius = 6.0;
constexpr int kSymbolSize = 12;

// The status colours, each with a light and a dark value.
QColor systemGreen(const QPalette& palette)
{
    return theme::isDark(palette) ? QColor(0x30D158) : QColor(0x28A745);
}

// A widget drawn by a function, which reads its colours from the palette
// each time it paints: the status circle, the action box, the editor's
// border and the footer's fill.
class PaintedWidget : public QWidget {
public:
    using Painter = std::function<void(QPainter&, const QWidget&)>;

    PaintedWidget(QWidget* parent, Painter paint)
        : QWidget(parent)
        , m_paint(std::move(paint))
    {
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        m_paint(painter, *this);
    }

private:
    Painter m_paint;
};

constexpr const char* kSymbolProperty = "symbolName";

// Draws a symbol label (again) in `color`.
void applySymbol(QLabel& icon, const QColor& color)
{
    const QByteArray name = icon.property(kSymbolProperty).toByteArray();
    icon.setPixmap(symbol::pixmap(std::string_view(name.constData(), static_cast<std::size_t>(name.size())),
        QSize(kSymbolSize, kSymbolSize), color, icon.devicePixelRatioF()));
}

// A caption with a symbol before it: the database figures.
QWidget* symbolLabel(QWidget* parent, const char* symbolName, QLabel*& text)
{
    auto* widget = new QWidget(parent);
    auto* layout = new QHBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    auto* icon = new QLabel(widget);
    icon->setObjectName(QStringLiteral("symbolLabel"));
    icon->setProperty(kSymbolProperty, QByteArray(symbolName));
    applySymbol(*icon, icon->palette().color(QPalette::PlaceholderText));
    text = plainLabel(widget, QString());
    text->setFont(theme::captionFont(widget->font()));
    text->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(icon);
    layout->addWidget(text);
    return widget;
}

}  // namespace

SettingsView::SettingsView(PreferencesManager::Dependencies preferences, HelperStatusManager& helperStatus,
    UpdateManager& updates, QWidget* parent)
    : QDialog(parent)
    , m_preferences(new PreferencesManager(std::move(preferences), this))
    , m_helper(helperStatus)
    , m_updates(updates)
{
    setObjectName(QStringLiteral("settingsView"));
    setWindowTitle(QStringLiteral("Settings"));
    setWindowModality(Qt::WindowModal);
    setFixedSize(kWidth, kHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_scrollArea = new QScrollArea(this);
    m_scrollArea->setObjectName(QStringLiteral("settingsScrollArea"));
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* column = new QWidget(m_scrollArea);
    column->setObjectName(QStringLiteral("settingsColumn"));
    auto* columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(kInset, kInset, kInset, kInset);
    columnLayout->setSpacing(kCardSpacing);
    m_scrollArea->setWidget(column);
    for (Card* card : {buildGeneralCard(), buildUpdatesCard(), buildExclusionsCard(), buildAdvancedCard()}) {
        card->setParent(column);
        card->contentLayout()->setSpacing(kRowSpacing);
        columnLayout->addWidget(card);
    }
    columnLayout->addStretch(1);

    layout->addWidget(m_scrollArea, 1);
    layout->addWidget(divider(this));
    layout->addWidget(buildFooter());

    connect(m_preferences, &PreferencesManager::appearanceModeChanged, this, &SettingsView::applyAppearance);
    connect(m_preferences, &PreferencesManager::startAtLoginChanged, this, &SettingsView::applyStartAtLogin);
    connect(m_preferences, &PreferencesManager::debugLoggingChanged, this, &SettingsView::applyDebugLogging);
    connect(m_preferences, &PreferencesManager::usePrivilegedHelperChanged, this, &SettingsView::applyUsePrivilegedHelper);
    connect(m_preferences, &PreferencesManager::excludePatternsTextChanged, this, &SettingsView::applyExcludePatterns);
    connect(m_preferences, &PreferencesManager::databaseStatsChanged, this, &SettingsView::applyDatabaseStats);
    connect(&m_helper, &HelperStatusManager::statusChanged, this, &SettingsView::applyDaemonBlock);
    connect(&m_helper, &HelperStatusManager::isHelperReadyChanged, this, &SettingsView::applyDaemonBlock);
    connect(&m_updates, &UpdateManager::canCheckForUpdatesChanged, this, &SettingsView::applyUpdater);
    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(application, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (state == Qt::ApplicationActive && isVisible()) {
                refreshHelperStatus();
            }
        });
    }

    applyAppearance();
    applyStartAtLogin();
    applyDebugLogging();
    applyExcludePatterns();
    applyUsePrivilegedHelper();
    applyDatabaseStats();
    applyUpdater();
    applyColors();
}

Card* SettingsView::buildGeneralCard()
{
    auto* card = new Card;
    card->setObjectName(QStringLiteral("generalCard"));
    QVBoxLayout* rows = card->contentLayout();
    rows->addWidget(new HeaderView(QStringLiteral("General"), card));

    auto* segments = new QWidget(card);
    auto* segmentsLayout = new QHBoxLayout(segments);
    segmentsLayout->setContentsMargins(0, 0, 0, 0);
    segmentsLayout->setSpacing(0);
    m_appearanceGroup = new QButtonGroup(segments);
    m_appearanceGroup->setExclusive(true);
    struct Segment {
        AppSettings::AppearanceMode mode;
        const char* title;
        const char* name;
    };
    static constexpr Segment kSegments[] = {
        {AppSettings::AppearanceMode::automatic, "Auto", "appearanceAutoButton"},
        {AppSettings::AppearanceMode::light, "Light", "appearanceLightButton"},
        {AppSettings::AppearanceMode::dark, "Dark", "appearanceDarkButton"},
    };
    for (const Segment& segment : kSegments) {
        auto* button = new QToolButton(segments);
        button->setObjectName(QLatin1String(segment.name));
        button->setText(QLatin1String(segment.title));
        button->setCheckable(true);
        button->setMinimumWidth(56);
        m_appearanceGroup->addButton(button, static_cast<int>(segment.mode));
        segmentsLayout->addWidget(button);
    }
    connect(m_appearanceGroup, &QButtonGroup::idClicked, this, [this](int id) {
        m_preferences->setAppearanceMode(static_cast<AppSettings::AppearanceMode::Value>(id));
    });
    rows->addWidget(settingRow(card, QStringLiteral("Appearance:"), segments));

    m_startAtLogin = settingSwitch(card, QStringLiteral("startAtLoginCheckBox"));
    connect(m_startAtLogin, &QCheckBox::toggled, m_preferences, &PreferencesManager::setStartAtLogin);
    rows->addWidget(settingRow(card, QStringLiteral("Start at Login:"), m_startAtLogin));

    m_debugLogging = settingSwitch(card, QStringLiteral("debugLoggingCheckBox"), QStringLiteral("Debug Logging"));
    connect(m_debugLogging, &QCheckBox::toggled, m_preferences, &PreferencesManager::setDebugLogging);
    rows->addWidget(settingRow(card, QStringLiteral("Debug Logging:"), m_debugLogging));
    return card;
}

Card* SettingsView::buildUpdatesCard()
{
    auto* card = new Card;
    card->setObjectName(QStringLiteral("updatesCard"));
    QVBoxLayout* rows = card->contentLayout();
    rows->addWidget(new HeaderView(QStringLiteral("Updates"), card));

    // The updater keeps these settings; the switches only show them.
    m_autoCheck = settingSwitch(card, QStringLiteral("autoCheckCheckBox"));
    connect(m_autoCheck, &QCheckBox::toggled, this, [this](bool enabled) {
        m_updates.updater().setAutomaticallyChecksForUpdates(enabled);
        applyUpdater();
    });
    rows->addWidget(settingRow(card, QStringLiteral("Automatically check for updates"), m_autoCheck));

    m_autoDownload = settingSwitch(card, QStringLiteral("autoDownloadCheckBox"));
    connect(m_autoDownload, &QCheckBox::toggled, this, [this](bool enabled) {
        m_updates.updater().setAutomaticallyDownloadsUpdates(enabled);
        applyUpdater();
    });
    rows->addWidget(settingRow(card, QStringLiteral("Automatically download updates"), m_autoDownload));

    m_checkForUpdates = new QPushButton(QStringLiteral("Check for Updates Now"), card);
    m_checkForUpdates->setObjectName(QStringLiteral("checkForUpdatesButton"));
    m_checkForUpdates->setAutoDefault(false);
    connect(m_checkForUpdates, &QPushButton::clicked, this, [this] {
        // The flag may have fallen since the button was drawn.
        if (m_updates.canCheckForUpdates()) {
            m_updates.checkForUpdates();
        }
    });
    rows->addWidget(m_checkForUpdates, 0, Qt::AlignLeft);
    return card;
}

Card* SettingsView::buildExclusionsCard()
{
    auto* card = new Card;
    card->setObjectName(QStringLiteral("exclusionsCard"));
    QVBoxLayout* rows = card->contentLayout();
    rows->addWidget(new HeaderView(QStringLiteral("Exclusions"), card));
    rows->addWidget(helpRow(card, QStringLiteral("Exclude Patterns"), QStringLiteral("excludePatternsHelpButton"),
        m_excludeHelp, &preferencesHelp::excludePatterns));
    rows->addWidget(caption(card, QStringLiteral("Filename patterns to skip during scanning (one per line).")));

    // The editor inside a 1-point border of the secondary colour at 20 %.
    auto* border = new PaintedWidget(card, [](QPainter& painter, const QWidget& widget) {
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(theme::withOpacity(theme::secondaryLabel(widget.palette()), 0.2));
        painter.drawRect(widget.rect().adjusted(0, 0, -1, -1));
    });
    auto* borderLayout = new QVBoxLayout(border);
    borderLayout->setContentsMargins(1, 1, 1, 1);
    m_patterns = new QPlainTextEdit(border);
    m_patterns->setObjectName(QStringLiteral("excludePatternsEdit"));
    m_patterns->setFrameShape(QFrame::NoFrame);
    m_patterns->setFont(theme::monospacedCaptionFont(font()));
    m_patterns->setLineWrapMode(QPlainTextEdit::NoWrap);
    borderLayout->addWidget(m_patterns);
    border->setFixedHeight(kEditorHeight);
    border->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(m_patterns, &QPlainTextEdit::textChanged, this,
        [this] { m_preferences->setExcludePatternsText(m_patterns->toPlainText()); });
    rows->addWidget(border);

    rows->addWidget(divider(card));
    rows->addWidget(helpRow(card, QStringLiteral("Implicit Exclusions"), QStringLiteral("implicitExclusionsHelpButton"),
        m_implicitHelp, &preferencesHelp::implicitExclusions));
    rows->addWidget(caption(card,
        QStringLiteral("Hidden files and directories (names starting with \".\") are always excluded from scanning. "
                       "These cannot be disabled.")));
    return card;
}

Card* SettingsView::buildAdvancedCard()
{
    auto* card = new Card;
    card->setObjectName(QStringLiteral("advancedCard"));
    QVBoxLayout* rows = card->contentLayout();
    rows->addWidget(new HeaderView(QStringLiteral("Advanced"), card));
    rows->addWidget(buildDaemonBlock(card));
    rows->addWidget(divider(card));
    rows->addWidget(buildDatabaseRow(card));
    rows->addWidget(caption(card,
        QStringLiteral("The database stores indexed file metadata for incremental scanning. Resetting will require a "
                       "full rescan.")));
    return card;
}

QWidget* SettingsView::buildDaemonBlock(QWidget* parent)
{
    auto* block = new QWidget(parent);
    block->setObjectName(QStringLiteral("daemonBlock"));
    auto* layout = new QVBoxLayout(block);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    m_usePrivilegedHelper = settingSwitch(block, QStringLiteral("usePrivilegedHelperCheckBox"));
    connect(m_usePrivilegedHelper, &QCheckBox::toggled, this, &SettingsView::onUsePrivilegedHelperToggled);
    layout->addWidget(settingRow(block, QStringLiteral("Use privileged helper for renames"), m_usePrivilegedHelper));
    layout->addWidget(caption(block,
        QStringLiteral("When a rename fails due to permissions, retry using the privileged helper daemon running as root.")));

    m_statusRow = new QWidget(block);
    m_statusRow->setObjectName(QStringLiteral("helperStatusRow"));
    auto* statusLayout = new QHBoxLayout(m_statusRow);
    statusLayout->setContentsMargins(0, 0, 0, 0);
    statusLayout->setSpacing(6);
    m_statusDot = new PaintedWidget(m_statusRow, [this](QPainter& painter, const QWidget& widget) {
        const QColor color = m_helper.isHelperReady() ? systemGreen(widget.palette()) : theme::warningOrange(widget.palette());
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(QRectF(widget.rect()));
    });
    m_statusDot->setObjectName(QStringLiteral("helperStatusDot"));
    m_statusDot->setFixedSize(kStatusDotSize, kStatusDotSize);
    m_statusText = caption(m_statusRow, QString());
    m_statusText->setObjectName(QStringLiteral("helperStatusLabel"));
    m_daemonButton = new QPushButton(m_statusRow);
    m_daemonButton->setObjectName(QStringLiteral("daemonButton"));
    m_daemonButton->setAutoDefault(false);
    m_daemonButton->setFont(theme::captionFont(font()));
    connect(m_daemonButton, &QPushButton::clicked, this, &SettingsView::onDaemonButtonClicked);
    statusLayout->addWidget(m_statusDot, 0, Qt::AlignVCenter);
    statusLayout->addWidget(m_statusText, 0, Qt::AlignVCenter);
    statusLayout->addStretch(1);
    statusLayout->addWidget(m_daemonButton, 0, Qt::AlignVCenter);
    layout->addWidget(m_statusRow);

    m_actionBox = new PaintedWidget(block, [](QPainter& painter, const QWidget& widget) {
        QPainterPath shape;
        shape.addRoundedRect(QRectF(widget.rect()), kActionBoxRadius, kActionBoxRadius);
        painter.fillPath(shape, theme::withOpacity(theme::warningOrange(widget.palette()), 0.1));
    });
    m_actionBox->setObjectName(QStringLiteral("helperActionBox"));
    auto* boxLayout = new QVBoxLayout(m_actionBox);
    boxLayout->setContentsMargins(kActionBoxInset, kActionBoxInset, kActionBoxInset, kActionBoxInset);
    boxLayout->setSpacing(4);
    m_actionTitle = plainLabel(m_actionBox, QStringLiteral("Action Required:"));
    QFont bold = theme::captionFont(font());
    bold.setBold(true);
    m_actionTitle->setFont(bold);
    boxLayout->addWidget(m_actionTitle);
    for (QLabel** step : {&m_step1, &m_step2, &m_step3}) {
        *step = plainLabel(m_actionBox, QString());
        (*step)->setFont(theme::captionFont(font()));
        (*step)->setWordWrap(true);
        boxLayout->addWidget(*step);
    }
    m_step1->setObjectName(QStringLiteral("helperStep1Label"));
    layout->addWidget(m_actionBox);
    return block;
}

QWidget* SettingsView::buildDatabaseRow(QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* column = new QWidget(row);
    auto* columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(0, 0, 0, 0);
    columnLayout->setSpacing(4);
    QLabel* title = plainLabel(column, QStringLiteral("File Index Database"));
    title->setFont(subheadlineFont(font()));
    columnLayout->addWidget(title);
    auto* figures = new QHBoxLayout;
    figures->setSpacing(16);
    figures->addWidget(symbolLabel(column, "doc.on.doc", m_countText));
    figures->addWidget(symbolLabel(column, "internaldrive", m_sizeText));
    figures->addStretch(1);
    m_countText->setObjectName(QStringLiteral("databaseCountLabel"));
    m_sizeText->setObjectName(QStringLiteral("databaseSizeLabel"));
    columnLayout->addLayout(figures);

    m_resetButton = new QPushButton(symbol::icon("trash", ColorName::brandRed), QStringLiteral("Reset Database"), row);
    m_resetButton->setObjectName(QStringLiteral("resetDatabaseButton"));
    m_resetButton->setAutoDefault(false);
    connect(m_resetButton, &QPushButton::clicked, this, &SettingsView::confirmReset);

    layout->addWidget(column, 1);
    layout->addWidget(m_resetButton, 0, Qt::AlignVCenter);
    return row;
}

QWidget* SettingsView::buildFooter()
{
    auto* footer = new PaintedWidget(this, [](QPainter& painter, const QWidget& widget) {
        painter.fillRect(widget.rect(), theme::withOpacity(theme::secondaryLabel(widget.palette()), 0.05));
    });
    footer->setObjectName(QStringLiteral("settingsFooter"));
    auto* layout = new QHBoxLayout(footer);
    layout->setContentsMargins(kInset, 10, kInset, 10);
    layout->addStretch(1);
    auto* done = new QPushButton(QStringLiteral("Done"), footer);
    done->setObjectName(QStringLiteral("doneButton"));
    done->setDefault(true);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(done);
    return footer;
}

QWidget* SettingsView::settingRow(QWidget* parent, const QString& title, QWidget* control)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plainLabel(row, title));
    layout->addStretch(1);
    control->setParent(row);
    layout->addWidget(control);
    return row;
}

QCheckBox* SettingsView::settingSwitch(QWidget* parent, const QString& objectName, const QString& accessibleName)
{
    auto* box = new QCheckBox(parent);
    box->setObjectName(objectName);
    box->setAccessibleName(accessibleName);
    return box;
}

QWidget* SettingsView::helpRow(QWidget* parent, const QString& title, const QString& buttonName,
    QPointer<HelpPopover>& popover, HelpPopover* (*build)(QWidget* anchor))
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    QLabel* label = plainLabel(row, title);
    label->setFont(subheadlineFont(font()));
    layout->addWidget(label);
    layout->addStretch(1);
    auto* button = new QToolButton(row);
    button->setObjectName(buttonName);
    button->setAutoRaise(true);
    button->setIcon(symbol::icon("info.circle", ColorName::cool));
    button->setIconSize(QSize(16, 16));
    button->setToolTip(title);
    connect(button, &QToolButton::clicked, this, [this, button, &popover, build] { toggleHelp(button, popover, build); });
    layout->addWidget(button);
    return row;
}

QLabel* SettingsView::caption(QWidget* parent, const QString& text)
{
    QLabel* label = plainLabel(parent, text);
    label->setFont(theme::captionFont(font()));
    label->setForegroundRole(QPalette::PlaceholderText);
    label->setWordWrap(true);
    return label;
}

void SettingsView::toggleHelp(QToolButton* button, QPointer<HelpPopover>& popover, HelpPopover* (*build)(QWidget* anchor))
{
    HelpPopover* frame = popover.data();
    if (frame == nullptr) {
        frame = build(button);
        popover = frame;
    } else if (frame->isVisible()) {
        frame->hide();
        return;
    }
    frame->popUp();
}

void SettingsView::onUsePrivilegedHelperToggled(bool enabled)
{
    m_preferences->setUsePrivilegedHelper(enabled);
    if (!enabled) {
        return;
    }
    // Turning the helper on: ask for approval only if a fresh look still
    // finds it not ready.
    m_helper.refreshStatus([helper = &m_helper] {
        if (!helper->isHelperReady()) {
            helper->requestApproval();
        }
    });
}

void SettingsView::onDaemonButtonClicked()
{
    if (m_helper.status() == ServiceStatus::enabled) {
        m_helper.openLoginItemsSettings();
    } else {
        m_helper.requestApproval();
    }
}

void SettingsView::confirmReset()
{
    auto* alert = new QMessageBox(this);
    alert->setObjectName(QStringLiteral("resetDatabaseAlert"));
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    alert->setIcon(QMessageBox::Warning);
    alert->setWindowTitle(QStringLiteral("Reset Database"));
    alert->setTextFormat(Qt::PlainText);
    alert->setText(QStringLiteral("Reset Database"));
    // The alert's title line, in bold over its message.
    if (auto* title = alert->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        QFont bold;
        bold.setBold(true);
        title->setFont(bold);
    }
    alert->setInformativeText(
        QStringLiteral("This will stop monitoring and delete the entire file index database. You will need to rescan "
                       "all files. This cannot be undone."));
    QPushButton* cancel = alert->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    QPushButton* reset = alert->addButton(QStringLiteral("Reset"), QMessageBox::DestructiveRole);
    reset->setObjectName(QStringLiteral("resetButton"));
    alert->setDefaultButton(cancel);
    alert->setEscapeButton(cancel);
    connect(alert, &QMessageBox::finished, this, [this, alert] {
        if (alert->buttonRole(alert->clickedButton()) == QMessageBox::DestructiveRole) {
            m_preferences->resetDatabase();
        }
    });
    alert->open();
}

void SettingsView::refreshHelperStatus()
{
    m_helper.refreshStatus();
}

void SettingsView::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous()) {
        return;
    }
    applyUpdater();
    m_preferences->refreshDatabaseStats();
    refreshHelperStatus();
}

void SettingsView::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyColors();
    }
}

void SettingsView::applyAppearance()
{
    const AppSettings::AppearanceMode::Value mode = m_preferences->appearanceMode();
    const QSignalBlocker blocker(m_appearanceGroup);
    m_appearanceGroup->button(static_cast<int>(mode))->setChecked(true);
    applySegmentColors();
}

void SettingsView::applySegmentColors()
{
    theme::colorSegments(m_appearanceGroup->buttons(), palette());
}

void SettingsView::applyStartAtLogin()
{
    const QSignalBlocker blocker(m_startAtLogin);
    m_startAtLogin->setChecked(m_preferences->startAtLogin());
}

void SettingsView::applyDebugLogging()
{
    const QSignalBlocker blocker(m_debugLogging);
    m_debugLogging->setChecked(m_preferences->debugLogging());
}

void SettingsView::applyUsePrivilegedHelper()
{
    const QSignalBlocker blocker(m_usePrivilegedHelper);
    m_usePrivilegedHelper->setChecked(m_preferences->usePrivilegedHelper());
    applyDaemonBlock();
}

void SettingsView::applyExcludePatterns()
{
    // The editor's own edits come back here: leave its text and cursor alone.
    if (m_patterns->toPlainText() == m_preferences->excludePatternsText()) {
        return;
    }
    const QSignalBlocker blocker(m_patterns);
    m_patterns->setPlainText(m_preferences->excludePatternsText());
}

void SettingsView::applyDatabaseStats()
{
    m_countText->setText(SettingsSheetState::databaseCountText(m_preferences->databaseFileCount()));
    m_sizeText->setText(SettingsSheetState::databaseSizeText(m_preferences->databaseSizeBytes()));
}

void SettingsView::applyUpdater()
{
    const Updater& updater = m_updates.updater();
    {
        const QSignalBlocker checkBlocker(m_autoCheck);
        m_autoCheck->setChecked(updater.automaticallyChecksForUpdates());
    }
    {
        const QSignalBlocker downloadBlocker(m_autoDownload);
        m_autoDownload->setChecked(updater.automaticallyDownloadsUpdates());
    }
    m_checkForUpdates->setEnabled(m_updates.canCheckForUpdates());
}

void SettingsView::applyDaemonBlock()
{
    const bool shown = m_preferences->usePrivilegedHelper();
    const SettingsSheetState::DaemonBlock block = SettingsSheetState::daemonBlock(m_helper.status(), m_helper.isHelperReady());
    m_statusRow->setVisible(shown);
    m_actionBox->setVisible(shown && block.showsActionBox);
    m_statusText->setText(block.statusText);
    m_daemonButton->setText(block.buttonTitle);
    m_step1->setText(block.step1);
    m_step2->setText(block.step2);
    m_step3->setText(block.step3);
    m_statusDot->update();
}

void SettingsView::applyColors()
{
    // Colours worked out from the palette go on the labels' own palettes,
    // so they are set again on every palette change. The children have not
    // heard of the change yet: the colours come from this sheet's palette.
    theme::setColor(*m_actionTitle, theme::warningOrange(palette()));
    // The destructive red, deepened or lightened to read on the button.
    theme::setColor(*m_resetButton,
        theme::readableOn(namedColor(ColorName::brandRed, palette()), theme::buttonFace(*m_resetButton, palette())),
        QPalette::ButtonText);
    applySegmentColors();
    for (QLabel* icon : findChildren<QLabel*>(QStringLiteral("symbolLabel"))) {
        applySymbol(*icon, palette().color(QPalette::PlaceholderText));
    }
}

}  // namespace tess
