// Invariants of the whole analysis over seeded random trees with hostile
// names, for the built-in presets and several destinations, at 1 and at 8
// processors.

#include "CrossItemTestSupport.h"

#include "analysis/RelativePath.h"
#include "rules/FilesystemPreset.h"
#include "rules/OSPreset.h"
#include "rules/RuleTypes.h"
#include "rules/TessalinePreset.h"
#include "text/Text.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <map>
#include <random>
#include <set>
#include <unordered_map>
#include <unordered_set>

namespace tess {
namespace {

const std::vector<std::string> kPlain = {"report", "Photos", "a", "data_2021", "notes", "IMG_0042", "backup copy",
    "Invoice-03", "x", "src", "Album", "draft", "final", "notes_1", "x_2", "\xC3\x89t\xC3\xA9", "\xCE\x9F\xCE\x94\xCE\x9F\xCE\xA3"};
const std::vector<std::string> kHostile = {
    "\x01", "\x7F", "\xC2\x85",  // controls (C0, DEL, NEL)
    "\xE2\x80\x8B", "\xEF\xBB\xBF", "\xE2\x80\x8D",  // zero-width space, BOM, joiner
    "\xC2\xA0", "\xE2\x80\x82", "\xE3\x80\x80",  // no-break, en and ideographic spaces
    ":", "?", "*", "<", ">", "|", "\"", "\\", " ", ".", "..", "__", "--", "  ", "-_ .",  // illegal and separators
    "\xF0\x9F\x98\x80", "\xE6\x97\xA5\xE6\x9C\xAC", "\xE9",  // emoji, CJK, a byte that is not UTF-8
    "e\xCC\x81", "\xC3\xA9", "\xC3\x9F", "\xC4\xB0", "\xEF\xAC\x81",  // NFD and NFC e-acute, sharp s, dotted I, fi
};
const std::vector<std::string> kReserved = {"CON", "con", "Nul", "AUX", "com1", "LPT9", "PRN_2", "nul"};
const std::vector<std::string> kExtensions = {".txt", ".tar.gz", "", ".md", ".JPG", ".a_long_extension_name", "."};

class TreeGenerator {
public:
    explicit TreeGenerator(unsigned seed)
        : m_random(seed)
    {
    }

    std::vector<FileItem> generate(std::size_t count)
    {
        m_folders = {""};
        std::vector<FileItem> items;
        while (items.size() < count) {
            const std::string parent = pickParent();
            const bool isDirectory = chance(30);
            std::string name = makeName(isDirectory);
            addItem(items, parent, name, isDirectory);
            if (chance(8)) {
                // A twin of the same name: another case, or the other
                // normalisation form; now and then a file twin of a folder
                // or the other way round.
                const unsigned kind = roll(4);
                std::string twin = kind == 0 ? text::toUpper(text::toValidUtf8(name))
                    : kind == 1              ? text::nfd(text::toValidUtf8(name))
                    : kind == 2              ? text::nfc(text::toValidUtf8(name))
                                             : text::toLower(text::toValidUtf8(name));
                addItem(items, parent, twin, chance(20) ? !isDirectory : isDirectory);
            }
            if (chance(1)) {
                addChain(items, parent);
            }
        }
        return items;
    }

private:
    unsigned roll(unsigned n) { return static_cast<unsigned>(m_random() % n); }
    bool chance(unsigned percent) { return roll(100) < percent; }

    std::string pickParent()
    {
        // Favour recent (deeper) folders.
        if (chance(40)) {
            return m_folders[m_folders.size() - 1 - roll(static_cast<unsigned>(std::min<std::size_t>(m_folders.size(), 8)))];
        }
        return m_folders[roll(static_cast<unsigned>(m_folders.size()))];
    }

    std::string makeName(bool isDirectory)
    {
        std::string name;
        if (chance(6)) {
            name = kReserved[roll(static_cast<unsigned>(kReserved.size()))];
        } else {
            const unsigned parts = 1 + roll(4);
            for (unsigned i = 0; i < parts; ++i) {
                name += chance(45) ? kHostile[roll(static_cast<unsigned>(kHostile.size()))] : kPlain[roll(static_cast<unsigned>(kPlain.size()))];
            }
        }
        if (chance(4)) {
            for (unsigned i = 0, n = 10 + roll(40); i < n; ++i) {
                name += chance(80) ? "long_part" : "\xC3\xA9t\xC3\xA9";
            }
        }
        if (!isDirectory || chance(10)) {
            name += kExtensions[roll(static_cast<unsigned>(kExtensions.size()))];
        }
        if (name == "." || name == "..") {
            name += "x";
        }
        return name;
    }

    void addItem(std::vector<FileItem>& items, const std::string& parent, const std::string& name, bool isDirectory)
    {
        const std::string relative = parent.empty() ? name : parent + "/" + name;
        if (name.empty() || name.size() > 1000 || !m_taken.insert(relative).second) {
            return;
        }
        items.push_back(FileItem {"/src/" + relative, isDirectory});
        if (isDirectory) {
            m_folders.push_back(relative);
        }
    }

