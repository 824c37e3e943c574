#include "RulesTestSupport.h"

#include "coding/DecodingError.h"
#include "rules/ControlCharacters.h"
#include "rules/OSCapabilities.h"
#include "rules/OSPreset.h"
#include "rules/TransformationSettings.h"

#include <gtest/gtest.h>

namespace tess {
namespace {

PlistValue dict(PlistValue::Dictionary d)
{
    return PlistValue(std::move(d));
}

PlistValue num(std::int64_t n)
{
    return PlistValue(n);
}

const std::vector<std::string> kWindowsNames {"AUX", "CLOCK$", "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9",
    "CON", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9", "NUL", "PRN"};

TEST(OSPresetTest, CasesAndCapabilities)
{
    std::vector<std::string> raw;
    for (OSPreset system : OSPreset::allCases()) {
        raw.emplace_back(system.rawValue());
        EXPECT_EQ(*OSPreset::decode(system.encode()), system);
    }
    EXPECT_EQ(raw, (std::vector<std::string> {"Windows", "macOS", "Linux"}));
    EXPECT_FALSE(OSPreset::fromRawValue("linux"));
    EXPECT_EQ(OSPreset::decode(PlistValue("MacOS")).error().message, "Cannot initialize OSPreset from invalid String value MacOS");

    const OSCapabilities windows = OSPreset(OSPreset::windows).capabilities();
    EXPECT_EQ(windows.isCaseSensitive, false);
    EXPECT_EQ(windows.maxFilenameLength, std::nullopt);
    EXPECT_EQ(windows.maxPathLength, OSPathLimit::overridableDefault(259, 32766));
    EXPECT_EQ(test::nonControlMembers(windows.illegalCharacters), "\"*/:<>?\\|");
    EXPECT_EQ(test::members(windows.reservedNames), kWindowsNames);

    const OSCapabilities mac = OSPreset(OSPreset::macOS).capabilities();
    EXPECT_EQ(mac.isCaseSensitive, std::nullopt);
    EXPECT_EQ(mac.maxPathLength, OSPathLimit::hardLimit(1023));
    EXPECT_EQ(test::nonControlMembers(mac.illegalCharacters), "/");
    EXPECT_EQ(test::members(mac.reservedNames), (std::vector<std::string> {".", ".."}));

    const OSCapabilities lin = OSPreset(OSPreset::linux).capabilities();
    EXPECT_EQ(lin.isCaseSensitive, std::nullopt);
    EXPECT_EQ(lin.maxPathLength, OSPathLimit::hardLimit(4095));
    EXPECT_EQ(lin.illegalCharacters.count(U'\u200B'), 1u);

    EXPECT_EQ(test::pairsOf(OSPreset(OSPreset::windows).defaultTranslationEntries()), test::each("<>:\"|?*\\/"));
    EXPECT_EQ(test::pairsOf(OSPreset(OSPreset::macOS).defaultTranslationEntries()), test::each("/"));
    EXPECT_EQ(test::pairsOf(OSPreset(OSPreset::linux).defaultTranslationEntries()), test::each("/"));
}

TEST(OSPresetTest, CombinedCapabilities)
{
    const struct {
        std::set<OSPreset> systems;
        std::optional<bool> caseSensitive;
        std::optional<OSPathLimit> path;
        std::string literals;
        std::size_t reserved;
    } cases[] = {
        {{}, std::nullopt, std::nullopt, "", 0},
        {{OSPreset::windows}, false, OSPathLimit::overridableDefault(259, 32766), "\"*/:<>?\\|", 23},
        {{OSPreset::macOS}, std::nullopt, OSPathLimit::hardLimit(1023), "/", 2},
        {{OSPreset::macOS, OSPreset::linux}, std::nullopt, OSPathLimit::hardLimit(1023), "/", 2},
        {{OSPreset::windows, OSPreset::linux}, false, OSPathLimit::overridableDefault(259, 4095), "\"*/:<>?\\|", 25},
        {{OSPreset::windows, OSPreset::macOS, OSPreset::linux}, false, OSPathLimit::overridableDefault(259, 1023), "\"*/:<>?\\|", 25},
    };
    for (const auto& c : cases) {
        const OSCapabilities combined = TransformationSettings::combineOSCapabilities(c.systems);
        SCOPED_TRACE(c.systems.size());
        EXPECT_EQ(combined.isCaseSensitive, c.caseSensitive);
        EXPECT_EQ(combined.maxFilenameLength, std::nullopt);
        EXPECT_EQ(combined.maxPathLength, c.path);
        EXPECT_EQ(test::nonControlMembers(combined.illegalCharacters), c.literals);
        EXPECT_EQ(combined.illegalCharacters.empty(), c.systems.empty());
        EXPECT_EQ(combined.reservedNames.size(), c.reserved);
    }
    const OSCapabilities all = TransformationSettings::combineOSCapabilities({OSPreset::windows, OSPreset::macOS, OSPreset::linux});
    EXPECT_TRUE(all.reservedNames.count(".") && all.reservedNames.count("..") && all.reservedNames.count("CLOCK$"));
    EXPECT_EQ(OSCapabilities::forOperatingSystems({OSPreset::linux, OSPreset::windows}).size(), 2u);
}

TEST(OSPathLimitTest, Smallest)
{
    using L = OSPathLimit;
    const struct {
        std::vector<OSPathLimit> limits;
        std::optional<OSPathLimit> expected;
    } cases[] = {
        {{}, std::nullopt},
        {{L::hardLimit(300)}, L::hardLimit(300)},
        {{L::hardLimit(300), L::overridableDefault(259, 32766)}, L::overridableDefault(259, 300)},
        {{L::hardLimit(200), L::overridableDefault(259, 32766)}, L::hardLimit(200)},
        {{L::overridableDefault(259, 32766), L::hardLimit(1023), L::hardLimit(4095)}, L::overridableDefault(259, 1023)},
        {{L::hardLimit(1023), L::hardLimit(4095)}, L::hardLimit(1023)},
        {{L::overridableDefault(100, 500), L::overridableDefault(300, 400)}, L::overridableDefault(100, 400)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(L::smallest(c.limits), c.expected) << c.limits.size();
    }
    EXPECT_EQ(L::overridableDefault(259, 32766).defaultValue(), 259);
    EXPECT_EQ(L::hardLimit(4095).defaultValue(), 4095);
}

TEST(OSPathLimitTest, CodedForm)
{
    EXPECT_EQ(OSPathLimit::hardLimit(1023).encode(), dict({{"hardLimit", dict({{"_0", num(1023)}})}}));
    EXPECT_EQ(OSPathLimit::overridableDefault(259, 32766).encode(),
        dict({{"overridableDefault", dict({{"default", num(259)}, {"hardMax", num(32766)}})}}));
    for (const OSPathLimit& limit : {OSPathLimit::hardLimit(kNoLimit), OSPathLimit::overridableDefault(259, 4095)}) {
        EXPECT_EQ(*OSPathLimit::decode(limit.encode()), limit);
    }

    using Kind = DecodingError::Kind;
    const std::string kKeys = "Invalid number of keys found, expected one.";
    const struct {
        PlistValue coded;
        Kind kind;
        std::string message;
    } cases[] = {
        {dict({{"hardLimit", dict({{"_0", num(1)}})}, {"overridableDefault", dict({{"default", num(1)}, {"hardMax", num(2)}})}}),
            Kind::typeMismatch, kKeys},
        {dict({}), Kind::typeMismatch, kKeys},
        {dict({{"softLimit", dict({{"_0", num(1)}})}}), Kind::typeMismatch, kKeys},
        {dict({{"hardLimit", dict({})}}), Kind::keyNotFound, "No value associated with key CodingKeys(stringValue: \"_0\", intValue: nil) (\"_0\")."},
        {dict({{"hardLimit", dict({{"_0", PlistValue("1")}})}}), Kind::typeMismatch, "Expected to decode Int but found a string instead."},
        {dict({{"overridableDefault", dict({{"default", num(1)}})}}), Kind::keyNotFound,
            "No value associated with key CodingKeys(stringValue: \"hardMax\", intValue: nil) (\"hardMax\")."},
        {dict({{"hardLimit", num(5)}}), Kind::typeMismatch, "Expected to decode Dictionary<String, Any> but found a number instead."},
    };
    for (const auto& c : cases) {
        auto decoded = OSPathLimit::decode(c.coded);
        ASSERT_FALSE(decoded.ok()) << c.message;
        EXPECT_EQ(DecodingError::kindOf(decoded.error()), c.kind) << c.message;
        EXPECT_EQ(decoded.error().message, c.message);
    }
}

}  // namespace
}  // namespace tess
