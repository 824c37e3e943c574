#include "ui/widgets/TintedBar.h"

#include "ui/widgets/Card.h"

#include <QFrame>

namespace tess {

namespace {
constexpr qreal kFillOpacity = 0.05;
}

TintedBar::TintedBar(QWidget* parent)
    : QWidget(parent)
{
}

QWidget* TintedBar::makeDivider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    line->setFixedHeight(1);
    return line;
}

void TintedBar::paintEvent(QPaintEvent* /*event*/)
{
    Card::paintRoundedFill(*this, 0.0, kFillOpacity);
}

}  // namespace tess