    void addChain(std::vector<FileItem>& items, std::string parent)
    {
        for (unsigned depth = 0, n = 10 + roll(15); depth < n; ++depth) {
            const std::string name = kPlain[roll(static_cast<unsigned>(kPlain.size()))] + std::to_string(depth) + (chance(30) ? kHostile[roll(static_cast<unsigned>(kHostile.size()))] : "");
            addItem(items, parent, name, true);
            parent = parent.empty() ? name : parent + "/" + name;
            addItem(items, parent, "leaf" + std::to_string(depth) + ".txt", false);
        }
    }

    std::mt19937 m_random;
    std::vector<std::string> m_folders;
    std::unordered_set<std::string> m_taken;
};

struct Config {
    std::string name;
    TransformationSettings settings;
};

std::vector<Config> configs()
{
    std::vector<Config> out;
    for (const TessalinePreset& preset : TessalinePreset::builtInPresets()) {
        out.push_back({preset.name, preset.settings});
    }
    const std::set<OSPreset> allSystems = {OSPreset::windows, OSPreset::macOS, OSPreset::linux};
    for (const FilesystemPreset preset : {FilesystemPreset::fat, FilesystemPreset::ntfs, FilesystemPreset::smb, FilesystemPreset::s3}) {
        out.push_back({std::string(preset.rawValue()), TransformationSettings::make(preset, preset.defaultCaseSensitive(), allSystems)});
    }
    // The same with the cross-item passes in play: tight path and depth
    // limits, smart shortening, separator cleaning.
    const std::size_t plain = out.size();
    for (std::size_t i = 0; i < plain; ++i) {
        Config tight = out[i];
        tight.name += " (tight)";
        tight.settings.smartPathShortening = true;
        tight.settings.maxPathLength = std::min<std::int64_t>(tight.settings.maxPathLength, 140);
        tight.settings.maxPathDepth = std::min<std::int64_t>(tight.settings.maxPathDepth, 7);
        tight.settings.maxFilenameLength = std::min<std::int64_t>(tight.settings.maxFilenameLength, 60);
        tight.settings.maxFolderNameLength = std::min<std::int64_t>(tight.settings.maxFolderNameLength, 40);
        tight.settings.cleanRepeatedSeparators = true;
        out.push_back(std::move(tight));
    }
    // Odd corners: depth limits 0 to 2 (files flattened to the top or into a
    // top folder), a folder-name limit far below the file-name limit, and
    // digits among the separators (cleaning eats collision numbers).
    for (const std::int64_t depth : {0, 1, 2}) {
        Config odd = out[0];
        odd.name += " (depth " + std::to_string(depth) + ")";
        odd.settings.isCaseSensitive = depth != 1;
        odd.settings.smartPathShortening = true;
        odd.settings.maxPathDepth = depth;
        odd.settings.maxPathLength = 90;
        odd.settings.maxFilenameLength = 48;
        odd.settings.maxFolderNameLength = 12;
        odd.settings.cleanRepeatedSeparators = true;
        if (depth == 2) {
            odd.settings.repeatedSeparatorCharacters = {"_", "-", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
        }
        out.push_back(std::move(odd));
    }
    return out;
}

template <class T>
bool has(const std::vector<FileTransformationIssue>& issues)
{
    for (const auto& issue : issues) {
        if (issue.is<T>()) {
            return true;
        }
    }
    return false;
}

void checkInvariants(const Config& config, const SourceFileAnalyzer::AnalysisResult& output, std::size_t itemCount)
{
    using Issue = FileTransformationIssue;
    const TransformationSettings& s = config.settings;
    ASSERT_EQ(output.results.size(), itemCount) << config.name;
    const auto key = [&](const std::string& path) { return s.isCaseSensitive ? text::nfc(path) : text::nfc(text::toLower(path)); };
    std::unordered_map<std::string, std::string> byKey;
    std::unordered_map<std::string, const FileTransformationResult*> byOriginal;
    for (const auto& result : output.results) {
        byOriginal[result.originalRelativePath] = &result;
    }
    for (const auto& result : output.results) {
        const std::string& path = result.finalRelativePath;
        const std::string& original = result.originalRelativePath;
        SCOPED_TRACE(config.name + ": " + text::toValidUtf8(original) + " -> " + path);
        const auto depth = static_cast<std::int64_t>(RelativePath::nonEmptyComponentCount(original));
        const bool isDirectory = result.originalFile.isDirectory;
        const bool tooDeepFolder = isDirectory && s.maxPathDepth != kNoLimit && depth >= s.maxPathDepth;

        EXPECT_EQ(result.needsRename, path != original);
        EXPECT_TRUE(text::isValidUtf8(path));
        EXPECT_FALSE(test::hidesVisibleItem(result)) << "a visible item would be hidden";
        const auto [other, inserted] = byKey.emplace(key(path), original);
        EXPECT_TRUE(inserted) << "same final path as " << text::toValidUtf8(other->second);
        for (const std::string& component : RelativePath::split(path)) {
            EXPECT_FALSE(component.empty());
        }
        const auto nameBytes = static_cast<std::int64_t>(RelativePath::lastComponent(path).size());
        if (isDirectory) {
            EXPECT_TRUE(nameBytes <= s.maxFolderNameLength || has<Issue::FolderNameTooLong>(result.transformations));
        } else {
            EXPECT_TRUE(nameBytes <= s.maxFilenameLength || has<Issue::FilenameTooLong>(result.transformations));
            if (s.maxPathDepth != kNoLimit) {
                EXPECT_LE(static_cast<std::int64_t>(RelativePath::nonEmptyComponentCount(path)), std::max<std::int64_t>(s.maxPathDepth, 1));
            }
        }
        if (s.maxPathLength != kNoLimit && !tooDeepFolder) {
            EXPECT_TRUE(3 + static_cast<std::int64_t>(path.size()) <= s.maxPathLength || has<Issue::PathTooLong>(result.transformations));
        }
        // Every item sits in its folder's final path.
        const std::string_view originalParent = RelativePath::parentPart(original);
        const bool flattened = !isDirectory && s.maxPathDepth != kNoLimit && depth > s.maxPathDepth;
        std::string container = flattened ? (s.maxPathDepth >= 2 ? RelativePath::prefix(original, static_cast<std::size_t>(s.maxPathDepth - 1)) : std::string())
                                          : std::string(originalParent);
        if (!container.empty()) {
            const auto found = byOriginal.find(container);
            if (found != byOriginal.end()) {
                // The folder's exact bytes: the renamer works on a file system
                // that tells normalisation forms apart. Only an item that stays
                // where it is, inside a folder whose name changes nothing but
                // its normalisation, keeps the folder's old spelling.
                const std::string_view parent = RelativePath::parentPart(path);
                const std::string& folder = found->second->finalRelativePath;
                EXPECT_TRUE(parent == folder || (parent == container && text::canonicallyEqual(parent, folder)))
                    << "folder is at " << folder;
            }
        } else if (flattened) {
            EXPECT_EQ(path.find('/'), std::string::npos);
        }
    }
}

TEST(AnalysisInvariants, RandomHostileTreesForEveryConfiguration)
{
    using Kind = FileTransformationIssue::Kind;
    const std::vector<unsigned> seeds = {7, 20261210};
    const std::vector<Config> all = configs();
    // Per configuration, the issues seen over all seeds.
    std::map<std::string, std::map<Kind, int>> kinds;
    std::map<std::string, bool> tooDeepFolders;
    for (const unsigned seed : seeds) {
        const std::vector<FileItem> items = TreeGenerator(seed).generate(3000);
        for (const Config& config : all) {
            SCOPED_TRACE("seed " + std::to_string(seed));
            const auto runWith = [&](std::size_t processors) {
                const test::ProcessorCountOverride count(processors);
                const SourceFileAnalyzer analyzer(config.settings, 3, [](std::string, std::string_view, std::string_view, int) {});
                return analyzer.analyze(items, "/src", config.name, [] { return false; });
            };
            const auto serial = runWith(1);
            const auto parallel = runWith(8);
            checkInvariants(config, parallel, items.size());
            for (const auto& result : parallel.results) {
                for (const auto& issue : result.transformations) {
                    ++kinds[config.name][issue.kind()];
                }
            }
            tooDeepFolders[config.name] = tooDeepFolders[config.name] || !parallel.tooDeepDirs.empty();
            EXPECT_EQ(serial.results, parallel.results) << config.name;
            EXPECT_EQ(serial.tooDeepDirs, parallel.tooDeepDirs) << config.name;
            if (::testing::Test::HasFailure()) {
                return;
            }
        }
    }
    // The trees do reach the passes under test.
    for (const Config& config : all) {
        std::map<Kind, int>& seen = kinds[config.name];
        EXPECT_GT(seen[Kind::collision], 0) << config.name;
        // Where "." and ".." are the only reserved names, a trailing strip
        // of "." never leaves either as a name.
        const bool dotNamesStripped = config.settings.stripTrailingCharacters.count(".") > 0;
        const bool otherReservedNames = std::any_of(config.settings.reservedNames.begin(), config.settings.reservedNames.end(),
            [](const std::string& name) { return name != "." && name != ".."; });
        if (otherReservedNames || !dotNamesStripped) {
            EXPECT_GT(seen[Kind::reservedName], 0) << config.name;
        }
        if (config.settings.smartPathShortening) {
            EXPECT_GT(seen[Kind::pathTooDeep], 0) << config.name;
            EXPECT_TRUE(tooDeepFolders[config.name]) << config.name;
        }
        // Depth limits of 2 or less leave no path long enough to shorten.
        if (config.settings.smartPathShortening && config.settings.maxPathDepth > 2) {
            EXPECT_GT(seen[Kind::pathShortened], 0) << config.name;
        }
    }
}

}  // namespace
}  // namespace tess
