#pragma once

// The view model's test fixture: an application object, isolated settings,
// a tree with three issues, fakes for the pickers and the probe.

#include "model/MonitorViewModel.h"
#include "model/ReportSavePanel.h"

#include "EventLoopWait.h"
#include "FakeFolderPicker.h"
#include "Gate.h"
#include "IsolatedLogEnvironment.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "model/MonitorCoordinator.h"
#include "model/SettingsManager.h"
#include "probe/FilesystemDetectorError.h"
#include "rules/FilesystemPreset.h"
#include "rules/OSPreset.h"
#include "settings/DefaultsStore.h"
#include "text/Text.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThreadPool>

#include <algorithm>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace tess {
namespace {

using test::TempDir;
using namespace std::chrono_literals;

using test::settle;
using test::waitUntil;

[[maybe_unused]] FileTransformationResult resultOf(const std::string& root, const std::string& relative, bool withIssue)
{
    FileTransformationResult result;
    result.originalFile = FileItem {root + "/" + relative, false};
    result.originalRelativePath = relative;
    result.finalRelativePath = relative;
    if (withIssue) {
        result.finalRelativePath = relative + "_";
        result.transformations = {FileTransformationIssue::PathTooLong {300, 255}};
        result.needsRename = true;
    }
    return result;
}

class MonitorViewModelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "test_viewmodel";
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
        m_tree.writeFile("bad:name.txt");
        m_tree.writeFile("ok.txt");
        m_tree.writeFile("sub/what?.txt");
        m_tree.makeDir("folder:x");
    }

    void TearDown() override
    {
        m_model.reset();
        drain();
    }

    static void drain()
    {
        for (int i = 0; i < 3; ++i) {
            QThreadPool::globalInstance()->waitForDone();
            settle(30ms);
        }
    }

    MonitorViewModel& makeModel(std::string dataFolder = {})
    {
        MonitorViewModel::Dependencies dependencies;
        dependencies.settingsManager = m_settings.get();
        dependencies.dataFolder = dataFolder.empty() ? m_data.path() : dataFolder;
        dependencies.folderPicker = m_picker;
        dependencies.prober = m_prober;
        dependencies.notificationCenter = &m_center;
        dependencies.directoryOpener = m_opener;
        dependencies.rename.savePanel = m_savePanel;
        m_model = std::make_unique<MonitorViewModel>(std::move(dependencies));
        return *m_model;
    }

    void waitForRestore()
    {
        ASSERT_TRUE(waitUntil([this] { return !m_model->isRestoringSession(); }));
        drain();
    }

    // A model that scanned the tree and shows its results.
    MonitorViewModel& scannedModel()
    {
        MonitorViewModel& model = makeModel();
        m_picker->answers.push_back(m_tree.path());
        model.selectSourceFolder();
        model.startMonitoring();
        EXPECT_TRUE(waitUntil([&] {
            return model.monitoringStatus().kind() == MonitoringStatus::Kind::monitoring && model.issueFiles().size() == 3
                && model.totalIndexed() > 0 && model.filteredIssueCount() == 3;
        }));
        return model;
    }

    void prepareIndex(std::size_t total, std::size_t withIssues)
    {
        auto opened = FileIndexDatabase::open(m_data / FileIndexDatabase::kFileName);
        ASSERT_TRUE(opened.ok());
        std::vector<FileTransformationResult> results;
        for (std::size_t i = 0; i < total; ++i) {
            // Names out of order, so the restored order is the index's.
            const std::size_t n = (i * 37) % total;
            results.push_back(resultOf(m_tree.path(), "f" + std::to_string(1000 + n) + ".txt", n % (total / withIssues) == 0 && n / (total / withIssues) < withIssues));
        }
        opened.value()->upsertFiles(results, m_tree.path(), std::chrono::system_clock::now());
        const std::int64_t record = opened.value()->startScanRecord(m_tree.path(), "Manual");
        opened.value()->finishScanRecord(record, static_cast<std::int64_t>(total), 0, 0, 0, static_cast<std::int64_t>(withIssues), "completed");
        opened.value()->close();
    }

    static std::unique_ptr<QCoreApplication> s_app;
    TempDir m_dir;
    TempDir m_data;
    TempDir m_tree;
    std::unique_ptr<SettingsManager> m_settings;
    std::shared_ptr<test::FakeFolderPicker> m_picker = std::make_shared<test::FakeFolderPicker>();
    MonitorViewModel::DestinationProber m_prober;
    NotificationCenter m_center;
    DirectoryWalker::DirectoryOpener m_opener;  // empty: the real file system
    std::shared_ptr<ReportSavePanel> m_savePanel;
    std::unique_ptr<MonitorViewModel> m_model;
};

std::unique_ptr<QCoreApplication> MonitorViewModelTest::s_app;

}  // namespace
}  // namespace tess
