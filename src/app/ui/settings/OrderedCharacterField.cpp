#include "ui/settings/OrderedCharacterField.h"

#include "rules/TranslationTable.h"
#include "text/Text.h"
#include "ui/settings/CharacterSetField.h"
#include "ui/settings/OrderedCharacterChip.h"
#include "ui/widgets/FlowLayout.h"
#include "ui/widgets/PopoverFrame.h"
#include "ui/widgets/Symbol.h"
#include "ui/widgets/Theme.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace tess {

namespace {

constexpr int kAddSymbolSize = 9;
// The caption's 9 points of a 13-point body text.
constexpr qreal kCaptionScale = 9.0 / 13.0;

}  // namespace

OrderedCharacterField::OrderedCharacterField(const QString& label, QWidget* parent)
    : QWidget(parent)
    , m_flowWidget(new QWidget(this))
    , m_flow(new FlowLayout(m_flowWidget, 2, 2))
    , m_addButton(new QToolButton(m_flowWidget))
    , m_popover(new PopoverFrame(m_addButton))
    , m_edit(new QLineEdit(m_popover))
    , m_addPush(new QPushButton(QStringLiteral("Add"), m_popover))
    , m_caption(new QLabel(QStringLiteral("first = highest precedence"), this))
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    auto* row = new QHBoxLayout;
    row->setSpacing(4);
    if (!label.isEmpty()) {
        auto* caption = new QLabel(this);
        caption->setObjectName(QStringLiteral("fieldLabel"));
        caption->setTextFormat(Qt::PlainText);
        caption->setText(label);
        caption->setFont(theme::captionFont(QApplication::font()));
        caption->setForegroundRole(QPalette::PlaceholderText);
        row->addWidget(caption, 0, Qt::AlignTop);
    }
    m_flowWidget->setObjectName(QStringLiteral("chipFlowWidget"));
    m_flowWidget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    row->addWidget(m_flowWidget, 1, Qt::AlignTop);
    column->addLayout(row);

    m_caption->setObjectName(QStringLiteral("precedenceCaption"));
    QFont captionFont = QApplication::font();
    captionFont.setPointSizeF(captionFont.pointSizeF() * kCaptionScale);
    m_caption->setFont(captionFont);
    m_caption->setForegroundRole(QPalette::PlaceholderText);
    column->addWidget(m_caption);

    m_addButton->setObjectName(QStringLiteral("addToolButton"));
    m_addButton->setAutoRaise(true);
    m_addButton->setIcon(symbol::icon("plus"));
    m_addButton->setIconSize(QSize(kAddSymbolSize, kAddSymbolSize));
    m_flow->addWidget(m_addButton);
    connect(m_addButton, &QToolButton::clicked, this, &OrderedCharacterField::openAddPopover);

    m_popover->setObjectName(QStringLiteral("addPopoverFrame"));
    auto* popoverLayout = new QHBoxLayout(m_popover);
    popoverLayout->setContentsMargins(8, 8, 8, 8);
    popoverLayout->setSpacing(6);
    m_edit->setObjectName(QStringLiteral("addLineEdit"));
    m_edit->setPlaceholderText(QStringLiteral("Character"));
    m_edit->setFixedWidth(80);
    m_edit->setFont(theme::monospacedCaptionFont(QApplication::font()));
    m_addPush->setObjectName(QStringLiteral("addPushButton"));
    m_addPush->setFont(theme::captionFont(QApplication::font()));
    m_addPush->setDefault(true);
    m_addPush->setEnabled(false);
    popoverLayout->addWidget(m_edit);
    popoverLayout->addWidget(m_addPush);
    connect(m_edit, &QLineEdit::textChanged, m_addPush, [this](const QString& text) { m_addPush->setEnabled(!text.isEmpty()); });
    connect(m_edit, &QLineEdit::returnPressed, this, &OrderedCharacterField::addTyped);
    connect(m_addPush, &QPushButton::clicked, this, &OrderedCharacterField::addTyped);
}

void OrderedCharacterField::setValue(const std::vector<std::string>& value)
{
    if (value == m_value) {
        return;
    }
    m_value = value;
    rebuildChips();
}

void OrderedCharacterField::moveLeft(std::size_t position)
{
    if (position < 1 || position >= m_value.size()) {
        return;
    }
    std::vector<std::string> changed = m_value;
    std::swap(changed[position], changed[position - 1]);
    changeValue(std::move(changed));
}

void OrderedCharacterField::moveRight(std::size_t position)
{
    if (m_value.empty() || position >= m_value.size() - 1) {
        return;
    }
    std::vector<std::string> changed = m_value;
    std::swap(changed[position], changed[position + 1]);
    changeValue(std::move(changed));
}

void OrderedCharacterField::removeCharacter(std::size_t position)
{
    if (position >= m_value.size()) {
        return;
    }
    std::vector<std::string> changed = m_value;
    changed.erase(changed.begin() + static_cast<std::ptrdiff_t>(position));
    changeValue(std::move(changed));
}

void OrderedCharacterField::openAddPopover()
{
    m_edit->clear();
    m_popover->popUp();
    m_edit->setFocus(Qt::PopupFocusReason);
}

void OrderedCharacterField::addTyped()
{
    const std::optional<std::string> character = CharacterSetField::firstCharacter(m_edit->text());
    if (character) {
        const bool present = std::any_of(m_value.begin(), m_value.end(),
            [&character](const std::string& member) { return text::canonicallyEqual(member, *character); });
        if (!present) {
            std::vector<std::string> changed = m_value;
            changed.push_back(*character);
            changeValue(std::move(changed));
        }
    }
    m_edit->clear();
    m_popover->hide();
}

void OrderedCharacterField::rebuildChips()
{
    for (OrderedCharacterChip* chip : m_chips) {
        m_flow->removeWidget(chip);
        // Later: the chip may be the sender of the click being handled.
        chip->hide();
        chip->deleteLater();
    }
    m_chips.clear();
    m_chips.reserve(m_value.size());
    for (std::size_t position = 0; position < m_value.size(); ++position) {
        const std::string& member = m_value[position];
        auto* chip = new OrderedCharacterChip(QString::fromStdString(TranslationTable::displayString(member)), m_flowWidget);
        chip->moveLeftButton()->setEnabled(position > 0);
        chip->moveRightButton()->setEnabled(position + 1 < m_value.size());
        connect(chip, &OrderedCharacterChip::moveLeftRequested, this, [this, position] { moveLeft(position); });
        connect(chip, &OrderedCharacterChip::moveRightRequested, this, [this, position] { moveRight(position); });
        connect(chip, &OrderedCharacterChip::removeRequested, this, [this, position] { removeCharacter(position); });
        m_flow->insertWidget(static_cast<int>(position), chip);
        chip->show();
        m_chips.push_back(chip);
    }
}

void OrderedCharacterField::changeValue(std::vector<std::string> value)
{
    m_value = std::move(value);
    rebuildChips();
    emit valueChanged(m_value);
}

}  // namespace tess
