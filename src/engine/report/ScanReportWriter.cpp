#include "report/ScanReportWriter.h"

#include "index/IssueTypesText.h"
#include "report/ReportFields.h"
#include "report/ReportService.h"

#include <charconv>

namespace tess {

namespace {

constexpr std::string_view kCsvHeader = R"("Path","Full Path","Is Directory","Issue Count","Issue Types","Needs Rename",)"
                                        R"("Proposed Rename","First Seen","Last Scanned")";

}  // namespace

ScanReportWriter::ScanReportWriter(ReportFormat format, ReportOutput& out, std::string_view scanRoot, TimePoint generatedAt)
    : m_format(format)
    , m_out(out)
    , m_scanRoot(scanRoot)
    , m_json(out.buffer())
{
    if (m_format == ReportFormat::csv) {
        m_out.buffer() += kCsvHeader;
        return;
    }
    m_json.beginObject();
    m_json.key("generatedAt");
    m_json.string(ReportFields::Date(generatedAt).view());
    m_json.key("issues");
    m_json.beginArray();
}

void ScanReportWriter::add(const IndexedFile& file)
{
    if (m_format == ReportFormat::csv) {
        addCsv(file);
    } else {
        addJson(file);
    }
    ++m_count;
    m_out.recordDone();
}

void ScanReportWriter::member(std::string_view key, std::string_view value)
{
    m_json.key(key);
    m_json.string(ReportFields::shown(value, m_storage));
}

void ScanReportWriter::issueTypes(std::string_view stored)
{
    m_json.key("issueTypes");
    m_json.beginArray();
    const std::string_view text = ReportFields::shown(stored, m_storage);
    IssueTypesText::forEachPiece(text, [this](std::string_view piece) { m_json.string(piece); });
    m_json.endArray();
}

void ScanReportWriter::addJson(const IndexedFile& file)
{
    m_json.beginObject();
    m_json.key("firstSeen");
    m_json.string(ReportFields::Date(file.firstSeen).view());
    member("fullPath", file.path);
    m_json.key("isDirectory");
    m_json.boolean(file.isDirectory);
    m_json.key("issueCount");
    m_json.number(file.issueCount);
    if (file.issueTypes) {
        issueTypes(*file.issueTypes);
    }
    m_json.key("lastScanned");
    m_json.string(ReportFields::Date(file.lastScanned).view());
    m_json.key("needsRename");
    m_json.boolean(file.needsRename);
    member("path", file.relativePath);
    if (file.proposedRename) {
        member("proposedRename", *file.proposedRename);
    }
    m_json.endObject();
}

void ScanReportWriter::addCsv(const IndexedFile& file)
{
    std::string& out = m_out.buffer();
    out += '\n';
    ReportFields::appendCsvText(out, file.relativePath, m_storage);
    out += ',';
    ReportFields::appendCsvText(out, file.path, m_storage);
    out += file.isDirectory ? ",true," : ",false,";
    char count[16];
    out.append(count, std::to_chars(count, count + sizeof count, file.issueCount).ptr);
    out += ',';
    ReportFields::appendCsvText(out, file.issueTypes ? std::string_view(*file.issueTypes) : std::string_view(), m_storage);
    out += file.needsRename ? ",true," : ",false,";
    ReportFields::appendCsvText(out, file.proposedRename ? std::string_view(*file.proposedRename) : std::string_view(), m_storage);
    out += ",\"";
    out += ReportFields::Date(file.firstSeen).view();
    out += "\",\"";
    out += ReportFields::Date(file.lastScanned).view();
    out += '"';
}

void ScanReportWriter::finish()
{
    if (m_format == ReportFormat::csv) {
        return;
    }
    m_json.endArray();
    member("scanRoot", m_scanRoot);
    m_json.key("totalIssues");
    m_json.number(m_count);
    m_json.endObject();
    if (!m_json.complete()) {
        m_out.restart();
        m_out.buffer() += ReportService::kJsonErrorDocument;
    }
}

}  // namespace tess
