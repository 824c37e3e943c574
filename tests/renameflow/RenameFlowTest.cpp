#include "model/MonitorViewModel.h"

#include "EventLoopWait.h"
#include "FakeFolderPicker.h"
#include "FakeHelperServer.h"
#include "FakeReportSavePanel.h"
#include "FaultyFileSystem.h"
#include "Gate.h"
#include "IsolatedLogEnvironment.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "helperclient/XPCError.h"
#include "history/HistoryFileOps.h"
#include "history/TransformationHistory.h"
#include "model/MonitorCoordinator.h"
#include "model/SettingsManager.h"
#include "report/ReportService.h"
#include "report/VerificationStatusText.h"
#include "rules/FilesystemPreset.h"
#include "rules/OSPreset.h"
#include "settings/DefaultsStore.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <thread>
#include <unistd.h>

namespace tess {
namespace {

using test::TempDir;
using namespace std::chrono_literals;
using Answer = test::FakeHelperServer::Answer;
using Op = test::FaultyFileSystem::Op;

[[maybe_unused]] const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new test::IsolatedLogEnvironment);

using test::settle;
using test::waitUntil;

// The fault-injecting file system whose moves can be held at a gate, and
// which can let another program act on an item right after it moved.
class GatedFileSystem : public test::FaultyFileSystem {
public:
    int renameNoReplace(const std::string& from, const std::string& to) override
    {
        if (gate) {
            atGate = true;
            gate->wait();
        }
        const int result = FaultyFileSystem::renameNoReplace(from, to);
        if (result == 0 && afterMove) {
            afterMove(to);
        }
        return result;
    }
    std::shared_ptr<test::Gate> gate;
    std::atomic<bool> atGate {false};
    std::function<void(const std::string& movedTo)> afterMove;
};

std::string readFile(const std::string& path)
{
    std::string bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        std::size_t count = 0;
        while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
            bytes.append(buffer, count);
        }
        std::fclose(file);
    }
    return bytes;
}

// Every item below `root`: folders as "/", files as a hash of their bytes.
std::map<std::string, std::string> snapshot(const std::string& root)
{
    std::map<std::string, std::string> out;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const std::string relative = std::filesystem::relative(entry.path(), root).string();
        if (entry.is_directory()) {
            out[relative] = "/";
        } else {
            out[relative] = std::to_string(std::hash<std::string> {}(readFile(entry.path().string())));
        }
    }
    return out;
}

std::size_t fileCount(const std::string& folder)
{
    if (!std::filesystem::exists(folder)) {
        return 0;
    }
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()));
}

HistoryEntry readHistory(const std::string& path)
{
    Result<HistoryEntry> parsed = TransformationHistory::parse(readFile(path));
    EXPECT_TRUE(parsed.ok()) << (parsed.ok() ? "" : parsed.error().message);
    return parsed.ok() ? parsed.value() : HistoryEntry {};
}

// A planned rename of root/from to root/to.
FileTransformationResult planned(const std::string& root, const std::string& from, const std::string& to, bool directory = false)
{
    FileTransformationResult result;
    result.originalFile = FileItem {root + "/" + from, directory};
    result.originalRelativePath = from;
    result.finalRelativePath = to;
    result.needsRename = true;
    return result;
}

// What the list shows: each row's path and proposal, sorted.
std::vector<std::string> listed(const MonitorViewModel& model)
{
    std::vector<std::string> rows;
    for (const IndexedFile& item : model.issueFiles()) {
        rows.push_back(item.relativePath + " -> " + item.proposedRename.value_or("") + (item.isDirectory ? " (folder)" : ""));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

// Listed rows whose path is not on disk.
std::vector<std::string> vanishedRows(const MonitorViewModel& model, const std::string& root)
{
    std::vector<std::string> gone;
    for (const IndexedFile& item : model.issueFiles()) {
        if (!std::filesystem::exists(std::filesystem::symlink_status(root + "/" + item.relativePath))) {
            gone.push_back(item.relativePath);
        }
    }
    return gone;
}

class RenameFlowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "test_renameflow";
        static char* argv[] = {name, nullptr};
        s_app = std::make_unique<QCoreApplication>(argc, argv);
    }

    static void TearDownTestSuite() { s_app.reset(); }

    void SetUp() override
    {
        m_settings = std::make_unique<SettingsManager>(std::make_shared<DefaultsStore>(m_dir / "defaults.plist"));
        m_settings->updateSettings([](AppSettings& settings) {
            settings.preferences.activeSettings = TransformationSettings::make(FilesystemPreset::fat, false, {OSPreset::windows});
        });
    }

    void TearDown() override
    {
        if (m_fs->gate) {
            m_fs->gate->open();
        }
        m_model.reset();
        for (int i = 0; i < 3; ++i) {
            QThreadPool::globalInstance()->waitForDone();
            settle(30ms);
        }
    }

    MonitorViewModel& makeModel(const std::string& dataFolder)
    {
        m_model.reset();
        MonitorViewModel::Dependencies dependencies;
        dependencies.settingsManager = m_settings.get();
        dependencies.dataFolder = dataFolder;
        dependencies.folderPicker = m_picker;
        dependencies.notificationCenter = &m_center;
        dependencies.isHelperReady = [this] {
            ++m_readyQueries;
            return m_helperReady;
        };
        dependencies.rename.fileSystem = m_fs;
        dependencies.rename.savePanel = m_panel;
        dependencies.rename.helperSocketPath = m_dir / "helper.sock";
        dependencies.rename.helperTimeoutSeconds = m_helperTimeout;
        m_model = std::make_unique<MonitorViewModel>(std::move(dependencies));
        return *m_model;
    }

    // A model whose source folder is m_tree, without monitoring or the
    // helper, whose history files are put in place by `historyFiles`.
    MonitorViewModel& treeModelWithHistoryFiles(std::shared_ptr<HistoryFileOps> historyFiles)
    {
        MonitorViewModel::Dependencies dependencies;
        dependencies.settingsManager = m_settings.get();
        dependencies.dataFolder = m_data.path();
        dependencies.folderPicker = m_picker;
        dependencies.notificationCenter = &m_center;
        dependencies.rename.fileSystem = m_fs;
        dependencies.rename.historyFiles = std::move(historyFiles);
        m_model = std::make_unique<MonitorViewModel>(std::move(dependencies));
        m_picker->answers.push_back(m_tree.path());
        m_model->selectSourceFolder();
        return *m_model;
    }

    // A model whose source folder is `folder`, without monitoring.
    MonitorViewModel& modelOn(const std::string& folder, const std::string& dataFolder)
    {
        MonitorViewModel& model = makeModel(dataFolder);
        m_picker->answers.push_back(folder);
        model.selectSourceFolder();
        EXPECT_EQ(model.sourcePath(), folder);
        return model;
    }

    // A model that scanned `folder` and lists `issues` items.
    MonitorViewModel& scannedModel(const std::string& folder, std::size_t issues)
    {
        MonitorViewModel& model = modelOn(folder, m_data.path());
        model.startMonitoring();
        EXPECT_TRUE(waitUntil([&] {
            return model.monitoringStatus().kind() == MonitoringStatus::Kind::monitoring && model.issueFiles().size() == issues;
        }));
        return model;
    }

    // The list a first scan of `folder` shows, from a model of its own.
    std::vector<std::string> freshScanList(const std::string& folder)
    {
        TempDir data;
        auto picker = std::make_shared<test::FakeFolderPicker>();
        picker->answers.push_back(folder);
        MonitorViewModel::Dependencies dependencies;
        dependencies.settingsManager = m_settings.get();
        dependencies.dataFolder = data.path();
        dependencies.folderPicker = picker;
        dependencies.notificationCenter = &m_center;
        MonitorViewModel fresh(std::move(dependencies));
        fresh.selectSourceFolder();
        fresh.startMonitoring();
        const auto scanned = [&] {
            return fresh.monitoringStatus().kind() == MonitoringStatus::Kind::monitoring && fresh.lastScanSummary().has_value()
                && fresh.issueFiles().size() == static_cast<std::size_t>(fresh.issueCount());
        };
        EXPECT_TRUE(waitUntil(scanned)) << "kind " << static_cast<int>(fresh.monitoringStatus().kind()) << " summary "
                                        << fresh.lastScanSummary().has_value() << " listed " << fresh.issueFiles().size()
                                        << " count " << fresh.issueCount() << " status " << fresh.statusText();
        settle(200ms);
        EXPECT_TRUE(scanned());
        std::vector<std::string> rows = listed(fresh);
        fresh.stopMonitoring();
        settle(50ms);
        return rows;
    }

    // Waits until the model is idle between batches and scans and lists `expected`.
    static bool waitForList(const MonitorViewModel& model, const std::vector<std::string>& expected)
    {
        return waitUntil([&] {
            return !model.isRenaming() && model.monitoringStatus().kind() == MonitoringStatus::Kind::monitoring && listed(model) == expected;
        });
    }

    // Runs a rename or undo started by `start` to its completion.
    static void runBatch(MonitorViewModel& model, const std::function<void()>& start)
    {
        model.setShowRenameResult(false);
        start();
        ASSERT_TRUE(model.isRenaming());
        ASSERT_TRUE(waitUntil([&] { return !model.isRenaming(); }));
        EXPECT_TRUE(model.showRenameResult());
        EXPECT_FALSE(model.renameStartTime().has_value());
    }

    static std::unique_ptr<QCoreApplication> s_app;
    TempDir m_dir;
    TempDir m_data;
    TempDir m_tree;
    std::unique_ptr<SettingsManager> m_settings;
    std::shared_ptr<test::FakeFolderPicker> m_picker = std::make_shared<test::FakeFolderPicker>();
    std::shared_ptr<GatedFileSystem> m_fs = std::make_shared<GatedFileSystem>();
    std::shared_ptr<test::FakeReportSavePanel> m_panel = std::make_shared<test::FakeReportSavePanel>();
    NotificationCenter m_center;
    bool m_helperReady = false;
    int m_readyQueries = 0;
    double m_helperTimeout = 10.0;
    std::unique_ptr<MonitorViewModel> m_model;
};

