#include "ui/settings/DestinationCapabilitiesCard.h"

#include "model/CaseChoice.h"
#include "model/MonitorViewModel.h"
#include "ui/settings/DestinationTexts.h"
#include "ui/settings/HelpContent.h"
#include "ui/settings/HelpToggleButton.h"
#include "ui/settings/LimitsSection.h"
#include "ui/settings/SectionHeader.h"
#include "ui/settings/SettingsCardParts.h"
#include "ui/settings/SettingsRowLabel.h"
#include "ui/widgets/Symbol.h"
#include "ui/widgets/Theme.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace tess {

namespace {

const char* const kCaseSensitiveTip = "Selects the case-sensitivity variant of this filesystem. Loaded into the analyzer's \"Allow case "
                                      "conflicts\" setting in Limits, where it can be overridden.";

// Text shown on a menu entry: every "&" doubled.
QString menuText(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

}  // namespace

DestinationCapabilitiesCard::DestinationCapabilitiesCard(MonitorViewModel& model, QWidget* parent, SystemSound* sound)
    : Card(parent)
    , m_model(model)
    , m_helpButton(new HelpToggleButton(HelpContent::destination(), this))
    , m_clientOSMenu(new QMenu(this))
    , m_filesystemMenu(new QMenu(this))
    , m_caseSensitive(new QCheckBox(QStringLiteral("Case-sensitive"), this))
    , m_limits(new LimitsSection(model, this, sound))
{
    setObjectName(QStringLiteral("destinationCapabilitiesCard"));
    m_clientOSButton = settingsCard::menuButton(m_clientOSMenu, QStringLiteral("clientOSButton"), this);
    m_clientOSButton->setIcon(symbol::icon("desktopcomputer"));
    m_filesystemButton = settingsCard::menuButton(m_filesystemMenu, QStringLiteral("filesystemButton"), this);

    auto* header = new SectionHeader(symbol::icon("externaldrive"), QStringLiteral("Destination Capabilities"), this);
    header->setTrailingWidget(m_helpButton);
    contentLayout()->addWidget(header);

    for (const OSPreset system : OSPreset::allCases()) {
        QAction* action = m_clientOSMenu->addAction(menuText(system.rawValue()));
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, [this, system](bool on) { toggleClientOS(system, on); });
        m_clientOSActions.append(action);
    }
    m_clientOSMenu->installEventFilter(this);
    auto* clientRow = new QHBoxLayout;
    clientRow->setSpacing(12);
    clientRow->addWidget(new SettingsRowLabel(QStringLiteral("Client OS"), this));
    clientRow->addWidget(m_clientOSButton);
    clientRow->addStretch(1);
    contentLayout()->addLayout(clientRow);

    m_noneAction = m_filesystemMenu->addAction(QStringLiteral("None"));
    connect(m_noneAction, &QAction::triggered, this, &DestinationCapabilitiesCard::clearFilesystem);
    m_filesystemMenu->addSeparator();
    m_testAction = m_filesystemMenu->addAction(QStringLiteral("Test destination\u2026"));
    connect(m_testAction, &QAction::triggered, &m_model, &MonitorViewModel::selectDestinationToTest);
    m_filesystemMenu->addSeparator();
    for (const FilesystemPreset preset : FilesystemPreset::allCases()) {
        QAction* action = m_filesystemMenu->addAction(menuText(preset.rawValue()));
        connect(action, &QAction::triggered, this, [this, preset] { selectFilesystem(preset); });
        m_filesystemActions.append(action);
    }
    m_caseSensitive->setObjectName(QStringLiteral("caseSensitiveCheckBox"));
    m_caseSensitive->setFont(theme::captionFont(QApplication::font()));
    m_caseSensitive->setToolTip(QString::fromUtf8(kCaseSensitiveTip));
    connect(m_caseSensitive, &QCheckBox::clicked, this, &DestinationCapabilitiesCard::chooseCaseVariant);
    auto* filesystemRow = new QHBoxLayout;
    filesystemRow->setSpacing(12);
    filesystemRow->addWidget(new SettingsRowLabel(QStringLiteral("Filesystem"), this));
    filesystemRow->addWidget(m_filesystemButton);
    filesystemRow->addWidget(m_caseSensitive);
    filesystemRow->addStretch(1);
    contentLayout()->addLayout(filesystemRow);

    contentLayout()->addWidget(settingsCard::divider(this));
    contentLayout()->addWidget(m_limits);

