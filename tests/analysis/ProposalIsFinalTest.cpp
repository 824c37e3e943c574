// A proposed name is final: analysing the proposed tree again proposes no
// further change and reports nothing the analysis would fix.

#include "AnalyzerTestSupport.h"

#include "analysis/FileTransformationIssue.h"
#include "analysis/SourceFileAnalyzer.h"
#include "rules/FilesystemPreset.h"
#include "rules/OSPreset.h"
#include "rules/TessalinePreset.h"
#include "rules/TransformationSettings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace tess {
namespace {

using test::analyzeRelative;
using test::expectProposalsFinal;

// The app's settings for a filesystem and all three client systems: trailing
// spaces and dots stripped, repeated separators cleaned.
TransformationSettings clientSettings(FilesystemPreset filesystem)
{
    TransformationSettings settings
        = TransformationSettings::make(filesystem, false, {OSPreset::windows, OSPreset::macOS, OSPreset::linux});
    settings.stripTrailingCharacters = {" ", "."};
    settings.cleanRepeatedSeparators = true;
    return settings;
}

TEST(ProposalIsFinal, ReproducedNamesLoseTheirTrailingDot)
{
    const struct {
        const char* name;
        std::string input;
        std::string proposed;
    } cases[] = {
        {"zero-width, no-break space, fullwidth colon, tab", "\u200B\u00A0\uFF1A0\t-._", "\uFF1A0"},
        {"bidi override and illegal characters", "ab2\u202E.>|\\\x7F", "ab2"},
        {"long mixed name", "e0eAa.|b\t_e\x7F|-\u202E\u202E\u00DF.<.", "e0eAa.b_e-\u00DF"},
    };
    const TransformationSettings settings = clientSettings(FilesystemPreset::ntfs);
    const SourceFileAnalyzer analyzer(settings, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const bool isDirectory : {true, false}) {
            const auto output = analyzeRelative(analyzer, {{c.input, isDirectory}});
            ASSERT_EQ(output.results.size(), 1u);
            EXPECT_EQ(output.results[0].finalRelativePath, c.proposed);
            // One issue of each kind, however many rounds it took.
            std::set<int> kinds;
            for (const FileTransformationIssue& issue : output.results[0].transformations) {
                EXPECT_TRUE(kinds.insert(issue.tag()).second) << "issue " << issue.tag() << " twice";
            }
            expectProposalsFinal(settings, {{c.input, isDirectory}});
        }
    }
}

// Names built from what the passes act on: controls, bidi and zero-width
// characters, separators, dots, spaces, characters some systems refuse,
// reserved names, bytes that are not UTF-8, and the odd long run.
class HostileNames {
public:
    explicit HostileNames(unsigned seed)
        : m_random(seed)
    {
    }

    std::string name()
    {
        static const std::vector<std::string> pieces = {"a", "B", "z", "0", "7", "\u00DF", "\u00E9", "e\u0301", "\u0436",
            "\U0001F600", ".", ".", "..", " ", " ", "-", "_", "--", "__", "\t", "\x01", "\x1F", "\x7F", "\u202E", "\u200F",
            "\u2066", "\u200B", "\uFEFF", "\u200D", "\u00A0", "\u3000", "\uFF1A", ":", "<", ">", "|", "?", "*", "\"", "\\",
            "#", "%", "{", "}", "\xFF", "\xC3", "\xE2\x82", "CON", "nul", "Com1", "LPT9", "aux", ".txt", ".tar.gz"};
        std::string out;
        const int length = pick(1, 9);
        for (int i = 0; i < length; ++i) {
            out += pieces[static_cast<std::size_t>(pick(0, static_cast<int>(pieces.size()) - 1))];
        }
        if (pick(0, 20) == 0) {
            // Long enough to be cut, in a pattern a cut can end on a dot or space.
            static const std::vector<std::string> patterns = {"a", ".", " ", "-", "ab.", "ab ", "a\u00E9 ", "x.y_"};
            const std::string& pattern = patterns[static_cast<std::size_t>(pick(0, static_cast<int>(patterns.size()) - 1))];
            while (out.size() < static_cast<std::size_t>(pick(260, 320))) {
                out += pattern;
            }
        }
        return out;
    }

    // A tree of folders and files, parents before children.
    std::map<std::string, bool> tree(int size)
    {
        std::map<std::string, bool> out;
        std::vector<std::string> folders {""};
        for (int i = 0; i < size; ++i) {
            const std::string& parent = folders[static_cast<std::size_t>(pick(0, static_cast<int>(folders.size()) - 1))];
            const std::string component = name();
            if (component.find('/') != std::string::npos) {
                continue;
            }
            const std::string path = parent.empty() ? component : parent + "/" + component;
            const bool isDirectory = pick(0, 2) == 0;
            if (!out.emplace(path, isDirectory).second) {
                continue;
            }
            if (isDirectory) {
                folders.push_back(path);
            }
        }
        return out;
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }
    std::mt19937 m_random;
};

TEST(ProposalIsFinal, AnalysingTheProposedTreeChangesNothingUnderEveryPreset)
{
    std::vector<std::pair<std::string, TransformationSettings>> configurations;
    for (const FilesystemPreset filesystem : FilesystemPreset::allCases()) {
        const std::string name(filesystem.rawValue());
        configurations.emplace_back(name, TransformationSettings::make(filesystem, false, {OSPreset::windows, OSPreset::macOS, OSPreset::linux}));
        configurations.emplace_back(name + " with trailing dots stripped", clientSettings(filesystem));
    }
    for (const TessalinePreset& preset : TessalinePreset::builtInPresets()) {
        configurations.emplace_back(preset.name, preset.settings);
    }
    for (unsigned seed = 1; seed <= 20; ++seed) {
        const std::map<std::string, bool> tree = HostileNames(seed).tree(60);
        for (const auto& [name, settings] : configurations) {
            SCOPED_TRACE(name + ", seed " + std::to_string(seed));
            expectProposalsFinal(settings, tree);
        }
    }
}

}  // namespace
}  // namespace tess