std::unique_ptr<QCoreApplication> RenameFlowTest::s_app;

TEST_F(RenameFlowTest, ScanRenameSelectedAndUndoRestoreTheTree)
{
    m_tree.writeFile("bad:name.txt", "one");
    m_tree.writeFile("sub/what?.txt", "two");
    m_tree.makeDir("folder:x");
    m_tree.writeFile("ok.txt", "four");
    const auto before = snapshot(m_tree.path());
    MonitorViewModel& model = scannedModel(m_tree.path(), 3);
    ASSERT_EQ(model.issueFiles().size(), 3U);

    std::vector<HistoryRecord> expected;
    ItemIdSet all;
    for (const IndexedFile& item : model.issueFiles()) {
        ASSERT_TRUE(item.needsRename && item.proposedRename);
        all.insert(item.id);
        expected.push_back({item.relativePath, *item.proposedRename,
            item.isDirectory ? HistoryRecordType::directory : HistoryRecordType::file, HistoryRecordStatus::ok, {}});
    }
    model.setSelectedFileIDs(all);
    int reportSignals = 0;
    QObject::connect(&model, &MonitorViewModel::renameReportChanged, [&reportSignals] { ++reportSignals; });

    runBatch(model, [&] { model.renameSelected(); });
    EXPECT_EQ(model.renameResultMessage(), "3 items renamed successfully");
    EXPECT_EQ(model.renameProgressLabel(), "Renaming 3 items…");  // kept after the completion
    EXPECT_TRUE(model.selectedFileIDs().empty());
    EXPECT_EQ(reportSignals, 1);
    ASSERT_TRUE(model.renameReport().has_value());
    const RenameReport renameReport = *model.renameReport();
    EXPECT_EQ(renameReport.renamed.size(), 3U);
    EXPECT_TRUE(renameReport.failed.empty() && renameReport.failedVerifications.empty());
    ASSERT_TRUE(renameReport.historyPath.has_value());
    EXPECT_EQ(std::filesystem::path(*renameReport.historyPath).parent_path(), std::filesystem::path(m_data / "history"));
    const HistoryEntry batch = readHistory(*renameReport.historyPath);
    EXPECT_EQ(batch.operation, HistoryOperation::rename);
    EXPECT_EQ(batch.scanRoot, m_tree.path());
    EXPECT_TRUE(batch.parentHistoryID.empty());
    std::vector<HistoryRecord> records = batch.records;
    const auto byOriginal = [](const HistoryRecord& a, const HistoryRecord& b) { return a.originalRelativePath < b.originalRelativePath; };
    std::sort(records.begin(), records.end(), byOriginal);
    std::sort(expected.begin(), expected.end(), byOriginal);
    EXPECT_EQ(records, expected);
    EXPECT_NE(snapshot(m_tree.path()), before);

    runBatch(model, [&] { model.undoRename(*renameReport.historyPath); });
    EXPECT_EQ(model.renameResultMessage(), "Undo complete: 3 items restored");
    EXPECT_EQ(model.renameProgressLabel(), "Undoing rename…");
    EXPECT_EQ(snapshot(m_tree.path()), before);
    ASSERT_TRUE(model.renameReport() && model.renameReport()->historyPath);
    EXPECT_EQ(model.renameReport()->renamed.size(), 3U);
    const HistoryEntry undo = readHistory(*model.renameReport()->historyPath);
    EXPECT_EQ(undo.operation, HistoryOperation::undo);
    EXPECT_EQ(undo.scanRoot, m_tree.path());
    const std::string undoneName = std::filesystem::path(*renameReport.historyPath).filename().string();
    EXPECT_EQ(undo.parentHistoryID + ".tshistory", undoneName);
    EXPECT_EQ(undo.parentHistoryID.find(".tshistory"), std::string::npos);
    EXPECT_EQ(undo.records.size(), 3U);
}

TEST_F(RenameFlowTest, ScopedCleanupAfterAFlattenRemovesTheEmptiedTooDeepFolders)
{
    for (const bool cleanup : {true, false}) {
        SCOPED_TRACE(cleanup ? "clean-up on" : "clean-up off");
        TempDir tree;
        TempDir data;
        tree.writeFile("x/y/z/f.txt", "deep");
        m_settings->updateSettings([cleanup](AppSettings& settings) {
            settings.preferences.activeSettings.maxPathDepth = 3;
            settings.preferences.activeSettings.cleanupEmptyDirsAfterRename = cleanup;
            settings.preferences.lastSourcePath.reset();
        });
        MonitorViewModel& model = modelOn(tree.path(), data.path());
        model.startMonitoring();
        ASSERT_TRUE(waitUntil([&] { return model.monitoringStatus().kind() == MonitoringStatus::Kind::monitoring && !model.issueFiles().empty(); }));
        ASSERT_NE(model.coordinator(), nullptr);
        EXPECT_EQ(std::vector<std::string>(model.coordinator()->lastTooDeepPaths().begin(), model.coordinator()->lastTooDeepPaths().end()),
            (std::vector<std::string> {"x/y/z"}));
        ItemIdSet ids;
        for (const IndexedFile& item : model.issueFiles()) {
            ids.insert(item.id);
        }
        model.setSelectedFileIDs(ids);
        test::LogCapture log;
        runBatch(model, [&] { model.renameSelected(); });
        ASSERT_TRUE(model.renameReport().has_value());
        const RenameReport& report = *model.renameReport();
        EXPECT_TRUE(report.failed.empty());
        EXPECT_EQ(tree.exists("x/y/z"), !cleanup);
        EXPECT_EQ(log.count("INFO", "Scoped cleanup: removed 1 empty directories"), cleanup ? 1 : 0);
        const bool listed = std::find(report.removedDirectories.begin(), report.removedDirectories.end(), "x/y/z") != report.removedDirectories.end();
        EXPECT_EQ(listed, cleanup);
        const std::size_t count = report.renamed.size() + report.removedDirectories.size();
        EXPECT_EQ(model.renameResultMessage(), std::to_string(count) + " item" + (count == 1 ? "" : "s") + " renamed successfully");
        model.stopMonitoring();
    }
}

