#include "CrossItemTestSupport.h"

#include "analysis/DepthFlattening.h"
#include "analysis/TooDeepFolders.h"
#include "rules/RuleTypes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>

namespace tess {
namespace {

using Issue = FileTransformationIssue;
using test::analyzeUnderSrc;
using test::dir;
using test::file;
using test::finalPathsByOriginal;
using test::plainSettings;
using test::record;
using test::resultFor;
using test::resultOf;
using test::runCrossItemPasses;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

TEST(RenamePropagation, RenamedFolderIsCarriedToChildrenAndGrandchildren)
{
    test::AnalyzerLogSink log;
    const SourceFileAnalyzer analyzer(plainSettings(), 3, log.sink());
    const auto output = runCrossItemPasses(analyzer,
        {record("a", "b", true), record("a/c", "a/c", true), record("a/x", "a/x", false), record("a/c/y", "a/c/y", false)});
    EXPECT_EQ(finalPathsByOriginal(output.results),
        (std::map<std::string, std::string> {{"a", "b"}, {"a/c", "b/c"}, {"a/x", "b/x"}, {"a/c/y", "b/c/y"}}));
    for (const auto& result : output.results) {
        EXPECT_TRUE(result.needsRename) << result.originalRelativePath;
        EXPECT_THAT(result.transformations, IsEmpty());
    }
    // a and a/c (whose path changed through a) are both recorded.
    EXPECT_THAT(log.linesStartingWith("INFO Analyzer phase2 breakdown: 4 items ").at(0),
        ::testing::EndsWith("dirRenames=2, tooDeepDirs=0, groups=3, collisionEntries=4"));
}

TEST(RenamePropagation, NormalisationOnlyFolderChangeIsNotCarried)
{
    const std::string nfd = "cafe\xCC\x81";  // e + U+0301
    const std::string nfc = "caf\xC3\xA9";  // U+00E9
    test::AnalyzerLogSink log;
    const SourceFileAnalyzer analyzer(plainSettings(), 3, log.sink());
    const auto output = runCrossItemPasses(analyzer, {record(nfd, nfc, true), record(nfd + "/x", nfd + "/x", false)});
    const auto* folder = resultFor(output.results, nfd);
    const auto* child = resultFor(output.results, nfd + "/x");
    ASSERT_NE(folder, nullptr);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(folder->finalRelativePath, nfc);
    EXPECT_TRUE(folder->needsRename);  // its bytes differ
    EXPECT_EQ(child->finalRelativePath, nfd + "/x");
    EXPECT_FALSE(child->needsRename);
    EXPECT_THAT(log.linesStartingWith("INFO Analyzer phase2 breakdown:").at(0), ::testing::HasSubstr("dirRenames=0,"));
}

TEST(RenamePropagation, ReservedFolderNameReachesEveryDescendantThroughTheAnalyzer)
{
    auto settings = plainSettings();
    settings.reservedNames = {"CON"};
    const SourceFileAnalyzer analyzer(settings, 3);
    const auto output = analyzeUnderSrc(analyzer, {dir("con"), dir("con/sub"), file("con/sub/f.txt"), file("con/g.txt")});
    EXPECT_EQ(finalPathsByOriginal(output.results),
        (std::map<std::string, std::string> {
            {"con", "file_con"}, {"con/sub", "file_con/sub"}, {"con/sub/f.txt", "file_con/sub/f.txt"}, {"con/g.txt", "file_con/g.txt"}}));
}

TEST(DepthFlattening, FlattenPathKeepsTheFirstLevelsAndTheName)
{
    struct Case {
        std::int64_t limit;
        std::string path;
        std::string flattened;
    };
    const std::vector<Case> cases = {
        {3, "a/b/c/d/e.txt", "a/b/e.txt"},
        {3, "a/b/e.txt", "a/b/e.txt"},
        {2, "a/b/c.txt", "a/c.txt"},
        {1, "a/b/c.txt", "c.txt"},
        {0, "a/b/c.txt", "c.txt"},
        {0, "c.txt", "c.txt"},
    };
    for (const Case& c : cases) {
        auto settings = plainSettings();
        settings.maxPathDepth = c.limit;
        const SourceFileAnalyzer analyzer(settings, 3);
        EXPECT_EQ(DepthFlattening(analyzer).flattenPath(c.path), c.flattened) << c.limit << " " << c.path;
    }
}

TEST(DepthFlattening, DepthThreeFileLosesMiddleFoldersAndAnOverlongHolderIsCut)
{
    auto settings = plainSettings();
    settings.maxPathDepth = 3;
    settings.maxFolderNameLength = 4;
    const SourceFileAnalyzer analyzer(settings, 3);
    // Only the file is listed: the holder b is measured and cut in its path.
    const auto alone = analyzeUnderSrc(analyzer, {file("a/bbbbbb/c/d/e.txt")});
    ASSERT_EQ(alone.results.size(), 1u);
    EXPECT_EQ(alone.results[0].finalRelativePath, "a/bbbb/e.txt");
    EXPECT_THAT(alone.results[0].transformations,
        ElementsAre(Issue {Issue::PathTooDeep {5, 3}}, Issue {Issue::FolderNameTooLong {6, 4}}));
    EXPECT_TRUE(alone.tooDeepDirs.empty());
}

TEST(DepthFlattening, HolderCutToDotsNeverNamesItselfOrItsParent)
{
    struct Case {
        std::int64_t folderLimit;
        std::string file;
        std::string flattened;
    };
    const std::vector<Case> cases = {
        {2, "a/..xyz/c/d.txt", "a/__/d.txt"},
        {1, "a/.xyz/c/d.txt", "a/_/d.txt"},
        {2, "a/.xyz/c/d.txt", "a/.x/d.txt"},
    };
    for (const Case& c : cases) {
        auto settings = plainSettings();
        settings.maxPathDepth = 3;
        settings.maxFolderNameLength = c.folderLimit;
        const SourceFileAnalyzer analyzer(settings, 3);
        const auto output = analyzeUnderSrc(analyzer, {file(c.file)});
        ASSERT_EQ(output.results.size(), 1u);
        EXPECT_EQ(output.results[0].finalRelativePath, c.flattened) << c.file;
    }
}

TEST(DepthFlattening, NestedTooDeepFoldersGiveOneEntryAndLoseTheirIssues)
{
    auto settings = plainSettings();
    settings.maxPathDepth = 3;
    settings.maxFolderNameLength = 4;
    test::AnalyzerLogSink log;
    const SourceFileAnalyzer analyzer(settings, 3, log.sink());
    const auto output = analyzeUnderSrc(analyzer,
        {dir("a"), dir("a/bbbbbb"), dir("a/bbbbbb/c"), dir("a/bbbbbb/c/d"), file("a/bbbbbb/c/d/e.txt"), file("a/bbbbbb/f.txt")});
    EXPECT_THAT(output.tooDeepDirs, UnorderedElementsAre("a/bbbb/c"));  // its final path
    const auto paths = finalPathsByOriginal(output.results);
    EXPECT_EQ(paths.at("a/bbbbbb"), "a/bbbb");
    EXPECT_EQ(paths.at("a/bbbbbb/f.txt"), "a/bbbb/f.txt");
    // The flattened file lands in its kept ancestor's renamed folder.
    EXPECT_EQ(paths.at("a/bbbbbb/c/d/e.txt"), "a/bbbb/e.txt");
    EXPECT_THAT(resultOf(output.results, "a/bbbbbb/c").transformations, IsEmpty());
    EXPECT_THAT(resultOf(output.results, "a/bbbbbb/c/d").transformations, IsEmpty());
    EXPECT_THAT(log.linesStartingWith("INFO Analyzer phase2 breakdown:").at(0), ::testing::HasSubstr(", tooDeepDirs=1, "));
}

TEST(DepthFlattening, DepthLimitsZeroAndOneMoveTooDeepFilesToTheTop)
{
    for (const std::int64_t limit : {0, 1}) {
        auto settings = plainSettings();
        settings.maxPathDepth = limit;
        const SourceFileAnalyzer analyzer(settings, 3);
        const auto output = analyzeUnderSrc(analyzer, {dir("a"), dir("a/b"), file("a/b/c.txt"), file("top.txt")});
        const auto paths = finalPathsByOriginal(output.results);
        EXPECT_EQ(paths.at("a/b/c.txt"), "c.txt") << limit;
        EXPECT_EQ(paths.at("top.txt"), "top.txt") << limit;
        // Every folder is at or beyond the limit: only the topmost is listed.
        EXPECT_THAT(output.tooDeepDirs, UnorderedElementsAre("a")) << limit;
    }
}

TEST(DepthFlattening, FlattenedFileFollowsItsKeptAncestorsRename)
{
    auto settings = plainSettings();
    settings.maxPathDepth = 2;
    settings.reservedNames = {"CON"};
    const SourceFileAnalyzer analyzer(settings, 3);
    const auto output = analyzeUnderSrc(analyzer, {dir("CON"), dir("CON/sub"), file("CON/sub/f.txt"), file("CON/g.txt")});
    const auto paths = finalPathsByOriginal(output.results);
    EXPECT_EQ(paths.at("CON"), "file_CON");
    EXPECT_EQ(paths.at("CON/g.txt"), "file_CON/g.txt");
    EXPECT_EQ(paths.at("CON/sub/f.txt"), "file_CON/f.txt");
    // The too-deep folder follows its parent too, so nothing is left behind
    // under the old name.
    EXPECT_EQ(paths.at("CON/sub"), "file_CON/sub");
}

TEST(DepthFlattening, FlattenedFilesCollideWithTheirNewSiblings)
{
    auto settings = plainSettings();
    settings.maxPathDepth = 2;
    const SourceFileAnalyzer analyzer(settings, 3);
    const auto output = analyzeUnderSrc(analyzer, {dir("a"), dir("a/b"), file("a/b/x.txt"), file("a/x.txt")});
    const auto paths = finalPathsByOriginal(output.results);
    EXPECT_EQ(paths.at("a/x.txt"), "a/x.txt");  // unchanged, keeps its name
    EXPECT_EQ(paths.at("a/b/x.txt"), "a/x_1.txt");
    EXPECT_THAT(resultOf(output.results, "a/b/x.txt").transformations,
        ElementsAre(Issue {Issue::PathTooDeep {3, 2}}, Issue {Issue::Collision {"a/x.txt"}}));
}

TEST(TooDeepFolders, OnlyTopmostFoldersAreKept)
{
    TooDeepFolders folders;
    EXPECT_TRUE(folders.add("a/b/c"));
    EXPECT_FALSE(folders.add("a/b/c/d"));
    EXPECT_FALSE(folders.add("a/b/c/d/e"));
    EXPECT_TRUE(folders.add("a/b/x"));
    EXPECT_TRUE(folders.add("a/b/cd"));  // a sibling, not a descendant
    EXPECT_THAT(folders.paths(), UnorderedElementsAre("a/b/c", "a/b/x", "a/b/cd"));
}

// --- Cancellation and the breakdown line ----------------------------------------

std::vector<SourceFileAnalyzer::Phase1Result> flatRecords(std::size_t count)
{
    std::vector<SourceFileAnalyzer::Phase1Result> records;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string name = "f" + std::to_string(i);
        records.push_back(record(name, name, false));
    }
    return records;
}

TEST(Phase2Cancellation, FirstLoopPollsBeforeEveryThousandthItemAndLogs)
{
    test::AnalyzerLogSink log;
    const SourceFileAnalyzer analyzer(plainSettings(), 3, log.sink());
    std::atomic<int> polls {0};
    const auto output = runCrossItemPasses(analyzer, flatRecords(1001), [&] {
        ++polls;
        return true;
    });
    EXPECT_TRUE(output.results.empty());
    EXPECT_TRUE(output.tooDeepDirs.empty());
    EXPECT_EQ(polls.load(), 1);
    EXPECT_THAT(log.lines(), ElementsAre("INFO Analyzer: cancelled during phase2 at item 1000/1001"));
}

TEST(Phase2Cancellation, ThousandItemsAreStoppedBeforeCollisionsWithoutALine)
{
    test::AnalyzerLogSink log;
    const SourceFileAnalyzer analyzer(plainSettings(), 3, log.sink());
    std::atomic<int> polls {0};
    const auto output = runCrossItemPasses(analyzer, flatRecords(1000), [&] {
        ++polls;
        return true;
    });
    EXPECT_TRUE(output.results.empty());
    EXPECT_EQ(polls.load(), 1);  // only the check before collision resolution
    EXPECT_THAT(log.lines(), IsEmpty());
}

TEST(Phase2Cancellation, CancellationSeenByACollisionGroupEmptiesTheRun)
{
    const SourceFileAnalyzer analyzer(plainSettings(), 3);
    std::atomic<int> polls {0};
    // The check before collision resolution passes; the group's own check
    // stops it.
    const auto output = runCrossItemPasses(analyzer, {record("a", "a", true), record("a/b", "a/b", false)}, [&] { return ++polls >= 2; });
    EXPECT_TRUE(output.results.empty());
    EXPECT_GE(polls.load(), 2);
}

TEST(Phase2Cancellation, PhaseOneThatStoppedEarlyGivesNothing)
{
    const SourceFileAnalyzer analyzer(plainSettings(), 3);
    SourceFileAnalyzer::Phase1Output phase1;
    phase1.results = flatRecords(3);
    phase1.stoppedEarly = true;
    const auto output = CrossItemPasses(analyzer).run(std::move(phase1), [] { return false; });
    EXPECT_TRUE(output.results.empty());
}

TEST(Phase2Cancellation, CancelledAnalysisReturnsNothingAfterPhaseTwo)
{
    test::AnalyzerLogSink log;
    const SourceFileAnalyzer analyzer(plainSettings(), 3, log.sink());
    std::atomic<int> polls {0};
    std::vector<FileItem> items;
    for (int i = 0; i < 10; ++i) {
        items.push_back(file("f" + std::to_string(i)));
    }
    // After phase 1, then before collisions, then each of the (one) group:
    // the check after phase 2 is the fourth.
    const auto output = analyzer.analyze(items, "/src", "x", [&] { return ++polls >= 4; });
    EXPECT_TRUE(output.results.empty());
    EXPECT_THAT(log.linesStartingWith("INFO Analyzer: cancelled after phase2"), ::testing::SizeIs(1));
}

TEST(Phase2Breakdown, LineHasTheExactShape)
{
    auto settings = plainSettings();
    settings.maxPathDepth = 2;
    test::AnalyzerLogSink log;
    const SourceFileAnalyzer analyzer(settings, 3, log.sink());
    const auto output = runCrossItemPasses(analyzer,
        {record("a", "A", true), record("a/b", "A/b", true), record("a/x", "a/x", false), record("a/b/c", "A/b/c", false)});
    ASSERT_EQ(output.results.size(), 4u);
    const auto lines = log.linesStartingWith("INFO Analyzer phase2 breakdown: ");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_THAT(lines[0],
        ::testing::MatchesRegex("INFO Analyzer phase2 breakdown: 4 items \\[renameProp=[0-9]+\\.[0-9][0-9]s, flatten=[0-9]+\\.[0-9][0-9]s, "
                                "tooDeep=[0-9]+\\.[0-9][0-9]s, smartShorten=[0-9]+\\.[0-9][0-9]s, deferredProp=0\\.00s, "
                                "collision=[0-9]+\\.[0-9][0-9]s, resultBuild=[0-9]+\\.[0-9][0-9]s\\] "
                                "dirRenames=2, tooDeepDirs=0, groups=2, collisionEntries=4"));
    EXPECT_EQ(finalPathsByOriginal(output.results).at("a/b/c"), "A/c");
}

}  // namespace
}  // namespace tess
