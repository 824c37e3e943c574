#include "ui/Card.h"

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
    m_layout->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void Card::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = palette().color(QPalette::WindowText);
    fill.setAlphaF(kFillOpacity);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    painter.fillPath(shape, fill);
}

}  // namespace tess
