#pragma once

#include "analysis/FileTransformationResult.h"
#include "analysis/SourceFileAnalyzer.h"
#include "index/FileIndexDatabase.h"
#include "index/IndexedFile.h"
#include "rules/DestinationConfig.h"
#include "rules/TransformationSettings.h"
#include "scan/CompiledExcludePatterns.h"
#include "scan/DirectoryWalker.h"
#include "scan/MonitoringStatus.h"
#include "scan/ScanProgress.h"
#include "scan/ScanSummary.h"
#include "scan/ScanTrigger.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tess {

// The scan engine behind MonitorCoordinator: the set-up of one source folder,
// the gates of scan requests (one at a time, deferred during a rename, refused
// while not configured), the scan itself (parallel walk, comparison with the
// index in batches, touching, removal of vanished rows, analysis of new items,
// background persistence), and the re-analysis of every indexed item.
//
// Threads: every operation except stopAnalysis(), advanceGeneration() and the
// generation reads runs on the coordinator's serial queue, one at a time; the
// engine keeps no lock of its own apart from the cancellation flag.
//
// Results leave through the Listener, called on the coordinator's queue in the
// order they are to reach the views; each call carries the generation of the
// job that produced it. A new generation (a new source, or monitoring
// stopped) makes everything of older generations stale: a running walk or
// analysis stops, a queued job is dropped, and the receiver drops late
// publications.
class ScanEngine {
public:
    using Generation = std::uint64_t;
    using Clock = std::chrono::system_clock;

    // The counts a scan returns: total items found, new, changed (indexed
    // with the other kind, file or folder; the index keeps no size or date)
    // and unchanged. Zero when the scan did not run or was cancelled.
    struct Counts {
        int total = 0;
        int newFiles = 0;
        int changedFiles = 0;
        int unchangedFiles = 0;
        friend bool operator==(const Counts&, const Counts&) = default;
    };

    struct Listener {
        std::function<void(const MonitoringStatus&, Generation)> status;
        // The issue records, then the number of items, then the number of
        // issue records.
        std::function<void(std::vector<IndexedFile> issues, int totalIndexed, int issueCount, Generation)> results;
        std::function<void(const ScanSummary&, Generation)> summary;
        // A write to the index failed: the text for the user. Called on the
        // coordinator's queue or on the database's write queue.
        std::function<void(const std::string& message, Generation)> indexWriteFailed;
    };

    // The text for the user of a write to the index that failed with
    // SQLite's `message` (empty: no message known).
    static std::string indexWriteFailureText(const std::string& message);

    // The indexed items a re-analysis analyses: read from the index, or
    // handed over by the scan right before it when that scan found the index
    // holding exactly the items it walked.
    struct IndexedRows {
        std::vector<FileItem> items;
        // The twins among the rows, so each result is written (and compared)
        // under its own row's key.
        TwinKeys twins;
        double readSeconds = 0.0;
        // Handed over: FileIndexDatabase::itemWritesQueued() when the scan
        // began comparing; a write queued since may have changed the rows.
        std::uint64_t itemWritesBefore = 0;
    };

    static constexpr std::size_t kComparisonBatchSize = 500;

    ScanEngine(std::shared_ptr<FileIndexDatabase> database, TransformationSettings activeSettings,
        const std::vector<std::string>& excludePatterns, long long workerCount, Listener listener);
    ~ScanEngine();
    ScanEngine(const ScanEngine&) = delete;
    ScanEngine& operator=(const ScanEngine&) = delete;

    // --- Jobs (on the coordinator's queue) -----------------------------------

    // Runs `work` as a job of `generation`; drops it (DEBUG line) when the
    // generation is no longer current.
    void runJob(Generation generation, const std::function<void()>& work);
    // Runs `work` under the current generation, whatever it is.
    void runJobUnconditionally(const std::function<void()>& work);

    void runInitialScan(const std::string& root, const DestinationConfig& destination);
    void configure(const std::string& root, const DestinationConfig& destination);
    void scanNow();
    void suppressScans();
    void resumeScans();
    void updateDestination(const DestinationConfig& destination);
    void updateSettings(const TransformationSettings& settings);
    // New preferences arrived: recompile the exclude patterns, take the worker
    // count (clamped to 1...64).
    void handleSettingsChange(const std::vector<std::string>& excludePatterns, long long workerCount);
    // The queue part of stopping: clears the set-up and publishes idle.
    void stopMonitoringOnQueue();

    // With `unchangedRows`, a scan that finds nothing new, changed or gone
    // hands the rows it matched there, so that a re-analysis right after it
    // need not read them back.
    Counts requestScan(ScanTrigger trigger, std::optional<IndexedRows>* unchangedRows = nullptr);
    // Re-analyses `rows` when given (a scan's hand-over) and no write that
    // may change the rows was queued since the scan compared them, else the
    // rows read from the index.
    void requestReanalysis(std::optional<IndexedRows> rows = std::nullopt);
    Counts performScan(const std::string& root, ScanTrigger trigger, std::optional<IndexedRows>* unchangedRows = nullptr);
    void reanalyzeAllFiles(const std::string& root, std::optional<IndexedRows> handedOver = std::nullopt);

