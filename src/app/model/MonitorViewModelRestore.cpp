// MonitorViewModel: the restore of the last results at start-up and the stop
// of monitoring.

#include "model/MonitorViewModel.h"

#include "core/FormatSeconds.h"
#include "history/HistoryJournal.h"
#include "history/TransformationHistory.h"
#include "log/AppLogger.h"
#include "model/MonitorCoordinator.h"
#include "model/SettingsManager.h"
#include "model/ThreadDescription.h"
#include "model/WallClock.h"

#include <dirent.h>
#include <sys/stat.h>

#include <limits>
#include <utility>

namespace tess {

namespace {

std::string lastPathComponent(const std::string& path)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    const std::size_t slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

std::string_view extensionOf(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

double modificationSeconds(const struct stat& info)
{
    return static_cast<double>(info.st_mtim.tv_sec) + static_cast<double>(info.st_mtim.tv_nsec) / 1e9;
}

// Whether the history folder holds a batch of `sourcePath` (a history file,
// or the journal of a batch that never finished) written after `since`
// (seconds since 1970; none: at any time). Only files written after `since`
// are read.
bool batchOfFolderSince(const std::string& historyFolder, const std::string& sourcePath, std::optional<double> since)
{
    DIR* folder = ::opendir(historyFolder.c_str());
    if (folder == nullptr) {
        return false;
    }
    bool found = false;
    while (const dirent* item = ::readdir(folder)) {
        const std::string_view name = item->d_name;
        const std::string_view extension = extensionOf(name);
        const bool journal = extension == HistoryJournal::kExtension;
        if (name.empty() || name.front() == '.' || (!journal && extension != TransformationHistory::kExtension)) {
            continue;
        }
        const std::string path = historyFolder + "/" + std::string(name);
        struct stat info { };
        if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || (since && modificationSeconds(info) <= *since)) {
            continue;
        }
        const std::optional<TransformationHistory::HeaderSummary> summary
            = journal ? HistoryJournal::readSummary(path) : TransformationHistory::readHeader(path);
        if (summary && summary->scanRoot == sourcePath) {
            found = true;
            break;
        }
    }
    ::closedir(folder);
    return found;
}

}  // namespace

// What a restore read from the index on its worker.
struct MonitorViewModel::RestoreOutcome {
    std::shared_ptr<FileIndexDatabase> database;  // null when nothing is restored
    std::int64_t total = 0;
    std::int64_t issues = 0;
    std::optional<TimePoint> lastAnalysisTime;
    std::shared_ptr<const PreparedIssueList> list;
    // A rename or undo batch of the folder was recorded after the scan the
    // results come from: they may list names that are gone.
    bool predatesBatch = false;
    std::string sourcePath;
    double startSeconds = 0.0;
    std::optional<std::string> openError;  // the index could not be opened
    std::optional<std::string> indexNotice;  // a damaged index was replaced
};

// --- Lifecycle ----------------------------------------------------------------------

void MonitorViewModel::restoreSavedSourceFolder()
{
    const AppSettings::Preferences& preferences = m_settingsManager->settings().preferences;
    if (preferences.lastSourcePath) {
        const std::string path = *preferences.lastSourcePath;
        struct stat info { };
        if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            setSourcePath(path);
            setMissingSourcePath(std::nullopt);
        } else {
            setMissingSourcePath(path);
        }
    }
    m_destinationConfig = m_settingsManager->settings().preferences.lastDestinationConfig;
    if (!m_destinationConfig && m_activeSettings.selectedFilesystem) {
        m_destinationConfig = DestinationConfig::presetFilesystem(*m_activeSettings.selectedFilesystem, m_activeSettings.selectedCaseSensitive);
    }
    emit destinationConfigChanged();

    if (m_sourcePath && !m_isMonitoring) {
        const std::string source = *m_sourcePath;
        const double start = nowSeconds();
        advanceSourceGeneration();
        setIsRestoringSession(true);
        restoreSession(source, start);
    }
}

