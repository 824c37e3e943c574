#include "AnalyzerTestSupport.h"

#include "analysis/NameOperations.h"
#include "analysis/PerItemPasses.h"
#include "analysis/SourceFileAnalyzer.h"
#include "rules/RuleTypes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tess {
namespace {

using test::AnalyzerLogSink;
using test::plainSettings;
using Issue = FileTransformationIssue;
using Issues = PerItemPasses::Issues;

struct Outcome {
    std::string path;
    Issues issues;
};

Outcome encode(TargetEncoding encoding, std::string path)
{
    auto settings = plainSettings();
    settings.targetEncoding = encoding;
    const PerItemPasses passes(settings, 3);
    TransliterationCaches caches;
    Outcome out {std::move(path), {}};
    passes.applyEncoding(out.path, out.issues, caches);
    return out;
}

TEST(EncodingPass, Table)
{
    struct Case {
        TargetEncoding encoding;
        std::string input;
        std::string expected;
        bool reported;
    };
    const std::vector<Case> cases = {
        {TargetEncoding::asciiOnly, "Résumé/Ça.txt", "Resume/Ca.txt", true},
        {TargetEncoding::asciiOnly, "Москва/план.txt", "Moskva/plan.txt", true},
        // A component without any Latin form would become empty: "_" instead.
        {TargetEncoding::asciiOnly, "\xF0\x9F\x98\x80/a.txt", "_/a.txt", true},
        // Latin letters without an ASCII base are dropped after diacritic removal.
        {TargetEncoding::asciiOnly, "Straße", "Strae", true},
        {TargetEncoding::asciiOnly, "plain/ascii.txt", "plain/ascii.txt", false},
        // U+212A KELVIN SIGN is canonically "K": changed bytes, equal text.
        {TargetEncoding::asciiOnly, "\xE2\x84\xAA", "K", false},
        {TargetEncoding::utf8Basic, "a\xF0\x9F\x98\x80"
                                    "b.txt",
            "ab.txt", true},
        {TargetEncoding::utf8Basic, "x/\xF0\x9F\x98\x80", "x/_", true},
        {TargetEncoding::utf8Basic, "Ça/日本.txt", "Ça/日本.txt", false},
        {TargetEncoding::utf8FullNFC, "e\xCC\x81.txt", "\xC3\xA9.txt", true},
        {TargetEncoding::utf8FullNFC, "\xC3\xA9.txt", "\xC3\xA9.txt", false},
        {TargetEncoding::utf8Full, "e\xCC\x81\xF0\x9F\x98\x80", "e\xCC\x81\xF0\x9F\x98\x80", false},
    };
    for (const Case& c : cases) {
        const Outcome out = encode(c.encoding, c.input);
        EXPECT_EQ(out.path, c.expected) << c.input;
        if (c.reported) {
            EXPECT_THAT(out.issues, ::testing::ElementsAre(Issue(Issue::EncodingTransformed {c.input, c.expected})))
                << c.input;
        } else {
            EXPECT_TRUE(out.issues.empty()) << c.input;
        }
    }
}

TEST(EncodingPass, InvalidUtf8ReadsAsWindows1252AndIsReportedOnce)
{
    const std::string raw = "dir/caf\xE9 \x80.txt";  // é and € in Windows-1252
    for (const auto encoding : TargetEncoding::allCases()) {
        const Outcome out = encode(encoding, raw);
        // Any-Latin keeps the euro sign, which then falls outside ASCII.
        const std::string expected = encoding == TargetEncoding::asciiOnly ? "dir/cafe .txt" : "dir/caf\xC3\xA9 \xE2\x82\xAC.txt";
        EXPECT_EQ(out.path, expected);
        EXPECT_THAT(out.issues, ::testing::ElementsAre(Issue(Issue::EncodingTransformed {raw, expected})));
    }
}

TEST(EncodingPass, TransliterationIsCachedPerComponent)
{
    TransliterationCaches caches;
    EXPECT_EQ(NameOperations::transliterateComponent("Ça", caches), "Ca");
    EXPECT_EQ(NameOperations::transliterateComponent("Ça", caches), "Ca");
    EXPECT_EQ(NameOperations::transliterateComponent("plain", caches), "plain");
    EXPECT_EQ(NameOperations::transliterateComponent("", caches), "");
    EXPECT_EQ(caches.latinCacheSize(), 1u);
    EXPECT_EQ(caches.strippedCacheSize(), 1u);
}

Outcome translate(const std::vector<TranslationEntry>& entries, std::string path)
{
    auto settings = plainSettings();
    settings.translationTable.entries = entries;
    const PerItemPasses passes(settings, 3);
    Outcome out {std::move(path), {}};
    passes.applyTranslationTable(out.path, out.issues);
    return out;
}

TEST(TranslationPass, Table)
{
    struct Case {
        std::vector<TranslationEntry> entries;
        std::string input;
        std::string expected;
        std::vector<std::string> characters;  // empty with no issue expected: see `reported`
        bool reported;
    };
    const std::vector<Case> cases = {
        {{{":", "_"}, {"?", ""}}, "a:b/c?d", "a_b/cd", {":", "?"}, true},
        // Distinct characters, in order of appearance.
        {{{":", "_"}, {"?", ""}}, "a::b/?x?", "a__b/x", {":", "?"}, true},
        // "/" never matches: the table works on components.
        {{{"/", "_"}}, "a/b", "a/b", {}, false},
        // A component the table would empty becomes "_".
        {{{"?", ""}}, "x/?", "x/_", {"?"}, true},
        // ... and the list still names every character the table took out.
        {{{"_", ""}}, "x/__", "x/_", {"_"}, true},
        {{{"_", ""}, {"-", ""}}, "a_b/_-", "ab/_", {"_", "-"}, true},
        // A replacement holding "/" gets "_" in its place.
        {{{":", "a/b"}}, "x:y", "xa_by", {":"}, true},
        // A precomposed letter matches a decomposed key.
        {{{"e\xCC\x81", "e"}}, "caf\xC3\xA9", "cafe", {"\xC3\xA9"}, true},
        {{{"#", "_"}}, "nothing/here", "nothing/here", {}, false},
    };
    for (const Case& c : cases) {
        const Outcome out = translate(c.entries, c.input);
        EXPECT_EQ(out.path, c.expected) << c.input;
        if (c.reported) {
            EXPECT_THAT(out.issues, ::testing::ElementsAre(Issue(Issue::CharacterTransformed {c.characters, c.input, c.expected})))
                << c.input;
        } else {
            EXPECT_TRUE(out.issues.empty()) << c.input;
        }
    }
}

TEST(TranslationPass, AReplacementThatLeavesTheTextEqualIsStillReported)
{
    // é to its decomposed form: counted as a replacement, canonically equal.
    const Outcome out = translate({{"\xC3\xA9", "e\xCC\x81"}}, "caf\xC3\xA9");
    ASSERT_EQ(out.issues.size(), 1u);
    const auto& issue = out.issues[0].as<Issue::CharacterTransformed>();
    EXPECT_TRUE(issue.characters.empty());
    EXPECT_TRUE(text::canonicallyEqual(issue.from, issue.to));
}

Outcome strip(const CanonicalStringSet& leading, const CanonicalStringSet& trailing, std::string path)
{
    auto settings = plainSettings();
    settings.stripLeadingCharacters = leading;
    settings.stripTrailingCharacters = trailing;
    const PerItemPasses passes(settings, 3);
    Outcome out {std::move(path), {}};
    passes.stripCharacters(out.path, out.issues);
    return out;
}

TEST(StripPass, Table)
{
    const CanonicalStringSet leading = {" ", "#", "-"};
    const CanonicalStringSet trailing = {" ", "."};
    struct Case {
        std::string input;
        std::string expected;
        std::vector<std::string> trimmed;
    };
    const std::vector<Case> cases = {
        {"# notes ./x.", "notes/x", {"# notes .", "x."}},
        // A component of strip characters only becomes "_".
        {"a/.../b", "a/_/b", {"..."}},
        // Equal components stripped at the leading end are listed twice.
        {"-a/-a", "a/a", {"-a", "-a"}},
        // Stripped at both ends: listed once.
        {"-a.", "a", {"-a."}},
        {"inner -.# stays", "inner -.# stays", {}},
        {"", "", {}},
    };
    for (const Case& c : cases) {
        const Outcome out = strip(leading, trailing, c.input);
        EXPECT_EQ(out.path, c.expected) << c.input;
        if (c.trimmed.empty()) {
            EXPECT_TRUE(out.issues.empty()) << c.input;
        } else {
            EXPECT_THAT(out.issues, ::testing::ElementsAre(Issue(Issue::TrimmedCharacters {c.trimmed}))) << c.input;
        }
    }
}

TEST(StripPass, MembershipIsByCharacterUnderCanonicalEquivalence)
{
    // A decomposed é at the end matches the composed member; a "." carrying
    // a combining mark is not a full stop.
    EXPECT_EQ(strip({}, {"\xC3\xA9"}, "cafe\xCC\x81").path, "caf");
    EXPECT_EQ(strip({}, {"."}, "a.\xCC\x81").path, "a.\xCC\x81");
    EXPECT_EQ(strip({"\xC2\xA0"}, {}, "\xC2\xA0\xC2\xA0x").path, "x");
    EXPECT_TRUE(strip({}, {}, " a ").issues.empty());
}

Outcome collapse(std::string path)
{
    auto settings = plainSettings();
    settings.cleanRepeatedSeparators = true;
    settings.repeatedSeparatorCharacters = {".", "-", "_", " "};
    const PerItemPasses passes(settings, 3);
    Outcome out {std::move(path), {}};
    passes.collapseRepeatedSeparators(out.path, out.issues);
    return out;
}

TEST(SeparatorPass, Table)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a  -  b", "a-b"},
        {"a..b", "a.b"},
        {"a_b", "a_b"},
        {"a_-b", "a-b"},
        {"a-_b", "a-b"},
        {"a . b", "a.b"},
        {"x  y/p__q", "x y/p_q"},
        {"Ça  va", "Ça va"},
        {"-", "-"},
    };
    for (const auto& [input, expected] : cases) {
        const Outcome out = collapse(input);
        EXPECT_EQ(out.path, expected) << input;
        if (input == expected) {
            EXPECT_TRUE(out.issues.empty()) << input;
        } else {
            EXPECT_THAT(out.issues, ::testing::ElementsAre(Issue(Issue::RepeatedSeparators {input, expected}))) << input;
        }
    }
}

