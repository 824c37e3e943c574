#include "RulesTestSupport.h"

#include "coding/DecodingError.h"
#include "rules/TranslationTable.h"

#include <gtest/gtest.h>

namespace tess {
namespace {

using test::each;
using test::Pairs;
using test::pairsOf;

std::vector<TranslationEntry> entries(const Pairs& pairs)
{
    return TranslationTable::copyEntries(pairs);
}

PlistValue dict(PlistValue::Dictionary d)
{
    return PlistValue(std::move(d));
}

TEST(TranslationTableTest, Merge)
{
    const struct {
        Pairs base, priority, expected;
    } cases[] = {
        {{{"a", "1"}, {"b", "2"}}, {{"b", "3"}}, {{"b", "3"}, {"a", "1"}}},
        {{{"a", "1"}, {"a", "2"}, {"b", "3"}}, {}, {{"a", "1"}, {"a", "2"}, {"b", "3"}}},
        {{}, {{"x", "1"}, {"x", "2"}}, {{"x", "1"}, {"x", "2"}}},
        {{{"/", "_"}, {":", "_"}}, {{":", "-"}, {"/", "+"}}, {{":", "-"}, {"/", "+"}}},
        // Canonically equivalent `from` texts are the same key.
        {{{"e\u0301", "1"}, {"z", "2"}}, {{"\u00E9", "3"}}, {{"\u00E9", "3"}, {"z", "2"}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pairsOf(TranslationTable::mergeEntries(entries(c.base), entries(c.priority))), c.expected);
    }
}

TEST(TranslationTableTest, BuiltInLists)
{
    const auto& control = TranslationTable::controlCharacterEntries();
    ASSERT_EQ(control.size(), 65u);
    EXPECT_EQ(control[0].from, std::string(1, '\0'));
    EXPECT_EQ(control[31].from, "\x1F");
    EXPECT_EQ(control[32].from, "\x7F");
    EXPECT_EQ(control[33].from, "\u0080");
    EXPECT_EQ(control[64].from, "\u009F");
    for (const auto& e : control) {
        EXPECT_EQ(e.to, "");
    }

    Pairs spaces;
    for (const char* cp : {"\u00A0", "\u1680", "\u2000", "\u2001", "\u2002", "\u2003", "\u2004", "\u2005", "\u2006", "\u2007", "\u2008",
             "\u2009", "\u200A", "\u202F", "\u205F", "\u3000"}) {
        spaces.emplace_back(cp, " ");
    }
    EXPECT_EQ(pairsOf(TranslationTable::deceptiveWhitespaceEntries()), spaces);

    Pairs invisible;
    for (const char* cp : {"\u00AD", "\u200B", "\u200C", "\u200D", "\u200E", "\u200F", "\u2028", "\u2029", "\u202A", "\u202B", "\u202C",
             "\u202D", "\u202E", "\u2060", "\uFEFF"}) {
        invisible.emplace_back(cp, "");
    }
    EXPECT_EQ(pairsOf(TranslationTable::zeroWidthCharacterEntries()), invisible);

    EXPECT_EQ(pairsOf(TranslationTable::shellSafeEntries()), each(" !\"#$%&'()*+,/:;<=>?@[\\]^`{|}~"));
    EXPECT_EQ(&TranslationTable::shellSafeEntries(), &TranslationTable::shellSafeEntries());
}

TEST(TranslationTableTest, ControlCharacterNames)
{
    const char* const names[] = {"[NUL]", "[SOH]", "[STX]", "[ETX]", "[EOT]", "[ENQ]", "[ACK]", "[BEL]", "[BS]", "[TAB]", "[LF]",
        "[VT]", "[FF]", "[CR]", "[SO]", "[SI]", "[DLE]", "[DC1]", "[DC2]", "[DC3]", "[DC4]", "[NAK]", "[SYN]", "[ETB]", "[CAN]",
        "[EM]", "[SUB]", "[ESC]", "[FS]", "[GS]", "[RS]", "[US]", "[SPACE]"};
    for (char32_t cp = 0; cp <= 32; ++cp) {
        EXPECT_EQ(TranslationTable::controlCharacterName(cp), names[cp]);
    }
    EXPECT_EQ(TranslationTable::controlCharacterName(127), "[DEL]");
    EXPECT_EQ(TranslationTable::controlCharacterName(0x80), "[C1:80]");
    EXPECT_EQ(TranslationTable::controlCharacterName(0x85), "[C1:85]");
    EXPECT_EQ(TranslationTable::controlCharacterName(0x9B), "[C1:9B]");
    EXPECT_EQ(TranslationTable::controlCharacterName(0x9F), "[C1:9F]");
    EXPECT_EQ(TranslationTable::controlCharacterName(U'A'), "A");
    EXPECT_EQ(TranslationTable::controlCharacterName(0xA0), "\u00A0");
    EXPECT_EQ(TranslationTable::controlCharacterName(0x1F600), "\U0001F600");
}

TEST(TranslationTableTest, DisplayStrings)
{
    const struct {
        std::string value, shown;
    } cases[] = {
        {"\t", "[TAB]"},
        {" ", "[SPACE]"},
        {"a\a", "a[BEL]"},
        {"ab", "ab"},
        {"", ""},
        {"_", "_"},
        {"\u0085", "[C1:85]"},
        {"x y", "x[SPACE]y"},
        {"\u00E9", "\u00E9"},
        // A character of several code points is shown whole.
        {"e\u0301", "e\u0301"},
        {"\U0001F1E9\U0001F1EA", "\U0001F1E9\U0001F1EA"},
        {"\r\n", "[CR][LF]"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TranslationTable::displayString(c.value), c.shown) << c.value;
    }
    EXPECT_EQ(TranslationTable::scalarDisplayNames("a\x7F"), "a[DEL]");
}

TEST(TranslationTableTest, ParseCharacterInput)
{
    const struct {
        std::string input;
        std::optional<std::string> parsed;
    } cases[] = {
        {"U+0041 u+42", "AB"},
        {"U+00E9", "\u00E9"},
        {"  U+41   U+1F600  ", "A\U0001F600"},
        {"u+0", std::string(1, '\0')},
        {"U+-0", std::string(1, '\0')},
        {"U++41", "A"},
        {"U+\u00A0"
         "41\t",
            std::nullopt},  // no-break space inside the piece before the digits
        {"\tU+41\u00A0", "A"},  // tab and no-break space trimmed around it
        {"U+D800", std::nullopt},
        {"U+DFFF", std::nullopt},
        {"U+110000", std::nullopt},
        {"U+10FFFF", "\U0010FFFF"},
        {"U+100000000", std::nullopt},
        {"0041", std::nullopt},
        {"U+0041 0042", std::nullopt},
        {"U+-1", std::nullopt},
        {"U+", std::nullopt},
        {"U+G1", std::nullopt},
        {"x+41", std::nullopt},
        {"", std::nullopt},
        {"    ", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TranslationTable::parseCharacterInput(c.input), c.parsed) << c.input;
    }
}

TEST(TranslationTableTest, CodedForm)
{
    const TranslationTable table {entries({{"/", "_"}, {"&", "_and_"}, {"\u00E4", "ae"}, {"x", ""}})};
    const PlistValue coded = table.encode();
    const PlistValue* codedEntries = coded.find("entries");
    ASSERT_NE(codedEntries, nullptr);
    ASSERT_TRUE(codedEntries->isArray());
    EXPECT_EQ(*codedEntries, PlistValue(PlistValue::Array {table.entries[0].encode(), table.entries[1].encode(), table.entries[2].encode(), table.entries[3].encode()}));
    EXPECT_EQ(table.entries[1].encode(), dict({{"from", PlistValue("&")}, {"to", PlistValue("_and_")}}));
    EXPECT_EQ(*TranslationTable::decode(coded), table);
    EXPECT_EQ(*TranslationTable::decode(TranslationTable {}.encode()), TranslationTable {});

    using Kind = DecodingError::Kind;
    const struct {
        PlistValue coded;
        Kind kind;
    } cases[] = {
        {dict({}), Kind::keyNotFound},
        {dict({{"entries", PlistValue("x")}}), Kind::typeMismatch},
        {dict({{"entries", PlistValue(PlistValue::Array {dict({{"from", PlistValue("a")}})})}}), Kind::keyNotFound},
        {dict({{"entries", PlistValue(PlistValue::Array {dict({{"to", PlistValue("a")}})})}}), Kind::keyNotFound},
        {dict({{"entries", PlistValue(PlistValue::Array {dict({{"from", PlistValue("a")}, {"to", PlistValue(true)}})})}}),
            Kind::typeMismatch},
        {PlistValue(PlistValue::Array {}), Kind::typeMismatch},
    };
    for (const auto& c : cases) {
        auto decoded = TranslationTable::decode(c.coded);
        ASSERT_FALSE(decoded.ok());
        EXPECT_EQ(DecodingError::kindOf(decoded.error()), c.kind) << decoded.error().message;
    }
}

TEST(TranslationEntryTest, EqualityIsCanonical)
{
    EXPECT_EQ((TranslationEntry {"\u00E9", "e"}), (TranslationEntry {"e\u0301", "e"}));
    EXPECT_NE((TranslationEntry {"a", "b"}), (TranslationEntry {"a", "c"}));
    EXPECT_EQ(std::hash<TranslationEntry>()({"\u00E9", "x"}), std::hash<TranslationEntry>()({"e\u0301", "x"}));
}

}  // namespace
}  // namespace tess