void MonitorViewModel::restoreSession(const std::string& sourcePath, double startSeconds)
{
    const Generation generation = m_sourceGeneration;
    const QPointer<MonitorViewModel> self(this);
    const std::string dbPath = databasePath();
    runInBackground([self, generation, dbPath, history = historyFolder(), criteria = filterCriteria(), sourcePath, startSeconds] {
        auto outcome = std::make_shared<RestoreOutcome>();
        outcome->sourcePath = sourcePath;
        outcome->startSeconds = startSeconds;
        auto opened = FileIndexDatabase::open(dbPath);
        if (!opened.ok()) {
            outcome->openError = opened.error().message;
        } else {
            std::shared_ptr<FileIndexDatabase> database = opened.value();
            const double t1 = nowSeconds();
            const std::int64_t total = database->totalCount(sourcePath);
            if (total < 1) {
                database->close();
            } else {
                const std::int64_t issues = database->issueCount(sourcePath);
                const double t2 = nowSeconds();
                const std::optional<ScanRecord> scan = database->lastCompletedScan(sourcePath);
                if (scan) {
                    outcome->lastAnalysisTime = scan->endTime ? *scan->endTime : scan->startTime;
                }
                outcome->predatesBatch = batchOfFolderSince(history, sourcePath,
                    scan ? std::optional<double>(secondsSince1970(scan->startTime)) : std::nullopt);
                TESS_LOG_DEBUG("MonitorViewModel: restoreSession DB opened in " + formatSeconds(t1 - startSeconds, 3)
                    + "s, counts ready in " + formatSeconds(t2 - startSeconds, 3) + "s (" + std::to_string(total) + " files, "
                    + std::to_string(issues) + " issues)");
                const double t3 = nowSeconds();
                auto files = std::make_shared<const std::vector<IndexedFile>>(
                    database->fetchFilesWithIssues(sourcePath, std::numeric_limits<std::int64_t>::max(), 0));
                TESS_LOG_DEBUG("MonitorViewModel: restoreSession loaded " + std::to_string(files->size()) + " issues in "
                    + formatSeconds(nowSeconds() - t3, 3) + "s (background)");
                outcome->list = prepareIssueList(std::move(files), criteria);
                outcome->total = total;
                outcome->issues = issues;
                outcome->database = std::move(database);
            }
            // Read last: a query that met damage has replaced the index.
            outcome->indexNotice = opened.value()->recoveryNotice();
        }
        postToMain(self, [generation, outcome](MonitorViewModel* model) {
            if (model == nullptr) {
                closeInBackground(outcome->database);
                return;
            }
            model->landRestore(generation, outcome);
        });
    });
}

void MonitorViewModel::landRestore(Generation generation, std::shared_ptr<RestoreOutcome> outcome)
{
    // The index file was replaced whatever folder is shown now: say so.
    if (outcome->indexNotice) {
        setIndexNotice(outcome->indexNotice);
    }
    if (generation != m_sourceGeneration) {
        // Overtaken by another folder, a reset or a start: nothing of it is kept.
        closeInBackground(outcome->database);
        return;
    }
    if (outcome->openError) {
        setMonitoringStatus(MonitoringStatus::error(*outcome->openError));
        setIndexErrorMessage(outcome->openError);
    }
    if (!outcome->database) {
        setIsRestoringSession(false);
        return;
    }
    if (outcome->predatesBatch && !m_destinationConfig) {
        // Without a destination no scan can run: the rows are not shown as current.
        TESS_LOG_WARN("⚠️ MonitorViewModel: A rename or undo was recorded after the last scan of " + outcome->sourcePath
            + "; its results are not shown until it is scanned again");
        closeInBackground(outcome->database);
        setIsRestoringSession(false);
        return;
    }
    attachDatabase(outcome->database);
    setTotalIndexed(static_cast<int>(outcome->total));
    setIssueCount(static_cast<int>(outcome->issues));
    setCachedFileCount(0);
    setLastAnalysisTime(outcome->lastAnalysisTime);
    setIssueList(*outcome->list);
    setIsRestoringSession(false);
    TESS_LOG_INFO("MonitorViewModel: Restored " + std::to_string(outcome->total) + " cached files (" + std::to_string(outcome->issues)
        + " issues) for " + lastPathComponent(outcome->sourcePath) + " in " + formatSeconds(nowSeconds() - outcome->startSeconds, 2) + "s");
    if (outcome->predatesBatch) {
        // The scan that batch asked for never ran (the application ended
        // first): it runs now, and the restored rows stay under its progress
        // until it replaces them.
        TESS_LOG_INFO("MonitorViewModel: A rename or undo was recorded after the last scan of " + outcome->sourcePath
            + "; scanning it again");
        startMonitoring();
    }
}

void MonitorViewModel::stopMonitoring()
{
    TESS_LOG_DEBUG(std::string("MonitorViewModel: stopMonitoring() called, coordinator=") + (m_coordinator ? "alive" : "nil")
        + ", thread=" + currentThreadDescription());
    advanceSourceGeneration();  // a database still opening for a start or a restore is dropped
    ++m_resultsGeneration;
    dropHeldDeliveries();
    if (m_coordinator) {
        m_coordinator->stopAnalysis();
        m_coordinator->stopMonitoring();
    }
    TESS_LOG_DEBUG("MonitorViewModel: coordinator.stopMonitoring() returned, clearing coordinator cancellables");
    for (const QMetaObject::Connection& connection : m_coordinatorConnections) {
        disconnect(connection);
    }
    m_coordinatorConnections.clear();
    m_coordinator.reset();
    TESS_LOG_DEBUG("MonitorViewModel: coordinator set to nil, closing database");
    const QPointer<MonitorViewModel> self(this);
    closeInBackground(std::move(m_database), [self] {
        if (self) {
            emit self->monitoringStopped();
        }
    });
    m_database.reset();
    setIsMonitoring(false);
    setMonitoringStatus(MonitoringStatus::idle());
    TESS_LOG_INFO("MonitorViewModel: Monitoring stopped");
}

void MonitorViewModel::onStopMonitoringForReset()
{
    stopMonitoring();
    // The index is being deleted; a new one starts without its fault, and
    // without the notice of a damaged file it replaced.
    setIndexErrorMessage(std::nullopt);
    setIndexNotice(std::nullopt);
}

}  // namespace tess
