#include "ui/widgets/PopoverFrame.h"

#include <gtest/gtest.h>

namespace tess {
namespace {

// A popover stays on its screen: under its anchor where it fits, above it
// where only that fits, else on the roomier side, clamped to the free area.
TEST(PopoverPlacementTest, StaysOnTheScreenWhereverItsAnchorIs)
{
    const QRect screen(0, 0, 1280, 800);
    struct Case {
        const char* name;
        QRect anchor;
        QSize size;
        QRect available;
        QPoint expected;
    };
    const Case cases[] = {
        {"room below", QRect(100, 100, 20, 20), QSize(420, 300), screen, QPoint(100, 122)},
        {"no room below, room above", QRect(100, 700, 20, 20), QSize(420, 300), screen, QPoint(100, 398)},
        // Taller than either side: the roomier side, pushed back on screen.
        {"near the top, too tall for below", QRect(100, 10, 20, 20), QSize(420, 790), screen, QPoint(100, 10)},
        {"near the bottom, too tall for above", QRect(100, 760, 20, 20), QSize(420, 790), screen, QPoint(100, 0)},
        {"taller than the screen", QRect(100, 300, 20, 20), QSize(420, 900), screen, QPoint(100, 0)},
        {"right edge", QRect(1250, 100, 20, 20), QSize(420, 300), screen, QPoint(860, 122)},
        {"left of a second screen", QRect(1270, 100, 20, 20), QSize(420, 300), QRect(1280, 0, 1024, 768),
            QPoint(1280, 122)},
        {"no screen known", QRect(5, -50, 20, 20), QSize(420, 300), QRect(), QPoint(5, -28)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QPoint at = PopoverFrame::placement(c.anchor, c.size, c.available);
        EXPECT_EQ(at, c.expected);
        if (c.available.isValid()) {
            EXPECT_GE(at.y(), c.available.top());
            EXPECT_GE(at.x(), c.available.left());
        }
    }
}

}  // namespace
}  // namespace tess
