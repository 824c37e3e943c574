#include "ui/widgets/Card.h"

#include "ui/widgets/Theme.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace tess {

namespace {

constexpr qreal kCornerRadius = 8.0;
constexpr qreal kFillOpacity = 0.05;

}  // namespace

Card::Card(QWidget* parent)
    : QFrame(parent)
    , m_layout(new QVBoxLayout(this))
{
    setObjectName(QStringLiteral("card"));
    setFrameShape(QFrame::NoFrame);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_layout->setSpacing(8);
    // Left only: a layout aligned vertically is given its size hint's height,
    // which is too low for content whose height follows its width (wrapping
    // chips, wrapped text). The card is never taller than its content.
    m_layout->setAlignment(Qt::AlignLeft);
}

void Card::paintEvent(QPaintEvent* /*event*/)
{
    paintRoundedFill(*this, kCornerRadius, kFillOpacity);
}

void Card::paintRoundedFill(QWidget& widget, qreal radius, qreal opacity)
{
    QPainter painter(&widget);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor fill = theme::withOpacity(theme::secondaryLabel(widget.palette()), opacity);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(widget.rect()), radius, radius);
    painter.fillPath(shape, fill);
}

}  // namespace tess