struct LimitsOutcome {
    std::string path;
    Issues issues;
    std::optional<std::string> tooDeep;
};

LimitsOutcome limits(const TransformationSettings& settings, std::string path, bool isDirectory, std::int64_t rootBytes = 3,
    AnalyzerLogSink* log = nullptr)
{
    const PerItemPasses passes(settings, rootBytes, log ? log->sink() : PerItemPasses::LogSink {});
    LimitsOutcome out {std::move(path), {}, std::nullopt};
    passes.enforceLimits(out.path, isDirectory, out.issues, out.tooDeep);
    return out;
}

TEST(LimitsPass, NameLength)
{
    auto settings = plainSettings();
    settings.maxFilenameLength = 255;
    settings.maxFolderNameLength = 255;
    const std::string exact = std::string(251, 'a') + ".txt";
    EXPECT_TRUE(limits(settings, "d/" + exact, false).issues.empty());

    const std::string over = std::string(252, 'a') + ".txt";
    const auto file = limits(settings, "d/" + over, false);
    EXPECT_THAT(file.issues, ::testing::ElementsAre(Issue(Issue::FilenameTooLong {256, 255})));
    EXPECT_EQ(file.path, "d/" + exact);

    const auto folder = limits(settings, "d/" + std::string(256, 'b'), true);
    EXPECT_THAT(folder.issues, ::testing::ElementsAre(Issue(Issue::FolderNameTooLong {256, 255})));
    EXPECT_EQ(folder.path, "d/" + std::string(255, 'b'));

    // A folder name whose first character alone exceeds the limit: "_".
    settings.maxFolderNameLength = 1;
    EXPECT_EQ(limits(settings, "x/\xC3\xA9", true).path, "x/_");
}

