#include "ui/FlowLayoutState.h"

#include <gtest/gtest.h>

namespace tess {
namespace {

TEST(FlowLayoutState, Placeholder)
{
    EXPECT_EQ(computeFlowRows({}, 100, 2).size(), 1u);
}

}  // namespace
}  // namespace tess
