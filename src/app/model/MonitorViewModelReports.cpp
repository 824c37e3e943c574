// MonitorViewModel: the exports of the scan report and of the rename report.

#include "model/MonitorViewModel.h"

#include "log/AppLogger.h"
#include "model/SettingsManager.h"
#include "report/ReportService.h"
#include "text/Text.h"

#include <utility>

namespace tess {

// --- Export -------------------------------------------------------------------------

std::string MonitorViewModel::exportFailureMessage(const std::string& failureText, const std::string& chosenPath, const std::string& reason)
{
    // The reason may name the temporary file the write went through; the
    // user is told the one they chose, once: a reason that names it already
    // ("Cannot write <file>: ...") gives only what follows.
    std::string cause = reason;
    if (const std::size_t at = reason.find(chosenPath + ": "); !chosenPath.empty() && at != std::string::npos) {
        cause = reason.substr(at + chosenPath.size() + 2);
    }
    return failureText + "could not write " + text::displayPath(chosenPath) + " (" + text::displayPath(cause) + ")";
}

void MonitorViewModel::exportReport()
{
    if (!m_database || !m_sourcePath || !m_renameDependencies.savePanel) {
        return;
    }
    const QPointer<MonitorViewModel> self(this);
    m_renameDependencies.savePanel->open(ReportSaveRequest::scanReport(), m_settingsManager->settings().preferences.reportFormat,
        [self](const std::optional<ReportSaveChoice>& choice) {
            MonitorViewModel* model = self.data();
            if (model == nullptr || !choice || !model->m_database || !model->m_sourcePath) {
                return;
            }
            model->writeExport(
                *choice,
                [database = model->m_database, root = *model->m_sourcePath](const std::string& path, AppSettings::ReportFormat format) {
                    // Row by row from the index to the file: an export of any size adds little memory.
                    return ReportService::writeScanReportFile(path, format, root,
                        [&](const ReportService::FileVisitor& visit) { return database->forEachFileWithIssues(root, visit); });
                },
                "Report exported to ", "Failed to export report: ");
        });
}

void MonitorViewModel::exportRenameReport()
{
    if (!m_renameReport || !m_renameDependencies.savePanel) {
        return;
    }
    const QPointer<MonitorViewModel> self(this);
    m_renameDependencies.savePanel->open(ReportSaveRequest::renameReport(), m_settingsManager->settings().preferences.reportFormat,
        [self](const std::optional<ReportSaveChoice>& choice) {
            MonitorViewModel* model = self.data();
            if (model == nullptr || !choice || !model->m_renameReport) {
                return;
            }
            model->writeExport(
                *choice,
                [report = *model->m_renameReport](const std::string& path, AppSettings::ReportFormat format) {
                    return ReportService::writeRenameReportFile(path, format, report);
                },
                "Rename report exported to ", "Failed to export rename report: ");
        });
}

void MonitorViewModel::writeExport(const ReportSaveChoice& choice, std::function<Status(const std::string&, AppSettings::ReportFormat)> write,
    const std::string& successLog, const std::string& failureText)
{
    const QPointer<MonitorViewModel> self(this);
    runInBackground([self, path = choice.filePathBytes(), format = choice.format, write = std::move(write), successLog, failureText] {
        const Status written = write(path, format);
        if (written.ok()) {
            TESS_LOG_INFO(successLog + path);
            return;
        }
        TESS_LOG_ERROR("❌ " + failureText + written.error().message);
        postToMain(self, [message = exportFailureMessage(failureText, path, written.error().message)](MonitorViewModel* model) {
            if (model != nullptr) {
                model->setExportErrorMessage(message);
            }
        });
    });
}

}  // namespace tess
