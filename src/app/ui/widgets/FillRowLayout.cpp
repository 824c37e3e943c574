#include "ui/widgets/FillRowLayout.h"

#include "ui/widgets/FillRowLayoutState.h"

#include <QWidget>

#include <algorithm>

namespace tess {

namespace {

int rowHeight(const QList<QLayoutItem*>& items, const FillRow& row)
{
    int height = 0;
    for (const FillCell& cell : row) {
        height = std::max(height, items.at(cell.index)->sizeHint().height());
    }
    return height;
}

}  // namespace

FillRowLayout::FillRowLayout(QWidget* parent, int spacing, int lineSpacing)
    : ItemListLayout(parent, spacing, lineSpacing)
{
}

QSize FillRowLayout::sizeHint() const
{
    // Every child at its preferred width, in one row.
    const QList<QLayoutItem*> items = shownItems();
    int width = 0;
    int height = 0;
    for (QLayoutItem* item : items) {
        width += item->sizeHint().width();
        height = std::max(height, item->sizeHint().height());
    }
    width += m_spacing * std::max<int>(0, static_cast<int>(items.size()) - 1);
    return QSize(width, height).grownBy(contentsMargins());
}

QSize FillRowLayout::minimumSize() const
{
    // Wide enough for the widest child's minimum; the height comes from
    // heightForWidth.
    QSize largest(0, 0);
    for (QLayoutItem* item : shownItems()) {
        largest = largest.expandedTo(QSize(item->minimumSize().width(), item->sizeHint().height()));
    }
    return largest.grownBy(contentsMargins());
}

void FillRowLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    const QList<QLayoutItem*> items = shownItems();
    const QRect bounds = contentsRect();
    int top = bounds.top();
    for (const FillRow& row : fillRows(widthsOf(items), bounds.width(), m_spacing)) {
        const int height = rowHeight(items, row);
        for (const FillCell& cell : row) {
            items.at(cell.index)->setGeometry(QRect(bounds.left() + cell.x, top, cell.width, height));
        }
        top += height + m_lineSpacing;
    }
}

std::vector<FillWidths> FillRowLayout::widthsOf(const QList<QLayoutItem*>& items)
{
    std::vector<FillWidths> widths;
    widths.reserve(static_cast<std::size_t>(items.size()));
    for (QLayoutItem* item : items) {
        const int minimum = item->minimumSize().width();
        widths.push_back({minimum, std::max(minimum, item->sizeHint().width())});
    }
    return widths;
}

int FillRowLayout::contentHeight(int width) const
{
    const QList<QLayoutItem*> items = shownItems();
    const std::vector<FillRow> rows = fillRows(widthsOf(items), width, m_spacing);
    int height = 0;
    for (const FillRow& row : rows) {
        height += rowHeight(items, row);
    }
    return height + m_lineSpacing * std::max<int>(0, static_cast<int>(rows.size()) - 1);
}

}  // namespace tess
