#pragma once

#include "ui/issuelist/RowDelegate.h"

namespace tess {

// Paints one inline row of the issue list: the selection box, the issue
// dots, the current path with its changes marked and, for an item with a
// proposal, an arrow line with the proposed path. Every row has the height
// of two path lines, so the list can use uniform item sizes; a row without
// a proposal centres its one line.
class ResultRowDelegate : public RowDelegate {
    Q_OBJECT

public:
    static constexpr int kInset = 12;
    static constexpr int kVerticalPadding = 4;
    static constexpr int kColumnWidth = 22;
    static constexpr int kSpacing = 4;
    static constexpr int kLineSpacing = 2;
    // Both paths start this far into the text column: the first line's
    // 12-point gap and its spacing, the second line's 16-point arrow and 4.
    static constexpr int kPathIndent = 20;
    static constexpr int kArrowWidth = 16;

    using RowDelegate::RowDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QRect regionRect(const QStyleOptionViewItem& option, const QModelIndex& index, Region region) const override;

    static int lineHeight(const QFont& base);
};

}  // namespace tess
