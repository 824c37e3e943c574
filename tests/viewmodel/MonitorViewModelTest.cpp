#include "MonitorViewModelFixture.h"

#include "Gate.h"
#include "IsolatedLogEnvironment.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "model/MonitorCoordinator.h"
#include "model/SettingsManager.h"
#include "probe/FilesystemDetectorError.h"
#include "rules/FilesystemPreset.h"
#include "rules/OSPreset.h"
#include "settings/DefaultsStore.h"
#include "text/Text.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThreadPool>

#include <algorithm>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace tess {
namespace {

[[maybe_unused]] const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new test::IsolatedLogEnvironment);

TEST(MonitorViewModelTextTest, StatusAndProgressTexts)
{
    ScanProgress progress;
    progress.newFiles = 2;
    progress.filesAnalyzed = 5;
    progress.currentPhase = ScanPhase::comparing;
    ScanProgress empty;
    struct Case {
        const char* name;
        MonitoringStatus status;
        int total;
        int issues;
        std::string statusText;
        std::optional<std::string> progressText;
    };
    const std::vector<Case> cases = {
        {"idle, nothing", MonitoringStatus::idle(), 0, 0, "Idle", std::nullopt},
        {"idle, no issues", MonitoringStatus::idle(), 12, 0, "12 files indexed, no issues", std::nullopt},
        {"monitoring", MonitoringStatus::monitoring(), 12, 3, "12 files indexed, 3 issues", std::nullopt},
        {"one of one", MonitoringStatus::monitoring(), 1, 1, "1 files indexed, 1 issues", std::nullopt},
        {"monitoring, nothing", MonitoringStatus::monitoring(), 0, 0, "0 files indexed, no issues", std::nullopt},
        {"error", MonitoringStatus::error("Failed to open database: disk"), 5, 1, "Error: Failed to open database: disk", std::nullopt},
        {"scanning", MonitoringStatus::scanning(progress), 0, 0, "Comparing with database...", "2 new, 5 analyzed"},
        {"scanning, all zero", MonitoringStatus::scanning(empty), 0, 0, "Enumerating files...", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MonitorViewModel::statusTextFor(c.status, c.total, c.issues), c.statusText);
        EXPECT_EQ(MonitorViewModel::progressTextFor(c.status), c.progressText);
    }
}