TEST(LimitsPass, UnresolvableReasons)
{
    auto settings = plainSettings();
    struct Case {
        std::int64_t limit;
        std::string name;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {8, "a_1.markdown", "Extension + version suffix '_1' (11 B) exceeds 8 B limit"},
        {8, "abcdefgh.markdown", "Extension (9 B) exceeds 8 B limit"},
        {9, "abcdefgh.markdown", "Extension (9 B) exceeds 9 B limit"},
        {5, "\xC3\xA9\xC3\xA9.txt", "No character fits in 1-byte base budget"},
    };
    for (const Case& c : cases) {
        settings.maxFilenameLength = c.limit;
        AnalyzerLogSink log;
        const auto out = limits(settings, "dir/" + c.name, false, 3, &log);
        EXPECT_EQ(out.path, "dir/" + c.name);
        ASSERT_EQ(out.issues.size(), 2u) << c.name;
        EXPECT_TRUE(out.issues[0].is<Issue::FilenameTooLong>());
        EXPECT_EQ(out.issues[1], Issue(Issue::FilenameUnresolvable {c.reason}));
        EXPECT_THAT(log.lines(), ::testing::ElementsAre("INFO Analyzer: unresolvable '" + c.name + "' — " + c.reason));
    }
}

TEST(LimitsPass, Depth)
{
    auto settings = plainSettings();
    settings.maxPathDepth = 3;
    EXPECT_TRUE(limits(settings, "a/b/c.txt", false).issues.empty());
    const auto file = limits(settings, "a/b/c/d.txt", false);
    EXPECT_THAT(file.issues, ::testing::ElementsAre(Issue(Issue::PathTooDeep {4, 3})));
    EXPECT_FALSE(file.tooDeep.has_value());

    const auto folder = limits(settings, "a/b/c", true);
    EXPECT_THAT(folder.issues, ::testing::ElementsAre(Issue(Issue::PathTooDeep {3, 3})));
    EXPECT_EQ(folder.tooDeep, "a/b/c");
    EXPECT_TRUE(limits(settings, "a/b", true).issues.empty());

    // The recorded folder path is the one after the name-length cut.
    settings.maxFolderNameLength = 2;
    EXPECT_EQ(limits(settings, "a/b/cdef", true).tooDeep, "a/b/cd");
}

