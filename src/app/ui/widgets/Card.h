#pragma once

#include <QFrame>

class QVBoxLayout;

namespace tess {

// A settings section drawn as a card: its rows stacked from the leading
// edge, 8 apart, inside the standard inset; as wide as the space offered
// however narrow its content; a faint fill of the secondary colour (5 %) with
// corners rounded at 8. The colour is read from the palette at paint time,
// so the card follows a theme change.
class Card : public QFrame {
    Q_OBJECT

public:
    explicit Card(QWidget* parent = nullptr);

    // Where the section adds its rows.
    QVBoxLayout* contentLayout() const { return m_layout; }

    // Fills all of `widget` with its palette's secondary label colour at
    // `opacity`, corners rounded at `radius` (the card's look, also used by
    // chips).
    static void paintRoundedFill(QWidget& widget, qreal radius, qreal opacity);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QVBoxLayout* m_layout;
};

}  // namespace tess
