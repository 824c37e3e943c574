#pragma once

#include <QWidget>

class QLabel;
class QToolButton;

namespace tess {

// One character of an ordered character field: its text (plain, monospaced)
// and three borderless buttons, move towards the front, move towards the
// end and remove, on a faint rounded background.
class OrderedCharacterChip : public QWidget {
    Q_OBJECT

public:
    explicit OrderedCharacterChip(const QString& text, QWidget* parent = nullptr);

    QString text() const;
    QToolButton* moveLeftButton() const { return m_left; }
    QToolButton* moveRightButton() const { return m_right; }
    QToolButton* removeButton() const { return m_remove; }

signals:
    void moveLeftRequested();
    void moveRightRequested();
    void removeRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_label;
    QToolButton* m_left;
    QToolButton* m_right;
    QToolButton* m_remove;
};

}  // namespace tess
