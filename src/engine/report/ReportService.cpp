#include "report/ReportService.h"

#include "core/AtomicFile.h"
#include "report/JsonWriter.h"
#include "report/VerificationStatusText.h"
#include "text/Text.h"

#include <sys/stat.h>

#include <ctime>
#include <fstream>
#include <optional>

namespace tess {

namespace {

using Verification = SourceFileRenamer::RenameVerification;

// `text` when it is valid UTF-8, else its reading kept in `storage`.
std::string_view readable(std::string_view text, std::string& storage)
{
    if (text::isValidUtf8(text)) {
        return text;
    }
    storage = text::toValidUtf8(text);
    return storage;
}

class ReadableText {
public:
    std::string_view operator()(std::string_view text) { return readable(text, m_storage); }

private:
    std::string m_storage;
};

void appendQuoted(std::string& out, std::string_view field, ReadableText& valid)
{
    const std::string_view text = valid(field);
    out += '"';
    std::size_t start = 0;
    for (std::size_t quote = text.find('"'); quote != std::string_view::npos; quote = text.find('"', start)) {
        out.append(text, start, quote + 1 - start);
        out += '"';
        start = quote + 1;
    }
    out.append(text, start, text.size() - start);
    out += '"';
}

// The ISO 8601 text of `time`, written into `buffer` (no allocation per row).
struct DateText {
    char buffer[40];
    std::size_t length = 0;

    explicit DateText(ReportService::TimePoint time)
    {
        const std::time_t seconds
            = std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(time));
        std::tm tm {};
        gmtime_r(&seconds, &tm);
        length = std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &tm);
    }
    std::string_view view() const { return {buffer, length}; }
};

void appendDate(std::string& out, ReportService::TimePoint time)
{
    out += DateText(time).view();
}

std::string documentOrError(JsonWriter& writer)
{
    std::optional<std::string> document = writer.finish();
    return document ? std::move(*document) : std::string(ReportService::kJsonErrorDocument);
}

void writeMember(JsonWriter& writer, std::string_view key, std::string_view value, ReadableText& valid)
{
    writer.key(key);
    writer.string(valid(value));
}

void writeIssueTypes(JsonWriter& writer, std::string_view stored, ReadableText& valid)
{
    writer.key("issueTypes");
    writer.beginArray();
    const std::string_view text = valid(stored);
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) {
            comma = text.size();
        }
        if (comma > start) {
            writer.string(text.substr(start, comma - start));
        }
        start = comma + 1;
    }
    writer.endArray();
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
    return std::string(DateText(time).view());
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
    ReadableText valid;
    JsonWriter writer;
    writer.beginObject();
    writer.key("generatedAt");
    writer.string(formatDate(generatedAt));
    writer.key("issues");
    writer.beginArray();
    for (const IndexedFile& file : files) {
        writer.beginObject();
        writer.key("firstSeen");
        writer.string(DateText(file.firstSeen).view());
        writeMember(writer, "fullPath", file.path, valid);
        writer.key("isDirectory");
        writer.boolean(file.isDirectory);
        writer.key("issueCount");
        writer.number(file.issueCount);
        if (file.issueTypes) {
            writeIssueTypes(writer, *file.issueTypes, valid);
        }
        writer.key("lastScanned");
        writer.string(DateText(file.lastScanned).view());
        writer.key("needsRename");
        writer.boolean(file.needsRename);
        writeMember(writer, "path", file.relativePath, valid);
        if (file.proposedRename) {
            writeMember(writer, "proposedRename", *file.proposedRename, valid);
        }
        writer.endObject();
    }
    writer.endArray();
    writeMember(writer, "scanRoot", scanRoot, valid);
    writer.key("totalIssues");
    writer.number(static_cast<std::int64_t>(files.size()));
    writer.endObject();
    return documentOrError(writer);
}

std::string ReportService::generateCSVReport(const std::vector<IndexedFile>& files)
{
    ReadableText valid;
    std::string out = R"("Path","Full Path","Is Directory","Issue Count","Issue Types","Needs Rename",)"
                      R"("Proposed Rename","First Seen","Last Scanned")";
    out.reserve(out.size() + files.size() * 256);
    for (const IndexedFile& file : files) {
        out += '\n';
        appendQuoted(out, file.relativePath, valid);
        out += ',';
        appendQuoted(out, file.path, valid);
        out += file.isDirectory ? ",true," : ",false,";
        out += std::to_string(file.issueCount);
        out += ',';
        appendQuoted(out, file.issueTypes.value_or(std::string()), valid);
        out += file.needsRename ? ",true," : ",false,";
        appendQuoted(out, file.proposedRename.value_or(std::string()), valid);
        out += ",\"";
        appendDate(out, file.firstSeen);
        out += "\",\"";
        appendDate(out, file.lastScanned);
        out += '"';
    }
    return out;
}

