#include "HelperSelector.h"

#include <gtest/gtest.h>

namespace tess {
namespace {

// The selector texts are what the application and the daemon agree on; the
// numbers of the first seven never change when operations are added.
TEST(HelperSelectorTest, EveryOperationHasItsWireNameArgumentsAndNumber)
{
    const struct {
        HelperSelector selector;
        int number;
        const char* name;
        std::size_t arguments;
    } cases[] = {
        {HelperSelector::testConnection, 1, "testHelperConnectionWithReply:", 0},
        {HelperSelector::getVersion, 2, "getHelperVersionWithReply:", 0},
        {HelperSelector::initializeForUser, 3, "initializeHelperForUserWithUserHome:withReply:", 1},
        {HelperSelector::createDirectory, 4, "createDirectoryAtPath:withReply:", 1},
        {HelperSelector::renameFile, 5, "renameFileAtPath:toPath:withReply:", 2},
        {HelperSelector::mountDiskImage, 6, "mountDiskImageAtPath:withReply:", 1},
        {HelperSelector::unmountDiskImage, 7, "unmountDiskImageAtMountPoint:withReply:", 1},
        {HelperSelector::applyAttributes, 8, "applyAttributesOfPath:toPath:withReply:", 2},
        {HelperSelector::removeDirectory, 9, "removeDirectoryAtPath:withReply:", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(static_cast<int>(c.selector), c.number);
        const HelperSelectorInfo& info = HelperSelectors::info(c.selector);
        EXPECT_EQ(info.selector, c.selector);
        EXPECT_EQ(info.name, c.name);
        EXPECT_EQ(info.argumentCount, c.arguments);
        EXPECT_EQ(HelperSelectors::fromName(c.name), c.selector);
    }
    // Names are matched exactly.
    EXPECT_FALSE(HelperSelectors::fromName("removeDirectoryAtPath:").has_value());
    EXPECT_FALSE(HelperSelectors::fromName("RemoveDirectoryAtPath:withReply:").has_value());
    EXPECT_FALSE(HelperSelectors::fromName("").has_value());
}

}  // namespace
}  // namespace tess
