#include "ui/widgets/FillRowLayout.h"
#include "ui/widgets/FillRowLayoutState.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

namespace tess {
namespace {

TEST(FillRowLayoutState, RowsSpanTheWidthAndNoChildGoesBelowItsMinimum)
{
    struct Case {
        const char* name;
        std::vector<FillWidths> children;
        int width;
        std::vector<FillRow> rows;
    };
    const int spacing = 4;
    const std::vector<Case> cases {
        {"no children", {}, 100, {}},
        {"preferred widths fit: the rest shared evenly", {{10, 20}, {10, 30}}, 60, {{{0, 0, 23}, {1, 27, 33}}}},
        {"odd pixels go to the first", {{10, 20}, {10, 20}, {10, 20}}, 70, {{{0, 0, 21}, {1, 25, 21}, {2, 50, 20}}}},
        {"shrunk from preferred in proportion to what each can give up", {{10, 30}, {20, 30}}, 54,
            {{{0, 0, 24}, {1, 28, 26}}}},
        {"exactly the minimums", {{10, 30}, {20, 30}}, 34, {{{0, 0, 10}, {1, 14, 20}}}},
        {"minimums do not fit: two rows, evenly filled", {{30, 40}, {30, 40}, {30, 40}, {30, 40}}, 100,
            {{{0, 0, 48}, {1, 52, 48}}, {{2, 0, 48}, {3, 52, 48}}}},
        {"a child wider than the row sits alone at its minimum", {{10, 10}, {120, 150}, {10, 10}}, 100,
            {{{0, 0, 100}}, {{1, 0, 120}}, {{2, 0, 100}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<FillRow> rows = fillRows(c.children, c.width, spacing);
        EXPECT_EQ(rows, c.rows);
        for (const FillRow& row : rows) {
            for (const FillCell& cell : row) {
                EXPECT_GE(cell.width, c.children[static_cast<std::size_t>(cell.index)].minimum);
            }
        }
    }
}

// Seven children whose minimums allow three a row make three rows of three,
// three and one rather than of four, four and none: as few rows as the
// widths allow, then as even as they can be.
TEST(FillRowLayoutState, RowsAreAsFewAndAsEvenAsTheWidthsAllow)
{
    const std::vector<FillWidths> children(7, FillWidths {30, 50});
    std::vector<std::size_t> counts;
    for (const FillRow& row : fillRows(children, 100, 4)) {
        counts.push_back(row.size());
    }
    EXPECT_EQ(counts, (std::vector<std::size_t> {3, 3, 1}));
    const std::vector<FillWidths> eight(8, FillWidths {30, 50});
    counts.clear();
    for (const FillRow& row : fillRows(eight, 100, 4)) {
        counts.push_back(row.size());
    }
    EXPECT_EQ(counts, (std::vector<std::size_t> {3, 3, 2}));
}

// The layout places its widgets by those rows, and its height follows.
TEST(FillRowLayout, PlacesWidgetsInRowsAndGrowsWithThem)
{
    QWidget host;
    auto* layout = new FillRowLayout(&host, 4, 6);
    std::vector<QWidget*> children;
    for (int i = 0; i < 4; ++i) {
        auto* child = new QWidget;
        child->setMinimumSize(30, 20);
        child->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        layout->addWidget(child);
        children.push_back(child);
    }
    EXPECT_TRUE(layout->hasHeightForWidth());
    EXPECT_EQ(layout->heightForWidth(200), 20);
    EXPECT_EQ(layout->heightForWidth(100), 46);
    EXPECT_EQ(layout->minimumSize().width(), 30);
    layout->setGeometry(QRect(0, 0, 100, 46));
    EXPECT_EQ(children[0]->geometry(), QRect(0, 0, 48, 20));
    EXPECT_EQ(children[1]->geometry(), QRect(52, 0, 48, 20));
    EXPECT_EQ(children[2]->geometry(), QRect(0, 26, 48, 20));
    EXPECT_EQ(children[3]->geometry(), QRect(52, 26, 48, 20));
}

}  // namespace
}  // namespace tess
