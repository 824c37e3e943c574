#pragma once

#include "index/IndexedFile.h"
#include "report/JsonWriter.h"
#include "report/ReportOutput.h"
#include "settings/AppSettings.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace tess {

// Writes a scan report (the indexed items with issues) one item at a time,
// so that the items never have to be held together: the header first, then
// add() for each item in report order, then finish(). The text goes to a
// ReportOutput; the document is that of ReportService's scan writers.
class ScanReportWriter {
public:
    using TimePoint = std::chrono::system_clock::time_point;
    using ReportFormat = AppSettings::ReportFormat;

    ScanReportWriter(ReportFormat format, ReportOutput& out, std::string_view scanRoot, TimePoint generatedAt);
    ScanReportWriter(const ScanReportWriter&) = delete;
    ScanReportWriter& operator=(const ScanReportWriter&) = delete;

    void add(const IndexedFile& file);
    // Closes the document. A JSON document that could not be produced is
    // replaced by the fixed error document.
    void finish();

private:
    void addJson(const IndexedFile& file);
    void addCsv(const IndexedFile& file);
    void member(std::string_view key, std::string_view value);
    void issueTypes(std::string_view stored);

    ReportFormat m_format;
    ReportOutput& m_out;
    std::string m_scanRoot;
    JsonWriter m_json;
    std::int64_t m_count = 0;
    std::string m_storage;
};

}  // namespace tess
