#include "ui/settings/OrderedCharacterField.h"

#include "rules/TranslationTable.h"
#include "text/Text.h"
#include "ui/settings/CharacterSetField.h"
#include "ui/settings/OrderedCharacterChip.h"
#include "ui/widgets/FlowLayout.h"
#include "ui/widgets/Theme.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace tess {

namespace {

// The caption's 9 points of a 13-point body text.
constexpr qreal kCaptionScale = 9.0 / 13.0;

}  // namespace

OrderedCharacterField::OrderedCharacterField(const QString& label, QWidget* parent)
    : QWidget(parent)
    , m_flowWidget(new QWidget(this))
    , m_flow(new FlowLayout(m_flowWidget, 2, 2))
    , m_adder(m_flowWidget, QStringLiteral("Character"), 80, QApplication::font(), this, [this] { addTyped(); })
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

    m_flow->addWidget(m_adder.button());
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
    m_adder.open();
}

void OrderedCharacterField::addTyped()
{
    const std::optional<std::string> character = CharacterSetField::firstCharacter(m_adder.edit()->text());
    if (character) {
        const bool present = std::any_of(m_value.begin(), m_value.end(),
            [&character](const std::string& member) { return text::canonicallyEqual(member, *character); });
        if (!present) {
            std::vector<std::string> changed = m_value;
            changed.push_back(*character);
            changeValue(std::move(changed));
        }
    }
    m_adder.close();
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
