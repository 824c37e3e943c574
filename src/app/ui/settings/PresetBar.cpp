#include "ui/settings/PresetBar.h"

#include "model/MonitorViewModel.h"
#include "model/SettingsManager.h"
#include "ui/settings/PresetBarState.h"
#include "ui/settings/SavePresetSheet.h"
#include "ui/settings/SettingsCardParts.h"
#include "ui/widgets/ColorResource.h"
#include "ui/widgets/Theme.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTextDocument>

namespace tess {

namespace {

constexpr qreal kBadgeRadius = 4.0;
constexpr qreal kBadgeFillOpacity = 0.1;

}  // namespace

PresetBar::PresetBar(MonitorViewModel& model, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
    , m_save(new QPushButton(QStringLiteral("Save"), this))
    , m_saveAs(new QPushButton(QStringLiteral("Save As..."), this))
    , m_delete(new QPushButton(QStringLiteral("Delete"), this))
    , m_modified(new QLabel(QStringLiteral("Modified"), this))
    , m_reset(new QPushButton(QStringLiteral("Reset"), this))
    , m_done(new QPushButton(QStringLiteral("Done"), this))
    , m_sheet(new SavePresetSheet(model, this))
{
    setObjectName(QStringLiteral("presetBar"));
    const QFont caption = theme::captionFont(QApplication::font());
    for (QPushButton* button : {m_save, m_saveAs, m_delete, m_done}) {
        button->setFont(caption);
        button->setAutoDefault(false);
    }
    m_save->setObjectName(QStringLiteral("saveButton"));
    m_saveAs->setObjectName(QStringLiteral("saveAsButton"));
    m_saveAs->setToolTip(QStringLiteral("Save current settings as a new preset"));
    m_delete->setObjectName(QStringLiteral("deleteButton"));
    m_modified->setObjectName(QStringLiteral("modifiedLabel"));
    m_modified->setTextFormat(Qt::PlainText);
    m_modified->setFont(settingsCard::captionTwoFont());
    m_modified->setContentsMargins(6, 2, 6, 2);
    m_modified->installEventFilter(this);
    m_reset->setObjectName(QStringLiteral("resetButton"));
    m_reset->setFont(settingsCard::captionTwoFont());
    m_reset->setAutoDefault(false);
    m_reset->setToolTip(QStringLiteral("Revert to saved preset settings"));
    m_done->setObjectName(QStringLiteral("doneButton"));
    m_done->setShortcut(QKeySequence(Qt::Key_Escape));

    auto* layout = new QHBoxLayout(this);
    const QMargins standard = layout->contentsMargins();
    layout->setContentsMargins(standard.left(), 8, standard.right(), 8);
    layout->setSpacing(12);
    layout->addWidget(m_save);
    layout->addWidget(m_saveAs);
    layout->addWidget(m_delete);
    layout->addStretch(1);
    layout->addWidget(m_modified);
    layout->addWidget(m_reset);
    layout->addWidget(m_done);

    connect(m_save, &QPushButton::clicked, this, &PresetBar::saveIntoActivePreset);
    connect(m_saveAs, &QPushButton::clicked, m_sheet, &SavePresetSheet::openEmpty);
    connect(m_delete, &QPushButton::clicked, this, &PresetBar::deleteActivePreset);
    connect(m_reset, &QPushButton::clicked, this, &PresetBar::resetToActivePreset);
    connect(m_done, &QPushButton::clicked, this, [this] { m_model.setShowAdvancedSettings(false); });

    connect(&m_model, &MonitorViewModel::activeSettingsChanged, this, &PresetBar::refresh);
    connect(&m_model, &MonitorViewModel::activePresetNameChanged, this, &PresetBar::refresh);
    connect(&m_model.settingsManager(), &SettingsManager::settingsChanged, this, &PresetBar::refresh);
    applyColors();
    refresh();
}

void PresetBar::saveIntoActivePreset()
{
    const std::optional<TessalinePreset> preset = m_model.activePreset();
    if (!preset || isBuiltInPresetName(preset->name)) {
        return;
    }
    SettingsManager& settings = m_model.settingsManager();
    settings.updateSettings([this, &preset](AppSettings& document) { m_model.updatePreset(document, preset->id); });
    settings.saveSettings();
}

void PresetBar::deleteActivePreset()
{
    const std::optional<TessalinePreset> preset = m_model.activePreset();
    if (!preset || isBuiltInPresetName(preset->name)) {
        return;
    }
    m_model.deletePreset(preset->id);
}

void PresetBar::resetToActivePreset()
{
    if (const std::optional<TessalinePreset> preset = m_model.activePreset()) {
        m_model.applyPreset(*preset);
    }
}

bool PresetBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_modified && event->type() == QEvent::Paint) {
        // The badge's rounded warm fill, under its text.
        QPainter painter(m_modified);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(m_modified->rect()), kBadgeRadius, kBadgeRadius);
        painter.fillPath(path, theme::withOpacity(namedColor(ColorName::warm, palette()), kBadgeFillOpacity));
    }
    return QWidget::eventFilter(watched, event);
}

void PresetBar::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
}

void PresetBar::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange) {
        applyColors();
    }
    QWidget::changeEvent(event);
}

void PresetBar::applyColors()
{
    // The red and the orange deepened (or lightened) to read on what they
    // are drawn on: the button's face, the badge's fill.
    const QColor red = namedColor(ColorName::brandRed, palette());
    theme::setColor(*m_delete, theme::readableOn(red, theme::buttonFace(*m_delete, palette())), QPalette::ButtonText);
    const QColor warm = namedColor(ColorName::warm, palette());
    const QColor badge = theme::composite(theme::withOpacity(warm, kBadgeFillOpacity), palette().color(QPalette::Window));
    theme::setColor(*m_modified, theme::readableOn(warm, {badge}));
}

void PresetBar::refresh()
{
    const PresetBarState state = presetBarState(m_model.activePresetName(), m_model.isPresetModified());
    m_save->setHidden(!state.showSave);
    m_save->setEnabled(state.saveEnabled);
    m_save->setToolTip(Qt::convertFromPlainText(state.saveToolTip));
    m_delete->setHidden(!state.showSave);
    m_delete->setToolTip(Qt::convertFromPlainText(state.deleteToolTip));
    m_modified->setHidden(!state.showModified);
    m_reset->setHidden(!state.showModified);
}

}  // namespace tess
