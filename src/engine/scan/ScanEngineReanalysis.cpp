#include "scan/ScanEngine.h"

#include "core/ParallelSort.h"
#include "index/PathKey.h"
#include "log/AppLogger.h"
#include "scan/ScanEngineSupport.h"
#include "text/Text.h"

#include <utility>

namespace tess {

using namespace scanengine;

void ScanEngine::reanalyzeAllFiles(const std::string& root, std::optional<IndexedRows> handedOver)
{
    const auto t0 = SteadyClock::now();
    m_isScanning = true;
    const ClearOnExit scanning(m_isScanning, [this] { publishStatus(MonitoringStatus::monitoring()); });
    const Clock::time_point startTime = m_database->now();
    TESS_LOG_INFO("MonitorCoordinator: reanalyzeAllFiles() entered");

    ScanProgress progress;
    progress.currentPhase = ScanPhase::analyzing;
    progress.trigger = ScanTrigger::manual;
    progress.startTime = startTime;
    publishStatus(MonitoringStatus::scanning(progress));

    if (isCancelRequested() || isJobStale()) {
        endCancelledReanalysis("MonitorCoordinator: Reanalysis cancelled before DB read");
        return;
    }
    const bool rowsAsHandedOver = handedOver && handedOver->itemWritesBefore == m_database->itemWritesQueued();
    IndexedRows rows = rowsAsHandedOver ? inIndexOrder(std::move(*handedOver)) : readRowsForReanalysis(root);
    handedOver.reset();
    if (isCancelRequested() || isJobStale()) {
        endCancelledReanalysis("MonitorCoordinator: Reanalysis cancelled after dbRead");
        return;
    }
    const std::size_t rowCount = rows.items.size();
    TESS_LOG_INFO("MonitorCoordinator: Re-analyzing " + std::to_string(rowCount) + " files [dbRead="
        + formatSeconds(rows.readSeconds, 2) + "s]");

    const auto ta = SteadyClock::now();
    SourceFileAnalyzer::AnalysisResult analysis;
    if (rowCount != 0) {
        publishStatus(MonitoringStatus::scanning(progress));
        // The results hold the items from here on.
        analysis = analyzeItems(std::move(rows.items), root, [this] { return isCancelRequested() || isJobStale(); });
        ScanProgress after = progress;
        after.filesAnalyzed = asInt(analysis.results.size());
        publishStatus(MonitoringStatus::scanning(after));
    }
    m_lastTooDeepPaths = std::move(analysis.tooDeepDirs);
    const double analyzeTime = secondsSince(ta);

    if (isCancelRequested() || isJobStale()) {
        endCancelledReanalysis("MonitorCoordinator: Reanalysis cancelled after analyze (" + formatSeconds(analyzeTime, 2) + "s)");
        return;
    }

    std::vector<IndexedFile> issueRecords = issueRecordsOf(analysis.results, root, startTime);
    const int issueCount = asInt(issueRecords.size());
    publishResults(std::move(issueRecords), asInt(rowCount), issueCount);
    publishStatus(MonitoringStatus::monitoring());
    m_isScanning = false;
    TESS_LOG_INFO("MonitorCoordinator: Re-analysis complete. " + std::to_string(issueCount) + " issues found in "
        + formatSeconds(secondsSince(t0), 2) + "s [analyze=" + formatSeconds(analyzeTime, 2) + "s]");

    queueReanalysisWrite(std::move(analysis.results), std::move(rows), root, startTime);
}

ScanEngine::IndexedRows ScanEngine::readRowsForReanalysis(const std::string& root)
{
    // The read waits for the background writes queued before it that change
    // what it reads, so rows that the preceding scan queued are part of it;
    // a touch of every unchanged row after a rescan does not hold it up.
    // The rows become items as they are read, which the read time includes.
    const auto readStart = SteadyClock::now();
    IndexedRows rows;
    rows.items = m_database->fetchItemsBesideWrites(root, &rows.twins);
    rows.readSeconds = secondsSince(readStart);
    return rows;
}

ScanEngine::IndexedRows ScanEngine::inIndexOrder(IndexedRows rows)
{
    // A read gives the rows by their relative paths, byte by byte. All the
    // paths start with the root, so their order is that of the whole paths,
    // and no two are equal.
    const auto readStart = SteadyClock::now();
    parallelStableSort(rows.items, [](const FileItem& a, const FileItem& b) { return a.path < b.path; });
    rows.readSeconds = secondsSince(readStart);
    return rows;
}

void ScanEngine::endCancelledReanalysis(const std::string& message)
{
    TESS_LOG_INFO(message);
    publishStatus(MonitoringStatus::monitoring());
    m_isScanning = false;
}

void ScanEngine::queueReanalysisWrite(std::vector<FileTransformationResult> results, IndexedRows rows, const std::string& root,
    Clock::time_point startTime)
{
    m_database->performAsync([database = m_database, results = std::move(results), root, startTime, twins = std::move(rows.twins),
                                 reportFailure = indexWriteFailureReporter()]() mutable {
        const auto t1 = SteadyClock::now();
        bool written = false;
        // Each result is compared with the row it would replace as that row
        // stands right before the write, in the same turn of the statement
        // queue. When the rows cannot be read, every result is written.
        database->sync([&] {
            if (const auto stored = database->fetchStoredAnalysis(root)) {
                keepChangedAnalyses(results, *stored, twins);
            }
            written = database->upsertFiles(std::move(results), root, startTime, twins);
        });
        if (written) {
            TESS_LOG_INFO("MonitorCoordinator: Background reanalysis DB write completed in " + formatSeconds(secondsSince(t1), 2) + "s");
        } else {
            TESS_LOG_ERROR("❌ MonitorCoordinator: Background reanalysis DB write failed after " + formatSeconds(secondsSince(t1), 2)
                + "s; the index keeps its earlier results");
            reportFailure();
        }
        database->scheduleVacuum();
    });
}

void ScanEngine::keepChangedAnalyses(std::vector<FileTransformationResult>& results,
    const std::unordered_map<std::string, std::string>& storedAnalysis, const TwinKeys& twins)
{
    // Only rows whose analysis changed are written: an unchanged row keeps its
    // values, its id, and the last-scanned time of the scan that saw it. A
    // result is compared with the row its write would replace, the one under
    // its key (TwinKeys::keyOf, built only for a path that is not its own key).
    std::string key;
    std::erase_if(results, [&](const FileTransformationResult& result) {
        const std::string& path = result.originalFile.path;
        const bool ownKey = twins.isKeyedByBytes(path) || text::isNfc(path);
        if (!ownKey) {
            key = pathKey(path);
        }
        const auto row = storedAnalysis.find(ownKey ? path : key);
        return FileIndexDatabase::analysisText(result) == (row == storedAnalysis.end() ? std::string_view() : std::string_view(row->second));
    });
}

}  // namespace tess
