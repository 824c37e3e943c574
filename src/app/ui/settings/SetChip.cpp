#include "ui/settings/SetChip.h"

#include "ui/widgets/Card.h"
#include "ui/widgets/Symbol.h"
#include "ui/widgets/Theme.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace tess {

namespace {

constexpr qreal kCornerRadius = 3.0;
constexpr qreal kFillOpacity = 0.15;
constexpr int kRemoveSymbolSize = 7;

}  // namespace

SetChip::SetChip(const QString& text, QWidget* parent)
    : QWidget(parent)
    , m_label(new QLabel(this))
    , m_remove(new QToolButton(this))
{
    setObjectName(QStringLiteral("setChip"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 1, 4, 1);
    layout->setSpacing(2);

    m_label->setObjectName(QStringLiteral("chipLabel"));
    m_label->setTextFormat(Qt::PlainText);
    m_label->setText(text);

    m_remove->setObjectName(QStringLiteral("removeToolButton"));
    m_remove->setAutoRaise(true);
    m_remove->setIcon(symbol::icon("xmark"));
    m_remove->setIconSize(QSize(kRemoveSymbolSize, kRemoveSymbolSize));
    m_remove->setToolTip(tr("Remove"));
    m_remove->setFocusPolicy(Qt::TabFocus);
    m_remove->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0px; }"));
    connect(m_remove, &QToolButton::clicked, this, &SetChip::removeRequested);

    layout->addWidget(m_label, 0, Qt::AlignVCenter);
    layout->addWidget(m_remove, 0, Qt::AlignVCenter);
    applyFonts();
}

QString SetChip::text() const
{
    return m_label->text();
}

void SetChip::setText(const QString& text)
{
    m_label->setText(text);
}

void SetChip::paintEvent(QPaintEvent* /*event*/)
{
    Card::paintRoundedFill(*this, kCornerRadius, kFillOpacity);
}

void SetChip::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        applyFonts();
    }
    QWidget::changeEvent(event);
}

void SetChip::applyFonts()
{
    m_label->setFont(theme::monospacedCaptionFont(font()));
}

}  // namespace tess
