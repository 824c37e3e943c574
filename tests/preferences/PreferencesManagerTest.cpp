#include "LogCapture.h"
#include "QtTestApplication.h"
#include "TempDir.h"
#include "TestEnvironment.h"

#include "index/FileIndexDatabase.h"
#include "log/AppLogger.h"
#include "model/PreferencesManager.h"
#include "model/SettingsManager.h"
#include "platform/LoginItem.h"
#include "plist/NotificationCenter.h"
#include "settings/SettingsPersistence.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace tess {
namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new test::QtTestApplication<QCoreApplication>("test_preferences"));

class FakeLoginItem : public LoginItem {
public:
    Status setRegistered(bool registered) override
    {
        calls.push_back(registered);
        if (fail) {
            return Error {kAppErrorDomain, 1, "autostart folder is read-only"};
        }
        m_registered = registered;
        return {};
    }
    bool isRegistered() const override { return m_registered; }

    std::vector<bool> calls;
    bool fail = false;
    bool m_registered = false;
};

class PreferencesManagerTest : public ::testing::Test {
protected:
    PreferencesManagerTest()
        : m_store(std::make_shared<DefaultsStore>(m_dir / "defaults.plist"))
        , m_settings(m_store)
    {
    }

    // What the defaults file holds now.
    AppSettings::Preferences saved() const { return SettingsManager::loadSettings(*m_store).preferences; }

    PreferencesManager::Dependencies dependencies()
    {
        PreferencesManager::Dependencies deps;
        deps.settings = &m_settings;
        deps.loginItem = &m_login;
        deps.notifications = &m_center;
        deps.applyTheme = [this](AppSettings::AppearanceMode mode) {
            m_events.push_back("theme " + std::string(mode.rawValue()) + " saved "
                + std::string(saved().appearanceMode.rawValue()));
        };
        deps.setDebugEnabled = [this](bool on) { m_events.push_back(on ? "debug on" : "debug off"); };
        deps.databasePath = [this] { return m_dir / "data/tessaline.db"; };
        deps.monitoringStopped = [this] { return m_stopped; };
        return deps;
    }

    void observe(const std::string& name)
    {
        m_center.addObserver(name, [this](const NotificationCenter::Notification& n) { m_events.push_back("post " + n.name); });
    }

    test::TempDir m_dir;
    std::shared_ptr<DefaultsStore> m_store;
    SettingsManager m_settings;
    FakeLoginItem m_login;
    NotificationCenter m_center;
    std::vector<std::string> m_events;
    bool m_stopped = true;
};

TEST_F(PreferencesManagerTest, ExcludePatternTextSplitsAtLineFeedsAndTrimsHorizontalSpace)
{
    struct Case {
        const char16_t* text;
        std::vector<std::string> patterns;
    };
    const Case cases[] = {
        {u"  *.tmp  \n\n\t.DS_Store\n   \n", {"*.tmp", ".DS_Store"}},
        {u"", {}},
        {u"\u3000a\u00a0\nb c", {"a", "b c"}},
        {u"x\r\n y", {"x\r", "y"}},  // a carriage return is not trimmed
        {u"dup\ndup", {"dup", "dup"}},
        {u"\u0085x", {"\u0085x"}},  // a control character is not blank
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(PreferencesManager::parseExcludePatterns(text), c.patterns);
    }
    EXPECT_EQ(PreferencesManager::joinExcludePatterns({"*.tmp", "build"}), QStringLiteral("*.tmp\nbuild"));
    EXPECT_EQ(PreferencesManager::joinExcludePatterns({}), QString());
}

