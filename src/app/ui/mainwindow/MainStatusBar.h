#pragma once

#include "ui/mainwindow/MainWindowState.h"

#include <QWidget>

class QLabel;

namespace tess {

// The one-line bar below the main pane: a status dot with the counts or the
// status, the selection and filter counts, and the time of the last analysis.
class MainStatusBar : public QWidget {
    Q_OBJECT

public:
    explicit MainStatusBar(QWidget* parent = nullptr);

    void apply(const MainWindowState::StatusBarTexts& texts, std::optional<ColorName> dotColor);

    QString leftText() const;
    QString middleText() const;
    QString rightText() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void refreshColors();

    class Dot;
    Dot* m_dot = nullptr;
    QLabel* m_left = nullptr;
    QLabel* m_middle = nullptr;
    QLabel* m_right = nullptr;
    std::optional<ColorName> m_dotColor;
    bool m_leftIsSecondary = true;
};

}  // namespace tess
