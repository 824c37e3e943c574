#include "core/XdgPaths.h"
#include "log/AppLogger.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>

namespace tess {
namespace {

TEST(XdgPaths, FoldersComeFromTheXdgVariables)
{
    test::IsolatedHome home;
    EXPECT_EQ(XdgPaths::defaultsFilePath(), home.configHome() + "/app.quenby.Tessaline/defaults.plist");
    EXPECT_EQ(XdgPaths::applicationSupportDirectory(), home.dataHome() + "/app.quenby.Tessaline");
    EXPECT_EQ(XdgPaths::logDirectory(), home.stateHome() + "/quenby");

    const AppLogger::Options options = AppLogger::defaultOptions();
    EXPECT_EQ(options.logFolder, home.stateHome() + "/quenby");
    EXPECT_EQ(options.defaultsPath, XdgPaths::defaultsFilePath());
    EXPECT_FALSE(options.version.empty());
}

TEST(XdgPaths, UnsetEmptyOrRelativeVariablesFallBackUnderHome)
{
    test::IsolatedHome home;
    test::ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
    test::ScopedEnv data("XDG_DATA_HOME", "");
    test::ScopedEnv state("XDG_STATE_HOME", "relative/state");
    EXPECT_EQ(XdgPaths::configDirectory(), home.home() + "/.config/app.quenby.Tessaline");
    EXPECT_EQ(XdgPaths::applicationSupportDirectory(), home.home() + "/.local/share/app.quenby.Tessaline");
    EXPECT_EQ(XdgPaths::logDirectory(), home.home() + "/.local/state/quenby");
    // Computing a location creates nothing.
    EXPECT_FALSE(home.dir().exists(".local"));
    EXPECT_FALSE(home.dir().exists(".config"));
}

TEST(XdgPaths, RootHomeIsJoinedWithoutADoubleSlash)
{
    test::ScopedEnv homeVar("HOME", "/");
    test::ScopedEnv state("XDG_STATE_HOME", std::nullopt);
    EXPECT_EQ(XdgPaths::logDirectory(), "/.local/state/quenby");
}

}  // namespace
}  // namespace tess
