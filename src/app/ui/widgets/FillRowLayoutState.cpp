#include "ui/widgets/FillRowLayoutState.h"

#include <algorithm>
#include <cstddef>

namespace tess {

namespace {

// The children split into rows: a row takes children while their
// minimum widths fit, and at most `perRow` of them.
std::vector<std::vector<int>> packRows(const std::vector<FillWidths>& children, int width, int spacing, std::size_t perRow)
{
    std::vector<std::vector<int>> rows;
    int used = 0;
    for (std::size_t i = 0; i < children.size(); ++i) {
        const int minimum = children[i].minimum;
        const bool fits = !rows.empty() && !rows.back().empty() && rows.back().size() < perRow
            && used + spacing + minimum <= width;
        if (fits) {
            used += spacing + minimum;
        } else {
            rows.emplace_back();
            used = minimum;
        }
        rows.back().push_back(static_cast<int>(i));
    }
    return rows;
}

FillRow placeRow(const std::vector<FillWidths>& children, const std::vector<int>& indices, int width, int spacing)
{
    const int count = static_cast<int>(indices.size());
    const int available = std::max(0, width - spacing * (count - 1));
    long long preferredSum = 0;
    long long minimumSum = 0;
    for (const int index : indices) {
        preferredSum += children[static_cast<std::size_t>(index)].preferred;
        minimumSum += children[static_cast<std::size_t>(index)].minimum;
    }
    std::vector<int> widths;
    widths.reserve(indices.size());
    if (preferredSum <= available) {
        const long long extra = available - preferredSum;
        for (int i = 0; i < count; ++i) {
            // The pixels an even split leaves over go to the first children.
            const long long share = extra / count + (i < extra % count ? 1 : 0);
            widths.push_back(children[static_cast<std::size_t>(indices[static_cast<std::size_t>(i)])].preferred + static_cast<int>(share));
        }
    } else {
        const long long giveUp = std::min(preferredSum - available, preferredSum - minimumSum);
        const long long canGiveUp = preferredSum - minimumSum;
        long long given = 0;
        for (int i = 0; i < count; ++i) {
            const FillWidths& child = children[static_cast<std::size_t>(indices[static_cast<std::size_t>(i)])];
            const long long slack = child.preferred - child.minimum;
            long long part = canGiveUp > 0 ? giveUp * slack / canGiveUp : 0;
            if (i == count - 1) {
                part = std::min(slack, giveUp - given);  // what rounding left
            }
            given += part;
            widths.push_back(child.preferred - static_cast<int>(part));
        }
    }
    FillRow row;
    int x = 0;
    for (int i = 0; i < count; ++i) {
        row.push_back({indices[static_cast<std::size_t>(i)], x, widths[static_cast<std::size_t>(i)]});
        x += widths[static_cast<std::size_t>(i)] + spacing;
    }
    return row;
}

}  // namespace

std::vector<FillRow> fillRows(const std::vector<FillWidths>& children, int width, int spacing)
{
    if (children.empty()) {
        return {};
    }
    std::vector<std::vector<int>> rows = packRows(children, width, spacing, children.size());
    if (rows.size() > 1) {
        // The same number of rows, evenly filled, where the widths allow it.
        const std::size_t perRow = (children.size() + rows.size() - 1) / rows.size();
        std::vector<std::vector<int>> even = packRows(children, width, spacing, perRow);
        if (even.size() == rows.size()) {
            rows = std::move(even);
        }
    }
    std::vector<FillRow> placed;
    placed.reserve(rows.size());
    for (const std::vector<int>& row : rows) {
        placed.push_back(placeRow(children, row, width, spacing));
    }
    return placed;
}

}  // namespace tess
