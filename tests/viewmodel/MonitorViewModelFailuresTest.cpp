// Scans that fall short (unreadable folders, a stop, a vanished or unreadable
// source folder), an index that cannot be used, and an export that fails:
// each must reach the model's state, not only the log.

#include "MonitorViewModelFixture.h"

#include "DamagedIndex.h"
#include "Gate.h"
#include "scan/DirectoryWalker.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>

namespace tess {
namespace {

class MonitorViewModelFailuresTest : public MonitorViewModelTest {
protected:
    // Opens through the real file system but refuses folders whose relative
    // path starts with `prefix` (the source folder itself for an empty prefix).
    void refuseFolders(std::string prefix, int error)
    {
        m_opener = [prefix = std::move(prefix), error](int rootFd, const std::string& relative, const std::string& absolute) {
            const bool isRoot = rootFd < 0;
            if ((prefix.empty() && isRoot) || (!prefix.empty() && !isRoot && relative.rfind(prefix, 0) == 0)) {
                return -error;
            }
            return DirectoryWalker::openDirectoryDefault(rootFd, relative, absolute);
        };
    }

    MonitorViewModel& startScan()
    {
        MonitorViewModel& model = makeModel();
        m_picker->answers.push_back(m_tree.path());
        model.selectSourceFolder();
        model.startMonitoring();
        return model;
    }

    // How many damaged index files were kept aside in the data folder (their
    // -wal and -shm files not counted).
    std::size_t keptAside() const
    {
        std::size_t kept = 0;
        for (const auto& entry : std::filesystem::directory_iterator(m_data.path())) {
            const std::string name = entry.path().filename();
            kept += name.starts_with("tessaline.db.damaged-") && !name.ends_with("-wal") && !name.ends_with("-shm") ? 1 : 0;
        }
        return kept;
    }

