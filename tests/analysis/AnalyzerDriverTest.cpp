#include "AnalyzerTestSupport.h"

#include "analysis/FileTransformationIssue.h"
#include "analysis/PerItemPasses.h"
#include "analysis/PreparationOrder.h"
#include "analysis/SourceFileAnalyzer.h"
#include "log/AppLogger.h"
#include "rules/RuleTypes.h"
#include "rules/TranslationTable.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <fstream>
#include <random>
#include <sstream>

namespace tess {
namespace {

using test::AnalyzerLogSink;
using test::plainSettings;
using test::ProcessorCountOverride;
using Issue = FileTransformationIssue;

std::vector<std::string> linesMatching(const std::vector<std::string>& lines, const std::string& prefix)
{
    std::vector<std::string> out;
    for (const std::string& line : lines) {
        if (line.rfind(prefix, 0) == 0) {
            out.push_back(line);
        }
    }
    return out;
}

// Whether `line` reads as `pattern` where each "{t}" stands for a time
// written with two decimals ("0.00", "12.34").
bool matchesTimed(const std::string& line, const std::string& pattern)
{
    std::size_t at = 0;
    std::size_t from = 0;
    while (true) {
        const std::size_t hole = pattern.find("{t}", from);
        const std::string literal = pattern.substr(from, hole == std::string::npos ? std::string::npos : hole - from);
        if (line.compare(at, literal.size(), literal) != 0) {
            return false;
        }
        at += literal.size();
        if (hole == std::string::npos) {
            return at == line.size();
        }
        const std::size_t digitsStart = at;
        while (at < line.size() && std::isdigit(static_cast<unsigned char>(line[at]))) {
            ++at;
        }
        if (at == digitsStart || at + 3 > line.size() || line[at] != '.' || !std::isdigit(static_cast<unsigned char>(line[at + 1]))
            || !std::isdigit(static_cast<unsigned char>(line[at + 2]))) {
            return false;
        }
        at += 3;
        from = hole + 3;
    }
}

std::vector<FileItem> filesUnder(const std::string& root, std::size_t count)
{
    std::vector<FileItem> items;
    for (std::size_t i = 0; i < count; ++i) {
        items.push_back(FileItem {root + "/f" + std::to_string(i) + ".txt", false});
    }
    return items;
}

std::vector<SourceFileAnalyzer::PreparedItem> prepared(std::size_t count)
{
    std::vector<SourceFileAnalyzer::PreparedItem> items;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string relative = "f" + std::to_string(i) + ".txt";
        items.push_back({FileItem {"/r/" + relative, false}, relative, false});
    }
    return items;
}

TEST(IssueKeys, KindsStandInTagOrderWithTheirKeys)
{
    const std::vector<std::string_view> expected = {"characterTransformed", "collision", "encodingTransformed",
        "filenameTooLong", "filenameUnresolvable", "folderNameTooLong", "pathShortened", "pathTooDeep", "pathTooLong",
        "repeatedSeparators", "reservedName", "trimmedCharacters"};
    ASSERT_EQ(Issue::allKinds().size(), expected.size());
    for (std::size_t tag = 0; tag < expected.size(); ++tag) {
        const Issue::Kind kind = Issue::allKinds()[tag];
        EXPECT_EQ(static_cast<std::size_t>(kind), tag);
        EXPECT_EQ(Issue::keyOf(kind), expected[tag]);
        EXPECT_EQ(Issue::kindFromKey(expected[tag]), kind);
    }
    EXPECT_EQ(Issue::kindFromKey("CharacterTransformed"), std::nullopt);

    const Issue issue = Issue::PathTooDeep {4, 3};
    EXPECT_EQ(issue.tag(), 7);
    EXPECT_EQ(issue.key(), "pathTooDeep");
    EXPECT_EQ(issue.as<Issue::PathTooDeep>().currentDepth, 4);
    EXPECT_EQ(Issue(Issue::ReservedName {"CON"}).key(), "reservedName");
}

TEST(ChunkPlanning, FollowsItemAndProcessorCounts)
{
    struct Case {
        std::size_t items;
        std::size_t cores;
        std::size_t chunks;
        std::size_t chunkSize;
    };
    const std::vector<Case> cases = {
        {999, 8, 1, 999},
        {1000, 1, 1, 1000},
        {1000, 2, 2, 500},
        {1000, 8, 2, 500},
        {2501, 4, 4, 626},
        {0, 8, 1, 0},
    };
    for (const Case& c : cases) {
        const auto plan = PreparationOrder::planChunks(c.items, c.cores);
        EXPECT_EQ(plan.chunkCount, c.chunks) << c.items << "/" << c.cores;
        EXPECT_EQ(plan.chunkSize, c.chunkSize) << c.items << "/" << c.cores;
    }
}

TEST(ChunkPlanning, ParallelChunksCoverEveryItemOnceInOrder)
{
    // 2501 items on 4 processors: chunks 0-625, 626-1251, 1252-1877, 1878-2500.
    const ProcessorCountOverride cores(4);
    const SourceFileAnalyzer analyzer(plainSettings(), 3);
    auto output = analyzer.runPhase1(prepared(2501), {});
    ASSERT_FALSE(output.stoppedEarly);
    ASSERT_EQ(output.results.size(), 2501u);
    for (std::size_t i = 0; i < output.results.size(); ++i) {
        ASSERT_EQ(output.results[i].originalRelativePath(), "f" + std::to_string(i) + ".txt");
    }
}

TEST(Preparation, SortsByDepthThenFoldersThenCanonicalPath)
{
    const std::vector<FileItem> items = {
        {"/r/x/b", true},
        {"/r/x/a.txt", false},
        {"/r/x/a", true},
        {"/r/x", true},
        {"/r/x/f", false},
        {"/r/x/e\xCC\x81", false},  // e + U+0301 sorts as U+00E9, after "f"
    };
    const auto order = PreparationOrder::sortedOrder(items);
    std::vector<std::string> paths;
    for (const std::size_t index : order) {
        paths.push_back(items[index].path);
    }
    EXPECT_THAT(paths, ::testing::ElementsAre("/r/x", "/r/x/a", "/r/x/b", "/r/x/a.txt", "/r/x/f", "/r/x/e\xCC\x81"));
}

TEST(Preparation, CanonicallyEqualPathsKeepInputOrder)
{
    const std::vector<FileItem> items = {{"/r/caf\xC3\xA9", false}, {"/r/cafe\xCC\x81", false}};
    EXPECT_THAT(PreparationOrder::sortedOrder(items), ::testing::ElementsAre(0u, 1u));
    const std::vector<FileItem> reversed = {items[1], items[0]};
    EXPECT_THAT(PreparationOrder::sortedOrder(reversed), ::testing::ElementsAre(0u, 1u));
}

TEST(Preparation, LargeSortsAreStableOnAnyProcessorCount)
{
    // Enough items for the sort to be split across processors; many equal
    // keys (same path twice, canonically equal spellings) test stability.
    const std::vector<std::string> names = {"a", "b", "caf\xC3\xA9", "cafe\xCC\x81", "Z", "a.txt", "\xE6\x97\xA5"};
    std::mt19937 random(7);
    std::vector<FileItem> items;
    for (int i = 0; i < 50000; ++i) {
        std::string path = "/r";
        const int depth = 1 + static_cast<int>(random() % 3);
        for (int d = 0; d < depth; ++d) {
            path += "/" + names[random() % names.size()];
        }
        items.push_back({path, random() % 3 == 0});
    }
    std::vector<std::size_t> serial;
    std::vector<std::size_t> parallel;
    {
        const ProcessorCountOverride cores(1);
        serial = PreparationOrder::sortedOrder(items);
    }
    {
        const ProcessorCountOverride cores(8);
        parallel = PreparationOrder::sortedOrder(items);
    }
    EXPECT_EQ(serial, parallel);
    ASSERT_EQ(serial.size(), items.size());
    for (std::size_t i = 1; i < serial.size(); ++i) {
        const FileItem& a = items[serial[i - 1]];
        const FileItem& b = items[serial[i]];
        const auto depthA = std::count(a.path.begin(), a.path.end(), '/');
        const auto depthB = std::count(b.path.begin(), b.path.end(), '/');
        if (depthA != depthB || a.isDirectory != b.isDirectory) {
            continue;
        }
        const int order = text::canonicalCompare(a.path, b.path);
        ASSERT_LE(order, 0) << a.path << " | " << b.path;
        if (order == 0) {
            ASSERT_LT(serial[i - 1], serial[i]) << "equal keys keep input order";
        }
    }
}

TEST(Preparation, RelativePaths)
{
    struct Case {
        std::string root;
        std::string path;
        std::optional<std::string> relative;
    };
    const std::vector<Case> cases = {
        {"/Volumes/Data", "/Volumes/Data/a/b.txt", "a/b.txt"},
        {"/Volumes/Data/", "/Volumes/Data/a/b.txt", "a/b.txt"},
        {"/Volumes/Data", "/Volumes/Data", std::nullopt},
        {"/Volumes/Data/", "/Volumes/Data/", std::nullopt},
        {"/Volumes/Data", "/Other/x", std::nullopt},
        {"/Volumes/Data", "/Volumes/Database/x", std::nullopt},
        // Character by character under canonical equivalence.
        {"/Vol/Caf\xC3\xA9", "/Vol/Cafe\xCC\x81/x", "x"},
        // Raw bytes after the root are kept as they are.
        {"/r", "/r/caf\xE9", "caf\xE9"},
    };
    for (const Case& c : cases) {
        const std::string root = PreparationOrder::rootWithSlash(c.root);
        EXPECT_EQ(root.back(), '/');
        EXPECT_EQ(PreparationOrder::relativePath(c.path, root), c.relative) << c.root << " | " << c.path;
    }
}

TEST(Analyze, ItemsOutsideTheRootPassThroughUnchangedWithAWarning)
{
    auto settings = plainSettings();
    settings.reservedNames = {"DATA", "X"};
    settings.maxPathLength = 5;
    AnalyzerLogSink log;
    const SourceFileAnalyzer analyzer(settings, 3, log.sink());
    const std::vector<FileItem> items = {{"/Volumes/Data", true}, {"/Other/x", false}, {"/Volumes/Data/a", false}};
    const auto output = analyzer.analyze(items, "/Volumes/Data", "NTFS", [] { return false; });
    ASSERT_EQ(output.results.size(), 3u);
    for (const auto& result : output.results) {
        if (result.originalFile.path == "/Volumes/Data/a") {
            EXPECT_EQ(result.originalRelativePath, "a");
            continue;
        }
        EXPECT_EQ(result.originalRelativePath, result.originalFile.path);
        EXPECT_EQ(result.finalRelativePath, result.originalFile.path);
        EXPECT_TRUE(result.transformations.empty());
        EXPECT_FALSE(result.needsRename);
    }
    EXPECT_EQ(linesMatching(log.lines(), "WARN ⚠️ Analyzer: item outside the source root left unchanged: ").size(), 2u);
}

TEST(Analyze, GoldenLogLines)
{
    const ProcessorCountOverride cores(8);
    AnalyzerLogSink log;
    const SourceFileAnalyzer analyzer(TransformationSettings {}, 3, log.sink());
    const std::vector<FileItem> items = {{"/src/a\xC2\xA0"
                                          "b.txt",
                                             false},
        {"/src/c", true}, {"/src/c/d", false}};
    const auto output = analyzer.analyze(items, "/src", "FAT", [] { return false; });
    ASSERT_EQ(output.results.size(), 3u);

    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 7u);
    // Unlimited name limits are numbers; unlimited path and depth are "none".
    // The default settings enable the three built-in lists: 65 + 16 + 15.
    EXPECT_EQ(lines[0],
        "INFO Analyzer: Starting analysis of 3 items [target=FAT, encoding=utf8Full, caseSensitive=true, "
        "fileNameLimit=9223372036854775807, folderNameLimit=9223372036854775807, pathLengthLimit=none, "
        "flattenDepth=none, translationEntries=96]");
    EXPECT_TRUE(matchesTimed(lines[1], "INFO Analyzer: Prep complete in {t}s [sort={t}s, relPaths={t}s]"))
        << lines[1];
    EXPECT_EQ(lines[2], "INFO Analyzer: Phase 1 starting — 3 items across 1 chunks on 8 cores");
    EXPECT_TRUE(matchesTimed(lines[3], "INFO Analyzer: Phase 1 complete in {t}s — 1 items with transforms"))
        << lines[3];
    EXPECT_EQ(lines[4], "INFO Analyzer: Phase 2 starting — serial cross-file passes");
    // Two folders hold items: the top level and c.
    EXPECT_TRUE(matchesTimed(lines[5],
        "INFO Analyzer phase2 breakdown: 3 items [renameProp={t}s, flatten={t}s, tooDeep={t}s, smartShorten={t}s, "
        "deferredProp={t}s, collision={t}s, resultBuild={t}s] dirRenames=0, tooDeepDirs=0, groups=2, collisionEntries=3"))
        << lines[5];
    EXPECT_TRUE(matchesTimed(lines[6],
        "INFO Analyzer: Complete — 3 items in {t}s, 1 with issues [prep={t}s, phase1={t}s, phase2={t}s] "
        "encoding=utf8Full, caseSensitive=true"))
        << lines[6];
}