TEST_F(PreferencesManagerTest, CreationMirrorsTheStoreAndOnlySetsTheLoggerSwitch)
{
    m_settings.updateSettings([](AppSettings& s) {
        s.preferences.debugLogging = false;
        s.preferences.appearanceMode = AppSettings::AppearanceMode::dark;
        s.preferences.excludePatterns = {"*.tmp", "build"};
        s.preferences.usePrivilegedHelper = true;
    });
    observe(PreferencesManager::kAppearanceModeChanged);
    PreferencesManager manager(dependencies());

    EXPECT_EQ(m_events, std::vector<std::string> {"debug off"});
    EXPECT_TRUE(m_login.calls.empty());
    EXPECT_FALSE(std::filesystem::exists(m_dir / "defaults.plist"));
    EXPECT_EQ(manager.appearanceMode(), AppSettings::AppearanceMode::dark);
    EXPECT_EQ(manager.excludePatternsText(), QStringLiteral("*.tmp\nbuild"));
    EXPECT_TRUE(manager.usePrivilegedHelper());
    EXPECT_EQ(manager.databaseFileCount(), 0);
}

// Each write stores only its own field, saves, then applies its effect; a
// field changed elsewhere meanwhile keeps its new value.
TEST_F(PreferencesManagerTest, WritesStoreOneFieldSaveThenApplyTheirEffect)
{
    observe(PreferencesManager::kAppearanceModeChanged);
    PreferencesManager manager(dependencies());
    m_events.clear();
    m_settings.updateSettings([](AppSettings& s) { s.preferences.workerCount = 7; });

    manager.setAppearanceMode(AppSettings::AppearanceMode::light);
    manager.setAppearanceMode(AppSettings::AppearanceMode::light);  // same value: everything again
    EXPECT_EQ(m_events,
        (std::vector<std::string> {"theme light saved light", "post AppearanceModeChanged", "theme light saved light",
            "post AppearanceModeChanged"}));

    test::LogCapture log;
    m_events.clear();
    manager.setDebugLogging(false);
    EXPECT_EQ(m_events, std::vector<std::string> {"debug off"});
    EXPECT_FALSE(saved().debugLogging);
    EXPECT_EQ(log.levelOf("Debug logging has been disabled."), "INFO");
    manager.setDebugLogging(true);
    EXPECT_EQ(log.levelOf("Debug logging has been enabled by the user."), "INFO");

    manager.setUsePrivilegedHelper(true);
    manager.setExcludePatternsText(QStringLiteral(" a \n\nb"));
    const AppSettings::Preferences stored = saved();
    EXPECT_TRUE(stored.usePrivilegedHelper);
    EXPECT_EQ(stored.excludePatterns, (std::vector<std::string> {"a", "b"}));
    EXPECT_EQ(stored.workerCount, 7);
    EXPECT_EQ(manager.excludePatternsText(), QStringLiteral(" a \n\nb"));  // the text stays as typed
}

TEST_F(PreferencesManagerTest, LoginItemFailureRevertsSwitchAndStoredValue)
{
    PreferencesManager manager(dependencies());
    manager.setStartAtLogin(true);
    EXPECT_TRUE(m_login.isRegistered());
    EXPECT_TRUE(saved().startAtLogin);

    test::LogCapture log;
    m_login.fail = true;
    QSignalSpy changed(&manager, &PreferencesManager::startAtLoginChanged);
    manager.setStartAtLogin(false);
    EXPECT_EQ(m_login.calls, (std::vector<bool> {true, false}));
    EXPECT_TRUE(manager.startAtLogin());
    EXPECT_TRUE(saved().startAtLogin);
    EXPECT_EQ(changed.count(), 2);  // the user's value, then the real one
    EXPECT_EQ(log.count("ERROR", "Error managing login item: autostart folder is read-only"), 1);
}

TEST_F(PreferencesManagerTest, AutostartEntryIsWrittenAtomicallyAndNamesThisProgram)
{
    const std::string folder = m_dir / "autostart";
    AutostartLoginItem item("/opt/Tess aline/bin/tessa\"line%", folder);
    EXPECT_FALSE(item.isRegistered());
    ASSERT_TRUE(item.setRegistered(true));
    EXPECT_TRUE(item.isRegistered());
    const std::string text = m_dir.readFile("autostart/app.quenby.Tessaline.desktop");
    EXPECT_NE(text.find("Exec=\"/opt/Tess aline/bin/tessa\\\\\"line%%\"\n"), std::string::npos) << text;
    EXPECT_FALSE(AutostartLoginItem("/usr/bin/other", folder).isRegistered());
    ASSERT_TRUE(item.setRegistered(false));
    EXPECT_FALSE(std::filesystem::exists(item.filePath()));
    EXPECT_TRUE(item.setRegistered(false));  // already gone

    // A file where the folder should be: the change fails visibly.
    std::ofstream(m_dir / "blocked") << "x";
    AutostartLoginItem blocked("/usr/bin/tessaline", m_dir / "blocked");
    EXPECT_FALSE(blocked.setRegistered(true));
}

