#pragma once

#include "ui/widgets/ItemListLayout.h"

#include <QList>

#include <optional>
#include <vector>

namespace tess {

// A wrapping row layout: children left to right at their size hints,
// wrapping onto a new row when the next one would cross the width. Rows
// start at the left edge; the items of a row share its top edge. Takes all
// the width offered; its height follows the width (height-for-width).
// Nothing is cached: every query measures the children again.
class FlowLayout : public ItemListLayout {
public:
    explicit FlowLayout(QWidget* parent = nullptr, int spacing = 2, int lineSpacing = 2);

    // Adds `widget` at `index` (clamped to the ends).
    void insertWidget(int index, QWidget* widget);

    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

protected:
    int contentHeight(int width) const override;

private:
    static std::vector<QSize> sizesOf(const QList<QLayoutItem*>& items);
    // The rows' size for a width inside the margins; none is unbounded.
    QSize contentSize(std::optional<int> width) const;
};

}  // namespace tess