TEST(Analyze, WithoutASinkLinesGoToTheApplicationLog)
{
    const SourceFileAnalyzer analyzer(plainSettings(), 3);
    analyzer.analyze(filesUnder("/r", 2), "/r", "ext4-default-sink", [] { return false; });
    AppLogger::shared().flush();
    std::ifstream file(AppLogger::shared().logFilePath());
    std::stringstream contents;
    contents << file.rdbuf();
    EXPECT_THAT(contents.str(), ::testing::HasSubstr("Analyzer: Starting analysis of 2 items [target=ext4-default-sink, "));
    EXPECT_THAT(contents.str(), ::testing::HasSubstr("Analyzer: Phase 2 starting — serial cross-file passes"));
}

TEST(Analyze, StartLineWritesLimitsAndUnknownTarget)
{
    const ProcessorCountOverride cores(2);
    auto settings = plainSettings();
    settings.targetEncoding = TargetEncoding::asciiOnly;
    settings.isCaseSensitive = false;
    settings.maxFilenameLength = 255;
    settings.maxFolderNameLength = 128;
    settings.maxPathLength = 1023;
    settings.maxPathDepth = 20;
    settings.translationTable.entries = {{":", "_"}, {"?", "_"}};
    AnalyzerLogSink log;
    const SourceFileAnalyzer analyzer(settings, 3, log.sink());
    analyzer.analyze(filesUnder("/r", 1200), "/r", "", [] { return false; });
    const auto lines = log.lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0],
        "INFO Analyzer: Starting analysis of 1200 items [target=unknown, encoding=asciiOnly, caseSensitive=false, "
        "fileNameLimit=255, folderNameLimit=128, pathLengthLimit=1023, flattenDepth=20, translationEntries=2]");
    EXPECT_EQ(lines[2], "INFO Analyzer: Phase 1 starting — 1200 items across 2 chunks on 2 cores");
    EXPECT_THAT(lines.back(), ::testing::EndsWith("encoding=asciiOnly, caseSensitive=false"));
}

