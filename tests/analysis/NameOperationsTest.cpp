#include "AnalyzerTestSupport.h"

#include "analysis/NameOperations.h"
#include "analysis/PerItemPasses.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tess {
namespace {

using test::plainSettings;
using Issue = FileTransformationIssue;

TEST(NameOperations, SplitExtension)
{
    struct Case {
        std::string name;
        std::string base;
        std::string extension;
    };
    const std::vector<Case> cases = {
        {"report.final.pdf", "report", ".final.pdf"},
        {".bashrc", ".bashrc", ""},
        {".config.json", ".config", ".json"},
        {".", "", "."},
        {"..", ".", "."},
        {"name.", "name", "."},
        {"notes", "notes", ""},
        {"", "", ""},
        {"r\xC3\xA9sum\xC3\xA9.tar.gz", "r\xC3\xA9sum\xC3\xA9", ".tar.gz"},
        // A full stop carrying a combining mark is not a full stop.
        {"a.\xCC\x81x.txt", "a.\xCC\x81x", ".txt"},
        {".\xC3\xA9", ".\xC3\xA9", ""},
    };
    for (const Case& c : cases) {
        const auto [base, extension] = NameOperations::splitExtension(c.name);
        EXPECT_EQ(base, c.base) << c.name;
        EXPECT_EQ(extension, c.extension) << c.name;
    }
}

TEST(NameOperations, SplitVersionSuffix)
{
    struct Case {
        std::string base;
        std::string stem;
        std::string suffix;
    };
    const std::vector<Case> cases = {
        {"report_2", "report", "_2"},
        {"x__3", "x_", "_3"},
        {"_12", "_12", ""},
        {"a_", "a_", ""},
        {"page2", "page2", ""},
        {"123", "123", ""},
        {"a_1_2", "a_1", "_2"},
        {"a_1b", "a_1b", ""},
        // Number characters beyond ASCII digits.
        {"v_\xD9\xA3", "v", "_\xD9\xA3"},  // ARABIC-INDIC DIGIT THREE
        {"\xC3\xA9_\xC2\xBD", "\xC3\xA9", "_\xC2\xBD"},  // VULGAR FRACTION ONE HALF
    };
    for (const Case& c : cases) {
        const auto [stem, suffix] = NameOperations::splitVersionSuffix(c.base);
        EXPECT_EQ(stem, c.stem) << c.base;
        EXPECT_EQ(suffix, c.suffix) << c.base;
    }
}

TEST(NameOperations, TruncateToUtf8BytesNeverSplitsACharacter)
{
    struct Case {
        std::string text;
        std::int64_t budget;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"abc", 5, "abc"},
        {"abc", 3, "abc"},
        {"abc", 2, "ab"},
        {"abc", 0, ""},
        {"abc", -4, ""},
        {"\xC3\xA9", 1, ""},
        {"e\xCC\x81x", 2, ""},
        {"e\xCC\x81x", 3, "e\xCC\x81"},
        {"a\r\nb", 2, "a"},  // CR LF is one character
        {"\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7!", 7, ""},  // a flag is one character of 8 bytes
        {"\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7!", 8, "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NameOperations::truncateToUtf8Bytes(c.text, c.budget), c.expected) << c.text << " @" << c.budget;
    }
}

TEST(NameOperations, TruncateLastComponentAndPrefix)
{
    EXPECT_EQ(NameOperations::truncateLastComponent("a/bcdef", 3), "a/bcd");
    EXPECT_EQ(NameOperations::truncateLastComponent("abc.def", 5), "abc.d");
    EXPECT_EQ(NameOperations::truncateLastComponent("a/\xC3\xA9", 1), "a/_");
    EXPECT_EQ(NameOperations::prefixReservedName("a/CON.txt"), "a/file_CON.txt");
    EXPECT_EQ(NameOperations::prefixReservedName("CON"), "file_CON");
}

TEST(NameOperations, FitFileNameKeepsExtensionAndVersionSuffix)
{
    const PerItemPasses passes(plainSettings(), 3);
    PerItemPasses::Issues issues;
    EXPECT_EQ(passes.fitFileName("d/quarterly_report_2.txt", 17, issues), "d/quarterly_r_2.txt");
    EXPECT_EQ(passes.fitFileName("caf\xC3\xA9s.txt", 8, issues), "caf.txt");  // é does not fit in byte 4
    EXPECT_EQ(passes.fitFileName(".bashrc_history", 6, issues), ".bashr");
    EXPECT_TRUE(issues.empty());
}

TEST(NameOperations, CollapseSeparatorRunsKeepsHighestRankFirstAmongEquals)
{
    auto settings = plainSettings();
    settings.repeatedSeparatorCharacters = {".", "-", "_", " ", "\xE3\x80\x80"};  // + IDEOGRAPHIC SPACE
    const PerItemPasses passes(settings, 3);
    EXPECT_EQ(passes.collapseSeparatorRuns("a \xE3\x80\x80 b"), "a b");
    EXPECT_EQ(passes.collapseSeparatorRuns("a\xE3\x80\x80\xE3\x80\x80"
                                           "b"),
        "a\xE3\x80\x80"
        "b");
    EXPECT_EQ(passes.collapseSeparatorRuns("--x__"), "-x_");
    EXPECT_EQ(passes.collapseSeparatorRuns("a_._b"), "a.b");
    EXPECT_EQ(passes.collapseSeparatorRuns(""), "");
}

TEST(NameOperations, RawBytesOfANameThatIsNotUtf8AreOneCharacterEach)
{
    // Raw names never reach these operations through the passes, but the
    // operations are public: each byte of an invalid sequence must count as
    // one character, and every piece handed back is a piece of the input.
    struct SplitCase {
        std::string name;
        std::string base;
        std::string extension;
    };
    const std::vector<SplitCase> splits = {
        {"\x80\x80.", "\x80\x80", "."},
        {"caf\xE9.tar.gz", "caf\xE9", ".tar.gz"},
        {".\xE9", ".\xE9", ""},
        {"\xE9\xC3\xA9.\xFF", "\xE9\xC3\xA9", ".\xFF"},
    };
    for (const SplitCase& c : splits) {
        const auto [base, extension] = NameOperations::splitExtension(c.name);
        EXPECT_EQ(base, c.base);
        EXPECT_EQ(extension, c.extension);
    }
    const auto [stem, suffix] = NameOperations::splitVersionSuffix("\x80\x80_12");
    EXPECT_EQ(stem, "\x80\x80");
    EXPECT_EQ(suffix, "_12");

    auto settings = plainSettings();
    settings.repeatedSeparatorCharacters = {".", "-", "_", " "};
    settings.stripLeadingCharacters = {"-"};
    settings.stripTrailingCharacters = {" ", "."};
    const PerItemPasses passes(settings, 3);
    EXPECT_EQ(passes.collapseSeparatorRuns("a\x80--\x80__b"), "a\x80-\x80_b");
    EXPECT_EQ(passes.collapseSeparatorRuns("\x80\xC3\xA9 -"), "\x80\xC3\xA9-");
    std::vector<std::string> trimmed;
    EXPECT_EQ(passes.stripComponent("--\xE9\xC3\xA9. ", trimmed), "\xE9\xC3\xA9");
    EXPECT_EQ(passes.dropTrailingStripCharacters("\x80\xC3\xA9. "), "\x80\xC3\xA9");
}

}  // namespace
}  // namespace tess
