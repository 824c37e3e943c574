#include "RulesTestSupport.h"

#include "coding/DecodingError.h"
#include "rules/IllegalCharacterEntries.h"
#include "rules/PreparedTranslationTable.h"
#include "rules/TessalinePreset.h"
#include "rules/TransformationSettings.h"

#include <gtest/gtest.h>

namespace tess {
namespace {

using test::each;
using test::members;
using test::pairsOf;

constexpr std::int64_t N = kNoLimit;

PlistValue dict(PlistValue::Dictionary d)
{
    return PlistValue(std::move(d));
}

PlistValue strings(std::initializer_list<const char*> values)
{
    PlistValue::Array out;
    for (const char* v : values) {
        out.emplace_back(v);
    }
    return PlistValue(std::move(out));
}

std::vector<std::string> windowsNames()
{
    return {"AUX", "CLOCK$", "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9", "CON",
        "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9", "NUL", "PRN"};
}

std::vector<std::string> windowsAndDots()
{
    return {".", "..", "AUX", "CLOCK$", "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9", "CON",
        "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9", "NUL", "PRN"};
}

TEST(TransformationSettingsTest, DefaultValue)
{
    const TransformationSettings& d = TransformationSettings::defaultSettings();
    EXPECT_EQ(d.selectedFilesystem, std::nullopt);
    EXPECT_TRUE(d.selectedCaseSensitive);
    EXPECT_TRUE(d.selectedOperatingSystems.empty());
    EXPECT_TRUE(d.translationTable.entries.empty());
    EXPECT_EQ(d.targetEncoding, TargetEncoding::utf8Full);
    EXPECT_TRUE(d.isCaseSensitive);
    EXPECT_TRUE(d.reservedNames.empty());
    EXPECT_EQ(d.maxFilenameLength, 9223372036854775807);
    EXPECT_EQ(d.maxFolderNameLength, N);
    EXPECT_EQ(d.maxPathDepth, N);
    EXPECT_EQ(d.maxPathLength, N);
    EXPECT_TRUE(d.stripLeadingCharacters.empty());
    EXPECT_TRUE(d.stripTrailingCharacters.empty());
    EXPECT_FALSE(d.cleanRepeatedSeparators);
    EXPECT_EQ(d.repeatedSeparatorCharacters, (std::vector<std::string> {".", "-", "_", " "}));
    EXPECT_EQ(d.excludePatterns, (std::vector<std::string> {".*", "*.tmp", ".DS_Store"}));
    EXPECT_FALSE(d.smartPathShortening);
    EXPECT_TRUE(d.cleanupEmptyDirsAfterRename);
    EXPECT_TRUE(d.stripControlCharacters);
    EXPECT_TRUE(d.normalizeDeceptiveWhitespace);
    EXPECT_TRUE(d.stripZeroWidthCharacters);
    EXPECT_EQ(&d, &TransformationSettings::defaultSettings());
}

TEST(TransformationSettingsTest, Derivation)
{
    const struct {
        const char* name;
        std::optional<FilesystemPreset> filesystem;
        bool caseSensitive;
        std::set<OSPreset> systems;
        test::Pairs entries;
        bool derivedCase;
        std::vector<std::string> reserved;
        std::int64_t nameLimit, depth, path;
    } cases[] = {
        {"nothing chosen", std::nullopt, false, {}, {}, false, {}, N, N, N},
        {"nothing chosen, case-sensitive", std::nullopt, true, {}, {}, true, {}, N, N, N},
        {"ext4 + Windows", FilesystemPreset::ext4, false, {OSPreset::windows}, each("/<>:\"|?*\\"), false, windowsAndDots(), 255, N, 259},
        {"APFS + macOS + Linux", FilesystemPreset::apfs, true, {OSPreset::macOS, OSPreset::linux}, each("/"), true, {".", ".."}, 255, N, 1023},
        {"Google Drive", FilesystemPreset::googleDrive, true, {}, {}, false, {}, 255, 20, N},
        {"OneDrive + Windows", FilesystemPreset::oneDrive, true, {OSPreset::windows}, each("<>:\"|?*\\/#%"), false, windowsNames(), 400, N, 259},
        {"no preset + Linux", std::nullopt, false, {OSPreset::linux}, each("/"), false, {".", ".."}, N, N, 4095},
        {"S3 + Windows + Linux", FilesystemPreset::s3, true, {OSPreset::windows, OSPreset::linux}, each("<>:\"|?*\\/"), false, windowsAndDots(), 1023, N, 259},
        {"UDF alone keeps its own path limit", FilesystemPreset::udf, true, {}, each("/"), true, {".", ".."}, 254, N, 32760},
        {"NTFS + macOS: the smaller path wins", FilesystemPreset::ntfs, true, {OSPreset::macOS}, each("/"), true, {".", ".."}, 255, N, 1023},
        {"OneDrive path is already below macOS", FilesystemPreset::oneDrive, false, {OSPreset::macOS}, each("<>:\"|?*\\/#%"), false, {".", ".."}, 400, N, 400},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TransformationSettings s = TransformationSettings::defaultSettings();
        s.translationTable.entries = {{"q", "Q"}};  // an earlier edit, replaced
        s.excludePatterns = {"*.bak"};  // not a derived field, kept
        s.selectedFilesystem = c.filesystem;
        s.selectedCaseSensitive = c.caseSensitive;
        s.selectedOperatingSystems = c.systems;
        s.applyPresetAndOSCapabilities();
        EXPECT_EQ(pairsOf(s.translationTable.entries), c.entries);
        EXPECT_EQ(s.isCaseSensitive, c.derivedCase);
        EXPECT_EQ(members(s.reservedNames), c.reserved);
        EXPECT_EQ(s.maxFilenameLength, c.nameLimit);
        EXPECT_EQ(s.maxFolderNameLength, c.nameLimit);
        EXPECT_EQ(s.maxPathDepth, c.depth);
        EXPECT_EQ(s.maxPathLength, c.path);
        EXPECT_EQ(s.excludePatterns, std::vector<std::string> {"*.bak"});
    }
}

TEST(TransformationSettingsTest, MakeSetsTheChoiceAndStripsSpaces)
{
    const TransformationSettings s = TransformationSettings::make(FilesystemPreset::fat, true, {OSPreset::macOS});
    EXPECT_EQ(s.selectedFilesystem, FilesystemPreset::fat);
    EXPECT_TRUE(s.selectedCaseSensitive);
    EXPECT_FALSE(s.isCaseSensitive);
    EXPECT_EQ(members(s.stripLeadingCharacters), std::vector<std::string> {" "});
    EXPECT_EQ(members(s.stripTrailingCharacters), std::vector<std::string> {" "});
    EXPECT_EQ(s.maxPathLength, 1023);
}

TEST(TessalinePresetTest, CrossPlatformFileServer)
{
    const TessalinePreset& p = TessalinePreset::crossPlatformFileServer();
    EXPECT_EQ(p.name, "Cross Platform File Server");
    EXPECT_TRUE(p.isBase);
    const TransformationSettings& s = p.settings;
    EXPECT_EQ(s.selectedFilesystem, FilesystemPreset::smb);
    EXPECT_FALSE(s.selectedCaseSensitive);
    EXPECT_EQ(s.selectedOperatingSystems, (std::set<OSPreset> {OSPreset::windows, OSPreset::macOS, OSPreset::linux}));
    EXPECT_EQ(pairsOf(s.translationTable.entries), each("/<>:\"|?*\\"));
    EXPECT_EQ(s.targetEncoding, TargetEncoding::utf8Full);
    EXPECT_FALSE(s.isCaseSensitive);
    EXPECT_EQ(members(s.reservedNames), windowsAndDots());
    EXPECT_EQ(s.maxFilenameLength, 255);
    EXPECT_EQ(s.maxFolderNameLength, 255);
    EXPECT_EQ(s.maxPathDepth, N);
    EXPECT_EQ(s.maxPathLength, 259);
    EXPECT_EQ(members(s.stripLeadingCharacters), std::vector<std::string> {" "});
    EXPECT_EQ(members(s.stripTrailingCharacters), (std::vector<std::string> {" ", "."}));
    EXPECT_TRUE(s.cleanRepeatedSeparators);
    const TransformationSettings& d = TransformationSettings::defaultSettings();
    EXPECT_EQ(s.repeatedSeparatorCharacters, d.repeatedSeparatorCharacters);
    EXPECT_EQ(s.excludePatterns, d.excludePatterns);
    EXPECT_EQ(s.smartPathShortening, d.smartPathShortening);
    EXPECT_EQ(s.cleanupEmptyDirsAfterRename, d.cleanupEmptyDirsAfterRename);
    EXPECT_TRUE(s.stripControlCharacters && s.normalizeDeceptiveWhitespace && s.stripZeroWidthCharacters);
}

TEST(TessalinePresetTest, StrictShellSafe)
{
    const TessalinePreset& p = TessalinePreset::strictShellSafe();
    EXPECT_EQ(p.name, "Strict Shell Safe");
    EXPECT_TRUE(p.isBase);
    const TransformationSettings& s = p.settings;
    const test::Pairs shell {{" ", "_"}, {"!", "_"}, {"\"", "_"}, {"$", "_"}, {"'", "_"}, {"*", "_"}, {";", "_"},
        {"<", "_"}, {">", "_"}, {"?", "_"}, {"@", "_"}, {"[", "-"}, {"]", "-"}, {"`", "_"}, {"{", "-"}, {"}", "-"},
        {"|", "_"}, {"\\", "_"}, {"(", "-"}, {")", "-"}, {"&", "_and_"}};
    EXPECT_EQ(pairsOf(TessalinePreset::shellEntries()), shell);
    EXPECT_EQ(pairsOf(s.translationTable.entries), test::concat(shell, each("#%+,/:=^~")));
    EXPECT_EQ(s.selectedFilesystem, std::nullopt);
    EXPECT_TRUE(s.selectedCaseSensitive);
    EXPECT_EQ(s.selectedOperatingSystems, std::set<OSPreset> {OSPreset::linux});
    EXPECT_EQ(s.targetEncoding, TargetEncoding::asciiOnly);
    EXPECT_TRUE(s.isCaseSensitive);
    EXPECT_EQ(members(s.reservedNames), (std::vector<std::string> {".", ".."}));
    EXPECT_EQ(s.maxFilenameLength, 255);
    EXPECT_EQ(s.maxFolderNameLength, 255);
    EXPECT_EQ(s.maxPathDepth, N);
    EXPECT_EQ(s.maxPathLength, 4095);
    EXPECT_EQ(members(s.stripLeadingCharacters), (std::vector<std::string> {" ", "#", "-"}));
    EXPECT_EQ(members(s.stripTrailingCharacters), (std::vector<std::string> {" ", "."}));
    EXPECT_TRUE(s.cleanRepeatedSeparators);
    EXPECT_EQ(s.repeatedSeparatorCharacters, (std::vector<std::string> {".", "-", "_", " "}));

    // Every printable ASCII character outside the safe set becomes "_", the
    // six brackets "-", and "&" "_and_".
    const PreparedTranslationTable table(s.translationTable.entries);
    const std::string safe = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._-";
    for (char c = 0x20; c <= 0x7E; ++c) {
        const std::string expected = safe.find(c) != std::string::npos ? std::string(1, c)
            : c == '&'                                                 ? "_and_"
            : std::string("[](){}").find(c) != std::string::npos       ? "-"
                                                                       : "_";
        EXPECT_EQ(table.apply(std::string(1, c)).text, expected) << c;
    }
}

TEST(TessalinePresetTest, BuiltInList)
{
    const auto& presets = TessalinePreset::builtInPresets();
    ASSERT_EQ(presets.size(), 2u);
    EXPECT_EQ(presets[0], TessalinePreset::crossPlatformFileServer());
    EXPECT_EQ(presets[1], TessalinePreset::strictShellSafe());
    EXPECT_TRUE(presets[0].isBase && presets[1].isBase);
    EXPECT_NE(presets[0].id, presets[1].id);
    EXPECT_EQ(TessalinePreset::crossPlatformFileServer().id, presets[0].id);
}

TEST(TessalinePresetTest, EqualityComparesAllFourFields)
{
    const TessalinePreset base {Uuid::random(), "Caf\u00E9", TransformationSettings::defaultSettings(), false};
    TessalinePreset decomposedName = base;
    decomposedName.name = "Cafe\u0301";
    EXPECT_EQ(decomposedName, base);  // canonically equivalent names are equal

    TessalinePreset otherName = base;
    otherName.name = "Cafe";
    TessalinePreset otherId = base;
    otherId.id = Uuid::random();
    TessalinePreset otherSettings = base;
    otherSettings.settings.maxPathLength = 100;
    TessalinePreset otherFlag = base;
    otherFlag.isBase = true;
    for (const TessalinePreset* changed : {&otherName, &otherId, &otherSettings, &otherFlag}) {
        EXPECT_NE(*changed, base) << changed->name;
    }
}

TEST(TransformationSettingsTest, CodedFormRoundTrips)
{
    TransformationSettings custom = TessalinePreset::strictShellSafe().settings;
    custom.selectedFilesystem = FilesystemPreset::hfs;
    custom.repeatedSeparatorCharacters = {"~", "\u00E9", " "};
    custom.stripLeadingCharacters.insert("\U0001F1E9\U0001F1EA");
    custom.excludePatterns = {};
    custom.smartPathShortening = true;
    custom.stripZeroWidthCharacters = false;
    for (const TransformationSettings& s : {TransformationSettings::defaultSettings(), TessalinePreset::crossPlatformFileServer().settings, custom}) {
        auto decoded = TransformationSettings::decode(s.encode());
        ASSERT_TRUE(decoded.ok()) << decoded.error().message;
        EXPECT_TRUE(*decoded == s);
    }
    for (const TessalinePreset& p : TessalinePreset::builtInPresets()) {
        auto decoded = TessalinePreset::decode(p.encode());
        ASSERT_TRUE(decoded.ok()) << decoded.error().message;
        EXPECT_EQ(*decoded, p);
    }

    // Key names and value forms.
    const PlistValue coded = TessalinePreset::crossPlatformFileServer().settings.encode();
    const auto* d = coded.asDictionary();
    ASSERT_TRUE(d);
    std::vector<std::string> keys;
    for (const auto& [key, value] : *d) {
        keys.push_back(key);
    }
    EXPECT_EQ(keys, (std::vector<std::string> {"cleanRepeatedSeparators", "cleanupEmptyDirsAfterRename", "excludePatterns", "isCaseSensitive", "maxFilenameLength", "maxFolderNameLength", "maxPathDepth", "maxPathLength", "normalizeDeceptiveWhitespace", "repeatedSeparatorCharacters", "reservedNames", "selectedCaseSensitive", "selectedFilesystem", "selectedOperatingSystems", "smartPathShortening", "stripControlCharacters", "stripLeadingCharacters", "stripTrailingCharacters", "stripZeroWidthCharacters", "targetEncoding", "translationTable"}));
    EXPECT_EQ(*coded.find("selectedFilesystem"), PlistValue("SMB"));
    EXPECT_EQ(*coded.find("selectedOperatingSystems"), strings({"Windows", "macOS", "Linux"}));
    EXPECT_EQ(*coded.find("targetEncoding"), PlistValue("UTF-8 Full"));
    EXPECT_EQ(*coded.find("maxPathDepth"), PlistValue(std::int64_t(9223372036854775807)));
    EXPECT_EQ(*coded.find("stripTrailingCharacters"), strings({" ", "."}));
    EXPECT_EQ(TransformationSettings::defaultSettings().encode().find("selectedFilesystem"), nullptr);

    const PlistValue presetCoded = TessalinePreset::strictShellSafe().encode();
    EXPECT_EQ(*presetCoded.find("id"), PlistValue(TessalinePreset::strictShellSafe().id.toString()));
    EXPECT_EQ(*presetCoded.find("name"), PlistValue("Strict Shell Safe"));
    EXPECT_EQ(*presetCoded.find("isBase"), PlistValue(true));
}

// The twelve required keys alone.
PlistValue::Dictionary minimalSettings()
{
    return {
        {"translationTable", dict({{"entries", PlistValue(PlistValue::Array {})}})},
        {"targetEncoding", PlistValue("ASCII")},
        {"isCaseSensitive", PlistValue(false)},
        {"reservedNames", strings({"CON"})},
        {"maxFilenameLength", PlistValue(std::int64_t(100))},
        {"maxFolderNameLength", PlistValue(std::int64_t(90))},
        {"maxPathDepth", PlistValue(std::int64_t(8))},
        {"maxPathLength", PlistValue(std::int64_t(1000))},
        {"stripLeadingCharacters", strings({"", "-x", "-", "e\u0301z"})},
        {"stripTrailingCharacters", strings({})},
        {"cleanRepeatedSeparators", PlistValue(true)},
        {"excludePatterns", strings({"*.o"})},
    };
}

TEST(TransformationSettingsTest, AbsentOptionalKeysTakeTheirDefaults)
{
    auto decoded = TransformationSettings::decode(dict(minimalSettings()));
    ASSERT_TRUE(decoded.ok()) << decoded.error().message;
    const TransformationSettings& s = *decoded;
    EXPECT_EQ(s.selectedFilesystem, std::nullopt);
    EXPECT_TRUE(s.selectedCaseSensitive);
    EXPECT_TRUE(s.selectedOperatingSystems.empty());
    EXPECT_EQ(s.repeatedSeparatorCharacters, (std::vector<std::string> {".", "-", "_"}));
    EXPECT_FALSE(s.smartPathShortening);
    EXPECT_TRUE(s.cleanupEmptyDirsAfterRename && s.stripControlCharacters && s.normalizeDeceptiveWhitespace && s.stripZeroWidthCharacters);
    EXPECT_EQ(s.targetEncoding, TargetEncoding::asciiOnly);
    EXPECT_EQ(s.maxFolderNameLength, 90);
    // Empty strings dropped, first characters kept, duplicates merged.
    EXPECT_EQ(members(s.stripLeadingCharacters), (std::vector<std::string> {"-", "e\u0301"}));
    EXPECT_TRUE(s.stripLeadingCharacters.count("\u00E9"));

    PlistValue::Dictionary withSeparators = minimalSettings();
    withSeparators["repeatedSeparatorCharacters"] = strings({"__", "", " "});
    EXPECT_EQ(TransformationSettings::decode(dict(withSeparators))->repeatedSeparatorCharacters, (std::vector<std::string> {"_", " "}));
}

TEST(TransformationSettingsTest, DecodingErrors)
{
    using Kind = DecodingError::Kind;
    const char* required[] = {"translationTable", "targetEncoding", "isCaseSensitive", "reservedNames", "maxFilenameLength",
        "maxFolderNameLength", "maxPathDepth", "maxPathLength", "stripLeadingCharacters", "stripTrailingCharacters",
        "cleanRepeatedSeparators", "excludePatterns"};
    for (const char* key : required) {
        PlistValue::Dictionary d = minimalSettings();
        d.erase(key);
        auto decoded = TransformationSettings::decode(dict(d));
        ASSERT_FALSE(decoded.ok()) << key;
        EXPECT_EQ(decoded.error().message,
            std::string("No value associated with key CodingKeys(stringValue: \"") + key + "\", intValue: nil) (\"" + key + "\").");
    }

    const struct {
        const char* key;
        PlistValue value;
        Kind kind;
        std::string message;
    } cases[] = {
        {"selectedFilesystem", PlistValue("ntfs"), Kind::dataCorrupted, "Cannot initialize FilesystemPreset from invalid String value ntfs"},
        {"selectedOperatingSystems", strings({"Linux", "BeOS"}), Kind::dataCorrupted, "Cannot initialize OSPreset from invalid String value BeOS"},
        {"targetEncoding", PlistValue("UTF-16"), Kind::dataCorrupted, "Cannot initialize TargetEncoding from invalid String value UTF-16"},
        {"selectedCaseSensitive", PlistValue(std::int64_t(1)), Kind::typeMismatch, "Expected to decode Bool but found a number instead."},
        {"maxPathLength", PlistValue("1000"), Kind::typeMismatch, "Expected to decode Int but found a string instead."},
        {"reservedNames", PlistValue("CON"), Kind::typeMismatch, "Expected to decode Array<Any> but found a string instead."},
        {"excludePatterns", PlistValue(PlistValue::Array {PlistValue(true)}), Kind::typeMismatch,
            "Expected to decode String but found a boolean instead."},
        {"translationTable", dict({}), Kind::keyNotFound, "No value associated with key CodingKeys(stringValue: \"entries\", intValue: nil) (\"entries\")."},
        {"smartPathShortening", PlistValue("no"), Kind::typeMismatch, "Expected to decode Bool but found a string instead."},
    };
    for (const auto& c : cases) {
        PlistValue::Dictionary d = minimalSettings();
        d[c.key] = c.value;
        auto decoded = TransformationSettings::decode(dict(d));
        ASSERT_FALSE(decoded.ok()) << c.key;
        EXPECT_EQ(DecodingError::kindOf(decoded.error()), c.kind) << c.key;
        EXPECT_EQ(decoded.error().message, c.message) << c.key;
    }
}

TEST(TessalinePresetTest, DecodingErrors)
{
    const PlistValue coded = TessalinePreset::crossPlatformFileServer().encode();
    ASSERT_TRUE(coded.asDictionary());
    const PlistValue::Dictionary good = *coded.asDictionary();
    for (const char* key : {"id", "name", "settings", "isBase"}) {
        PlistValue::Dictionary d = good;
        d.erase(key);
        auto decoded = TessalinePreset::decode(dict(d));
        ASSERT_FALSE(decoded.ok()) << key;
        EXPECT_EQ(DecodingError::kindOf(decoded.error()), DecodingError::Kind::keyNotFound) << key;
    }
    PlistValue::Dictionary badId = good;
    badId["id"] = PlistValue("not-a-uuid");
    EXPECT_EQ(TessalinePreset::decode(dict(badId)).error().message, "Attempted to decode UUID from invalid UUID string.");
    PlistValue::Dictionary badSettings = good;
    badSettings["settings"] = dict({});
    EXPECT_EQ(DecodingError::kindOf(TessalinePreset::decode(dict(badSettings)).error()), DecodingError::Kind::keyNotFound);
}

TEST(IllegalCharacterEntriesTest, PrintableAsciiOnly)
{
    CodePointSet set {U'\0', U'\x1F', U'"', U'/', U'~', U'\x7F', U'\u00E9', U'\u200B', U':'};
    EXPECT_EQ(illegalCharacterTranslationEntries(set), (test::Pairs {{"\"", "_"}, {"/", "_"}, {":", "_"}, {"~", "_"}}));
    EXPECT_EQ(illegalCharacterTranslationEntries(FilesystemPreset(FilesystemPreset::sharePoint).capabilities().illegalCharacters),
        each("\"#%*:<>?\\{|}"));
    EXPECT_TRUE(illegalCharacterTranslationEntries({}).empty());
    EXPECT_EQ(pairsOf(TranslationTable::copyEntries(illegalCharacterTranslationEntries({U' '}))), each(" "));
}

}  // namespace
}  // namespace tess