TEST(Analyze, EmptyInputRunsThroughAllSteps)
{
    AnalyzerLogSink log;
    const SourceFileAnalyzer analyzer(plainSettings(), 3, log.sink());
    const auto output = analyzer.analyze({}, "/r", "FAT", [] { return false; });
    EXPECT_TRUE(output.results.empty());
    // Start, prep, phase 1 start and end, phase 2 start, breakdown, complete.
    EXPECT_EQ(log.lines().size(), 7u);
}

TEST(Cancellation, SerialRunPollsEveryThousandItems)
{
    const ProcessorCountOverride cores(1);
    const SourceFileAnalyzer analyzer(plainSettings(), 3);
    std::atomic<int> polls {0};
    const auto output = analyzer.runPhase1(prepared(1500), [&] {
        ++polls;
        return false;
    });
    EXPECT_EQ(polls.load(), 1);
    EXPECT_EQ(output.results.size(), 1500u);
    EXPECT_FALSE(output.stoppedEarly);

    polls = 0;
    analyzer.runPhase1(prepared(1000), [&] {
        ++polls;
        return false;
    });
    EXPECT_EQ(polls.load(), 0);
}

TEST(Cancellation, ParallelChunksOfAThousandNeverPoll)
{
    const ProcessorCountOverride cores(2);
    const SourceFileAnalyzer analyzer(plainSettings(), 3);
    std::atomic<int> polls {0};
    const auto output = analyzer.runPhase1(prepared(2000), [&] {
        ++polls;
        return false;
    });
    EXPECT_EQ(polls.load(), 0);
    EXPECT_EQ(output.results.size(), 2000u);

    polls = 0;
    analyzer.runPhase1(prepared(2002), [&] {  // two chunks of 1001: one poll each
        ++polls;
        return false;
    });
    EXPECT_EQ(polls.load(), 2);
}

