#include "ui/history/HistoryListView.h"
#include "ui/widgets/AlertBox.h"

#include "FakeFolderPicker.h"
#include "FakeReportSavePanel.h"
#include "FakeWorkspace.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "WidgetTestSupport.h"
#include "history/HistoryJournal.h"
#include "model/MonitorViewModel.h"
#include "model/SettingsManager.h"
#include "report/ReportService.h"
#include "settings/DefaultsStore.h"
#include "ui/history/HistoryListViewState.h"
#include "ui/history/RenameReportView.h"
#include "ui/widgets/Theme.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QHelpEvent>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QTextDocument>
#include <QThreadPool>
#include <QToolTip>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace tess {
namespace {

using namespace std::chrono_literals;
using Entry = HistoryListView::Entry;
using RowButton = HistoryListView::RowButton;

HistoryEntry historyEntry(const std::string& scanRoot, HistoryOperation operation, int files,
    TransformationHistory::TimePoint timestamp)
{
    HistoryEntry entry;
    entry.timestamp = timestamp;
    entry.scanRoot = scanRoot;
    entry.operation = operation;
    for (int i = 0; i < files; ++i) {
        const std::string name = "dir/file" + std::to_string(i);
        entry.records.push_back({name + ":old.txt", name + "_old.txt", HistoryRecordType::file, HistoryRecordStatus::ok, {}});
    }
    if (files > 1) {
        entry.records.push_back({"dir/bad?.txt", "dir/bad_.txt", HistoryRecordType::file, HistoryRecordStatus::fail,
            "Permission denied"});
        entry.records.push_back({"empty", "", HistoryRecordType::removedDirectory, HistoryRecordStatus::ok, {}});
    }
    return entry;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void saveScreenshot(QWidget& widget, const QString& name)
{
    ASSERT_TRUE(widget.grab().save(test::screenshotPath(QStringLiteral("views"), name)));
}

class HistoryListViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_originalPalette = QApplication::palette();
        QApplication::setPalette(theme::lightPalette());
        m_settings = std::make_unique<SettingsManager>(std::make_shared<DefaultsStore>(m_dir / "defaults.plist"));
        MonitorViewModel::Dependencies dependencies;
        dependencies.settingsManager = m_settings.get();
        dependencies.dataFolder = m_dir / "data";
        dependencies.folderPicker = m_picker;
        m_model = std::make_unique<MonitorViewModel>(std::move(dependencies));
    }

    void TearDown() override
    {
        m_view.reset();
        m_model.reset();
        QThreadPool::globalInstance()->waitForDone();
        QApplication::setPalette(m_originalPalette);
    }

    std::string save(const HistoryEntry& entry)
    {
        Result<std::string> path = TransformationHistory::save(entry, m_model->historyFolder());
        EXPECT_TRUE(path.ok());
        return path.ok() ? path.value() : std::string();
    }

    // The sheet, shown and with its list loaded.
    HistoryListView& openView()
    {
        m_view = std::make_unique<HistoryListView>(*m_model, m_panel, m_workspace);
        m_view->show();
        EXPECT_TRUE(QTest::qWaitFor([this] { return m_view->isLoaded(); }));
        return *m_view;
    }

    QString countText() const { return m_view->findChild<QLabel*>(QStringLiteral("countLabel"))->text(); }
    bool showsEmptyState() const
    {
        return m_view->findChild<QStackedWidget*>(QStringLiteral("historyContentStack"))->currentWidget()->objectName()
            == QLatin1String("emptyStateWidget");
    }