TEST(LimitsPass, PathLength)
{
    auto settings = plainSettings();
    settings.maxPathLength = 1023;
    const std::string fits = std::string(500, 'a') + "/" + std::string(519, 'b');
    ASSERT_EQ(fits.size(), 1020u);
    EXPECT_TRUE(limits(settings, fits, false, 3).issues.empty());
    const auto over = limits(settings, fits + "c", false, 3);
    EXPECT_THAT(over.issues, ::testing::ElementsAre(Issue(Issue::PathTooLong {1024, 1023})));
    EXPECT_EQ(over.path, fits + "c");
}

TEST(LimitsPass, ReservedNames)
{
    auto settings = plainSettings();
    settings.reservedNames = {"CON", "NUL", "aux", ".", ".."};
    struct Case {
        std::string path;
        bool isDirectory;
        std::string expected;
        std::optional<std::string> matched;
    };
    const std::vector<Case> cases = {
        {"d/con.txt", false, "d/file_con.txt", "CON"},
        {"Nul", true, "file_Nul", "NUL"},
        {"CON_2.txt", false, "CON_2.txt", std::nullopt},
        {"con.d", true, "con.d", std::nullopt},  // a folder's whole name counts
        // Entries match whatever case they were entered in.
        {"AUX.log", false, "file_AUX.log", "AUX"},
        // A file whose whole name is reserved.
        {"x/.", false, "x/file_.", "."},
        {"x/..", false, "x/file_..", "."},
        {"..", true, "file_..", ".."},
    };
    for (const Case& c : cases) {
        const auto out = limits(settings, c.path, c.isDirectory);
        EXPECT_EQ(out.path, c.expected) << c.path;
        if (c.matched) {
            EXPECT_THAT(out.issues, ::testing::ElementsAre(Issue(Issue::ReservedName {*c.matched}))) << c.path;
        } else {
            EXPECT_TRUE(out.issues.empty()) << c.path;
        }
    }
}

TEST(LimitsPass, ReservedNamesMatchThroughFullCaseMappingAndComposition)
{
    struct Case {
        CanonicalStringSet reserved;
        std::string name;
        bool isDirectory;
        std::optional<std::string> matched;
    };
    const CanonicalStringSet ascii = {"CON", "ffi", "KEY", "SS"};
    const std::vector<Case> cases = {
        {ascii, "\xEF\xAC\x83", true, "FFI"},  // U+FB03 LATIN SMALL LIGATURE FFI
        {ascii, "\xE2\x84\xAA"
                "ey.txt",
            false, "\xE2\x84\xAA"
                   "EY"},  // KELVIN SIGN: canonically K
        {ascii, "stra\xC3\x9F"
                "e",
            true, std::nullopt},
        {ascii, "\xC3\x9F", true, "SS"},
        {ascii, "c\xC3\xB3n.txt", false, std::nullopt},
        {ascii, "co\xCC\x81n", true, std::nullopt},  // a combining mark never composes into ASCII
        // A non-ASCII entry, in either normalisation form of the name.
        {{"\xC3\x84UX"}, "\xC3\xA4ux", true, "\xC3\x84UX"},
        {{"\xC3\x84UX"}, "a\xCC\x88ux.log", false, "A\xCC\x88UX"},
    };
    for (const Case& c : cases) {
        auto settings = plainSettings();
        settings.reservedNames = c.reserved;
        const auto out = limits(settings, "d/" + c.name, c.isDirectory);
        if (c.matched) {
            EXPECT_THAT(out.issues, ::testing::ElementsAre(Issue(Issue::ReservedName {*c.matched}))) << c.name;
            EXPECT_EQ(out.path, "d/file_" + c.name);
        } else {
            EXPECT_TRUE(out.issues.empty()) << c.name;
            EXPECT_EQ(out.path, "d/" + c.name);
        }
    }
}