TEST_F(RenameFlowTest, RenameMessagesAndRecordsCountOnlyWhatHappened)
{
    using S = HistoryRecordStatus;
    struct Item {
        std::string from;
        std::string to;
        bool directory = false;
    };
    struct Case {
        const char* name;
        std::vector<Item> items;
        std::vector<std::string> existingFolders;  // made before the batch
        std::function<void(test::FaultyFileSystem&)> faults;
        bool historyFolderIsAFile = false;
        std::string message;
        std::vector<S> statuses;  // of the history records, in order
    };
    const std::vector<Case> cases = {
        {"all renamed", {{"a", "a-new"}, {"b", "b-new"}, {"c", "c-new"}}, {}, {}, false, "3 items renamed successfully", {S::ok, S::ok, S::ok}},
        {"one item", {{"a", "a-new"}}, {}, {}, false, "1 item renamed successfully", {S::ok}},
        {"one rename fails", {{"a", "a-new"}, {"b", "b-new"}, {"c", "c-new"}}, {},
            [](test::FaultyFileSystem& fs) { fs.fail(Op::rename, "/b", EIO); }, false, "2 renamed, 1 failed",
            {S::ok, S::ok, S::fail, S::verifyFail}},
        {"two fail verification", {{"a", "a-new"}, {"b", "b-new"}, {"c", "c-new"}, {"d", "d-new"}, {"e", "e-new"}}, {},
            [](test::FaultyFileSystem& fs) {
                fs.fail(Op::lstat, "/d-new", ENOENT);
                fs.fail(Op::lstat, "/e-new", ENOENT);
            },
            false, "3 renamed, 2 failed verification", {S::ok, S::ok, S::ok, S::ok, S::ok, S::verifyFail, S::verifyFail}},
        // The file the merge moved along is recorded too (uncounted), so an undo can put it back.
        {"a merged folder counts", {{"f", "f-new"}, {"dir", "existing", true}}, {"existing"}, {}, false, "2 items renamed successfully",
            {S::ok, S::ok, S::ok}},
        {"history not saved", {{"a", "a-new"}}, {}, {}, true, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir tree;
        TempDir data;
        m_fs = std::make_shared<GatedFileSystem>();
        if (c.faults) {
            c.faults(*m_fs);
        }
        std::vector<FileTransformationResult> results;
        for (const Item& item : c.items) {
            if (item.directory) {
                tree.writeFile(item.from + "/inside", item.from);
            } else {
                tree.writeFile(item.from, item.from);
            }
            results.push_back(planned(tree.path(), item.from, item.to, item.directory));
        }
        for (const std::string& folder : c.existingFolders) {
            tree.makeDir(folder);
        }
        if (c.historyFolderIsAFile) {
            data.writeFile("history", "not a folder");
        }
        test::LogCapture log;
        MonitorViewModel& model = modelOn(tree.path(), data.path());
        runBatch(model, [&] { model.renameFiles(results); });
        if (c.historyFolderIsAFile) {
            // Without a record to undo it by, the batch does not start.
            EXPECT_EQ(model.renameResultMessage().rfind("Rename not started — The batch's history could not be created", 0), 0U)
                << model.renameResultMessage();
            EXPECT_FALSE(model.renameReport().has_value());
            EXPECT_TRUE(tree.exists("a"));
            EXPECT_FALSE(tree.exists("a-new"));
            EXPECT_EQ(log.count("ERROR", "❌ The batch's history could not be created"), 1);
            continue;
        }
        ASSERT_TRUE(model.renameReport().has_value());
        const RenameReport& report = *model.renameReport();
        EXPECT_EQ(model.renameResultMessage(), c.message);
        ASSERT_TRUE(report.historyPath.has_value());
        const HistoryEntry entry = readHistory(*report.historyPath);
        std::vector<S> statuses;
        for (const HistoryRecord& record : entry.records) {
            statuses.push_back(record.status);
            if (record.status == S::fail) {
                // The item's planned path, and the error the report shows.
                EXPECT_EQ(record.finalRelativePath, record.originalRelativePath + "-new");
                ASSERT_EQ(report.failed.size(), 1U);
                EXPECT_EQ(record.error, report.failed.front().error);
            }
            if (record.status == S::verifyFail) {
                EXPECT_FALSE(record.error.empty());
            }
        }
        EXPECT_EQ(statuses, c.statuses);
        EXPECT_EQ(log.count("Scoped cleanup"), 0);
    }
}

TEST_F(RenameFlowTest, UndoCountsOnlyTheRecordsItActsOn)
{
    std::vector<FileTransformationResult> results;
    for (const char* name : {"a", "b", "c", "d", "e"}) {
        m_tree.writeFile(name, name);
        results.push_back(planned(m_tree.path(), name, std::string(name) + "-new"));
    }
    m_fs->fail(Op::rename, "/c", EIO);  // c never moves: a fail and a verifyFail record
    MonitorViewModel& model = modelOn(m_tree.path(), m_data.path());
    runBatch(model, [&] { model.renameFiles(results); });
    EXPECT_EQ(model.renameResultMessage(), "4 renamed, 1 failed");
    ASSERT_TRUE(model.renameReport() && model.renameReport()->historyPath);
    const std::string history = *model.renameReport()->historyPath;
    EXPECT_EQ(readHistory(history).records.size(), 6U);

    m_fs->fail(Op::rename, "/a-new", EIO);  // one of the four cannot go back
    runBatch(model, [&] { model.undoRename(history); });
    EXPECT_EQ(model.renameResultMessage(), "Undo: 3 restored, 1 failed");
    EXPECT_TRUE(m_tree.exists("a-new"));
    EXPECT_TRUE(m_tree.exists("b") && m_tree.exists("c") && m_tree.exists("d") && m_tree.exists("e"));
    ASSERT_TRUE(model.renameReport() && model.renameReport()->historyPath);
    EXPECT_EQ(model.renameReport()->failed.size(), 1U);
    const HistoryEntry undo = readHistory(*model.renameReport()->historyPath);
    ASSERT_EQ(undo.records.size(), 4U);
    EXPECT_EQ(undo.records.back().status, HistoryRecordStatus::fail);
    EXPECT_EQ(undo.records.back().originalRelativePath, "a-new");
}

// After a batch that changed the disk the list is what a scan of the disk
// lists: never a row for a path that is gone. Undo asked for while a scan
// runs stops the scan and is carried out.
TEST_F(RenameFlowTest, ListFollowsTheDiskAfterRenameAndUndo)
{
    struct Case {
        const char* name;
        bool restored;  // the list comes from the index at start-up: no coordinator yet
        bool undoDuringScan;
    };
    const std::vector<Case> cases = {
        {"scanned folder", false, false},
        {"restored results", true, false},
        {"undo during a scan", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir tree;
        TempDir data;
        tree.writeFile("bad:name.txt", "one");
        tree.writeFile("sub/what?.txt", "two");
        tree.writeFile("dir:1/in?.txt", "three");
        tree.writeFile("keep:me.txt", "four");  // not selected: stays listed
        tree.writeFile("ok.txt", "five");
        const auto before = snapshot(tree.path());
        m_settings->updateSettings([](AppSettings& settings) { settings.preferences.lastSourcePath.reset(); });

        MonitorViewModel* opened = &modelOn(tree.path(), data.path());
        opened->startMonitoring();
        ASSERT_TRUE(waitUntil([&] { return opened->monitoringStatus().kind() == MonitoringStatus::Kind::monitoring && opened->issueFiles().size() == 5; }));
        const std::vector<std::string> firstList = listed(*opened);
        if (c.restored) {
            opened->stopMonitoring();
            ASSERT_TRUE(waitUntil([&] { return !opened->hasDatabase(); }));
            settle(50ms);
            opened = &makeModel(data.path());  // restores tree's results from the index
            ASSERT_TRUE(waitUntil([&] { return !opened->isRestoringSession() && opened->issueFiles().size() == 5; }));
            ASSERT_FALSE(opened->hasCoordinator());
        }
        MonitorViewModel& model = *opened;
        ASSERT_EQ(listed(model), firstList);

        ItemIdSet selected;
        for (const IndexedFile& item : model.issueFiles()) {
            if (item.relativePath != "keep:me.txt") {
                selected.insert(item.id);
            }
        }
        model.setSelectedFileIDs(selected);
        runBatch(model, [&] { model.renameSelected(); });
        EXPECT_EQ(model.renameResultMessage(), "4 items renamed successfully");
        ASSERT_TRUE(model.renameReport() && model.renameReport()->historyPath);
        const std::string history = *model.renameReport()->historyPath;
        const std::vector<std::string> renamedList = freshScanList(tree.path());
        EXPECT_EQ(renamedList, (std::vector<std::string> {"keep:me.txt -> keep_me.txt"}));
        EXPECT_TRUE(waitForList(model, renamedList)) << ::testing::PrintToString(listed(model));
        EXPECT_TRUE(vanishedRows(model, tree.path()).empty());

        auto gate = std::make_shared<test::Gate>();
        if (c.undoDuringScan) {
            auto walking = std::make_shared<std::atomic<bool>>(false);
            ASSERT_NE(model.coordinator(), nullptr);
            model.coordinator()->setWalkObserver([gate, walking] {
                walking->store(true);
                gate->wait();
            });
            model.coordinator()->scanNow();
            ASSERT_TRUE(waitUntil([&] { return model.monitoringStatus().isScanning() && walking->load(); }));
            test::LogCapture log;
            model.setShowRenameResult(false);
            model.undoRename(history);
            EXPECT_TRUE(model.isRenaming());
            EXPECT_EQ(model.renameProgressLabel(), "Undoing rename…");
            settle(100ms);
            EXPECT_NE(snapshot(tree.path()), before);  // the undo waits for the scan to stop
            gate->open();
            ASSERT_TRUE(waitUntil([&] { return !model.isRenaming(); }));
            EXPECT_TRUE(model.showRenameResult());
            EXPECT_EQ(log.count("WARN", "Cannot undo"), 0);
            EXPECT_EQ(log.count("INFO", "MonitorViewModel: Stopping the running scan for the undo"), 1);
        } else {
            gate->open();
            runBatch(model, [&] { model.undoRename(history); });
        }
        EXPECT_EQ(model.renameResultMessage(), "Undo complete: 4 items restored");
        EXPECT_EQ(snapshot(tree.path()), before);
        EXPECT_TRUE(waitForList(model, firstList)) << ::testing::PrintToString(listed(model));
        EXPECT_TRUE(vanishedRows(model, tree.path()).empty());
        model.stopMonitoring();
        settle(50ms);
    }
}

TEST_F(RenameFlowTest, PrivilegedAdaptersOnlyWhenAllowedAndReady)
{
    m_settings->updateSettings([](AppSettings& settings) { settings.preferences.usePrivilegedHelper = true; });
    struct Case {
        const char* name;
        bool allowed;
        bool ready;
        std::optional<Answer::Kind> server;  // how the daemon answers; none: no daemon
        std::string message;
        std::size_t requests;
    };
    const std::vector<Case> cases = {
        {"not ready", true, false, Answer::Kind::reply, "0 renamed, 1 failed", 0},
        {"not allowed", false, true, Answer::Kind::reply, "0 renamed, 1 failed", 0},
        {"ready, the daemon moves it", true, true, Answer::Kind::reply, "1 item renamed successfully", 1},
        {"ready, the daemon never answers", true, true, Answer::Kind::silent, "0 renamed, 1 failed", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir tree;
        tree.writeFile("p", "payload");
        m_settings->updateSettings([&c](AppSettings& settings) { settings.preferences.usePrivilegedHelper = c.allowed; });
        m_fs = std::make_shared<GatedFileSystem>();
        m_fs->fail(Op::rename, "/p", EACCES);
        m_helperReady = c.ready;
        m_readyQueries = 0;
        m_helperTimeout = 0.3;
        test::FakeHelperServer server(m_dir / "helper.sock", [&c](const HelperRequest& request) {
            if (*c.server == Answer::Kind::silent) {
                return Answer::silent();
            }
            const bool moved = request.arguments.size() == 2 && std::rename(request.arguments[0].c_str(), request.arguments[1].c_str()) == 0;
            return Answer::with(moved, moved ? "" : "could not move");
        });
        ASSERT_TRUE(server.listening());
        test::LogCapture log;
        MonitorViewModel& model = modelOn(tree.path(), m_data.path());
        const auto start = std::chrono::steady_clock::now();
        runBatch(model, [&] { model.renameFiles({planned(tree.path(), "p", "p-new")}); });
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(model.renameResultMessage(), c.message);
        if (c.allowed) {
            EXPECT_EQ(m_readyQueries, 1);  // asked at the moment of the call
        }
        const std::vector<HelperRequest> requests = server.requests();
        ASSERT_EQ(requests.size(), c.requests);
        if (c.requests == 1) {
            EXPECT_EQ(requests[0].selector, HelperSelector::renameFile);
            EXPECT_EQ(requests[0].arguments, (std::vector<std::string> {tree / "p", tree / "p-new"}));
        }
        if (c.server == Answer::Kind::silent && c.requests == 1) {
            EXPECT_GE(elapsed, 300ms);
            EXPECT_LT(elapsed, 5s);
            EXPECT_EQ(log.count("ERROR", "XPC call failed: " + std::string(xpcErrorDescription(XPCError::timeout))), 1) << log.text();
        } else {
            EXPECT_EQ(log.count("XPC call failed: "), 0);
        }
    }
}

TEST_F(RenameFlowTest, UndoThatCannotRunTouchesNothing)
{
    // A batch recorded in another folder than the open one.
    TempDir other;
    other.writeFile("a", "a");
    MonitorViewModel& first = modelOn(other.path(), m_data.path());
    runBatch(first, [&] { first.renameFiles({planned(other.path(), "a", "a-new")}); });
    ASSERT_TRUE(first.renameReport() && first.renameReport()->historyPath);
    const std::string otherHistory = *first.renameReport()->historyPath;
    const std::optional<RenameReport> firstReport = first.renameReport();  // `first` goes with the next model

    const std::string truncated = m_dir / "truncated.tshistory";
    {
        std::ofstream out(truncated, std::ios::binary);
        out << std::string("TSHISTORY\0001\000", 12);
    }
    const std::string wrongVersion = m_dir / "version.tshistory";
    {
        std::string bytes = readFile(otherHistory);
        bytes[10] = '2';
        std::ofstream(wrongVersion, std::ios::binary) << bytes;
    }
    const auto parseError = [](const std::string& path) { return TransformationHistory::parse(readFile(path)).error().message; };

    struct Case {
        const char* name;
        std::string history;
        std::string message;
        bool loadFailure;
    };
    const std::vector<Case> cases = {
        {"another root", otherHistory,
            "Undo failed: This batch was recorded in another folder (" + other.path() + "). Open that folder as the source, then undo again.", false},
        {"truncated", truncated, "Undo failed: " + parseError(truncated), true},
        {"other version", wrongVersion, "Undo failed: " + parseError(wrongVersion), true},
        {"missing", m_dir / "gone.tshistory", "Undo failed: No such file or directory", true},
    };
    m_tree.writeFile("a-new", "mine");
    const auto otherBefore = snapshot(other.path());
    const auto treeBefore = snapshot(m_tree.path());
    MonitorViewModel& model = modelOn(m_tree.path(), m_data.path());
    model.setRenameReport(firstReport);
    const std::size_t histories = fileCount(m_data / "history");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::LogCapture log;
        runBatch(model, [&] { model.undoRename(c.history); });
        EXPECT_EQ(model.renameResultMessage(), c.message);
        EXPECT_EQ(log.count("ERROR", "❌ Failed to load history for undo: "), c.loadFailure ? 1 : 0);
        EXPECT_EQ(snapshot(other.path()), otherBefore);
        EXPECT_EQ(snapshot(m_tree.path()), treeBefore);
        EXPECT_EQ(fileCount(m_data / "history"), histories);
        ASSERT_TRUE(model.renameReport().has_value());
        EXPECT_EQ(model.renameReport()->historyPath, otherHistory);  // kept
    }
}

TEST_F(RenameFlowTest, RenameIsRefusedWhileAScanOrABatchRuns)
{
    m_tree.writeFile("a", "a");
    m_tree.writeFile("b", "b");
    m_tree.writeFile("bad:name", "c");
    MonitorViewModel& model = modelOn(m_tree.path(), m_data.path());

    // A batch that waits at its first move.
    m_fs->gate = std::make_shared<test::Gate>();
    model.renameFiles({planned(m_tree.path(), "a", "a-new")});
    ASSERT_TRUE(model.isRenaming());
    const std::string label = model.renameProgressLabel();
    const auto started = model.renameStartTime();
    int stateSignals = 0;
    QObject::connect(&model, &MonitorViewModel::renameStateChanged, [&stateSignals] { ++stateSignals; });
    test::LogCapture log;
    model.renameFiles({planned(m_tree.path(), "b", "b-new"), planned(m_tree.path(), "a", "x")});
    model.undoRename(m_dir / "none.tshistory");
    EXPECT_EQ(log.count("WARN", "⚠️ Cannot rename: a rename or undo is already running"), 1);
    EXPECT_EQ(log.count("WARN", "⚠️ Cannot undo: a rename or undo is already running"), 1);
    EXPECT_EQ(stateSignals, 0);
    EXPECT_EQ(model.renameProgressLabel(), label);
    EXPECT_EQ(model.renameStartTime(), started);
    m_fs->gate->open();
    ASSERT_TRUE(waitUntil([&] { return !model.isRenaming(); }));
    EXPECT_EQ(model.renameResultMessage(), "1 item renamed successfully");
    EXPECT_TRUE(m_tree.exists("b"));

    // A scan that runs.
    m_fs->gate.reset();
    model.startMonitoring();
    ASSERT_TRUE(model.monitoringStatus().isScanning());
    model.renameFiles({planned(m_tree.path(), "b", "b-new")});
    EXPECT_EQ(log.count("WARN", "⚠️ Cannot rename: a scan is running"), 1);
    EXPECT_FALSE(model.isRenaming());
    model.stopMonitoring();
    settle(50ms);
    EXPECT_TRUE(m_tree.exists("b"));
}

TEST_F(RenameFlowTest, ExportsWriteTheWritersBytesAndTellFailures)
{
    m_settings->updateSettings([](AppSettings& settings) { settings.preferences.reportFormat = AppSettings::ReportFormat::csv; });
    m_tree.writeFile("bad:name.txt", "one");
    m_tree.writeFile("why?.txt", "two");
    MonitorViewModel& model = scannedModel(m_tree.path(), 2);
    ASSERT_NE(model.coordinator(), nullptr);
    test::LogCapture log;

    // Nothing to export yet; a cancelled panel writes and logs nothing.
    model.exportRenameReport();
    EXPECT_TRUE(m_panel->calls.empty());
    m_panel->setNextAnswer(std::nullopt);
    model.exportReport();
    settle();
    ASSERT_EQ(m_panel->calls.size(), 1U);
    EXPECT_EQ(m_panel->calls[0].request, ReportSaveRequest::scanReport());
    EXPECT_EQ(m_panel->calls[0].storedFormat, AppSettings::ReportFormat::csv);
    EXPECT_EQ(log.count("exported to"), 0);

    const std::string scanCsv = m_dir / "scan.csv";
    m_panel->setNextAnswer(ReportSaveChoice {QString::fromStdString(scanCsv), AppSettings::ReportFormat::csv});
    model.exportReport();
    ASSERT_TRUE(waitUntil([&] { return log.count("INFO", "Report exported to " + scanCsv) == 1; }));
    const std::vector<IndexedFile> files
        = model.coordinator()->database()->fetchFilesWithIssues(m_tree.path(), std::numeric_limits<std::int64_t>::max(), 0);
    ASSERT_EQ(files.size(), 2U);
    EXPECT_EQ(readFile(scanCsv), ReportService::generateCSVReport(files));

    // The rename report, in the format chosen in the panel.
    model.setSelectedFileIDs({model.issueFiles().front().id});
    runBatch(model, [&] { model.renameSelected(); });
    ASSERT_TRUE(model.renameReport().has_value());
    const std::string renameJson = m_dir / "rename.json";
    m_panel->setNextAnswer(ReportSaveChoice {QString::fromStdString(renameJson), AppSettings::ReportFormat::json});
    model.exportRenameReport();
    ASSERT_TRUE(waitUntil([&] { return log.count("INFO", "Rename report exported to " + renameJson) == 1; }));
    EXPECT_EQ(m_panel->calls.back().request, ReportSaveRequest::renameReport());
    EXPECT_EQ(readFile(renameJson), ReportService::generateRenameReportJSON(*model.renameReport()));
    EXPECT_FALSE(model.exportErrorMessage().has_value());

    // A target that cannot be written is told to the user.
    const std::string unwritable = m_dir / "missing/rename.csv";
    m_panel->setNextAnswer(ReportSaveChoice {QString::fromStdString(unwritable), AppSettings::ReportFormat::csv});
    model.exportRenameReport();
    ASSERT_TRUE(waitUntil([&] { return model.exportErrorMessage().has_value(); }));
    EXPECT_EQ(model.exportErrorMessage()->rfind("Failed to export rename report: ", 0), 0U) << *model.exportErrorMessage();
    EXPECT_EQ(log.count("ERROR", "❌ Failed to export rename report: "), 1);
    EXPECT_FALSE(std::filesystem::exists(unwritable));
}

}  // namespace
}  // namespace tess

