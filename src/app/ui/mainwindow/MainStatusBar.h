#pragma once

#include "ui/mainwindow/MainWindowState.h"

#include <QWidget>

class QLabel;
class QPushButton;

namespace tess {

// The bar below the main pane: a line with a status dot and the counts or
// the status, the selection and filter counts, and the time of the last
// analysis; under it, while there is one, a warning that the last scan fell
// short or the index cannot be used or was replaced (its details in a
// tooltip, a button to the settings sheet where that is the way out), its
// path shortened to fit and its words wrapped, never cut.
class MainStatusBar : public QWidget {
    Q_OBJECT

public:
    explicit MainStatusBar(QWidget* parent = nullptr);

    void apply(const MainWindowState::StatusBarTexts& texts, std::optional<ColorName> dotColor);
    void applyNotice(const std::optional<MainWindowState::StatusNotice>& notice);

    QString leftText() const;
    QString middleText() const;
    QString rightText() const;
    // Empty while no notice is shown: the notice, and as it is drawn on its
    // line under the counts (its path shortened to the bar's width).
    QString noticeText() const;
    QString noticeShownText() const;
    QString noticeToolTip() const;

signals:
    // The notice's "Settings…" button was clicked.
    void settingsRequested();

protected:
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* makeNoticeRow();
    void fitNotice();
    void refreshColors();

    class Dot;
    Dot* m_dot = nullptr;
    QLabel* m_left = nullptr;
    QLabel* m_middle = nullptr;
    QLabel* m_right = nullptr;
    QWidget* m_noticeRow = nullptr;
    QLabel* m_notice = nullptr;
    QPushButton* m_noticeButton = nullptr;
    QString m_noticeText;
    QString m_noticeToolTip;
    std::optional<ColorName> m_dotColor;
    bool m_leftIsSecondary = true;
};

}  // namespace tess