    void clickButton(int row, RowButton button)
    {
        auto* list = m_view->findChild<QListView*>(QStringLiteral("historyListView"));
        ASSERT_NE(list, nullptr);
        const QRect rowRect = list->visualRect(list->model()->index(row, 0));
        ASSERT_TRUE(rowRect.isValid());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, HistoryListView::buttonRect(rowRect, button).center());
    }

    // The plain text of the tooltip over a row's button.
    QString toolTipAt(int row, RowButton button)
    {
        auto* list = m_view->findChild<QListView*>(QStringLiteral("historyListView"));
        const QPoint position = HistoryListView::buttonRect(list->visualRect(list->model()->index(row, 0)), button).center();
        QHelpEvent event(QEvent::ToolTip, position, list->viewport()->mapToGlobal(position));
        QApplication::sendEvent(list->viewport(), &event);
        QTextDocument document;
        document.setHtml(QToolTip::text());
        QToolTip::hideText();
        return document.toPlainText();
    }

    test::TempDir m_dir;
    std::shared_ptr<test::FakeFolderPicker> m_picker = std::make_shared<test::FakeFolderPicker>();
    QPalette m_originalPalette;
    std::unique_ptr<SettingsManager> m_settings;
    std::unique_ptr<MonitorViewModel> m_model;
    test::FakeReportSavePanel m_panel;
    test::FakeWorkspace m_workspace;
    std::unique_ptr<HistoryListView> m_view;
    const TransformationHistory::TimePoint m_time = std::chrono::system_clock::from_time_t(1'797'000'000);
};

TEST_F(HistoryListViewTest, CountTextAndEmptyStateFollowTheFiles)
{
    struct Case {
        int files;
        const char* count;
        bool empty;
    };
    const Case cases[] = {{0, "0 operations", true}, {1, "1 operation", false}, {2, "2 operations", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.files);
        std::filesystem::remove_all(m_model->historyFolder());
        for (int i = 0; i < c.files; ++i) {
            save(historyEntry("/data/photos", HistoryOperation::rename, 2, m_time + std::chrono::hours(i)));
        }
        openView();
        EXPECT_EQ(countText(), QLatin1String(c.count));
        EXPECT_EQ(showsEmptyState(), c.empty);
        EXPECT_EQ(m_view->entries().size(), static_cast<std::size_t>(c.files));
    }
}

TEST_F(HistoryListViewTest, AHistoryFolderThatIsAFileShowsTheEmptyState)
{
    const std::filesystem::path folder = m_model->historyFolder();
    std::filesystem::create_directories(folder.parent_path());
    std::ofstream(folder) << "not a folder";
    openView();
    EXPECT_EQ(countText(), QLatin1String("0 operations"));
    EXPECT_TRUE(showsEmptyState());
    std::filesystem::remove(folder);
}

TEST_F(HistoryListViewTest, RenameAndUndoRowsAndTheirScreenshots)
{
    HistoryEntry rename = historyEntry("/data/Holiday Photos <b>2024 & more", HistoryOperation::rename, 2, m_time);
    save(rename);
    HistoryEntry undo = historyEntry("/data/Music", HistoryOperation::undo, 1, m_time + 1h);
    undo.parentHistoryID = "earlier";
    save(undo);
    openView();
    ASSERT_EQ(m_view->entries().size(), 2U);
    EXPECT_EQ(m_view->entries()[0].operation, HistoryOperation::undo);  // newest first
    EXPECT_EQ(m_view->entries()[1].operation, HistoryOperation::rename);

    // An undo row has no undo button; with no folder open, a rename row's
    // undo is disabled. Neither click raises an alert.
    clickButton(0, RowButton::undo);
    clickButton(1, RowButton::undo);
    EXPECT_EQ(m_view->alert(), nullptr);

    clickButton(1, RowButton::deleteEntry);
    ASSERT_NE(m_view->alert(), nullptr);
    EXPECT_EQ(m_view->alert()->text(), QLatin1String("Delete History Entry"));
    EXPECT_EQ(m_view->alert()->informativeText(),
        QStringLiteral("Delete the history entry for Holiday Photos <b>2024 & more from %1?")
            .arg(HistoryListView::dateText(m_time)));
    EXPECT_EQ(AlertBox::messageLabel(*m_view->alert())->textFormat(), Qt::PlainText);
    m_view->alert()->reject();
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_view->alert() == nullptr; }));
    EXPECT_EQ(m_view->entries().size(), 2U);

    saveScreenshot(*m_view, QStringLiteral("history-list-light"));
    QApplication::setPalette(theme::darkPalette());
    QTest::qWait(50);
    saveScreenshot(*m_view, QStringLiteral("history-list-dark"));
}

