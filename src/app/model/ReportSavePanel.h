#pragma once

#include "settings/AppSettings.h"

#include <QFile>
#include <QString>

#include <functional>
#include <optional>
#include <string>

namespace tess {

// What the save panel is asked for: its title and the name it proposes
// (without extension).
struct ReportSaveRequest {
    QString title;
    QString defaultName;

    static ReportSaveRequest scanReport() { return {QStringLiteral("Export Report"), QStringLiteral("tessaline-report")}; }
    static ReportSaveRequest renameReport()
    {
        return {QStringLiteral("Export Rename Report"), QStringLiteral("rename-report")};
    }
    static ReportSaveRequest historyReport()
    {
        return {QStringLiteral("Export History Report"), QStringLiteral("history-report")};
    }

    friend bool operator==(const ReportSaveRequest&, const ReportSaveRequest&) = default;
};

// Where the user chose to save a report, and in which format.
struct ReportSaveChoice {
    QString filePath;  // absolute
    AppSettings::ReportFormat format = AppSettings::ReportFormat::json;

    // The path as the file system spells it, for the engine's file calls.
    std::string filePathBytes() const
    {
        const QByteArray bytes = QFile::encodeName(filePath);
        return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
};

// Asks the user where to save a report and in which format. Used from the
// main thread only.
class ReportSavePanel {
public:
    using Completion = std::function<void(const std::optional<ReportSaveChoice>& choice)>;

    virtual ~ReportSavePanel() = default;

    // Shows the panel and returns at once. The format starts at
    // `storedFormat` (the stored preference `reportFormat`); the name starts
    // as the request's default name with that format's extension. The
    // user's choice of format is not stored anywhere. `completion` runs
    // later, once, on the main thread: with the choice, or with nothing when
    // the user cancels. It never runs after the panel object is destroyed.
    virtual void open(const ReportSaveRequest& request, AppSettings::ReportFormat storedFormat, Completion completion)
        = 0;
};

}  // namespace tess
