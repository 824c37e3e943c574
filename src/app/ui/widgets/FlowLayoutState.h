#pragma once

// The arithmetic of the wrapping chip row (FlowLayout), over plain sizes so
// it can be checked without widgets.

#include <QRect>
#include <QSize>

#include <optional>
#include <vector>

namespace tess {

// One measured child placed in a row: its position in the child list and
// its ideal size.
struct FlowItem {
    int index = 0;
    QSize size;

    friend bool operator==(const FlowItem&, const FlowItem&) = default;
};

using FlowRow = std::vector<FlowItem>;

// Children left to right in the given order; a child starts a new row when
// the row already holds one and its right edge would lie beyond
// `maxWidth` (an edge exactly on it stays). A child wider than `maxWidth`
// sits alone. No width means unbounded (one row). Always at least one row;
// only the result for no children holds an empty one.
std::vector<FlowRow> computeFlowRows(const std::vector<QSize>& sizes, std::optional<int> maxWidth, int spacing);

// The size the rows ask for: the widest row (no trailing spacing), never
// wider than `maxWidth`; the height of all rows with `lineSpacing` between
// them.
QSize flowSizeThatFits(const std::vector<QSize>& sizes, std::optional<int> maxWidth, int spacing, int lineSpacing);

// Each child's rectangle (in child order) when the rows wrap at the width of
// `bounds`: rows start at its left edge, items of a row share its top edge.
std::vector<QRect> flowPlacements(const std::vector<QSize>& sizes, const QRect& bounds, int spacing, int lineSpacing);

}  // namespace tess
