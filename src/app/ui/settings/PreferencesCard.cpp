#include "ui/settings/PreferencesCard.h"

#include "model/MonitorViewModel.h"
#include "ui/settings/CharacterSetField.h"
#include "ui/settings/HelpContent.h"
#include "ui/settings/HelpToggleButton.h"
#include "ui/settings/OrderedCharacterField.h"
#include "ui/settings/SectionHeader.h"
#include "ui/settings/SettingsCardParts.h"
#include "ui/settings/SettingsRowLabel.h"
#include "ui/widgets/Symbol.h"
#include "ui/widgets/Theme.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QMenu>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <array>

namespace tess {

namespace {

struct ToggleSpec {
    const char* title;
    const char* toolTip;  // null: none
    bool TransformationSettings::*setting;
    const char* objectName;
};

const std::array<ToggleSpec, PreferencesCard::kToggleCount> kToggles {{
    {"Strip control characters", "Strip non-printable control characters (U+0000\u2013U+001F, U+007F, U+0080\u2013U+009F).",
        &TransformationSettings::stripControlCharacters, "stripControlCheckBox"},
    {"Normalize Unicode whitespace",
        "Convert Unicode space variants (NBSP, narrow no-break space, en/em space, etc.) to a regular ASCII space. Disable to preserve "
        "characters like U+202F used in Apple screenshot timestamps.",
        &TransformationSettings::normalizeDeceptiveWhitespace, "normalizeWhitespaceCheckBox"},
    {"Strip invisible characters", "Strip zero-width and invisible characters (ZWSP, ZWJ, BOM, soft hyphen, directional marks, etc.).",
        &TransformationSettings::stripZeroWidthCharacters, "stripInvisibleCheckBox"},
    {"Smart path shortening", nullptr, &TransformationSettings::smartPathShortening, "smartPathShorteningCheckBox"},
    {"Clean up empty directories after flatten", nullptr, &TransformationSettings::cleanupEmptyDirsAfterRename, "cleanupEmptyDirsCheckBox"},
}};

constexpr qreal kDimmedOpacity = 0.5;

QString encodingName(TargetEncoding encoding)
{
    const std::string_view raw = encoding.rawValue();
    return QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
}

}  // namespace

PreferencesCard::PreferencesCard(MonitorViewModel& model, QWidget* parent)
    : Card(parent)
    , m_model(model)
    , m_helpButton(new HelpToggleButton(HelpContent::preferences(), this))
    , m_encodingMenu(new QMenu(this))
    , m_encodingButton(settingsCard::menuButton(m_encodingMenu, QStringLiteral("encodingButton"), this))
    , m_stripLeading(new CharacterSetField(this))
    , m_stripTrailing(new CharacterSetField(this))
    , m_separatorsBox(new QCheckBox(this))
    , m_separators(new OrderedCharacterField(QString(), this))
{
    setObjectName(QStringLiteral("preferencesCard"));
    auto* header = new SectionHeader(symbol::icon("gearshape"), QStringLiteral("Preferences"), this);
    header->setTrailingWidget(m_helpButton);
    contentLayout()->addWidget(header);

    addRow(QStringLiteral("Text encoding"), singleControl(makeEncodingMenu(), false));
    contentLayout()->addWidget(settingsCard::divider(this));
    addStripRows();
    addSeparatorsRow();
    contentLayout()->addWidget(settingsCard::divider(this));
    addToggleRows();

    connect(&m_model, &MonitorViewModel::activeSettingsChanged, this, &PreferencesCard::refresh);
    refresh();
}

void PreferencesCard::addRow(const QString& title, QLayout* controls)
{
    auto* row = new QHBoxLayout;
    row->setSpacing(12);
    row->addWidget(new SettingsRowLabel(title, this));
    row->addLayout(controls, 1);
    contentLayout()->addLayout(row);
}

QLayout* PreferencesCard::singleControl(QWidget* widget, bool stretch)
{
    auto* layout = new QHBoxLayout;
    layout->setSpacing(8);
    layout->addWidget(widget, stretch ? 1 : 0);
    if (!stretch) {
        layout->addStretch(1);
    }
    return layout;
}

QWidget* PreferencesCard::makeEncodingMenu()
{
    m_encodingButton->setIcon(symbol::icon("textformat"));
    auto* group = new QActionGroup(m_encodingMenu);
    for (const TargetEncoding encoding : TargetEncoding::allCases()) {
        QAction* action = m_encodingMenu->addAction(encodingName(encoding));
        action->setCheckable(true);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, encoding] {
            m_model.updateActiveSettings([encoding](TransformationSettings& settings) { settings.targetEncoding = encoding; });
        });
        m_encodingActions.push_back(action);
    }
    return m_encodingButton;
}

