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
    QPoint topLeft = m_anchor->mapToGlobal(QPoint(0, m_anchor->height() + kGapBelowAnchor));
    const QScreen* screen = m_anchor->screen();
    const QRect available = screen != nullptr ? screen->availableGeometry() : QRect();
    if (available.isValid()) {
        topLeft.setX(std::clamp(topLeft.x(), available.left(), std::max(available.left(), available.right() + 1 - size.width())));
        if (topLeft.y() + size.height() > available.bottom() + 1) {
            // No room below: open above the anchor instead.
            topLeft.setY(m_anchor->mapToGlobal(QPoint(0, 0)).y() - kGapBelowAnchor - size.height());
        }
    }
    setGeometry(QRect(topLeft, size));
    show();
    activateWindow();
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
