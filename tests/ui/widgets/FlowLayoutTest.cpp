#include "ui/widgets/FlowLayout.h"
#include "ui/widgets/FlowLayoutState.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace tess {
namespace {

std::vector<std::vector<int>> indicesOf(const std::vector<FlowRow>& rows)
{
    std::vector<std::vector<int>> result;
    for (const FlowRow& row : rows) {
        std::vector<int> indices;
        for (const FlowItem& item : row) {
            indices.push_back(item.index);
        }
        result.push_back(indices);
    }
    return result;
}

struct RowCase {
    const char* name;
    std::vector<QSize> sizes;
    std::optional<int> maxWidth;
    std::vector<std::vector<int>> rows;
    QSize size;
};

TEST(FlowLayoutState, RowsAndSizeFollowTheWidth)
{
    const QSize chip(30, 10);
    const std::vector<RowCase> cases {
        {"no children: one empty row, no size", {}, 100, {{}}, QSize(0, 0)},
        {"no children, unbounded", {}, std::nullopt, {{}}, QSize(0, 0)},
        {"three chips of 30 end at 30, 62, 94", {chip, chip, chip}, 100, {{0, 1, 2}}, QSize(94, 10)},
        {"a fourth would end at 126 and wraps", {chip, chip, chip, chip}, 100, {{0, 1, 2}, {3}}, QSize(94, 22)},
        {"a right edge exactly on the width stays", {QSize(49, 10), QSize(49, 10)}, 100, {{0, 1}}, QSize(100, 10)},
        {"one pixel more wraps", {QSize(49, 10), QSize(50, 10)}, 100, {{0}, {1}}, QSize(50, 22)},
        {"a child wider than the width sits alone; the width is capped", {QSize(150, 10)}, 100, {{0}}, QSize(100, 10)},
        {"after a too-wide child the next starts a row", {QSize(150, 10), chip, chip}, 100, {{0}, {1, 2}}, QSize(100, 22)},
        {"a too-wide child after others gets its own row", {chip, QSize(150, 10), chip}, 100, {{0}, {1}, {2}}, QSize(100, 34)},
        {"unbounded: one row, sum plus spacings", {chip, chip, chip, chip, chip}, std::nullopt, {{0, 1, 2, 3, 4}}, QSize(158, 10)},
        {"width 0: a row per child, width 0", {chip, chip, chip}, 0, {{0}, {1}, {2}}, QSize(0, 34)},
        {"row height is its tallest child", {QSize(30, 10), QSize(30, 20), QSize(30, 5), QSize(30, 7)}, 70,
            {{0, 1}, {2, 3}}, QSize(62, 20 + 2 + 7)},
    };
    for (const RowCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(indicesOf(computeFlowRows(c.sizes, c.maxWidth, 2)), c.rows);
        EXPECT_EQ(flowSizeThatFits(c.sizes, c.maxWidth, 2, 2), c.size);
    }
}

TEST(FlowLayoutState, PlacementStartsRowsAtTheLeftAndTopAlignsItems)
{
    const std::vector<QSize> sizes {QSize(30, 10), QSize(30, 20), QSize(30, 5), QSize(200, 8), QSize(10, 10)};
    const QRect bounds(5, 7, 70, 1000);
    const std::vector<QRect> placed = flowPlacements(sizes, bounds, 2, 3);
    const std::vector<QRect> expected {
        QRect(5, 7, 30, 10),
        QRect(37, 7, 30, 20),
        QRect(5, 30, 30, 5),  // row 2: 7 + 20 + 3
        QRect(5, 38, 200, 8),  // too wide: alone, unshrunk; row 3 at 30 + 5 + 3
        QRect(5, 49, 10, 10),
    };
    EXPECT_EQ(placed, expected);
    EXPECT_TRUE(flowPlacements({}, bounds, 2, 3).empty());
}

TEST(FlowLayoutState, LongRowsDoNotOverflow)
{
    const std::vector<QSize> sizes(4, QSize(std::numeric_limits<int>::max() / 2, 1));
    EXPECT_EQ(computeFlowRows(sizes, std::numeric_limits<int>::max(), 2).size(), 4u);
}

class FixedBox : public QWidget {
public:
    FixedBox(QSize size, QWidget* parent)
        : QWidget(parent)
        , m_size(size)
    {
    }
    QSize sizeHint() const override { return m_size; }

private:
    QSize m_size;
};

TEST(FlowLayout, WrapsItsWidgetsAndReportsHeightForWidth)
{
    QWidget host;
    auto* layout = new FlowLayout(&host, 2, 2);
    std::vector<FixedBox*> boxes;
    for (int i = 0; i < 4; ++i) {
        boxes.push_back(new FixedBox(QSize(30, 10), &host));
        layout->addWidget(boxes.back());
    }
    EXPECT_TRUE(layout->hasHeightForWidth());
    EXPECT_EQ(layout->heightForWidth(100), 22);
    EXPECT_EQ(layout->heightForWidth(200), 10);
    EXPECT_EQ(layout->sizeHint(), QSize(126, 10));
    EXPECT_EQ(layout->minimumSize(), QSize(30, 10));
    EXPECT_EQ(layout->expandingDirections(), Qt::Horizontal);

    layout->setGeometry(QRect(0, 0, 100, 22));
    EXPECT_EQ(boxes[2]->geometry(), QRect(64, 0, 30, 10));
    EXPECT_EQ(boxes[3]->geometry(), QRect(0, 12, 30, 10));

    // A hidden widget takes no place; an inserted one takes its position.
    boxes[1]->hide();
    auto* inserted = new FixedBox(QSize(20, 10), &host);
    layout->insertWidget(0, inserted);
    EXPECT_EQ(layout->heightForWidth(100), 22);
    layout->setGeometry(QRect(0, 0, 100, 22));
    EXPECT_EQ(inserted->geometry(), QRect(0, 0, 20, 10));
    EXPECT_EQ(boxes[0]->geometry(), QRect(22, 0, 30, 10));
    EXPECT_EQ(boxes[2]->geometry(), QRect(54, 0, 30, 10));
    EXPECT_EQ(boxes[3]->geometry(), QRect(0, 12, 30, 10));
}

}  // namespace
}  // namespace tess
