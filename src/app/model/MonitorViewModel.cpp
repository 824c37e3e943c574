// MonitorViewModel: construction, its threads, the published state and the
// texts computed from it.

#include "model/MonitorViewModel.h"

#include "core/XdgPaths.h"
#include "log/AppLogger.h"
#include "model/MonitorCoordinator.h"
#include "model/SettingsManager.h"

#include <QCoreApplication>
#include <QThreadPool>

#include <utility>

namespace tess {

MonitorViewModel::MonitorViewModel(Dependencies dependencies, QObject* parent)
    : QObject(parent)
    , m_settingsManager(dependencies.settingsManager != nullptr ? dependencies.settingsManager : &SettingsManager::shared())
    , m_dataFolder(dependencies.dataFolder.empty() ? XdgPaths::applicationSupportDirectory() : dependencies.dataFolder)
    , m_folderPicker(std::move(dependencies.folderPicker))
    , m_prober(std::move(dependencies.prober))
    , m_isHelperReady(std::move(dependencies.isHelperReady))
    , m_notificationCenter(dependencies.notificationCenter != nullptr ? dependencies.notificationCenter
                                                                      : &NotificationCenter::defaultCenter())
    , m_issueFiles(std::make_shared<const std::vector<IndexedFile>>())
    , m_indexes(std::make_shared<const LookupIndexes>())
    , m_renameDependencies(std::move(dependencies.rename))
{
    m_directoryOpener = std::move(dependencies.directoryOpener);
    if (!m_prober) {
        m_prober = [](const FileTransformationConfig& config, const std::string& folder) {
            return FilesystemDetector(config).detectCapabilities(folder);
        };
    }
    // The stored settings, without writing them back.
    m_activeSettings = m_settingsManager->settings().preferences.activeSettings;
    // Through the setter, which stores and saves the name once.
    setActivePresetName(m_settingsManager->settings().preferences.activePresetName);
    restoreSavedSourceFolder();

    m_searchDebounce.setSingleShot(true);
    // Exactly the pause after the last keystroke (a coarse timer may add 5 %).
    m_searchDebounce.setTimerType(Qt::PreciseTimer);
    m_searchDebounce.setInterval(kSearchDebounceMilliseconds);
    // No pass at the start: the empty list's result is the empty one, and a
    // restored list comes with its first pass.
    connect(&m_searchDebounce, &QTimer::timeout, this, &MonitorViewModel::applyFilters);

    const QPointer<MonitorViewModel> self(this);
    m_resetObserver = m_notificationCenter->addObserver(kStopMonitoringForResetNotification, [self](const NotificationCenter::Notification&) {
        // Always a later main-thread turn, after the poster has returned.
        postToMain(self, [](MonitorViewModel* model) {
            if (model != nullptr) {
                model->onStopMonitoringForReset();
            }
        });
    });
}

MonitorViewModel::~MonitorViewModel()
{
    TESS_LOG_DEBUG("MonitorViewModel: deinit called");
    m_notificationCenter->removeObserver(m_resetObserver);
    for (const QMetaObject::Connection& connection : m_coordinatorConnections) {
        disconnect(connection);
    }
    if (m_coordinator) {
        // Its destructor waits for the running job: let that end early.
        m_coordinator->stopAnalysis();
        m_coordinator.reset();
    }
}

// --- Threads ------------------------------------------------------------------------

void MonitorViewModel::runInBackground(std::function<void()> work)
{
    QThreadPool::globalInstance()->start(std::move(work));
}

void MonitorViewModel::postToMain(QPointer<MonitorViewModel> self, std::function<void(MonitorViewModel*)> deliver)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return;
    }
    QMetaObject::invokeMethod(
        app, [self, deliver = std::move(deliver)] { deliver(self.data()); }, Qt::QueuedConnection);
}

void MonitorViewModel::closeInBackground(std::shared_ptr<FileIndexDatabase> database, std::function<void()> done)
{
    runInBackground([database = std::move(database), done = std::move(done)]() mutable {
        if (database) {
            database->close();
            database.reset();
        }
        if (done) {
            QCoreApplication* app = QCoreApplication::instance();
            if (app != nullptr) {
                QMetaObject::invokeMethod(app, std::move(done), Qt::QueuedConnection);
            }
        }
    });
}

