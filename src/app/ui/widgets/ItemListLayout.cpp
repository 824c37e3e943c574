#include "ui/widgets/ItemListLayout.h"

#include <algorithm>

namespace tess {

ItemListLayout::ItemListLayout(QWidget* parent, int spacing, int lineSpacing)
    : QLayout(parent)
    , m_spacing(spacing)
    , m_lineSpacing(lineSpacing)
{
    setContentsMargins(0, 0, 0, 0);
}

ItemListLayout::~ItemListLayout()
{
    while (QLayoutItem* item = takeAt(0)) {
        delete item;
    }
}

void ItemListLayout::addItem(QLayoutItem* item)
{
    m_items.append(item);
    invalidate();
}

int ItemListLayout::count() const
{
    return static_cast<int>(m_items.size());
}

QLayoutItem* ItemListLayout::itemAt(int index) const
{
    return index >= 0 && index < m_items.size() ? m_items.at(index) : nullptr;
}

QLayoutItem* ItemListLayout::takeAt(int index)
{
    if (index < 0 || index >= m_items.size()) {
        return nullptr;
    }
    QLayoutItem* item = m_items.takeAt(index);
    invalidate();
    return item;
}

Qt::Orientations ItemListLayout::expandingDirections() const
{
    return Qt::Horizontal;
}

bool ItemListLayout::hasHeightForWidth() const
{
    return true;
}

int ItemListLayout::heightForWidth(int width) const
{
    const QMargins margins = contentsMargins();
    const int inner = std::max(width - margins.left() - margins.right(), 0);
    return contentHeight(inner) + margins.top() + margins.bottom();
}

QList<QLayoutItem*> ItemListLayout::shownItems() const
{
    QList<QLayoutItem*> shown;
    shown.reserve(m_items.size());
    for (QLayoutItem* item : m_items) {
        if (!item->isEmpty()) {
            shown.append(item);
        }
    }
    return shown;
}

}  // namespace tess