TEST_F(MonitorViewModelTest, WholeRoadFromPickingAFolderToAnalysisAfterARestart)
{
    test::LogCapture log;
    MonitorViewModel& model = scannedModel();
    ASSERT_EQ(m_picker->asked.front(), std::make_pair(std::string("Select a source folder to scan"), std::string("Select")));
    EXPECT_EQ(model.sourcePath(), m_tree.path());
    EXPECT_EQ(model.issueCount(), 3);
    EXPECT_EQ(model.statusText(), std::to_string(model.totalIndexed()) + " files indexed, 3 issues");
    EXPECT_TRUE(model.hasResults());
    EXPECT_EQ(m_settings->settings().preferences.lastSourcePath, m_tree.path());
    EXPECT_EQ(m_settings->settings().preferences.lastDestinationConfig, DestinationConfig::presetFilesystem(FilesystemPreset::fat, false));
    EXPECT_EQ(log.count("INFO", "MonitorViewModel: Monitoring started for " + m_tree.path()), 1);

    // Filters and search.
    model.setItemTypeFilter(ItemTypeFilter::directoriesOnly);
    ASSERT_TRUE(waitUntil([&] { return model.filteredIssueCount() == 1; }));
    EXPECT_EQ(model.filteredIssue(0).relativePath, "folder:x");
    model.setItemTypeFilter(ItemTypeFilter::all);
    ASSERT_TRUE(waitUntil([&] { return model.filteredIssueCount() == 3; }));
    model.setSearchText("WHAT");
    ASSERT_TRUE(waitUntil([&] { return model.filteredIssueCount() == 1; }));
    EXPECT_EQ(model.filteredIssue(0).relativePath, "sub/what?.txt");

    // Tri-state selection, with an id hidden by the filter.
    const std::int64_t hidden = model.issueFiles().front().id == model.filteredIssue(0).id ? model.issueFiles().back().id
                                                                                           : model.issueFiles().front().id;
    model.setSelectedFileIDs({model.filteredIssue(0).id, hidden});
    EXPECT_EQ(model.selectAllState(), CheckboxState::checked);
    model.deselectAllInFilter();
    EXPECT_EQ(model.selectedFileIDs(), (ItemIdSet {hidden}));
    EXPECT_EQ(model.selectAllState(), CheckboxState::unchecked);

    bool stopped = false;
    QObject::connect(&model, &MonitorViewModel::monitoringStopped, [&stopped] { stopped = true; });
    model.stopMonitoring();
    ASSERT_TRUE(waitUntil([&] { return stopped; }));
    EXPECT_FALSE(model.hasDatabase());
    EXPECT_EQ(model.issueFiles().size(), 3U);

    // A restart restores the last results, then analyses them again.
    m_model.reset();
    drain();
    MonitorViewModel& restarted = makeModel();
    waitForRestore();
    EXPECT_EQ(restarted.issueFiles().size(), 3U);
    EXPECT_EQ(restarted.issueCount(), 3);
    EXPECT_TRUE(restarted.lastAnalysisTime().has_value());
    EXPECT_FALSE(restarted.isMonitoring());

    std::vector<MonitoringStatus> statuses;
    std::vector<int> totals;
    QObject::connect(&restarted, &MonitorViewModel::monitoringStatusChanged, [&] { statuses.push_back(restarted.monitoringStatus()); });
    QObject::connect(&restarted, &MonitorViewModel::totalIndexedChanged, [&] { totals.push_back(restarted.totalIndexed()); });
    restarted.setSelectedFileIDs({restarted.issueFiles().front().id});
    const auto before = std::chrono::system_clock::now();
    restarted.analyzeFromDatabase();
    ASSERT_TRUE(waitUntil([&] {
        return restarted.monitoringStatus().kind() == MonitoringStatus::Kind::monitoring && restarted.selectedFileIDs().empty()
            && restarted.filteredIssueCount() == 3;
    }));
    ASSERT_FALSE(statuses.empty());
    ASSERT_TRUE(statuses.front().isScanning());
    EXPECT_EQ(statuses.front().progress().currentPhase, ScanPhase::analyzing);
    EXPECT_GE(statuses.front().progress().startTime, before);
    EXPECT_EQ(restarted.issueFiles().size(), 3U);
    // The new coordinator's counts at subscription (0) were not applied;
    // every later send is, also of an equal value.
    ASSERT_FALSE(totals.empty());
    EXPECT_EQ(std::count(totals.begin(), totals.end(), 0), 0);
    ASSERT_NE(restarted.coordinator(), nullptr);
    int issueSends = 0;
    QObject::connect(&restarted, &MonitorViewModel::issueCountChanged, [&issueSends] { ++issueSends; });
    emit restarted.coordinator()->issueCountChanged(restarted.issueCount());
    EXPECT_EQ(issueSends, 1);
    restarted.stopMonitoring();
}

TEST_F(MonitorViewModelTest, RestoreReadsCountsOrderAndLogsTheTotal)
{
    prepareIndex(120, 7);
    m_settings->updateSettings([this](AppSettings& settings) { settings.preferences.lastSourcePath = m_tree.path(); });
    test::LogCapture log;
    MonitorViewModel& model = makeModel();
    EXPECT_TRUE(model.isRestoringSession());
    waitForRestore();
    EXPECT_EQ(model.totalIndexed(), 120);
    EXPECT_EQ(model.issueCount(), 7);
    ASSERT_EQ(model.issueFiles().size(), 7U);
    for (std::size_t i = 1; i < model.issueFiles().size(); ++i) {
        EXPECT_LT(model.issueFiles()[i - 1].relativePath, model.issueFiles()[i].relativePath);
    }
    EXPECT_EQ(model.filteredIssueCount(), 7U);
    EXPECT_EQ(model.availableIssueTypes(), (std::vector<std::string> {"pathTooLong"}));
    EXPECT_TRUE(model.lastAnalysisTime().has_value());
    EXPECT_TRUE(model.hasDatabase());
    EXPECT_FALSE(model.hasCoordinator());
    bool found = false;
    for (const std::string& message : log.messages()) {
        const std::string expected = "MonitorViewModel: Restored 120 cached files (7 issues) for "
            + m_tree.path().substr(m_tree.path().rfind('/') + 1) + " in ";
        if (message.rfind(expected, 0) == 0 && message.back() == 's') {
            found = true;
            EXPECT_EQ(log.levelOf(message), "INFO");
        }
    }
    EXPECT_TRUE(found) << log.text();
}

