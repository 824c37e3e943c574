#include "RulesTestSupport.h"

#include "rules/ControlCharacters.h"
#include "rules/FilesystemPreset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

namespace tess {
namespace {

using test::each;
using test::pairsOf;

constexpr std::int64_t N = kNoLimit;

TEST(FilesystemPresetTest, CasesRawValuesAndOrder)
{
    std::vector<std::string> raw;
    for (FilesystemPreset p : FilesystemPreset::allCases()) {
        raw.emplace_back(p.rawValue());
        EXPECT_EQ(FilesystemPreset::fromRawValue(p.rawValue()), p);
        EXPECT_EQ(*FilesystemPreset::decode(p.encode()), p);
    }
    EXPECT_EQ(raw, (std::vector<std::string> {"FAT", "NTFS", "UDF", "SMB", "HFS+", "APFS", "Google Drive", "NFS", "Dropbox", "OneDrive", "SharePoint", "S3", "ext4"}));
    for (const char* bad : {"hfs+", "EXT4", "Ext4", "fat", "", "Google drive", "HFS"}) {
        EXPECT_FALSE(FilesystemPreset::fromRawValue(bad)) << bad;
    }
    auto failed = FilesystemPreset::decode(PlistValue("EXT4"));
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().message, "Cannot initialize FilesystemPreset from invalid String value EXT4");
}

// Case sensitivity with the choice absent / true / false, and the three limits.
TEST(FilesystemPresetTest, CapabilitiesTable)
{
    struct Row {
        FilesystemPreset preset;
        bool absent, givenTrue, givenFalse;
        std::int64_t name, depth, path;
    };
    const std::vector<Row> rows {
        {FilesystemPreset::fat, false, false, false, 255, N, N},
        {FilesystemPreset::ntfs, false, true, false, 255, N, 32766},
        {FilesystemPreset::udf, false, true, false, 254, N, 32760},
        {FilesystemPreset::smb, false, true, false, 255, N, N},
        {FilesystemPreset::hfs, false, true, false, 255, N, 1023},
        {FilesystemPreset::apfs, false, true, false, 255, N, 1023},
        {FilesystemPreset::googleDrive, false, false, false, 255, 20, N},
        {FilesystemPreset::nfs, true, true, false, 255, N, 1023},
        {FilesystemPreset::dropbox, false, false, false, 255, N, N},
        {FilesystemPreset::oneDrive, false, false, false, 400, N, 400},
        {FilesystemPreset::sharePoint, false, false, false, 400, N, 400},
        {FilesystemPreset::s3, true, true, true, 1023, N, 1023},
        {FilesystemPreset::ext4, true, true, true, 255, N, 4095},
    };
    ASSERT_EQ(rows.size(), FilesystemPreset::allCases().size());
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.preset.rawValue()));
        const struct {
            std::optional<bool> argument;
            bool expected;
        } choices[] = {{std::nullopt, row.absent}, {true, row.givenTrue}, {false, row.givenFalse}};
        for (const auto& choice : choices) {
            const FilesystemCapabilities caps = row.preset.capabilities(choice.argument);
            EXPECT_EQ(caps.isCaseSensitive, choice.expected);
            EXPECT_EQ(caps.maxFilenameLength, row.name);
            EXPECT_EQ(caps.maxPathDepth, row.depth);
            EXPECT_EQ(caps.maxPathLength, row.path);
            EXPECT_EQ(caps.encodingCapability, TargetEncoding::utf8Full);
            EXPECT_TRUE(caps.supportsPosixPermissions);
            EXPECT_FALSE(caps.supportsExtendedAttributes);
            EXPECT_FALSE(caps.supportsACLs);
        }
        EXPECT_EQ(row.preset.defaultCaseSensitive(), row.absent);
    }
}

