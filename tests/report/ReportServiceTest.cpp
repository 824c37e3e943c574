#include "ReportTestSupport.h"

#include "report/ReportService.h"
#include "text/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tess {
namespace {

using test::readGolden;
using test::utc;
using Status = SourceFileRenamer::RenameVerification::VerificationStatus;

IndexedFile row(std::string relativePath, bool isDirectory, int issueCount, std::optional<std::string> issueTypes,
    std::optional<std::string> proposedRename)
{
    IndexedFile file;
    file.relativePath = std::move(relativePath);
    file.path = "/data/My Files/" + file.relativePath;
    file.isDirectory = isDirectory;
    file.issueCount = issueCount;
    file.hasIssues = issueCount > 0;
    file.issueTypes = std::move(issueTypes);
    file.proposedRename = std::move(proposedRename);
    file.needsRename = file.proposedRename.has_value();
    file.firstSeen = utc(2026, 12, 9, 9, 30, 0, 750);
    file.lastScanned = utc(2026, 12, 10, 18, 5, 9);
    file.scanRoot = "/data/My Files";
    return file;
}

// Four rows that cover the quoting and the optional fields: a name with a
// double quote, a comma and a line break; a folder without issue types or
// proposal; entries with details in parentheses; a name that is not UTF-8.
std::vector<IndexedFile> scanRows()
{
    return {
        row("notes/say \"hi\", then\nleave.txt", false, 1, "illegalCharacters", "notes/say _hi_, then_leave.txt"),
        row("Archive", true, 0, std::nullopt, std::nullopt),
        row("long/name.txt", false, 2,
            "filenameTooLong(300/255),filenameUnresolvable(No character fits in 3-byte base budget)", std::nullopt),
        row("caf\xe9 menu.txt", false, 1, "encodingTransformed", "caf\xc3\xa9 menu.txt"),
    };
}

TEST(ScanReport, CsvIsByteExact)
{
    const std::string csv = ReportService::generateCSVReport(scanRows());
    EXPECT_EQ(csv, readGolden("scan-report.csv"));
    EXPECT_TRUE(text::isValidUtf8(csv));
}

TEST(ScanReport, JsonIsByteExact)
{
    const std::string json
        = ReportService::generateJSONReport(scanRows(), "/data/My Files", utc(2026, 12, 10, 18, 6, 0, 999));
    EXPECT_EQ(json, readGolden("scan-report.json"));
    EXPECT_TRUE(text::isValidUtf8(json));
}

TEST(ScanReport, NoRowsGiveTheHeaderAloneAndAnEmptyIssueList)
{
    EXPECT_EQ(ReportService::generateCSVReport({}),
        R"("Path","Full Path","Is Directory","Issue Count","Issue Types","Needs Rename",)"
        R"("Proposed Rename","First Seen","Last Scanned")");
    EXPECT_EQ(ReportService::generateJSONReport({}, "/r", utc(2026, 1, 2, 3, 4, 5)),
        "{\n  \"generatedAt\" : \"2026-01-02T03:04:05Z\",\n  \"issues\" : [],\n  \"scanRoot\" : \"\\/r\",\n"
        "  \"totalIssues\" : 0\n}");
}

TEST(RenameReportWriters, TwoRenamedPairsGiveFourCsvLines)
{
    RenameReport report;
    report.renamed = {{"a:b.txt", "a_b.txt"}, {"dir/x?.txt", "dir/x_.txt"}};
    EXPECT_EQ(ReportService::generateRenameReportCSV(report),
        "# Renamed Files\n"
        "\"Original Path\",\"New Path\"\n"
        "\"a:b.txt\",\"a_b.txt\"\n"
        "\"dir/x?.txt\",\"dir/x_.txt\"");
}

TEST(RenameReportWriters, EveryEmptyListStillHasItsKeyAndZeroCount)
{
    RenameReport report;
    report.timestamp = utc(2026, 12, 9, 9, 30, 0);
    report.scanRoot = "/data";
    report.historyPath = "/never/written.tshistory";
    EXPECT_EQ(ReportService::generateRenameReportJSON(report),
        "{\n"
        "  \"failed\" : [],\n"
        "  \"failedVerifications\" : [],\n"
        "  \"removedDirectories\" : [],\n"
        "  \"renamed\" : [],\n"
        "  \"scanRoot\" : \"\\/data\",\n"
        "  \"summary\" : {\n"
        "    \"failed\" : 0,\n"
        "    \"failedVerification\" : 0,\n"
        "    \"removedDirectories\" : 0,\n"
        "    \"renamed\" : 0\n"
        "  },\n"
        "  \"timestamp\" : \"2026-12-09T09:30:00Z\"\n"
        "}");
    EXPECT_EQ(ReportService::generateRenameReportCSV(report), "# Renamed Files\n\"Original Path\",\"New Path\"");
}

TEST(RenameReportWriters, BothExistIsWrittenWithItsTokenAndDescription)
{
    RenameReport report;
    report.timestamp = utc(2026, 12, 9, 9, 30, 0);
    report.scanRoot = "/data";
    report.failedVerifications = {{"Old.txt", "old.txt", Status::both}};
    const std::string description = "Both original and target exist — the original was not removed. Manually "
                                    "delete the original if the target is correct.";

    EXPECT_EQ(ReportService::generateRenameReportCSV(report),
        "# Renamed Files\n\"Original Path\",\"New Path\"\n\n# Failed Verifications\n"
        "\"Original Path\",\"Target Path\",\"Status\",\"Description\"\n"
        "\"Old.txt\",\"old.txt\",\"bothExist\",\""
            + description + "\"");
    const std::string json = ReportService::generateRenameReportJSON(report);
    EXPECT_NE(json.find("    {\n      \"description\" : \"" + description
                  + "\",\n      \"originalPath\" : \"Old.txt\",\n      \"status\" : \"bothExist\",\n"
                    "      \"targetPath\" : \"old.txt\"\n    }"),
        std::string::npos)
        << json;
    EXPECT_NE(json.find("\"failedVerification\" : 1,"), std::string::npos) << json;
}

// Every section, hostile names and a name that is not UTF-8, in both formats.
TEST(RenameReportWriters, FullReportIsByteExact)
{
    RenameReport report;
    report.timestamp = utc(2026, 12, 9, 9, 30, 0, 500);
    report.scanRoot = "/data/\"quoted\" root";
    report.renamed = {{"a:b.txt", "a_b.txt"}, {"r\xe9sum\xe9.pdf", "r\xc3\xa9sum\xc3\xa9.pdf"}};
    report.failed = {{"locked, really.txt", "Permission denied: \"locked, really.txt\""}};
    report.failedVerifications = {{"gone.txt", "gone_.txt", Status::targetMissing},
        {"stuck.txt", "stuck_.txt", Status::sourceStillExists}};
    report.removedDirectories = {"empty\tdir", "old/empty"};
    EXPECT_EQ(ReportService::generateRenameReportCSV(report), readGolden("rename-report.csv"));
    EXPECT_EQ(ReportService::generateRenameReportJSON(report), readGolden("rename-report.json"));
}

// A name that is not UTF-8 is written with \xhh for each invalid byte: it
// never reads as its valid twin beside it, and its re-encoding never reads
// as a rename to the same name.
TEST(RenameReportWriters, PathsThatAreNotUtf8NeverReadAsAnotherPath)
{
    RenameReport report;
    report.timestamp = utc(2026, 12, 9, 9, 30, 0);
    report.scanRoot = "/data";
    report.renamed = {{"twin/caf\xe9.txt", "twin/caf\u00E9_1.txt"}, {"legacy/caf\xe9.txt", "legacy/caf\u00E9.txt"}};
    EXPECT_EQ(ReportService::generateRenameReportCSV(report),
        "# Renamed Files\n\"Original Path\",\"New Path\"\n"
        "\"twin/caf\\xe9.txt\",\"twin/caf\u00E9_1.txt\"\n"
        "\"legacy/caf\\xe9.txt\",\"legacy/caf\u00E9.txt\"");
    const std::string json = ReportService::generateRenameReportJSON(report);
    EXPECT_NE(json.find("      \"newPath\" : \"twin\\/caf\u00E9_1.txt\",\n      \"originalPath\" : \"twin\\/caf\\\\xe9.txt\"\n"),
        std::string::npos)
        << json;
    EXPECT_NE(json.find("      \"newPath\" : \"legacy\\/caf\u00E9.txt\",\n      \"originalPath\" : \"legacy\\/caf\\\\xe9.txt\"\n"),
        std::string::npos)
        << json;

    // In the scan report, beside the valid twin.
    const std::vector<IndexedFile> rows {row("twin/caf\u00E9.txt", false, 1, "collision", std::nullopt),
        row("twin/caf\xe9.txt", false, 2, "encodingTransformed,collision", "twin/caf\u00E9_1.txt")};
    const std::string csv = ReportService::generateCSVReport(rows);
    EXPECT_NE(csv.find("\n\"twin/caf\u00E9.txt\",\"/data/My Files/twin/caf\u00E9.txt\",false,1,"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\n\"twin/caf\\xe9.txt\",\"/data/My Files/twin/caf\\xe9.txt\",false,2,"), std::string::npos) << csv;
}

TEST(ReportService, JsonErrorDocumentIsTheFixedText)
{
    EXPECT_EQ(ReportService::kJsonErrorDocument, "{\"error\": \"Failed to generate JSON\"}");
    EXPECT_EQ(ReportService::kJsonErrorDocument.size(), 36u);
}

TEST(ReportService, DatesAreUtcWholeSeconds)
{
    struct Case {
        std::chrono::system_clock::time_point time;
        const char* expected;
    };
    const Case cases[] = {
        {utc(2026, 12, 9, 9, 30, 0), "2026-12-09T09:30:00Z"},
        {utc(2026, 12, 31, 23, 59, 59, 999), "2026-12-31T23:59:59Z"},
        {utc(1970, 1, 1, 0, 0, 0), "1970-01-01T00:00:00Z"},
        {utc(1969, 12, 31, 23, 59, 59, 400), "1969-12-31T23:59:59Z"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(ReportService::formatDate(c.time), c.expected);
    }
}

TEST(ReportService, ReplaceExtensionKeepsTheTypedBase)
{
    struct Case {
        const char* name;
        const char* extension;
        const char* expected;
    };
    const Case cases[] = {
        {"my.report.csv", "json", "my.report.json"},
        {"rename-report.json", "csv", "rename-report.csv"},
        {"name", "csv", "name.csv"},
        {"name.", "json", "name.json"},
        {".hidden", "csv", ".hidden.csv"},
        {".hidden.json", "csv", ".hidden.csv"},
        {"dir.v2/name", "json", "dir.v2/name.json"},
        {"dir/.hidden", "json", "dir/.hidden.json"},
        {"", "csv", ""},
        {"dir/", "csv", "dir/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReportService::replaceExtension(c.name, c.extension), c.expected);
    }
}

}  // namespace
}  // namespace tess
