#include "ui/settings/OrderedCharacterChip.h"

#include "ui/settings/SettingsCardParts.h"
#include "ui/widgets/Card.h"
#include "ui/widgets/Symbol.h"
#include "ui/widgets/Theme.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace tess {

namespace {

constexpr qreal kCornerRadius = 3.0;
constexpr qreal kFillOpacity = 0.15;
constexpr int kButtonSymbolSize = 7;

QToolButton* chipButton(QWidget* parent, std::string_view symbolName, const QString& objectName)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setAutoRaise(true);
    button->setIcon(symbol::icon(symbolName));
    button->setIconSize(QSize(kButtonSymbolSize, kButtonSymbolSize));
    button->setFocusPolicy(Qt::TabFocus);
    button->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0px; }"));
    return button;
}

}  // namespace

OrderedCharacterChip::OrderedCharacterChip(const QString& text, QWidget* parent)
    : QWidget(parent)
    , m_label(new QLabel(this))
    , m_left(chipButton(this, "chevron.left", QStringLiteral("moveLeftToolButton")))
    , m_right(chipButton(this, "chevron.right", QStringLiteral("moveRightToolButton")))
    , m_remove(chipButton(this, "xmark", QStringLiteral("removeToolButton")))
{
    setObjectName(QStringLiteral("orderedCharacterChip"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 1, 4, 1);
    layout->setSpacing(2);
    m_label->setObjectName(QStringLiteral("chipLabel"));
    m_label->setTextFormat(Qt::PlainText);
    m_label->setText(text);
    QFont font = settingsCard::captionTwoFont();
    font.setFamily(theme::monospacedCaptionFont(font).family());
    m_label->setFont(font);
    m_left->setToolTip(QStringLiteral("Increase precedence"));
    m_right->setToolTip(QStringLiteral("Decrease precedence"));
    connect(m_left, &QToolButton::clicked, this, &OrderedCharacterChip::moveLeftRequested);
    connect(m_right, &QToolButton::clicked, this, &OrderedCharacterChip::moveRightRequested);
    connect(m_remove, &QToolButton::clicked, this, &OrderedCharacterChip::removeRequested);
    layout->addWidget(m_label, 0, Qt::AlignVCenter);
    layout->addWidget(m_left, 0, Qt::AlignVCenter);
    layout->addWidget(m_right, 0, Qt::AlignVCenter);
    layout->addWidget(m_remove, 0, Qt::AlignVCenter);
}

QString OrderedCharacterChip::text() const
{
    return m_label->text();
}

void OrderedCharacterChip::paintEvent(QPaintEvent* /*event*/)
{
    Card::paintRoundedFill(*this, kCornerRadius, kFillOpacity);
}

}  // namespace tess
