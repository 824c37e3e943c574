// A rename never hides a visible item: where cleaning takes away what stood
// before a ".", the proposed name keeps a visible character in front.

#include "AnalyzerTestSupport.h"

#include "analysis/FileTransformationIssue.h"
#include "analysis/PerItemPasses.h"
#include "analysis/RelativePath.h"
#include "analysis/SourceFileAnalyzer.h"
#include "rules/FilesystemPreset.h"
#include "rules/OSPreset.h"
#include "rules/TessalinePreset.h"
#include "rules/TransformationSettings.h"
#include "rules/TranslationEntry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace tess {
namespace {

using Issue = FileTransformationIssue;
using test::analyzeRelative;
using test::expectProposalsFinal;
using test::hidesVisibleItem;

struct Config {
    std::string name;
    TransformationSettings settings;
};

// The built-in presets, and NTFS, FAT and ext4 as a destination alone and
// for all three client systems with trailing dots stripped and separators
// cleaned (plus one that keeps the Basic Multilingual Plane only).
std::vector<Config> configurations()
{
    std::vector<Config> out;
    for (const TessalinePreset& preset : TessalinePreset::builtInPresets()) {
        out.push_back({preset.name, preset.settings});
    }
    for (const FilesystemPreset filesystem : {FilesystemPreset::ntfs, FilesystemPreset::fat, FilesystemPreset::ext4}) {
        const std::string name(filesystem.rawValue());
        out.push_back({name, TransformationSettings::make(filesystem, filesystem.defaultCaseSensitive(), {})});
        TransformationSettings clients = TransformationSettings::make(filesystem, false, {OSPreset::windows, OSPreset::macOS, OSPreset::linux});
        clients.stripTrailingCharacters = {" ", "."};
        clients.cleanRepeatedSeparators = true;
        out.push_back({name + " for every client", clients});
    }
    Config basic = out.back();
    basic.name += ", UTF-8 Basic";
    basic.settings.targetEncoding = TargetEncoding::utf8Basic;
    out.push_back(std::move(basic));
    return out;
}

// What stands before the first "." of a name: characters the encodings drop
// or transliterate, controls and invisible characters the built-in lists
// take out, deceptive spaces, characters a destination refuses, characters
// the strip sets take away, separators a run collapses into the dot.
const std::vector<std::string> kLeads = {
    "*\xE3\x80\x80",  // illegal, then IDEOGRAPHIC SPACE (becomes a space)
    "\xE2\x80\x8B",  // ZERO WIDTH SPACE
    "\xE2\x80\xAE",  // RIGHT-TO-LEFT OVERRIDE
    "\xEF\xBB\xBF",  // BOM
    "\x01",  // a control character
    "\xC2\xA0",  // NO-BREAK SPACE
    " ",
    "# ",
    "-",
    "_",
    "_ -",
    "\xF0\x9F\x98\x80",  // an emoji: no Latin form, beyond the BMP
    "\xCC\x81",  // a lone combining mark
    "\xE3\x80\x82",  // IDEOGRAPHIC FULL STOP: no ASCII form
    "\xE2\x80\x8B\xF0\x9F\x98\x80 -",
};
const std::vector<std::string> kTails = {".txt", ".profile", "..txt", "...cfg", ".", "..", "...", ".a.b"};

std::map<std::string, bool> hostileTree()
{
    std::map<std::string, bool> tree;
    tree["d"] = true;
    for (std::size_t i = 0; i < kLeads.size(); ++i) {
        const std::string& lead = kLeads[i];
        for (const std::string& tail : kTails) {
            const std::string name = lead + tail;
            tree[name] = false;
            tree["d/" + name] = true;
            tree["d/" + name + "/" + name] = false;
        }
        // At the name limit, where the character put in front must not push
        // the name past it (each name its own, so none is numbered).
        const std::string number = std::to_string(i);
        tree[lead + "." + number + std::string(254 - lead.size() - number.size(), 'x')] = false;
    }
    // Hidden names stay as hidden as they were.
    tree[".\xE2\x80\x8Bhidden"] = false;
    tree[".*x"] = false;
    return tree;
}

TEST(VisibleNames, NoProposalHidesAVisibleItemAndEveryProposalIsFinal)
{
    const std::map<std::string, bool> tree = hostileTree();
    for (const Config& config : configurations()) {
        SCOPED_TRACE(config.name);
        const TransformationSettings& s = config.settings;
        const SourceFileAnalyzer analyzer(s, 3, [](std::string, std::string_view, std::string_view, int) {});
        const auto output = analyzeRelative(analyzer, tree);
        ASSERT_EQ(output.results.size(), tree.size());
        for (const FileTransformationResult& result : output.results) {
            const std::string& path = result.finalRelativePath;
            SCOPED_TRACE("'" + result.originalRelativePath + "' -> '" + path + "'");
            EXPECT_FALSE(hidesVisibleItem(result));
            for (const std::string& component : RelativePath::split(path)) {
                EXPECT_FALSE(component.empty() || component == "." || component == "..");
            }
            const std::int64_t limit = result.originalFile.isDirectory ? s.maxFolderNameLength : s.maxFilenameLength;
            EXPECT_LE(static_cast<std::int64_t>(RelativePath::lastComponent(path).size()), limit);
            EXPECT_TRUE(s.maxPathLength - 3 >= static_cast<std::int64_t>(path.size()));
        }
        expectProposalsFinal(s, tree);
    }
}

TEST(VisibleNames, ThePassThatExposedTheDotRecordsTheCharacterPutInFront)
{
    const TransformationSettings server = TessalinePreset::crossPlatformFileServer().settings;
    const TransformationSettings shell = TessalinePreset::strictShellSafe().settings;
    struct Case {
        const char* label;
        const TransformationSettings& settings;
        std::string name;
        std::string proposed;
        std::vector<Issue> issues;
    };
    const std::vector<Case> cases = {
        {"illegal and deceptive space, collapsed", server, "*\xE3\x80\x80.txt", "_.txt",
            {Issue::CharacterTransformed {{"*", "\xE3\x80\x80"}, "*\xE3\x80\x80.txt", "_ .txt"},
                Issue::RepeatedSeparators {"_ .txt", "_.txt"}}},
        {"zero width, taken out by the table", server, "\xE2\x80\x8B.profile", "_.profile",
            {Issue::CharacterTransformed {{"\xE2\x80\x8B"}, "\xE2\x80\x8B.profile", "_.profile"}}},
        {"leading space, stripped", server, " .txt", "_.txt", {Issue::TrimmedCharacters {{" .txt"}}}},
        {"a run collapsed into the dot", server, "-.txt", "_.txt", {Issue::RepeatedSeparators {"-.txt", "_.txt"}}},
        {"already visible: nothing to do", server, "_.txt", "_.txt", {}},
        {"before \"..\"", server, "\xE2\x80\x8B..txt", "_.txt",
            {Issue::CharacterTransformed {{"\xE2\x80\x8B"}, "\xE2\x80\x8B..txt", "_..txt"},
                Issue::RepeatedSeparators {"_..txt", "_.txt"}}},
        {"only such characters and a dot", server, "*\xE3\x80\x80.", "_",
            {Issue::CharacterTransformed {{"*", "\xE3\x80\x80"}, "*\xE3\x80\x80.", "_ ."},
                Issue::TrimmedCharacters {{"_ ."}}}},
        {"emoji dropped by the ASCII encoding", shell, "\xF0\x9F\x98\x80.txt", "_.txt",
            {Issue::EncodingTransformed {"\xF0\x9F\x98\x80.txt", "_.txt"}}},
        {"hyphen stripped by the shell-safe set", shell, "-.sh", "_.sh", {Issue::TrimmedCharacters {{"-.sh"}}}},
        {"a hidden name stays hidden", server, ".\xE2\x80\x8Bx", ".x",
            {Issue::CharacterTransformed {{"\xE2\x80\x8B"}, ".\xE2\x80\x8Bx", ".x"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const SourceFileAnalyzer analyzer(c.settings, 3);
        const auto output = analyzeRelative(analyzer, {{c.name, false}});
        ASSERT_EQ(output.results.size(), 1u);
        EXPECT_EQ(output.results[0].finalRelativePath, c.proposed);
        EXPECT_EQ(output.results[0].transformations, c.issues);
    }
}

TEST(VisibleNames, NumberingAfterTheCharacterPutInFrontKeepsItVisible)
{
    // Three names that all become "_.txt" beside one that is "_.txt" already.
    const SourceFileAnalyzer analyzer(TessalinePreset::crossPlatformFileServer().settings, 3);
    const auto output = analyzeRelative(analyzer,
        {{"_.txt", false}, {"\xE2\x80\x8B.txt", false}, {" .txt", false}, {"-.txt", false}});
    std::map<std::string, std::string> paths;
    for (const FileTransformationResult& result : output.results) {
        paths[result.originalRelativePath] = result.finalRelativePath;
    }
    EXPECT_EQ(paths.at("_.txt"), "_.txt");
    std::vector<std::string> numbered = {paths.at("\xE2\x80\x8B.txt"), paths.at(" .txt"), paths.at("-.txt")};
    std::sort(numbered.begin(), numbered.end());
    EXPECT_THAT(numbered, ::testing::ElementsAre("_1.txt", "_2.txt", "_3.txt"));
}

TEST(VisibleNames, CutsAndNumbersKeepTheCharacterInFront)
{
    // Each of these ends with a separator run that collapses into the dot.
    auto cleaning = test::plainSettings();
    cleaning.cleanRepeatedSeparators = true;
    // One character of 18 bytes (a family emoji joined by ZWJ).
    const std::string family = "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7";
    auto fitting = cleaning;
    fitting.maxFilenameLength = 10;  // the cut keeps only the "_" before ".txt"
    auto shortening = cleaning;
    shortening.smartPathShortening = true;
    shortening.maxPathLength = 30;  // the folder is cut to "_." and 19 more bytes
    auto numbering = cleaning;
    numbering.repeatedSeparatorCharacters = {".", "_", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
    const std::string folder = "_." + std::string(30, 'a');
    struct Case {
        const char* label;
        const TransformationSettings& settings;
        std::map<std::string, bool> tree;
        std::string item;
        std::string proposed;
    };
    const std::vector<Case> cases = {
        {"a name fitted to its limit", fitting, {{"_" + family + ".txt", false}}, "_" + family + ".txt", "_.txt"},
        {"a folder cut by smart shortening", shortening, {{folder, true}, {folder + "/x.txt", false}}, folder,
            "_." + std::string(19, 'a')},
        // "__1.txt" collapses to "_.txt", which is taken; the numbering ends
        // on a name that keeps its number.
        {"a number eaten by separator cleaning", numbering, {{"_.txt", false}, {"__.txt", false}}, "__.txt", "__2.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const SourceFileAnalyzer analyzer(c.settings, 3, [](std::string, std::string_view, std::string_view, int) {});
        const auto output = analyzeRelative(analyzer, c.tree);
        for (const FileTransformationResult& result : output.results) {
            EXPECT_FALSE(hidesVisibleItem(result)) << result.originalRelativePath << " -> " << result.finalRelativePath;
            if (result.originalRelativePath == c.item) {
                EXPECT_EQ(result.finalRelativePath, c.proposed);
            }
        }
    }
}

TEST(VisibleNames, TheCharacterPutInFrontIsOneTheSettingsKeep)
{
    struct Case {
        const char* label;
        CanonicalStringSet stripLeading;
        std::vector<TranslationEntry> entries;
        char lead;
        std::string proposed;
    };
    const std::vector<Case> cases = {
        {"default", {" "}, {}, '_', "_.txt"},
        {"underscore stripped", {" ", "_"}, {}, '-', "-.txt"},
        {"underscore and hyphen stripped", {" ", "_", "-"}, {}, '0', "0.txt"},
        {"underscore illegal", {" "}, {{"_", "+"}}, '-', "-.txt"},
        {"an entry of several characters", {" "}, {{"_.", "x"}}, '-', "-.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        auto settings = test::plainSettings();
        settings.stripLeadingCharacters = c.stripLeading;
        settings.translationTable.entries = c.entries;
        const PerItemPasses passes(settings, 3);
        EXPECT_EQ(passes.visibleLead(), c.lead);
        const SourceFileAnalyzer analyzer(settings, 3);
        const auto output = analyzeRelative(analyzer, {{" .txt", false}});
        EXPECT_EQ(output.results.at(0).finalRelativePath, c.proposed);
        expectProposalsFinal(settings, {{" .txt", false}});
    }
}

}  // namespace
}  // namespace tess