TEST(LimitsPass, ANameGrownPastItsLimitByThePrefixIsFittedAgain)
{
    auto settings = plainSettings();
    settings.reservedNames = {"CON", "NUL"};
    settings.maxFilenameLength = 8;
    settings.maxFolderNameLength = 6;
    const auto file = limits(settings, "d/CON.txt", false);
    EXPECT_THAT(file.issues, ::testing::ElementsAre(Issue(Issue::ReservedName {"CON"})));
    EXPECT_EQ(file.path, "d/file.txt");
    const auto folder = limits(settings, "NUL", true);
    EXPECT_EQ(folder.path, "file_N");
}

// What phase 1 hands over for the item at `relative` under "/r".
SourceFileAnalyzer::Phase1Result phase1Record(const TransformationSettings& settings, const std::string& relative,
    bool isDirectory, SourceFileAnalyzer::LogSink sink = {})
{
    const SourceFileAnalyzer analyzer(settings, 3, std::move(sink));
    auto output = analyzer.runPhase1({{FileItem {"/r/" + relative, isDirectory}, relative, false}}, {});
    return std::move(output.results.at(0));
}

TEST(ProcessItem, IssuesStandInPassOrder)
{
    auto settings = plainSettings();
    settings.targetEncoding = TargetEncoding::asciiOnly;
    settings.translationTable.entries = {{":", "-"}};
    settings.stripTrailingCharacters = {"."};
    settings.cleanRepeatedSeparators = true;
    settings.maxFilenameLength = 10;
    settings.maxPathDepth = 1;
    settings.maxPathLength = 10;
    settings.reservedNames = {"co-tre"};
    const auto result = phase1Record(settings, "d\xC3\xA9j\xC3\xA0/Co-:- tr\xC3\xA8s.txt.", false,
        [](std::string, std::string_view, std::string_view, int) {});
    std::vector<std::string_view> keys;
    for (const auto& issue : result.transformations) {
        keys.push_back(issue.key());
    }
    EXPECT_THAT(keys, ::testing::ElementsAre("encodingTransformed", "characterTransformed", "trimmedCharacters", "repeatedSeparators", "filenameTooLong", "pathTooDeep", "pathTooLong", "reservedName"));
    EXPECT_EQ(result.transformations.back(), Issue(Issue::ReservedName {"CO-TRE"}));
    // Fitted to 10 bytes, then prefixed, then fitted again.
    EXPECT_EQ(result.transformedPath, "deja/file_C.txt");
    EXPECT_EQ(result.originalRelativePath(), "d\xC3\xA9j\xC3\xA0/Co-:- tr\xC3\xA8s.txt.");
    EXPECT_TRUE(result.shortenedComponents.empty());
}

TEST(ProcessItem, AComponentTurnedIntoDotOrDotDotIsPrefixed)
{
    // Neither "." nor ".." may stand as a component of a proposed path: a
    // rename to "a/.." would move the item out of its folder. A hidden name
    // that becomes one is reserved; a visible one keeps a visible character
    // in front before it gets there.
    auto collapsing = plainSettings();
    collapsing.cleanRepeatedSeparators = true;
    auto translating = plainSettings();
    translating.translationTable.entries = {{"x", "."}};
    auto stripping = plainSettings();
    stripping.stripLeadingCharacters = {" "};
    struct Case {
        const TransformationSettings& settings;
        std::string relative;
        bool isDirectory;
        std::string expected;
        std::optional<std::string> reserved;
    };
    const std::vector<Case> cases = {
        {collapsing, "a/...", true, "a/file_.", "."},
        {collapsing, "a/.../x.txt", false, "a/file_./x.txt", std::nullopt},
        {translating, ".x", false, "file_..", ".."},
        {translating, "a/.x/b", false, "a/file_../b", std::nullopt},
        {translating, "xx", false, "_..", std::nullopt},
        {stripping, " ..", true, "_..", std::nullopt},
        {stripping, "a/ ../ ./b", false, "a/_../_./b", std::nullopt},
    };
    for (const Case& c : cases) {
        const auto result = phase1Record(c.settings, c.relative, c.isDirectory);
        EXPECT_EQ(result.transformedPath, c.expected) << c.relative;
        const bool hasReserved = !result.transformations.empty() && result.transformations.back().is<Issue::ReservedName>();
        EXPECT_EQ(hasReserved, c.reserved.has_value()) << c.relative;
        if (hasReserved && c.reserved) {
            EXPECT_EQ(result.transformations.back(), Issue(Issue::ReservedName {*c.reserved})) << c.relative;
        }
    }
}

}  // namespace
}  // namespace tess