    // --- Any thread -----------------------------------------------------------

    // Requests cancellation of the running scan walk or re-analysis.
    void stopAnalysis();
    bool isCancelRequested() const;
    // Starts a new generation and returns it.
    Generation advanceGeneration();
    Generation currentGeneration() const { return m_generation.load(); }

    // --- Helpers and state, for the coordinator and tests ---------------------

    // The issue record of one result (which has at least one issue); `nextId`
    // is read and increased.
    static IndexedFile makeIndexedFile(const FileTransformationResult& result, std::int64_t& nextId,
        const std::string& scanRoot, Clock::time_point time);
    // UTF-8 bytes of a destination folder's path; 3 for a preset or none.
    static std::int64_t destinationRootByteCount(const std::optional<DestinationConfig>& destination);

    // Replaces how the walk opens folders (tests inject failures here).
    void setDirectoryOpener(DirectoryWalker::DirectoryOpener opener) { m_directoryOpener = std::move(opener); }
    // Told of each walk's outcome as the walk ends, on the scan's thread:
    // the source folder (as the scan names it) and what the walk found.
    using WalkReporter = std::function<void(const std::string& root, const DirectoryWalker::Outcome& outcome)>;
    void setWalkReporter(WalkReporter reporter) { m_walkReporter = std::move(reporter); }
    // Called on the walk's threads once per folder before it is listed
    // (tests use it to act in the middle of a walk).
    void setWalkObserver(std::function<void()> observer) { m_walkObserver = std::move(observer); }

    const std::optional<std::string>& scanRoot() const { return m_scanRoot; }
    const std::optional<DestinationConfig>& destinationConfig() const { return m_destinationConfig; }
    bool isScanning() const { return m_isScanning; }
    bool isScansSuppressed() const { return m_isScansSuppressed; }
    bool pendingScanRequested() const { return m_pendingScanRequested; }
    const std::optional<TransformationSettings>& cachedActiveSettings() const { return m_cachedActiveSettings; }
    const TransformationSettings& activeSettings() const { return m_activeSettings; }
    const SourceFileAnalyzer::PathSet& lastTooDeepPaths() const { return m_lastTooDeepPaths; }
    const CompiledExcludePatterns& compiledExcludePatterns() const { return m_compiledExcludePatterns; }
    std::size_t workerCount() const { return m_workerCount; }
    const std::shared_ptr<FileIndexDatabase>& database() const { return m_database; }

private:
    struct Comparison {
        std::vector<FileItem> newItems;
        std::vector<FileItem> changedItems;
        std::vector<FileItem> unchangedItems;
        std::size_t total = 0;
        // The unchanged items may be handed to a re-analysis: asked for, and
        // the walk found nothing new or changed and listed every folder.
        bool keepUnchangedItems = false;
        // The index holds no row of the root that the walk did not see.
        bool onlySeenRowsIndexed = false;
        // FileIndexDatabase::itemWritesQueued() before the comparison.
        std::uint64_t itemWritesBefore = 0;
        // Folders that could not be listed: their indexed rows are kept.
        std::vector<std::string> unlistedFolders;
        bool rootUnlisted = false;
        // The one-pass comparison with the index, when it could run; the
        // touch and the clean-up then work by row id.
        FileIndexDatabase::KeyMatch match;
        // Set by the background touch of the seen rows when it failed; the
        // scan record is then not marked completed.
        std::shared_ptr<std::atomic<bool>> touchFailed;
        // The twins among the items found that are keyed by their bytes.
        TwinKeys twinKeys;
    };

    // What a scan found, for its summary, its log and its scan record.
    struct ScanOutcome {
        std::int64_t recordId = 0;
        Clock::time_point startTime;
        ScanTrigger trigger = ScanTrigger::manual;
        int total = 0;
        int added = 0;
        int changed = 0;
        int unchanged = 0;
        int deleted = 0;
        int issues = 0;
    };
    // Where the comparison has got to in sorting matched items.
    struct MatchedSort {
        std::size_t newCount = 0;
        std::size_t nextChanged = 0;
    };
    // Scan steps.
    SourceFileAnalyzer::AnalysisResult analyzeNewAndChanged(Comparison& comparison, const std::string& root, ScanProgress& progress);
    // Publishes the issue records, the summary and the monitoring status;
    // returns the number of issue records.
    int publishScanOutcome(const std::vector<FileTransformationResult>& results, const std::string& root, const ScanOutcome& outcome);
    // Queues the write of the results and the closing of the scan record.
    void queueScanWrite(std::vector<FileTransformationResult> results, Comparison comparison, const std::string& root,
        const ScanOutcome& outcome);

