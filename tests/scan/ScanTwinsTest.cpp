// Names that differ only in Unicode normalisation side by side in one folder
// ("twins"), through the life of a monitored folder with the real scan
// engine and index: each keeps a row with its own bytes, so every scan,
// restore and re-analysis shows their collision, and renaming one as
// proposed leaves no row behind.

#include "scan/ScanEngine.h"

#include "ScanTestSupport.h"
#include "TempDir.h"
#include "rules/FilesystemPreset.h"
#include "rules/OSPreset.h"
#include "rules/TessalinePreset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tess {
namespace {

using test::Recorder;
using test::TempDir;

const std::string kComposed = "caf\xC3\xA9";  // café, NFC
const std::string kDecomposed = "cafe\xCC\x81";  // café, NFD

struct Case {
    const char* name;
    std::vector<std::string> files;  // created in this order, with their folders
    bool crossPlatformPreset;  // else FAT
    long long workers;
};

// The case as test names and failure messages show it (the same on every run).
void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.name;
}

class TwinsFixture : public ::testing::Test {
protected:
    void TearDown() override { close(); }

    void open()
    {
        auto opened = FileIndexDatabase::open(m_dbDir / "tessaline.db");
        ASSERT_TRUE(opened.ok()) << opened.error().message;
        m_database = opened.value();
        const TransformationSettings settings = m_crossPlatformPreset
            ? TessalinePreset::crossPlatformFileServer().settings
            : TransformationSettings::make(FilesystemPreset::fat, false, {OSPreset::windows});
        m_engine = std::make_unique<ScanEngine>(m_database, settings, std::vector<std::string> {}, m_workers, m_recorder.listener());
    }

    void close()
    {
        m_engine.reset();
        if (m_database) {
            m_database->close();
        }
        m_database.reset();
    }

    DestinationConfig destination() const
    {
        return DestinationConfig::presetFilesystem(m_crossPlatformPreset ? FilesystemPreset::ntfs : FilesystemPreset::fat, false);
    }

    // One job of the coordinator's queue; waits for its background writes.
    void job(const std::function<void()>& work)
    {
        m_recorder.clear();
        m_engine->runJob(m_engine->currentGeneration(), work);
        m_database->waitForPendingWrites();
    }

    // What starting to monitor the folder does (also when it was indexed).
    void restore()
    {
        m_engine->advanceGeneration();
        job([&] { m_engine->runInitialScan(m_root, destination()); });
    }

    // A fresh tree of `files` in the folder `root` of the temporary tree,
    // scanned first with a fresh index.
    void firstScanOf(const std::string& root, const std::vector<std::string>& files)
    {
        close();
        std::filesystem::remove_all(m_tree / root);
        FileIndexDatabase::resetDatabase(m_dbDir / "tessaline.db");
        m_root = m_tree / root;
        for (const auto& file : files) {
            m_tree.writeFile(root + "/" + file);
        }
        open();
        restore();
    }

    std::vector<std::string> pathsOnDisk() const
    {
        std::vector<std::string> paths;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(m_root)) {
            paths.push_back(entry.path().string());
        }
        std::sort(paths.begin(), paths.end());
        return paths;
    }

    std::vector<std::string> indexedPaths() const
    {
        auto paths = test::queryColumn(m_dbDir / "tessaline.db", "SELECT path FROM file_index");
        std::sort(paths.begin(), paths.end());
        return paths;
    }

    // The last results published: the issue records of the collision.
    std::vector<IndexedFile> collisions() const
    {
        std::vector<IndexedFile> found;
        const auto results = m_recorder.results();
        if (!results.empty()) {
            for (const auto& issue : results.back().issues) {
                if (issue.issueTypes && issue.issueTypes->find("collision") != std::string::npos) {
                    found.push_back(issue);
                }
            }
        }
        return found;
    }

    // One row per item on disk, with its bytes; the list shows the whole tree
    // and the collision.
    void expectEveryTwinIndexedAndColliding(const std::string& step)
    {
        SCOPED_TRACE(step);
        const auto disk = pathsOnDisk();
        EXPECT_EQ(indexedPaths(), disk);
        const auto results = m_recorder.results();
        ASSERT_FALSE(results.empty());
        EXPECT_EQ(results.back().totalIndexed, static_cast<int>(disk.size()));
        EXPECT_FALSE(collisions().empty()) << "the collision of the twins is not shown";
    }

    TempDir m_tree;
    TempDir m_dbDir;
    std::string m_root = m_tree.path();
    bool m_crossPlatformPreset = false;  // else FAT
    long long m_workers = 2;
    Recorder m_recorder;
    std::shared_ptr<FileIndexDatabase> m_database;
    std::unique_ptr<ScanEngine> m_engine;
};

class ScanTwins : public TwinsFixture, public ::testing::WithParamInterface<Case> {
protected:
    void SetUp() override
    {
        for (const auto& file : GetParam().files) {
            m_tree.writeFile(file);
        }
        m_crossPlatformPreset = GetParam().crossPlatformPreset;
        m_workers = GetParam().workers;
        open();
    }
};