TEST(Cancellation, StopsPhase1AndReturnsNothing)
{
    const ProcessorCountOverride cores(1);
    AnalyzerLogSink log;
    const SourceFileAnalyzer analyzer(plainSettings(), 3, log.sink());
    const auto stopped = analyzer.runPhase1(prepared(2500), [] { return true; });
    EXPECT_TRUE(stopped.stoppedEarly);
    EXPECT_EQ(stopped.results.size(), 1000u);

    const auto output = analyzer.analyze(filesUnder("/r", 2500), "/r", "FAT", [] { return true; });
    EXPECT_TRUE(output.results.empty());
    EXPECT_TRUE(output.tooDeepDirs.empty());
    const auto lines = log.lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_THAT(lines[lines.size() - 2], ::testing::HasSubstr("Analyzer: Phase 1 complete in "));
    EXPECT_EQ(lines.back(), "INFO Analyzer: cancelled after phase1");
}

TEST(Cancellation, StoppedParallelChunksKeepWhatTheyDidInOrder)
{
    const ProcessorCountOverride cores(4);
    const SourceFileAnalyzer analyzer(plainSettings(), 3);
    // Four chunks of 1500: each stops before its local item 1000.
    const auto output = analyzer.runPhase1(prepared(6000), [] { return true; });
    EXPECT_TRUE(output.stoppedEarly);
    ASSERT_EQ(output.results.size(), 4000u);
    for (std::size_t chunk = 0; chunk < 4; ++chunk) {
        for (std::size_t j = 0; j < 1000; ++j) {
            ASSERT_EQ(output.results[chunk * 1000 + j].originalRelativePath(), "f" + std::to_string(chunk * 1500 + j) + ".txt");
        }
    }
}

