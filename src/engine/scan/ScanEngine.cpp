#include "scan/ScanEngine.h"

#include "index/IndexTime.h"
#include "index/IssueTypesText.h"
#include "index/PathKey.h"
#include "log/AppLogger.h"
#include "text/Text.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <future>
#include <limits>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace tess {

namespace {

using SteadyClock = std::chrono::steady_clock;

double secondsSince(SteadyClock::time_point start)
{
    return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

// Paths may hold bytes that are not UTF-8; the log gets their readable form.
std::string shown(const std::string& path)
{
    return text::toValidUtf8(path);
}

std::string errorText(int error)
{
    return std::strerror(error);
}

// The path keys of folders that could not be listed, each with a "/".
std::vector<std::string> unlistedFolderPrefixes(const std::vector<std::string>& unlistedFolders)
{
    std::vector<std::string> prefixes;
    prefixes.reserve(unlistedFolders.size());
    for (const auto& folder : unlistedFolders) {
        prefixes.push_back(pathKey(folder) + "/");
    }
    return prefixes;
}

bool isUnderAny(const std::string& path, const std::vector<std::string>& prefixes)
{
    if (prefixes.empty()) {
        return false;
    }
    const std::string key = pathKey(path);
    return std::any_of(prefixes.begin(), prefixes.end(), [&](const std::string& prefix) { return key.starts_with(prefix); });
}

// Clears a state flag on every way out of a scope, an exception included,
// and then runs `onUnwind` when the way out is an exception. Never throws.
class ClearOnExit {
public:
    ClearOnExit(bool& flag, std::function<void()> onUnwind = {})
        : m_flag(flag)
        , m_onUnwind(std::move(onUnwind))
        , m_exceptions(std::uncaught_exceptions())
    {
    }
    ~ClearOnExit()
    {
        m_flag = false;
        if (m_onUnwind && std::uncaught_exceptions() > m_exceptions) {
            try {
                m_onUnwind();
            } catch (...) {
                // Already unwinding: the job's handler reports the failure.
            }
        }
    }
    ClearOnExit(const ClearOnExit&) = delete;
    ClearOnExit& operator=(const ClearOnExit&) = delete;

private:
    bool& m_flag;
    std::function<void()> m_onUnwind;
    int m_exceptions;
};

// Runs one job; an exception ends that job only, with an ERROR line.
void runGuarded(const std::function<void()>& work)
{
    try {
        work();
    } catch (const std::exception& error) {
        TESS_LOG_ERROR(std::string("❌ MonitorCoordinator: Job failed: ") + error.what());
    } catch (...) {
        TESS_LOG_ERROR("❌ MonitorCoordinator: Job failed: unknown exception");
    }
}

int asInt(std::size_t count)
{
    return static_cast<int>(std::min<std::size_t>(count, static_cast<std::size_t>(std::numeric_limits<int>::max())));
}

}  // namespace

ScanEngine::ScanEngine(std::shared_ptr<FileIndexDatabase> database, TransformationSettings activeSettings,
    const std::vector<std::string>& excludePatterns, long long workerCount, Listener listener)
    : m_database(std::move(database))
    , m_listener(std::move(listener))
    , m_activeSettings(std::move(activeSettings))
    , m_compiledExcludePatterns(CompiledExcludePatterns::compile(excludePatterns))
    , m_workerCount(DirectoryWalker::clampWorkerCount(workerCount))
{
}

ScanEngine::~ScanEngine() = default;

// --- Jobs ---------------------------------------------------------------------

void ScanEngine::runJob(Generation generation, const std::function<void()>& work)
{
    if (generation != m_generation.load()) {
        TESS_LOG_DEBUG("MonitorCoordinator: Dropping a request made before the source changed");
        return;
    }
    m_jobGeneration = generation;
    runGuarded(work);
}

void ScanEngine::runJobUnconditionally(const std::function<void()>& work)
{
    m_jobGeneration = m_generation.load();
    runGuarded(work);
}

ScanEngine::Generation ScanEngine::advanceGeneration()
{
    return m_generation.fetch_add(1) + 1;
}

void ScanEngine::runInitialScan(const std::string& root, const DestinationConfig& destination)
{
    m_scanRoot = root;
    m_destinationConfig = destination;
    m_cachedActiveSettings.reset();
    m_database->pruneOtherRoots(root);
    publishStatus(MonitoringStatus::monitoring());
    TESS_LOG_INFO("MonitorCoordinator: Started scan of " + shown(root));

    const Counts counts = requestScan(ScanTrigger::manual);
    if (isCancelRequested() || isJobStale()) {
        TESS_LOG_INFO("MonitorCoordinator: Scan cancelled, not proceeding to reanalysis");
        return;
    }
    if (counts.unchangedFiles < 1) {
        TESS_LOG_INFO("MonitorCoordinator: All " + std::to_string(counts.newFiles) + " files analyzed fresh, skipping redundant reanalysis");
    } else {
        TESS_LOG_INFO("MonitorCoordinator: " + std::to_string(counts.unchangedFiles) + " unchanged files need reanalysis for current settings");
        requestReanalysis();
    }
    if (isCancelRequested() || isJobStale()) {
        return;
    }
    TESS_LOG_INFO("MonitorCoordinator: Scan complete, ready for user review");
}

void ScanEngine::configure(const std::string& root, const DestinationConfig& destination)
{
    m_scanRoot = root;
    m_destinationConfig = destination;
    m_cachedActiveSettings.reset();
    TESS_LOG_INFO("MonitorCoordinator: Configured for " + shown(root) + " (no enumeration)");
}

void ScanEngine::scanNow()
{
    requestScan(ScanTrigger::manual);
    if (isCancelRequested() || isJobStale()) {
        TESS_LOG_INFO("MonitorCoordinator: Scan cancelled, not proceeding to reanalysis");
        return;
    }
    requestReanalysis();
}

void ScanEngine::suppressScans()
{
    m_isScansSuppressed = true;
    m_pendingScanRequested = false;
    TESS_LOG_INFO("MonitorCoordinator: Scans suppressed for rename operation");
}

void ScanEngine::resumeScans()
{
    m_isScansSuppressed = false;
    TESS_LOG_INFO("MonitorCoordinator: Scans resumed after rename");
    if (m_pendingScanRequested) {
        m_pendingScanRequested = false;
        TESS_LOG_INFO("MonitorCoordinator: Executing deferred post-rename scan");
        requestScan(ScanTrigger::manual);
        requestReanalysis();
    }
}

void ScanEngine::updateDestination(const DestinationConfig& destination)
{
    m_destinationConfig = destination;
    m_cachedActiveSettings.reset();
}

void ScanEngine::updateSettings(const TransformationSettings& settings)
{
    m_activeSettings = settings;
    m_cachedActiveSettings.reset();
}

void ScanEngine::handleSettingsChange(const std::vector<std::string>& excludePatterns, long long workerCount)
{
    m_compiledExcludePatterns = CompiledExcludePatterns::compile(excludePatterns);
    m_workerCount = DirectoryWalker::clampWorkerCount(workerCount);
}

void ScanEngine::stopMonitoringOnQueue()
{
    if (!m_scanRoot) {
        TESS_LOG_DEBUG("MonitorCoordinator: stopMonitoring() — already stopped (scanRoot is nil)");
        return;
    }
    m_isScanning = false;
    m_isScansSuppressed = false;
    m_pendingScanRequested = false;
    m_scanRoot.reset();
    m_destinationConfig.reset();
    m_cachedActiveSettings.reset();
    publishStatus(MonitoringStatus::idle());
    TESS_LOG_INFO("MonitorCoordinator: Stopped monitoring");
}

ScanEngine::Counts ScanEngine::requestScan(ScanTrigger trigger)
{
    if (m_isScanning) {
        TESS_LOG_INFO("Scan already in progress, skipping " + std::string(rawValue(trigger)) + " trigger");
        return {};
    }
    if (m_isScansSuppressed) {
        m_pendingScanRequested = true;
        TESS_LOG_INFO("Scans suppressed (rename in progress), deferring " + std::string(rawValue(trigger)) + " trigger");
        return {};
    }
    if (!m_scanRoot || !m_destinationConfig) {
        TESS_LOG_WARN("⚠️ Cannot scan: source or destination not configured");
        return {};
    }
    return performScan(*m_scanRoot, trigger);
}

void ScanEngine::requestReanalysis()
{
    if (m_isScansSuppressed) {
        m_pendingScanRequested = true;
        TESS_LOG_INFO("Scans suppressed (rename in progress), deferring reanalysis");
        return;
    }
    if (!m_scanRoot || !m_destinationConfig) {
        TESS_LOG_WARN("⚠️ Cannot reanalyze: source or destination not configured");
        return;
    }
    setCancelled(false);
    reanalyzeAllFiles(*m_scanRoot);
}

// --- Cancellation ---------------------------------------------------------------

void ScanEngine::stopAnalysis()
{
    setCancelled(true);
    TESS_LOG_INFO("MonitorCoordinator: stopAnalysis() — cancellation requested");
}

bool ScanEngine::isCancelRequested() const
{
    std::lock_guard lock(m_cancelledLock);
    return m_isCancelled;
}

void ScanEngine::setCancelled(bool cancelled)
{
    std::lock_guard lock(m_cancelledLock);
    m_isCancelled = cancelled;
}

// --- Publication ------------------------------------------------------------------

void ScanEngine::publishStatus(const MonitoringStatus& status)
{
    if (m_listener.status) {
        m_listener.status(status, m_jobGeneration);
    }
}

void ScanEngine::publishResults(std::vector<IndexedFile> issues, int total, int issueCount)
{
    if (m_listener.results) {
        m_listener.results(std::move(issues), total, issueCount, m_jobGeneration);
    }
}

void ScanEngine::publishSummary(const ScanSummary& summary)
{
    if (m_listener.summary) {
        m_listener.summary(summary, m_jobGeneration);
    }
}

// --- Scan -----------------------------------------------------------------------------

ScanEngine::Counts ScanEngine::performScan(const std::string& root, ScanTrigger trigger)
{
    setCancelled(false);
    m_isScanning = true;
    const Clock::time_point startTime = Clock::now();
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

    const int unchangedCount = asInt(comparison.unchangedPaths.size());
    const int deletedCount = asInt(touchAndRemoveStale(comparison, root, startTime));

    const int total = asInt(comparison.total);
    const int newCount = asInt(comparison.newItems.size());
    const int changedCount = asInt(comparison.changedItems.size());

    std::vector<FileItem> toAnalyze = std::move(comparison.newItems);
    toAnalyze.insert(toAnalyze.end(), std::make_move_iterator(comparison.changedItems.begin()),
        std::make_move_iterator(comparison.changedItems.end()));

    progress.filesEnumerated = total;
    progress.filesAnalyzed = 0;
    progress.newFiles = newCount;
    progress.changedFiles = changedCount;
    progress.currentPhase = ScanPhase::analyzing;
    publishStatus(MonitoringStatus::scanning(progress));

    SourceFileAnalyzer::AnalysisResult analysis;
    if (!toAnalyze.empty()) {
        ScanProgress before = progress;
        before.filesEnumerated = 0;
        before.newFiles = 0;
        before.changedFiles = 0;
        publishStatus(MonitoringStatus::scanning(before));
        // A scan's analysis is not stopped by stopAnalysis(), only by a change
        // of source (monitoring stopped or restarted).
        analysis = analyzeItems(toAnalyze, root, [this] { return isJobStale(); });
        ScanProgress after = before;
        after.filesAnalyzed = asInt(analysis.results.size());
        publishStatus(MonitoringStatus::scanning(after));
    }
    m_lastTooDeepPaths = std::move(analysis.tooDeepDirs);
    std::vector<FileItem>().swap(toAnalyze);  // the results hold their own copies

    if (isJobStale()) {
        TESS_LOG_INFO("MonitorCoordinator: Scan discarded: the source changed during the scan");
        endCancelledScan(recordId);
        return {};
    }

    std::vector<IndexedFile> issueRecords;
    std::int64_t nextId = 1;
    for (const auto& result : analysis.results) {
        if (!result.transformations.empty()) {
            issueRecords.push_back(makeIndexedFile(result, nextId, root, startTime));
        }
    }
    const int issueCount = asInt(issueRecords.size());
    const double duration = std::chrono::duration<double>(Clock::now() - startTime).count();

    publishResults(std::move(issueRecords), total, issueCount);
    ScanSummary summary;
    summary.totalFilesScanned = total;
    summary.newFiles = newCount;
    summary.changedFiles = changedCount;
    summary.deletedFiles = deletedCount;
    summary.filesWithIssues = issueCount;
    summary.duration = duration;
    summary.trigger = trigger;
    summary.timestamp = startTime;
    publishSummary(summary);

    publishStatus(MonitoringStatus::monitoring());
    m_isScanning = false;
    TESS_LOG_INFO("Scan complete (" + triggerText + "): " + std::to_string(total) + " files, " + std::to_string(newCount) + " new, "
        + std::to_string(changedCount) + " changed, " + std::to_string(issueCount) + " issues in " + formatSeconds(duration, 1) + "s");

    // Without results the job writes only the scan record, which a
    // re-analysis need not wait for.
    const auto queue = analysis.results.empty() ? &FileIndexDatabase::performAsyncKeepingItems : &FileIndexDatabase::performAsync;
    ((*m_database).*queue)([database = m_database, results = std::move(analysis.results), root, startTime, recordId, total, newCount,
                               changedCount, deletedCount, issueCount, touchFailed = std::move(comparison.touchFailed),
                               twins = std::move(comparison.twinKeys)] {
        const auto t0 = SteadyClock::now();
        // The record is "completed" only when every write of the scan worked;
        // otherwise it is marked "failed" (it stays "running" when even that
        // cannot be written), and the next scan finds the missing rows new.
        const bool written = database->upsertFiles(results, root, startTime, twins) && !(touchFailed && touchFailed->load());
        if (written && database->finishScanRecord(recordId, total, newCount, changedCount, deletedCount, issueCount, "completed")) {
            TESS_LOG_INFO("MonitorCoordinator: Background DB persistence completed in " + formatSeconds(secondsSince(t0), 2) + "s");
        } else {
            database->finishScanRecord(recordId, total, newCount, changedCount, deletedCount, issueCount, "failed");
            TESS_LOG_ERROR("❌ MonitorCoordinator: Background DB persistence failed after " + formatSeconds(secondsSince(t0), 2)
                + "s; the scan record is not marked completed");
        }
        database->scheduleVacuum();
    });

    return {total, newCount, changedCount, unchangedCount};
}

void ScanEngine::endCancelledScan(std::int64_t recordId)
{
    m_database->finishScanRecord(recordId, 0, 0, 0, 0, 0, "cancelled");
    publishStatus(MonitoringStatus::monitoring());
    m_isScanning = false;
}

ScanEngine::Comparison ScanEngine::enumerateAndCompare(const std::string& root, ScanTrigger trigger,
    Clock::time_point startTime)
{
    const auto t0 = SteadyClock::now();
    const CompiledExcludePatterns patterns = m_compiledExcludePatterns;
    const std::size_t workers = m_workerCount;

    DirectoryWalker::Options options;
    options.workerCount = workers;
    options.excludePatterns = patterns;
    options.openDirectory = m_directoryOpener;
    options.isCancelled = [this] {
        if (m_walkObserver) {
            m_walkObserver();
        }
        return walkShouldStop();
    };
    // The kinds of the indexed rows are read while the walk runs, on a thread
    // the scan owns: every way out of this function, an exception included,
    // waits for it (the future of std::async joins). The match reads them
    // again if the index changed meanwhile, or itself when no thread could
    // be started.
    std::future<FileIndexDatabase::FolderRows> folderRows;
    try {
        folderRows = std::async(std::launch::async, [database = m_database] { return database->findFolderRows(); });
    } catch (const std::system_error& error) {
        TESS_LOG_WARN(std::string("⚠️ MonitorCoordinator: Folder rows read with the comparison: ") + error.what());
    }
    DirectoryWalker::Outcome walk = DirectoryWalker::walk(root, options);

    Comparison comparison;
    if (walk.rootUnlisted) {
        TESS_LOG_WARN("⚠️ MonitorCoordinator: Cannot list source folder " + shown(root) + ": " + errorText(walk.rootError)
            + "; scan stopped, index left as it was");
        comparison.rootUnlisted = true;
        return comparison;
    }
    for (const auto& folder : walk.unlistedFolders) {
        TESS_LOG_WARN("⚠️ MonitorCoordinator: Cannot list folder " + shown(folder.path) + ": " + errorText(folder.error)
            + "; its indexed items are kept");
        comparison.unlistedFolders.push_back(folder.path);
    }
    std::vector<FileItem> items = walk.cancelled ? std::vector<FileItem>() : std::move(walk.items);
    const auto t1 = SteadyClock::now();

    if (isCancelRequested() || isJobStale()) {
        TESS_LOG_INFO("MonitorCoordinator: Enumeration cancelled at " + std::to_string(items.size()) + " files");
        return {};
    }

    const auto directories = std::count_if(items.begin(), items.end(), [](const FileItem& item) { return item.isDirectory; });

    ScanProgress progress;
    progress.currentPhase = ScanPhase::enumerating;
    progress.trigger = trigger;
    progress.startTime = startTime;
    double databaseTime = 0.0;
    std::size_t compared = 0;
    bool cancelled = false;
    const auto stop = [this] { return isCancelRequested() || isJobStale(); };
    // All batches in one job of the database's statement queue: one wait for
    // the pending background writes, then no queue hop per batch. One pass
    // over the index finds which items it holds; the batches then only
    // split the items and publish progress. Without that pass (it failed or
    // was cancelled) every batch asks the index itself.
    // Taken before entering the statement queue, which its reading needs.
    const FileIndexDatabase::FolderRows folders = folderRows.valid() ? folderRows.get() : FileIndexDatabase::FolderRows {};
    m_database->sync([&] {
        if (!items.empty() && !stop()) {
            const auto matchStart = SteadyClock::now();
            comparison.match = m_database->matchIndexedPaths(items, stop, &folders);
            databaseTime += secondsSince(matchStart);
        }
        const FileIndexDatabase::KeyMatch& match = comparison.match;
        comparison.twinKeys = match.valid ? std::move(comparison.match.twinKeys) : TwinKeys::of(items);
        // With the pass, new items move towards the front of `items`, in
        // their order, and what is left becomes the list of new items.
        // Indexed items of the other kind than their row, or under other
        // bytes, are changed.
        std::size_t newCount = 0;
        std::size_t nextChanged = 0;
        if (match.valid) {
            comparison.unchangedPaths.reserve(
                static_cast<std::size_t>(std::count(match.indexed.begin(), match.indexed.end(), std::uint8_t {1})));
        }
        while (compared < items.size()) {
            if (stop()) {
                TESS_LOG_INFO("MonitorCoordinator: DB comparison cancelled at " + std::to_string(compared) + " files");
                cancelled = true;
                return;
            }
            const auto batchStart = SteadyClock::now();
            const std::size_t end = std::min(items.size(), compared + kComparisonBatchSize);
            if (match.valid) {
                for (std::size_t i = compared; i < end; ++i) {
                    if (nextChanged < match.changed.size() && match.changed[nextChanged] == i) {
                        ++nextChanged;
                        comparison.changedItems.push_back(std::move(items[i]));
                    } else if (match.indexed[i] != 0) {
                        comparison.unchangedPaths.push_back(std::move(items[i].path));
                    } else {
                        if (newCount != i) {
                            items[newCount] = std::move(items[i]);
                        }
                        ++newCount;
                    }
                }
            } else {
                compareOneBatch(items, compared, end, comparison);
                newCount = comparison.newItems.size();
            }
            databaseTime += secondsSince(batchStart);
            compared = end;

            progress.filesEnumerated = asInt(compared);
            progress.newFiles = asInt(newCount);
            progress.changedFiles = asInt(comparison.changedItems.size());
            publishStatus(MonitoringStatus::scanning(progress));
        }
        comparison.total = items.size();
        if (match.valid) {
            items.resize(newCount);
            items.shrink_to_fit();
            comparison.newItems = std::move(items);
        }
    });
    if (cancelled) {
        return {};
    }
    std::vector<FileItem>().swap(items);  // moved into the comparison
    comparison.match.indexed = {};
    comparison.match.changed = {};

    TESS_LOG_INFO("Enumeration complete: " + std::to_string(comparison.total) + " files (" + std::to_string(directories) + " dirs) ("
        + std::to_string(comparison.newItems.size()) + " new, " + std::to_string(comparison.changedItems.size()) + " changed, "
        + std::to_string(comparison.unchangedPaths.size()) + " unchanged) in " + formatSeconds(secondsSince(t0), 1) + "s [fs="
        + formatSeconds(std::chrono::duration<double>(t1 - t0).count(), 1) + "s, db=" + formatSeconds(databaseTime, 1)
        + "s, workers=" + std::to_string(workers) + "]");
    return comparison;
}

void ScanEngine::compareOneBatch(std::vector<FileItem>& items, std::size_t begin, std::size_t end, Comparison& comparison)
{
    const std::vector<FileItem> batch(std::make_move_iterator(items.begin() + static_cast<std::ptrdiff_t>(begin)),
        std::make_move_iterator(items.begin() + static_cast<std::ptrdiff_t>(end)));
    FileIndexDatabase::Comparison result = m_database->compareBatch(batch, comparison.twinKeys);

    std::unordered_set<std::string_view> notUnchanged;
    for (const auto& item : result.newItems) {
        notUnchanged.insert(item.path);
    }
    for (const auto& item : result.changedItems) {
        notUnchanged.insert(item.path);
    }
    for (const auto& item : batch) {
        if (!notUnchanged.contains(item.path)) {
            comparison.unchangedPaths.push_back(item.path);
        }
    }
    comparison.newItems.insert(comparison.newItems.end(), std::make_move_iterator(result.newItems.begin()),
        std::make_move_iterator(result.newItems.end()));
    comparison.changedItems.insert(comparison.changedItems.end(), std::make_move_iterator(result.changedItems.begin()),
        std::make_move_iterator(result.changedItems.end()));
}

std::size_t ScanEngine::touchAndRemoveStale(Comparison& comparison, const std::string& root, Clock::time_point startTime)
{
    FileIndexDatabase::KeyMatch match = std::move(comparison.match);
    comparison.match = {};
    const std::vector<std::string> keptPrefixes = unlistedFolderPrefixes(comparison.unlistedFolders);

    // By row id while the index is as the comparison found it. The stale
    // rows are among the rows the comparison did not see, which touching
    // the seen ones leaves alone, so they can be found and removed first.
    // The rows of changed items were seen too: they are touched with the
    // unchanged ones and rewritten by the scan's results.
    std::optional<std::vector<FileIndexDatabase::StaleRow>> staleRows;
    if (match.valid) {
        // Rows the comparison did not see are stale whatever their stored time
        // (a clock set back must not keep vanished items).
        staleRows = m_database->findUnseenStaleRows(match, root, IndexDate::max());
    }
    if (staleRows) {
        std::erase_if(*staleRows, [&](const FileIndexDatabase::StaleRow& row) { return isUnderAny(row.path, keptPrefixes); });
        std::vector<std::int64_t> ids;
        ids.reserve(staleRows->size());
        for (const auto& row : *staleRows) {
            ids.push_back(row.id);
        }
        bool removed = true;
        bool deleteFailed = false;
        if (!ids.empty() && !m_database->deleteMatchedRows(match, ids)) {
            // By id still, never by a key worked out from the path: that
            // could be the key of a twin that is there.
            deleteFailed = !m_database->deleteRows(ids);
            removed = false;  // the index changed: the ids no longer say which rows were seen
        }
        if (!comparison.unchangedPaths.empty() || !comparison.changedItems.empty()) {
            // Touching every unchanged row rewrites most of the table; it runs
            // on the background write queue, ahead of the scan's results, and
            // every read of the index waits for it.
            std::vector<std::string> paths = std::move(comparison.unchangedPaths);
            for (const auto& item : comparison.changedItems) {
                paths.push_back(item.path);
            }
            comparison.touchFailed = std::make_shared<std::atomic<bool>>(false);
            m_database->performAsyncKeepingItems([database = m_database, match = removed ? std::move(match) : FileIndexDatabase::KeyMatch {},
                                                     paths = std::move(paths), startTime, twins = comparison.twinKeys,
                                                     failed = comparison.touchFailed]() mutable {
                if (!database->touchMatchedRows(match, startTime) && !database->touchPaths(paths, startTime, twins)) {
                    failed->store(true);
                }
            });
        }
        if (deleteFailed) {
            return staleRemovalFailed(ids.size());
        }
        if (!ids.empty()) {
            TESS_LOG_INFO("MonitorCoordinator: Removed " + std::to_string(ids.size()) + " stale paths from DB");
        }
        return ids.size();
    }

    bool touched = true;
    if (!comparison.unchangedPaths.empty()) {
        touched = m_database->touchPaths(comparison.unchangedPaths, startTime, comparison.twinKeys);
    }
    if (!comparison.changedItems.empty()) {
        std::vector<std::string> changedPaths;
        changedPaths.reserve(comparison.changedItems.size());
        for (const auto& item : comparison.changedItems) {
            changedPaths.push_back(item.path);
        }
        touched = m_database->touchPaths(changedPaths, startTime, comparison.twinKeys) && touched;
    }
    if (!touched) {
        // Rows that were not touched would look vanished: nothing is removed.
        comparison.touchFailed = std::make_shared<std::atomic<bool>>(true);
        return staleRemovalFailed(0);
    }
    std::vector<FileIndexDatabase::StaleRow> stale = m_database->findStaleRows(root, startTime);
    std::erase_if(stale, [&](const FileIndexDatabase::StaleRow& row) { return isUnderAny(row.path, keptPrefixes); });
    if (!stale.empty()) {
        std::vector<std::int64_t> ids;
        ids.reserve(stale.size());
        for (const auto& row : stale) {
            ids.push_back(row.id);
        }
        // By id, never by a key worked out from the path: that could be the
        // key of a twin that is there.
        if (!m_database->deleteRows(ids)) {
            return staleRemovalFailed(stale.size());
        }
        TESS_LOG_INFO("MonitorCoordinator: Removed " + std::to_string(stale.size()) + " stale paths from DB");
    }
    return stale.size();
}

std::size_t ScanEngine::staleRemovalFailed(std::size_t count)
{
    TESS_LOG_ERROR("❌ MonitorCoordinator: Failed to remove " + std::to_string(count) + " stale paths from DB; they stay indexed");
    return 0;
}

const TransformationSettings& ScanEngine::settingsForAnalysis()
{
    if (!m_cachedActiveSettings) {
        m_cachedActiveSettings = m_activeSettings;
    }
    return *m_cachedActiveSettings;
}

SourceFileAnalyzer::AnalysisResult ScanEngine::analyzeItems(const std::vector<FileItem>& items, const std::string& root,
    const SourceFileAnalyzer::CancelCheck& isCancelled)
{
    const TransformationSettings& settings = settingsForAnalysis();
    const SourceFileAnalyzer analyzer(settings, destinationRootByteCount(m_destinationConfig));
    const std::string target = m_destinationConfig ? m_destinationConfig->displayName() : std::string("unknown");
    return analyzer.analyze(items, root, target, isCancelled);
}

std::int64_t ScanEngine::destinationRootByteCount(const std::optional<DestinationConfig>& destination)
{
    if (destination && destination->folder() != nullptr) {
        // The folder's path and the "/" that joins it to a relative path
        // (none when the folder path already ends with one).
        const std::string& path = destination->folder()->path;
        const bool endsWithSeparator = !path.empty() && path.back() == '/';
        return static_cast<std::int64_t>(path.size()) + (endsWithSeparator ? 0 : 1);
    }
    return 3;
}

IndexedFile ScanEngine::makeIndexedFile(const FileTransformationResult& result, std::int64_t& nextId,
    const std::string& scanRoot, Clock::time_point time)
{
    IndexedFile file;
    file.id = nextId++;
    file.path = result.originalFile.path;
    file.relativePath = result.originalRelativePath;
    file.isDirectory = result.originalFile.isDirectory;
    file.hasIssues = true;
    file.issueCount = asInt(result.transformations.size());
    file.issueTypes = IssueTypesText::join(result.transformations);
    if (result.needsRename) {
        file.proposedRename = result.finalRelativePath;
    }
    file.needsRename = result.needsRename;
    file.shortenedComponents = result.shortenedComponents;
    file.firstSeen = time;
    file.lastScanned = time;
    file.scanRoot = scanRoot;
    return file;
}

// --- Re-analysis ------------------------------------------------------------------------

void ScanEngine::reanalyzeAllFiles(const std::string& root)
{
    const auto t0 = SteadyClock::now();
    m_isScanning = true;
    const ClearOnExit scanning(m_isScanning, [this] { publishStatus(MonitoringStatus::monitoring()); });
    const Clock::time_point startTime = Clock::now();
    TESS_LOG_INFO("MonitorCoordinator: reanalyzeAllFiles() entered");

    ScanProgress progress;
    progress.currentPhase = ScanPhase::analyzing;
    progress.trigger = ScanTrigger::manual;
    progress.startTime = startTime;
    publishStatus(MonitoringStatus::scanning(progress));

    const auto cancelledAt = [this](const std::string& message) {
        TESS_LOG_INFO(message);
        publishStatus(MonitoringStatus::monitoring());
        m_isScanning = false;
    };
    if (isCancelRequested() || isJobStale()) {
        cancelledAt("MonitorCoordinator: Reanalysis cancelled before DB read");
        return;
    }

    // The read waits for the background writes queued before it, so rows that
    // the preceding scan queued are part of it.
    const auto readStart = SteadyClock::now();
    // The items of the rows, in the order fetchFiles gives the rows: the
    // analysis needs nothing else of them.
    // With the analysis each row holds, by the row's key, so the write can
    // leave alone the rows whose stored values would not change; and with the
    // twins among the rows, so each result is written (and compared) under
    // its own row's key.
    TwinKeys twins;
    std::unordered_map<std::string, std::string> storedAnalysis;
    // When no queued write changes what it reads, the read does not wait
    // behind them (a touch of every unchanged row after a rescan).
    std::vector<FileItem> items = m_database->fetchItemsBesideWrites(root, &twins, &storedAnalysis);
    const double readTime = secondsSince(readStart);
    if (isCancelRequested() || isJobStale()) {
        cancelledAt("MonitorCoordinator: Reanalysis cancelled after dbRead");
        return;
    }

    const auto convertStart = SteadyClock::now();
    TESS_LOG_INFO("MonitorCoordinator: Re-analyzing " + std::to_string(items.size()) + " files [dbRead=" + formatSeconds(readTime, 2)
        + "s, convert=" + formatSeconds(secondsSince(convertStart), 2) + "s]");

    const auto ta = SteadyClock::now();
    SourceFileAnalyzer::AnalysisResult analysis;
    if (!items.empty()) {
        publishStatus(MonitoringStatus::scanning(progress));
        analysis = analyzeItems(items, root, [this] { return isCancelRequested() || isJobStale(); });
        ScanProgress after = progress;
        after.filesAnalyzed = asInt(analysis.results.size());
        publishStatus(MonitoringStatus::scanning(after));
    }
    m_lastTooDeepPaths = std::move(analysis.tooDeepDirs);
    const double analyzeTime = secondsSince(ta);

    if (isCancelRequested() || isJobStale()) {
        cancelledAt("MonitorCoordinator: Reanalysis cancelled after analyze (" + formatSeconds(analyzeTime, 2) + "s)");
        return;
    }

    std::vector<IndexedFile> issueRecords;
    std::int64_t nextId = 1;
    for (const auto& result : analysis.results) {
        if (!result.transformations.empty()) {
            issueRecords.push_back(makeIndexedFile(result, nextId, root, startTime));
        }
    }
    const int issueCount = asInt(issueRecords.size());
    publishResults(std::move(issueRecords), asInt(items.size()), issueCount);
    publishStatus(MonitoringStatus::monitoring());
    m_isScanning = false;
    TESS_LOG_INFO("MonitorCoordinator: Re-analysis complete. " + std::to_string(issueCount) + " issues found in "
        + formatSeconds(secondsSince(t0), 2) + "s [analyze=" + formatSeconds(analyzeTime, 2) + "s]");

    m_database->performAsync([database = m_database, results = std::move(analysis.results), stored = std::move(storedAnalysis), root,
                                 startTime, twins = std::move(twins)]() mutable {
        const auto t1 = SteadyClock::now();
        // Only rows whose analysis changed are written: an unchanged row keeps
        // its values, its id, and the last-scanned time of the scan that saw it.
        // A result is compared with the row its write would replace, the one
        // under its key (TwinKeys::keyOf, built only for a path that is not
        // its own key).
        std::string key;
        std::erase_if(results, [&](const FileTransformationResult& result) {
            const std::string& path = result.originalFile.path;
            const bool ownKey = twins.isKeyedByBytes(path) || text::isNfc(path);
            if (!ownKey) {
                key = pathKey(path);
            }
            const auto row = stored.find(ownKey ? path : key);
            return FileIndexDatabase::analysisText(result) == (row == stored.end() ? std::string_view() : std::string_view(row->second));
        });
        decltype(stored)().swap(stored);
        if (database->upsertFiles(results, root, startTime, twins)) {
            TESS_LOG_INFO("MonitorCoordinator: Background reanalysis DB write completed in " + formatSeconds(secondsSince(t1), 2) + "s");
        } else {
            TESS_LOG_ERROR("❌ MonitorCoordinator: Background reanalysis DB write failed after " + formatSeconds(secondsSince(t1), 2)
                + "s; the index keeps its earlier results");
        }
        database->scheduleVacuum();
    });
}

}  // namespace tess
