#include "ui/widgets/FlowLayoutState.h"

#include <algorithm>
#include <cstdint>

namespace tess {

namespace {

int rowHeight(const FlowRow& row)
{
    int height = 0;
    for (const FlowItem& item : row) {
        height = std::max(height, item.size.height());
    }
    return height;
}

}  // namespace

std::vector<FlowRow> computeFlowRows(const std::vector<QSize>& sizes, std::optional<int> maxWidth, int spacing)
{
    std::vector<FlowRow> rows(1);
    // 64-bit so that a long row never wraps around.
    std::int64_t x = 0;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const QSize size = sizes[i];
        if (maxWidth && !rows.back().empty() && x + size.width() > *maxWidth) {
            rows.emplace_back();
            x = 0;
        }
        rows.back().push_back(FlowItem {static_cast<int>(i), size});
        x += size.width() + spacing;
    }
    return rows;
}

QSize flowSizeThatFits(const std::vector<QSize>& sizes, std::optional<int> maxWidth, int spacing, int lineSpacing)
{
    const std::vector<FlowRow> rows = computeFlowRows(sizes, maxWidth, spacing);
    std::int64_t height = 0;
    std::int64_t widest = 0;
    for (const FlowRow& row : rows) {
        height += rowHeight(row);
        std::int64_t width = 0;
        for (const FlowItem& item : row) {
            width += item.size.width();
        }
        width += std::int64_t(spacing) * std::max<std::int64_t>(std::int64_t(row.size()) - 1, 0);
        widest = std::max(widest, width);
    }
    height += std::int64_t(lineSpacing) * std::max<std::int64_t>(std::int64_t(rows.size()) - 1, 0);
    if (maxWidth) {
        widest = std::min<std::int64_t>(widest, *maxWidth);
    }
    return QSize(static_cast<int>(std::max<std::int64_t>(widest, 0)), static_cast<int>(height));
}

std::vector<QRect> flowPlacements(const std::vector<QSize>& sizes, const QRect& bounds, int spacing, int lineSpacing)
{
    std::vector<QRect> rects(sizes.size());
    int y = bounds.y();
    for (const FlowRow& row : computeFlowRows(sizes, bounds.width(), spacing)) {
        int x = bounds.x();
        for (const FlowItem& item : row) {
            rects[static_cast<std::size_t>(item.index)] = QRect(QPoint(x, y), item.size);
            x += item.size.width() + spacing;
        }
        y += rowHeight(row) + lineSpacing;
    }
    return rects;
}

}  // namespace tess
