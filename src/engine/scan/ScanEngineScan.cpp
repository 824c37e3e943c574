#include "scan/ScanEngine.h"

#include "index/IndexTime.h"
#include "log/AppLogger.h"
#include "scan/ScanEngineSupport.h"

#include <iterator>
#include <utility>

namespace tess {

using namespace scanengine;

ScanEngine::Counts ScanEngine::performScan(const std::string& root, ScanTrigger trigger, std::optional<IndexedRows>* unchangedRows)
{
    setCancelled(false);
    m_isScanning = true;
    const Clock::time_point startTime = m_database->now();
    const std::string triggerText(rawValue(trigger));

    const std::int64_t recordId = m_database->startScanRecord(root, triggerText);
    // A scan that ends by an exception closes its record as failed and
    // leaves the scanning state like any other scan.
    const ClearOnExit scanning(m_isScanning, [this, recordId] {
        m_database->finishScanRecord(recordId, 0, 0, 0, 0, 0, "failed");
        publishStatus(MonitoringStatus::monitoring());
    });
    ScanProgress progress;
    progress.currentPhase = ScanPhase::enumerating;
    progress.trigger = trigger;
    progress.startTime = startTime;
    publishStatus(MonitoringStatus::scanning(progress));

    Comparison comparison = enumerateAndCompare(root, trigger, startTime);

    if (comparison.rootUnlisted) {
        // Nothing was seen, so nothing may be judged deleted: the scan ends
        // like a cancelled one and no re-analysis follows it.
        setCancelled(true);
        endCancelledScan(recordId);
        return {};
    }
    if (isCancelRequested() || isJobStale()) {
        TESS_LOG_INFO("MonitorCoordinator: Scan cancelled during enumeration");
        endCancelledScan(recordId);
        return {};
    }

    ScanOutcome outcome;
    outcome.recordId = recordId;
    outcome.startTime = startTime;
    outcome.trigger = trigger;
    outcome.unchanged = asInt(comparison.unchangedItems.size());
    // Only a walk that found every item it saw indexed as it is can stand in
    // for the index's rows; whether the index holds rows the walk did not
    // see is known once the stale rows are looked up.
    comparison.keepUnchangedItems = unchangedRows != nullptr && comparison.match.valid && comparison.newItems.empty()
        && comparison.changedItems.empty() && comparison.unlistedFolders.empty();
    outcome.deleted = asInt(touchAndRemoveStale(comparison, root, startTime));
    outcome.total = asInt(comparison.total);
    outcome.added = asInt(comparison.newItems.size());
    outcome.changed = asInt(comparison.changedItems.size());
    if (handsOverUnchangedItems(comparison)) {
        *unchangedRows = IndexedRows {std::move(comparison.unchangedItems), comparison.twinKeys, 0.0, comparison.itemWritesBefore};
    }
    std::vector<FileItem>().swap(comparison.unchangedItems);

    SourceFileAnalyzer::AnalysisResult analysis = analyzeNewAndChanged(comparison, root, progress);
    if (isJobStale()) {
        TESS_LOG_INFO("MonitorCoordinator: Scan discarded: the source changed during the scan");
        endCancelledScan(recordId);
        return {};
    }

    outcome.issues = publishScanOutcome(analysis.results, root, outcome);
    queueScanWrite(std::move(analysis.results), std::move(comparison), root, outcome);
    return {outcome.total, outcome.added, outcome.changed, outcome.unchanged};
}

SourceFileAnalyzer::AnalysisResult ScanEngine::analyzeNewAndChanged(Comparison& comparison, const std::string& root,
    ScanProgress& progress)
{
    progress.filesEnumerated = asInt(comparison.total);
    progress.filesAnalyzed = 0;
    progress.newFiles = asInt(comparison.newItems.size());
    progress.changedFiles = asInt(comparison.changedItems.size());
    progress.currentPhase = ScanPhase::analyzing;
    publishStatus(MonitoringStatus::scanning(progress));

    std::vector<FileItem> toAnalyze = std::move(comparison.newItems);
    toAnalyze.insert(toAnalyze.end(), std::make_move_iterator(comparison.changedItems.begin()),
        std::make_move_iterator(comparison.changedItems.end()));

    SourceFileAnalyzer::AnalysisResult analysis;
    if (!toAnalyze.empty()) {
        ScanProgress before = progress;
        before.filesEnumerated = 0;
        before.newFiles = 0;
        before.changedFiles = 0;
        publishStatus(MonitoringStatus::scanning(before));
        // A scan's analysis is not stopped by stopAnalysis(), only by a change
        // of source (monitoring stopped or restarted).
        analysis = analyzeItems(std::move(toAnalyze), root, [this] { return isJobStale(); });
        ScanProgress after = before;
        after.filesAnalyzed = asInt(analysis.results.size());
        publishStatus(MonitoringStatus::scanning(after));
    }
    m_lastTooDeepPaths = std::move(analysis.tooDeepDirs);
    return analysis;
}

int ScanEngine::publishScanOutcome(const std::vector<FileTransformationResult>& results, const std::string& root,
    const ScanOutcome& outcome)
{
    std::vector<IndexedFile> issueRecords = issueRecordsOf(results, root, outcome.startTime);
    const int issueCount = asInt(issueRecords.size());
    const double duration = std::chrono::duration<double>(m_database->now() - outcome.startTime).count();

    publishResults(std::move(issueRecords), outcome.total, issueCount);
    ScanSummary summary;
    summary.totalFilesScanned = outcome.total;
    summary.newFiles = outcome.added;
    summary.changedFiles = outcome.changed;
    summary.deletedFiles = outcome.deleted;
    summary.filesWithIssues = issueCount;
    summary.duration = duration;
    summary.trigger = outcome.trigger;
    summary.timestamp = outcome.startTime;
    publishSummary(summary);

    publishStatus(MonitoringStatus::monitoring());
    m_isScanning = false;
    TESS_LOG_INFO("Scan complete (" + std::string(rawValue(outcome.trigger)) + "): " + std::to_string(outcome.total) + " files, "
        + std::to_string(outcome.added) + " new, " + std::to_string(outcome.changed) + " changed, " + std::to_string(issueCount)
        + " issues in " + formatSeconds(duration, 1) + "s");
    return issueCount;
}

void ScanEngine::queueScanWrite(std::vector<FileTransformationResult> results, Comparison comparison, const std::string& root,
    const ScanOutcome& outcome)
{
    // Without results the job writes only the scan record, which a
    // re-analysis need not wait for.
    const auto queue = results.empty() ? &FileIndexDatabase::performAsyncKeepingItems : &FileIndexDatabase::performAsync;
    ((*m_database).*queue)([database = m_database, results = std::move(results), root, outcome,
                               touchFailed = std::move(comparison.touchFailed), twins = std::move(comparison.twinKeys),
                               reportFailure = indexWriteFailureReporter()]() mutable {
        const auto t0 = SteadyClock::now();
        const auto finish = [&](const char* status) {
            return database->finishScanRecord(outcome.recordId, outcome.total, outcome.added, outcome.changed, outcome.deleted,
                outcome.issues, status);
        };
        // The record is "completed" only when every write of the scan worked;
        // otherwise it is marked "failed" (it stays "running" when even that
        // cannot be written), and the next scan finds the missing rows new.
        const bool written
            = database->upsertFiles(std::move(results), root, outcome.startTime, twins) && !(touchFailed && touchFailed->load());
        if (written && finish("completed")) {
            TESS_LOG_INFO("MonitorCoordinator: Background DB persistence completed in " + formatSeconds(secondsSince(t0), 2) + "s");
        } else {
            finish("failed");
            TESS_LOG_ERROR("❌ MonitorCoordinator: Background DB persistence failed after " + formatSeconds(secondsSince(t0), 2)
                + "s; the scan record is not marked completed");
            reportFailure();
        }
        database->scheduleVacuum();
    });
}

void ScanEngine::endCancelledScan(std::int64_t recordId)
{
    m_database->finishScanRecord(recordId, 0, 0, 0, 0, 0, "cancelled");
    publishStatus(MonitoringStatus::monitoring());
    m_isScanning = false;
}

}  // namespace tess