TEST(Cancellation, APhase1ThatStoppedEarlyIsNeverHandedOn)
{
    // The flag is raised during phase 1 and cleared before the check after
    // it: the partial results must still not come back.
    const ProcessorCountOverride cores(1);
    AnalyzerLogSink log;
    const SourceFileAnalyzer analyzer(plainSettings(), 3, log.sink());
    std::atomic<int> calls {0};
    const auto output = analyzer.analyze(filesUnder("/r", 2500), "/r", "FAT", [&] { return ++calls == 1; });
    EXPECT_TRUE(output.results.empty());
    EXPECT_EQ(log.lines().back(), "INFO Analyzer: cancelled after phase1");
}

TEST(Cancellation, AfterPhase2)
{
    AnalyzerLogSink log;
    const SourceFileAnalyzer analyzer(plainSettings(), 3, log.sink());
    std::atomic<int> calls {0};
    // Three items: no poll inside phase 1; the checks after phase 1 and after
    // phase 2 are the first and second calls.
    const auto output = analyzer.analyze(filesUnder("/r", 3), "/r", "FAT", [&] { return ++calls >= 2; });
    EXPECT_TRUE(output.results.empty());
    EXPECT_EQ(log.lines().back(), "INFO Analyzer: cancelled after phase2");
}

TEST(SetUp, SeparatorPrecedence)
{
    auto settings = plainSettings();
    settings.repeatedSeparatorCharacters = {".", "-", "_", " "};
    const PerItemPasses passes(settings, 3);
    EXPECT_EQ(passes.separatorPrecedence("."), 4);
    EXPECT_EQ(passes.separatorPrecedence("-"), 3);
    EXPECT_EQ(passes.separatorPrecedence("_"), 2);
    EXPECT_EQ(passes.separatorPrecedence(" "), 1);
    EXPECT_EQ(passes.separatorPrecedence("a"), 0);

    settings.repeatedSeparatorCharacters = {".", "-", "."};
    const PerItemPasses repeated(settings, 3);
    EXPECT_EQ(repeated.separatorPrecedence("."), 1);
    EXPECT_EQ(repeated.separatorPrecedence("-"), 2);
}

TEST(SetUp, SettingsEntriesComeFirstAndWinOverBuiltIns)
{
    TransformationSettings settings;  // all three built-in lists on
    settings.translationTable.entries = {{"\xC2\xA0", "_"}};
    const auto entries = PerItemPasses::effectiveTranslationEntries(settings);
    ASSERT_EQ(entries.size(), 1u + 65u + 15u + 15u);
    EXPECT_EQ(entries[0], (TranslationEntry {"\xC2\xA0", "_"}));
    // Then control characters, the remaining deceptive spaces, zero-width.
    EXPECT_EQ(entries[1].from, std::string(1, '\0'));
    EXPECT_EQ(entries[66].from, "\xE1\x9A\x80");  // U+1680
    EXPECT_EQ(entries.back().from, "\xEF\xBB\xBF");  // U+FEFF

    settings.stripControlCharacters = false;
    settings.stripZeroWidthCharacters = false;
    EXPECT_EQ(PerItemPasses::effectiveTranslationEntries(settings).size(), 16u);

    const PerItemPasses passes(settings, 3);
    std::string path = "a\xC2\xA0"
                       "b\xE2\x80\x83"
                       "c";  // U+00A0 and U+2003
    PerItemPasses::Issues issues;
    passes.applyTranslationTable(path, issues);
    EXPECT_EQ(path, "a_b c");
}