namespace tess {
namespace {

// The history row and the undo alert show the entry's count of what was
// done; the undo's result counts what it put back. The three agree.
TEST_F(RenameFlowTest, TheRowTheAlertAndTheResultCountWhatWasDone)
{
    std::vector<FileTransformationResult> results;
    for (const char* name : {"a", "b", "c", "d", "e"}) {
        m_tree.writeFile(name, name);
        results.push_back(planned(m_tree.path(), name, std::string(name) + "-new"));
    }
    m_fs->fail(Op::rename, "/c", EIO);
    MonitorViewModel& model = modelOn(m_tree.path(), m_data.path());
    runBatch(model, [&] { model.renameFiles(results); });
    ASSERT_TRUE(model.renameReport() && model.renameReport()->historyPath);
    const std::string history = *model.renameReport()->historyPath;
    const auto row = TransformationHistory::readHeader(history);
    ASSERT_TRUE(row.has_value());
    EXPECT_EQ(row->doneCount, 4);

    runBatch(model, [&] { model.undoRename(history); });
    EXPECT_EQ(model.renameResultMessage(), "Undo complete: 4 items restored");
    runBatch(model, [&] { model.undoRename(history); });
    EXPECT_EQ(model.renameResultMessage(), "Undo: nothing restored — every item is already at its original name");
    for (const char* name : {"a", "b", "c", "d", "e"}) {
        EXPECT_TRUE(m_tree.exists(name)) << name;
    }
}

// A folder merged into one that was there before: the row counts the moved
// file and the merged folder, as the rename's message did.
TEST_F(RenameFlowTest, AMergedFolderIsCountedOnceByTheRowAndTheMessage)
{
    m_tree.writeFile("f", "f");
    m_tree.writeFile("dir/inside", "inside");
    m_tree.makeDir("existing");
    const std::vector<FileTransformationResult> results
        = {planned(m_tree.path(), "f", "f-new"), planned(m_tree.path(), "dir", "existing", true)};
    MonitorViewModel& model = modelOn(m_tree.path(), m_data.path());
    runBatch(model, [&] { model.renameFiles(results); });
    EXPECT_EQ(model.renameResultMessage(), "2 items renamed successfully");
    ASSERT_TRUE(model.renameReport() && model.renameReport()->historyPath);
    const auto row = TransformationHistory::readHeader(*model.renameReport()->historyPath);
    ASSERT_TRUE(row.has_value());
    EXPECT_EQ(row->doneCount, 2);
}

}  // namespace
}  // namespace tess