MonitorViewModel::Generation MonitorViewModel::advanceSourceGeneration()
{
    // A restore still running for the old source is abandoned with it.
    setIsRestoringSession(false);
    return ++m_sourceGeneration;
}

std::string MonitorViewModel::databasePath() const
{
    return m_dataFolder + "/" + FileIndexDatabase::kFileName;
}

// --- Plain setters ----------------------------------------------------------------

void MonitorViewModel::setMonitoringStatus(const MonitoringStatus& status)
{
    m_monitoringStatus = status;
    emit monitoringStatusChanged();
}

void MonitorViewModel::setIsMonitoring(bool monitoring)
{
    m_isMonitoring = monitoring;
    emit isMonitoringChanged();
}

void MonitorViewModel::setIsRestoringSession(bool restoring)
{
    if (m_isRestoringSession == restoring) {
        return;
    }
    m_isRestoringSession = restoring;
    emit isRestoringSessionChanged();
}

void MonitorViewModel::setSourcePath(const std::optional<std::string>& path)
{
    m_sourcePath = path;
    emit sourcePathChanged();
}

void MonitorViewModel::setMissingSourcePath(const std::optional<std::string>& path)
{
    m_missingSourcePath = path;
    emit missingSourcePathChanged();
}

void MonitorViewModel::setIssueCount(int count)
{
    m_issueCount = count;
    emit issueCountChanged();
}

void MonitorViewModel::setTotalIndexed(int count)
{
    m_totalIndexed = count;
    emit totalIndexedChanged();
}

void MonitorViewModel::setCachedFileCount(int count)
{
    m_cachedFileCount = count;
    emit cachedFileCountChanged();
}

void MonitorViewModel::setLastAnalysisTime(const std::optional<TimePoint>& time)
{
    m_lastAnalysisTime = time;
    emit lastAnalysisTimeChanged();
}

void MonitorViewModel::setLastScanSummary(const std::optional<ScanSummary>& summary)
{
    m_lastScanSummary = summary;
    emit lastScanSummaryChanged();
}

void MonitorViewModel::setDetection(const std::optional<FilesystemCapabilities>& capabilities, const std::optional<std::string>& summary)
{
    m_detectedCapabilities = capabilities;
    m_detectedCapabilitiesSummary = summary;
    emit detectedCapabilitiesChanged();
}

void MonitorViewModel::setPendingProbePath(const std::optional<std::string>& path)
{
    m_pendingProbePath = path;
    emit pendingProbePathChanged();
}

void MonitorViewModel::setProbeErrorMessage(const std::optional<std::string>& message)
{
    m_probeErrorMessage = message;
    emit probeErrorMessageChanged();
}

void MonitorViewModel::setIsDetectingFilesystem(bool detecting)
{
    m_isDetectingFilesystem = detecting;
    emit isDetectingFilesystemChanged();
}

void MonitorViewModel::setIndexErrorMessage(const std::optional<std::string>& message)
{
    if (message) {
        TESS_LOG_ERROR("❌ MonitorViewModel: The index cannot be used: " + *message);
    }
    m_indexErrorMessage = message;
    emit indexErrorMessageChanged();
}

void MonitorViewModel::setIndexNotice(const std::optional<std::string>& notice)
{
    if (m_indexNotice == notice) {
        return;
    }
    m_indexNotice = notice;
    emit indexErrorMessageChanged();
}

void MonitorViewModel::setShowAdvancedSettings(bool show)
{
    m_showAdvancedSettings = show;
    emit showAdvancedSettingsChanged();
}

void MonitorViewModel::setShowRenameConfirmation(bool show)
{
    m_showRenameConfirmation = show;
    emit renameStateChanged();
}

void MonitorViewModel::setShowRenameResult(bool show)
{
    m_showRenameResult = show;
    emit renameStateChanged();
}

