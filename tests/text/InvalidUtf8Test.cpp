#include "text/Text.h"

#include <gtest/gtest.h>

#include <string>

namespace tess::text {
namespace {

using namespace std::string_literals;

struct Reading {
    const char* what;
    std::string bytes;
    std::string expected;  // Windows-1252 reading of every invalid byte
};

const Reading kReadings[] = {
    {"lone continuation byte", "a\x80z", "a\u20ACz"},
    {"truncated sequence", "\xE2\x82", "\u00E2\u201A"},
    {"truncated sequence before ASCII", "\xE2\x82x", "\u00E2\u201Ax"},
    {"truncated sequence before a valid one", "\xE2\xE2\x82\xAC", "\u00E2\u20AC"},
    {"overlong two-byte encoding", "\xC0\xAF", "\u00C0\u00AF"},
    {"overlong three-byte encoding", "\xE0\x80\xAF", "\u00E0\u20AC\u00AF"},
    {"surrogate encoding", "\xED\xA0\x80", "\u00ED\u00A0\u20AC"},
    {"past U+10FFFF", "\xF4\x90\x80\x80", "\u00F4\uFFFD\u20AC\u20AC"},
    {"0xFF", "\xFF", "\u00FF"},
    {"0x81 (undefined)", "\x81", "\uFFFD"},
    {"every undefined byte", "\x81\x8D\x8F\x90\x9D", "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"after a long ASCII run", "abcdefghijklmnop\x85", "abcdefghijklmnop\u2026"},
    {"with embedded NUL", "\0\x9F\0"s, "\0\u0178\0"s},
    {"before a combining mark", "\xE9\xCC\x81", "\u00E9\u0301"},
};

TEST(InvalidUtf8, EachInvalidByteReadsAsWindows1252)
{
    for (const Reading& r : kReadings) {
        SCOPED_TRACE(r.what);
        EXPECT_FALSE(isValidUtf8(r.bytes));
        EXPECT_FALSE(isAscii(r.bytes));
        EXPECT_TRUE(isValidUtf8(r.expected));
        EXPECT_EQ(toValidUtf8(r.bytes), r.expected);
        EXPECT_EQ(toCodePoints(r.bytes), toCodePoints(r.expected));
    }
}

TEST(InvalidUtf8, EveryFunctionWorksOnTheReading)
{
    for (const Reading& r : kReadings) {
        SCOPED_TRACE(r.what);
        const std::string& bad = r.bytes;
        const std::string& good = r.expected;

        EXPECT_EQ(nfc(bad), nfc(good));
        EXPECT_EQ(nfd(bad), nfd(good));
        EXPECT_FALSE(isNfc(bad)) << "nfc() changes these bytes";
        EXPECT_TRUE(canonicallyEqual(bad, good));
        EXPECT_EQ(canonicalHash(bad), canonicalHash(good));
        EXPECT_EQ(canonicalCompare(bad, good), 0);
        EXPECT_EQ(toUpper(bad), toUpper(good));
        EXPECT_EQ(toLower(bad), toLower(good));
        EXPECT_EQ(containsControl(bad), containsControl(good));
        EXPECT_EQ(graphemeCount(bad), graphemeCount(good));

        std::string joined;
        forEachGrapheme(bad, [&](std::string_view cluster) {
            joined += cluster;
            return true;
        });
        EXPECT_EQ(joined, good);

        for (std::size_t budget = 0; budget <= good.size(); ++budget) {
            const std::string cut = truncateToBytes(bad, budget);
            EXPECT_EQ(cut, truncateToBytes(good, budget));
            EXPECT_TRUE(isValidUtf8(cut));
        }
    }
}

TEST(InvalidUtf8, ValidTextIsLeftAlone)
{
    const std::string valid[] = {"", "plain", "\0"s, "\u00E9\u20AC\U0001F600", "\xEF\xBF\xBF", "\xF4\x8F\xBF\xBF", "\xC2\x80"};
    for (const std::string& s : valid) {
        SCOPED_TRACE(testing::PrintToString(s));
        EXPECT_TRUE(isValidUtf8(s));
        EXPECT_EQ(toValidUtf8(s), s);
    }
}

// The display text keeps valid runs and writes each invalid byte as \xhh,
// the text Python's decode('utf-8', 'backslashreplace') gives.
TEST(InvalidUtf8, DisplayPathEscapesEachInvalidByte)
{
    struct Case {
        const char* what;
        std::string bytes;
        std::string shown;
    };
    const Case cases[] = {
        {"Latin-1 name", "twin/caf\xe9.txt", "twin/caf\\xe9.txt"},
        {"lone continuation byte", "a\x80z", "a\\x80z"},
        {"truncated sequence", "\xE2\x82", "\\xe2\\x82"},
        {"truncated sequence before a valid one", "\xE2\xE2\x82\xAC", "\\xe2\u20AC"},
        {"overlong encoding", "\xC0\xAF", "\\xc0\\xaf"},
        {"surrogate encoding", "\xED\xA0\x80", "\\xed\\xa0\\x80"},
        {"past U+10FFFF", "\xF4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
        {"every byte 0x80 to 0xFF alone", "\xFF\x81", "\\xff\\x81"},
        {"after a long ASCII run", "abcdefghijklmnop\x85", "abcdefghijklmnop\\x85"},
        {"with embedded NUL", "\0\x9F\0"s, "\0\\x9f\0"s},
        {"before a combining mark", "\xE9\xCC\x81", "\\xe9\u0301"},
        {"a backslash beside the invalid byte", "a\\\xFF", "a\\\\xff"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(displayPath(c.bytes), c.shown);
        EXPECT_TRUE(isValidUtf8(c.shown));
        std::string appended = "prefix/";
        appendDisplayPath(appended, c.bytes);
        EXPECT_EQ(appended, "prefix/" + c.shown);
    }
    // Two names that the analysis reads alike stay apart when shown.
    EXPECT_EQ(toValidUtf8("caf\xe9"), "caf\u00E9");
    EXPECT_NE(displayPath("caf\xe9"), displayPath("caf\u00E9"));
}

TEST(InvalidUtf8, DisplayPathLeavesValidTextAsItIs)
{
    const std::string valid[] = {"", "plain/path.txt", "\0"s, "caf\u00E9/\U0001F600", "a\\xe9 literal", "=SUM(A1)\t\r\n", "\xEF\xBF\xBF"};
    for (const std::string& s : valid) {
        SCOPED_TRACE(testing::PrintToString(s));
        EXPECT_EQ(displayPath(s), s);
    }
}

}  // namespace
}  // namespace tess::text
