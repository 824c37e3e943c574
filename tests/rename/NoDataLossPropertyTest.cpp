// Seeded random trees with random rename batches: no file is ever lost,
// duplicated or moved outside the scan root, and every file ends at a path
// made of the old or new name of each of its components.

#include "FaultyFileSystem.h"
#include "RenameTestSupport.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <unistd.h>

namespace tess::test {
namespace {

using Op = FaultyFileSystem::Op;
using Reply = SourceFileRenamer::PrivilegedReply;

struct Node {
    int parent = -1;  // -1: directly under the root
    std::string name;
    std::string newName;  // empty: not renamed
    bool isDirectory = false;
    std::string contents;
};

class RandomTree {
public:
    explicit RandomTree(unsigned seed)
        : m_random(seed)
    {
        grow(-1, 0);
        chooseRenames();
        freezeMergeTargets();
    }

    const std::vector<Node>& nodes() const { return m_nodes; }

    std::string oldPath(int index) const { return path(index, false); }
    std::string newPath(int index) const { return path(index, true); }

    void create(const std::string& root) const
    {
        for (std::size_t i = 0; i < m_nodes.size(); ++i) {
            const std::string full = root + "/" + oldPath(static_cast<int>(i));
            if (m_nodes[i].isDirectory) {
                std::filesystem::create_directories(full);
            } else {
                const int fd = ::open(full.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
                ASSERT_GE(fd, 0) << full;
                ASSERT_EQ(::write(fd, m_nodes[i].contents.data(), m_nodes[i].contents.size()),
                    static_cast<ssize_t>(m_nodes[i].contents.size()));
                ::close(fd);
            }
        }
    }

    std::vector<RenameInstruction> instructions()
    {
        std::vector<RenameInstruction> out;
        for (std::size_t i = 0; i < m_nodes.size(); ++i) {
            if (!m_nodes[i].newName.empty())
                out.push_back({oldPath(static_cast<int>(i)), newPath(static_cast<int>(i)), m_nodes[i].isDirectory});
        }
        std::shuffle(out.begin(), out.end(), m_random);
        return out;
    }

    // Every path a file may end at: each component under its old or new name.
    std::set<std::string> allowedPaths(int index) const
    {
        std::vector<int> chain;
        for (int i = index; i >= 0; i = m_nodes[static_cast<std::size_t>(i)].parent)
            chain.push_back(i);
        std::reverse(chain.begin(), chain.end());
        std::set<std::string> paths {""};
        for (int i : chain) {
            std::set<std::string> next;
            for (const auto& prefix : paths) {
                const std::string base = prefix.empty() ? "" : prefix + "/";
                const Node& node = m_nodes[static_cast<std::size_t>(i)];
                next.insert(base + node.name);
                if (!node.newName.empty())
                    next.insert(base + node.newName);
            }
            paths = std::move(next);
        }
        return paths;
    }

private:
    static constexpr const char* kNames[] = {"a", "b", "c", "A", "B", "d e", "f\xE9", "g.txt"};
    static constexpr const char* kNewNames[] = {"a", "b", "c", "A", "n1", "n2", "N1", "g.TXT", "z\xE9"};

    void grow(int parent, int depth)
    {
        std::vector<std::string> names(std::begin(kNames), std::end(kNames));
        std::shuffle(names.begin(), names.end(), m_random);
        const int count = std::uniform_int_distribution<int>(depth == 0 ? 3 : 0, 7)(m_random);
        for (int i = 0; i < count; ++i) {
            Node node;
            node.parent = parent;
            node.name = names[static_cast<std::size_t>(i)];
            node.isDirectory = depth < 3 && chance(0.45);
            if (!node.isDirectory)
                node.contents = "file " + std::to_string(m_nodes.size()) + " " + std::to_string(m_random());
            m_nodes.push_back(node);
            if (node.isDirectory)
                grow(static_cast<int>(m_nodes.size()) - 1, depth + 1);
        }
    }

    // Like the analyser's plans: targets are final paths, unique within their
    // final folder, and never the current name of a sibling that moves away;
    // they may hit a sibling that stays (a collision the renamer must survive).
    void chooseRenames()
    {
        std::map<int, std::vector<int>> children;
        for (std::size_t i = 0; i < m_nodes.size(); ++i)
            children[m_nodes[i].parent].push_back(static_cast<int>(i));
        for (auto& node : m_nodes) {
            if (chance(0.45))
                node.newName = kNewNames[std::uniform_int_distribution<std::size_t>(0, std::size(kNewNames) - 1)(m_random)];
        }
        for (auto& [parent, siblings] : children) {
            std::set<std::string> taken;
            for (int i : siblings) {
                Node& node = m_nodes[static_cast<std::size_t>(i)];
                if (node.newName == node.name)
                    node.newName.clear();
            }
            for (int i : siblings) {
                if (!m_nodes[static_cast<std::size_t>(i)].newName.empty())
                    taken.insert(m_nodes[static_cast<std::size_t>(i)].name);  // vacated names are never targets
            }
            for (int i : siblings) {
                Node& node = m_nodes[static_cast<std::size_t>(i)];
                if (node.newName.empty())
                    continue;
                if (taken.count(node.newName))
                    node.newName.clear();
                else
                    taken.insert(node.newName);
            }
        }
    }

    // A folder renamed onto a sibling folder that stays is merged into it; the
    // planner then sees one final folder, so the folder merged into keeps its
    // contents' names (otherwise the two groups' plans could contradict).
    void freezeMergeTargets()
    {
        for (std::size_t i = 0; i < m_nodes.size(); ++i) {
            const Node& node = m_nodes[i];
            if (!node.isDirectory || node.newName.empty())
                continue;
            for (std::size_t j = 0; j < m_nodes.size(); ++j) {
                const Node& other = m_nodes[j];
                if (other.parent == node.parent && other.isDirectory && other.newName.empty() && other.name == node.newName)
                    clearBelow(static_cast<int>(j));
            }
        }
    }

    void clearBelow(int folder)
    {
        for (std::size_t i = 0; i < m_nodes.size(); ++i) {
            if (m_nodes[i].parent == folder) {
                m_nodes[i].newName.clear();
                clearBelow(static_cast<int>(i));
            }
        }
    }

    std::string path(int index, bool renamed) const
    {
        const Node& node = m_nodes[static_cast<std::size_t>(index)];
        const std::string own = renamed && !node.newName.empty() ? node.newName : node.name;
        // A target is a final path: every ancestor under its final name.
        return node.parent < 0 ? own : path(node.parent, renamed) + "/" + own;
    }

    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(m_random) < p; }

