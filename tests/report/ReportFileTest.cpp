#include "ReportTestSupport.h"
#include "TempDir.h"

#include "report/ReportOutput.h"
#include "report/ReportService.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tess {
namespace {

std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

mode_t modeOf(const std::string& path)
{
    struct stat info { };
    EXPECT_EQ(stat(path.c_str(), &info), 0);
    return info.st_mode & 07777;
}

TEST(ReportFile, ReplacesTheFileKeepingItsModeAndLeavesNoTemporaryFile)
{
    test::TempDir dir;
    dir.writeFile("report.csv", "old and longer content");
    ASSERT_EQ(chmod((dir / "report.csv").c_str(), 0640), 0);

    ASSERT_TRUE(ReportService::writeReportFile(dir / "report.csv", "new"));

    EXPECT_EQ(dir.readFile("report.csv"), "new");
    EXPECT_EQ(modeOf(dir / "report.csv"), 0640u);
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string> {"report.csv"});
}

TEST(ReportFile, NewFileGetsTheUsualModeAndALinkIsKept)
{
    test::TempDir dir;
    const mode_t previous = umask(022);
    ASSERT_TRUE(ReportService::writeReportFile(dir / "new.json", "{}"));
    umask(previous);
    EXPECT_EQ(modeOf(dir / "new.json"), 0644u);

    dir.writeFile("target.json", "old");
    ASSERT_EQ(symlink("target.json", (dir / "link.json").c_str()), 0);
    ASSERT_TRUE(ReportService::writeReportFile(dir / "link.json", "through the link"));
    struct stat info { };
    ASSERT_EQ(lstat((dir / "link.json").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(dir.readFile("target.json"), "through the link");
}

TEST(ReportFile, FailuresAreReportedAndLeaveNothingBehind)
{
    test::TempDir dir;
    dir.makeDir("taken.csv");
    dir.writeFile("plain-file", "x");

    struct Case {
        const char* name;
        std::string path;
    };
    const Case cases[] = {
        {"target is a folder", dir / "taken.csv"},
        {"folder is missing", dir / "missing/report.csv"},
        {"folder is a file", dir / "plain-file/report.csv"},
    };
    using Format = AppSettings::ReportFormat;
    const std::pair<const char*, std::function<Status(const std::string&)>> writers[] = {
        {"text", [](const std::string& path) { return ReportService::writeReportFile(path, "text"); }},
        {"scan report", [](const std::string& path) {
             return ReportService::writeScanReportFile(path, Format::csv, "/r", [](const ReportService::FileVisitor&) { return true; });
         }},
        {"rename report", [](const std::string& path) { return ReportService::writeRenameReportFile(path, Format::json, {}); }},
    };
    for (const auto& [writer, write] : writers) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(writer) + ": " + c.name);
            const Status written = write(c.path);
            ASSERT_FALSE(written);
            EXPECT_FALSE(written.error().message.empty());
        }
    }
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string> {"plain-file", "taken.csv"}));
    EXPECT_TRUE(namesIn(dir / "taken.csv").empty());
}

// Enough rows for many blocks of text, with names that need quoting,
// escaping and a reading of invalid bytes.
std::vector<IndexedFile> manyRows()
{
    std::vector<IndexedFile> rows;
    for (int i = 0; i < 3000; ++i) {
        IndexedFile& file = rows.emplace_back();
        file.relativePath = "folder " + std::to_string(i / 100) + "/say \"hi\", n\u00E9\xFF\n" + std::to_string(i) + ".txt";
        file.path = "/data/" + file.relativePath;
        file.issueCount = 1 + i % 3;
        file.hasIssues = true;
        file.issueTypes = i % 5 == 0 ? std::nullopt : std::optional<std::string>("characterTransformed,filenameTooLong(300/255)");
        file.proposedRename = i % 2 == 0 ? std::optional<std::string>("folder/renamed " + std::to_string(i)) : std::nullopt;
        file.needsRename = file.proposedRename.has_value();
        file.isDirectory = i % 7 == 0;
        file.firstSeen = test::utc(2026, 12, 9, 9, 30, i % 60);
        file.lastScanned = test::utc(2026, 12, 10, 18, 5, 9);
    }
    return rows;
}

TEST(ReportFile, StreamedReportsAreTheWritersBytes)
{
    using Format = AppSettings::ReportFormat;
    test::TempDir dir;
    const std::vector<IndexedFile> rows = manyRows();
    const auto generatedAt = test::utc(2026, 12, 10, 18, 6, 0);
    const ReportService::FileSource source = test::sourceOf(rows);
    ASSERT_TRUE(ReportService::writeScanReportFile(dir / "scan.json", Format::json, "/data", source, generatedAt));
    ASSERT_TRUE(ReportService::writeScanReportFile(dir / "scan.csv", Format::csv, "/data", source, generatedAt));
    const std::string json = ReportService::generateJSONReport(rows, "/data", generatedAt);
    EXPECT_GT(json.size(), 10 * ReportOutput::kBlockSize);
    EXPECT_EQ(dir.readFile("scan.json"), json);
    EXPECT_EQ(dir.readFile("scan.csv"), ReportService::generateCSVReport(rows));

    RenameReport report;
    report.timestamp = generatedAt;
    report.scanRoot = "/data";
    for (const IndexedFile& file : rows) {
        report.renamed.push_back({file.relativePath, file.relativePath + "_"});
        report.removedDirectories.push_back(file.relativePath);
    }
    report.failed = {{"locked\xFF.txt", "Permission denied"}};
    report.failedVerifications = {{"gone.txt", "gone_.txt", SourceFileRenamer::RenameVerification::VerificationStatus::targetMissing}};
    ASSERT_TRUE(ReportService::writeRenameReportFile(dir / "rename.json", Format::json, report));
    ASSERT_TRUE(ReportService::writeRenameReportFile(dir / "rename.csv", Format::csv, report));
    EXPECT_EQ(dir.readFile("rename.json"), ReportService::generateRenameReportJSON(report));
    EXPECT_EQ(dir.readFile("rename.csv"), ReportService::generateRenameReportCSV(report));
}

TEST(ReportFile, OutputStartedAgainHoldsOnlyTheNewText)
{
    test::TempDir dir;
    dir.writeFile("out.txt");
    const int fd = open((dir / "out.txt").c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ReportOutput out(fd);
    for (int i = 0; i < 3; ++i) {
        out.buffer().append(ReportOutput::kBlockSize, 'x');
        out.recordDone();
    }
    out.restart();
    out.buffer() += "fresh";
    EXPECT_TRUE(out.finish());
    close(fd);
    EXPECT_EQ(dir.readFile("out.txt"), "fresh");

    ReportOutput memory;
    memory.buffer() += "old";
    memory.recordDone();
    memory.restart();
    memory.buffer() += "new";
    EXPECT_TRUE(memory.finish());
    EXPECT_EQ(memory.takeText(), "new");
}

}  // namespace
}  // namespace tess