namespace tess {
namespace {

std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    if (std::filesystem::exists(folder)) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A batch that could not create its history never started: it is not called
// complete, and its alert offers no report, least of all an earlier one's.
// An undo that could not run is told the same way.
TEST_F(RenameFlowTest, ABatchThatDidNotStartIsNeverShownAsCompleted)
{
    m_tree.writeFile("a", "a");
    m_tree.writeFile("b", "b");
    MonitorViewModel& model = modelOn(m_tree.path(), m_data.path());
    runBatch(model, [&] { model.renameFiles({planned(m_tree.path(), "a", "a-new")}); });
    EXPECT_EQ(model.renameResultTitle(), "Rename Complete");
    EXPECT_TRUE(model.renameResultOffersReport());
    const std::optional<RenameReport> earlier = model.renameReport();
    ASSERT_TRUE(earlier && earlier->historyPath);
    // The scan the batch asked for ends before the next rename.
    ASSERT_TRUE(waitUntil([&] { return !model.monitoringStatus().isScanning(); }));

    // The history folder becomes unusable: a file stands where it was.
    const std::string history = model.historyFolder();
    std::filesystem::rename(history, m_data / "history-aside");
    m_data.writeFile("history", "not a folder");
    test::LogCapture log;
    runBatch(model, [&] { model.renameFiles({planned(m_tree.path(), "b", "b-new")}); });
    EXPECT_EQ(model.renameResultTitle(), "Rename Not Started");
    EXPECT_EQ(model.renameResultMessage(), "Rename not started — The batch's history could not be created in " + history + ": Not a directory");
    EXPECT_FALSE(model.renameResultOffersReport());
    ASSERT_TRUE(model.renameReport().has_value());
    EXPECT_EQ(model.renameReport()->historyPath, earlier->historyPath);  // kept, but not offered
    EXPECT_TRUE(m_tree.exists("b"));
    EXPECT_FALSE(m_tree.exists("b-new"));

    runBatch(model, [&] { model.undoRename(m_dir / "gone.tshistory"); });
    EXPECT_EQ(model.renameResultTitle(), "Undo Failed");
    EXPECT_EQ(model.renameResultMessage(), "Undo failed: No such file or directory");
    EXPECT_FALSE(model.renameResultOffersReport());

    std::filesystem::remove(m_data / "history");
    std::filesystem::rename(m_data / "history-aside", history);
    runBatch(model, [&] { model.undoRename(*earlier->historyPath); });
    EXPECT_EQ(model.renameResultTitle(), "Rename Complete");
    EXPECT_EQ(model.renameResultMessage(), "Undo complete: 1 item restored");
    EXPECT_TRUE(model.renameResultOffersReport());
}

// exFAT through FUSE and some network shares have neither a no-replace
// rename nor hard links: the batch's history is still saved, never over
// another file, and the batch is not left listed as interrupted.
TEST_F(RenameFlowTest, AHistoryFolderWithoutExclusiveMovesStillGetsItsFiles)
{
    class NoExclusiveMoves : public HistoryFileOps {
    public:
        int renameNoReplace(const std::string&, const std::string&) override { return EINVAL; }
        int link(const std::string&, const std::string&) override { return EPERM; }
    };
    m_tree.writeFile("a", "a");
    MonitorViewModel& model = treeModelWithHistoryFiles(std::make_shared<NoExclusiveMoves>());

    test::LogCapture log;
    runBatch(model, [&] { model.renameFiles({planned(m_tree.path(), "a", "a-new")}); });
    EXPECT_EQ(model.renameResultMessage(), "1 item renamed successfully");
    EXPECT_EQ(log.count("Failed to save"), 0);
    ASSERT_TRUE(model.renameReport() && model.renameReport()->historyPath);
    const std::string saved = *model.renameReport()->historyPath;
    EXPECT_EQ(readHistory(saved).records.size(), 1U);
    auto listed = TransformationHistory::listHistories(model.historyFolder());
    ASSERT_EQ(listed.size(), 1U);
    EXPECT_FALSE(listed[0].interrupted);

    runBatch(model, [&] { model.undoRename(saved); });
    EXPECT_EQ(model.renameResultMessage(), "Undo complete: 1 item restored");
    listed = TransformationHistory::listHistories(model.historyFolder());
    EXPECT_EQ(listed.size(), 2U);
    for (const std::string& name : namesIn(model.historyFolder())) {
        EXPECT_TRUE(name.ends_with(".tshistory")) << name;  // no journal, no temporary file
    }
}

// A folder renamed onto one that came into being after the scan holds items
// the batch does not list: its undo puts them back too, and the rename's
// row, its undo's message and the undo's own row count the same things.
TEST_F(RenameFlowTest, TheUndoOfAMergeIntoAFolderThatWasThereBeforeRestoresEverything)
{
    m_tree.writeFile("Old:dir/listed", "l");
    m_tree.writeFile("Old:dir/arrived after the scan", "a");
    m_tree.writeFile("Old:dir/excluded.tmp", "t");
    ::chmod((m_tree / "Old:dir").c_str(), 0755);
    m_tree.writeFile("Old_dir/theirs", "theirs");
    const auto before = snapshot(m_tree.path());
    MonitorViewModel& model = modelOn(m_tree.path(), m_data.path());
    runBatch(model, [&] {
        model.renameFiles({planned(m_tree.path(), "Old:dir", "Old_dir", true), planned(m_tree.path(), "Old:dir/listed", "Old_dir/listed")});
    });
    EXPECT_EQ(model.renameResultMessage(), "2 items renamed successfully");
    ASSERT_TRUE(model.renameReport() && model.renameReport()->historyPath);
    const std::string history = *model.renameReport()->historyPath;
    const auto row = TransformationHistory::readHeader(history);
    ASSERT_TRUE(row.has_value());
    EXPECT_EQ(row->doneCount, 2);

    runBatch(model, [&] { model.undoRename(history); });
    EXPECT_EQ(model.renameResultMessage(), "Undo complete: 2 items restored");
    EXPECT_EQ(snapshot(m_tree.path()), before);
    ASSERT_TRUE(model.renameReport() && model.renameReport()->historyPath);
    const auto undoRow = TransformationHistory::readHeader(*model.renameReport()->historyPath);
    ASSERT_TRUE(undoRow.has_value());
    EXPECT_EQ(undoRow->doneCount, 2);  // the file moved back and the folder made again
}

// Another program moves the renamed item away and puts another under its
// new name: the batch says so, and its undo leaves that other item alone
// and names it.
TEST_F(RenameFlowTest, UndoLeavesAnItemFoundReplacedAndSaysSo)
{
    m_tree.writeFile("a", "the renamed item");
    m_tree.writeFile("b", "b");
    m_fs->afterMove = [this](const std::string& movedTo) {
        if (movedTo == m_tree / "a-new") {
            std::filesystem::rename(movedTo, m_tree / "kept elsewhere");
            m_tree.writeFile("a-new", "another item");
        }
    };
    MonitorViewModel& model = modelOn(m_tree.path(), m_data.path());
    runBatch(model, [&] { model.renameFiles({planned(m_tree.path(), "a", "a-new"), planned(m_tree.path(), "b", "b-new")}); });
    EXPECT_EQ(model.renameResultMessage(), "1 renamed, 1 failed verification");
    ASSERT_TRUE(model.renameReport() && model.renameReport()->historyPath);
    m_fs->afterMove = nullptr;

    runBatch(model, [&] { model.undoRename(*model.renameReport()->historyPath); });
    EXPECT_EQ(model.renameResultMessage(), "Undo: 1 restored, 1 failed");
    ASSERT_TRUE(model.renameReport().has_value());
    ASSERT_EQ(model.renameReport()->failed.size(), 1U);
    EXPECT_EQ(model.renameReport()->failed[0].path, "a-new");
    EXPECT_EQ(model.renameReport()->failed[0].error.rfind("Not restored: the item at a-new is not the one this rename moved there", 0), 0U);
    EXPECT_TRUE(model.renameReport()->failedVerifications.empty());
    EXPECT_EQ(readFile(m_tree / "a-new"), "another item");
    EXPECT_FALSE(m_tree.exists("a"));
    EXPECT_EQ(readFile(m_tree / "b"), "b");
}

// The same when the batch's history file cannot be saved: the journal left
// behind is what the undo reads, and it too tells that the item at the new
// name is not the renamed one.
TEST_F(RenameFlowTest, TheUndoOfAJournalLeftBehindLeavesAnItemFoundReplaced)
{
    class FailingSaves : public HistoryFileOps {
    public:
        int renameNoReplace(const std::string&, const std::string&) override { return EIO; }
        int link(const std::string&, const std::string&) override { return EIO; }
    };
    m_tree.writeFile("a", "the renamed item");
    m_tree.writeFile("b", "b");
    m_fs->afterMove = [this](const std::string& movedTo) {
        if (movedTo == m_tree / "a-new") {
            std::filesystem::rename(movedTo, m_tree / "kept elsewhere");
            m_tree.writeFile("a-new", "another item");
        }
    };
    MonitorViewModel& model = treeModelWithHistoryFiles(std::make_shared<FailingSaves>());

    runBatch(model, [&] { model.renameFiles({planned(m_tree.path(), "a", "a-new"), planned(m_tree.path(), "b", "b-new")}); });
    EXPECT_EQ(model.renameResultMessage().rfind("1 renamed, 1 failed verification. Failed to save transformation history: ", 0), 0U)
        << model.renameResultMessage();
    m_fs->afterMove = nullptr;
    const auto listedHistories = TransformationHistory::listHistories(model.historyFolder());
    ASSERT_EQ(listedHistories.size(), 1U);
    ASSERT_TRUE(listedHistories[0].interrupted);

    runBatch(model, [&] { model.undoRename(listedHistories[0].url); });
    EXPECT_EQ(model.renameResultMessage().rfind("Undo: 1 restored, 1 failed", 0), 0U) << model.renameResultMessage();
    EXPECT_EQ(readFile(m_tree / "a-new"), "another item");
    EXPECT_FALSE(m_tree.exists("a"));
    EXPECT_EQ(readFile(m_tree / "kept elsewhere"), "the renamed item");
    EXPECT_EQ(readFile(m_tree / "b"), "b");
}

// The report of a batch exported right after it, and the report of the same
// batch read back from its history file, say the same, status by status.
TEST_F(RenameFlowTest, AVerificationStatusReadsBackAsTheBatchReportedIt)
{
    for (const char* name : {"both", "replaced", "back", "unreadable", "occupied"}) {
        m_tree.writeFile(std::string(name) + ":x", name);
    }
    m_tree.writeFile("occupied_x", "someone else's");
    m_fs->afterMove = [this](const std::string& movedTo) {
        const auto replace = [this](const std::string& path, const std::string& text) {
            std::filesystem::rename(m_tree / path, m_tree / (path + " (kept)"));
            m_tree.writeFile(path, text);
        };
        if (movedTo == m_tree / "both_x") {
            replace("both_x", "other");
            m_tree.writeFile("both:x", "another");
        } else if (movedTo == m_tree / "replaced_x") {
            replace("replaced_x", "other");
        } else if (movedTo == m_tree / "back_x") {
            std::filesystem::rename(movedTo, m_tree / "back:x");
            m_tree.writeFile("back_x", "other");
        }
    };
    m_fs->fail(Op::lstat, "/unreadable_x", EACCES);
    std::vector<FileTransformationResult> results;
    for (const char* name : {"both", "replaced", "back", "unreadable", "occupied"}) {
        results.push_back(planned(m_tree.path(), std::string(name) + ":x", std::string(name) + "_x"));
    }
    MonitorViewModel& model = modelOn(m_tree.path(), m_data.path());
    runBatch(model, [&] { model.renameFiles(results); });
    ASSERT_TRUE(model.renameReport() && model.renameReport()->historyPath);
    std::vector<std::string> statuses;
    for (const auto& verification : model.renameReport()->failedVerifications) {
        statuses.push_back(verification.originalPath + " " + std::string(VerificationStatusText::token(verification.status)));
    }
    EXPECT_EQ(statuses, (std::vector<std::string> {"both:x bothExist", "replaced:x targetMissing", "back:x sourceStillExists", "unreadable:x targetMissing", "occupied:x bothExist"}));

    const std::string exported = m_dir / "rename.json";
    m_panel->setNextAnswer(ReportSaveChoice {QString::fromStdString(exported), AppSettings::ReportFormat::json});
    test::LogCapture log;
    model.exportRenameReport();
    ASSERT_TRUE(waitUntil([&] { return log.count("INFO", "Rename report exported to " + exported) == 1; }));
    const RenameReport fromHistory = RenameReport::fromHistoryEntry(readHistory(*model.renameReport()->historyPath));
    EXPECT_EQ(readFile(exported), ReportService::generateRenameReportJSON(fromHistory));
}

// What the user reads names the real cause: an immutable folder, a folder
// that cannot be searched, a list older than the folder.
TEST_F(RenameFlowTest, ResultTextsNameTheRealCause)
{
    struct Case {
        const char* name;
        std::vector<std::string> files;
        std::vector<std::pair<std::string, bool>> renames;  // "from>to", folder
        std::function<void(TempDir&, test::FaultyFileSystem&)> setUp;
        std::string message;
        std::vector<std::string> failureStarts;  // in the report's order
        std::vector<std::string> notSaid;
        int skippedLines = 0;
    };
    const std::vector<Case> cases {
        {"immutable folder", {"Imm:dir/one.txt"}, {{"Imm:dir/one.txt>Imm_dir/one.txt", false}, {"Imm:dir>Imm_dir", true}},
            [](TempDir& tree, test::FaultyFileSystem& fs) {
                fs.immutableFolders = {tree / "Imm:dir"};
                fs.fail(Op::rename, "/Imm:dir/one.txt", EPERM);
                fs.fail(Op::access, "/Imm:dir", EPERM);
            },
            "0 renamed, 2 failed",
            {"Permission denied. Source folder Imm:dir/ is immutable: its items cannot be added, renamed or removed.",
                "Could not merge into the existing folder Imm_dir: one.txt could not be moved (Operation not permitted). Source "
                "folder Imm:dir/ is immutable"},
            {"not writable by you", "conflicting contents"}},
        {"folder without search permission", {"nox/sub/f:1"}, {{"nox/sub/f:1>nox/sub/f_1", false}},
            [](TempDir& tree, test::FaultyFileSystem& fs) {
                ::chmod((tree / "nox").c_str(), 0644);
                fs.fail(Op::lstat, "/nox/sub", EACCES);
                fs.fail(Op::lstat, "/nox/sub/f:1", EACCES);
                fs.fail(Op::lstat, "/nox/sub/f_1", EACCES);
            },
            "0 renamed, 1 failed", {"Permission denied. Source folder sub/ cannot be reached: the folder nox/ above it cannot be searched (mode 644"},
            {"does not exist"}},
        {"a list older than the folder", {}, {{"gone 1>new 1", false}, {"gone 2>new 2", false}, {"gone folder>new folder", true}},
            [](TempDir&, test::FaultyFileSystem&) {},
            "0 renamed, 3 failed — 3 items were no longer where the list showed them (the folder changed since it was "
            "scanned); the list is scanned again",
            {"Source file not found", "Source file not found", "Source directory not found"}, {}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir tree;
        TempDir data;
        for (const std::string& file : c.files) {
            tree.writeFile(file, file);
        }
        m_fs = std::make_shared<GatedFileSystem>();
        c.setUp(tree, *m_fs);
        std::vector<FileTransformationResult> results;
        for (const auto& [rename, folder] : c.renames) {
            const std::size_t arrow = rename.find('>');
            results.push_back(planned(tree.path(), rename.substr(0, arrow), rename.substr(arrow + 1), folder));
        }
        test::LogCapture log;
        MonitorViewModel& model = modelOn(tree.path(), data.path());
        runBatch(model, [&] { model.renameFiles(results); });
        ::chmod((tree / "nox").c_str(), 0755);
        EXPECT_EQ(model.renameResultMessage(), c.message);
        ASSERT_TRUE(model.renameReport().has_value());
        const auto& failed = model.renameReport()->failed;
        ASSERT_EQ(failed.size(), c.failureStarts.size());
        for (std::size_t i = 0; i < failed.size(); ++i) {
            EXPECT_EQ(failed[i].error.rfind(c.failureStarts[i], 0), 0U) << failed[i].error;
            for (const std::string& wrong : c.notSaid) {
                EXPECT_EQ(failed[i].error.find(wrong), std::string::npos) << failed[i].error;
            }
        }
        if (c.skippedLines > 0) {
            EXPECT_EQ(log.count("ERROR", "Rename skipped:"), c.skippedLines);
        }
    }
}

// A history file cut inside its last record (a disk error, a tool that
// truncated it) is undone up to its last whole record, and the result says
// the file is incomplete, in words about the file.
TEST_F(RenameFlowTest, AnUndoOfACutHistoryFileRestoresWhatItHolds)
{
    std::vector<FileTransformationResult> results;
    for (const char* name : {"a", "b", "c"}) {
        m_tree.writeFile(name, name);
        results.push_back(planned(m_tree.path(), name, std::string(name) + "-new"));
    }
    MonitorViewModel& model = modelOn(m_tree.path(), m_data.path());
    runBatch(model, [&] { model.renameFiles(results); });
    ASSERT_TRUE(model.renameReport() && model.renameReport()->historyPath);
    const std::string history = *model.renameReport()->historyPath;
    const std::string bytes = readFile(history);
    ASSERT_EQ(::truncate(history.c_str(), static_cast<off_t>(bytes.size() - 4)), 0);  // inside the last record

    runBatch(model, [&] { model.undoRename(history); });
    EXPECT_EQ(model.renameResultMessage(),
        "Undo: 2 items restored. The history file is incomplete: renames after its last whole record are unknown and were "
        "not undone");
    EXPECT_TRUE(m_tree.exists("a") && m_tree.exists("b"));
    EXPECT_TRUE(m_tree.exists("c-new"));
}

// The finished history file carries the time the batch was recorded, after
// its moves, as the format has it.
TEST_F(RenameFlowTest, TheHistoryFileIsTimedWhenTheBatchIsRecorded)
{
    m_tree.writeFile("a", "a");
    MonitorViewModel& model = modelOn(m_tree.path(), m_data.path());
    m_fs->gate = std::make_shared<test::Gate>();
    model.renameFiles({planned(m_tree.path(), "a", "a-new")});
    ASSERT_TRUE(waitUntil([&] { return m_fs->atGate.load(); }));
    const auto released = std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now());
    m_fs->gate->open();
    ASSERT_TRUE(waitUntil([&] { return !model.isRenaming(); }));
    m_fs->gate.reset();
    ASSERT_TRUE(model.renameReport() && model.renameReport()->historyPath);
    EXPECT_GE(readHistory(*model.renameReport()->historyPath).timestamp, released);
    EXPECT_GE(model.renameReport()->timestamp, released);
}

// A folder whose own rename failed (its items could not leave "w ", which
// this user may not write) is moved whole, under its old name, into its
// renamed parent by the parent's merge. Nothing else passes through that
// parent, so the history records that move itself, and the undo brings the
// tree back exactly.
TEST_F(RenameFlowTest, TheUndoBringsBackAFolderAMergeMovedWholeIntoAFolderTheBatchMade)
{
    m_tree.writeFile("u /v /w /f\t.txt", "f");
    m_tree.writeFile("u /v /w /g.txt", "g");
    m_tree.writeFile("u /v /x.txt", "x");
    m_fs->fail(Op::rename, "/u /v /w /f\t.txt", EACCES);
    m_fs->fail(Op::rename, "/u /v /w ", EACCES);  // a folder moved to another parent needs its own write permission
    const auto before = snapshot(m_tree.path());
    MonitorViewModel& model = modelOn(m_tree.path(), m_data.path());
    runBatch(model, [&] {
        model.renameFiles({planned(m_tree.path(), "u /v /w /f\t.txt", "u/v/w/f_.txt"), planned(m_tree.path(), "u /v /w ", "u/v/w", true),
            planned(m_tree.path(), "u /v ", "u/v", true), planned(m_tree.path(), "u ", "u", true)});
    });
    EXPECT_EQ(model.renameResultMessage(), "1 renamed, 3 failed");
    EXPECT_EQ(readFile(m_tree / "u/v /x.txt"), "x");
    ASSERT_TRUE(model.renameReport() && model.renameReport()->historyPath);
    const HistoryEntry recorded = readHistory(*model.renameReport()->historyPath);
    const auto moved = std::find_if(recorded.records.begin(), recorded.records.end(), [](const HistoryRecord& record) {
        return record.type == HistoryRecordType::storedMetadata && record.originalRelativePath == "u /v " && record.finalRelativePath == "u/v ";
    });
    EXPECT_NE(moved, recorded.records.end());

    runBatch(model, [&] { model.undoRename(*model.renameReport()->historyPath); });
    EXPECT_EQ(model.renameResultMessage(), "Undo complete: 1 item restored");
    EXPECT_EQ(snapshot(m_tree.path()), before);
}

// Once the daemon refuses, cannot be reached or went away, the batch's
// later privileged steps fail with its reply without asking it again; a
// daemon that timed out is asked once more (it may have been waiting for a
// password), and not after a second time-out. Every failure names the reply.
TEST_F(RenameFlowTest, ADaemonThatRefusedOrIsGoneIsAskedOnceAndEveryFailureNamesItsReply)
{
    m_settings->updateSettings([](AppSettings& settings) { settings.preferences.usePrivilegedHelper = true; });
    const std::string refusal = "Not authorized: the system's policy does not allow this operation";
    struct Case {
        const char* name;
        std::optional<Answer> answer;  // none: no daemon at the socket
        std::string reply;  // what every failure names
        std::size_t requests;
    };
    const std::vector<Case> cases = {
        {"refused", Answer::with(false, refusal), refusal, 1},
        {"no daemon", std::nullopt, "XPC call failed: " + std::string(xpcErrorDescription(XPCError::proxyCreationFailed)), 0},
        {"the daemon hangs up", Answer::hangUp(), "XPC call failed: " + std::string(xpcErrorDescription(XPCError::noResult)), 1},
        {"the daemon does not answer in time", Answer::silent(), "XPC call failed: " + std::string(xpcErrorDescription(XPCError::timeout)), 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir tree;
        std::vector<FileTransformationResult> results;
        m_fs = std::make_shared<GatedFileSystem>();
        for (const char* name : {"a:1", "a:2", "a:3"}) {
            tree.writeFile(name, name);
            m_fs->fail(Op::rename, std::string("/") + name, EACCES);
            results.push_back(planned(tree.path(), name, std::string(name).replace(1, 1, "_")));
        }
        m_helperReady = true;
        m_helperTimeout = 0.2;
        std::optional<test::FakeHelperServer> server;
        if (c.answer) {
            server.emplace(m_dir / "helper.sock", [&c](const HelperRequest&) { return *c.answer; });
            ASSERT_TRUE(server->listening());
        }
        test::LogCapture log;
        MonitorViewModel& model = modelOn(tree.path(), m_data.path());
        runBatch(model, [&] { model.renameFiles(results); });
        EXPECT_EQ(model.renameResultMessage(), "0 renamed, 3 failed");
        if (server) {
            EXPECT_EQ(server->count(HelperSelector::renameFile), c.requests);
        } else {
            EXPECT_EQ(log.count("ERROR", "Error connecting to helper"), 1);
        }
        ASSERT_TRUE(model.renameReport().has_value());
        ASSERT_EQ(model.renameReport()->failed.size(), 3U);
        for (const auto& failure : model.renameReport()->failed) {
            EXPECT_EQ(failure.error.rfind("Permission denied even with elevated privileges. ", 0), 0U) << failure.error;
            EXPECT_TRUE(failure.error.ends_with(" (" + c.reply + ")")) << failure.error;
        }
        m_model.reset();
    }
}

}  // namespace
}  // namespace tess
