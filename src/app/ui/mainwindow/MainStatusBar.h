#pragma once

#include "ui/mainwindow/MainWindowState.h"

#include <QWidget>

class QLabel;
class QPushButton;

namespace tess {

// The one-line bar below the main pane: a status dot with the counts or the
// status, a warning when the last scan fell short or the index cannot be
// used (its details in a tooltip, a button to the settings sheet where that
// is the way out), the selection and filter counts, and the time of the last
// analysis.
class MainStatusBar : public QWidget {
    Q_OBJECT

public:
    explicit MainStatusBar(QWidget* parent = nullptr);

    void apply(const MainWindowState::StatusBarTexts& texts, std::optional<ColorName> dotColor);
    void applyNotice(const std::optional<MainWindowState::StatusNotice>& notice);

    QString leftText() const;
    QString middleText() const;
    QString rightText() const;
    // Empty while no notice is shown.
    QString noticeText() const;
    QString noticeToolTip() const;

signals:
    // The notice's "Settings…" button was clicked.
    void settingsRequested();

protected:
    void changeEvent(QEvent* event) override;

private:
    void refreshColors();

    class Dot;
    Dot* m_dot = nullptr;
    QLabel* m_left = nullptr;
    QLabel* m_middle = nullptr;
    QLabel* m_right = nullptr;
    QLabel* m_notice = nullptr;
    QPushButton* m_noticeButton = nullptr;
    QString m_noticeToolTip;
    std::optional<ColorName> m_dotColor;
    bool m_leftIsSecondary = true;
};

}  // namespace tess