TEST_F(HistoryListViewTest, EmptyStateScreenshots)
{
    openView();
    saveScreenshot(*m_view, QStringLiteral("history-list-empty-light"));
    QApplication::setPalette(theme::darkPalette());
    QTest::qWait(50);
    saveScreenshot(*m_view, QStringLiteral("history-list-empty-dark"));
}

TEST_F(HistoryListViewTest, DeletingTheLastEntryShowsTheEmptyState)
{
    const std::string path = save(historyEntry("/data/photos", HistoryOperation::rename, 1, m_time));
    openView();
    ASSERT_EQ(countText(), QLatin1String("1 operation"));
    clickButton(0, RowButton::deleteEntry);
    ASSERT_NE(m_view->alert(), nullptr);
    m_view->alert()->findChild<QPushButton*>(QStringLiteral("deleteConfirmButton"))->click();
    ASSERT_TRUE(QTest::qWaitFor([this] { return showsEmptyState(); }));
    EXPECT_EQ(countText(), QLatin1String("0 operations"));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(HistoryListViewTest, AnUnreadableHistoryFileLogsAndOpensNothing)
{
    const std::string good = save(historyEntry("/data/photos", HistoryOperation::rename, 2, m_time));
    // Cut inside its header: not even the folder is known. (A file cut
    // inside a record opens up to its last whole record: see below.)
    const std::string headerCut = readFile(good).substr(0, std::string("TSHISTORY").size() + 3);
    std::string version2 = readFile(good);
    version2[std::string("TSHISTORY").size() + 1] = '2';
    struct Case {
        const char* name;
        std::optional<std::string> bytes;  // none: the file is gone
    };
    const Case cases[] = {{"header cut", headerCut}, {"version 2", version2}, {"vanished", std::nullopt}};
    openView();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = m_dir / (std::string(c.name) + ".tshistory");
        if (c.bytes) {
            std::ofstream(path, std::ios::binary) << *c.bytes;
        }
        test::LogCapture log;
        Entry entry;
        entry.url = path;
        QSignalSpy failed(m_view.get(), &HistoryListView::reportFailed);
        m_view->viewReport(entry);
        ASSERT_TRUE(failed.wait(5000));
        EXPECT_EQ(log.count("ERROR", "❌ Failed to load history entry: "), 1);
        EXPECT_EQ(m_view->reportView(), nullptr);
    }
}

TEST_F(HistoryListViewTest, ViewReportOpensTheReportOfTheFile)
{
    save(historyEntry("/data/photos", HistoryOperation::rename, 3, m_time));
    openView();
    clickButton(0, RowButton::viewReport);
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_view->reportView() != nullptr; }));
    RenameReportView* view = m_view->reportView();
    ASSERT_NE(view, nullptr);
    const RenameReport& report = view->report();
    EXPECT_EQ(report.scanRoot, "/data/photos");
    EXPECT_EQ(report.renamed.size(), 3U);
    EXPECT_EQ(report.failed.size(), 1U);
    EXPECT_EQ(report.removedDirectories.size(), 1U);
    EXPECT_EQ(view->selectedTab(), RenameReportViewState::ReportTab::failed);
}

