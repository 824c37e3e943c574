#include "ui/widgets/FlowLayout.h"

#include "ui/widgets/FlowLayoutState.h"

#include <QWidget>

#include <algorithm>

namespace tess {

FlowLayout::FlowLayout(QWidget* parent, int spacing, int lineSpacing)
    : ItemListLayout(parent, spacing, lineSpacing)
{
}

void FlowLayout::insertWidget(int index, QWidget* widget)
{
    addChildWidget(widget);
    m_items.insert(std::clamp<qsizetype>(index, 0, m_items.size()), new QWidgetItem(widget));
    invalidate();
}

int FlowLayout::contentHeight(int width) const
{
    return contentSize(width).height();
}

QSize FlowLayout::sizeHint() const
{
    const QMargins margins = contentsMargins();
    return contentSize(std::nullopt).grownBy(margins);
}

QSize FlowLayout::minimumSize() const
{
    // Wide enough for the widest child, so that no child is ever cut, and as
    // tall as the tallest; the real height comes from heightForWidth.
    QSize largest(0, 0);
    for (const QSize& size : sizesOf(shownItems())) {
        largest = largest.expandedTo(size);
    }
    return largest.grownBy(contentsMargins());
}

void FlowLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    const QList<QLayoutItem*> items = shownItems();
    const std::vector<QRect> placed = flowPlacements(sizesOf(items), contentsRect(), m_spacing, m_lineSpacing);
    for (qsizetype i = 0; i < items.size(); ++i) {
        items.at(i)->setGeometry(placed[static_cast<std::size_t>(i)]);
    }
}

std::vector<QSize> FlowLayout::sizesOf(const QList<QLayoutItem*>& items)
{
    std::vector<QSize> sizes;
    sizes.reserve(static_cast<std::size_t>(items.size()));
    for (QLayoutItem* item : items) {
        sizes.push_back(item->sizeHint());
    }
    return sizes;
}

QSize FlowLayout::contentSize(std::optional<int> width) const
{
    return flowSizeThatFits(sizesOf(shownItems()), width, m_spacing, m_lineSpacing);
}

}  // namespace tess
