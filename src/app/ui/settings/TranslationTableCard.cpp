#include "ui/settings/TranslationTableCard.h"

#include "model/MonitorViewModel.h"
#include "rules/TranslationTable.h"
#include "ui/settings/HelpContent.h"
#include "ui/settings/HelpToggleButton.h"
#include "ui/settings/SectionHeader.h"
#include "ui/settings/SettingsCardParts.h"
#include "ui/settings/TranslationTableState.h"
#include "ui/widgets/Symbol.h"
#include "ui/widgets/Theme.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QSignalBlocker>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>

namespace tess {

namespace {

constexpr int kKeyWidth = 80;
constexpr int kHexWidth = 100;
constexpr int kButtonWidth = 24;
constexpr qreal kBoxRadius = 4.0;
constexpr qreal kOutlineOpacity = 0.2;
constexpr qreal kOddRowOpacity = 0.05;
const char* const kOddRowProperty = "oddRow";

QToolButton* symbolButton(QWidget* parent, std::string_view name, const QString& objectName)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setAutoRaise(true);
    button->setIcon(symbol::icon(name, QPalette::PlaceholderText));
    button->setIconSize(QSize(14, 14));
    button->setFixedWidth(kButtonWidth);
    return button;
}

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

// Shows `text` unless the field already does (keeps the cursor where it is).
void showText(QLineEdit* field, const QString& text)
{
    if (field->text() != text) {
        const QSignalBlocker blocker(field);
        field->setText(text);
        if (!field->hasFocus()) {
            field->setCursorPosition(0);  // a long text shows its start
        }
    }
}

}  // namespace

TranslationTableCard::TranslationTableCard(MonitorViewModel& model, QWidget* parent)
    : Card(parent)
    , m_model(model)
    , m_helpButton(new HelpToggleButton(HelpContent::translationTable(), this))
    , m_count(new QLabel(this))
    , m_box(new QWidget(this))
    , m_rowsLayout(new QVBoxLayout)
    , m_add(nullptr)
{
    setObjectName(QStringLiteral("translationTableCard"));
    auto* headerRow = new QHBoxLayout;
    auto* header = new SectionHeader(symbol::icon("character.book.closed"), QStringLiteral("Translation Table"), this);
    header->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    headerRow->addWidget(header);
    m_count->setObjectName(QStringLiteral("entryCountLabel"));
    m_count->setTextFormat(Qt::PlainText);
    m_count->setFont(settingsCard::captionTwoFont());
    m_count->setForegroundRole(QPalette::PlaceholderText);
    headerRow->addWidget(m_count);
    headerRow->addStretch(1);
    headerRow->addWidget(m_helpButton);
    contentLayout()->addLayout(headerRow);

    m_box->setObjectName(QStringLiteral("tableBox"));
    m_box->installEventFilter(this);
    auto* box = new QVBoxLayout(m_box);
    box->setContentsMargins(1, 1, 1, 1);
    box->setSpacing(0);

    auto* columns = new QHBoxLayout;
    columns->setContentsMargins(4, 2, 4, 2);
    columns->setSpacing(0);
    const auto columnTitle = [this, columns](const QString& text, int width) {
        auto* title = new QLabel(text, m_box);
        title->setTextFormat(Qt::PlainText);
        title->setFont(settingsCard::captionTwoFont());
        title->setForegroundRole(QPalette::PlaceholderText);
        if (width > 0) {
            title->setFixedWidth(width);
        }
        columns->addWidget(title, width > 0 ? 0 : 1);
    };
    columnTitle(QStringLiteral("Character(s)"), kKeyWidth);
    columnTitle(QStringLiteral("Hex"), kHexWidth);
    columnTitle(QStringLiteral("Replace With"), 0);
    columnTitle(QString(), kButtonWidth);
    box->addLayout(columns);
    box->addWidget(settingsCard::divider(m_box));

    m_rowsLayout->setSpacing(0);
    box->addLayout(m_rowsLayout);

    auto* addRow = new QHBoxLayout;
    addRow->setContentsMargins(4, 1, 4, 1);
    addRow->setSpacing(0);
    addRow->addStretch(1);
    m_add = symbolButton(m_box, "plus.circle", QStringLiteral("addEntryButton"));
    m_add->setToolTip(QStringLiteral("Add entry"));
    connect(m_add, &QToolButton::clicked, this, &TranslationTableCard::addEntry);
    addRow->addWidget(m_add);
    box->addLayout(addRow);
    contentLayout()->addWidget(m_box);

    connect(&m_model, &MonitorViewModel::activeSettingsChanged, this, &TranslationTableCard::refresh);
    refresh();
}

void TranslationTableCard::editKey(std::size_t position, const QString& text)
{
    if (position >= m_model.activeSettings().translationTable.entries.size()) {
        return;
    }
    const std::string key = text.toStdString();
    m_model.updateActiveSettings([position, &key](TransformationSettings& settings) { settings.translationTable.entries[position].from = key; });
}

void TranslationTableCard::editHex(std::size_t position, const QString& text)
{
    if (position >= m_model.activeSettings().translationTable.entries.size()) {
        return;
    }
    const std::optional<std::string> key = TranslationTable::parseCharacterInput(text.toStdString());
    if (!key) {
        return;
    }
    m_model.updateActiveSettings([position, &key](TransformationSettings& settings) { settings.translationTable.entries[position].from = *key; });
}

