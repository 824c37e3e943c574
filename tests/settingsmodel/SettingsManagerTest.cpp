#include "QtTestApplication.h"
#include "TempDir.h"
#include "TestEnvironment.h"

#include "core/XdgPaths.h"
#include "log/AppLogger.h"
#include "model/SettingsManager.h"
#include "settings/SettingsPersistence.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace tess {
namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new test::QtTestApplication<QCoreApplication>("test_settingsmodel"));

class SettingsManagerTest : public ::testing::Test {
protected:
    std::shared_ptr<DefaultsStore> makeStore() const { return std::make_shared<DefaultsStore>(m_dir / "defaults.plist"); }

    test::TempDir m_dir;
};

TEST_F(SettingsManagerTest, LoadsTheStoredDocumentWhenCreated)
{
    auto store = makeStore();
    AppSettings stored;
    stored.preferences.workerCount = 5;
    stored.preferences.lastSourcePath = "/srv/photos";
    ASSERT_TRUE(SettingsPersistence::save(stored, *store));

    SettingsManager manager(store);
    EXPECT_EQ(manager.settings(), stored);

    SettingsManager empty(std::make_shared<DefaultsStore>(m_dir / "other/defaults.plist"));
    EXPECT_EQ(empty.settings(), AppSettings::defaultSettings());
}

// Observers hear of every change with the new document; only saveSettings
// persists it.
TEST_F(SettingsManagerTest, PublishesEveryChangeAndPersistsOnlyOnSave)
{
    auto store = makeStore();
    SettingsManager manager(store);
    std::vector<AppSettings> heard;
    QObject::connect(&manager, &SettingsManager::settingsChanged, &manager,
        [&](const AppSettings& settings) { heard.push_back(settings); });

    manager.updateSettings([](AppSettings& s) { s.preferences.lastSourcePath = "/data/in"; });
    AppSettings replaced = manager.settings();
    replaced.preferences.reportFormat = AppSettings::ReportFormat::csv;
    manager.setSettings(replaced);

    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].preferences.lastSourcePath, std::optional<std::string>("/data/in"));
    EXPECT_EQ(heard[0].preferences.reportFormat, AppSettings::ReportFormat::json);
    EXPECT_EQ(heard[1], replaced);
    EXPECT_EQ(manager.settings(), replaced);

    struct stat info { };
    EXPECT_NE(stat((m_dir / "defaults.plist").c_str(), &info), 0) << "a change alone must not be written";

    manager.saveSettings();
    SettingsManager reloaded(store);
    EXPECT_EQ(reloaded.settings(), replaced);
}

TEST_F(SettingsManagerTest, QueuedObserversReceiveTheDocument)
{
    SettingsManager manager(makeStore());
    QObject receiver;
    std::vector<std::int64_t> heard;
    QObject::connect(
        &manager, &SettingsManager::settingsChanged, &receiver,
        [&](const AppSettings& settings) { heard.push_back(settings.preferences.workerCount); }, Qt::QueuedConnection);

    manager.updateSettings([](AppSettings& s) { s.preferences.workerCount = 9; });
    manager.updateSettings([](AppSettings& s) { s.preferences.workerCount = 10; });
    EXPECT_TRUE(heard.empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(heard, (std::vector<std::int64_t> {9, 10}));
}

TEST_F(SettingsManagerTest, SharedInstanceUsesTheStandardDefaultsFile)
{
    SettingsManager& shared = SettingsManager::shared();
    EXPECT_EQ(&shared, &SettingsManager::shared());
    EXPECT_EQ(shared.settings(), AppSettings::defaultSettings());

    shared.updateSettings([](AppSettings& s) { s.preferences.usePrivilegedHelper = true; });
    shared.saveSettings();
    DefaultsStore standard(XdgPaths::defaultsFilePath());
    EXPECT_TRUE(SettingsPersistence::load(standard).preferences.usePrivilegedHelper);
    EXPECT_EQ(XdgPaths::defaultsFilePath().rfind(XdgPaths::configHome(), 0), 0u);
}

}  // namespace
}  // namespace tess
