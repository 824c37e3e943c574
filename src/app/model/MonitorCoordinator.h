#pragma once

#include "core/SerialQueue.h"
#include "index/FileIndexDatabase.h"
#include "index/IndexedFile.h"
#include "rules/DestinationConfig.h"
#include "rules/TransformationSettings.h"
#include "scan/CompiledExcludePatterns.h"
#include "scan/DirectoryWalker.h"
#include "scan/MonitoringStatus.h"
#include "scan/ScanEngine.h"
#include "scan/ScanSummary.h"

#include <QMetaType>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tess {

class SettingsManager;

// The scan coordinator of the open source folder: runs every request on its
// own serial queue ("app.quenby.tessaline.coordinator") through a ScanEngine,
// and publishes the status, the last scan summary, the issue count, the
// number of indexed items and the analysed items with issues.
//
// A main-thread object. Published values reach its signals on the main
// thread, in the order the queue produced them, by queued invocation. The
// current values of the first four stay readable (status(), lastScan(), ...).
//
// Each change of source (startMonitoring, configure, stopMonitoring) starts a
// new generation: work queued for an earlier source is dropped, a running
// walk or analysis for it stops, and what it published late is not
// delivered.
class MonitorCoordinator : public QObject {
    Q_OBJECT

public:
    using CompiledExcludePatterns = tess::CompiledExcludePatterns;
    static constexpr const char* kQueueLabel = "app.quenby.tessaline.coordinator";

    // Reads the settings store's current preferences (rule set, exclude
    // patterns, worker count) and follows its later changes.
    MonitorCoordinator(std::shared_ptr<FileIndexDatabase> database, SettingsManager& settingsManager, QObject* parent = nullptr);
    // Stops monitoring (waiting for the running job), then lets the queue go.
    ~MonitorCoordinator() override;
    MonitorCoordinator(const MonitorCoordinator&) = delete;
    MonitorCoordinator& operator=(const MonitorCoordinator&) = delete;

    static CompiledExcludePatterns compileExcludePatterns(const std::vector<std::string>& patterns)
    {
        return CompiledExcludePatterns::compile(patterns);
    }

    // Queued: set up, run the first scan and, when it left unchanged items, a
    // re-analysis.
    void startMonitoring(const std::string& rootPath, const DestinationConfig& destination);
    // Queued: set up without scanning.
    void configure(const std::string& rootPath, const DestinationConfig& destination);
    // Blocks until the set-up is cleared on the queue; first cancels what runs.
    void stopMonitoring();
    // Queued: a manual scan, then a re-analysis unless it was cancelled.
    void scanNow();
    // Queued: a re-analysis of every indexed item.
    void reanalyze();
    // Queued: defer scans while a rename runs / stop deferring and replay one.
    // `suppressed`, when given, runs on the main thread once the deferral is
    // in force, that is after the job that ran when it was asked for.
    void suppressScans(std::function<void()> suppressed = {});
    void resumeScans();
    // Queued: take effect from the next scan or re-analysis.
    void updateDestination(const DestinationConfig& destination);
    void updateSettings(const TransformationSettings& settings);
    // Any thread: asks the running scan walk or re-analysis to stop.
    void stopAnalysis();

    // Current published values (main thread).
    const MonitoringStatus& status() const { return m_status; }
    const std::optional<ScanSummary>& lastScan() const { return m_lastScan; }
    int issueCount() const { return m_issueCount; }
    int totalIndexed() const { return m_totalIndexed; }
    // Sets and announces a status from the main thread (the view model does
    // so once when it shows stored results without a scan).
    void sendStatus(const MonitoringStatus& status);

    const std::shared_ptr<FileIndexDatabase>& database() const { return m_database; }

    // The last write to the index that failed for the current source, as
    // the text for the user ("Failed to save analysis results to the index:
    // " and SQLite's message); absent while every write worked. While it is
    // set, the status is `error` with it where it would be `monitoring`.
    // Cleared when monitoring starts, is configured or stops.
    const std::optional<std::string>& indexError() const { return m_indexError; }

    // The folders the last analysis flattened (final paths), as taken on the
    // queue when its results were published; read on the main thread.
    const SourceFileAnalyzer::PathSet& lastTooDeepPaths() const { return m_lastTooDeepPaths; }

    // Replace how the walk opens folders / observe it (tests). Applied on the
    // queue, after the work queued before.
    void setDirectoryOpener(DirectoryWalker::DirectoryOpener opener);
    void setWalkObserver(std::function<void()> observer);
    void setWalkReporter(ScanEngine::WalkReporter reporter);

signals:
    void statusChanged(const tess::MonitoringStatus& status);
    void lastScanChanged(const std::optional<tess::ScanSummary>& summary);
    void issueCountChanged(int count);
    void totalIndexedChanged(int count);
    // A new list of analysed items with issues (replaces the previous one).
    void analysisResultsChanged(const std::vector<tess::IndexedFile>& issues);
    // The same list, right after, shared instead of copied (for large lists).
    void analysisResultsShared(std::shared_ptr<const std::vector<tess::IndexedFile>> issues);
    // indexError() was set or cleared.
    void indexErrorChanged();

private:
    ScanEngine::Listener makeListener();
    ScanEngine::Generation currentGeneration() const;
    // Queues `work` on the coordinator's queue. A discardable job is dropped
    // when the source changed between queuing and running.
    void enqueue(std::function<void()> work, bool discardable);
    void handleSettingsChange(const std::vector<std::string>& excludePatterns, long long workerCount);
    void clearIndexError();
    // Runs `deliver` on the main thread if the coordinator still exists and
    // `generation` is still current.
    static void postToMain(QPointer<MonitorCoordinator> self, ScanEngine::Generation generation,
        std::function<void(MonitorCoordinator&)> deliver, bool logWhenGone);

    std::shared_ptr<FileIndexDatabase> m_database;
    QPointer<SettingsManager> m_settingsManager;
    MonitoringStatus m_status;
    std::optional<ScanSummary> m_lastScan;
    int m_issueCount = 0;
    int m_totalIndexed = 0;
    std::optional<std::string> m_indexError;
    SourceFileAnalyzer::PathSet m_lastTooDeepPaths;
    std::atomic<bool> m_destroying {false};
    // How many times the index had been replaced when the running (or last)
    // job began; shared with the report of failed writes.
    std::shared_ptr<std::atomic<std::uint64_t>> m_replacementsAtJob = std::make_shared<std::atomic<std::uint64_t>>(0);
    std::unique_ptr<ScanEngine> m_engine;
    // Declared last: destroyed (joined) first, while the engine still exists.
    SerialQueue m_queue {kQueueLabel};
};

}  // namespace tess

Q_DECLARE_METATYPE(tess::MonitoringStatus)
Q_DECLARE_METATYPE(tess::ScanSummary)
Q_DECLARE_METATYPE(std::optional<tess::ScanSummary>)
Q_DECLARE_METATYPE(tess::IndexedFile)
Q_DECLARE_METATYPE(std::vector<tess::IndexedFile>)
