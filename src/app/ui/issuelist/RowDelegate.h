#pragma once

#include <QStyledItemDelegate>

namespace tess {

class IssueListModel;
struct IndexedFile;

// What the two row delegates of the issue list share: the alternating
// background, the selection box (a click or Space on it asks the host to
// toggle the row), tooltips by region, and a read-only line editor, opened
// by a double-click on a path, whose text can be selected and copied.
class RowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    enum class Region {
        none,
        checkbox,
        dots,
        icon,
        originalPath,
        proposedPath,
    };

    using QStyledItemDelegate::QStyledItemDelegate;

    // Where a region of the row lies in `option.rect`; empty when the row has
    // no such region.
    virtual QRect regionRect(const QStyleOptionViewItem& option, const QModelIndex& index, Region region) const = 0;
    Region regionAt(const QStyleOptionViewItem& option, const QModelIndex& index, QPoint position) const;

    // The plain text of the tooltip at `position`; empty for none.
    QString toolTipText(const QStyleOptionViewItem& option, const QModelIndex& index, QPoint position) const;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option, const QModelIndex& index) override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option, const QModelIndex& index) override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The palette a check box is drawn with: on a dark palette its outline
    // (drawn darker than the window colour) is given a light enough base.
    static QPalette checkboxPalette(const QPalette& palette);

signals:
    void toggleSelectionRequested(int row);

protected:
    static const IssueListModel* listModel(const QModelIndex& index);
    static const IndexedFile* fileOf(const QModelIndex& index);
    // The row's shade (0.02 or 0.06 of the secondary label colour by row
    // parity) over the base colour, and the focus frame of the current row.
    // Then the row's selection box (or warning sign) in `box`.
    static void paintBackgroundAndBox(QPainter& painter, const QStyleOptionViewItem& option, const QModelIndex& index, const QRect& box);
    static void paintFocus(QPainter& painter, const QStyleOptionViewItem& option);

private:
    // The path a double-click landed on: the one the editor shows.
    mutable Region m_editRegion = Region::none;
};

}  // namespace tess