    // Walk and comparison.
    Comparison enumerateAndCompare(const std::string& root, ScanTrigger trigger, Clock::time_point startTime);
    DirectoryWalker::Options walkOptions(std::size_t workers);
    // Logs the folders the walk could not list and keeps them in the
    // comparison; false when the root itself could not be listed.
    static bool takeWalkFailures(const DirectoryWalker::Outcome& walk, const std::string& root, Comparison& comparison);
    // Sorts the items into new, changed and unchanged, publishing progress;
    // false when cancelled.
    bool compareWithIndex(std::vector<FileItem>& items, const FileIndexDatabase::FolderRows& folders, Comparison& comparison,
        ScanProgress& progress, double& databaseTime);
    // Sorts items [begin, end) by the one-pass match.
    static void sortMatchedItems(std::vector<FileItem>& items, std::size_t begin, std::size_t end, Comparison& comparison,
        MatchedSort& sort);
    // Compares items [begin, end) with the index by one query.
    void compareOneBatch(std::vector<FileItem>& items, std::size_t begin, std::size_t end, Comparison& comparison);

    // Touch and clean-up.
    // Touches the unchanged rows and deletes the stale ones (rows of the root
    // not seen, except under folders that could not be listed); returns how
    // many were deleted.
    std::size_t touchAndRemoveStale(Comparison& comparison, const std::string& root, Clock::time_point startTime);
    // With the match: deletes the unseen rows by id, then queues the touch.
    std::size_t removeUnseenThenTouch(Comparison& comparison, FileIndexDatabase::KeyMatch match, const std::vector<std::int64_t>& ids,
        Clock::time_point startTime);
    void queueTouch(Comparison& comparison, FileIndexDatabase::KeyMatch match, Clock::time_point startTime);
    // The scan hands its unchanged items to a re-analysis: it was asked to,
    // found nothing new, changed or gone, and the index holds no other row.
    static bool handsOverUnchangedItems(const Comparison& comparison)
    {
        return comparison.keepUnchangedItems && comparison.onlySeenRowsIndexed;
    }
    // Without the match: touches by path, then deletes the rows left untouched.
    std::size_t touchThenRemoveStale(Comparison& comparison, const std::string& root, Clock::time_point startTime,
        const std::vector<std::string>& keptPrefixes);
    // Logs and reports that `count` stale rows could not be removed; the
    // deleted count, 0.
    std::size_t staleRemovalFailed(std::size_t count);
    // Tells the listener that a write of the current job failed; safe to call
    // from a background write once the engine is gone.
    std::function<void()> indexWriteFailureReporter() const;

    // Analysis and re-analysis.
    const TransformationSettings& settingsForAnalysis();
    // Analyses the items, taking them over: the results hold their paths.
    SourceFileAnalyzer::AnalysisResult analyzeItems(std::vector<FileItem> items, const std::string& root,
        const SourceFileAnalyzer::CancelCheck& isCancelled);
    // The issue records of the results that have issues, numbered from 1.
    static std::vector<IndexedFile> issueRecordsOf(const std::vector<FileTransformationResult>& results, const std::string& scanRoot,
        Clock::time_point time);
    IndexedRows readRowsForReanalysis(const std::string& root);
    // A scan's unchanged items in the order a read of the index gives them.
    static IndexedRows inIndexOrder(IndexedRows rows);
    void endCancelledReanalysis(const std::string& message);
    void queueReanalysisWrite(std::vector<FileTransformationResult> results, IndexedRows rows, const std::string& root,
        Clock::time_point startTime);
    // Drops the results whose analysis text equals the one their row holds
    // (`storedAnalysis`, by the row's key).
    static void keepChangedAnalyses(std::vector<FileTransformationResult>& results,
        const std::unordered_map<std::string, std::string>& storedAnalysis, const TwinKeys& twins);

    bool isJobStale() const { return m_jobGeneration != m_generation.load(); }
    bool walkShouldStop() const { return isCancelRequested() || isJobStale(); }
    void setCancelled(bool cancelled);
    void publishStatus(const MonitoringStatus& status);
    void publishResults(std::vector<IndexedFile> issues, int total, int issueCount);
    void publishSummary(const ScanSummary& summary);
    void endCancelledScan(std::int64_t recordId);

    std::shared_ptr<FileIndexDatabase> m_database;
    Listener m_listener;
    // Lets background jobs see that the engine is gone.

    std::optional<std::string> m_scanRoot;
    std::optional<DestinationConfig> m_destinationConfig;
    bool m_isScanning = false;
    bool m_isScansSuppressed = false;
    bool m_pendingScanRequested = false;
    mutable std::mutex m_cancelledLock;
    bool m_isCancelled = false;
    std::optional<TransformationSettings> m_cachedActiveSettings;
    TransformationSettings m_activeSettings;
    SourceFileAnalyzer::PathSet m_lastTooDeepPaths;
    CompiledExcludePatterns m_compiledExcludePatterns;
    std::size_t m_workerCount = 2;

    std::atomic<Generation> m_generation {1};
    Generation m_jobGeneration = 1;
    DirectoryWalker::DirectoryOpener m_directoryOpener;
    std::function<void()> m_walkObserver;
    WalkReporter m_walkReporter;
};

}  // namespace tess