TEST_F(HistoryListViewTest, ExportWritesTheWritersBytesAndCancelWritesNothing)
{
    const HistoryEntry entry = historyEntry("/data/photos", HistoryOperation::rename, 2, m_time);
    save(entry);
    openView();
    clickButton(0, RowButton::viewReport);
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_view->reportView() != nullptr; }));
    RenameReportView* view = m_view->reportView();
    ASSERT_NE(view, nullptr);
    auto* exportButton = view->findChild<QPushButton*>(QStringLiteral("exportButton"));
    ASSERT_NE(exportButton, nullptr);

    {
        test::LogCapture log;
        const auto before = std::distance(std::filesystem::directory_iterator(m_dir.path()), {});
        m_panel.setNextAnswer(std::nullopt);
        exportButton->click();
        ASSERT_EQ(m_panel.calls.size(), 1U);
        EXPECT_EQ(m_panel.calls[0].request, ReportSaveRequest::historyReport());
        ASSERT_TRUE(QTest::qWaitFor([this] { return !m_panel.isOpen(); }));
        QThreadPool::globalInstance()->waitForDone();
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.path()), {}), before);
        EXPECT_EQ(log.count("History report"), 0);
    }

    const std::string target = m_dir / "history-report.csv";
    test::LogCapture log;
    QSignalSpy finished(m_view.get(), &HistoryListView::exportFinished);
    m_panel.setNextAnswer(ReportSaveChoice {QString::fromStdString(target), AppSettings::ReportFormat::csv});
    exportButton->click();
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(readFile(target), ReportService::generateRenameReportCSV(RenameReport::fromHistoryEntry(entry)));
    EXPECT_EQ(log.count("INFO", "History report exported to " + target), 1);
    EXPECT_EQ(m_view->exportAlert(), nullptr);

    // A folder that cannot take the file: logged, nothing written, and the
    // user is told which file could not be written.
    const std::string unwritable = m_dir / "missing-folder/report.json";
    m_panel.setNextAnswer(ReportSaveChoice {QString::fromStdString(unwritable), AppSettings::ReportFormat::json});
    exportButton->click();
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(log.count("ERROR", "❌ Failed to export history report: "), 1);
    EXPECT_FALSE(std::filesystem::exists(unwritable));
    QMessageBox* alert = m_view->exportAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), QStringLiteral("Export Failed"));
    EXPECT_EQ(alert->textFormat(), Qt::PlainText);
    EXPECT_TRUE(alert->informativeText().startsWith(QStringLiteral("Failed to export history report: could not write ")
        + QString::fromStdString(unwritable) + QStringLiteral(" (")))
        << alert->informativeText().toStdString();
    EXPECT_TRUE(alert->isVisible());
    alert->accept();
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_view->exportAlert() == nullptr; }));
}

TEST_F(HistoryListViewTest, UndoFromTheListRestoresTheTreeInTheOpenFolderOnly)
{
    test::TempDir tree;
    tree.writeFile("sub/what_.txt", "one");
    tree.writeFile("bad_name.txt", "two");
    HistoryEntry entry;
    entry.timestamp = m_time;
    entry.scanRoot = tree.path();
    entry.records = {{"sub/what?.txt", "sub/what_.txt", HistoryRecordType::file, HistoryRecordStatus::ok, {}},
        {"bad:name.txt", "bad_name.txt", HistoryRecordType::file, HistoryRecordStatus::ok, {}}};
    save(entry);

    // Another folder open: "Undo" stays disabled.
    test::TempDir other;
    m_picker->answers = {other.path()};
    m_model->selectSourceFolder();
    ASSERT_EQ(m_model->sourcePath(), other.path());
    openView();
    clickButton(0, RowButton::undo);
    EXPECT_EQ(m_view->alert(), nullptr);
    EXPECT_EQ(toolTipAt(0, RowButton::undo),
        QStringLiteral("This rename was made in another folder. Open that folder as the source to undo it."));
    EXPECT_EQ(toolTipAt(0, RowButton::viewReport), QStringLiteral("View report"));
    EXPECT_EQ(toolTipAt(0, RowButton::deleteEntry), QStringLiteral("Delete history entry"));
    m_view.reset();

    m_picker->answers = {tree.path()};
    m_model->selectSourceFolder();
    ASSERT_EQ(m_model->sourcePath(), tree.path());
    openView();
    // While another batch runs, "Undo" waits for it and says so.
    m_model->setIsRenaming(true);
    clickButton(0, RowButton::undo);
    EXPECT_EQ(m_view->alert(), nullptr);
    EXPECT_EQ(toolTipAt(0, RowButton::undo), QStringLiteral("A rename or undo is running. Undo this rename when it has finished."));
    m_model->setIsRenaming(false);
    clickButton(0, RowButton::undo);
    ASSERT_NE(m_view->alert(), nullptr);
    EXPECT_EQ(m_view->alert()->informativeText(),
        QStringLiteral("Reverse the rename operation on %1? This will restore 2 items to their original names.")
            .arg(QString::fromStdString(HistoryListViewState::folderName(tree.path()))));
    QSignalSpy accepted(m_view.get(), &QDialog::accepted);
    m_view->alert()->findChild<QPushButton*>(QStringLiteral("undoConfirmButton"))->click();
    EXPECT_EQ(accepted.count(), 1);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !m_model->isRenaming(); }, 10000));
    EXPECT_TRUE(std::filesystem::exists(tree / "sub/what?.txt"));
    EXPECT_TRUE(std::filesystem::exists(tree / "bad:name.txt"));
    EXPECT_FALSE(std::filesystem::exists(tree / "bad_name.txt"));
}

