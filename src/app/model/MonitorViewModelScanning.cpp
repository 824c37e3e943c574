// MonitorViewModel: starting scans and analyses, and receiving their results
// from the coordinator.

#include "model/MonitorViewModel.h"

#include "core/FormatSeconds.h"
#include "log/AppLogger.h"
#include "model/MonitorCoordinator.h"
#include "model/SettingsManager.h"
#include "model/WallClock.h"

#include <cerrno>
#include <utility>

namespace tess {

namespace {

ScanProgress startingProgress(ScanPhase phase, std::chrono::system_clock::time_point startTime)
{
    ScanProgress progress;
    progress.currentPhase = phase;
    progress.trigger = ScanTrigger::manual;
    progress.startTime = startTime;
    return progress;
}

}  // namespace

// --- Scanning -----------------------------------------------------------------------

void MonitorViewModel::storeLastSourceAndDestination()
{
    const std::optional<std::string> source = m_sourcePath;
    const std::optional<DestinationConfig> destination = m_destinationConfig;
    m_settingsManager->updateSettings([&](AppSettings& settings) {
        settings.preferences.lastSourcePath = source;
        settings.preferences.lastDestinationConfig = destination;
    });
    m_settingsManager->saveSettings();
}

void MonitorViewModel::startMonitoring()
{
    if (!m_sourcePath || !m_destinationConfig) {
        TESS_LOG_WARN("⚠️ Cannot start monitoring: source or destination not configured");
        return;
    }
    startRun(false);
}

void MonitorViewModel::analyzeFromDatabase()
{
    if (!m_sourcePath || !m_destinationConfig) {
        TESS_LOG_WARN("⚠️ Cannot analyze from DB: source or destination not configured");
        return;
    }
    TESS_LOG_DEBUG("MonitorViewModel: analyzeFromDatabase() entered");
    startRun(true);
}

void MonitorViewModel::startRun(bool analyzeOnly)
{
    // A coordinator that exists is stopped first: two would write one index.
    if (m_coordinator) {
        stopMonitoring();
    }
    const TimePoint startDate = Clock::now();
    const MonitoringStatus starting
        = MonitoringStatus::scanning(startingProgress(analyzeOnly ? ScanPhase::analyzing : ScanPhase::enumerating, startDate));
    setIsMonitoring(true);
    setCachedFileCount(0);
    setMonitoringStatus(starting);
    storeLastSourceAndDestination();

    const Generation generation = advanceSourceGeneration();
    const QPointer<MonitorViewModel> self(this);
    const std::string source = *m_sourcePath;
    const DestinationConfig destination = *m_destinationConfig;
    const std::string dbPath = databasePath();
    runInBackground([self, generation, source, destination, dbPath, analyzeOnly, starting] {
        const double start = nowSeconds();
        auto opened = FileIndexDatabase::open(dbPath);
        if (opened.ok()) {
            TESS_LOG_DEBUG(std::string(analyzeOnly ? "MonitorViewModel: analyzeFromDatabase DB opened in " : "MonitorViewModel: DB opened in ")
                + formatSeconds(nowSeconds() - start, 3) + (analyzeOnly ? "s" : "s (background)"));
        }
        auto result = std::make_shared<Result<std::shared_ptr<FileIndexDatabase>>>(std::move(opened));
        postToMain(self, [generation, source, destination, analyzeOnly, starting, result](MonitorViewModel* model) {
            const bool current = model != nullptr && generation == model->m_sourceGeneration;
            if (!result->ok()) {
                if (current) {
                    model->setIsMonitoring(false);
                    model->setMonitoringStatus(MonitoringStatus::error(result->error().message));
                    model->setIndexErrorMessage(result->error().message);
                }
                TESS_LOG_ERROR(std::string("❌ ") + (analyzeOnly ? "MonitorViewModel: Failed to analyze from DB: " : "MonitorViewModel: Failed to start monitoring: ")
                    + result->error().message);
                return;
            }
            if (!current) {
                closeInBackground(result->value());  // the model or its source is gone
                return;
            }
            model->attachDatabase(result->value());
            MonitorCoordinator& coordinator = model->makeCoordinator();
            // The run's status holds from the start: the new coordinator's
            // own (idle) would show between the start and its first status.
            coordinator.sendStatus(starting);
            model->subscribeToCoordinator(coordinator);
            if (analyzeOnly) {
                coordinator.configure(source, destination);
                coordinator.reanalyze();
                TESS_LOG_INFO("MonitorViewModel: Analyzing from database for " + source);
            } else {
                coordinator.startMonitoring(source, destination);
                TESS_LOG_INFO("MonitorViewModel: Monitoring started for " + source);
            }
        });
    });
}

MonitorCoordinator& MonitorViewModel::makeCoordinator()
{
    m_coordinator = std::make_unique<MonitorCoordinator>(m_database, *m_settingsManager);
    // A recorder per coordinator: a late walk of the one before cannot mix in.
    m_walkFailures = std::make_shared<WalkFailureRecorder>();
    m_walkSeen = 0;
    m_run = {};
    m_coordinator->setDirectoryOpener(m_directoryOpener);
    m_coordinator->setWalkReporter(WalkFailureRecorder::reporter(m_walkFailures));
    return *m_coordinator;
}

void MonitorViewModel::attachDatabase(std::shared_ptr<FileIndexDatabase> database)
{
    if (m_database && m_database != database) {
        closeInBackground(std::move(m_database));  // e.g. the one a restore opened
    }
    m_database = std::move(database);
    // The index tells whether it replaced a damaged file that no scan has
    // rebuilt yet, when it opens and whenever that changes.
    // (Compared by address: a reference taken here could be the last one,
    // and closing the index must not happen on the main thread.)
    const QPointer<MonitorViewModel> self(this);
    const FileIndexDatabase* const attached = m_database.get();
    m_database->setRecoveryNoticeObserver([self, attached] {
        postToMain(self, [attached](MonitorViewModel* model) {
            if (model != nullptr && model->m_database.get() == attached) {
                model->setIndexNotice(model->m_database->recoveryNotice());
            }
        });
    });
    setIndexNotice(m_database->recoveryNotice());
}

void MonitorViewModel::subscribeToCoordinator(MonitorCoordinator& coordinator)
{
    // A write the index refused: the window says so, with the reset as the way out.
    m_coordinatorConnections.push_back(connect(&coordinator, &MonitorCoordinator::indexErrorChanged, this, [this, &coordinator] {
        deliverAfterPendingList([this, message = coordinator.indexError()] { setIndexErrorMessage(message); });
    }));
    // Status and last scan: the current value first, then every change.
    setMonitoringStatus(coordinator.status());
    const auto applySummary = [this](const std::optional<ScanSummary>& summary) {
        setLastScanSummary(summary);
        if (summary) {
            m_run.gaveSummary = true;
            setLastAnalysisTime(summary->timestamp);
        }
    };
    m_coordinatorConnections.push_back(connect(&coordinator, &MonitorCoordinator::statusChanged, this,
        [this](const MonitoringStatus& status) { deliverAfterPendingList([this, status] { receiveCoordinatorStatus(status); }); }));
    m_coordinatorConnections.push_back(connect(&coordinator, &MonitorCoordinator::analysisResultsShared, this, &MonitorViewModel::receiveAnalysisResults));
    applySummary(coordinator.lastScan());
    m_coordinatorConnections.push_back(connect(&coordinator, &MonitorCoordinator::lastScanChanged, this,
        [this, applySummary](const std::optional<ScanSummary>& summary) { deliverAfterPendingList([applySummary, summary] { applySummary(summary); }); }));
    // The counts: only values sent after subscribing, equal or not.
    m_coordinatorConnections.push_back(connect(&coordinator, &MonitorCoordinator::issueCountChanged, this,
        [this](int count) { deliverAfterPendingList([this, count] { setIssueCount(count); }); }));
    m_coordinatorConnections.push_back(connect(&coordinator, &MonitorCoordinator::totalIndexedChanged, this,
        [this](int count) { deliverAfterPendingList([this, count] { setTotalIndexed(count); }); }));
}

void MonitorViewModel::receiveAnalysisResults(std::shared_ptr<const std::vector<IndexedFile>> files)
{
    // A large list is prepared off the main thread (lookup indexes and first
    // filter pass). Lists are published in the order they came, each before
    // what the coordinator sent after it (its counts, the summary, the end).
    deliverAfterPendingList([this, files = std::move(files)] {
        const Generation generation = ++m_resultsGeneration;
        const Generation source = m_sourceGeneration;
        m_listPending = true;
        const QPointer<MonitorViewModel> self(this);
        runInBackground([self, generation, source, files, criteria = filterCriteria()] {
            std::shared_ptr<const PreparedIssueList> list = prepareIssueList(files, criteria);
            postToMain(self, [generation, source, list](MonitorViewModel* model) {
                if (model == nullptr || generation != model->m_resultsGeneration) {
                    return;
                }
                if (source != model->m_sourceGeneration) {
                    model->dropHeldDeliveries();  // what waited for it belongs to another source
                    return;
                }
                model->setIssueList(*list);
                model->m_selectedFileIDs.clear();
                emit model->selectedFileIDsChanged();
                model->releaseHeldDeliveries();
            });
        });
    });
}

// --- How a scan fell short ----------------------------------------------------------

void MonitorViewModel::receiveCoordinatorStatus(const MonitoringStatus& status)
{
    if (status.isScanning() && !m_run.running) {
        m_run = {true, status.progress().currentPhase == ScanPhase::enumerating, false};
        if (m_run.isScan) {
            setScanShortfall(false, {});
        }
    }
    setMonitoringStatus(status);
    if (!status.isScanning() && m_run.running) {
        m_run.running = false;
        if (m_run.isScan) {
            finishScanRun();
        }
    }
}

void MonitorViewModel::finishScanRun()
{
    WalkFailureRecorder::Walk walk;
    const bool newWalk = m_walkFailures && (walk = m_walkFailures->lastWalk()).sequence != m_walkSeen;
    if (!newWalk) {
        // Stopped before its walk began: what the last walk found still holds.
        setScanShortfall(!m_run.gaveSummary, m_unreadableFolders);
        return;
    }
    m_walkSeen = walk.sequence;
    if (m_run.gaveSummary || !walk.rootError || !m_sourcePath) {
        setScanShortfall(!m_run.gaveSummary, std::move(walk.folders));
        return;
    }
    const std::string source = *m_sourcePath;
    const int rootError = *walk.rootError;
    if (rootError == ENOENT || rootError == ENOTDIR) {
        // Later: this runs inside the coordinator's signal, and the
        // coordinator goes away with the folder.
        const Generation generation = m_sourceGeneration;
        QMetaObject::invokeMethod(
            this,
            [this, generation, source] {
                if (generation == m_sourceGeneration) {
                    showSourceMissing(source);
                }
            },
            Qt::QueuedConnection);
        return;
    }
    walk.folders.insert(walk.folders.begin(), UnreadableFolder {source, WalkFailureRecorder::reasonText(rootError)});
    setScanShortfall(true, std::move(walk.folders));
}

void MonitorViewModel::setScanShortfall(bool stopped, std::vector<UnreadableFolder> folders)
{
    if (m_lastScanStopped == stopped && m_unreadableFolders == folders) {
        return;
    }
    m_lastScanStopped = stopped;
    m_unreadableFolders = std::move(folders);
    emit scanShortfallChanged();
}

void MonitorViewModel::showSourceMissing(const std::string& path)
{
    TESS_LOG_WARN("⚠️ MonitorViewModel: Source folder " + path + " is gone; its results are no longer shown");
    stopMonitoring();
    resetResults();
    setSourcePath(std::nullopt);
    setMissingSourcePath(path);
}

}  // namespace tess
