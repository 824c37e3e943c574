#pragma once

#include <QWidget>

class QLabel;
class QToolButton;

namespace tess {

// One member of a chip field: its text (plain, monospaced, caption size)
// and a borderless remove button, on a faint rounded background.
class SetChip : public QWidget {
    Q_OBJECT

public:
    explicit SetChip(const QString& text, QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);
    QToolButton* removeButton() const { return m_remove; }

signals:
    void removeRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void applyFonts();

    QLabel* m_label;
    QToolButton* m_remove;
};

}  // namespace tess
