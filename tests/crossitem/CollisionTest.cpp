#include "CrossItemTestSupport.h"

#include "analysis/CollisionResolver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

namespace tess {
namespace {

using Issue = FileTransformationIssue;
using test::analyzeUnderSrc;
using test::dir;
using test::file;
using test::finalPathsByOriginal;
using test::plainSettings;
using test::record;
using test::resultOf;
using test::runCrossItemPasses;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

TransformationSettings caseInsensitive()
{
    auto settings = plainSettings();
    settings.isCaseSensitive = false;
    return settings;
}

TransformationSettings withUnderscoreTable()
{
    auto settings = plainSettings();
    settings.translationTable.entries = {{":", "_"}, {"?", "_"}, {"*", "_"}};
    return settings;
}

TEST(CollisionNames, NumberGoesBeforeTheFirstExtension)
{
    struct Case {
        std::string path;
        std::int64_t number;
        std::int64_t limit;
        std::string numbered;
    };
    const std::vector<Case> cases = {
        {"notes", 1, 255, "notes_1"},
        {".profile", 1, 255, ".profile_1"},
        {"photos.2020", 1, 255, "photos_1.2020"},
        {"dir/a_b.txt", 2, 255, "dir/a_b_2.txt"},
        {"report.final.pdf", 3, 255, "report_3.final.pdf"},
        // 24 bytes over a limit of 20: the stem is cut, the version suffix kept.
        {"a_very_long_name_2.txt", 1, 20, "a_very_long__2_1.txt"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CollisionResolver::uniqueCollisionName(c.path, c.number, c.limit), c.numbered) << c.path;
    }
}

TEST(Collisions, CaseTwinsOnACaseInsensitiveDestination)
{
    const SourceFileAnalyzer analyzer(caseInsensitive(), 3);
    const auto output = analyzeUnderSrc(analyzer, {file("Readme.md"), file("README.md")});
    const auto& upper = resultOf(output.results, "README.md");
    const auto& mixed = resultOf(output.results, "Readme.md");
    EXPECT_EQ(upper.finalRelativePath, "README.md");
    EXPECT_FALSE(upper.needsRename);
    EXPECT_THAT(upper.transformations, IsEmpty());
    EXPECT_EQ(mixed.finalRelativePath, "Readme_1.md");
    EXPECT_TRUE(mixed.needsRename);
    EXPECT_THAT(mixed.transformations, ElementsAre(Issue {Issue::Collision {"README.md"}}));

    // Case-sensitive: both stay.
    const SourceFileAnalyzer sensitive(plainSettings(), 3);
    for (const auto& result : analyzeUnderSrc(sensitive, {file("Readme.md"), file("README.md")}).results) {
        EXPECT_FALSE(result.needsRename);
    }
}

TEST(Collisions, ThreeNamesBecomingOneAreNumberedInItemOrder)
{
    const SourceFileAnalyzer analyzer(withUnderscoreTable(), 3);
    const auto output = analyzeUnderSrc(analyzer, {file("a:b.txt"), file("a?b.txt"), file("a*b.txt")});
    // Item order is byte order: "*" < ":" < "?".
    EXPECT_EQ(resultOf(output.results, "a*b.txt").finalRelativePath, "a_b.txt");
    EXPECT_EQ(resultOf(output.results, "a:b.txt").finalRelativePath, "a_b_1.txt");
    EXPECT_EQ(resultOf(output.results, "a?b.txt").finalRelativePath, "a_b_2.txt");
    EXPECT_EQ(resultOf(output.results, "a?b.txt").transformations.back(), Issue {Issue::Collision {"a_b.txt"}});
    EXPECT_EQ(resultOf(output.results, "a:b.txt").transformations.back(), Issue {Issue::Collision {"a_b.txt"}});
}

TEST(Collisions, NewNameOnAnotherMembersOldNameIsNumbered)
{
    const SourceFileAnalyzer analyzer(plainSettings(), 3);
    // b.txt is renamed away to c.txt, yet x.txt may not take b.txt.
    const auto output = runCrossItemPasses(analyzer, {record("b.txt", "c.txt", false), record("x.txt", "b.txt", false)});
    EXPECT_EQ(resultOf(output.results, "b.txt").finalRelativePath, "c.txt");
    EXPECT_EQ(resultOf(output.results, "x.txt").finalRelativePath, "b_1.txt");
    EXPECT_THAT(resultOf(output.results, "x.txt").transformations, ElementsAre(Issue {Issue::Collision {"b.txt"}}));
}

TEST(Collisions, UnchangedNameIsNeverNumberedForASiblingsOldName)
{
    const SourceFileAnalyzer analyzer(caseInsensitive(), 3);
    // "Foo" is renamed to "Bar"; the unchanged "FOO" equals Foo's old name
    // on this destination but keeps its own.
    const auto output = runCrossItemPasses(analyzer, {record("FOO", "FOO", false), record("Foo", "Bar", false), record("x", "foo", false)});
    EXPECT_EQ(resultOf(output.results, "FOO").finalRelativePath, "FOO");
    EXPECT_FALSE(resultOf(output.results, "FOO").needsRename);
    EXPECT_THAT(resultOf(output.results, "FOO").transformations, IsEmpty());
    EXPECT_EQ(resultOf(output.results, "Foo").finalRelativePath, "Bar");
    EXPECT_EQ(resultOf(output.results, "x").finalRelativePath, "foo_1");
    EXPECT_THAT(resultOf(output.results, "x").transformations, ElementsAre(Issue {Issue::Collision {"FOO"}}));
}

TEST(Collisions, NormalisationOnlyChangeCountsAsUnchangedButNeedsARename)
{
    const std::string nfd = "cafe\xCC\x81";
    const std::string nfc = "caf\xC3\xA9";
    const SourceFileAnalyzer analyzer(plainSettings(), 3);
    // The NFD item changes only its normalisation: it is ordered with the
    // unchanged ones, before z, yet needs a rename.
    const auto alone = runCrossItemPasses(analyzer, {record("z", nfc, false), record(nfd, nfc, false)});
    const auto& renormalised = resultOf(alone.results, nfd);
    EXPECT_EQ(renormalised.finalRelativePath, nfc);
    EXPECT_TRUE(renormalised.needsRename);
    EXPECT_THAT(renormalised.transformations, IsEmpty());
    EXPECT_EQ(resultOf(alone.results, "z").finalRelativePath, nfc + "_1");

    // Beside an NFC twin that keeps its bytes (both exist on a file system
    // that tells the forms apart), the twin keeps its name, whatever the
    // item order: the NFD item may not be moved onto it.
    const auto twins = runCrossItemPasses(analyzer, {record(nfd, nfc, false), record(nfc, nfc, false), record("z", nfc, false)});
    EXPECT_EQ(resultOf(twins.results, nfc).finalRelativePath, nfc);
    EXPECT_FALSE(resultOf(twins.results, nfc).needsRename);
    EXPECT_THAT(resultOf(twins.results, nfc).transformations, IsEmpty());
    EXPECT_EQ(resultOf(twins.results, nfd).finalRelativePath, nfc + "_1");
    EXPECT_THAT(resultOf(twins.results, nfd).transformations, ElementsAre(Issue {Issue::Collision {nfc}}));
    EXPECT_EQ(resultOf(twins.results, "z").finalRelativePath, nfc + "_2");
}

TEST(Collisions, SeparatorCleaningAppliesToTheNumberedName)
{
    auto settings = plainSettings();
    settings.maxFilenameLength = 20;
    settings.maxFolderNameLength = 20;
    settings.cleanRepeatedSeparators = true;
    const SourceFileAnalyzer analyzer(settings, 3);
    const auto output = runCrossItemPasses(analyzer,
        {record("a_very_long_name_2.txt", "a_very_long_name_2.txt", false), record("b", "a_very_long_name_2.txt", false)});
    EXPECT_EQ(resultOf(output.results, "b").finalRelativePath, "a_very_long_2_1.txt");
}

TEST(Collisions, ItemsInDifferentFoldersNeverCollide)
{
    const SourceFileAnalyzer analyzer(caseInsensitive(), 3);
    const auto output = analyzeUnderSrc(analyzer, {dir("x"), dir("y"), file("x/a.txt"), file("y/a.txt"), file("y/A.TXT")});
    EXPECT_EQ(resultOf(output.results, "x/a.txt").finalRelativePath, "x/a.txt");
    EXPECT_EQ(resultOf(output.results, "y/A.TXT").finalRelativePath, "y/A.TXT");
    EXPECT_EQ(resultOf(output.results, "y/a.txt").finalRelativePath, "y/a_1.txt");
}

TEST(Collisions, NumberedFolderKeepsItsOwnChildren)
{
    const SourceFileAnalyzer analyzer(withUnderscoreTable(), 3);
    const auto output = analyzeUnderSrc(analyzer,
        {dir("a:b"), dir("a?b"), file("a:b/x.txt"), file("a?b/x.txt"), dir("a?b/sub"), file("a?b/sub/y.txt"), file("a:b/z.txt")});
    const auto paths = finalPathsByOriginal(output.results);
    EXPECT_EQ(paths.at("a:b"), "a_b");
    EXPECT_EQ(paths.at("a?b"), "a_b_1");
    EXPECT_EQ(paths.at("a:b/x.txt"), "a_b/x.txt");
    EXPECT_EQ(paths.at("a:b/z.txt"), "a_b/z.txt");
    EXPECT_EQ(paths.at("a?b/x.txt"), "a_b_1/x.txt");
    EXPECT_EQ(paths.at("a?b/sub"), "a_b_1/sub");
    EXPECT_EQ(paths.at("a?b/sub/y.txt"), "a_b_1/sub/y.txt");
    // The children were not numbered: each folder holds one x.txt.
    EXPECT_THAT(resultOf(output.results, "a?b/x.txt").transformations, ElementsAre(::testing::Property(&Issue::kind, Issue::Kind::characterTransformed)));
    EXPECT_THAT(resultOf(output.results, "a:b").transformations, ElementsAre(Issue {Issue::CharacterTransformed {{":"}, "a:b", "a_b"}}));
    EXPECT_EQ(resultOf(output.results, "a?b").transformations.back(), Issue {Issue::Collision {"a_b"}});
}

TEST(Collisions, CanonicallyEquivalentFolderTwinsKeepTheirOwnChildren)
{
    const std::string nfd = "cafe\xCC\x81";
    const std::string nfc = "caf\xC3\xA9";
    const SourceFileAnalyzer analyzer(plainSettings(), 3);
    const auto output = analyzeUnderSrc(analyzer, {dir(nfd), dir(nfc), file(nfd + "/n.txt"), file(nfc + "/n.txt")});
    const auto paths = finalPathsByOriginal(output.results);
    // Sorted by NFC form with input order for ties: the NFD folder first.
    EXPECT_EQ(paths.at(nfd), nfd);
    EXPECT_EQ(paths.at(nfc), nfc + "_1");
    EXPECT_EQ(paths.at(nfd + "/n.txt"), nfd + "/n.txt");
    EXPECT_EQ(paths.at(nfc + "/n.txt"), nfc + "_1/n.txt");
}

TEST(Collisions, NameThatIsNotUtf8NeverCollidesWithItsOwnReading)
{
    // "caf\xE9.txt" reads as "café.txt", which is what it is renamed to: its
    // own reserved old name must not number it. A real "café.txt" beside it
    // still does, files and folders alike.
    const std::string raw = "caf\xE9";
    const std::string valid = "caf\xC3\xA9";
    const SourceFileAnalyzer analyzer(plainSettings(), 3);
    const auto alone = analyzeUnderSrc(analyzer, {file(raw + ".txt"), dir(raw + "d"), file("plain.txt")});
    EXPECT_EQ(resultOf(alone.results, raw + ".txt").finalRelativePath, valid + ".txt");
    EXPECT_EQ(resultOf(alone.results, raw + "d").finalRelativePath, valid + "d");
    for (const auto& result : alone.results) {
        for (const auto& issue : result.transformations) {
            EXPECT_NE(issue.key(), "collision") << result.originalRelativePath;
        }
    }
    const auto twins = analyzeUnderSrc(analyzer, {file(raw + ".txt"), file(valid + ".txt")});
    EXPECT_EQ(resultOf(twins.results, valid + ".txt").finalRelativePath, valid + ".txt");
    EXPECT_EQ(resultOf(twins.results, raw + ".txt").finalRelativePath, valid + "_1.txt");
}

TEST(Collisions, FolderNamedWithARawByteKeepsItsChildrenApartFromItsLookAlike)
{
    // "caf\xE9" is not UTF-8; it reads as "café" and must be renamed, and
    // then meets the real "café".
    const std::string raw = "caf\xE9";
    const std::string valid = "caf\xC3\xA9";
    const SourceFileAnalyzer analyzer(plainSettings(), 3);
    const auto output = analyzeUnderSrc(analyzer, {dir(raw), dir(valid), file(raw + "/x"), file(valid + "/y")});
    const auto paths = finalPathsByOriginal(output.results);
    EXPECT_EQ(paths.at(valid), valid);
    EXPECT_EQ(paths.at(raw), valid + "_1");
    EXPECT_EQ(paths.at(raw + "/x"), valid + "_1/x");
    EXPECT_EQ(paths.at(valid + "/y"), valid + "/y");
    EXPECT_TRUE(resultOf(output.results, raw).needsRename);
    EXPECT_FALSE(resultOf(output.results, valid).needsRename);
}

TEST(Collisions, NumberingPastThePathLimitIsReported)
{
    auto settings = plainSettings();
    settings.maxPathLength = 10;  // 3 + 7 fits, 3 + 9 does not
    const SourceFileAnalyzer analyzer(settings, 3);
    const auto output = runCrossItemPasses(analyzer, {record("abc.txt", "abc.txt", false), record("abd.txt", "abc.txt", false)});
    EXPECT_EQ(resultOf(output.results, "abd.txt").finalRelativePath, "abc_1.txt");
    EXPECT_THAT(resultOf(output.results, "abd.txt").transformations,
        ElementsAre(Issue {Issue::Collision {"abc.txt"}}, Issue {Issue::PathTooLong {12, 10}}));
}

TEST(Collisions, FolderNumberingRespectsTheFolderNameLimit)
{
    auto settings = plainSettings();
    settings.maxFilenameLength = 255;
    settings.maxFolderNameLength = 6;
    const SourceFileAnalyzer analyzer(settings, 3);
    const auto output = runCrossItemPasses(analyzer, {record("abcdef", "abcdef", true), record("x", "abcdef", true)});
    EXPECT_EQ(resultOf(output.results, "x").finalRelativePath, "abcd_1");
}

TEST(Collisions, NumberingEndsWhenSeparatorCleaningEatsTheNumber)
{
    // With the digits listed as separators, "_N" collapses to one character:
    // the cleaned names soon repeat, and numbering must still end with
    // distinct names.
    struct Case {
        std::vector<std::string> separators;
    };
    const std::vector<Case> cases = {
        {{"_", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}},
        {{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "_"}},
        {{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}},
    };
    for (const Case& c : cases) {
        auto settings = plainSettings();
        settings.isCaseSensitive = false;
        settings.cleanRepeatedSeparators = true;
        settings.repeatedSeparatorCharacters = c.separators;
        const SourceFileAnalyzer analyzer(settings, 3);
        std::vector<SourceFileAnalyzer::Phase1Result> records;
        for (char letter = 'a'; letter <= 'z'; ++letter) {
            records.push_back(record(std::string("n") + letter + ".txt", "x.txt", false));
        }
        const auto output = runCrossItemPasses(analyzer, records);
        ASSERT_EQ(output.results.size(), records.size()) << c.separators.front();
        std::set<std::string> finals;
        for (const auto& result : output.results) {
            EXPECT_TRUE(finals.insert(result.finalRelativePath).second) << result.finalRelativePath;
        }
        EXPECT_EQ(resultOf(output.results, "na.txt").finalRelativePath, "x.txt");
    }
}

TEST(Collisions, RenamedEquivalentTwinFoldersKeepTheirChildrenByteForByte)
{
    // Two folders whose names differ only in normalisation form (possible
    // on this file system), both renamed: their children must follow their
    // own folder's exact path, not the twin's spelling.
    const std::string nfc = "\xC3\xA9";
    const std::string nfd = "e\xCC\x81";
    const SourceFileAnalyzer analyzer(plainSettings(), 3);
    const auto output = runCrossItemPasses(analyzer,
        {record(nfc + ":", nfc + "_", true), record(nfd + ":", nfd + "_", true), record(nfc + ":/x", nfc + ":/x", false),
            record(nfd + ":/y", nfd + ":/y", false), record(nfc + ":/s", nfc + ":/s", true), record(nfc + ":/s/z", nfc + ":/s/z", false)});
    const auto paths = finalPathsByOriginal(output.results);
    EXPECT_EQ(paths.at(nfc + ":"), nfc + "_");
    EXPECT_EQ(paths.at(nfd + ":"), nfd + "__1");
    EXPECT_EQ(paths.at(nfc + ":/x"), nfc + "_/x");
    EXPECT_EQ(paths.at(nfd + ":/y"), nfd + "__1/y");
    EXPECT_EQ(paths.at(nfc + ":/s"), nfc + "_/s");
    EXPECT_EQ(paths.at(nfc + ":/s/z"), nfc + "_/s/z");
}

}  // namespace
}  // namespace tess