void PreferencesCard::addStripRows()
{
    m_stripLeading->setObjectName(QStringLiteral("stripLeadingField"));
    connect(m_stripLeading, &CharacterSetField::valueChanged, this, [this](const CanonicalStringSet& value) {
        m_model.updateActiveSettings([&value](TransformationSettings& settings) { settings.stripLeadingCharacters = value; });
    });
    addRow(QStringLiteral("Strip leading"), singleControl(m_stripLeading, true));
    m_stripTrailing->setObjectName(QStringLiteral("stripTrailingField"));
    connect(m_stripTrailing, &CharacterSetField::valueChanged, this, [this](const CanonicalStringSet& value) {
        m_model.updateActiveSettings([&value](TransformationSettings& settings) { settings.stripTrailingCharacters = value; });
    });
    addRow(QStringLiteral("Strip trailing"), singleControl(m_stripTrailing, true));
}

void PreferencesCard::addSeparatorsRow()
{
    m_separatorsBox->setObjectName(QStringLiteral("separatorsCheckBox"));
    m_separators->setObjectName(QStringLiteral("separatorsField"));
    m_separators->setGraphicsEffect(new QGraphicsOpacityEffect(m_separators));
    connect(m_separatorsBox, &QCheckBox::clicked, this, [this](bool on) {
        m_model.updateActiveSettings([on](TransformationSettings& settings) { settings.cleanRepeatedSeparators = on; });
    });
    connect(m_separators, &OrderedCharacterField::valueChanged, this, [this](const std::vector<std::string>& value) {
        m_model.updateActiveSettings([&value](TransformationSettings& settings) { settings.repeatedSeparatorCharacters = value; });
    });
    auto* separators = new QHBoxLayout;
    separators->setSpacing(8);
    separators->addWidget(m_separatorsBox, 0, Qt::AlignTop);
    separators->addWidget(m_separators, 1);
    addRow(QStringLiteral("Clean repeated separators"), separators);
}

void PreferencesCard::addToggleRows()
{
    const QFont caption = theme::captionFont(QApplication::font());
    QVBoxLayout* autoCleanup = nullptr;
    QVBoxLayout* pathTools = nullptr;
    for (int i = 0; i < kToggleCount; ++i) {
        const ToggleSpec& toggle = kToggles[static_cast<std::size_t>(i)];
        auto* box = new QCheckBox(QString::fromUtf8(toggle.title), this);
        box->setObjectName(QString::fromLatin1(toggle.objectName));
        box->setFont(caption);
        if (toggle.toolTip != nullptr) {
            box->setToolTip(QString::fromUtf8(toggle.toolTip));
        }
        const auto setting = toggle.setting;
        connect(box, &QCheckBox::clicked, this, [this, setting](bool on) {
            m_model.updateActiveSettings([setting, on](TransformationSettings& settings) { settings.*setting = on; });
        });
        m_toggles.push_back(box);
        QVBoxLayout*& column = i < smartPathShortening ? autoCleanup : pathTools;
        if (column == nullptr) {
            column = new QVBoxLayout;
            column->setSpacing(4);
        }
        column->addWidget(box);
    }
    addRow(QStringLiteral("Auto cleanup"), autoCleanup);
    contentLayout()->addWidget(settingsCard::divider(this));
    addRow(QStringLiteral("Path tools"), pathTools);
}

QAction* PreferencesCard::encodingAction(TargetEncoding encoding) const
{
    return m_encodingActions.at(static_cast<std::size_t>(encoding));
}

bool TransformationSettings::*PreferencesCard::toggleSetting(Toggle which)
{
    return kToggles[static_cast<std::size_t>(which)].setting;
}

void PreferencesCard::refresh()
{
    const TransformationSettings& settings = m_model.activeSettings();
    m_encodingButton->setText(encodingName(settings.targetEncoding));
    for (const TargetEncoding encoding : TargetEncoding::allCases()) {
        QAction* action = encodingAction(encoding);
        const QSignalBlocker blocker(action);
        action->setChecked(encoding == settings.targetEncoding);
    }
    {
        const QSignalBlocker leading(m_stripLeading);
        m_stripLeading->setValue(settings.stripLeadingCharacters);
        const QSignalBlocker trailing(m_stripTrailing);
        m_stripTrailing->setValue(settings.stripTrailingCharacters);
        const QSignalBlocker box(m_separatorsBox);
        m_separatorsBox->setChecked(settings.cleanRepeatedSeparators);
        const QSignalBlocker separators(m_separators);
        m_separators->setValue(settings.repeatedSeparatorCharacters);
    }
    m_separators->setEnabled(settings.cleanRepeatedSeparators);
    static_cast<QGraphicsOpacityEffect*>(m_separators->graphicsEffect())->setOpacity(settings.cleanRepeatedSeparators ? 1.0 : kDimmedOpacity);
    for (int i = 0; i < kToggleCount; ++i) {
        QCheckBox* box = m_toggles[static_cast<std::size_t>(i)];
        const QSignalBlocker blocker(box);
        box->setChecked(settings.*toggleSetting(static_cast<Toggle>(i)));
    }
}

}  // namespace tess
