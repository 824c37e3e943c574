#include "Utf8.h"

#include <gtest/gtest.h>
#include <string>

namespace tess::test {
namespace {

TEST(Utf8Test, WellFormedOnly)
{
    struct Case {
        const char* name;
        std::string text;
        bool wellFormed;
    };
    const Case cases[] = {
        {"empty", "", true},
        {"ascii", "report.txt", true},
        {"two, three and four bytes", "\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", true},
        {"largest scalar", "\xF4\x8F\xBF\xBF", true},
        {"NUL is a character", std::string("a\0b", 3), true},
        {"overlong slash", "\xC0\xAF", false},
        {"overlong three bytes", "\xE0\x80\xAF", false},
        {"surrogate", "\xED\xA0\x80", false},
        {"past U+10FFFF", "\xF4\x90\x80\x80", false},
        {"lone continuation", "a\x80", false},
        {"cut short", "\xE2\x82", false},
        {"continuation missing", "\xC3(", false},
        {"five-byte lead", "\xF8\x88\x80\x80\x80", false},
        {"Latin-1", "caf\xE9", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utf8::isWellFormed(c.text), c.wellFormed);
    }
}

}  // namespace
}  // namespace tess::test
