#include "ui/widgets/PopoverFrame.h"

#include <QMouseEvent>
#include <QScreen>

#include <algorithm>

namespace tess {

namespace {

constexpr int kGapBelowAnchor = 2;

}  // namespace

PopoverFrame::PopoverFrame(QWidget* anchor)
    : QFrame(anchor, Qt::Popup)
    , m_anchor(anchor)
{
    // Palette, font and locale follow the anchor, as they would inside its window.
    setAttribute(Qt::WA_WindowPropagation);
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Plain);
    setAutoFillBackground(true);
}

void PopoverFrame::popUp()
{
    const QSize size = popUpSize();
    const QRect anchor(m_anchor->mapToGlobal(QPoint(0, 0)), m_anchor->size());
    const QScreen* screen = m_anchor->screen();
    const QRect available = screen != nullptr ? screen->availableGeometry() : QRect();
    setGeometry(QRect(placement(anchor, size, available), size));
    show();
    activateWindow();
}

QPoint PopoverFrame::placement(const QRect& anchor, const QSize& size, const QRect& available)
{
    const QPoint below(anchor.left(), anchor.bottom() + 1 + kGapBelowAnchor);
    if (!available.isValid()) {
        return below;
    }
    const int roomBelow = available.bottom() + 1 - below.y();
    const int aboveTop = anchor.top() - kGapBelowAnchor - size.height();
    const int roomAbove = anchor.top() - kGapBelowAnchor - available.top();
    int y = below.y();
    if (size.height() > roomBelow && (size.height() <= roomAbove || roomAbove > roomBelow)) {
        y = aboveTop;
    }
    // Clamped, the top-left corner last so it stays on screen.
    const int x = std::max(available.left(), std::min(below.x(), available.right() + 1 - size.width()));
    y = std::max(available.top(), std::min(y, available.bottom() + 1 - size.height()));
    return {x, y};
}

QSize PopoverFrame::popUpSize() const
{
    return sizeHint();
}

void PopoverFrame::mousePressEvent(QMouseEvent* event)
{
    // A pop-up receives every press while it is open; one outside its
    // rectangle closes it (QWidget's handling) and is then replayed to the
    // widget under the pointer unless told otherwise.
    if (!rect().contains(event->position().toPoint())) {
        const QPoint onAnchor = m_anchor->mapFromGlobal(event->globalPosition().toPoint());
        setAttribute(Qt::WA_NoMouseReplay, m_anchor->rect().contains(onAnchor));
    }
    QFrame::mousePressEvent(event);
}

void PopoverFrame::hideEvent(QHideEvent* event)
{
    QFrame::hideEvent(event);
    emit closed();
}

}  // namespace tess
