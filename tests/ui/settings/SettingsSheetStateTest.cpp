#include "ui/settings/SettingsSheetState.h"

#include <gtest/gtest.h>

namespace tess {
namespace {

TEST(SettingsSheetStateTest, DatabaseFigures)
{
    struct Case {
        std::uint64_t bytes;
        const char* text;
    };
    const Case cases[] = {
        {0, "0 KB"},
        {1, "1 KB"},
        {999, "1 KB"},
        {1000, "1 KB"},
        {1499, "1 KB"},
        {1500, "2 KB"},
        {999'400, "999 KB"},
        {999'600, "1 MB"},
        {1'500'000, "1.5 MB"},
        {12'345'678, "12.3 MB"},
        {999'960'000, "1 GB"},
        {3'210'000'000, "3.21 GB"},
        {1'234'567'000'000, "1,234.57 GB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(SettingsSheetState::databaseSizeText(c.bytes).toStdString(), c.text);
    }
    EXPECT_EQ(SettingsSheetState::databaseCountText(0), QStringLiteral("0 files"));
    EXPECT_EQ(SettingsSheetState::databaseCountText(1234567), QStringLiteral("1234567 files"));
}

TEST(SettingsSheetStateTest, DaemonBlockFollowsStatusAndPing)
{
    struct Case {
        ServiceStatus status;
        bool ready;
        const char* text;
        const char* button;
        bool box;
    };
    const Case cases[] = {
        {ServiceStatus::enabled, true, "Helper is running", "systemd", false},
        {ServiceStatus::enabled, false, "Helper not available", "systemd", true},
        {ServiceStatus::notRegistered, false, "Helper not available", "Enable Helper", true},
        {ServiceStatus::requiresApproval, false, "Helper not available", "Enable Helper", true},
        {ServiceStatus::notFound, false, "Helper not available", "Enable Helper", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        const auto block = SettingsSheetState::daemonBlock(c.status, c.ready);
        EXPECT_EQ(block.ready, c.ready);
        EXPECT_EQ(block.statusText.toStdString(), c.text);
        EXPECT_EQ(block.buttonTitle.toStdString(), c.button);
        EXPECT_EQ(block.showsActionBox, c.box);
        EXPECT_EQ(block.step1.toStdString(), std::string("1. Click '") + c.button + "' above.");
        EXPECT_EQ(block.opensServiceSettings, c.status == ServiceStatus::enabled);
    }
}

}  // namespace
}  // namespace tess
