#include "SettingsTestSupport.h"

#include "coding/DecodingError.h"
#include "plist/PlistXml.h"
#include "settings/AppSettings.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <vector>

namespace tess {
namespace {

using namespace std::chrono_literals;
using Prefs = AppSettings::Preferences;
using test::customPreset;
using test::fixedDate;
using test::LogCapture;

// A document in which every preference differs from its default and every
// optional key holds a value.
AppSettings fullDocument()
{
    AppSettings doc;
    Prefs& p = doc.preferences;
    p.appearanceMode = AppSettings::AppearanceMode::dark;
    p.startAtLogin = true;
    p.debugLogging = false;
    p.activeSettings = TessalinePreset::strictShellSafe().settings;
    TransformationSettings mine = TessalinePreset::strictShellSafe().settings;
    mine.maxPathLength = 1000;
    TransformationSettings other = TransformationSettings::make(FilesystemPreset::ext4, true, {OSPreset::linux});
    other.smartPathShortening = true;
    p.customPresets = {
        customPreset("0F6F3A42-5D1C-4E5B-9C8E-1A2B3C4D5E6F", "Mine", mine),
        customPreset("A1B2C3D4-E5F6-4711-8899-AABBCCDDEEFF", "Other", other),
    };
    p.activePresetName = "Mine";
    p.useFSEvents = false;
    p.usePolling = false;
    p.scanIntervalSeconds = 42.5;
    p.scheduledStartTime = fixedDate();
    p.autoRenameOnDetection = true;
    p.usePrivilegedHelper = true;
    p.excludePatterns = {"*.bak", "node_modules"};
    p.workerCount = 7;
    p.reportFormat = AppSettings::ReportFormat::csv;
    p.lastSourcePath = "/home/someone/Photos caf\u00E9";
    p.lastDestinationConfig = DestinationConfig::presetFilesystem(FilesystemPreset::ntfs, true);
    return doc;
}

// What the store holds under the defaults key, after the XML round trip.
PlistValue storedForm(const AppSettings& doc)
{
    Result<PlistValue> parsed = parsePlistXml(toPlistXml(doc.encode()));
    EXPECT_TRUE(parsed.ok());
    return parsed.ok() ? std::move(parsed).value() : PlistValue();
}

PlistValue::Dictionary& preferencesOf(PlistValue& stored)
{
    return test::dictionaryOf(test::dictionaryOf(stored)["preferences"]);
}

TEST(AppSettingsEnumerations, RawValuesInCaseOrder)
{
    std::vector<std::string_view> modes;
    for (auto mode : AppSettings::AppearanceMode::allCases()) {
        modes.push_back(mode.rawValue());
    }
    EXPECT_EQ(modes, (std::vector<std::string_view> {"auto", "light", "dark"}));
    std::vector<std::string_view> formats;
    for (auto format : AppSettings::ReportFormat::allCases()) {
        formats.push_back(format.rawValue());
    }
    EXPECT_EQ(formats, (std::vector<std::string_view> {"json", "csv"}));

    EXPECT_EQ(AppSettings::AppearanceMode::decode(PlistValue("light")).value(), AppSettings::AppearanceMode::light);
    EXPECT_FALSE(AppSettings::AppearanceMode::fromRawValue("Auto"));
    EXPECT_FALSE(AppSettings::ReportFormat::fromRawValue("JSON"));
    auto sepia = AppSettings::AppearanceMode::decode(PlistValue("sepia"));
    ASSERT_FALSE(sepia.ok());
    EXPECT_EQ(DecodingError::kindOf(sepia.error()), DecodingError::Kind::dataCorrupted);
    auto number = AppSettings::ReportFormat::decode(PlistValue(1));
    ASSERT_FALSE(number.ok());
    EXPECT_EQ(DecodingError::kindOf(number.error()), DecodingError::Kind::typeMismatch);
}

TEST(AppSettingsDefaults, StartFromTheCrossPlatformFileServerPreset)
{
    const Prefs& p = AppSettings::defaultSettings().preferences;
    EXPECT_EQ(p.appearanceMode, AppSettings::AppearanceMode::automatic);
    EXPECT_FALSE(p.startAtLogin);
    EXPECT_TRUE(p.debugLogging);
    EXPECT_EQ(p.activeSettings, TessalinePreset::crossPlatformFileServer().settings);
    EXPECT_TRUE(p.customPresets.empty());
    EXPECT_EQ(p.activePresetName, std::optional<std::string>("Cross Platform File Server"));
    EXPECT_TRUE(p.useFSEvents);
    EXPECT_TRUE(p.usePolling);
    EXPECT_EQ(p.scanIntervalSeconds, 300.0);
    EXPECT_FALSE(p.scheduledStartTime);
    EXPECT_FALSE(p.autoRenameOnDetection);
    EXPECT_FALSE(p.usePrivilegedHelper);
    EXPECT_EQ(p.excludePatterns, std::vector<std::string> {"*.tmp"});
    EXPECT_EQ(p.workerCount, 2);
    EXPECT_EQ(p.reportFormat, AppSettings::ReportFormat::json);
    EXPECT_FALSE(p.lastSourcePath);
    EXPECT_FALSE(p.lastDestinationConfig);
    EXPECT_EQ(AppSettings::defaultSettings(), AppSettings {});
    EXPECT_EQ(&AppSettings::defaultSettings(), &AppSettings::defaultSettings());
}

TEST(AppSettingsCoding, DefaultsAreStoredAsFourteenKeys)
{
    PlistValue stored = storedForm(AppSettings::defaultSettings());
    EXPECT_EQ(test::dictionaryOf(stored).size(), 1u);
    std::set<std::string> keys;
    for (const auto& [key, value] : preferencesOf(stored)) {
        keys.insert(key);
    }
    EXPECT_EQ(keys, (std::set<std::string> {"appearanceMode", "startAtLogin", "debugLogging", "activeSettings", "customPresets", "activePresetName", "useFSEvents", "usePolling", "scanIntervalSeconds", "autoRenameOnDetection", "usePrivilegedHelper", "excludePatterns", "workerCount", "reportFormat"}));
}

TEST(AppSettingsCoding, StoredTypesFollowTheDocumentedForm)
{
    PlistValue stored = storedForm(fullDocument());
    PlistValue::Dictionary& p = preferencesOf(stored);
    EXPECT_EQ(p.at("appearanceMode"), PlistValue("dark"));
    EXPECT_TRUE(p.at("startAtLogin").isBool());
    EXPECT_TRUE(p.at("scanIntervalSeconds").isReal());
    EXPECT_TRUE(p.at("workerCount").isInteger());
    EXPECT_TRUE(p.at("scheduledStartTime").isDate());
    EXPECT_EQ(p.at("reportFormat"), PlistValue("csv"));
    EXPECT_EQ(p.at("excludePatterns"), PlistValue(PlistValue::Array {"*.bak", "node_modules"}));
    EXPECT_EQ(test::arrayOf(p.at("customPresets")).size(), 2u);
    EXPECT_TRUE(p.at("activeSettings").isDictionary());
    EXPECT_EQ(test::dictionaryOf(p.at("lastDestinationConfig"))["type"], PlistValue("presetFilesystem"));
    EXPECT_EQ(p.size(), 17u);
}

TEST(AppSettingsCoding, FullRoundTripKeepsEveryField)
{
    for (const auto& destination : {DestinationConfig::presetFilesystem(FilesystemPreset::ntfs, true),
             DestinationConfig::physicalFolder("/media/backup/Dest folder")}) {
        AppSettings saved = fullDocument();
        saved.preferences.lastDestinationConfig = destination;
        saved.preferences.scheduledStartTime = fixedDate() + 750ms;  // dates keep whole seconds

        std::vector<AppSettings::Problem> problems;
        AppSettings loaded = AppSettings::decode(storedForm(saved), &problems);
        EXPECT_TRUE(problems.empty());

        AppSettings expected = saved;
        expected.preferences.scheduledStartTime = fixedDate();
        EXPECT_EQ(loaded, expected) << destination.displayName();
    }
}

TEST(AppSettingsDecoding, MissingKeysTakeTheirDefaults)
{
    struct Case {
        const char* name;
        PlistValue stored;
        std::int64_t workerCount;
    };
    const Case cases[] = {
        {"empty document", PlistValue(PlistValue::Dictionary {}), 2},
        {"no preferences key", PlistValue(PlistValue::Dictionary {{"other", PlistValue(true)}}), 2},
        {"empty preferences", PlistValue(PlistValue::Dictionary {{"preferences", PlistValue(PlistValue::Dictionary {})}}), 2},
        {"only workerCount", PlistValue(PlistValue::Dictionary {{"preferences", PlistValue(PlistValue::Dictionary {{"workerCount", PlistValue(4)}})}}), 4},
        {"unknown keys", PlistValue(PlistValue::Dictionary {{"preferences", PlistValue(PlistValue::Dictionary {{"workerCount", PlistValue(4)}, {"colour", PlistValue("red")}})}}), 4},
    };
    for (const Case& c : cases) {
        LogCapture log;
        std::vector<AppSettings::Problem> problems;
        AppSettings loaded = AppSettings::decode(c.stored, &problems);
        AppSettings expected;
        expected.preferences.workerCount = c.workerCount;
        EXPECT_EQ(loaded, expected) << c.name;
        EXPECT_TRUE(problems.empty()) << c.name;
        EXPECT_FALSE(log.contains("[WARN]")) << c.name;
    }
}

// One value that cannot be read takes its default; every other key, the
// custom presets included, keeps what was stored.
TEST(AppSettingsDecoding, OneBadValueKeepsEveryOtherKey)
{
    PlistValue brokenPresetSettings = fullDocument().preferences.activeSettings.encode();
    test::dictionaryOf(brokenPresetSettings).erase("targetEncoding");

    struct Case {
        const char* key;
        PlistValue bad;
        void (*reset)(Prefs&);
    };
    const Case cases[] = {
        {"appearanceMode", PlistValue("sepia"), [](Prefs& p) { p.appearanceMode = AppSettings::AppearanceMode::automatic; }},
        {"startAtLogin", PlistValue("yes"), [](Prefs& p) { p.startAtLogin = false; }},
        {"activeSettings", brokenPresetSettings, [](Prefs& p) { p.activeSettings = TessalinePreset::crossPlatformFileServer().settings; }},
        {"customPresets", PlistValue("none"), [](Prefs& p) { p.customPresets.clear(); }},
        {"activePresetName", PlistValue(3), [](Prefs& p) { p.activePresetName = "Cross Platform File Server"; }},
        {"scanIntervalSeconds", PlistValue("often"), [](Prefs& p) { p.scanIntervalSeconds = 300.0; }},
        {"scheduledStartTime", PlistValue("tomorrow"), [](Prefs& p) { p.scheduledStartTime.reset(); }},
        {"excludePatterns", PlistValue(PlistValue::Array {"*.bak", 5}), [](Prefs& p) { p.excludePatterns = {"*.tmp"}; }},
        {"workerCount", PlistValue("four"), [](Prefs& p) { p.workerCount = 2; }},
        {"reportFormat", PlistValue("xml"), [](Prefs& p) { p.reportFormat = AppSettings::ReportFormat::json; }},
        {"lastSourcePath", PlistValue(true), [](Prefs& p) { p.lastSourcePath.reset(); }},
        {"lastDestinationConfig", PlistValue(PlistValue::Dictionary {{"type", PlistValue("presetFilesystem")}, {"preset", PlistValue("ntfs")}}), [](Prefs& p) { p.lastDestinationConfig.reset(); }},
    };
    for (const Case& c : cases) {
        PlistValue stored = storedForm(fullDocument());
        preferencesOf(stored)[c.key] = c.bad;

        LogCapture log;
        std::vector<AppSettings::Problem> problems;
        AppSettings loaded = AppSettings::decode(stored, &problems);

        AppSettings expected = fullDocument();
        c.reset(expected.preferences);
        EXPECT_EQ(loaded, expected) << c.key;
        ASSERT_EQ(problems.size(), 1u) << c.key;
        EXPECT_EQ(problems[0].key, c.key);
        EXPECT_EQ(log.count("[WARN]"), 1) << c.key;
        EXPECT_TRUE(log.contains("\"" + std::string(c.key) + "\"")) << log.text();
    }
}

TEST(AppSettingsDecoding, UnreadablePresetsAreDroppedOneByOne)
{
    PlistValue stored = storedForm(fullDocument());
    PlistValue::Array& presets = test::arrayOf(preferencesOf(stored)["customPresets"]);
    PlistValue noName = presets[0];
    test::dictionaryOf(noName).erase("name");
    presets.insert(presets.begin() + 1, noName);
    presets.push_back(PlistValue("not a preset"));

    LogCapture log;
    std::vector<AppSettings::Problem> problems;
    AppSettings loaded = AppSettings::decode(stored, &problems);

    EXPECT_EQ(loaded, fullDocument());
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].key, "customPresets[1]");
    EXPECT_EQ(problems[1].key, "customPresets[3]");
    EXPECT_EQ(DecodingError::kindOf(problems[0].error), DecodingError::Kind::keyNotFound);
    EXPECT_EQ(log.count("is dropped"), 2);
}

TEST(AppSettingsDecoding, ContainersOfAnotherTypeTakeTheDefaults)
{
    const PlistValue cases[] = {
        PlistValue(PlistValue::Array {PlistValue(1)}),
        PlistValue("preferences"),
        PlistValue(PlistValue::Dictionary {{"preferences", PlistValue(PlistValue::Array {})}}),
    };
    for (const PlistValue& stored : cases) {
        std::vector<AppSettings::Problem> problems;
        EXPECT_EQ(AppSettings::decode(stored, &problems), AppSettings::defaultSettings());
        EXPECT_EQ(problems.size(), 1u);
    }
}

}  // namespace
}  // namespace tess