    std::mt19937 m_random;
    std::vector<Node> m_nodes;
};

// Regular files below `folder` (links not followed): relative path -> contents.
std::map<std::string, std::string> snapshotFiles(const std::string& folder)
{
    std::map<std::string, std::string> out;
    for (auto it = std::filesystem::recursive_directory_iterator(folder); it != std::filesystem::recursive_directory_iterator(); ++it) {
        if (it->is_regular_file() && !it->is_symlink()) {
            std::ifstream in(it->path(), std::ios::binary);
            std::ostringstream contents;
            contents << in.rdbuf();
            out[std::filesystem::relative(it->path(), folder).string()] = contents.str();
        }
    }
    return out;
}

std::set<std::string> snapshotNames(const std::string& folder)
{
    std::set<std::string> out;
    for (auto it = std::filesystem::recursive_directory_iterator(folder); it != std::filesystem::recursive_directory_iterator(); ++it)
        out.insert(std::filesystem::relative(it->path(), folder).string());
    return out;
}

void checkRun(unsigned seed, bool injectFailures)
{
    SCOPED_TRACE("seed " + std::to_string(seed));
    TempDir scratch;
    scratch.makeDir("root");
    scratch.writeFile("outside/keep", "outside");
    scratch.writeFile("outside/a/b", "deeper");
    const std::string root = scratch / "root";
    RandomTree tree(seed);
    tree.create(root);
    const auto instructions = tree.instructions();
    // Shown only when a check fails: the plan that broke it.
    std::string plan = "plan:";
    for (const auto& instruction : instructions)
        plan += "\n  " + instruction.currentRelativePath + (instruction.isDirectory ? "/" : "") + " -> " + instruction.targetRelativePath;
    SCOPED_TRACE(plan);

    const auto outsideBefore = snapshotFiles(scratch / "outside");
    const auto namesBefore = snapshotNames(scratch.path());
    const auto filesBefore = snapshotFiles(root);

    FaultyFileSystem fs;
    std::mt19937 callbackRandom(seed);
    SourceFileRenamer::PrivilegedRename privilegedRename;
    SourceFileRenamer::PrivilegedCreateDirectory privilegedCreate;
    if (injectFailures) {
        fs.failRandomly(seed, 0.15,
            {{Op::rename, {EACCES, EPERM, ENOSPC, EXDEV, EIO}}, {Op::mkdir, {EACCES, ENOSPC}},
                {Op::rmdir, {EACCES, EBUSY}}, {Op::unlink, {EACCES}}, {Op::lstat, {EIO, EACCES}},
                {Op::list, {EIO}}, {Op::realpath, {EACCES}}});
        if (seed % 2) {
            privilegedRename = [&](const std::string& from, const std::string& to) {
                if (callbackRandom() % 3 == 0)
                    return Reply {false, "refused"};
                const bool moved = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
                return Reply {moved && callbackRandom() % 4 != 0, "timed out"};
            };
            privilegedCreate = [&](const std::string& path) {
                std::error_code ec;
                std::filesystem::create_directories(path, ec);
                return Reply {!ec, "refused"};
            };
        }
    }

    const auto result = SourceFileRenamer::renameFiles(instructions, root, kAppErrorDomain, privilegedRename, privilegedCreate, fs);

    // Every instruction ends in exactly one list.
    EXPECT_EQ(result.renamed.size() + result.failed.size() + result.mergedDirectories.size(), instructions.size());

    // No file lost or duplicated, whatever happened.
    const auto filesAfter = snapshotFiles(root);
    std::multiset<std::string> before;
    std::multiset<std::string> after;
    for (const auto& [path, contents] : filesBefore)
        before.insert(contents);
    std::map<std::string, std::string> whereIs;
    for (const auto& [path, contents] : filesAfter) {
        after.insert(contents);
        whereIs[contents] = path;
    }
    EXPECT_EQ(before, after);

    // Each file is at its old or new path (per component), never elsewhere.
    for (std::size_t i = 0; i < tree.nodes().size(); ++i) {
        const Node& node = tree.nodes()[i];
        if (node.isDirectory)
            continue;
        const auto allowed = tree.allowedPaths(static_cast<int>(i));
        const auto found = whereIs.find(node.contents);
        ASSERT_NE(found, whereIs.end()) << tree.oldPath(static_cast<int>(i));
        EXPECT_TRUE(allowed.count(found->second)) << tree.oldPath(static_cast<int>(i)) << " ended at " << found->second;
    }

    // Nothing outside the root changed.
    EXPECT_EQ(snapshotFiles(scratch / "outside"), outsideBefore);
    std::set<std::string> topBefore;
    std::set<std::string> topAfter;
    for (const auto& name : namesBefore)
        if (name.rfind("root", 0) != 0)
            topBefore.insert(name);
    for (const auto& name : snapshotNames(scratch.path()))
        if (name.rfind("root", 0) != 0)
            topAfter.insert(name);
    EXPECT_EQ(topBefore, topAfter);

    if (!injectFailures) {
        // Without faults every final path exists.
        for (const auto& item : result.renamed) {
            struct stat st;
            EXPECT_EQ(::lstat((root + "/" + item.newPath).c_str(), &st), 0) << item.original << " -> " << item.newPath;
        }
        for (const auto& created : result.createdDirectories)
            EXPECT_TRUE(std::filesystem::is_directory(root + "/" + created)) << created;
    }
}

TEST(NoDataLossProperty, RandomBatches)
{
    for (unsigned seed = 1; seed <= 50; ++seed)
        checkRun(seed, false);
}

TEST(NoDataLossProperty, RandomBatchesWithInjectedFailures)
{
    for (unsigned seed = 1; seed <= 50; ++seed)
        checkRun(seed, true);
}

}  // namespace
}  // namespace tess::test