void TranslationTableCard::editReplacement(std::size_t position, const QString& text)
{
    if (position >= m_model.activeSettings().translationTable.entries.size()) {
        return;
    }
    const std::string replacement = text.toStdString();
    m_model.updateActiveSettings(
        [position, &replacement](TransformationSettings& settings) { settings.translationTable.entries[position].to = replacement; });
}

void TranslationTableCard::removeEntry(std::size_t position)
{
    if (position >= m_model.activeSettings().translationTable.entries.size()) {
        return;
    }
    m_model.updateActiveSettings([position](TransformationSettings& settings) {
        auto& entries = settings.translationTable.entries;
        entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(position));
    });
}

void TranslationTableCard::addEntry()
{
    m_model.updateActiveSettings([](TransformationSettings& settings) { settings.translationTable.entries.push_back(TranslationEntry {"", "_"}); });
}

bool TranslationTableCard::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Paint) {
        auto* widget = static_cast<QWidget*>(watched);
        QPainter painter(widget);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPalette& palette = widget->palette();
        if (widget == m_box) {
            QPainterPath path;
            path.addRoundedRect(QRectF(widget->rect()).adjusted(0.5, 0.5, -0.5, -0.5), kBoxRadius, kBoxRadius);
            painter.fillPath(path, palette.color(QPalette::Base));
            painter.setPen(QPen(theme::withOpacity(theme::secondaryLabel(palette), kOutlineOpacity), 1.0));
            painter.drawPath(path);
        } else if (widget->property(kOddRowProperty).toBool()) {
            painter.fillRect(widget->rect(), theme::withOpacity(theme::secondaryLabel(palette), kOddRowOpacity));
        }
    }
    return Card::eventFilter(watched, event);
}

TranslationTableCard::Row TranslationTableCard::makeRow(std::size_t position)
{
    Row row;
    row.widget = new QWidget(m_box);
    row.widget->setObjectName(QStringLiteral("entryRow"));
    row.widget->installEventFilter(this);
    auto* layout = new QHBoxLayout(row.widget);
    layout->setContentsMargins(4, 1, 4, 1);
    layout->setSpacing(0);
    const QFont font = theme::monospacedCaptionFont(QApplication::font());
    const auto cell = [&row, &font, layout](const QString& objectName, int width) {
        auto* field = new QLineEdit(row.widget);
        field->setObjectName(objectName);
        field->setFont(font);
        if (width > 0) {
            field->setFixedWidth(width);
        }
        layout->addWidget(field, width > 0 ? 0 : 1);
        return field;
    };
    row.key = cell(QStringLiteral("keyLineEdit"), kKeyWidth);
    row.hex = cell(QStringLiteral("hexLineEdit"), kHexWidth);
    row.hex->setPlaceholderText(QStringLiteral("U+0000"));
    row.replacement = cell(QStringLiteral("replacementLineEdit"), 0);
    row.replacement->setPlaceholderText(QStringLiteral("_"));
    row.remove = symbolButton(row.widget, "minus.circle", QStringLiteral("removeEntryButton"));
    layout->addWidget(row.remove);
    connect(row.key, &QLineEdit::textEdited, this, [this, position](const QString& text) { editKey(position, text); });
    connect(row.hex, &QLineEdit::textEdited, this, [this, position](const QString& text) { editHex(position, text); });
    connect(row.replacement, &QLineEdit::textEdited, this, [this, position](const QString& text) { editReplacement(position, text); });
    connect(row.remove, &QToolButton::clicked, this, [this, position] { removeEntry(position); });
    row.widget->setProperty(kOddRowProperty, position % 2 == 1);
    m_rowsLayout->addWidget(row.widget);
    return row;
}

void TranslationTableCard::refresh()
{
    const std::vector<TranslationEntry>& entries = m_model.activeSettings().translationTable.entries;
    m_count->setText(entryCountText(entries.size()));
    while (m_rows.size() > entries.size()) {
        // Later: a button of the row may be the sender of the click being handled.
        m_rows.back().widget->hide();
        m_rows.back().widget->deleteLater();
        m_rows.pop_back();
    }
    while (m_rows.size() < entries.size()) {
        m_rows.push_back(makeRow(m_rows.size()));
    }
    for (std::size_t position = 0; position < entries.size(); ++position) {
        Row& row = m_rows[position];
        const TranslationEntry& entry = entries[position];
        const QString key = fromStd(entry.from);
        showText(row.key, key);
        row.key->setToolTip(Qt::convertFromPlainText(QString::fromStdString(TranslationTable::displayString(entry.from))));
        // The code points being typed stay while they still name this key
        // (or name nothing yet, as "U+" does).
        const bool keepTyped = row.hex->hasFocus()
            && (entry.from == row.shownKey || TranslationTable::parseCharacterInput(row.hex->text().toStdString()) == entry.from);
        if (!keepTyped) {
            showText(row.hex, hexText(entry.from));
        }
        showText(row.replacement, fromStd(entry.to));
        row.shownKey = entry.from;
    }
}

}  // namespace tess