void MonitorViewModel::setRenameResultMessage(const std::string& message)
{
    m_renameResultMessage = message;
    emit renameStateChanged();
}

void MonitorViewModel::setIsRenaming(bool renaming)
{
    m_isRenaming = renaming;
    emit renameStateChanged();
}

void MonitorViewModel::setRenameStartTime(const std::optional<TimePoint>& time)
{
    m_renameStartTime = time;
    emit renameStateChanged();
}

void MonitorViewModel::setRenameProgressLabel(const std::string& label)
{
    m_renameProgressLabel = label;
    emit renameStateChanged();
}

// --- Computed -----------------------------------------------------------------------

std::string MonitorViewModel::statusTextFor(const MonitoringStatus& status, int totalIndexed, int issueCount)
{
    switch (status.kind()) {
    case MonitoringStatus::Kind::scanning:
        return std::string(rawValue(status.progress().currentPhase));
    case MonitoringStatus::Kind::error:
        return "Error: " + status.message();
    case MonitoringStatus::Kind::idle:
        if (totalIndexed < 1) {
            return "Idle";
        }
        break;
    case MonitoringStatus::Kind::monitoring:
        break;
    }
    if (issueCount < 1) {
        return std::to_string(totalIndexed) + " files indexed, no issues";
    }
    return std::to_string(totalIndexed) + " files indexed, " + std::to_string(issueCount) + " issues";
}

std::optional<std::string> MonitorViewModel::progressTextFor(const MonitoringStatus& status)
{
    if (!status.isScanning()) {
        return std::nullopt;
    }
    const ScanProgress& progress = status.progress();
    std::string text;
    const auto add = [&text](int count, const char* word) {
        if (count < 1) {
            return;
        }
        if (!text.empty()) {
            text += ", ";
        }
        text += std::to_string(count) + word;
    };
    add(progress.filesEnumerated, " enumerated");
    add(progress.newFiles, " new");
    add(progress.changedFiles, " changed");
    add(progress.filesAnalyzed, " analyzed");
    return text;
}

std::string MonitorViewModel::statusText() const
{
    // A stopped scan with nothing indexed must not read as a clean result.
    if (m_lastScanStopped && m_totalIndexed < 1 && m_monitoringStatus.kind() != MonitoringStatus::Kind::scanning
        && m_monitoringStatus.kind() != MonitoringStatus::Kind::error) {
        return kScanStoppedText;
    }
    return statusTextFor(m_monitoringStatus, m_totalIndexed, m_issueCount);
}

std::optional<std::string> MonitorViewModel::progressText() const
{
    return progressTextFor(m_monitoringStatus);
}

std::optional<MonitorViewModel::TimePoint> MonitorViewModel::scanStartTime() const
{
    if (!m_monitoringStatus.isScanning()) {
        return std::nullopt;
    }
    return m_monitoringStatus.progress().startTime;
}

bool MonitorViewModel::hasResults() const
{
    if (m_totalIndexed >= 1 && m_issueCount >= 0 && m_lastAnalysisTime) {
        return true;
    }
    return m_isMonitoring && !m_monitoringStatus.isScanning();
}

bool MonitorViewModel::canStartMonitoring() const
{
    return m_sourcePath && m_destinationConfig && !m_isMonitoring;
}

CheckboxState MonitorViewModel::selectAllState() const
{
    return tess::selectAllState(m_selectedFileIDs, m_filter.selectableIds);
}

std::vector<IndexedFile> MonitorViewModel::filteredIssues() const
{
    std::vector<IndexedFile> rows;
    rows.reserve(m_filter.positions.size());
    for (const std::uint32_t position : m_filter.positions) {
        rows.push_back((*m_issueFiles)[position]);
    }
    return rows;
}

const IndexedFile* MonitorViewModel::issueFileByID(std::int64_t id) const
{
    const auto found = m_indexes->positionOfId.find(id);
    if (found == m_indexes->positionOfId.end() || found->second >= m_issueFiles->size()) {
        return nullptr;
    }
    return &(*m_issueFiles)[found->second];
}

}  // namespace tess