// Settings that make most passes do something: ASCII only, flattening,
// short names, separator runs, trailing strips.
TransformationSettings busySettings()
{
    auto settings = TransformationSettings::make(FilesystemPreset::smb, false, {OSPreset::windows, OSPreset::linux});
    settings.targetEncoding = TargetEncoding::asciiOnly;
    settings.maxPathDepth = 6;
    settings.maxFilenameLength = 40;
    settings.maxFolderNameLength = 30;
    settings.cleanRepeatedSeparators = true;
    settings.stripTrailingCharacters = {" ", "."};
    return settings;
}

// `count` random items under /src built from awkward parts.
std::vector<FileItem> mixedItems(int count)
{
    const std::vector<std::string> parts = {"Docs", "Résumé", "a  b", "CON", "Ça", "日本語", "--x..y", "photo_2",
        "a:b", "very long folder name with spaces", "😀", "Straße", "e\xCC\x81t\xC3\xA9", "notes."};
    std::mt19937 random(42);
    std::vector<FileItem> items;
    for (int i = 0; i < count; ++i) {
        std::string path = "/src";
        const int depth = 1 + static_cast<int>(random() % 8);
        for (int d = 0; d < depth; ++d) {
            path += "/" + parts[random() % parts.size()];
        }
        path += std::to_string(i);
        const bool isDirectory = random() % 4 == 0;
        if (!isDirectory) {
            path += random() % 2 ? ".txt" : ".tar.gz";
        }
        items.push_back({path, isDirectory});
    }
    return items;
}

TEST(Determinism, SameResultsOnOneAndEightProcessors)
{
    const TransformationSettings settings = busySettings();
    const std::vector<FileItem> items = mixedItems(5000);

    const SourceFileAnalyzer analyzer(settings, 3, [](std::string, std::string_view, std::string_view, int) {});
    SourceFileAnalyzer::AnalysisResult one;
    SourceFileAnalyzer::AnalysisResult eight;
    {
        const ProcessorCountOverride cores(1);
        one = analyzer.analyze(items, "/src", "SMB", [] { return false; });
    }
    {
        const ProcessorCountOverride cores(8);
        eight = analyzer.analyze(items, "/src", "SMB", [] { return false; });
    }
    ASSERT_EQ(one.results.size(), items.size());
    EXPECT_TRUE(one.results == eight.results);
    const auto changed = std::count_if(one.results.begin(), one.results.end(), [](const auto& r) { return r.needsRename; });
    EXPECT_GT(changed, 1000);
}

TEST(Determinism, AnAnalysisThatTakesTheItemsOverGivesTheSameResults)
{
    const SourceFileAnalyzer analyzer(busySettings(), 3, [](std::string, std::string_view, std::string_view, int) {});
    std::vector<FileItem> items = mixedItems(3000);
    // Twins and names that collide once transformed, in both input orders.
    for (const char* name : {"caf\xC3\xA9", "cafe\xCC\x81", "Report:1", "Report?1", "b.txt", "B.TXT"}) {
        items.push_back({std::string("/src/Docs/") + name, false});
        items.insert(items.begin(), FileItem {std::string("/src/Ça/") + name, false});
    }
    std::vector<FileItem> handedOver = items;

    const auto copied = analyzer.analyze(items, "/src", "SMB", [] { return false; });
    const auto taken = analyzer.analyze(std::move(handedOver), "/src", "SMB", [] { return false; });
    ASSERT_EQ(copied.results.size(), items.size());
    EXPECT_TRUE(copied.results == taken.results);
    EXPECT_EQ(copied.tooDeepDirs, taken.tooDeepDirs);
    EXPECT_FALSE(copied.tooDeepDirs.empty());
    const auto collisions = std::count_if(copied.results.begin(), copied.results.end(), [](const auto& r) {
        return std::any_of(r.transformations.begin(), r.transformations.end(),
            [](const Issue& issue) { return issue.is<Issue::Collision>(); });
    });
    EXPECT_GT(collisions, 0);
    EXPECT_TRUE(handedOver.empty());  // NOLINT(bugprone-use-after-move): taken over, and freed
}

}  // namespace
}  // namespace tess
