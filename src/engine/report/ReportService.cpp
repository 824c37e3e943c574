#include "report/ReportService.h"

#include "core/AtomicFile.h"
#include "report/JsonWriter.h"
#include "report/ReportFields.h"
#include "report/ScanReportWriter.h"
#include "report/VerificationStatusText.h"

#include <sys/stat.h>

#include <fstream>

namespace tess {

namespace {

using Verification = SourceFileRenamer::RenameVerification;
using ReportFormat = AppSettings::ReportFormat;

// The rename report as JSON: seven keys in ascending order.
class RenameJson {
public:
    explicit RenameJson(ReportOutput& out)
        : m_out(out)
        , m_json(out.buffer())
    {
    }

    void write(const RenameReport& report)
    {
        m_json.beginObject();
        m_json.key("failed");
        m_json.beginArray();
        for (const auto& failure : report.failed) {
            m_json.beginObject();
            member("error", failure.error);
            member("path", failure.path);
            m_json.endObject();
            m_out.recordDone();
        }
        m_json.endArray();
        m_json.key("failedVerifications");
        m_json.beginArray();
        for (const Verification& verification : report.failedVerifications) {
            m_json.beginObject();
            member("description", VerificationStatusText::text(verification));
            member("originalPath", verification.originalPath);
            member("status", VerificationStatusText::token(verification.status));
            member("targetPath", verification.targetPath);
            m_json.endObject();
            m_out.recordDone();
        }
        m_json.endArray();
        m_json.key("removedDirectories");
        m_json.beginArray();
        for (const std::string& folder : report.removedDirectories) {
            m_json.string(ReportFields::shown(folder, m_storage));
            m_out.recordDone();
        }
        m_json.endArray();
        m_json.key("renamed");
        m_json.beginArray();
        for (const auto& pair : report.renamed) {
            m_json.beginObject();
            member("newPath", pair.newPath);
            member("originalPath", pair.originalPath);
            m_json.endObject();
            m_out.recordDone();
        }
        m_json.endArray();
        member("scanRoot", report.scanRoot);
        m_json.key("summary");
        m_json.beginObject();
        count("failed", report.failed.size());
        count("failedVerification", report.failedVerifications.size());
        count("removedDirectories", report.removedDirectories.size());
        count("renamed", report.renamed.size());
        m_json.endObject();
        m_json.key("timestamp");
        m_json.string(ReportFields::Date(report.timestamp).view());
        m_json.endObject();
        if (!m_json.complete()) {
            m_out.restart();
            m_out.buffer() += ReportService::kJsonErrorDocument;
        }
    }

private:
    void member(std::string_view key, std::string_view value)
    {
        m_json.key(key);
        m_json.string(ReportFields::shown(value, m_storage));
    }
    void count(std::string_view key, std::size_t value)
    {
        m_json.key(key);
        m_json.number(static_cast<std::int64_t>(value));
    }

    ReportOutput& m_out;
    JsonWriter m_json;
    std::string m_storage;
};

// The rename report as sectioned CSV.
void writeRenameCsv(const RenameReport& report, ReportOutput& output)
{
    std::string storage;
    std::string& out = output.buffer();
    const auto field = [&](std::string_view text) { ReportFields::appendCsvText(out, text, storage); };
    out += "# Renamed Files\n\"Original Path\",\"New Path\"";
    for (const auto& pair : report.renamed) {
        out += '\n';
        field(pair.originalPath);
        out += ',';
        field(pair.newPath);
        output.recordDone();
    }
    if (!report.failed.empty()) {
        out += "\n\n# Failed Renames\n\"Path\",\"Error\"";
        for (const auto& failure : report.failed) {
            out += '\n';
            field(failure.path);
            out += ',';
            field(failure.error);
            output.recordDone();
        }
    }
    if (!report.failedVerifications.empty()) {
        out += "\n\n# Failed Verifications\n\"Original Path\",\"Target Path\",\"Status\",\"Description\"";
        for (const Verification& verification : report.failedVerifications) {
            out += '\n';
            field(verification.originalPath);
            out += ',';
            field(verification.targetPath);
            out += ',';
            field(VerificationStatusText::token(verification.status));
            out += ',';
            field(VerificationStatusText::text(verification));
            output.recordDone();
        }
    }
    if (!report.removedDirectories.empty()) {
        out += "\n\n# Removed Directories\n\"Path\"";
        for (const std::string& folder : report.removedDirectories) {
            out += '\n';
            field(folder);
            output.recordDone();
        }
    }
}

void writeRenameReport(const RenameReport& report, ReportFormat format, ReportOutput& out)
{
    if (format == ReportFormat::csv) {
        writeRenameCsv(report, out);
    } else {
        RenameJson(out).write(report);
    }
}

std::string collected(ReportOutput& out)
{
    out.finish();
    return out.takeText();
}

// The umask, read without changing it (umask(2) can only set it).
mode_t currentUmask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            try {
                return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
            } catch (...) {
                break;
            }
        }
    }
    return 022;
}

}  // namespace

