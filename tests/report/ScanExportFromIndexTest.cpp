// The scan report exported row by row from the index: a read of the index
// that ends early is a failed export, never a shorter report.

#include "DamagedIndex.h"
#include "TempDir.h"

#include "index/FileIndexDatabase.h"
#include "report/ReportService.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace tess {
namespace {

using namespace std::chrono_literals;

// Enough rows that the quick check at open, given a millisecond, does not
// reach the last table page.
constexpr int kRows = 30000;

void makeIndexWithIssues(const std::string& path)
{
    auto opened = FileIndexDatabase::open(path);
    ASSERT_TRUE(opened.ok());
    std::vector<FileTransformationResult> results;
    for (int i = 0; i < kRows; ++i) {
        const std::string relative = "folder " + std::to_string(i / 50) + "/" + std::string(60, 'n') + std::to_string(i);
        FileTransformationResult result;
        result.originalFile = FileItem {"/r/" + relative, false};
        result.originalRelativePath = relative;
        result.finalRelativePath = relative;
        result.transformations = {FileTransformationIssue::ReservedName {"X"}};
        results.push_back(std::move(result));
    }
    ASSERT_TRUE(opened.value()->upsertFiles(results, "/r", IndexDate {}));
    opened.value()->close();
}

TEST(ScanExportFromIndex, AReadThatMeetsADamagedPageFailsTheExportAndLeavesNoFile)
{
    using Format = AppSettings::ReportFormat;
    for (const Format format : {Format::csv, Format::json}) {
        SCOPED_TRACE(ReportService::fileExtension(format));
        test::TempDir dir;
        const std::string path = dir / "tessaline.db";
        makeIndexWithIssues(path);
        test::copyLeafPage(path, "file_index");
        auto opened = FileIndexDatabase::open(path, {1ms, 1h});
        ASSERT_TRUE(opened.ok());
        const std::shared_ptr<FileIndexDatabase> database = opened.value();

        std::size_t visited = 0;
        const std::string report = dir / "report";
        const Status written = ReportService::writeScanReportFile(report, format, "/r",
            [&](const ReportService::FileVisitor& visit) {
                return database->forEachFileWithIssues("/r", [&](const IndexedFile& file) {
                    ++visited;
                    visit(file);
                });
            });

        EXPECT_GT(visited, 0U);
        EXPECT_LT(visited, static_cast<std::size_t>(kRows));
        EXPECT_FALSE(written.ok());
        EXPECT_FALSE(std::filesystem::exists(report));
        database->close();
    }
}

}  // namespace
}  // namespace tess
