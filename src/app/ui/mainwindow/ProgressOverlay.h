#pragma once

#include <QWidget>

class QLabel;

namespace tess {

// Dims the pane below it (black at half opacity), swallows its input, and
// shows a busy indicator with a title, an optional detail and a timer, all
// plain text. It keeps itself the size of its parent.
class ProgressOverlay : public QWidget {
    Q_OBJECT

public:
    explicit ProgressOverlay(QWidget* parent);

    void setTexts(const QString& title, const QString& detail, const QString& timer);
    QString title() const;
    QString detail() const;
    QString timer() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_title = nullptr;
    QLabel* m_detail = nullptr;
    QLabel* m_timer = nullptr;
};

}  // namespace tess
