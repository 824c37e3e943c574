#include "SettingsTestSupport.h"
#include "TempDir.h"

#include "plist/PlistXml.h"
#include "settings/DefaultsStore.h"
#include "settings/SettingsPersistence.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tess {
namespace {

using test::fileBytes;
using test::fixedDate;
using test::folderEntries;
using test::LogCapture;
using test::readPlistFile;
using test::writeBytes;

constexpr const char* kKey = SettingsPersistence::kDefaultsKey;

TessalinePreset customPreset(const char* uuid, std::string name)
{
    TransformationSettings settings = TessalinePreset::strictShellSafe().settings;
    settings.maxPathLength = 1000;
    return test::customPreset(uuid, std::move(name), std::move(settings));
}

// The document of the golden file: every preference set, every optional key
// present.
AppSettings goldenDocument()
{
    AppSettings doc;
    AppSettings::Preferences& p = doc.preferences;
    p.appearanceMode = AppSettings::AppearanceMode::light;
    p.startAtLogin = true;
    p.debugLogging = false;
    p.customPresets = {customPreset("0F6F3A42-5D1C-4E5B-9C8E-1A2B3C4D5E6F", "Mine")};
    p.activePresetName = "Mine";
    p.usePolling = false;
    p.scanIntervalSeconds = 90.5;
    p.scheduledStartTime = fixedDate();
    p.autoRenameOnDetection = true;
    p.usePrivilegedHelper = true;
    p.excludePatterns = {"*.tmp", "*.bak"};
    p.workerCount = 6;
    p.reportFormat = AppSettings::ReportFormat::csv;
    p.lastSourcePath = "/home/someone/Photos";
    p.lastDestinationConfig = DestinationConfig::physicalFolder("/media/backup/My Files");
    return doc;
}

class DefaultsStoreTest : public ::testing::Test {
protected:
    std::string path() const { return m_dir / "defaults.plist"; }
    std::unique_ptr<DefaultsStore> makeStore() const
    {
        return std::make_unique<DefaultsStore>(path(), [] { return fixedDate(); });
    }
    std::vector<std::string> entries() const { return folderEntries(m_dir.path()); }