std::string ReportService::formatDate(TimePoint time)
{
    return std::string(ReportFields::Date(time).view());
}

std::string_view ReportService::fileExtension(ReportFormat format)
{
    return format == ReportFormat::csv ? "csv" : "json";
}

std::string ReportService::replaceExtension(std::string_view name, std::string_view extension)
{
    const std::size_t slash = name.rfind('/');
    const std::size_t componentStart = slash == std::string_view::npos ? 0 : slash + 1;
    if (componentStart == name.size()) {
        return std::string(name);
    }
    std::size_t end = name.rfind('.');
    if (end == std::string_view::npos || end <= componentStart) {
        end = name.size();
    }
    std::string out(name.substr(0, end));
    out += '.';
    out += extension;
    return out;
}

std::string ReportService::generateJSONReport(const std::vector<IndexedFile>& files, std::string_view scanRoot,
    TimePoint generatedAt)
{
    ReportOutput out;
    ScanReportWriter writer(ReportFormat::json, out, scanRoot, generatedAt);
    for (const IndexedFile& file : files) {
        writer.add(file);
    }
    writer.finish();
    return collected(out);
}

std::string ReportService::generateCSVReport(const std::vector<IndexedFile>& files)
{
    ReportOutput out;
    out.buffer().reserve(files.size() * 256 + 128);
    ScanReportWriter writer(ReportFormat::csv, out, {}, {});
    for (const IndexedFile& file : files) {
        writer.add(file);
    }
    writer.finish();
    return collected(out);
}

std::string ReportService::generateRenameReportJSON(const RenameReport& report)
{
    ReportOutput out;
    writeRenameReport(report, ReportFormat::json, out);
    return collected(out);
}

std::string ReportService::generateRenameReportCSV(const RenameReport& report)
{
    ReportOutput out;
    writeRenameReport(report, ReportFormat::csv, out);
    return collected(out);
}

Status ReportService::writeReportFile(const std::string& path, std::string_view text)
{
    return writeFile(path, [text](int fd) { return AtomicFile::writeAll(fd, text); });
}

Status ReportService::writeScanReportFile(const std::string& path, ReportFormat format, std::string_view scanRoot,
    const FileSource& forEachFile, TimePoint generatedAt)
{
    return writeFile(path, [&](int fd) {
        ReportOutput out(fd);
        ScanReportWriter writer(format, out, scanRoot, generatedAt);
        if (!forEachFile([&writer](const IndexedFile& file) { writer.add(file); })) {
            return Status(Error {kAppErrorDomain, -1, "the items of the index could not all be read"});
        }
        writer.finish();
        return out.finish();
    });
}

Status ReportService::writeRenameReportFile(const std::string& path, ReportFormat format, const RenameReport& report)
{
    return writeFile(path, [&](int fd) {
        ReportOutput out(fd);
        writeRenameReport(report, format, out);
        return out.finish();
    });
}

Status ReportService::writeFile(const std::string& path, const std::function<Status(int fd)>& fill)
{
    const std::string target = AtomicFile::followLink(path);
    struct stat info { };
    mode_t mode = 0666 & ~currentUmask();
    if (stat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        mode = info.st_mode & 07777;
    }
    return AtomicFile::write(target, fill, mode);
}

}  // namespace tess
