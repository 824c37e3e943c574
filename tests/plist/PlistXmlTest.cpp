#include "plist/PlistXml.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace tess {
namespace {

using namespace std::chrono;
using namespace std::chrono_literals;

std::string readGolden()
{
    std::ifstream in(std::string(TESSALINE_TEST_DATA) + "/golden.plist", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

PlistValue::Date utc(year_month_day day, seconds timeOfDay)
{
    return PlistValue::Date(sys_days(day) + timeOfDay);
}

// The value the golden file holds, built in code.
PlistValue goldenValue()
{
    PlistValue::Dictionary inner {{"inner", true}};
    PlistValue::Dictionary nested {{"deep", -1}};
    PlistValue::Dictionary dictionary {{"empty", PlistValue::Dictionary {}}, {"nested", nested}};
    const std::string bytes("\x00\x01\x02\xffTessaline", 13);
    return PlistValue::Dictionary {
        {"array", PlistValue::Array {1, "two", PlistValue::Array {}, inner}},
        {"data", PlistValue::Data(bytes.begin(), bytes.end())},
        {"date", utc(2025y / March / 7, 13h + 2min + 11s)},
        {"dictionary", dictionary},
        {"emptyString", ""},
        {"false", false},
        {"integer", 42},
        {"key <&>", "value"},
        {"largest", std::numeric_limits<std::int64_t>::max()},
        {"negative", -5},
        {"oldDate", utc(1900y / January / 1, 0s)},
        {"real", 0.5},
        {"realNegative", -1234.25},
        {"smallest", std::numeric_limits<std::int64_t>::min()},
        {"string", "Größe <&> \"quotes\" 'apostrophe' ❌ 日本"},
        {"true", true},
    };
}

TEST(PlistXml, GoldenFileReadsAsBuiltValueAndIsWrittenBackByteForByte)
{
    const std::string golden = readGolden();
    ASSERT_FALSE(golden.empty());

    Result<PlistValue> parsed = parsePlistXml(golden);
    ASSERT_TRUE(parsed.ok()) << parsed.error().message;
    EXPECT_EQ(*parsed, goldenValue());

    EXPECT_EQ(toPlistXml(goldenValue()), golden);
}

TEST(PlistXml, DatesAreWrittenToWholeSeconds)
{
    const PlistValue::Date exact = utc(2024y / February / 29, 23h + 59min + 59s);
    // Before 1970 too: the fraction is dropped towards the earlier second.
    const PlistValue::Date early = utc(1969y / December / 31, 23h + 59min + 59s);
    for (const auto& [written, expected] : {std::pair {exact + 999ms, exact}, std::pair {early + 250ms, early}}) {
        Result<PlistValue> back = parsePlistXml(toPlistXml(PlistValue(written)));
        ASSERT_TRUE(back.ok());
        EXPECT_EQ(*back, PlistValue(expected));
    }
}

TEST(PlistXml, ScalarsRoundTripAtTheEdgesOfTheirRange)
{
    const std::vector<PlistValue> values {
        std::int64_t(0),
        std::int64_t(-1),
        std::int64_t(4294967296),
        std::int64_t(-4294967297),
        1e-300,
        -0.1,
        1.7976931348623157e308,
        utc(2100y / January / 1, 0s),
        utc(1932y / December / 13, 20h + 45min + 52s),
        std::string(1000, 'x'),
    };
    for (const PlistValue& value : values) {
        Result<PlistValue> back = parsePlistXml(toPlistXml(value));
        ASSERT_TRUE(back.ok()) << toPlistXml(value);
        EXPECT_EQ(*back, value) << toPlistXml(value);
    }
}

TEST(PlistXml, ReadsTheOtherWrittenFormsOfScalars)
{
    const std::vector<std::pair<std::string, PlistValue>> cases {
        {"<integer> +12 </integer>", 12},
        {"<integer>0x1F</integer>", 31},
        {"<integer>-0</integer>", 0},
        {"<real>+2.5e3</real>", 2500.0},
        {"<real>-infinity</real>", -std::numeric_limits<double>::infinity()},
        {"<real>7</real>", 7.0},
        {"<date>\n\t2001-01-01T00:00:00Z\n</date>", utc(2001y / January / 1, 0s)},
        {"<data>\n\tAAE=\n\t</data>", PlistValue::Data {0, 1}},
        {"<data></data>", PlistValue::Data {}},
    };
    for (const auto& [xml, expected] : cases) {
        Result<PlistValue> parsed = parsePlistXml("<plist>" + xml + "</plist>");
        ASSERT_TRUE(parsed.ok()) << xml << ": " << parsed.error().message;
        EXPECT_EQ(*parsed, expected) << xml;
    }
}

TEST(PlistXml, AcceptsByteOrderMarkCommentsAndEntities)
{
    Result<PlistValue> parsed = parsePlistXml(
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- note -->\n<plist version=\"1.0\">"
        "<dict><key>a</key><string>&#x41;&#233;<![CDATA[<x>]]>&apos;&quot;</string></dict></plist>");
    ASSERT_TRUE(parsed.ok()) << parsed.error().message;
    ASSERT_NE(parsed->find("a"), nullptr);
    EXPECT_EQ(*parsed->find("a"), PlistValue("Aé<x>'\""));
}

TEST(PlistXml, BadInputBecomesAnError)
{
    struct Case {
        const char* name;
        std::string xml;
        PlistErrorCode code;
    };
    const std::vector<Case> cases {
        {"empty", "", PlistErrorCode::malformed},
        {"blank", " \n\t ", PlistErrorCode::malformed},
        {"garbage", "garbage \x01\xff", PlistErrorCode::malformed},
        {"binary magic", "bplist00\x01\x02", PlistErrorCode::malformed},
        {"truncated", "<plist><dict><key>a</key><integer>5</integer>", PlistErrorCode::malformed},
        {"value without key", "<plist><dict><integer>1</integer></dict></plist>", PlistErrorCode::malformed},
        {"unknown entity", "<plist><string>&bogus;</string></plist>", PlistErrorCode::malformed},
        {"uid", "<plist><uid>3</uid></plist>", PlistErrorCode::malformed},
        {"integer over 2^63-1", "<plist><integer>9223372036854775808</integer></plist>", PlistErrorCode::unsupported},
        {"integer text", "<plist><integer>abc</integer></plist>", PlistErrorCode::malformed},
        {"empty integer", "<plist><integer></integer></plist>", PlistErrorCode::malformed},
        {"real text", "<plist><real>1.5x</real></plist>", PlistErrorCode::malformed},
        {"date text", "<plist><dict><key>d</key><date>junk</date></dict></plist>", PlistErrorCode::malformed},
        {"data outside base64", "<plist><data>!!!notbase64</data></plist>", PlistErrorCode::malformed},
        {"integer over 2^64", "<plist><integer>99999999999999999999999</integer></plist>", PlistErrorCode::unsupported},
        // The library would abort the process on these two.
        {"NUL in a string", std::string("<plist><string>a\0b</string></plist>", 35), PlistErrorCode::malformed},
        {"NUL in a key", std::string("<plist><dict><key>a\0</key><true/></dict></plist>", 48), PlistErrorCode::malformed},
        // A date holds nanoseconds in 64 bits (years 1677 to 2262).
        {"date before 1677", "<plist><date>1600-01-01T00:00:00Z</date></plist>", PlistErrorCode::unsupported},
        {"date after 2262", "<plist><date>9999-12-31T23:59:59Z</date></plist>", PlistErrorCode::unsupported},
    };
    for (const Case& c : cases) {
        Result<PlistValue> parsed = parsePlistXml(c.xml);
        ASSERT_FALSE(parsed.ok()) << c.name;
        EXPECT_EQ(parsed.error().domain, kPlistErrorDomain) << c.name;
        EXPECT_EQ(parsed.error().code, static_cast<std::int64_t>(c.code)) << c.name;
        EXPECT_FALSE(parsed.error().message.empty()) << c.name;
    }
}

TEST(PlistXml, NestingBeyondTheLimitIsRefusedAndWithinItIsRead)
{
    auto nested = [](int depth) {
        std::string xml = "<plist>";
        for (int i = 0; i < depth; ++i) {
            xml += "<array>";
        }
        for (int i = 0; i < depth; ++i) {
            xml += "</array>";
        }
        return xml + "</plist>";
    };
    EXPECT_TRUE(parsePlistXml(nested(kPlistMaxDepth)).ok());
    Result<PlistValue> tooDeep = parsePlistXml(nested(200000));
    ASSERT_FALSE(tooDeep.ok());
    EXPECT_EQ(tooDeep.error().code, static_cast<std::int64_t>(PlistErrorCode::tooDeep));
}

TEST(PlistXml, EveryTruncationOfTheGoldenFileIsHandled)
{
    // The reader must neither crash nor invent values: a cut document
    // is refused, unless only the final closing tag is missing.
    const std::string golden = readGolden();
    const std::size_t lastDictEnd = golden.rfind("</dict>") + 7;
    for (std::size_t length = 0; length < golden.size(); ++length) {
        Result<PlistValue> parsed = parsePlistXml(std::string_view(golden).substr(0, length));
        if (length < lastDictEnd) {
            ASSERT_FALSE(parsed.ok()) << length;
            EXPECT_EQ(parsed.error().domain, kPlistErrorDomain);
        } else if (parsed.ok()) {
            EXPECT_EQ(*parsed, goldenValue()) << length;
        }
    }
}

// Seeded random damage to the golden file: the reader never crashes (nor,
// under the sanitizers, overflows), and whatever it accepts is written and
// read back as the same value.
TEST(PlistXml, DamagedDocumentsAreRefusedOrReadBackUnchanged)
{
    const std::string golden = readGolden();
    const std::vector<std::string> pieces {"<array>", "</array>", "<dict>", "</dict>", "<key>k</key>", "<string>",
        "</string>", "<integer>", "</integer>", "<real>", "<date>", "</date>", "<data>", "<!--", "-->", "<![CDATA[",
        "]]>", "&", "&#", "<", ">", std::string(1, '\0'), "\xff", "<true/>", "<dict/>", "1600-01-01T00:00:00Z",
        "9999-12-31T23:59:59Z", "-9223372036854775809", "0x"};
    std::mt19937 random(20251207);
    int accepted = 0;
    for (int round = 0; round < 4000; ++round) {
        std::string text = golden;
        for (int change = 1 + static_cast<int>(random() % 3); change > 0; --change) {
            const std::size_t at = random() % (text.size() + 1);
            switch (random() % 3) {
            case 0:
                text.insert(at, pieces[random() % pieces.size()]);
                break;
            case 1:
                text.erase(at, 1 + random() % 12);
                break;
            default:
                text.insert(at, text.substr(random() % text.size(), random() % 40));
                break;
            }
        }
        Result<PlistValue> parsed = parsePlistXml(text);
        if (!parsed.ok()) {
            EXPECT_EQ(parsed.error().domain, kPlistErrorDomain);
            continue;
        }
        ++accepted;
        Result<PlistValue> again = parsePlistXml(toPlistXml(*parsed));
        ASSERT_TRUE(again.ok()) << text;
        EXPECT_EQ(*again, *parsed) << text;
    }
    EXPECT_GT(accepted, 0);
}

TEST(PlistValue, FindLooksUpDictionaryKeysOnly)
{
    const PlistValue dictionary = PlistValue::Dictionary {{"a", 1}};
    ASSERT_NE(dictionary.find("a"), nullptr);
    EXPECT_EQ(*dictionary.find("a"), PlistValue(1));
    EXPECT_EQ(dictionary.find("b"), nullptr);
    EXPECT_EQ(PlistValue(PlistValue::Array {PlistValue("a")}).find("a"), nullptr);
}

}  // namespace
}  // namespace tess