    connect(&m_model, &MonitorViewModel::activeSettingsChanged, this, &DestinationCapabilitiesCard::refresh);
    connect(&m_model, &MonitorViewModel::destinationConfigChanged, this, &DestinationCapabilitiesCard::refresh);
    connect(&m_model, &MonitorViewModel::isDetectingFilesystemChanged, this, &DestinationCapabilitiesCard::refresh);
    refresh();
}

QAction* DestinationCapabilitiesCard::clientOSAction(OSPreset system) const
{
    return m_clientOSActions.value(static_cast<int>(system));
}

QAction* DestinationCapabilitiesCard::filesystemAction(FilesystemPreset preset) const
{
    return m_filesystemActions.value(static_cast<int>(preset));
}

bool DestinationCapabilitiesCard::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_clientOSMenu) {
        QAction* action = m_clientOSMenu->activeAction();
        const bool release = event->type() == QEvent::MouseButtonRelease
            && action == m_clientOSMenu->actionAt(static_cast<QMouseEvent*>(event)->position().toPoint());
        const bool key = event->type() == QEvent::KeyPress
            && (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return || static_cast<QKeyEvent*>(event)->key() == Qt::Key_Enter
                || static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space);
        if ((release || key) && action != nullptr && action->isEnabled()) {
            action->trigger();  // toggles and announces, without closing the menu
            return true;
        }
    }
    return Card::eventFilter(watched, event);
}

void DestinationCapabilitiesCard::toggleClientOS(OSPreset system, bool on)
{
    m_model.updateActiveSettings([system, on](TransformationSettings& settings) {
        if (on) {
            settings.selectedOperatingSystems.insert(system);
        } else {
            settings.selectedOperatingSystems.erase(system);
        }
    });
    m_model.updateActiveSettings([](TransformationSettings& settings) { settings.applyPresetAndOSCapabilities(); });
}

void DestinationCapabilitiesCard::clearFilesystem()
{
    m_model.updateActiveSettings([](TransformationSettings& settings) { settings.selectedFilesystem.reset(); });
    m_model.updateActiveSettings([](TransformationSettings& settings) { settings.applyPresetAndOSCapabilities(); });
}

void DestinationCapabilitiesCard::selectFilesystem(FilesystemPreset preset)
{
    const bool caseSensitive = preset.defaultCaseSensitive();
    m_model.updateActiveSettings([preset](TransformationSettings& settings) { settings.selectedFilesystem = preset; });
    m_model.updateActiveSettings([caseSensitive](TransformationSettings& settings) { settings.selectedCaseSensitive = caseSensitive; });
    m_model.updateActiveSettings([](TransformationSettings& settings) { settings.applyPresetAndOSCapabilities(); });
    m_model.setDestinationConfig(DestinationConfig::presetFilesystem(preset, caseSensitive));
}

void DestinationCapabilitiesCard::chooseCaseVariant(bool caseSensitive)
{
    m_model.updateActiveSettings([caseSensitive](TransformationSettings& settings) { settings.selectedCaseSensitive = caseSensitive; });
    m_model.updateActiveSettings([](TransformationSettings& settings) { settings.applyPresetAndOSCapabilities(); });
}

void DestinationCapabilitiesCard::refresh()
{
    const TransformationSettings& settings = m_model.activeSettings();
    for (const OSPreset system : OSPreset::allCases()) {
        QAction* action = clientOSAction(system);
        const QSignalBlocker blocker(action);
        action->setChecked(settings.selectedOperatingSystems.contains(system));
    }
    m_clientOSButton->setText(clientOSMenuText(settings.selectedOperatingSystems).replace(QLatin1Char('&'), QStringLiteral("&&")));

    const std::optional<DestinationConfig>& destination = m_model.destinationConfig();
    m_filesystemButton->setText(filesystemMenuTitle(m_model.isDetectingFilesystem(), destination, settings.selectedFilesystem)
                                    .replace(QLatin1Char('&'), QStringLiteral("&&")));
    m_filesystemButton->setIcon(symbol::icon(filesystemMenuSymbolName(destination).toStdString()));
    m_testAction->setEnabled(!m_model.isDetectingFilesystem());

    const QSignalBlocker blocker(m_caseSensitive);
    m_caseSensitive->setVisible(offersCaseChoice(settings.selectedFilesystem));
    m_caseSensitive->setChecked(settings.selectedCaseSensitive);
}

}  // namespace tess
