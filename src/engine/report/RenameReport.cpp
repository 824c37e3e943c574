#include "report/RenameReport.h"

#include "report/VerificationStatusText.h"

#include <utility>

namespace tess {

RenameReport RenameReport::fromBatch(TimePoint timestamp, std::string scanRoot,
    const std::vector<SourceFileRenamer::RenamedItem>& renamed,
    const std::vector<SourceFileRenamer::FailedItem>& failed, const std::vector<Verification>& verifications,
    std::vector<std::string> removedDirectories, std::optional<std::string> historyPath)
{
    RenameReport report;
    report.timestamp = timestamp;
    report.scanRoot = std::move(scanRoot);
    report.renamed.reserve(renamed.size());
    for (const auto& item : renamed) {
        report.renamed.push_back({item.original, item.newPath});
    }
    report.failed.reserve(failed.size());
    for (const auto& item : failed) {
        report.failed.push_back({item.path, item.error.message});
    }
    for (const auto& verification : verifications) {
        if (verification.status != Verification::VerificationStatus::verified) {
            report.failedVerifications.push_back(verification);
        }
    }
    report.removedDirectories = std::move(removedDirectories);
    report.historyPath = std::move(historyPath);
    return report;
}

RenameReport RenameReport::fromHistoryEntry(const HistoryEntry& entry)
{
    RenameReport report;
    report.timestamp = entry.timestamp;
    report.scanRoot = entry.scanRoot;
    for (const HistoryRecord& record : entry.records) {
        if (record.type == HistoryRecordType::createdDirectory || record.type == HistoryRecordType::storedMetadata) {
            continue;
        }
        const bool moved = record.type == HistoryRecordType::file || record.type == HistoryRecordType::directory;
        switch (record.status) {
        case HistoryRecordStatus::ok:
            if (moved) {
                report.renamed.push_back({record.originalRelativePath, record.finalRelativePath});
            } else if (record.type == HistoryRecordType::removedDirectory) {
                report.removedDirectories.push_back(record.originalRelativePath);
            }
            break;
        case HistoryRecordStatus::fail:
            report.failed.push_back({record.originalRelativePath, record.error});
            break;
        case HistoryRecordStatus::verifyFail: {
            const std::optional<Verification::VerificationStatus> status = VerificationStatusText::failedStatusFromDescription(record.error);
            Verification verification {record.originalRelativePath, record.finalRelativePath,
                status.value_or(Verification::VerificationStatus::targetMissing)};
            if (!status || record.error != VerificationStatusText::description(*status)) {
                verification.detail = record.error;  // the check's own sentence, kept as written
            }
            report.failedVerifications.push_back(std::move(verification));
            break;
        }
        }
    }
    return report;
}

}  // namespace tess
