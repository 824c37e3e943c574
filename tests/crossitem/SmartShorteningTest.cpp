#include "CrossItemTestSupport.h"

#include "analysis/DeferredPropagation.h"
#include "analysis/SmartPathShortener.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tess {
namespace {

using Issue = FileTransformationIssue;
using test::analyzeUnderSrc;
using test::dir;
using test::file;
using test::finalPathsByOriginal;
using test::plainSettings;
using test::resultFor;
using test::resultOf;
using ::testing::ElementsAre;

TransformationSettings shorteningSettings(std::int64_t pathLimit)
{
    auto settings = plainSettings();
    settings.smartPathShortening = true;
    settings.maxPathLength = pathLimit;
    return settings;
}

std::vector<SmartPathShortener::ComponentInfo> shrinkables(const std::vector<std::int64_t>& values)
{
    std::vector<SmartPathShortener::ComponentInfo> infos;
    for (std::size_t i = 0; i < values.size(); ++i) {
        infos.push_back({i, values[i] + 8, 8, values[i], false});
    }
    return infos;
}

TEST(SmartShortening, SharesRoundUpInDoublePrecision)
{
    struct Case {
        std::vector<std::int64_t> shrinkable;
        std::int64_t excess;
        std::vector<std::int64_t> cuts;
    };
    const std::vector<Case> cases = {
        // 14 / 50 * 25 evaluates just above 7: each share is 8, the last
        // component gets what is left.
        {{14, 14, 14, 8}, 25, {8, 8, 8, 1}},
        // ceil(2.67) = 3 and ceil(1.33) = 2, but only 1 byte is left.
        {{10, 5}, 4, {3, 1}},
        // Largest first; equal values keep component order.
        {{5, 10}, 4, {1, 3}},
        {{3, 3}, 6, {3, 3}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SmartPathShortener::distributeCuts(shrinkables(c.shrinkable), c.excess), c.cuts);
    }
}

TEST(SmartShortening, FloorsKeepEightBytesAndThirtyPercent)
{
    EXPECT_EQ(SmartPathShortener::floorBytes("12345678", false), 8);
    EXPECT_EQ(SmartPathShortener::floorBytes(std::string(100, 'x'), false), 30);
    EXPECT_EQ(SmartPathShortener::floorBytes("quarterly_report_2.txt", true), 12);  // max(8, ceil(5.4)) + 4
    EXPECT_EQ(SmartPathShortener::floorBytes("report_2.txt", true), 12);
    EXPECT_EQ(SmartPathShortener::floorBytes("archive.tar.gz", true), 15);  // base "archive", extension ".tar.gz"
}

TEST(SmartShortening, FileFastPathCutsOnlyTheNameKeepingSuffixAndExtension)
{
    // "docs/quarterly_report_2.txt" is 27 bytes; with the root's 3 that is
    // 30, 5 over a limit of 25.
    const SourceFileAnalyzer analyzer(shorteningSettings(25), 3);
    const auto output = analyzeUnderSrc(analyzer, {file("docs/quarterly_report_2.txt")});
    ASSERT_EQ(output.results.size(), 1u);
    const auto& result = output.results[0];
    EXPECT_EQ(result.finalRelativePath, "docs/quarterly_r_2.txt");
    EXPECT_THAT(result.transformations, ElementsAre(Issue {Issue::PathShortened {30, 25}}));
    EXPECT_EQ(result.shortenedComponents, (ShortenedComponents {{"quarterly_r_2.txt", "quarterly_report_2.txt"}}));
}

TEST(SmartShortening, NameAtItsFloorLeavesTheCutToTheFolders)
{
    // 3 + 31 + 1 + 12 = 47 bytes, 7 over 40; report_2.txt gives nothing.
    const std::string folder = "a_rather_long_folder_name_here_";
    const SourceFileAnalyzer analyzer(shorteningSettings(40), 3);
    const auto output = analyzeUnderSrc(analyzer, {file(folder + "/report_2.txt")});
    ASSERT_EQ(output.results.size(), 1u);
    EXPECT_EQ(output.results[0].finalRelativePath, folder.substr(0, 24) + "/report_2.txt");
    EXPECT_THAT(output.results[0].transformations, ElementsAre(Issue {Issue::PathShortened {47, 40}}));
}

TEST(SmartShortening, SiblingsReuseTheShortenedFolderAndOthersFollowIt)
{
    // Names whose extension leaves nothing to cut: only the folder can give.
    const std::string folder = "projects_of_the_year_2021_archive";  // 33 bytes, floor 10
    test::AnalyzerLogSink log;
    const SourceFileAnalyzer analyzer(shorteningSettings(50), 3, log.sink());
    const auto output = analyzeUnderSrc(analyzer,
        {dir(folder), file(folder + "/notes.a_long_extension"), file(folder + "/b.a_long_extension"), file(folder + "/x")});
    const auto paths = finalPathsByOriginal(output.results);
    // 3 + 33 + 1 + 22 = 59, 9 over: the folder gives 9 bytes.
    const std::string shortened = folder.substr(0, 24);
    EXPECT_EQ(paths.at(folder + "/notes.a_long_extension"), shortened + "/notes.a_long_extension");
    EXPECT_THAT(resultOf(output.results, folder + "/notes.a_long_extension").transformations,
        ElementsAre(Issue {Issue::PathShortened {59, 50}}));
    // The shorter sibling (55) fits once it reuses the folder, without a cut
    // of its own.
    EXPECT_EQ(paths.at(folder + "/b.a_long_extension"), shortened + "/b.a_long_extension");
    EXPECT_THAT(resultOf(output.results, folder + "/b.a_long_extension").transformations,
        ElementsAre(Issue {Issue::PathShortened {55, 46}}));
    // Items that were not overlong move along through deferred propagation,
    // without an issue of their own.
    EXPECT_EQ(paths.at(folder), shortened);
    EXPECT_EQ(paths.at(folder + "/x"), shortened + "/x");
    EXPECT_TRUE(resultOf(output.results, folder + "/x").transformations.empty());
    EXPECT_TRUE(resultOf(output.results, folder + "/x").needsRename);
    EXPECT_THAT(log.lines(), ::testing::Contains("INFO Smart path shortening: 2 overlong paths to process"));
    EXPECT_THAT(log.lines(), ::testing::Contains("INFO Smart path shortening: 1 unique prefix mappings generated"));
}

TEST(SmartShortening, DeferredPropagationGivesTheSameResultInParallel)
{
    const std::string folder = "projects_of_the_year_2021_archive";
    std::vector<FileItem> items = {dir(folder), file(folder + "/notes.a_long_extension")};
    for (int i = 0; i < 3000; ++i) {
        items.push_back(file(folder + "/f" + std::to_string(i)));
    }
    const auto runWith = [&](std::size_t processors) {
        const test::ProcessorCountOverride count(processors);
        const SourceFileAnalyzer analyzer(shorteningSettings(50), 3, [](std::string, std::string_view, std::string_view, int) {});
        return analyzeUnderSrc(analyzer, items).results;
    };
    const auto serial = runWith(1);
    const auto parallel = runWith(4);
    EXPECT_EQ(serial, parallel);
    EXPECT_EQ(finalPathsByOriginal(parallel).at(folder + "/f2999"), folder.substr(0, 24) + "/f2999");
}

TEST(DeferredPropagation, PrefixesMatchUnderCanonicalEquivalenceAndPositionsAreChecked)
{
    const std::string nfd = "cafe\xCC\x81";
    const std::string nfc = "caf\xC3\xA9";
    const PrefixMappings mappings = {{nfd + "/long_folder", nfd + "/long"}, {"a", "b"}};
    const SourceFileAnalyzer::CancelCheck never = [] { return false; };
    const DeferredPropagation propagation(mappings, never);
    SourceFileAnalyzer::Phase1Result record;
    const auto rewritten = [&](std::string current, std::optional<std::string> before = std::nullopt) {
        Phase2IntermediateItem item {&record, std::move(current), std::move(before)};
        propagation.rewrite(item);
        return item.currentPath;
    };
    EXPECT_EQ(rewritten(nfc + "/long_folder/y.txt"), nfc + "/long/y.txt");
    EXPECT_EQ(rewritten("a/long_folder/z"), "b/long_folder/z");
    EXPECT_EQ(rewritten("ab/c"), "ab/c");
    // The path before shortening decides; the current path takes the parts.
    EXPECT_EQ(rewritten("a_cut/x", std::string("a/x")), "b/x");
    // A hit beyond the current path's parts changes nothing there.
    EXPECT_EQ(rewritten("q", nfc + "/long_folder"), "q");
    // A file that is the equivalent twin of a shortened folder keeps its own
    // name; the folder itself is rewritten.
    EXPECT_EQ(rewritten(nfc + "/long_folder"), nfc + "/long_folder");
    record.originalFile.isDirectory = true;
    EXPECT_EQ(rewritten(nfc + "/long_folder"), nfc + "/long");
}

TEST(SmartShortening, PathThatCannotBeBroughtWithinTheLimitIsLeftAlone)
{
    const SourceFileAnalyzer analyzer(shorteningSettings(20), 3);
    const auto output = analyzeUnderSrc(analyzer, {file("abcdefghij/klmnopqrst/file.txt")});
    ASSERT_EQ(output.results.size(), 1u);
    EXPECT_EQ(output.results[0].finalRelativePath, "abcdefghij/klmnopqrst/file.txt");
    EXPECT_THAT(output.results[0].transformations, ElementsAre(Issue {Issue::PathTooLong {33, 20}}));
    EXPECT_TRUE(output.results[0].shortenedComponents.empty());
}

TEST(SmartShortening, OffOrWithoutAPathLimitNothingIsShortened)
{
    test::AnalyzerLogSink log;
    auto settings = shorteningSettings(20);
    settings.smartPathShortening = false;
    const SourceFileAnalyzer analyzer(settings, 3, log.sink());
    const auto output = analyzeUnderSrc(analyzer, {file("a_long_folder_name/a_long_file_name.txt")});
    EXPECT_EQ(output.results.at(0).finalRelativePath, "a_long_folder_name/a_long_file_name.txt");
    EXPECT_THAT(output.results.at(0).transformations, ElementsAre(Issue {Issue::PathTooLong {42, 20}}));
    EXPECT_THAT(log.linesStartingWith("INFO Analyzer phase2 breakdown:").at(0), ::testing::HasSubstr("deferredProp=0.00s"));
    EXPECT_TRUE(log.linesStartingWith("INFO Smart path shortening").empty());
}

TEST(SmartShortening, DirectoryNameIsAFolderComponentAndEntersTheMappings)
{
    const std::string name = "a_directory_with_a_long_name";  // 28 bytes, floor 9
    {
        // 3 + 28 = 31, 6 over: the folder's own name is cut like any folder.
        test::AnalyzerLogSink log;
        const SourceFileAnalyzer analyzer(shorteningSettings(25), 3, log.sink());
        const auto output = analyzeUnderSrc(analyzer, {dir(name)});
        EXPECT_EQ(output.results.at(0).finalRelativePath, name.substr(0, 22));
        EXPECT_THAT(log.lines(), ::testing::Contains("INFO Smart path shortening: 1 unique prefix mappings generated"));
    }
    {
        // The child (33) goes first and shortens the folder; the folder
        // reuses that cut.
        const SourceFileAnalyzer analyzer(shorteningSettings(25), 3);
        const auto paths = finalPathsByOriginal(analyzeUnderSrc(analyzer, {dir(name), file(name + "/f")}).results);
        EXPECT_EQ(paths.at(name), name.substr(0, 20));
        EXPECT_EQ(paths.at(name + "/f"), name.substr(0, 20) + "/f");
    }
}

TEST(SmartShortening, ShrunkComponentLosesTrailingStripCharactersAndSeparatorRuns)
{
    auto settings = shorteningSettings(30);
    settings.stripTrailingCharacters = {" ", "."};
    settings.cleanRepeatedSeparators = true;
    const SourceFileAnalyzer analyzer(settings, 3);
    const SmartPathShortener shortener(analyzer);
    EXPECT_EQ(shortener.shrinkComponent("annual report. draft", 14, false), "annual report");
    EXPECT_EQ(shortener.shrinkComponent("notes--old--copy_3.txt", 16, true), "notes-old_3.txt");
    EXPECT_EQ(shortener.shrinkComponent("x.markdown", 5, true), "x.markdown");  // no room: unchanged
    EXPECT_EQ(shortener.shrinkComponent("........", 4, false), "_");  // nothing would be left
}

}  // namespace
}  // namespace tess
