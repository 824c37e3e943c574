#pragma once

#include "FakeWorkspace.h"
#include "TempDir.h"
#include "analysis/FileTransformationIssue.h"
#include "analysis/FileTransformationResult.h"
#include "index/FileIndexDatabase.h"
#include "model/MonitorViewModel.h"
#include "model/SettingsManager.h"
#include "settings/DefaultsStore.h"
#include "ui/issuelist/FileListView.h"
#include "ui/issuelist/IssueListModel.h"

#include <gtest/gtest.h>

#include <QListView>
#include <QTest>
#include <QThreadPool>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tess::test {

// One item of a list fixture: its relative path, its proposal (which makes
// it need a rename) and its issues.
struct ListItem {
    std::string relativePath;
    std::optional<std::string> proposed;
    std::vector<FileTransformationIssue> issues;
    bool isDirectory = false;
};

// A real view model restored from an index written beforehand, under its
// own data folder and defaults, with a FileListView over it and a fake
// desktop. The index holds the fixture's items plus `cleanItems` items
// without issues.
class ListViewHarness {
public:
    // Writes the index by batches from `make(i)` for i < count.
    using Maker = std::function<ListItem(std::size_t)>;

    explicit ListViewHarness(const std::vector<ListItem>& items, std::size_t cleanItems = 0)
        : ListViewHarness(
            items.size(), [&items](std::size_t i) { return items[i]; }, cleanItems)
    {
    }

    ListViewHarness(std::size_t count, const Maker& make, std::size_t cleanItems = 0)
    {
        writeIndex(count, make, cleanItems);
        settings = std::make_unique<SettingsManager>(std::make_shared<DefaultsStore>(config / "defaults.plist"));
        settings->updateSettings([this](AppSettings& s) { s.preferences.lastSourcePath = tree.path(); });
        MonitorViewModel::Dependencies dependencies;
        dependencies.settingsManager = settings.get();
        dependencies.dataFolder = data.path();
        model = std::make_unique<MonitorViewModel>(std::move(dependencies));
    }

    ~ListViewHarness()
    {
        view.reset();
        model.reset();
        for (int i = 0; i < 3; ++i) {
            QThreadPool::globalInstance()->waitForDone();
            QTest::qWait(20);
        }
    }

    ListViewHarness(const ListViewHarness&) = delete;
    ListViewHarness& operator=(const ListViewHarness&) = delete;

    // Waits for the restore (which lands with its first filter pass), then
    // makes the view.
    FileListView& makeView(int timeoutMs = 30000)
    {
        EXPECT_TRUE(QTest::qWaitFor([this] { return !model->isRestoringSession(); }, timeoutMs));
        QThreadPool::globalInstance()->waitForDone();
        QTest::qWait(5);
        view = std::make_unique<FileListView>(*model, workspace);
        view->resize(760, 520);
        EXPECT_TRUE(waitForRows(timeoutMs));
        return *view;
    }

    // Waits until the list shows the view model's current filter pass.
    bool waitForRows(int timeoutMs = 10000)
    {
        return QTest::qWaitFor(
            [this] { return static_cast<std::size_t>(view->listModel().rowCount()) == model->filteredIssueCount(); }, timeoutMs);
    }

    // Waits for the filter pass that follows a change of the filters.
    bool waitForFilterPass(const std::function<void()>& change, int timeoutMs = 10000)
    {
        bool passed = false;
        const auto connection = QObject::connect(model.get(), &MonitorViewModel::filteredIssuesChanged, [&passed] { passed = true; });
        change();
        const bool ok = QTest::qWaitFor([&passed] { return passed; }, timeoutMs);
        QObject::disconnect(connection);
        // A second store of the same change may follow (a badge tap that
        // completes the set): let every queued pass land.
        QThreadPool::globalInstance()->waitForDone();
        QTest::qWait(5);
        return ok;
    }

    const std::string root() const { return tree.path(); }

    TempDir config;
    TempDir data;
    TempDir tree;
    std::unique_ptr<SettingsManager> settings;
    std::unique_ptr<MonitorViewModel> model;
    FakeWorkspace workspace;
    std::unique_ptr<FileListView> view;

private:
    void writeIndex(std::size_t count, const Maker& make, std::size_t cleanItems)
    {
        auto opened = FileIndexDatabase::open(data / FileIndexDatabase::kFileName);
        ASSERT_TRUE(opened.ok());
        FileIndexDatabase& database = *opened.value();
        const auto now = std::chrono::system_clock::now();
        constexpr std::size_t kBatch = 50000;
        std::vector<FileTransformationResult> batch;
        auto flush = [&] {
            database.upsertFiles(batch, tree.path(), now);
            batch.clear();
        };
        for (std::size_t i = 0; i < count + cleanItems; ++i) {
            ListItem item = i < count ? make(i) : ListItem {"clean/" + std::to_string(i) + ".txt", std::nullopt, {}};
            FileTransformationResult result;
            result.originalFile = FileItem {tree / item.relativePath, item.isDirectory};
            result.originalRelativePath = item.relativePath;
            result.finalRelativePath = item.proposed.value_or(item.relativePath);
            result.transformations = std::move(item.issues);
            result.needsRename = item.proposed.has_value();
            batch.push_back(std::move(result));
            if (batch.size() == kBatch) {
                flush();
            }
        }
        flush();
        const std::int64_t record = database.startScanRecord(tree.path(), "Manual");
        database.finishScanRecord(record, static_cast<std::int64_t>(count + cleanItems), 0, 0, 0, static_cast<std::int64_t>(count), "completed");
        database.close();
    }
};

}  // namespace tess::test
