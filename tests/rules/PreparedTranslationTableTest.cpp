#include "RulesTestSupport.h"

#include "rules/PreparedTranslationTable.h"
#include "rules/TranslationTable.h"

#include <gtest/gtest.h>

namespace tess {
namespace {

PreparedTranslationTable prepare(const test::Pairs& pairs)
{
    return PreparedTranslationTable(TranslationTable::copyEntries(pairs));
}

TEST(PreparedTranslationTableTest, Structure)
{
    const auto table = prepare({{"", "x"}, {"a", "1"}, {"a", "2"}, {"ab", "3"}, {"\u00E9", "4"}, {"e\u0301", "5"},
        {"abc", "6"}, {"cd", "7"}, {"\U0001F1E9\U0001F1EA", "8"}});
    EXPECT_FALSE(table.isEmpty());
    EXPECT_EQ(table.count(), 9);
    EXPECT_TRUE(table.hasAsciiEntries());
    EXPECT_EQ(table.asciiByteLookup()['a'], "1");
    EXPECT_EQ(table.asciiByteLookup()['b'], std::nullopt);
    ASSERT_EQ(table.nonAsciiCharMap().size(), 2u);  // é (first of two equivalents) and the flag
    EXPECT_EQ(table.nonAsciiCharMap().at("e\u0301"), "4");
    EXPECT_EQ(test::pairsOf(table.sortedMultiCharEntries()), (test::Pairs {{"abc", "6"}, {"ab", "3"}, {"cd", "7"}}));

    const auto onlyEmpty = prepare({{"", "x"}});
    EXPECT_FALSE(onlyEmpty.isEmpty());
    EXPECT_EQ(onlyEmpty.apply("abc").text, "abc");
    EXPECT_EQ(onlyEmpty.apply("abc").count, 0);
    EXPECT_TRUE(PreparedTranslationTable(std::vector<TranslationEntry> {}).isEmpty());
    EXPECT_TRUE(PreparedTranslationTable().isEmpty());
}

TEST(PreparedTranslationTableTest, Apply)
{
    const struct {
        test::Pairs entries;
        std::string input, output;
        std::int64_t count;
    } cases[] = {
        {{{"/", "_"}, {"\u00E4", "ae"}}, "\u00E4/b", "ae_b", 2},
        {{{"a", "1"}, {"a", "2"}}, "aa", "11", 2},
        {{{"\u00E9", "E1"}, {"e\u0301", "E2"}}, "\u00E9", "E1", 1},
        {{{"ab", "x"}}, "abcab", "xcx", 1},
        {{{"ab", ""}}, "xabab", "x", 1},
        {{{"ab", "xyz"}}, "ab-ab", "xyz-xyz", 1},
        {{{"abc", "2"}, {"ab", "1"}}, "abcab", "21", 2},
        {{{"ab", "1"}, {"abc", "2"}}, "abcab", "21", 2},  // longest first whatever the order
        {{{"ab", "c"}, {"c", "d"}}, "ab", "d", 2},  // single characters apply to inserted text
        {{{"ab", "ab"}}, "abab", "abab", 0},
        {{{"\u200B", ""}}, "a\u200Bb\u200B", "ab", 2},
        {{{"x", "y"}}, "", "", 0},
        {{{"x", "y"}}, "abc", "abc", 0},
        // Canonical equivalence: a precomposed letter matches a decomposed key
        // and the Angstrom sign matches A with ring; the byte pass sees one
        // code point at a time, so a decomposed letter in the text does not.
        {{{"e\u0301", "e"}}, "caf\u00E9", "cafe", 1},
        {{{"\u00E9", "e"}}, "cafe\u0301", "cafe\u0301", 0},
        {{{"\u212B", "A"}}, "\u00C5", "A", 1},
        {{{"\u00C5", "A"}}, "\u212B", "A", 1},
        {{{"\U0001F1E9\U0001F1EA", "DE"}}, "\U0001F1E9\U0001F1EA", "\U0001F1E9\U0001F1EA", 0},
        // Multi-character entries compare whole characters canonically.
        {{{"e\u0301!", "E"}}, "caf\u00E9!", "cafE", 1},
        {{{"ab", "x"}}, "ab\u0301", "ab\u0301", 0},
        {{{"\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7", "EU"}}, "x\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7", "xEU", 1},
        // Replacements never hold "/" or NUL.
        {{{"a", std::string("x/y\0z", 5)}}, "a", "x_y_z", 1},
        {{{"ab", "/"}}, "ab", "_", 1},
        {{{"\u00E9", "/"}}, "\u00E9", "_", 1},
        // Mixed ASCII and non-ASCII text around replacements keeps its bytes.
        {{{":", "-"}}, "\u65E5\u672C:\U0001F600:e\u0301", "\u65E5\u672C-\U0001F600-e\u0301", 2},
    };
    for (const auto& c : cases) {
        const auto table = prepare(c.entries);
        const auto applied = table.apply(c.input);
        EXPECT_EQ(applied.text, c.output) << c.input;
        EXPECT_EQ(applied.count, c.count) << c.input;
    }
}

TEST(PreparedTranslationTableTest, BuiltInListsTogether)
{
    std::vector<TranslationEntry> all = TranslationTable::controlCharacterEntries();
    for (const auto* list : {&TranslationTable::deceptiveWhitespaceEntries(), &TranslationTable::zeroWidthCharacterEntries()}) {
        all.insert(all.end(), list->begin(), list->end());
    }
    const PreparedTranslationTable table(all);
    const auto applied = table.apply("a\tb\x7F\u0085c\u00A0d\u3000e\uFEFF\u200Df");
    EXPECT_EQ(applied.text, "abc d e"
                            "f");
    EXPECT_EQ(applied.count, 7);
}

TEST(PreparedTranslationTableTest, UnchangedTextIsNotRebuilt)
{
    const auto table = prepare({{"/", "_"}, {"\u00E4", "ae"}, {"xyz", "q"}});
    std::string name = "a-perfectly-ordinary-name-\u65E5\u672C-longer-than-any-small-buffer.txt";
    const char* before = name.data();
    EXPECT_EQ(table.applyInPlace(name), 0);
    EXPECT_EQ(name.data(), before);

    std::string changed = "a/b";
    EXPECT_EQ(table.applyInPlace(changed), 1);
    EXPECT_EQ(changed, "a_b");
}

TEST(PreparedTranslationTableTest, InvalidUtf8IsReadAsWindows1252)
{
    const auto table = prepare({{"/", "_"}});
    const struct {
        std::string input, output;
    } cases[] = {
        {std::string("a/\xE9", 3), "a_\u00E9"},
        {std::string("/\xE6\x97", 3), "_\u00E6\u2014"},  // a sequence cut short at the end
        {std::string("\x80/", 2), "\u20AC_"},  // a lone continuation byte
        {std::string("\xC3/", 2), "\u00C3_"},  // a lead byte followed by ASCII
    };
    for (const auto& c : cases) {
        const auto applied = table.apply(c.input);
        EXPECT_EQ(applied.text, c.output);
        EXPECT_EQ(applied.count, 1);
    }
}

}  // namespace
}  // namespace tess
