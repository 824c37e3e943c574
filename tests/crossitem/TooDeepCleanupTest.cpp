// The too-deep folders point at the paths their folders have after the
// rename: the clean-up scoped to them, after a flatten, leaves no empty
// too-deep folder behind.

#include "TempDir.h"

#include "analysis/SourceFileAnalyzer.h"
#include "rename/SourceFileRenamer.h"
#include "rules/TessalinePreset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace tess {
namespace {

struct Case {
    const char* name;
    std::vector<std::string> folders;  // relative, parents first
    std::vector<std::string> files;
    std::int64_t maxPathLength;  // kNoLimit: no smart shortening
    std::set<std::string> tooDeep;  // expected: final paths
};

std::string contentsOf(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Every folder of the tree at `depth` components or deeper that is empty.
std::vector<std::string> emptyFoldersAtOrBelow(const std::string& root, std::size_t depth)
{
    std::vector<std::string> out;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_directory() || entry.is_symlink() || !std::filesystem::is_empty(entry.path())) {
            continue;
        }
        const std::string relative = entry.path().string().substr(root.size() + 1);
        const auto components = static_cast<std::size_t>(std::count(relative.begin(), relative.end(), '/')) + 1;
        if (components >= depth) {
            out.push_back(relative);
        }
    }
    return out;
}

TEST(TooDeepCleanup, TooDeepFoldersHoldFinalPathsAndTheScopedCleanupLeavesNoEmptyOne)
{
    const std::string longName(60, 'L');
    const Case cases[] = {
        {"collision numbering carried down", {"A_", "a?", "a?/b", "a?/b/c"}, {"a?/b/c/d.txt", "a?/b/d.txt"}, kNoLimit,
            {"a_1/b/c"}},
        {"smart shortening of a long first component", {longName, longName + "/b", longName + "/b/c"},
            {longName + "/b/c/d.txt", longName + "/b/e.txt"}, 40, {std::string(32, 'L') + "/b/c"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir tree;
        const std::string root = tree.path();
        std::vector<FileItem> items;
        for (const std::string& folder : c.folders) {
            tree.makeDir(folder);
            items.push_back({root + "/" + folder, true});
        }
        for (const std::string& file : c.files) {
            tree.writeFile(file, file);
            items.push_back({root + "/" + file, false});
        }
        TransformationSettings settings = TessalinePreset::crossPlatformFileServer().settings;
        settings.maxPathDepth = 3;
        if (c.maxPathLength != kNoLimit) {
            settings.maxPathLength = c.maxPathLength;
            settings.smartPathShortening = true;
        }
        const SourceFileAnalyzer analyzer(settings, 0);
        const auto analysis = analyzer.analyze(items, root, "test", [] { return false; });
        ASSERT_EQ(analysis.results.size(), items.size());

        std::vector<RenameInstruction> instructions;
        std::set<std::string> finalFolders;
        for (const FileTransformationResult& result : analysis.results) {
            if (result.originalFile.isDirectory) {
                finalFolders.insert(result.finalRelativePath);
            }
            if (result.needsRename) {
                instructions.push_back({result.originalRelativePath, result.finalRelativePath, result.originalFile.isDirectory});
            }
        }
        const std::set<std::string> tooDeep(analysis.tooDeepDirs.begin(), analysis.tooDeepDirs.end());
        EXPECT_EQ(tooDeep, c.tooDeep);
        for (const std::string& folder : tooDeep) {
            EXPECT_EQ(finalFolders.count(folder), 1u) << folder << " is no folder's final path";
        }

        const auto renamed = SourceFileRenamer::renameFiles(instructions, root, kAppErrorDomain);
        EXPECT_TRUE(renamed.failed.empty());
        for (const std::string& folder : tooDeep) {
            EXPECT_TRUE(std::filesystem::is_directory(root + "/" + folder)) << folder;
            SourceFileRenamer::cleanupEmptyDirectories(root + "/" + folder, root);
        }
        EXPECT_EQ(emptyFoldersAtOrBelow(root, 3), std::vector<std::string> {});
        for (const std::string& file : c.files) {
            bool found = false;
            for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
                found = found || (entry.is_regular_file() && contentsOf(entry.path()) == file);
            }
            EXPECT_TRUE(found) << file << " lost";
        }
    }
}

}  // namespace
}  // namespace tess
