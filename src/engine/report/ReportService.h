#pragma once

#include "core/Error.h"
#include "index/IndexedFile.h"
#include "report/RenameReport.h"
#include "settings/AppSettings.h"

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tess {

// The report documents: the scan report (indexed items with issues) and the
// rename report (one batch), each as JSON or CSV, and the file they are
// saved to. The writers are pure and may run on any thread.
//
// Every text a report holds is valid UTF-8: a path or message that is not is
// written with each invalid byte as "\xhh" (text::displayPath), so that it
// never reads as another, valid path.
// Dates are ISO 8601 in UTC without fractions, e.g. 2026-12-09T09:30:00Z.
// CSV fields of text are always quoted ('"' doubled inside), and one that a
// spreadsheet would take for a formula (it begins with "=", "+", "-", "@", a
// tab or a carriage return) gets an apostrophe first inside its quotes; JSON
// keeps every text exact. Flags and counts are bare; lines are joined by
// "\n" with none after the last.
class ReportService {
public:
    using TimePoint = std::chrono::system_clock::time_point;
    using ReportFormat = AppSettings::ReportFormat;

    ReportService() = delete;

    // What a JSON writer returns when the document cannot be produced.
    static constexpr std::string_view kJsonErrorDocument = R"({"error": "Failed to generate JSON"})";

    // Scan report: {"generatedAt", "issues", "scanRoot", "totalIssues"},
    // one object per file in the given order; "totalIssues" is the number
    // of files.
    static std::string generateJSONReport(const std::vector<IndexedFile>& files, std::string_view scanRoot,
        TimePoint generatedAt = std::chrono::system_clock::now());
    // Scan report: a header line and one line per file.
    static std::string generateCSVReport(const std::vector<IndexedFile>& files);

    // Rename report: seven top-level keys, always present.
    static std::string generateRenameReportJSON(const RenameReport& report);
    // Rename report: the renamed section always, the failed, failed
    // verification and removed folder sections only when they have entries.
    static std::string generateRenameReportCSV(const RenameReport& report);

    // "2026-12-09T09:30:00Z": UTC, whole seconds (earlier fractions dropped).
    static std::string formatDate(TimePoint time);

    // "json" or "csv".
    static std::string_view fileExtension(ReportFormat format);

    // `name` with its extension replaced by `extension`: the text from the
    // last "." of the last path component on is dropped, unless that dot
    // starts the component (".hidden" keeps its name), then "." and the
    // extension are appended. An empty name stays empty.
    static std::string replaceExtension(std::string_view name, std::string_view extension);

    // Writes a report to `path` atomically (a temporary file in the same
    // folder, flushed, renamed over the target). A symbolic link at `path`
    // is kept and its target replaced; a file replaced keeps its permission
    // bits, a new one gets the process's default (0666 less the umask).
    static Status writeReportFile(const std::string& path, std::string_view text);

    // A source of the files of a scan report: hands each to the visitor, in
    // report order; false when it could not hand over all of them.
    using FileVisitor = std::function<void(const IndexedFile&)>;
    using FileSource = std::function<bool(const FileVisitor&)>;

    // Each writes a report to `path` as writeReportFile does, the same bytes
    // as the writers above, but as the text is made: whatever its size, a
    // report holds only about one block of its text in memory at a time.
    // A source that could not hand over every file fails the write: no
    // report is left that lacks some of them.
    static Status writeScanReportFile(const std::string& path, ReportFormat format, std::string_view scanRoot,
        const FileSource& forEachFile, TimePoint generatedAt = std::chrono::system_clock::now());
    static Status writeRenameReportFile(const std::string& path, ReportFormat format, const RenameReport& report);

private:
    static Status writeFile(const std::string& path, const std::function<Status(int fd)>& fill);
};

}  // namespace tess
