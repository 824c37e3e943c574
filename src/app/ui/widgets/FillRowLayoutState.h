#pragma once

// The arithmetic of the filling row layout (FillRowLayout), over plain
// widths so it can be checked without widgets.

#include <vector>

namespace tess {

// One child placed in a row: its position in the child list, its left edge
// from the row's start and its width.
struct FillCell {
    int index = 0;
    int x = 0;
    int width = 0;

    friend bool operator==(const FillCell&, const FillCell&) = default;
};

using FillRow = std::vector<FillCell>;

// The children's widths: the least each may take and the one it asks for.
struct FillWidths {
    int minimum = 0;
    int preferred = 0;
};

// Children in order, in as few rows as their minimum widths allow within
// `width` (a child wider than `width` sits alone), as evenly filled as that
// many rows allow. Each row spans `width`: its children get their preferred
// widths and an equal share of what is left or, where their preferred
// widths do not fit, give up the same part of what each could give up
// (never going below its minimum). No children: no rows.
std::vector<FillRow> fillRows(const std::vector<FillWidths>& children, int width, int spacing);

}  // namespace tess