TEST_F(HistoryListViewTest, ManyHistoryFilesLoadWithoutBlocking)
{
    const std::string folder = m_model->historyFolder();
    ASSERT_TRUE(TransformationHistory::ensureHistoryDirectory(folder).ok());
    const std::string bytes = TransformationHistory::serialize(historyEntry("/data/photos", HistoryOperation::rename, 3, m_time));
    for (int i = 0; i < 5000; ++i) {
        std::ofstream(folder + "/batch-" + std::to_string(i) + ".tshistory", std::ios::binary) << bytes;
    }
    m_view = std::make_unique<HistoryListView>(*m_model, m_panel, m_workspace);
    const auto start = std::chrono::steady_clock::now();
    m_view->show();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms);  // the files are read elsewhere
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_view->isLoaded(); }, 30000));
    EXPECT_EQ(countText(), QLatin1String("5000 operations"));
}

}  // namespace
}  // namespace tess

namespace tess {
namespace {

// A file cut inside its last record is listed as incomplete and opens with
// the records before the cut.
TEST_F(HistoryListViewTest, ACutHistoryFileOpensUpToItsLastWholeRecord)
{
    const std::string path = save(historyEntry("/data/photos", HistoryOperation::rename, 3, m_time));
    std::string bytes = readFile(path);
    bytes.erase(bytes.rfind('\0', bytes.rfind('\0') - 1));  // the removed-folder record loses its last tokens
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    openView();
    ASSERT_EQ(m_view->entries().size(), 1U);
    EXPECT_TRUE(m_view->entries()[0].incomplete);
    EXPECT_EQ(m_view->entries()[0].doneCount, 3);
    clickButton(0, RowButton::viewReport);
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_view->reportView() != nullptr; }));
    const RenameReport& report = m_view->reportView()->report();
    EXPECT_EQ(report.renamed.size(), 3U);
    EXPECT_EQ(report.failed.size(), 1U);
    EXPECT_TRUE(report.removedDirectories.empty());
}

// The export alert names the chosen file once, exactly as it is spelt,
// through the alert every other window uses.
TEST_F(HistoryListViewTest, TheExportAlertNamesTheChosenFileOnceAsPlainText)
{
    save(historyEntry("/data/photos", HistoryOperation::rename, 2, m_time));
    openView();
    clickButton(0, RowButton::viewReport);
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_view->reportView() != nullptr; }));
    auto* exportButton = m_view->reportView()->findChild<QPushButton*>(QStringLiteral("exportButton"));
    ASSERT_NE(exportButton, nullptr);

    const std::string target = m_dir / "Tom &  <b>Jerry/report.json";  // the folder does not exist
    QSignalSpy finished(m_view.get(), &HistoryListView::exportFinished);
    m_panel.setNextAnswer(ReportSaveChoice {QString::fromStdString(target), AppSettings::ReportFormat::json});
    exportButton->click();
    ASSERT_TRUE(finished.wait(5000));
    QMessageBox* alert = m_view->exportAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(AlertBox::titleLabel(*alert)->text(), QStringLiteral("Export Failed"));
    QLabel* message = AlertBox::messageLabel(*alert);
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->textFormat(), Qt::PlainText);
    EXPECT_EQ(message->text(),
        QStringLiteral("Failed to export history report: could not write %1 (No such file or directory)").arg(QString::fromStdString(target)));
    EXPECT_EQ(message->text().count(QString::fromStdString(target)), 1);
    saveScreenshot(*alert, QStringLiteral("history-export-failed-light"));
    QApplication::setPalette(theme::darkPalette());
    QTest::qWait(50);
    saveScreenshot(*alert, QStringLiteral("history-export-failed-dark"));
    alert->accept();
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_view->exportAlert() == nullptr; }));
}