TEST_F(PreferencesManagerTest, StatisticsCoverMissingFileAndRealIndex)
{
    PreferencesManager manager(dependencies());
    QSignalSpy stats(&manager, &PreferencesManager::databaseStatsChanged);
    test::LogCapture log;
    manager.refreshDatabaseStats();
    ASSERT_TRUE(stats.wait(5000));
    EXPECT_EQ(manager.databaseFileCount(), 0);
    EXPECT_EQ(manager.databaseSizeBytes(), 0u);
    const std::string path = m_dir / "data/tessaline.db";
    EXPECT_EQ(log.countMessage("refreshDatabaseStats: path=" + path + " exists=false"), 1u);
    EXPECT_EQ(log.countMessage("refreshDatabaseStats: currentStats() returned nil"), 1u);

    {
        auto db = FileIndexDatabase::open(path);
        ASSERT_TRUE(db);
        (*db)->execute("INSERT INTO file_index (path, path_key, relative_path, first_seen, last_scanned, scan_root) "
                       "VALUES ('/r/a', '/r/a', 'a', 1, 1, '/r'), ('/r/b', '/r/b', 'b', 1, 1, '/r')");
        (*db)->close();
    }
    manager.refreshDatabaseStats();
    ASSERT_TRUE(stats.wait(5000));
    EXPECT_EQ(manager.databaseFileCount(), 2);
    EXPECT_GT(manager.databaseSizeBytes(), 0u);
    EXPECT_TRUE(log.contains("refreshDatabaseStats: fileCount=2 sizeBytes="));
}

// The files go only once monitoring has stopped; the reset outlives the sheet.
TEST_F(PreferencesManagerTest, ResetWaitsForMonitoringToStopAndOutlivesTheManager)
{
    const std::string path = m_dir / "data/tessaline.db";
    {
        auto db = FileIndexDatabase::open(path);
        ASSERT_TRUE(db);
        (*db)->close();
    }
    observe(PreferencesManager::kStopMonitoringForReset);
    m_stopped = false;
    auto manager = std::make_unique<PreferencesManager>(dependencies());
    m_events.clear();
    manager->resetDatabase();
    EXPECT_EQ(m_events, std::vector<std::string> {"post StopMonitoringForReset"});
    manager.reset();  // the sheet closes at once

    QTest::qWait(800);
    EXPECT_TRUE(std::filesystem::exists(path));  // still monitoring: nothing goes
    m_stopped = true;
    EXPECT_TRUE(QTest::qWaitFor([&] { return !std::filesystem::exists(path); }, 5000));
}

TEST_F(PreferencesManagerTest, ResetThatCannotConfirmTheStopDeletesNothing)
{
    const std::string path = m_dir / "data/tessaline.db";
    {
        auto db = FileIndexDatabase::open(path);
        ASSERT_TRUE(db);
        (*db)->close();
    }
    m_stopped = false;
    auto deps = dependencies();
    deps.resetMinimumDelayMs = 10;
    deps.resetTimeoutMs = 200;
    PreferencesManager manager(std::move(deps));
    QSignalSpy finished(&manager, &PreferencesManager::databaseResetFinished);
    test::LogCapture log;
    manager.resetDatabase();
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_FALSE(finished.at(0).at(0).toBool());
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(log.count("ERROR", "nothing was deleted"), 1);

    m_stopped = true;
    manager.resetDatabase();
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_TRUE(finished.at(1).at(0).toBool());
    EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace tess