TEST_P(ScanTwins, EachTwinKeepsItsRowAndItsCollisionThroughScansRestoresAndReanalysis)
{
    restore();
    expectEveryTwinIndexedAndColliding("first scan");
    restore();
    expectEveryTwinIndexedAndColliding("restore");
    for (int i = 1; i <= 3; ++i) {
        job([&] { m_engine->scanNow(); });
        expectEveryTwinIndexedAndColliding("scan now " + std::to_string(i));
    }
    close();
    open();
    restore();
    expectEveryTwinIndexedAndColliding("restart and restore");
    job([&] { m_engine->requestReanalysis(); });
    expectEveryTwinIndexedAndColliding("analysis from the index");

    // Renaming the twin as proposed ends the collision and leaves no row of
    // a path that is gone (for twin folders, the folder: its items follow).
    const auto proposals = collisions();
    ASSERT_FALSE(proposals.empty());
    const IndexedFile& twin = *std::min_element(proposals.begin(), proposals.end(),
        [](const IndexedFile& a, const IndexedFile& b) { return a.relativePath.size() < b.relativePath.size(); });
    ASSERT_TRUE(twin.proposedRename.has_value());
    std::filesystem::rename(m_tree / twin.relativePath, m_tree / *twin.proposedRename);
    job([&] { m_engine->scanNow(); });
    EXPECT_EQ(indexedPaths(), pathsOnDisk());
    EXPECT_TRUE(collisions().empty());
    EXPECT_EQ(m_recorder.results().back().totalIndexed, static_cast<int>(pathsOnDisk().size()));
}

INSTANTIATE_TEST_SUITE_P(Trees, ScanTwins,
    ::testing::Values(Case {"FileTwinsComposedFirst", {kComposed + ".txt", kDecomposed + ".txt", "plain.txt"}, false, 2},
        Case {"FileTwinsDecomposedFirst", {kDecomposed + ".txt", kComposed + ".txt"}, true, 1},
        Case {"FolderTwinsComposedFirst", {kComposed + "/a.txt", kComposed + "/b.txt", kDecomposed + "/a.txt", "plain/x.txt"}, false, 1},
        Case {"FolderTwinsDecomposedFirst", {kDecomposed + "/a.txt", kComposed + "/a.txt", kComposed + "/b.txt"}, true, 2}),
    [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

// A name renamed only in its normalisation (or a folder above it) is
// analysed again and its row takes the new bytes, also below a root whose
// name is not plain ASCII.
TEST_F(TwinsFixture, ANameRenamedOnlyInItsNormalisationTakesItsNewBytes)
{
    struct Rename {
        const char* name;
        std::vector<std::string> files;
        std::string from;
        std::string to;
        int changed;
    };
    const std::vector<Rename> cases {
        {"to NFC", {kDecomposed + ".txt", "plain.txt"}, kDecomposed + ".txt", kComposed + ".txt", 1},
        {"to NFD", {kComposed + ".txt"}, kComposed + ".txt", kDecomposed + ".txt", 1},
        {"from the Kelvin sign", {"\xE2\x84\xAA.txt"}, "\xE2\x84\xAA.txt", "K.txt", 1},
        {"a folder", {kDecomposed + "/a.txt", kDecomposed + "/b/c.txt", "plain.txt"}, kDecomposed, kComposed, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        firstScanOf("K\xC3\xB6", c.files);
        std::filesystem::rename(m_root + "/" + c.from, m_root + "/" + c.to);
        job([&] { m_engine->scanNow(); });
        EXPECT_EQ(indexedPaths(), pathsOnDisk());
        const auto summaries = m_recorder.summaries();
        ASSERT_EQ(summaries.size(), 1U);
        EXPECT_EQ(summaries[0].changedFiles, c.changed);
        EXPECT_EQ(summaries[0].newFiles, 0);
    }
}

// The one row that twins shared in an index written before they had a row
// each is repaired by the next start.
TEST_F(TwinsFixture, TheRowTwinsSharedBeforeIsRepaired)
{
    m_tree.writeFile(kComposed + ".txt");
    m_tree.writeFile(kDecomposed + ".txt");
    open();
    for (const auto& name : {kDecomposed, kComposed}) {
        FileTransformationResult result;
        result.originalFile = FileItem {m_tree / (name + ".txt"), false};
        result.originalRelativePath = name + ".txt";
        result.finalRelativePath = result.originalRelativePath;
        m_database->upsertFiles({result}, m_root, std::chrono::system_clock::now());  // both under the NFC key
    }
    ASSERT_EQ(indexedPaths().size(), 1U);
    restore();
    expectEveryTwinIndexedAndColliding("restore");
}

// Whichever twin goes away, the other keeps (or takes) the key and no row of
// the one that went is left.
TEST_F(TwinsFixture, EitherTwinRenamedAwayLeavesNoRowBehind)
{
    struct Away {
        const char* name;
        std::vector<std::string> files;
        std::string renamed;
    };
    const std::vector<Away> cases {
        {"the composed file", {kComposed + ".txt", kDecomposed + ".txt"}, kComposed + ".txt"},
        {"the decomposed file", {kComposed + ".txt", kDecomposed + ".txt"}, kDecomposed + ".txt"},
        {"the composed folder", {kComposed + "/a.txt", kDecomposed + "/a.txt"}, kComposed},
        {"the decomposed folder", {kComposed + "/a.txt", kDecomposed + "/a.txt"}, kDecomposed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        firstScanOf("t", c.files);
        expectEveryTwinIndexedAndColliding("first scan");
        std::filesystem::rename(m_root + "/" + c.renamed, m_root + "/other");
        job([&] { m_engine->scanNow(); });
        EXPECT_EQ(indexedPaths(), pathsOnDisk());
        EXPECT_TRUE(collisions().empty());
    }
}

}  // namespace
}  // namespace tess
