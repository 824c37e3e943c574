#include "scan/ScanEngine.h"

#include "index/IssueTypesText.h"
#include "log/AppLogger.h"
#include "scan/ScanEngineSupport.h"

#include <exception>
#include <functional>
#include <utility>

namespace tess {

using namespace scanengine;

namespace {

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

    std::optional<IndexedRows> unchangedRows;
    const Counts counts = requestScan(ScanTrigger::manual, &unchangedRows);
    if (isCancelRequested() || isJobStale()) {
        TESS_LOG_INFO("MonitorCoordinator: Scan cancelled, not proceeding to reanalysis");
        return;
    }
    if (counts.unchangedFiles < 1) {
        TESS_LOG_INFO("MonitorCoordinator: All " + std::to_string(counts.newFiles) + " files analyzed fresh, skipping redundant reanalysis");
    } else {
        TESS_LOG_INFO("MonitorCoordinator: " + std::to_string(counts.unchangedFiles) + " unchanged files need reanalysis for current settings");
        requestReanalysis(std::move(unchangedRows));
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
    std::optional<IndexedRows> unchangedRows;
    requestScan(ScanTrigger::manual, &unchangedRows);
    if (isCancelRequested() || isJobStale()) {
        TESS_LOG_INFO("MonitorCoordinator: Scan cancelled, not proceeding to reanalysis");
        return;
    }
    requestReanalysis(std::move(unchangedRows));
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
        std::optional<IndexedRows> unchangedRows;
        requestScan(ScanTrigger::manual, &unchangedRows);
        requestReanalysis(std::move(unchangedRows));
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

ScanEngine::Counts ScanEngine::requestScan(ScanTrigger trigger, std::optional<IndexedRows>* unchangedRows)
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
    return performScan(*m_scanRoot, trigger, unchangedRows);
}

void ScanEngine::requestReanalysis(std::optional<IndexedRows> rows)
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
    reanalyzeAllFiles(*m_scanRoot, std::move(rows));
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

std::string ScanEngine::indexWriteFailureText(const std::string& message)
{
    return "Failed to save analysis results to the index: " + (message.empty() ? std::string("Unknown error") : message);
}

std::function<void()> ScanEngine::indexWriteFailureReporter() const
{
    return [report = m_listener.indexWriteFailed, generation = m_jobGeneration, database = m_database] {
        if (report) {
            report(indexWriteFailureText(database->lastWriteFailure()), generation);
        }
    };
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

// --- Analysis and issue records ------------------------------------------------

const TransformationSettings& ScanEngine::settingsForAnalysis()
{
    if (!m_cachedActiveSettings) {
        m_cachedActiveSettings = m_activeSettings;
    }
    return *m_cachedActiveSettings;
}

SourceFileAnalyzer::AnalysisResult ScanEngine::analyzeItems(std::vector<FileItem> items, const std::string& root,
    const SourceFileAnalyzer::CancelCheck& isCancelled)
{
    const TransformationSettings& settings = settingsForAnalysis();
    const SourceFileAnalyzer analyzer(settings, destinationRootByteCount(m_destinationConfig));
    const std::string target = m_destinationConfig ? m_destinationConfig->displayName() : std::string("unknown");
    return analyzer.analyze(std::move(items), root, target, isCancelled);
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

std::vector<IndexedFile> ScanEngine::issueRecordsOf(const std::vector<FileTransformationResult>& results, const std::string& scanRoot,
    Clock::time_point time)
{
    std::vector<IndexedFile> records;
    std::int64_t nextId = 1;
    for (const auto& result : results) {
        if (!result.transformations.empty()) {
            records.push_back(makeIndexedFile(result, nextId, scanRoot, time));
        }
    }
    return records;
}

}  // namespace tess