std::string ReportService::generateRenameReportJSON(const RenameReport& report)
{
    ReadableText valid;
    JsonWriter writer;
    writer.beginObject();
    writer.key("failed");
    writer.beginArray();
    for (const auto& failure : report.failed) {
        writer.beginObject();
        writeMember(writer, "error", failure.error, valid);
        writeMember(writer, "path", failure.path, valid);
        writer.endObject();
    }
    writer.endArray();
    writer.key("failedVerifications");
    writer.beginArray();
    for (const Verification& verification : report.failedVerifications) {
        writer.beginObject();
        writeMember(writer, "description", VerificationStatusText::text(verification), valid);
        writeMember(writer, "originalPath", verification.originalPath, valid);
        writeMember(writer, "status", VerificationStatusText::token(verification.status), valid);
        writeMember(writer, "targetPath", verification.targetPath, valid);
        writer.endObject();
    }
    writer.endArray();
    writer.key("removedDirectories");
    writer.beginArray();
    for (const std::string& folder : report.removedDirectories) {
        writer.string(valid(folder));
    }
    writer.endArray();
    writer.key("renamed");
    writer.beginArray();
    for (const auto& pair : report.renamed) {
        writer.beginObject();
        writeMember(writer, "newPath", pair.newPath, valid);
        writeMember(writer, "originalPath", pair.originalPath, valid);
        writer.endObject();
    }
    writer.endArray();
    writeMember(writer, "scanRoot", report.scanRoot, valid);
    writer.key("summary");
    writer.beginObject();
    writer.key("failed");
    writer.number(static_cast<std::int64_t>(report.failed.size()));
    writer.key("failedVerification");
    writer.number(static_cast<std::int64_t>(report.failedVerifications.size()));
    writer.key("removedDirectories");
    writer.number(static_cast<std::int64_t>(report.removedDirectories.size()));
    writer.key("renamed");
    writer.number(static_cast<std::int64_t>(report.renamed.size()));
    writer.endObject();
    writer.key("timestamp");
    writer.string(formatDate(report.timestamp));
    writer.endObject();
    return documentOrError(writer);
}

std::string ReportService::generateRenameReportCSV(const RenameReport& report)
{
    ReadableText valid;
    std::string out = "# Renamed Files\n\"Original Path\",\"New Path\"";
    for (const auto& pair : report.renamed) {
        out += '\n';
        appendQuoted(out, pair.originalPath, valid);
        out += ',';
        appendQuoted(out, pair.newPath, valid);
    }
    if (!report.failed.empty()) {
        out += "\n\n# Failed Renames\n\"Path\",\"Error\"";
        for (const auto& failure : report.failed) {
            out += '\n';
            appendQuoted(out, failure.path, valid);
            out += ',';
            appendQuoted(out, failure.error, valid);
        }
    }
    if (!report.failedVerifications.empty()) {
        out += "\n\n# Failed Verifications\n\"Original Path\",\"Target Path\",\"Status\",\"Description\"";
        for (const Verification& verification : report.failedVerifications) {
            out += '\n';
            appendQuoted(out, verification.originalPath, valid);
            out += ',';
            appendQuoted(out, verification.targetPath, valid);
            out += ',';
            appendQuoted(out, VerificationStatusText::token(verification.status), valid);
            out += ',';
            appendQuoted(out, VerificationStatusText::text(verification), valid);
        }
    }
    if (!report.removedDirectories.empty()) {
        out += "\n\n# Removed Directories\n\"Path\"";
        for (const std::string& folder : report.removedDirectories) {
            out += '\n';
            appendQuoted(out, folder, valid);
        }
    }
    return out;
}

Status ReportService::writeReportFile(const std::string& path, std::string_view text)
{
    const std::string target = AtomicFile::followLink(path);
    struct stat info { };
    mode_t mode = 0666 & ~currentUmask();
    if (stat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        mode = info.st_mode & 07777;
    }
    return AtomicFile::write(target, text, mode);
}

}  // namespace tess
