#pragma once

#include <QFrame>

namespace tess {

// A popover: a pop-up window shown under the widget it belongs to (its
// anchor), closed by a click outside it or Escape. A click on the anchor
// itself only closes it: the press is not handed on to the anchor, so a
// button that opens the popover does not open it again at once.
class PopoverFrame : public QFrame {
    Q_OBJECT

public:
    // A child window of `anchor` (not null), deleted with it.
    explicit PopoverFrame(QWidget* anchor);

    QWidget* anchor() const { return m_anchor; }
    // Sizes the frame to its content, places it by placement() on the
    // anchor's screen and shows it.
    void popUp();

    // Where a frame of `size` goes for an anchor at `anchor` (global
    // coordinates) on a screen whose free area is `available`: under the
    // anchor where it fits, else above it where that fits, else on the side
    // with more room; always inside `available` (its top-left corner shown
    // when the frame is larger).
    static QPoint placement(const QRect& anchor, const QSize& size, const QRect& available);

signals:
    // Whenever the frame is hidden, however that happened.
    void closed();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    // The size the frame takes when it pops up; the default is its size hint.
    virtual QSize popUpSize() const;

private:
    QWidget* m_anchor;  // the parent: outlives the frame
};

}  // namespace tess
