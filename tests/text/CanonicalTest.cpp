#include "text/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace tess::text {
namespace {

using namespace std::string_literals;

struct Forms {
    std::string composed;  // NFC
    std::string decomposed;  // NFD
    std::vector<std::string> others;  // further canonically equivalent spellings
};

const Forms kForms[] = {
    {"\u00E9", "e\u0301", {}},
    {"Caf\u00E9.txt", "Cafe\u0301.txt", {}},
    {"\u00C5", "A\u030A", {"\u212B"}},  // Angstrom sign
    {"K", "K", {"\u212A"}},  // Kelvin sign: non-ASCII text whose NFC is ASCII
    {"\uD55C", "\u1112\u1161\u11AB", {}},  // Hangul syllable and its jamo
    {"\u1EAD", "a\u0323\u0302", {"a\u0302\u0323", "\u00E2\u0323", "\u1EA1\u0302"}},  // mark order
    {"\u00E9\0\u00E9"s, "e\u0301\0e\u0301"s, {"\u00E9\0e\u0301"s}},
};

TEST(Normalization, ComposesDecomposesAndDetectsNfc)
{
    for (const Forms& f : kForms) {
        SCOPED_TRACE(testing::PrintToString(f.composed));
        EXPECT_EQ(nfc(f.decomposed), f.composed);
        EXPECT_EQ(nfd(f.composed), f.decomposed);
        EXPECT_EQ(nfc(f.composed), f.composed);
        EXPECT_TRUE(isNfc(f.composed));
        EXPECT_EQ(isNfc(f.decomposed), f.decomposed == f.composed);
        for (const std::string& other : f.others) {
            EXPECT_EQ(nfc(other), f.composed);
            EXPECT_FALSE(isNfc(other));
        }
    }
}

TEST(Normalization, EquivalentSpellingsAreEqualAndHashAlike)
{
    for (const Forms& f : kForms) {
        SCOPED_TRACE(testing::PrintToString(f.composed));
        std::vector<std::string> spellings = f.others;
        spellings.push_back(f.composed);
        spellings.push_back(f.decomposed);
        for (const std::string& a : spellings) {
            for (const std::string& b : spellings) {
                EXPECT_TRUE(canonicallyEqual(a, b)) << testing::PrintToString(a) << " vs " << testing::PrintToString(b);
                EXPECT_EQ(canonicalHash(a), canonicalHash(b));
                EXPECT_EQ(canonicalCompare(a, b), 0);
            }
        }
    }

    const std::pair<std::string, std::string> different[] = {
        {"e", "\u00E9"}, {"K", "k"}, {"a", "a\0"s}, {"a\0b"s, "a\0c"s}, {"\u00C5", "A"}, {"", "\u0301"}};
    for (const auto& [a, b] : different) {
        EXPECT_FALSE(canonicallyEqual(a, b)) << testing::PrintToString(a) << " vs " << testing::PrintToString(b);
        EXPECT_NE(canonicalCompare(a, b), 0);
    }
}

TEST(Normalization, CanonicalFunctorsMakeEquivalentKeysOneKey)
{
    std::unordered_map<std::string, int, CanonicalHash, CanonicalEqual> map;
    map["Cafe\u0301"] = 1;
    map["Caf\u00E9"] += 1;
    map["\u212A"] = 5;
    EXPECT_EQ(map.size(), 2u);
    EXPECT_EQ(map.at("Caf\u00E9"), 2);
    ASSERT_NE(map.find(std::string_view("K")), map.end());
    EXPECT_EQ(map.find(std::string_view("K"))->second, 5);
    EXPECT_EQ(map.count("k"), 0u);

    std::set<std::string, CanonicalLess> set {"A\u030A", "\u212B", "\u00C5", "B", "a"};
    EXPECT_EQ(set.size(), 3u);
    EXPECT_TRUE(set.contains(std::string_view("\u00C5")));
}

TEST(Normalization, OrderIsCodePointOrderOfTheNfcForms)
{
    struct Case {
        std::string a;
        std::string b;
        int expected;
    };
    const Case cases[] = {
        {"a", "b", -1},
        {"B", "a", -1},  // no case folding
        {"abc", "ab", 1},
        {"", "a", -1},
        {"a", "a\0"s, -1},
        {"e\u0301", "f", 1},  // NFC é (U+00E9) sorts after f, its raw NFD bytes would not
        {"\u212A", "L", -1},  // Kelvin sign orders as K
        {"\u00E9", "\u00FF", -1},
        {"\U0001F600", "\uFFFD", 1},  // code-point order, not UTF-16 order
        {"z", "\u00E9", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.a) + " vs " + testing::PrintToString(c.b));
        EXPECT_EQ(canonicalCompare(c.a, c.b), c.expected);
        EXPECT_EQ(canonicalCompare(c.b, c.a), -c.expected);
        EXPECT_EQ(CanonicalLess {}(c.a, c.b), c.expected < 0);
    }
}

TEST(CodePoints, RoundTripAndReplaceWhatIsNotAScalarValue)
{
    const std::string text = "a\0\u00E9\u20AC\U0001F600"s;
    const std::u32string cps = {U'a', 0, 0xE9, 0x20AC, 0x1F600};
    EXPECT_EQ(toCodePoints(text), cps);
    EXPECT_EQ(fromCodePoints(cps), text);
    std::u32string seen;
    forEachCodePoint(text, [&](char32_t cp) { seen.push_back(cp); });
    EXPECT_EQ(seen, cps);

    std::string out;
    appendUtf8(out, 0xD800);
    appendUtf8(out, 0x110000);
    appendUtf8(out, 0x10FFFF);
    EXPECT_EQ(out, "\uFFFD\uFFFD\U0010FFFF");
}

}  // namespace
}  // namespace tess::text