TEST(FilesystemPresetTest, IllegalCharactersAndReservedNames)
{
    struct Row {
        FilesystemPreset preset;
        std::string literals;  // members outside the control set, in code-point order
        bool dotNames;
    };
    const std::vector<Row> rows {
        {FilesystemPreset::fat, "/", true},
        {FilesystemPreset::ntfs, "/", true},
        {FilesystemPreset::udf, "/", true},
        {FilesystemPreset::smb, "/", true},
        {FilesystemPreset::hfs, "/:", true},
        {FilesystemPreset::apfs, "/", true},
        {FilesystemPreset::googleDrive, "", false},
        {FilesystemPreset::nfs, "/", true},
        {FilesystemPreset::dropbox, "", false},
        {FilesystemPreset::oneDrive, "\"#%*:<>?\\|", false},
        {FilesystemPreset::sharePoint, "\"#%*:<>?\\{|}", false},
        {FilesystemPreset::s3, "", false},
        {FilesystemPreset::ext4, "/", true},
    };
    const CodePointSet& control = ControlCharacters::set();
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.preset.rawValue()));
        const FilesystemCapabilities caps = row.preset.capabilities();
        EXPECT_EQ(test::nonControlMembers(caps.illegalCharacters), row.literals);
        EXPECT_TRUE(std::includes(caps.illegalCharacters.begin(), caps.illegalCharacters.end(), control.begin(), control.end()));
        EXPECT_EQ(caps.illegalCharacters.count(U'\u200B'), 1u);  // zero-width space, category Cf
        EXPECT_EQ(caps.illegalCharacters.count(U'\0'), 1u);
        const std::vector<std::string> reserved = row.dotNames ? std::vector<std::string> {".", ".."} : std::vector<std::string> {};
        EXPECT_EQ(test::members(caps.reservedNames), reserved);
    }
}

TEST(FilesystemPresetTest, ControlSetIsCcAndCf)
{
    const CodePointSet& control = ControlCharacters::set();
    for (char32_t cp : {U'\0', U'\x1F', U'\x7F', U'\u0085', U'\u009F', U'\u00AD', U'\u200B', U'\u200E', U'\u2060', U'\uFEFF', U'\U000E0001'}) {
        EXPECT_EQ(control.count(cp), 1u) << std::hex << static_cast<unsigned>(cp);
        EXPECT_TRUE(ControlCharacters::contains(cp));
    }
    for (char32_t cp : {U' ', U'A', U'\u00A0', U'\u3000', U'\u00E9'}) {
        EXPECT_EQ(control.count(cp), 0u) << std::hex << static_cast<unsigned>(cp);
        EXPECT_FALSE(ControlCharacters::contains(cp));
    }
}

TEST(FilesystemPresetTest, DefaultTranslationEntries)
{
    const test::Pairs slash = each("/");
    const test::Pairs oneDrive = each("<>:\"|?*\\/#%");
    const struct {
        FilesystemPreset preset;
        test::Pairs expected;
    } rows[] = {
        {FilesystemPreset::fat, slash},
        {FilesystemPreset::ntfs, slash},
        {FilesystemPreset::udf, slash},
        {FilesystemPreset::smb, slash},
        {FilesystemPreset::hfs, each("/:")},
        {FilesystemPreset::apfs, slash},
        {FilesystemPreset::googleDrive, {}},
        {FilesystemPreset::nfs, slash},
        {FilesystemPreset::dropbox, {}},
        {FilesystemPreset::oneDrive, oneDrive},
        {FilesystemPreset::sharePoint, test::concat(oneDrive, each("{}"))},
        {FilesystemPreset::s3, {}},
        {FilesystemPreset::ext4, slash},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(pairsOf(row.preset.defaultTranslationEntries()), row.expected) << row.preset.rawValue();
    }
}

TEST(TargetEncodingTest, CasesAndCodedForm)
{
    std::vector<std::string> raw;
    for (TargetEncoding e : TargetEncoding::allCases()) {
        raw.emplace_back(e.rawValue());
        EXPECT_EQ(*TargetEncoding::decode(e.encode()), e);
    }
    EXPECT_EQ(raw, (std::vector<std::string> {"ASCII", "UTF-8 Basic", "UTF-8 Full", "UTF-8 Full (NFC)"}));
    EXPECT_FALSE(TargetEncoding::fromRawValue("UTF-8 full"));
    auto failed = TargetEncoding::decode(PlistValue(true));
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().message, "Expected to decode String but found a boolean instead.");
}

}  // namespace
}  // namespace tess
