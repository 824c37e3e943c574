#pragma once

#include "ui/issuelist/IssueTypePresentation.h"

#include <QWidget>

class QStyle;

namespace tess {

// A row's rename box: a check box that shows whether the item is selected
// (disabled and faded when the item needs no rename), or, for an item with
// issues and no automatic fix, a red warning sign. A click on an enabled box
// emits toggleSelectionRequested and changes nothing: the host decides.
class IssueRowCheckbox : public QWidget {
    Q_OBJECT

public:
    explicit IssueRowCheckbox(QWidget* parent = nullptr);

    void setValues(bool needsRename, bool hasIssues, bool isSelected);
    // The width of the column the box stands in, left-aligned (22 in the
    // inline rows, 14 in the side-by-side rows).
    void setColumnWidth(int width);
    const RowCheckboxLook& look() const { return m_look; }

    QSize sizeHint() const override;

    // Paints `look` left-aligned and vertically centred in `rect`.
    static void paint(QPainter& painter, const QRect& rect, const RowCheckboxLook& look, const QPalette& palette, const QStyle* style,
        const QWidget* widget);
    // The tooltip of the warning sign; empty for a box.
    static QString toolTipText(const RowCheckboxLook& look);

signals:
    void toggleSelectionRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void applyLook();

    RowCheckboxLook m_look;
    int m_columnWidth = 22;
    bool m_pressed = false;
};

}  // namespace tess
