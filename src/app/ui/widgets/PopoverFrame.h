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
    // Sizes the frame to its content, places it under the anchor (kept on
    // the anchor's screen) and shows it.
    void popUp();

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