TEST_F(MonitorViewModelTest, RestoreOfAnEmptyIndexChangesNothingAndClosesTheDatabase)
{
    m_settings->updateSettings([this](AppSettings& settings) { settings.preferences.lastSourcePath = m_tree.path(); });
    test::LogCapture log;
    MonitorViewModel& model = makeModel();
    waitForRestore();
    EXPECT_FALSE(model.isRestoringSession());
    EXPECT_FALSE(model.hasDatabase());
    EXPECT_EQ(model.totalIndexed(), 0);
    EXPECT_TRUE(model.issueFiles().empty());
    EXPECT_FALSE(log.contains("MonitorViewModel: Restored"));
}

TEST_F(MonitorViewModelTest, RestoreOvertakenByAnotherFolderChangesNothing)
{
    prepareIndex(120, 7);
    m_settings->updateSettings([this](AppSettings& settings) { settings.preferences.lastSourcePath = m_tree.path(); });
    QThreadPool& pool = *QThreadPool::globalInstance();
    const int threads = pool.maxThreadCount();
    pool.setMaxThreadCount(1);
    test::Gate gate;
    pool.start([&gate] { gate.wait(); });  // the restore waits behind this
    MonitorViewModel& model = makeModel();
    EXPECT_TRUE(model.isRestoringSession());
    TempDir other;
    m_picker->answers.push_back(other.path());
    model.selectSourceFolder();
    gate.open();
    drain();
    pool.setMaxThreadCount(threads);
    EXPECT_EQ(model.sourcePath(), other.path());
    EXPECT_FALSE(model.isRestoringSession());
    EXPECT_FALSE(model.hasDatabase());
    EXPECT_EQ(model.totalIndexed(), 0);
    EXPECT_TRUE(model.issueFiles().empty());
    EXPECT_EQ(m_settings->settings().preferences.lastSourcePath, other.path());
}

