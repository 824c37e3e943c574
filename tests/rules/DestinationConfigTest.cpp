#include "rules/DestinationConfig.h"
#include "coding/DecodingError.h"

#include <gtest/gtest.h>

namespace tess {
namespace {

PlistValue dict(PlistValue::Dictionary d)
{
    return PlistValue(std::move(d));
}

TEST(DestinationConfigTest, EqualityAndDisplayName)
{
    const auto apfsTrue = DestinationConfig::presetFilesystem(FilesystemPreset::apfs, true);
    EXPECT_NE(apfsTrue, DestinationConfig::presetFilesystem(FilesystemPreset::apfs, false));
    EXPECT_NE(apfsTrue, DestinationConfig::presetFilesystem(FilesystemPreset::hfs, true));
    EXPECT_EQ(apfsTrue, DestinationConfig::presetFilesystem(FilesystemPreset::apfs, true));
    EXPECT_EQ(DestinationConfig::physicalFolder("/mnt/backup"), DestinationConfig::physicalFolder("/mnt/backup"));
    EXPECT_NE(DestinationConfig::physicalFolder("/mnt/backup"), DestinationConfig::physicalFolder("/mnt/other"));
    EXPECT_NE(DestinationConfig::physicalFolder("/SMB"), DestinationConfig::presetFilesystem(FilesystemPreset::smb, false));

    EXPECT_EQ(DestinationConfig::physicalFolder("/mnt/backup").displayName(), "backup");
    EXPECT_EQ(DestinationConfig::physicalFolder("/mnt/backup/").displayName(), "backup");
    EXPECT_EQ(DestinationConfig::physicalFolder("/").displayName(), "/");
    EXPECT_EQ(DestinationConfig::presetFilesystem(FilesystemPreset::googleDrive, false).displayName(), "Google Drive");
    EXPECT_EQ(apfsTrue.type(), DestinationConfig::ConfigType::presetFilesystem);
}

TEST(DestinationConfigTest, CodedForms)
{
    EXPECT_EQ(DestinationConfig::presetFilesystem(FilesystemPreset::hfs, true).encode(),
        dict({{"type", PlistValue("presetFilesystem")}, {"preset", PlistValue("HFS+")}, {"caseSensitive", PlistValue(true)}}));
    EXPECT_EQ(DestinationConfig::physicalFolder("/mnt/My Disk/100%").encode(),
        dict({{"type", PlistValue("physicalFolder")}, {"url", PlistValue("file:///mnt/My%20Disk/100%25")}}));

    const std::vector<DestinationConfig> values {
        DestinationConfig::presetFilesystem(FilesystemPreset::ext4, false),
        DestinationConfig::presetFilesystem(FilesystemPreset::fat, true),
        DestinationConfig::physicalFolder("/media/usb/Ünïcode name/#1?x"),
        DestinationConfig::physicalFolder(std::string("/raw/\xff\xfe bytes")),
    };
    for (const DestinationConfig& value : values) {
        auto decoded = DestinationConfig::decode(value.encode());
        ASSERT_TRUE(decoded.ok()) << decoded.error().message;
        EXPECT_EQ(*decoded, value);
    }
}

TEST(DestinationConfigTest, MissingCaseSensitiveTakesThePresetDefault)
{
    for (FilesystemPreset preset : FilesystemPreset::allCases()) {
        auto decoded = DestinationConfig::decode(dict({{"type", PlistValue("presetFilesystem")}, {"preset", PlistValue(std::string(preset.rawValue()))}}));
        ASSERT_TRUE(decoded.ok());
        const bool expected = preset == FilesystemPreset::nfs || preset == FilesystemPreset::s3 || preset == FilesystemPreset::ext4;
        EXPECT_EQ(*decoded, DestinationConfig::presetFilesystem(preset, expected)) << preset.rawValue();
    }
}

TEST(DestinationConfigTest, DecodingErrors)
{
    using Kind = DecodingError::Kind;
    const struct {
        PlistValue coded;
        Kind kind;
        std::string message;
    } cases[] = {
        {dict({{"preset", PlistValue("NFS")}}), Kind::keyNotFound,
            "No value associated with key CodingKeys(stringValue: \"type\", intValue: nil) (\"type\")."},
        {dict({{"type", PlistValue("folder")}}), Kind::dataCorrupted, "Cannot initialize ConfigType from invalid String value folder"},
        {dict({{"type", PlistValue(std::int64_t(1))}}), Kind::typeMismatch, "Expected to decode String but found a number instead."},
        {dict({{"type", PlistValue("physicalFolder")}}), Kind::keyNotFound,
            "No value associated with key CodingKeys(stringValue: \"url\", intValue: nil) (\"url\")."},
        {dict({{"type", PlistValue("physicalFolder")}, {"url", PlistValue("relative/path")}}), Kind::dataCorrupted, "Invalid URL string."},
        {dict({{"type", PlistValue("physicalFolder")}, {"url", PlistValue("file:///bad%2")}}), Kind::dataCorrupted, "Invalid URL string."},
        {dict({{"type", PlistValue("physicalFolder")}, {"url", PlistValue("file:///nul%00byte")}}), Kind::dataCorrupted, "Invalid URL string."},
        {dict({{"type", PlistValue("presetFilesystem")}}), Kind::keyNotFound,
            "No value associated with key CodingKeys(stringValue: \"preset\", intValue: nil) (\"preset\")."},
        {dict({{"type", PlistValue("presetFilesystem")}, {"preset", PlistValue("apfs")}}), Kind::dataCorrupted,
            "Cannot initialize FilesystemPreset from invalid String value apfs"},
        {dict({{"type", PlistValue("presetFilesystem")}, {"preset", PlistValue("APFS")}, {"caseSensitive", PlistValue("yes")}}),
            Kind::typeMismatch, "Expected to decode Bool but found a string instead."},
        {PlistValue("presetFilesystem"), Kind::typeMismatch, "Expected to decode Dictionary<String, Any> but found a string instead."},
    };
    for (const auto& c : cases) {
        auto decoded = DestinationConfig::decode(c.coded);
        ASSERT_FALSE(decoded.ok()) << c.message;
        EXPECT_EQ(DecodingError::kindOf(decoded.error()), c.kind) << c.message;
        EXPECT_EQ(decoded.error().message, c.message);
    }
}

TEST(DestinationConfigTest, FileUrls)
{
    EXPECT_EQ(DestinationConfig::fileUrlString("/a b/c"), "file:///a%20b/c");
    EXPECT_EQ(DestinationConfig::pathFromFileUrl("file://localhost/a%20b/"), "/a b/");
    EXPECT_EQ(DestinationConfig::pathFromFileUrl("http:///a"), std::nullopt);
    EXPECT_EQ(DestinationConfig::pathFromFileUrl("file://"), std::nullopt);
}

}  // namespace
}  // namespace tess
