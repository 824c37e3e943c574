#pragma once

#include "ui/issuelist/RowDelegate.h"

namespace tess {

// Paints one side-by-side row of the issue list, 30 points high: the
// selection box, the first issue's symbol and the current path on the left,
// a divider, then an arrow and the proposed path on the right, both paths
// with their changes marked and cut at the head.
class SideBySideRowDelegate : public RowDelegate {
    Q_OBJECT

public:
    static constexpr int kHeight = 30;
    static constexpr int kPadding = 12;
    static constexpr int kVerticalPadding = 6;
    static constexpr int kSpacing = 6;
    static constexpr int kBoxWidth = 14;
    static constexpr int kIconWidth = 14;

    using RowDelegate::RowDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QRect regionRect(const QStyleOptionViewItem& option, const QModelIndex& index, Region region) const override;
};

}  // namespace tess