TEST_F(MonitorViewModelTest, SavedSourceThatIsGoneOrAFileIsMissing)
{
    m_tree.writeFile("plain-file");
    struct Case {
        const char* name;
        std::string path;
    };
    const std::vector<Case> cases = {{"deleted", m_tree / "deleted"}, {"a file", m_tree / "plain-file"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_settings->updateSettings([&c](AppSettings& settings) {
            settings.preferences.lastSourcePath = c.path;
            settings.preferences.lastDestinationConfig.reset();
            settings.preferences.activeSettings = TransformationSettings::make(FilesystemPreset::smb, false, {});
        });
        MonitorViewModel& model = makeModel();
        EXPECT_EQ(model.missingSourcePath(), c.path);
        EXPECT_FALSE(model.sourcePath().has_value());
        EXPECT_FALSE(model.isRestoringSession());
        EXPECT_EQ(model.destinationConfig(), DestinationConfig::presetFilesystem(FilesystemPreset::smb, false));
        m_model.reset();
    }
}

TEST_F(MonitorViewModelTest, StartWithoutDestinationOnlyWarns)
{
    m_settings->updateSettings([](AppSettings& settings) { settings.preferences.activeSettings.selectedFilesystem.reset(); });
    MonitorViewModel& model = makeModel();
    m_picker->answers.push_back(m_tree.path());
    model.selectSourceFolder();
    test::LogCapture log;
    model.startMonitoring();
    EXPECT_EQ(log.count("WARN", "⚠️ Cannot start monitoring: source or destination not configured"), 1);
    EXPECT_FALSE(model.isMonitoring());
    EXPECT_EQ(model.monitoringStatus(), MonitoringStatus::idle());
}

TEST_F(MonitorViewModelTest, DatabaseThatCannotBeOpenedGivesTheErrorStatus)
{
    m_dir.writeFile("not-a-folder");
    MonitorViewModel& model = makeModel(m_dir / "not-a-folder");
    m_picker->answers.push_back(m_tree.path());
    model.selectSourceFolder();
    test::LogCapture log;
    model.startMonitoring();
    EXPECT_TRUE(model.isMonitoring());
    ASSERT_TRUE(waitUntil([&] { return !model.isMonitoring(); }));
    EXPECT_EQ(model.monitoringStatus().kind(), MonitoringStatus::Kind::error);
    EXPECT_EQ(model.statusText().rfind("Error: Failed to open database: ", 0), 0U) << model.statusText();
    EXPECT_GT(model.statusText().size(), std::string("Error: Failed to open database: ").size());
    EXPECT_EQ(log.count("ERROR", "❌ MonitorViewModel: Failed to start monitoring: "), 1);
    EXPECT_FALSE(model.hasCoordinator());
}

TEST_F(MonitorViewModelTest, ResetNotificationDuringAScanStopsQuicklyAndKeepsTheList)
{
    MonitorViewModel& model = scannedModel();
    for (int i = 0; i < 4000; ++i) {
        m_tree.writeFile("many/d" + std::to_string(i % 40) + "/f" + std::to_string(i) + ".txt");
    }
    const std::vector<IndexedFile> list = model.issueFiles();
    bool stopped = false;
    QObject::connect(&model, &MonitorViewModel::monitoringStopped, [&stopped] { stopped = true; });
    model.startMonitoring();
    ASSERT_TRUE(waitUntil([&] { return model.hasCoordinator() && model.monitoringStatus().isScanning(); }));
    const auto posted = std::chrono::steady_clock::now();
    m_center.post(MonitorViewModel::kStopMonitoringForResetNotification);
    EXPECT_TRUE(model.isMonitoring());  // handled on a later turn
    ASSERT_TRUE(waitUntil([&] { return !model.isMonitoring(); }));
    EXPECT_LT(std::chrono::steady_clock::now() - posted, 3s);
    ASSERT_TRUE(waitUntil([&] { return stopped; }));
    EXPECT_EQ(model.monitoringStatus(), MonitoringStatus::idle());
    EXPECT_FALSE(model.hasCoordinator());
    EXPECT_FALSE(model.hasDatabase());
    settle();
    EXPECT_EQ(model.issueFiles(), list);
}

TEST_F(MonitorViewModelTest, ThreeKeystrokesInsideTheDebounceFilterOnce)
{
    MonitorViewModel& model = makeModel();
    settle(400ms);  // whatever the construction started
    int passes = 0;
    QObject::connect(&model, &MonitorViewModel::filteredIssuesChanged, [&passes] { ++passes; });
    // No events run between the keystrokes, as while the user types.
    model.setSearchText("a");
    std::this_thread::sleep_for(40ms);
    model.setSearchText("ab");
    std::this_thread::sleep_for(40ms);
    model.setSearchText("abc");
    const auto lastKey = std::chrono::steady_clock::now();
    settle(60ms);
    if (std::chrono::steady_clock::now() - lastKey < 140ms) {
        EXPECT_EQ(passes, 0);
    }
    settle(400ms);
    EXPECT_EQ(passes, 1);
}

TEST_F(MonitorViewModelTest, PresetModifiedFollowsTheActiveNameAndSettings)
{
    TessalinePreset mine {Uuid::random(), "Mine", TransformationSettings::make(FilesystemPreset::smb, true, {}), false};
    m_settings->updateSettings([&mine](AppSettings& settings) { settings.preferences.customPresets = {mine}; });
    MonitorViewModel& model = makeModel();
    const TessalinePreset& server = TessalinePreset::crossPlatformFileServer();
    TransformationSettings changed = server.settings;
    changed.maxPathDepth = 3;
    struct Case {
        const char* name;
        std::optional<std::string> presetName;
        TransformationSettings settings;
        bool modified;
    };
    const std::vector<Case> cases = {
        {"no name", std::nullopt, server.settings, true},
        {"built-in as is", server.name, server.settings, false},
        {"built-in changed", server.name, changed, true},
        {"saved preset as is", "Mine", mine.settings, false},
        {"unknown name", "Gone", server.settings, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        model.setActiveSettings(c.settings);
        model.setActivePresetName(c.presetName);
        EXPECT_EQ(model.isPresetModified(), c.modified);
        EXPECT_EQ(m_settings->settings().preferences.activePresetName, c.presetName);
    }
}

TEST_F(MonitorViewModelTest, SavedPresetNamedLikeABuiltInIsAppliedById)
{
    const TessalinePreset& strict = TessalinePreset::strictShellSafe();
    TessalinePreset twin {Uuid::random(), strict.name, TransformationSettings::make(FilesystemPreset::fat, true, {}), false};
    m_settings->updateSettings([&twin](AppSettings& settings) { settings.preferences.customPresets = {twin}; });
    MonitorViewModel& model = makeModel();
    ASSERT_TRUE(model.applyPreset(twin.id));
    EXPECT_EQ(model.activeSettings(), twin.settings);
    EXPECT_EQ(model.activePresetName(), strict.name);
    EXPECT_FALSE(model.isPresetModified());
    EXPECT_EQ(model.destinationConfig(), DestinationConfig::presetFilesystem(FilesystemPreset::fat, true));
    EXPECT_EQ(m_settings->settings().preferences.activeSettings, twin.settings);
    ASSERT_TRUE(model.applyPreset(strict.id));
    EXPECT_EQ(model.activeSettings(), strict.settings);
    EXPECT_FALSE(model.applyPreset(Uuid::random()));
}

TEST_F(MonitorViewModelTest, SaveAsPresetRefusesUnusableNames)
{
    m_settings->updateSettings([](AppSettings& settings) {
        settings.preferences.customPresets = {TessalinePreset {Uuid::random(), "Caf\xC3\xA9", TransformationSettings {}, false}};
    });
    MonitorViewModel& model = makeModel();
    struct Case {
        std::string name;
        bool accepted;
    };
    const std::vector<Case> cases = {
        {"", false},
        {" \t ", false},
        {"Cross Platform File Server", false},
        {"Strict Shell Safe", false},
        {"Cafe\xCC\x81", false},  // the saved name, decomposed
        {"Cafe", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = m_settings->settings().preferences.customPresets.size();
        const Status status = model.saveAsPreset(c.name);
        EXPECT_EQ(status.ok(), c.accepted);
        EXPECT_EQ(m_settings->settings().preferences.customPresets.size(), before + (c.accepted ? 1 : 0));
        if (!c.accepted) {
            EXPECT_FALSE(status.error().message.empty());
        }
    }
    EXPECT_EQ(model.activePresetName(), "Cafe");
    EXPECT_FALSE(model.isPresetModified());
}

TEST_F(MonitorViewModelTest, UpdateAndDeleteActOnOnePresetById)
{
    MonitorViewModel& model = makeModel();
    model.setActiveSettings(TransformationSettings::make(FilesystemPreset::smb, true, {}));
    ASSERT_TRUE(model.saveAsPreset("Mine").ok());
    const Uuid id = m_settings->settings().preferences.customPresets.back().id;

    AppSettings document = m_settings->settings();
    model.updateActiveSettings([](TransformationSettings& settings) { settings.maxPathDepth = 4; });
    model.updatePreset(document, id);
    EXPECT_EQ(document.preferences.customPresets.back().settings.maxPathDepth, 4);
    EXPECT_EQ(document.preferences.customPresets.back().id, id);

    model.deletePreset(id);
    const TessalinePreset& server = TessalinePreset::crossPlatformFileServer();
    EXPECT_TRUE(m_settings->settings().preferences.customPresets.empty());
    EXPECT_EQ(model.activePresetName(), server.name);
    EXPECT_EQ(model.activeSettings(), server.settings);
    ASSERT_TRUE(server.settings.selectedFilesystem.has_value());
    EXPECT_EQ(model.destinationConfig(),
        DestinationConfig::presetFilesystem(*server.settings.selectedFilesystem, server.settings.selectedCaseSensitive));
}

TEST_F(MonitorViewModelTest, AppliedProbeResultMergesRulesAndSavesTwice)
{
    FilesystemCapabilities capabilities;
    capabilities.isCaseSensitive = true;
    capabilities.maxFilenameLength = 143;
    capabilities.maxPathDepth = 20;
    capabilities.maxPathLength = 1000;
    capabilities.illegalCharacters = {U':', U'?'};
    capabilities.reservedNames = {"PROBED"};
    std::mutex lock;
    std::vector<FileTransformationConfig> configs;
    m_prober = [&](const FileTransformationConfig& config, const std::string&) -> Result<FilesystemDetector::Detection> {
        std::lock_guard guard(lock);
        configs.push_back(config);
        return FilesystemDetector::Detection {capabilities, "ext4 (probed) • case-sensitive"};
    };
    MonitorViewModel& model = makeModel();
    TransformationSettings start = model.activeSettings();
    start.translationTable.entries = {TranslationEntry {":", "-"}};
    start.reservedNames = {"CON"};
    model.setActiveSettings(start);

    TempDir destination;
    m_picker->answers.push_back(destination.path());
    model.selectDestinationToTest();
    EXPECT_EQ(m_picker->asked.back(), std::make_pair(std::string("Select the destination folder to test"), std::string("Test")));
    EXPECT_TRUE(model.isDetectingFilesystem());
    ASSERT_TRUE(waitUntil([&] { return !model.isDetectingFilesystem(); }));
    EXPECT_EQ(model.pendingProbePath(), destination.path());
    EXPECT_EQ(model.detectedCapabilitiesSummary(), "ext4 (probed) • case-sensitive");
    ASSERT_EQ(configs.size(), 1U);
    EXPECT_EQ(configs[0].testFolderName, "FileTransform_Test_Data");
    EXPECT_EQ(configs[0].testFileContent, "File transformation capability test");
    EXPECT_EQ(configs[0].errorDomain, "app.quenby.Tessaline.Error");

    int stores = 0;
    int saves = 0;
    QObject::connect(&model, &MonitorViewModel::activeSettingsChanged, [&stores] { ++stores; });
    QObject::connect(m_settings.get(), &SettingsManager::settingsChanged, [&saves] { ++saves; });
    model.applyDetectedDestination();
    EXPECT_EQ(stores, 2);
    EXPECT_EQ(saves, 2);
    const TransformationSettings& applied = model.activeSettings();
    EXPECT_EQ(applied.translationTable.entries, (std::vector<TranslationEntry> {{":", "-"}, {"?", "_"}}));
    EXPECT_EQ(applied.maxFilenameLength, 143);
    EXPECT_EQ(applied.maxFolderNameLength, 143);
    EXPECT_EQ(applied.maxPathDepth, 20);
    EXPECT_TRUE(applied.isCaseSensitive);
    EXPECT_TRUE(applied.selectedCaseSensitive);
    EXPECT_FALSE(applied.selectedFilesystem.has_value());
    EXPECT_EQ(applied.reservedNames, CanonicalStringSet {"CON"});
    EXPECT_EQ(model.destinationConfig(), DestinationConfig::physicalFolder(destination.path()));
    EXPECT_FALSE(model.pendingProbePath().has_value());
    EXPECT_TRUE(model.detectedCapabilities().has_value());
    EXPECT_EQ(SettingsManager::loadSettings(*std::make_shared<DefaultsStore>(m_dir / "defaults.plist")).preferences.activeSettings, applied);

    // A preset destination clears the capabilities.
    model.setDestinationConfig(DestinationConfig::presetFilesystem(FilesystemPreset::smb, false));
    EXPECT_FALSE(model.detectedCapabilities().has_value());
    EXPECT_FALSE(model.detectedCapabilitiesSummary().has_value());
}

TEST_F(MonitorViewModelTest, SupersededOrFailedProbes)
{
    TempDir first;
    TempDir second;
    test::Gate gate;
    m_prober = [&](const FileTransformationConfig&, const std::string& folder) -> Result<FilesystemDetector::Detection> {
        if (folder == first.path()) {
            gate.wait();
            return FilesystemDetector::Detection {FilesystemCapabilities {}, "first"};
        }
        return FilesystemDetectorError::writeAccessFailed("Read-only file system");
    };
    MonitorViewModel& model = makeModel();
    m_picker->answers = {first.path(), second.path()};
    model.selectDestinationToTest();
    model.selectDestinationToTest();
    ASSERT_TRUE(waitUntil([&] { return !model.isDetectingFilesystem(); }));
    EXPECT_EQ(model.probeErrorMessage(), "Cannot probe destination — write access failed: Read-only file system");
    EXPECT_FALSE(model.detectedCapabilities().has_value());
    gate.open();
    drain();
    EXPECT_FALSE(model.pendingProbePath().has_value());
    EXPECT_FALSE(model.detectedCapabilities().has_value());
    EXPECT_FALSE(model.isDetectingFilesystem());
}

TEST_F(MonitorViewModelTest, RealProbeOfAVanishedFolderReportsAnError)
{
    MonitorViewModel& model = makeModel();
    m_picker->answers.push_back(m_dir / "vanished");
    model.selectDestinationToTest();
    ASSERT_TRUE(waitUntil([&] { return !model.isDetectingFilesystem(); }));
    ASSERT_TRUE(model.probeErrorMessage().has_value());
    EXPECT_EQ(model.probeErrorMessage()->rfind("Cannot probe destination", 0), 0U);
    EXPECT_FALSE(model.pendingProbePath().has_value());
}

TEST_F(MonitorViewModelTest, PickingAnotherFolderWhileMonitoringResetsResultsButNotFilters)
{
    MonitorViewModel& model = scannedModel();
    model.setItemTypeFilter(ItemTypeFilter::filesOnly);
    model.setSearchText("bad");
    TempDir other;
    m_picker->answers = {std::nullopt};
    model.selectSourceFolder();  // cancelled: nothing changes
    EXPECT_TRUE(model.isMonitoring());
    m_picker->answers = {other.path()};
    model.selectSourceFolder();
    EXPECT_FALSE(model.isMonitoring());
    EXPECT_FALSE(model.hasCoordinator());
    EXPECT_TRUE(model.issueFiles().empty());
    EXPECT_EQ(model.issueCount(), 0);
    EXPECT_EQ(model.totalIndexed(), 0);
    EXPECT_TRUE(model.searchText().empty());
    EXPECT_EQ(model.itemTypeFilter(), ItemTypeFilter::filesOnly);
    EXPECT_EQ(model.destinationConfig(), DestinationConfig::presetFilesystem(FilesystemPreset::fat, false));
    EXPECT_EQ(m_settings->settings().preferences.lastSourcePath, other.path());
    settle();
    EXPECT_EQ(model.filteredIssueCount(), 0U);

    model.resetSourceSelection();
    EXPECT_FALSE(model.sourcePath().has_value());
    EXPECT_FALSE(m_settings->settings().preferences.lastSourcePath.has_value());
}

TEST_F(MonitorViewModelTest, NonUtf8FolderNameKeepsItsBytes)
{
    const std::string name = "caf\xE9-latin1";
    m_tree.makeDir(name);
    MonitorViewModel& model = makeModel();
    m_picker->answers.push_back(m_tree / name);
    model.selectSourceFolder();
    EXPECT_EQ(model.sourcePath(), m_tree / name);
    m_model.reset();
    MonitorViewModel& restarted = makeModel();
    EXPECT_EQ(restarted.sourcePath(), m_tree / name);
    EXPECT_FALSE(restarted.missingSourcePath().has_value());
    waitForRestore();
}

}  // namespace
}  // namespace tess