// A folder opened by another spelling (here a symbolic link) is the folder
// the batch was made in, as the undo itself judges it.
TEST_F(HistoryListViewTest, UndoIsOfferedInTheFolderTheBatchWasMadeInWhateverItsSpelling)
{
    test::TempDir tree;
    tree.writeFile("b_.txt", "b");
    HistoryEntry entry;
    entry.timestamp = m_time;
    entry.scanRoot = tree.path();
    entry.records = {{"b:.txt", "b_.txt", HistoryRecordType::file, HistoryRecordStatus::ok, {}}};
    save(entry);
    const std::string link = m_dir / "spelt otherwise";
    ASSERT_EQ(::symlink(tree.path().c_str(), link.c_str()), 0);
    m_picker->answers = {link};
    m_model->selectSourceFolder();
    ASSERT_EQ(m_model->sourcePath(), link);
    openView();
    EXPECT_EQ(toolTipAt(0, RowButton::undo), QStringLiteral("Undo this rename"));
    clickButton(0, RowButton::undo);
    ASSERT_NE(m_view->alert(), nullptr);
    m_view->alert()->findChild<QPushButton*>(QStringLiteral("undoConfirmButton"))->click();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !m_model->isRenaming(); }, 10000));
    EXPECT_TRUE(std::filesystem::exists(tree / "b:.txt"));
    EXPECT_EQ(m_model->renameResultMessage(), "Undo complete: 1 item restored");
}

// A batch killed between the record of its last step and the step: the row
// and the undo alert count only what reached the disk.
TEST_F(HistoryListViewTest, AnInterruptedBatchCountsOnlyTheStepsThatReachedTheDisk)
{
    test::TempDir tree;
    tree.writeFile("a_1", "1");
    tree.writeFile("a_2", "2");
    tree.writeFile("a:3", "3");
    HistoryEntry header;
    header.timestamp = m_time;
    header.scanRoot = tree.path();
    {
        auto journal = HistoryJournal::begin(header, m_model->historyFolder());
        ASSERT_TRUE(journal.ok()) << journal.error().message;
        for (const char* name : {"a:1", "a:2", "a:3"}) {
            std::string renamed = name;
            renamed[1] = '_';
            ASSERT_TRUE((*journal)->willDo(BatchRecorder::Step::moveFile, name, renamed).ok());
        }
    }  // the process is gone before the third move
    m_picker->answers = {tree.path()};
    m_model->selectSourceFolder();
    openView();
    ASSERT_EQ(m_view->entries().size(), 1U);
    EXPECT_TRUE(m_view->entries()[0].interrupted);
    EXPECT_EQ(HistoryListViewState::detailText(m_view->entries()[0].doneCount, true, false), "2 items, interrupted");
    clickButton(0, RowButton::undo);
    ASSERT_NE(m_view->alert(), nullptr);
    EXPECT_EQ(m_view->alert()->informativeText(),
        QStringLiteral("Reverse the rename operation on %1? This will restore 2 items to their original names.")
            .arg(QString::fromStdString(HistoryListViewState::folderName(tree.path()))));
    m_view->alert()->reject();
}

}  // namespace
}  // namespace tess