    static bool scanEnded(const MonitorViewModel& model)
    {
        return model.hasCoordinator() && model.monitoringStatus().kind() == MonitoringStatus::Kind::monitoring
            && (model.lastScanSummary().has_value() || model.lastScanStopped());
    }
};

TEST_F(MonitorViewModelFailuresTest, UnreadableFoldersAreListedWithTheirReasonsUntilAScanReadsThem)
{
    m_tree.writeFile("locked/inner:x.txt");
    m_tree.writeFile("locked  two/a?.txt");
    m_tree.writeFile("broken/b?.txt");
    auto refusing = std::make_shared<std::atomic<bool>>(true);
    refuseFolders("locked", EACCES);
    m_opener = [refusing, inner = m_opener](int rootFd, const std::string& relative, const std::string& absolute) {
        if (refusing->load() && relative == "broken") {
            // Opens, but cannot be read: the listing itself fails.
            const int fd = openat(rootFd, relative.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            return fd < 0 ? -errno : fd;
        }
        return refusing->load() ? inner(rootFd, relative, absolute)
                                : DirectoryWalker::openDirectoryDefault(rootFd, relative, absolute);
    };
    MonitorViewModel& model = startScan();
    ASSERT_TRUE(waitUntil([&] { return scanEnded(model); }));
    ASSERT_TRUE(waitUntil([&] { return model.unreadableFolders().size() == 3; }));

    EXPECT_FALSE(model.lastScanStopped());
    std::vector<UnreadableFolder> folders = model.unreadableFolders();
    std::sort(folders.begin(), folders.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
    EXPECT_EQ(folders[0], (UnreadableFolder {m_tree / "broken", "Bad file descriptor"}));
    EXPECT_EQ(folders[1], (UnreadableFolder {m_tree / "locked", "Permission denied"}));
    EXPECT_EQ(folders[2], (UnreadableFolder {m_tree / "locked  two", "Permission denied"}));

    // The folders become readable: the next scan clears the list.
    refusing->store(false);
    model.coordinator()->scanNow();
    // The list clears when the scan starts; its results land when it ends.
    ASSERT_TRUE(waitUntil([&] { return model.unreadableFolders().empty() && scanEnded(model) && model.issueCount() >= 6; }));
    EXPECT_FALSE(model.lastScanStopped());
}

TEST_F(MonitorViewModelFailuresTest, StoppedScanSaysSoKeepsTheFolderAndCanStartAgain)
{
    auto gate = std::make_shared<test::Gate>();
    auto waiting = std::make_shared<std::atomic<bool>>(false);
    m_opener = [gate, waiting](int rootFd, const std::string& relative, const std::string& absolute) {
        if (relative == "sub" && !waiting->exchange(true)) {
            gate->wait();
        }
        return DirectoryWalker::openDirectoryDefault(rootFd, relative, absolute);
    };
    MonitorViewModel& model = startScan();
    ASSERT_TRUE(waitUntil([&] { return waiting->load() && model.hasCoordinator(); }));
    model.coordinator()->stopAnalysis();
    gate->open();
    ASSERT_TRUE(waitUntil([&] { return model.lastScanStopped(); }));
    ASSERT_TRUE(waitUntil([&] { return model.monitoringStatus().kind() == MonitoringStatus::Kind::monitoring; }));

    EXPECT_EQ(model.sourcePath(), m_tree.path());
    EXPECT_FALSE(model.missingSourcePath());
    EXPECT_FALSE(model.lastScanSummary());
    EXPECT_EQ(model.totalIndexed(), 0);
    EXPECT_EQ(model.statusText(), MonitorViewModel::kScanStoppedText);

    // Started again, the scan runs to its end and the stop is forgotten.
    model.startMonitoring();
    ASSERT_TRUE(waitUntil([&] { return model.lastScanSummary().has_value() && scanEnded(model); }));
    EXPECT_FALSE(model.lastScanStopped());
    EXPECT_EQ(model.issueCount(), 3);
    EXPECT_NE(model.statusText(), MonitorViewModel::kScanStoppedText);
}

TEST_F(MonitorViewModelFailuresTest, UnreadableSourceFolderEndsAsStoppedWithItsReason)
{
    refuseFolders("", EACCES);
    MonitorViewModel& model = startScan();
    ASSERT_TRUE(waitUntil([&] { return model.lastScanStopped(); }));
    ASSERT_EQ(model.unreadableFolders().size(), 1U);
    EXPECT_EQ(model.unreadableFolders()[0], (UnreadableFolder {m_tree.path(), "Permission denied"}));
    EXPECT_EQ(model.sourcePath(), m_tree.path());
    EXPECT_EQ(model.statusText(), MonitorViewModel::kScanStoppedText);
}

TEST_F(MonitorViewModelFailuresTest, RescanOfAVanishedFolderEndsOnTheMissingFolder)
{
    MonitorViewModel& model = scannedModel();
    ASSERT_TRUE(waitUntil([&] { return scanEnded(model); }));
    drain();
    std::filesystem::remove_all(m_tree.path());

    model.coordinator()->scanNow();
    ASSERT_TRUE(waitUntil([&] { return model.missingSourcePath().has_value(); }));
    EXPECT_EQ(model.missingSourcePath(), m_tree.path());
    EXPECT_FALSE(model.sourcePath());
    EXPECT_TRUE(model.issueFiles().empty());
    EXPECT_EQ(model.issueCount(), 0);
    EXPECT_EQ(model.totalIndexed(), 0);
    EXPECT_FALSE(model.isMonitoring());
    EXPECT_FALSE(model.hasCoordinator());
    EXPECT_FALSE(model.lastScanStopped());
    // The saved folder stays, so "recheck" finds it once it is back.
    EXPECT_EQ(m_settings->settings().preferences.lastSourcePath, m_tree.path());
    m_tree.writeFile("ok.txt");
    model.restoreSavedSourceFolder();
    EXPECT_EQ(model.sourcePath(), m_tree.path());
    EXPECT_FALSE(model.missingSourcePath());
    waitForRestore();
}

TEST_F(MonitorViewModelFailuresTest, IndexErrorIsShownUntilTheIndexIsReset)
{
    MonitorViewModel& model = makeModel();
    int changes = 0;
    QObject::connect(&model, &MonitorViewModel::indexErrorMessageChanged, [&changes] { ++changes; });
    model.reportIndexError("database disk image is malformed");
    EXPECT_EQ(model.indexErrorMessage(), std::optional<std::string>("database disk image is malformed"));
    EXPECT_EQ(changes, 1);
    model.setIndexNotice("The file index was damaged; moved aside to tessaline.db.damaged");
    m_center.post(MonitorViewModel::kStopMonitoringForResetNotification);
    // The reset deletes the index: neither its fault nor the damaged file it
    // replaced is told any longer.
    ASSERT_TRUE(waitUntil([&] { return !model.indexErrorMessage() && !model.indexNotice(); }));
}

// The index as the scan meets it: a folder in its place is an error the
// window shows, its prefix once; a damaged one is replaced and the notice
// says where the old one was kept, until a scan has rebuilt the index.
TEST_F(MonitorViewModelFailuresTest, AnIndexThatCannotBeOpenedOrWasReplacedIsTold)
{
    m_tree.writeFile("a.txt", "a");
    {
        std::filesystem::create_directory(m_data / FileIndexDatabase::kFileName);
        MonitorViewModel& model = startScan();
        ASSERT_TRUE(waitUntil([&] { return model.indexErrorMessage().has_value(); }));
        EXPECT_EQ(model.indexErrorMessage()->rfind("Failed to open database: ", 0), 0u) << *model.indexErrorMessage();
        EXPECT_EQ(model.indexErrorMessage()->find("Failed to open database: Failed"), std::string::npos);
        EXPECT_EQ(model.monitoringStatus().kind(), MonitoringStatus::Kind::error);
        std::filesystem::remove(m_data / FileIndexDatabase::kFileName);
    }
    {
        std::ofstream(m_data / FileIndexDatabase::kFileName) << std::string(8192, 'x');
        // No restore at construction: the scan's open is the one that meets the damage.
        m_settings->updateSettings([](AppSettings& settings) { settings.preferences.lastSourcePath.reset(); });
        MonitorViewModel& model = startScan();
        std::optional<std::string> told;
        QObject::connect(&model, &MonitorViewModel::indexErrorMessageChanged, [&] {
            if (model.indexNotice()) {
                told = model.indexNotice();
            }
        });
        ASSERT_TRUE(waitUntil([&] { return scanEnded(model); }));
        ASSERT_TRUE(told.has_value());
        EXPECT_NE(told->find("tessaline.db.damaged-"), std::string::npos) << *told;
        // Once the scan's results are written the index is rebuilt.
        EXPECT_TRUE(waitUntil([&] { return !model.indexNotice().has_value(); }));
        EXPECT_FALSE(model.indexErrorMessage().has_value());
        EXPECT_EQ(keptAside(), 1u);
    }
}

// The notice of a replaced index stays, across restarts, until a scan has
// rebuilt the index; a restart after that tells nothing.
TEST_F(MonitorViewModelFailuresTest, TheReplacedIndexIsToldAcrossRestartsUntilAScanHasRebuiltIt)
{
    m_tree.writeFile("a.txt", "a");
    std::ofstream(m_data / FileIndexDatabase::kFileName) << std::string(8192, 'x');
    m_settings->updateSettings([this](AppSettings& settings) { settings.preferences.lastSourcePath = m_tree.path(); });
    std::optional<std::string> first;
    {
        MonitorViewModel& model = makeModel();
        waitForRestore();
        first = model.indexNotice();
        ASSERT_TRUE(first.has_value());
        EXPECT_NE(first->find("tessaline.db.damaged-"), std::string::npos) << *first;
    }
    MonitorViewModel& restarted = makeModel();
    waitForRestore();
    EXPECT_EQ(restarted.indexNotice(), first);
    restarted.startMonitoring();
    ASSERT_TRUE(waitUntil([&] { return scanEnded(restarted) && !restarted.indexNotice().has_value(); }));

    MonitorViewModel& again = makeModel();
    waitForRestore();
    EXPECT_GT(again.totalIndexed(), 0);
    EXPECT_FALSE(again.indexNotice().has_value());
    EXPECT_EQ(keptAside(), 1u);
}

// Restored results from an index whose damage reads do not report: the full
// check, once the index is idle, finds it, and the window is told without a
// scan.
TEST_F(MonitorViewModelFailuresTest, DamageFoundWhileRestoredResultsAreShownIsTold)
{
    prepareIndex(120, 7);
    test::damageUnseen(m_data / FileIndexDatabase::kFileName, test::HiddenDamage::missingIndexEntries);
    m_settings->updateSettings([this](AppSettings& settings) { settings.preferences.lastSourcePath = m_tree.path(); });
    MonitorViewModel& model = makeModel();
    waitForRestore();
    // What the damaged index answers, without an error: rows are missing.
    EXPECT_LT(model.issueCount(), 7);
    const std::size_t shown = model.issueFiles().size();
    ASSERT_TRUE(waitUntil([&] { return model.indexNotice().has_value(); }));
    EXPECT_NE(model.indexNotice()->find("tessaline.db.damaged-"), std::string::npos);
    EXPECT_EQ(keptAside(), 1u);
    EXPECT_FALSE(model.indexErrorMessage().has_value());
    // The list stays as it was until the next scan rebuilds the index.
    EXPECT_EQ(model.issueFiles().size(), shown);
}

// Answers the save panel at once with one path.
class FixedSavePanel : public ReportSavePanel {
public:
    explicit FixedSavePanel(QString path)
        : m_path(std::move(path))
    {
    }
    void open(const ReportSaveRequest&, AppSettings::ReportFormat format, Completion completion) override
    {
        completion(ReportSaveChoice {m_path, format});
    }

private:
    QString m_path;
};

TEST_F(MonitorViewModelFailuresTest, FailedExportNamesTheChosenFileNotItsTemporaryFile)
{
    const std::string chosen = m_dir / "no such folder/report.json";
    m_savePanel = std::make_shared<FixedSavePanel>(QString::fromStdString(chosen));
    MonitorViewModel& model = scannedModel();
    model.exportReport();
    ASSERT_TRUE(waitUntil([&] { return model.exportErrorMessage().has_value(); }));
    const std::string message = *model.exportErrorMessage();
    EXPECT_NE(message.find("could not write " + chosen + " ("), std::string::npos) << message;
    EXPECT_EQ(message.find(chosen), message.rfind(chosen)) << message;  // named once
    EXPECT_EQ(message.find(".tmp-"), std::string::npos) << message;
    EXPECT_EQ(message.find("/.report.json"), std::string::npos) << message;
}

}  // namespace
}  // namespace tess