    test::TempDir m_dir;
};

TEST_F(DefaultsStoreTest, EmptyStoreLoadsTheDefaults)
{
    auto store = makeStore();
    LogCapture log;
    AppSettings loaded = SettingsPersistence::load(*store);
    EXPECT_EQ(loaded, AppSettings::defaultSettings());
    EXPECT_EQ(loaded.preferences.activePresetName, std::optional<std::string>("Cross Platform File Server"));
    EXPECT_EQ(loaded.preferences.activeSettings, TessalinePreset::crossPlatformFileServer().settings);
    EXPECT_FALSE(log.contains("[WARN]"));
    EXPECT_TRUE(entries().empty());
}

TEST_F(DefaultsStoreTest, DocumentHoldingOnlyWorkerCount)
{
    writeBytes(path(), toPlistXml(PlistValue(PlistValue::Dictionary {{kKey, PlistValue(PlistValue::Dictionary {{"preferences", PlistValue(PlistValue::Dictionary {{"workerCount", PlistValue(4)}})}})}})));
    auto store = makeStore();
    AppSettings expected;
    expected.preferences.workerCount = 4;
    EXPECT_EQ(SettingsPersistence::load(*store), expected);
}

TEST_F(DefaultsStoreTest, SavingTheDefaultsWritesFourteenKeysAndLogs)
{
    auto store = makeStore();
    LogCapture log;
    EXPECT_TRUE(SettingsPersistence::save(AppSettings::defaultSettings(), *store));

    PlistValue file = readPlistFile(path());
    ASSERT_EQ(test::dictionaryOf(file).size(), 1u);
    PlistValue::Dictionary& prefs = test::dictionaryOf(test::dictionaryOf(test::dictionaryOf(file)[kKey])["preferences"]);
    EXPECT_EQ(prefs.size(), 14u);
    EXPECT_FALSE(prefs.contains("scheduledStartTime"));
    EXPECT_FALSE(prefs.contains("lastSourcePath"));
    EXPECT_FALSE(prefs.contains("lastDestinationConfig"));
    EXPECT_EQ(prefs["activePresetName"], PlistValue("Cross Platform File Server"));
    EXPECT_EQ(log.count("[DEBUG]"), 1);
    EXPECT_EQ(log.count("] Settings saved successfully as plist dictionary."), 1) << log.text();
    EXPECT_EQ(entries(), std::vector<std::string> {"defaults.plist"});  // no temporary file left
}

// The stored shape, byte for byte: the top dictionary holds the defaults key,
// whose value is {"preferences": {...}} with every nested coded form.
TEST_F(DefaultsStoreTest, StoredShapeMatchesTheGoldenFile)
{
    const std::string golden = fileBytes(TESSALINE_TEST_DATA "/defaults-full.plist");
    ASSERT_FALSE(golden.empty());

    auto store = makeStore();
    ASSERT_TRUE(SettingsPersistence::save(goldenDocument(), *store));
    EXPECT_EQ(fileBytes(path()), golden);

    writeBytes(path(), golden);
    auto reader = makeStore();
    EXPECT_EQ(SettingsPersistence::load(*reader), goldenDocument());
}

TEST_F(DefaultsStoreTest, SaveThenLoadKeepsEveryField)
{
    AppSettings saved = goldenDocument();
    saved.preferences.scheduledStartTime = fixedDate() + std::chrono::milliseconds(400);
    saved.preferences.lastDestinationConfig = DestinationConfig::presetFilesystem(FilesystemPreset::hfs, false);
    auto store = makeStore();
    ASSERT_TRUE(SettingsPersistence::save(saved, *store));

    AppSettings expected = saved;
    expected.preferences.scheduledStartTime = fixedDate();
    auto reader = makeStore();
    EXPECT_EQ(SettingsPersistence::load(*reader), expected);
}

TEST_F(DefaultsStoreTest, WritingKeepsTheOtherKeysOfTheFile)
{
    writeBytes(path(), toPlistXml(PlistValue(PlistValue::Dictionary {{"SUEnableAutomaticChecks", PlistValue(true)}, {kKey, PlistValue("old")}})));
    auto store = makeStore();
    ASSERT_TRUE(store->setObject(kKey, PlistValue(PlistValue::Dictionary {{"preferences", PlistValue(PlistValue::Dictionary {})}})).ok());

    PlistValue file = readPlistFile(path());
    EXPECT_EQ(test::dictionaryOf(file)["SUEnableAutomaticChecks"], PlistValue(true));
    EXPECT_TRUE(test::dictionaryOf(file)[kKey].isDictionary());
    EXPECT_EQ(entries(), std::vector<std::string> {"defaults.plist"});
    EXPECT_FALSE(store->lastKeptCopy());
}

TEST_F(DefaultsStoreTest, CreatesMissingFoldersAndFollowsASymbolicLink)
{
    DefaultsStore nested(m_dir / "a/b/defaults.plist");
    ASSERT_TRUE(nested.setObject("k", PlistValue(1)).ok());
    EXPECT_EQ(nested.object("k").value(), std::optional<PlistValue>(PlistValue(1)));

    m_dir.makeDir("real");
    writeBytes(m_dir / "real/target.plist", toPlistXml(PlistValue(PlistValue::Dictionary {{"x", PlistValue(2)}})));
    ASSERT_EQ(symlink((m_dir / "real/target.plist").c_str(), path().c_str()), 0);
    auto store = makeStore();
    ASSERT_TRUE(store->setObject("k", PlistValue(3)).ok());
    struct stat info { };
    ASSERT_EQ(lstat(path().c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    PlistValue target = readPlistFile(m_dir / "real/target.plist");
    EXPECT_EQ(test::dictionaryOf(target).size(), 2u);
}

// A settings file that cannot be read at all loads as the defaults; the first
// save keeps its raw form beside it (an empty file has nothing to keep), and
// later saves keep nothing more.
TEST_F(DefaultsStoreTest, UnreadableFilesLoadAsDefaultsAndAreKeptOnce)
{
    const std::string valid = toPlistXml(PlistValue(PlistValue::Dictionary {{kKey, goldenDocument().encode()}}));
    struct Case {
        const char* name;
        std::function<void(const std::string&)> make;
        bool kept;
    };
    const Case cases[] = {
        {"folder", [](const std::string& p) { mkdir(p.c_str(), 0700); writeBytes(p + "/inside", "x"); }, true},
        {"empty", [](const std::string& p) { writeBytes(p, ""); }, false},
        {"truncated XML", [&](const std::string& p) { writeBytes(p, valid.substr(0, valid.size() / 2)); }, true},
        {"garbage", [](const std::string& p) { writeBytes(p, "\x89PNG not a property list"); }, true},
        {"array at the top", [](const std::string& p) { writeBytes(p, toPlistXml(PlistValue(PlistValue::Array {PlistValue(1)}))); }, true},
        {"NUL inside a string", [&](const std::string& p) {
             std::string bytes = valid;
             bytes.insert(bytes.find("<string>") + 8, 1, '\0');
             writeBytes(p, bytes); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const std::string file = dir / "defaults.plist";
        c.make(file);
        struct stat before { };
        ASSERT_EQ(lstat(file.c_str(), &before), 0);
        const std::string raw = S_ISREG(before.st_mode) ? fileBytes(file) : std::string();

        DefaultsStore store(file, [] { return fixedDate(); });
        LogCapture log;
        EXPECT_EQ(SettingsPersistence::load(store), AppSettings::defaultSettings());
        EXPECT_EQ(log.count("[WARN]"), 1);

        AppSettings changed;
        changed.preferences.workerCount = 3;
        ASSERT_TRUE(SettingsPersistence::save(changed, store));
        ASSERT_TRUE(SettingsPersistence::save(changed, store));
        DefaultsStore reader(file);
        EXPECT_EQ(SettingsPersistence::load(reader), changed);

        const std::string copyName = "defaults.unreadable-20260304T050607Z.plist";
        if (c.kept) {
            EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string> {"defaults.plist", copyName}));
            EXPECT_EQ(store.lastKeptCopy(), std::optional<std::string>(dir / copyName));
            if (S_ISDIR(before.st_mode)) {
                EXPECT_EQ(fileBytes(dir / (copyName + "/inside")), "x");
            } else {
                EXPECT_EQ(fileBytes(dir / copyName), raw);
            }
        } else {
            EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string> {"defaults.plist"});
        }
    }
}

// A readable file with one unreadable value and one unreadable preset: the
// rest is kept, and the original is copied aside once before it is replaced.
TEST_F(DefaultsStoreTest, LostValuesKeepACopyOfTheOriginalOnce)
{
    PlistValue document = goldenDocument().encode();
    PlistValue& prefs = test::dictionaryOf(document)["preferences"];
    test::dictionaryOf(prefs)["workerCount"] = PlistValue("six");
    PlistValue::Array& presets = test::arrayOf(test::dictionaryOf(prefs)["customPresets"]);
    presets.push_back(PlistValue(PlistValue::Dictionary {{"name", PlistValue("broken")}}));
    const std::string original = toPlistXml(PlistValue(PlistValue::Dictionary {{kKey, document}, {"other", PlistValue("kept")}}));
    writeBytes(path(), original);

    auto store = makeStore();
    AppSettings loaded = SettingsPersistence::load(*store);
    AppSettings expected = goldenDocument();
    expected.preferences.workerCount = 2;
    EXPECT_EQ(loaded, expected);

    ASSERT_TRUE(SettingsPersistence::save(loaded, *store));
    ASSERT_TRUE(SettingsPersistence::save(loaded, *store));
    const std::string copyName = "defaults.unreadable-20260304T050607Z.plist";
    EXPECT_EQ(entries(), (std::vector<std::string> {"defaults.plist", copyName}));
    EXPECT_EQ(fileBytes(m_dir / copyName), original);
    PlistValue file = readPlistFile(path());
    EXPECT_EQ(test::dictionaryOf(file)["other"], PlistValue("kept"));
}

TEST_F(DefaultsStoreTest, ACopyNeverReplacesAnEarlierOne)
{
    const std::string first = m_dir / "defaults.unreadable-20260304T050607Z.plist";
    writeBytes(first, "earlier");
    writeBytes(path(), "garbage");
    auto store = makeStore();
    ASSERT_TRUE(store->setObject("k", PlistValue(1)).ok());
    EXPECT_EQ(fileBytes(first), "earlier");
    EXPECT_EQ(fileBytes(m_dir / "defaults.unreadable-20260304T050607Z-2.plist"), "garbage");
}

// Saving never fails towards the caller; a failure leaves what is stored and
// writes one ERROR line.
TEST_F(DefaultsStoreTest, FailedSaveLogsAnErrorAndStoresNothing)
{
    writeBytes(m_dir / "blocker", "a file where a folder should be");
    DefaultsStore blocked(m_dir / "blocker/defaults.plist");
    LogCapture log;
    EXPECT_FALSE(SettingsPersistence::save(AppSettings::defaultSettings(), blocked));
    EXPECT_EQ(log.count("[ERROR]"), 1);
    EXPECT_EQ(log.count("] ❌ Failed to encode settings: "), 1) << log.text();
    EXPECT_FALSE(log.contains("Settings saved successfully"));
    EXPECT_EQ(fileBytes(m_dir / "blocker"), "a file where a folder should be");
}

TEST_F(DefaultsStoreTest, FailedSaveKeepsThePreviouslyStoredDocument)
{
    auto store = makeStore();
    ASSERT_TRUE(SettingsPersistence::save(goldenDocument(), *store));
    const std::string before = fileBytes(path());

    // An immutable folder refuses new entries even to root.
    int fd = open(m_dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    int flags = 0;
    if (ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0 || (flags |= FS_IMMUTABLE_FL, ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0)) {
        close(fd);
        GTEST_SKIP() << "this file system or process cannot make a folder immutable";
    }
    LogCapture log;
    bool saved = SettingsPersistence::save(AppSettings::defaultSettings(), *store);
    flags &= ~FS_IMMUTABLE_FL;
    ioctl(fd, FS_IOC_SETFLAGS, &flags);
    close(fd);

    EXPECT_FALSE(saved);
    EXPECT_EQ(log.count("] ❌ Failed to encode settings: "), 1) << log.text();
    EXPECT_EQ(fileBytes(path()), before);
    EXPECT_EQ(SettingsPersistence::load(*store), goldenDocument());
}

}  // namespace
}  // namespace tess
