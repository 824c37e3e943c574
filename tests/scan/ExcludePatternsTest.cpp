#include "scan/CompiledExcludePatterns.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tess {
namespace {

struct MatchCase {
    std::vector<std::string> patterns;
    std::string name;
    bool excluded;
};

// The case as test names and failure messages show it (the same on every run).
void PrintTo(const MatchCase& c, std::ostream* out)
{
    *out << (c.excluded ? "excluded" : "kept");
}

class ExcludePatternMatching : public ::testing::TestWithParam<MatchCase> { };

TEST_P(ExcludePatternMatching, MatchesNameAsSpecified)
{
    const MatchCase& c = GetParam();
    const auto compiled = CompiledExcludePatterns::compile(c.patterns);
    EXPECT_EQ(compiled.isExcluded(c.name), c.excluded) << "pattern " << ::testing::PrintToString(c.patterns) << " name " << c.name;
    // A long-lived matcher (as the walk keeps per worker) answers the same,
    // also when asked twice.
    CompiledExcludePatterns::Matcher matcher(compiled);
    EXPECT_EQ(matcher.isExcluded(c.name), c.excluded);
    EXPECT_EQ(matcher.isExcluded(c.name), c.excluded);
}

INSTANTIATE_TEST_SUITE_P(Table, ExcludePatternMatching,
    ::testing::Values(
        // The default wildcard: whole name, any case, a leading dot included.
        MatchCase {{"*.tmp"}, "a.tmp", true}, MatchCase {{"*.tmp"}, "B.TMP", true}, MatchCase {{"*.tmp"}, ".tmp", true},
        MatchCase {{"*.tmp"}, "a.tmp.bak", false}, MatchCase {{"*.tmp"}, "atmp", false},
        // "?" is exactly one character.
        MatchCase {{"?.log"}, "x.log", true}, MatchCase {{"?.log"}, "xy.log", false}, MatchCase {{"?.log"}, ".log", false},
        MatchCase {{"?.log"}, "\xC3\xA9.log", true},  // é, one character outside ASCII
        // Slash patterns are searched anywhere, ignoring case, unless anchored.
        MatchCase {{"/^build$/"}, "Build", true}, MatchCase {{"/^build$/"}, "builder", false},
        MatchCase {{"/cache/"}, "MyCache.db", true},
        // Exact names ignore case but must be whole.
        MatchCase {{"node_modules"}, "Node_Modules", true}, MatchCase {{"node_modules"}, "node_modules2", false},
        MatchCase {{"Stra\xC3\x9F"
                    "e"},
            "STRASSE", true},
        // A pattern that does not compile is dropped; the others still work.
        MatchCase {{"/(/", "*.tmp"}, "a.tmp", true}, MatchCase {{"/(/", "*.tmp"}, "(", false},
        // Two slashes are an exact name; "/a/" is the expression "a"; "/abc"
        // is an exact name.
        MatchCase {{"//"}, "a", false}, MatchCase {{"/a/"}, "CAT", true}, MatchCase {{"/a/"}, "dog", false},
        MatchCase {{"/abc"}, "abc", false},
        // A path is an exact name, and names hold no slash.
        MatchCase {{"docs/old"}, "old", false}, MatchCase {{"docs/old"}, "docs", false},
        // The dot of a wildcard is literal.
        MatchCase {{"a.b*"}, "a.bc", true}, MatchCase {{"a.b*"}, "axbc", false},
        // An empty pattern matches nothing.
        MatchCase {{""}, "x", false},
        // Names outside ASCII and names that are not UTF-8 go through the
        // regular expressions.
        MatchCase {{"*.tmp"}, "\xC3\x84rger.TMP", true}, MatchCase {{"*.tmp"}, "bad\xFF.tmp", true},
        MatchCase {{"*.tmp"}, "bad\xFF.txt", false},
        // Other regular-expression characters of a wildcard are literal.
        MatchCase {{"a+(1)*"}, "a+(1).txt", true}, MatchCase {{"a+(1)*"}, "aa1.txt", false},
        MatchCase {{"[ab]*"}, "a.txt", false}, MatchCase {{"[ab]*"}, "[ab].txt", true}),
    [](const ::testing::TestParamInfo<MatchCase>& param) {
        return std::to_string(param.index) + (param.param.excluded ? "Excluded" : "Kept");
    });

TEST(CompiledExcludePatterns, SortsPatternsIntoExpressionsAndExactNames)
{
    const auto compiled = CompiledExcludePatterns::compile({"*.tmp", "/(/", "//", "/a/", "/abc", "node_modules", "?.log", ""});
    EXPECT_EQ(compiled.regexPatterns(), (std::vector<std::string> {"^.*\\.tmp$", "a", "^.\\.log$"}));
    EXPECT_EQ(compiled.exactPatterns(), (std::vector<std::string> {"//", "/abc", "node_modules", ""}));

    const auto none = CompiledExcludePatterns::compile({});
    EXPECT_TRUE(none.regexPatterns().empty());
    EXPECT_TRUE(none.exactPatterns().empty());
    EXPECT_FALSE(none.isExcluded("anything"));
}

TEST(CompiledExcludePatterns, SlashPatternHoldingWildcardsIsARegularExpression)
{
    const auto compiled = CompiledExcludePatterns::compile({"/^x.*y$/"});
    EXPECT_EQ(compiled.regexPatterns(), (std::vector<std::string> {"^x.*y$"}));
    EXPECT_TRUE(compiled.isExcluded("XabcY"));
    EXPECT_FALSE(compiled.isExcluded("x.*y!"));
}

}  // namespace
}  // namespace tess
