#include "ui/settings/DestinationTestResultsSheet.h"

#include "model/MonitorViewModel.h"
#include "ui/settings/DestinationTexts.h"
#include "ui/settings/SettingsCardParts.h"
#include "ui/widgets/ColorResource.h"
#include "ui/widgets/Theme.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tess {

namespace {

constexpr int kLabelColumn = 150;

QLabel* plainLabel(QWidget* parent, const QFont& font)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    return label;
}

}  // namespace

DestinationTestResultsSheet::DestinationTestResultsSheet(MonitorViewModel& model, QWidget* parent)
    : QDialog(parent)
    , m_model(model)
    , m_title(plainLabel(this, QApplication::font()))
    , m_path(plainLabel(this, theme::captionFont(QApplication::font())))
    , m_summary(plainLabel(this, theme::captionFont(QApplication::font())))
    , m_rowsWidget(new QWidget(this))
    , m_rows(new QGridLayout(m_rowsWidget))
    , m_note(plainLabel(this, settingsCard::captionTwoFont()))
    , m_cancel(new QPushButton(QStringLiteral("Cancel"), this))
    , m_apply(new QPushButton(QStringLiteral("Apply"), this))
{
    setObjectName(QStringLiteral("testResultsSheet"));
    setWindowTitle(QStringLiteral("Test Destination Results"));
    setWindowModality(Qt::WindowModal);
    setFixedWidth(kWidth);

    QFont headline = QApplication::font();
    headline.setBold(true);
    m_title->setFont(headline);
    m_title->setText(QStringLiteral("Test Destination Results"));
    m_path->setObjectName(QStringLiteral("probedPathLabel"));
    m_path->setForegroundRole(QPalette::PlaceholderText);
    m_summary->setObjectName(QStringLiteral("summaryLabel"));
    m_summary->setForegroundRole(QPalette::PlaceholderText);
    m_summary->setWordWrap(true);
    m_note->setText(
        QStringLiteral("Reserved names are an OS-level rule and aren't probed \u2014 they'll continue to come from the selected target OSes."));
    m_note->setWordWrap(true);
    m_note->setForegroundRole(QPalette::PlaceholderText);
    m_note->setContentsMargins(0, 4, 0, 0);
    m_rows->setContentsMargins(0, 0, 0, 0);
    m_rows->setColumnMinimumWidth(0, kLabelColumn);
    m_rows->setColumnStretch(1, 1);
    m_rows->setColumnStretch(2, 1);

    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    m_cancel->setAutoDefault(false);
    m_apply->setObjectName(QStringLiteral("applyButton"));
    m_apply->setAutoDefault(false);
    m_apply->setDefault(true);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_apply, &QPushButton::clicked, &m_model, &MonitorViewModel::applyDetectedDestination);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(12);
    layout->addWidget(m_title);
    layout->addWidget(m_path);
    layout->addWidget(m_summary);
    layout->addWidget(settingsCard::divider(this));
    layout->addWidget(m_rowsWidget);
    layout->addWidget(m_note);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 4, 0, 0);
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_apply);
    layout->addLayout(buttons);

    connect(&m_model, &MonitorViewModel::pendingProbePathChanged, this, &DestinationTestResultsSheet::refresh);
    connect(&m_model, &MonitorViewModel::detectedCapabilitiesChanged, this, &DestinationTestResultsSheet::refresh);
    connect(&m_model, &MonitorViewModel::activeSettingsChanged, this, &DestinationTestResultsSheet::refresh);
    refresh();
}

QList<QStringList> DestinationTestResultsSheet::rowTexts() const
{
    QList<QStringList> rows;
    for (int row = 0; row < m_rows->rowCount(); ++row) {
        QStringList texts;
        for (int column = 0; column < 3; ++column) {
            QLayoutItem* item = m_rows->itemAtPosition(row, column);
            auto* label = item != nullptr ? qobject_cast<QLabel*>(item->widget()) : nullptr;
            texts.append(label != nullptr ? label->text() : QString());
        }
        if (!texts.first().isEmpty()) {
            rows.append(texts);
        }
    }
    return rows;
}

QString DestinationTestResultsSheet::twoLinePath(const QString& path, const QFontMetrics& metrics, int width)
{
    const QString elided = metrics.elidedText(path, Qt::ElideMiddle, 2 * width - metrics.averageCharWidth());
    if (metrics.horizontalAdvance(elided) <= width) {
        return elided;
    }
    qsizetype split = 0;
    while (split < elided.size() && metrics.horizontalAdvance(elided.left(split + 1)) <= width) {
        ++split;
    }
    if (split > 0 && elided.at(split - 1).isHighSurrogate()) {
        --split;  // never between the halves of a surrogate pair
    }
    return elided.left(split) + QLatin1Char('\n') + elided.mid(split);
}

void DestinationTestResultsSheet::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange) {
        applyColors();
    }
    QDialog::changeEvent(event);
}

void DestinationTestResultsSheet::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    showPath();
}

void DestinationTestResultsSheet::showPath()
{
    const std::optional<std::string>& path = m_model.pendingProbePath();
    m_path->setHidden(!path);
    if (path) {
        const QString text = QString::fromStdString(*path);
        const int width = kWidth - layout()->contentsMargins().left() - layout()->contentsMargins().right();
        m_path->setText(twoLinePath(text, m_path->fontMetrics(), width));
        m_path->setToolTip(Qt::convertFromPlainText(text));
    }
}

void DestinationTestResultsSheet::refresh()
{
    showPath();
    const std::optional<std::string>& summary = m_model.detectedCapabilitiesSummary();
    m_summary->setHidden(!summary);
    m_summary->setText(summary ? QString::fromStdString(*summary) : QString());

    while (QLayoutItem* item = m_rows->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    m_noteLabels.clear();
    const std::optional<FilesystemCapabilities>& capabilities = m_model.detectedCapabilities();
    m_rowsWidget->setHidden(!capabilities);
    m_apply->setEnabled(capabilities.has_value());
    if (!capabilities) {
        adjustSize();
        return;
    }
    const QFont caption = theme::captionFont(QApplication::font());
    const std::optional<std::string>& path = m_model.pendingProbePath();
    const std::vector<CapabilityRow> rows = capabilityRows(*capabilities,
        path ? std::optional<std::string_view>(*path) : std::nullopt, m_model.activeSettings().selectedOperatingSystems);
    int row = 0;
    for (const CapabilityRow& entry : rows) {
        QLabel* label = plainLabel(m_rowsWidget, caption);
        label->setText(entry.label);
        label->setAlignment(Qt::AlignRight | Qt::AlignTop);
        label->setFixedWidth(kLabelColumn);
        label->setForegroundRole(QPalette::PlaceholderText);
        m_rows->addWidget(label, row, 0);
        QLabel* value = plainLabel(m_rowsWidget, caption);
        value->setText(entry.value);
        value->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        value->setWordWrap(true);
        m_rows->addWidget(value, row, 1);
        if (entry.note) {
            QLabel* note = plainLabel(m_rowsWidget, settingsCard::captionTwoFont());
            note->setText(*entry.note);
            note->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            note->setWordWrap(true);
            m_rows->addWidget(note, row, 2);
            m_noteLabels.append(note);
        }
        ++row;
    }
    applyColors();
    adjustSize();
}

void DestinationTestResultsSheet::applyColors()
{
    for (QLabel* note : std::as_const(m_noteLabels)) {
        theme::setColor(*note, namedColor(ColorName::warm, note->palette()));
    }
}

}  // namespace tess
