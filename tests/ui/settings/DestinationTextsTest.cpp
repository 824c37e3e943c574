#include "ui/settings/DestinationTexts.h"
#include "model/CaseChoice.h"

#include <gtest/gtest.h>

#include <string>

namespace tess {
namespace {

using OS = OSPreset;

TEST(DestinationTexts, ClientOSTextOverEverySubset)
{
    struct Case {
        std::set<OSPreset> systems;
        const char* text;
    };
    const std::vector<Case> cases {
        {{}, "None"},
        {{OS::windows}, "Windows"},
        {{OS::macOS}, "macOS"},
        {{OS::linux}, "Linux"},
        {{OS::windows, OS::macOS}, "Windows, macOS"},
        {{OS::windows, OS::linux}, "Linux, Windows"},
        {{OS::macOS, OS::linux}, "Linux, macOS"},
        {{OS::windows, OS::macOS, OS::linux}, "All"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(clientOSMenuText(c.systems), QString::fromUtf8(c.text));
    }
}

TEST(DestinationTexts, FilesystemTitleFollowsItsPrecedence)
{
    const auto folder = DestinationConfig::physicalFolder("/media/usb/<b>Backup &amp; co");
    const auto preset = DestinationConfig::presetFilesystem(FilesystemPreset::ntfs, false);
    struct Case {
        const char* name;
        bool detecting;
        std::optional<DestinationConfig> destination;
        std::optional<FilesystemPreset> selected;
        const char* title;
        const char* symbol;
    };
    const std::vector<Case> cases {
        {"probing wins over a folder", true, folder, FilesystemPreset::fat, "Probing…", "scope"},
        {"probing with nothing", true, std::nullopt, std::nullopt, "Probing…", "externaldrive"},
        {"a folder wins over the selection, shown literally", false, folder, FilesystemPreset::fat,
            "Probed: <b>Backup &amp; co", "scope"},
        {"a preset destination shows the selection, not the destination", false, preset, FilesystemPreset::apfs,
            "APFS", "externaldrive"},
        {"None keeps the destination but reads None", false, preset, std::nullopt, "None", "externaldrive"},
        {"nothing at all", false, std::nullopt, std::nullopt, "None", "externaldrive"},
        {"a display name with a plus", false, std::nullopt, FilesystemPreset::hfs, "HFS+", "externaldrive"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(filesystemMenuTitle(c.detecting, c.destination, c.selected), QString::fromUtf8(c.title));
        EXPECT_EQ(filesystemMenuSymbolName(c.destination), QString::fromUtf8(c.symbol));
    }
}

TEST(DestinationTexts, HostileFolderNamesAreShownAsTheyAre)
{
    for (const char* name : {"<b>x", "a&b", "&amp;", "  lead", "line\nbreak", "\u200Fmark"}) {
        SCOPED_TRACE(name);
        const auto folder = DestinationConfig::physicalFolder(std::string("/mnt/") + name);
        EXPECT_EQ(filesystemMenuTitle(false, folder, std::nullopt), QStringLiteral("Probed: ") + QString::fromUtf8(name));
        const std::string path = std::string("/mnt/") + name;
        EXPECT_EQ(probedPathLengthText(4000, path), QStringLiteral("4000 bytes (%1 content + %2 base)").arg(4000 - path.size()).arg(path.size()));
    }
}

TEST(DestinationTexts, PresetsThatOfferACaseChoiceAndTheirDefaultFlag)
{
    struct Case {
        FilesystemPreset preset;
        bool boxShown;
        bool defaultCaseSensitive;
    };
    const std::vector<Case> cases {
        {FilesystemPreset::fat, false, false},
        {FilesystemPreset::ntfs, true, false},
        {FilesystemPreset::udf, true, false},
        {FilesystemPreset::smb, true, false},
        {FilesystemPreset::hfs, true, false},
        {FilesystemPreset::apfs, true, false},
        {FilesystemPreset::googleDrive, false, false},
        {FilesystemPreset::nfs, true, true},
        {FilesystemPreset::dropbox, false, false},
        {FilesystemPreset::oneDrive, false, false},
        {FilesystemPreset::sharePoint, false, false},
        {FilesystemPreset::s3, false, true},
        {FilesystemPreset::ext4, false, true},
    };
    ASSERT_EQ(cases.size(), FilesystemPreset::allCases().size());
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.preset.rawValue()));
        EXPECT_EQ(offersCaseChoice(c.preset), c.boxShown);
        EXPECT_EQ(c.preset.defaultCaseSensitive(), c.defaultCaseSensitive);
    }
    EXPECT_FALSE(offersCaseChoice(std::nullopt));
}

TEST(DestinationTexts, ProbedPathLength)
{
    const std::string path24 = "/Volumes/Archive/Target1";  // 24 bytes
    ASSERT_EQ(path24.size(), 24u);
    const std::string multibyte = "/mnt/caf\u00E9";  // é is 2 bytes: 10 in all
    const std::string long4000 = "/" + std::string(3999, 'n');
    struct Case {
        const char* name;
        std::int64_t length;
        std::optional<std::string_view> path;
        const char* text;
    };
    const std::vector<Case> cases {
        {"no limit, with a folder", kNoLimit, path24, "∞ (no limit found)"},
        {"no limit, without a folder", kNoLimit, std::nullopt, "∞ (no limit found)"},
        {"with a folder: content and base", 1024, path24, "1024 bytes (1000 content + 24 base)"},
        {"base counted in UTF-8 bytes", 100, multibyte, "100 bytes (90 content + 10 base)"},
        {"a folder longer than the limit: content 0", 20, path24, "20 bytes (0 content + 24 base)"},
        {"a 4,000-byte folder", 1024, long4000, "1024 bytes (0 content + 4000 base)"},
        {"without a folder", 4096, std::nullopt, "4096 bytes"},
        {"large numbers are not grouped", 1234567, std::nullopt, "1234567 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(probedPathLengthText(c.length, c.path), QString::fromUtf8(c.text));
    }
}

TEST(DestinationTexts, OSCapNote)
{
    struct Case {
        const char* name;
        std::int64_t probed;
        std::set<OSPreset> systems;
        std::optional<QString> note;
    };
    const std::vector<Case> cases {
        {"Windows caps a larger probe", 1024, {OS::windows, OS::linux}, QStringLiteral("(capped to 259 by Windows)")},
        {"no client OS: no note", 1024, {}, std::nullopt},
        {"no client OS, no probed limit: no note", kNoLimit, {}, std::nullopt},
        {"equal limits: no note", 259, {OS::windows}, std::nullopt},
        {"one byte more is capped", 260, {OS::windows}, QStringLiteral("(capped to 259 by Windows)")},
        {"a probed no-limit is capped by any OS", kNoLimit, {OS::linux}, QStringLiteral("(capped to 4095 by Linux)")},
        {"macOS with Linux", 2000, {OS::macOS, OS::linux}, QStringLiteral("(capped to 1023 by macOS)")},
        {"a smaller probe than every OS limit", 200, {OS::windows, OS::macOS, OS::linux}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(osPathLengthCapNote(c.probed, c.systems), c.note);
    }
}

TEST(DestinationTexts, SystemsSharingTheCapAreNamedInCodePointOrder)
{
    // No two built-in systems share a path limit; the naming rule is checked
    // on the helper directly.
    EXPECT_EQ(osesImposingPathCap({OS::windows, OS::macOS, OS::linux}, 259), QStringList {QStringLiteral("Windows")});
    EXPECT_EQ(osesImposingPathCap({OS::macOS, OS::linux}, 259), QStringList {});
    EXPECT_EQ(osesImposingPathCap({OS::windows, OS::macOS, OS::linux}, 4095), QStringList {QStringLiteral("Linux")});
}

TEST(DestinationTexts, IllegalCharacters)
{
    struct Case {
        const char* name;
        CodePointSet set;
        const char* text;
    };
    const std::vector<Case> cases {
        {"empty", {}, "(none beyond control chars)"},
        {"control characters only", {U'\0', U'\t', 0x7F, 0x85, 0x200B}, "(none beyond control chars)"},
        {"non-ASCII only", {0x00E9, 0x2028, 0x1F600}, "(none beyond control chars)"},
        {"ascending, space-joined, controls and non-ASCII dropped", {U'|', U'\t', U'<', U'*', 0xE9, U'"', U':'},
            "\" * : < |"},
        {"a refused space shows as a wider gap", {U' ', U'/', U'a'}, "  / a"},
        {"the range ends", {0x1F, 0x20, 0x7E, 0x7F}, "  ~"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(illegalCharactersText(c.set), QString::fromUtf8(c.text));
    }
}

TEST(DestinationTexts, CapabilityRows)
{
    FilesystemCapabilities caps;
    caps.isCaseSensitive = true;
    caps.encodingCapability = TargetEncoding::utf8FullNFC;
    caps.maxFilenameLength = 255;
    caps.maxPathDepth = 12000;
    caps.maxPathLength = 1024;
    caps.illegalCharacters = {U'/', U'\0'};
    const std::string path = "/Volumes/Archive/Target1";
    const std::vector<CapabilityRow> expected {
        {QStringLiteral("Case-sensitive"), QStringLiteral("Yes"), std::nullopt},
        {QStringLiteral("Encoding"), QStringLiteral("utf8FullNFC"), std::nullopt},
        {QStringLiteral("Max filename length"), QStringLiteral("255 bytes"), std::nullopt},
        {QStringLiteral("Max path depth"), QStringLiteral("12000"), std::nullopt},
        {QStringLiteral("Max path length"), QStringLiteral("1024 bytes (1000 content + 24 base)"),
            QStringLiteral("(capped to 259 by Windows)")},
        {QStringLiteral("Illegal characters"), QStringLiteral("/"), std::nullopt},
    };
    EXPECT_EQ(capabilityRows(caps, path, {OS::windows, OS::linux}), expected);

    FilesystemCapabilities unlimited;
    unlimited.encodingCapability = TargetEncoding::asciiOnly;
    const std::vector<CapabilityRow> rows = capabilityRows(unlimited, std::nullopt, {});
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0].value, QStringLiteral("No"));
    EXPECT_EQ(rows[1].value, QStringLiteral("asciiOnly"));
    EXPECT_EQ(rows[2].value, QStringLiteral("∞"));
    EXPECT_EQ(rows[3].value, QStringLiteral("∞"));
    EXPECT_EQ(rows[4].value, QStringLiteral("∞ (no limit found)"));
    EXPECT_EQ(rows[4].note, std::nullopt);
    EXPECT_EQ(rows[5].value, QStringLiteral("(none beyond control chars)"));

    struct Encoding {
        TargetEncoding encoding;
        const char* identifier;
    };
    for (const Encoding& e : {Encoding {TargetEncoding::asciiOnly, "asciiOnly"}, Encoding {TargetEncoding::utf8Basic, "utf8Basic"},
             Encoding {TargetEncoding::utf8Full, "utf8Full"}, Encoding {TargetEncoding::utf8FullNFC, "utf8FullNFC"}}) {
        EXPECT_EQ(encodingIdentifier(e.encoding), QString::fromUtf8(e.identifier));
    }
}

}  // namespace
}  // namespace tess
