#include "RulesTestSupport.h"

#include "rules/PreparedTranslationTable.h"
#include "rules/TranslationTable.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>

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
        // Code points that NFC leaves decomposed (a composition exclusion, a
        // non-starter) still match a key that is them or their equivalent.
        {{{"\u0958", "Q"}}, "a\u0958b", "aQb", 1},
        {{{"\u0915\u093C", "Q"}}, "a\u0958b", "aQb", 1},
        {{{"\u0344", "Q"}}, "a\u0344b", "aQb", 1},
        {{{"\u0308\u0301", "Q"}}, "a\u0344b", "aQb", 1},
        {{{"\u1F82", "Q"}}, "\u03B1\u0313\u0300\u0345|\u1F82", "\u03B1\u0313\u0300\u0345|Q", 1},
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

// The single-character pass against a plain reading of its rule: ASCII code
// points through the first entry for them, every other code point through
// the first entry whose `from` is canonically equivalent to it alone.
TEST(PreparedTranslationTableTest, SingleCharacterPassAgreesWithPlainModel)
{
    const char* const characters[] = {"a", "/", "K", "\r", "\r\n", "\u00E9", "e\u0301", "\u0301", "\u00C5", "A\u030A", "\u212B",
        "\u212A", "\u0958", "\u0915\u093C", "\u0344", "\u0308\u0301", "\u1F82", "\uAC00", "\u1100\u1161", "\u200B",
        "\U0001F1E9", "\U0001F1E9\U0001F1EA"};
    const auto pick = [&characters](std::mt19937& rng) { return std::string(characters[rng() % std::size(characters)]); };
    std::mt19937 rng(20261210);
    for (int round = 0; round < 2000; ++round) {
        std::vector<TranslationEntry> entries;
        for (int i = 0, n = 1 + static_cast<int>(rng() % 4); i < n; ++i) {
            std::string from = pick(rng);
            if (text::graphemeCount(from) == 1) {
                entries.push_back({std::move(from), std::string(1, static_cast<char>('0' + i))});
            }
        }
        std::string input;
        for (int i = 0, n = 1 + static_cast<int>(rng() % 5); i < n; ++i) {
            input += pick(rng);
        }

        std::string expected;
        std::int64_t expectedCount = 0;
        text::forEachCodePoint(input, [&](char32_t cp) {
            std::string character;
            text::appendUtf8(character, cp);
            for (const TranslationEntry& entry : entries) {
                const bool asciiKey = entry.from.size() == 1 && static_cast<unsigned char>(entry.from[0]) < 0x80;
                if (cp < 0x80 ? entry.from == character : !asciiKey && text::canonicallyEqual(entry.from, character)) {
                    expected += entry.to;
                    ++expectedCount;
                    return;
                }
            }
            expected += character;
        });

        const auto applied = PreparedTranslationTable(entries).apply(input);
        ASSERT_EQ(applied.text, expected) << "round " << round;
        ASSERT_EQ(applied.count, expectedCount) << "round " << round;
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
