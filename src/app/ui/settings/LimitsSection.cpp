#include "ui/settings/LimitsSection.h"

#include "model/MonitorViewModel.h"
#include "ui/settings/LimitFieldText.h"
#include "ui/settings/OptionalIntSettingsField.h"
#include "ui/settings/ReservedNameSetField.h"
#include "ui/settings/SettingsCardParts.h"
#include "ui/settings/SettingsRowLabel.h"
#include "ui/widgets/Theme.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace tess {

namespace {

struct LimitSpec {
    const char* label;
    const char* placeholder;
    std::int64_t minimum;
    const char* objectName;
};

constexpr std::array<LimitSpec, LimitsSection::kLimitCount> kLimitSpecs {{
    {"File name", "255", 12, "fileNameLimitField"},
    {"Folder name", "255", 8, "folderNameLimitField"},
    {"Path depth", "\u221E", 1, "pathDepthLimitField"},
    {"Path length", "\u221E", 16, "pathLengthLimitField"},
}};

const char* const kCaseConflictsTip = "When on, names differing only in case (e.g. Photo.jpg vs photo.jpg) are treated as distinct. "
                                      "When off, such names are flagged as collisions and the duplicate is given a numeric suffix. "
                                      "Loaded from the destination's case-sensitivity; can be overridden here.";

}  // namespace

LimitsSection::LimitsSection(MonitorViewModel& model, QWidget* parent, SystemSound* sound)
    : QWidget(parent)
    , m_model(model)
    , m_caseConflicts(new QCheckBox(QStringLiteral("Allow case conflicts"), this))
    , m_reservedNames(new ReservedNameSetField(this))
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);

    auto* limitsRow = new QHBoxLayout;
    limitsRow->setSpacing(12);
    auto* limitsLabel = new SettingsRowLabel(QStringLiteral("Limits"), this);
    limitsRow->addWidget(limitsLabel, 0, Qt::AlignTop);
    auto* controls = new QVBoxLayout;
    controls->setSpacing(4);
    m_caseConflicts->setObjectName(QStringLiteral("caseConflictsCheckBox"));
    m_caseConflicts->setFont(theme::captionFont(QApplication::font()));
    m_caseConflicts->setToolTip(QString::fromUtf8(kCaseConflictsTip));
    controls->addWidget(m_caseConflicts);
    for (int i = 0; i < kLimitCount; ++i) {
        const LimitSpec& spec = kLimitSpecs[static_cast<std::size_t>(i)];
        auto* field = new OptionalIntSettingsField(QString::fromUtf8(spec.label), QString::fromUtf8(spec.placeholder), spec.minimum, this, sound);
        field->setObjectName(QString::fromLatin1(spec.objectName));
        m_limits[static_cast<std::size_t>(i)] = field;
        controls->addWidget(field);
        const auto limit = static_cast<Limit>(i);
        connect(field, &OptionalIntSettingsField::valueChanged, this, [this, limit](std::optional<std::int64_t> value) {
            m_model.updateActiveSettings([limit, value](TransformationSettings& settings) { setting(settings, limit) = limitSettingValue(value); });
        });
    }
    limitsRow->addLayout(controls);
    limitsRow->addStretch(1);
    column->addLayout(limitsRow);

    column->addWidget(settingsCard::divider(this));

    auto* namesRow = new QHBoxLayout;
    namesRow->setSpacing(12);
    namesRow->addWidget(new SettingsRowLabel(QStringLiteral("Reserved names"), this), 0, Qt::AlignTop);
    m_reservedNames->setObjectName(QStringLiteral("reservedNamesField"));
    namesRow->addWidget(m_reservedNames, 1);
    column->addLayout(namesRow);

    connect(m_caseConflicts, &QCheckBox::clicked, this, [this](bool ticked) {
        m_model.updateActiveSettings([ticked](TransformationSettings& settings) { settings.isCaseSensitive = ticked; });
    });
    connect(m_reservedNames, &ReservedNameSetField::valueChanged, this, [this](const CanonicalStringSet& names) {
        m_model.updateActiveSettings([&names](TransformationSettings& settings) { settings.reservedNames = names; });
    });
    connect(&m_model, &MonitorViewModel::activeSettingsChanged, this, &LimitsSection::refresh);
    refresh();
}

std::int64_t& LimitsSection::setting(TransformationSettings& settings, Limit limit)
{
    switch (limit) {
    case fileName:
        return settings.maxFilenameLength;
    case folderName:
        return settings.maxFolderNameLength;
    case pathDepth:
        return settings.maxPathDepth;
    case pathLength:
        break;
    }
    return settings.maxPathLength;
}

void LimitsSection::refresh()
{
    TransformationSettings settings = m_model.activeSettings();
    {
        const QSignalBlocker blocker(m_caseConflicts);
        m_caseConflicts->setChecked(settings.isCaseSensitive);
    }
    for (int i = 0; i < kLimitCount; ++i) {
        OptionalIntSettingsField* field = m_limits[static_cast<std::size_t>(i)];
        const QSignalBlocker blocker(field);
        field->setValue(limitFieldValue(setting(settings, static_cast<Limit>(i))));
    }
    const QSignalBlocker blocker(m_reservedNames);
    m_reservedNames->setValue(settings.reservedNames);
}

}  // namespace tess
