// A quit asked while a rename batch runs: the window's model keeps the batch
// (and its progress) until the batch is recorded in its history file; only
// then does the quit go on, through the index writes, to its end.

#include "EventLoopWait.h"
#include "FakeFolderPicker.h"
#include "Gate.h"
#include "LogCapture.h"
#include "TempDir.h"

#include "index/FileIndexDatabase.h"
#include "model/MonitorViewModel.h"
#include "model/QuitController.h"
#include "model/SettingsManager.h"
#include "rename/PosixFileSystemOps.h"
#include "settings/DefaultsStore.h"

#include <gtest/gtest.h>

#include <QThreadPool>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

namespace tess {
namespace {

using namespace std::chrono_literals;

// The real file system, whose moves wait at a gate.
class GatedFileSystem : public PosixFileSystemOps {
public:
    int renameNoReplace(const std::string& from, const std::string& to) override
    {
        reached = true;
        gate.wait();
        return PosixFileSystemOps::renameNoReplace(from, to);
    }
    test::Gate gate;
    std::atomic<bool> reached {false};
};

std::size_t historyFiles(const std::string& folder)
{
    std::size_t count = 0;
    if (std::filesystem::exists(folder)) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            count += entry.path().extension() == ".tshistory" ? 1 : 0;
        }
    }
    return count;
}

TEST(QuitDuringRenameTest, QuitWaitsUntilTheBatchIsRecordedThenGoesOn)
{
    test::TempDir dir;
    test::TempDir tree;
    tree.writeFile("report:draft.txt", "text");
    SettingsManager settings(std::make_shared<DefaultsStore>(dir / "defaults.plist"));
    auto picker = std::make_shared<test::FakeFolderPicker>();
    auto fs = std::make_shared<GatedFileSystem>();
    MonitorViewModel::Dependencies dependencies;
    dependencies.settingsManager = &settings;
    dependencies.dataFolder = dir / "data";
    dependencies.folderPicker = picker;
    dependencies.rename.fileSystem = fs;
    auto model = std::make_unique<MonitorViewModel>(std::move(dependencies));
    picker->answers.push_back(tree.path());
    model->selectSourceFolder();

    // What the window shows at each step of the quit.
    int progressShown = 0;
    int sheets = 0;
    int quits = 0;
    bool recordedWhenQuitting = false;
    QuitController::Dependencies deps;
    deps.pendingWrites = [] { return FileIndexDatabase::pendingWorkCountOfAllDatabases(); };
    deps.waitForWrites = [] { FileIndexDatabase::waitForAllDatabases(); };
    deps.showWaitSheet = [&] { ++sheets; };
    deps.quit = [&] {
        ++quits;
        recordedWhenQuitting = !model->isRenaming() && historyFiles(model->historyFolder()) == 1;
    };
    deps.windowModel = [&] { return model.get(); };
    deps.showBatchProgress = [&] { ++progressShown; };
    QuitController controller(deps);
    test::LogCapture log;

    FileTransformationResult result;
    result.originalFile = FileItem {tree / "report:draft.txt", false};
    result.originalRelativePath = "report:draft.txt";
    result.finalRelativePath = "report_draft.txt";
    result.needsRename = true;
    model->renameFiles({result});
    ASSERT_TRUE(test::waitUntil([&] { return fs->reached.load(); }));

    controller.requestQuit();
    EXPECT_EQ(controller.state(), QuitController::State::waitingForBatch);
    EXPECT_EQ(progressShown, 1);
    controller.requestQuit();  // asked again: the window with the progress comes forward again
    EXPECT_EQ(progressShown, 2);
    test::settle(50ms);
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(model->isRenaming());
    EXPECT_FALSE(model->renameProgressLabel().empty());

    fs->gate.open();
    ASSERT_TRUE(test::waitUntil([&] { return quits == 1; }));
    EXPECT_TRUE(recordedWhenQuitting);
    EXPECT_TRUE(tree.exists("report_draft.txt"));
    EXPECT_EQ(log.count("INFO", "AppDelegate: Rename or undo in progress, waiting before quit…"), 1);
    EXPECT_EQ(log.count("INFO", "AppDelegate: Rename or undo recorded, proceeding with quit"), 1);
    test::settle(50ms);
    EXPECT_EQ(quits, 1);

    model.reset();
    QThreadPool::globalInstance()->waitForDone();
    test::settle(30ms);
}

}  // namespace
}  // namespace tess
