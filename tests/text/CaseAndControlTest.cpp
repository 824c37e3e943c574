#include "text/Text.h"

#include <gtest/gtest.h>

#include <string>

namespace tess::text {
namespace {

using namespace std::string_literals;

TEST(CaseMapping, UsesFullRootLocaleMappings)
{
    struct Case {
        std::string input;
        std::string upper;
        std::string lower;
    };
    const Case cases[] = {
        {"abc-XYZ 09", "ABC-XYZ 09", "abc-xyz 09"},
        {"\u00DF", "SS", "\u00DF"},
        {"stra\u00DFe", "STRASSE", "stra\u00DFe"},
        {"\uFB01le", "FILE", "\uFB01le"},  // ligature fi
        {"Iı\u0130i", "II\u0130I", "iıi\u0307i"},  // no Turkish rules in the root locale
        {"\u00E9t\u00C9", "\u00C9T\u00C9", "\u00E9t\u00E9"},
        {"e\u0301", "E\u0301", "e\u0301"},  // no normalisation on the way
        {"\u039F\u03A3", "\u039F\u03A3", "\u03BF\u03C2"},  // final sigma
        {"a\0b"s, "A\0B"s, "a\0b"s},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.input));
        EXPECT_EQ(toUpper(c.input), c.upper);
        EXPECT_EQ(toLower(c.input), c.lower);
    }
}

TEST(ControlSet, IsCategoriesCcAndCf)
{
    struct Case {
        char32_t cp;
        bool control;
    };
    const Case cases[] = {
        {0x0000, true},
        {0x0009, true},
        {0x001F, true},
        {0x007F, true},
        {0x0080, true},
        {0x0085, true},
        {0x009F, true},
        {0x00AD, true},
        {0x0600, true},
        {0x200B, true},
        {0x200D, true},
        {0x200E, true},
        {0x2066, true},
        {0xFEFF, true},
        {0xE0001, true},
        {U'a', false},
        {U' ', false},
        {U'~', false},
        {0x00A0, false},
        {0x00E9, false},
        {0x0301, false},
        {0x2028, false},
        {0xD800, false},
        {0xE000, false},
        {0xFFFD, false},
        {0x1F600, false},
        {0x110000, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isControl(c.cp), c.control) << std::hex << "U+" << static_cast<unsigned>(c.cp);
    }
}

TEST(ControlSet, ContainsControlLooksAtEveryCharacter)
{
    struct Case {
        std::string text;
        bool expected;
    };
    const Case cases[] = {
        {"", false},
        {"plain name.txt", false},
        {"caf\u00E9 \U0001F600", false},
        {"tab\there", true},
        {"nul\0inside"s, true},
        {"zero\u200Bwidth", true},
        {"\uFEFFbom", true},
        {"next\xC2\x85line", true},  // U+0085 encoded
        {"ellipsis\x85", false},  // invalid byte 0x85 reads as U+2026
        {"a\u200Db", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(containsControl(c.text), c.expected) << testing::PrintToString(c.text);
    }
}

}  // namespace
}  // namespace tess::text
