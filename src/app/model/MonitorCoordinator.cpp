#include "model/MonitorCoordinator.h"

#include "log/AppLogger.h"
#include "model/SettingsManager.h"
#include "model/ThreadDescription.h"

#include <QCoreApplication>
#include <QThread>

#include <utility>

namespace tess {

MonitorCoordinator::MonitorCoordinator(std::shared_ptr<FileIndexDatabase> database, SettingsManager& settingsManager,
    QObject* parent)
    : QObject(parent)
    , m_database(std::move(database))
    , m_settingsManager(&settingsManager)
{
    // A main-thread object, even when created on a background task.
    if (QCoreApplication* app = QCoreApplication::instance(); app != nullptr && parent == nullptr && thread() != app->thread()) {
        moveToThread(app->thread());
    }
    const AppSettings::Preferences& preferences = settingsManager.settings().preferences;
    m_engine = std::make_unique<ScanEngine>(m_database, preferences.activeSettings, preferences.excludePatterns,
        static_cast<long long>(preferences.workerCount), makeListener());
    // The signal carries later values only, so the current one is not seen
    // twice. Handled on the coordinator's queue, never in the middle of a job.
    connect(&settingsManager, &SettingsManager::settingsChanged, this, [this](const AppSettings& settings) {
        handleSettingsChange(settings.preferences.excludePatterns, static_cast<long long>(settings.preferences.workerCount));
    });
}

MonitorCoordinator::~MonitorCoordinator()
{
    TESS_LOG_DEBUG("MonitorCoordinator: deinit called on thread " + currentThreadDescription());
    stopMonitoring();
    m_destroying = true;
    TESS_LOG_DEBUG("MonitorCoordinator: deinit completed");
}

// --- Publication ------------------------------------------------------------------

void MonitorCoordinator::postToMain(QPointer<MonitorCoordinator> self, ScanEngine::Generation generation,
    std::function<void(MonitorCoordinator&)> deliver, bool logWhenGone)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return;
    }
    QMetaObject::invokeMethod(
        app,
        [self, generation, deliver = std::move(deliver), logWhenGone] {
            MonitorCoordinator* coordinator = self.data();
            if (coordinator == nullptr) {
                if (logWhenGone) {
                    TESS_LOG_DEBUG("MonitorCoordinator: publishStatus — self deallocated before main queue dispatch");
                }
                return;
            }
            if (generation != coordinator->currentGeneration()) {
                return;  // produced for a source that has been left since
            }
            deliver(*coordinator);
        },
        Qt::QueuedConnection);
}

ScanEngine::Listener MonitorCoordinator::makeListener()
{
    const QPointer<MonitorCoordinator> self(this);
    ScanEngine::Listener listener;
    listener.status = [self](const MonitoringStatus& status, ScanEngine::Generation generation) {
        postToMain(
            self, generation, [status](MonitorCoordinator& coordinator) {
                // Once the index failed a write, this source is not
                // monitored as it should be: that stays the status.
                const bool failed = coordinator.m_indexError && status.kind() == MonitoringStatus::Kind::monitoring;
                coordinator.sendStatus(failed ? MonitoringStatus::error(*coordinator.m_indexError) : status);
            },
            true);
    };
    listener.indexWriteFailed = [self](const std::string& message, ScanEngine::Generation generation) {
        postToMain(
            self, generation, [message](MonitorCoordinator& coordinator) {
                coordinator.m_indexError = message;
                emit coordinator.indexErrorChanged();
                if (!coordinator.m_status.isScanning()) {
                    coordinator.sendStatus(MonitoringStatus::error(message));
                }
            },
            false);
    };
    // A write that failed because the index was damaged is not reported: the
    // file has been replaced since the job began, the notice of the
    // replacement says so, and the next scan rebuilds it. Called on the
    // index's write queue, maybe after the coordinator is gone: it uses
    // nothing of it but what it captures.
    listener.indexWriteFailed = [report = std::move(listener.indexWriteFailed), weakDatabase = std::weak_ptr<FileIndexDatabase>(m_database),
                                    replacementsAtJob = m_replacementsAtJob](const std::string& message, ScanEngine::Generation generation) {
        const auto database = weakDatabase.lock();
        if (database && database->replacementCount() != replacementsAtJob->load()) {
            TESS_LOG_INFO("MonitorCoordinator: a write met the damaged index that has since been replaced; the next scan rebuilds it");
            return;
        }
        report(message, generation);
    };
    // Called on the queue, which the engine owns while it runs: the engine's
    // too-deep set is read there, and its copy travels with the results.
    listener.results = [self, this](std::vector<IndexedFile> issues, int total, int issueCount, ScanEngine::Generation generation) {
        auto shared = std::make_shared<std::vector<IndexedFile>>(std::move(issues));
        auto tooDeep = std::make_shared<SourceFileAnalyzer::PathSet>(m_engine->lastTooDeepPaths());
        postToMain(
            self, generation, [shared, tooDeep](MonitorCoordinator& coordinator) {
                coordinator.m_lastTooDeepPaths = std::move(*tooDeep);
                emit coordinator.analysisResultsChanged(*shared);
                emit coordinator.analysisResultsShared(shared);
            },
            false);
        postToMain(
            self, generation, [total](MonitorCoordinator& coordinator) {
                coordinator.m_totalIndexed = total;
                emit coordinator.totalIndexedChanged(total);
            },
            false);
        postToMain(
            self, generation, [issueCount](MonitorCoordinator& coordinator) {
                coordinator.m_issueCount = issueCount;
                emit coordinator.issueCountChanged(issueCount);
            },
            false);
    };
    listener.summary = [self](const ScanSummary& summary, ScanEngine::Generation generation) {
        postToMain(
            self, generation, [summary](MonitorCoordinator& coordinator) {
                coordinator.m_lastScan = summary;
                emit coordinator.lastScanChanged(coordinator.m_lastScan);
            },
            false);
    };
    return listener;
}

ScanEngine::Generation MonitorCoordinator::currentGeneration() const
{
    const ScanEngine* engine = m_engine.get();
    return engine != nullptr ? engine->currentGeneration() : 0;
}

void MonitorCoordinator::sendStatus(const MonitoringStatus& status)
{
    m_status = status;
    emit statusChanged(status);
}

// --- Requests ----------------------------------------------------------------------

void MonitorCoordinator::enqueue(std::function<void()> work, bool discardable)
{
    const ScanEngine::Generation generation = m_engine->currentGeneration();
    m_queue.async([this, generation, work = std::move(work), discardable] {
        if (m_destroying) {
            return;
        }
        // The index's full check never runs beside a scan or a re-analysis.
        const FileIndexDatabase::FullCheckHold hold = m_database ? m_database->holdFullCheck() : FileIndexDatabase::FullCheckHold {};
        *m_replacementsAtJob = m_database ? m_database->replacementCount() : 0;
        if (discardable) {
            m_engine->runJob(generation, work);
        } else {
            m_engine->runJobUnconditionally(work);
        }
    });
}

void MonitorCoordinator::startMonitoring(const std::string& rootPath, const DestinationConfig& destination)
{
    m_engine->advanceGeneration();
    clearIndexError();
    enqueue([this, rootPath, destination] { m_engine->runInitialScan(rootPath, destination); }, true);
}

void MonitorCoordinator::configure(const std::string& rootPath, const DestinationConfig& destination)
{
    m_engine->advanceGeneration();
    clearIndexError();
    enqueue([this, rootPath, destination] { m_engine->configure(rootPath, destination); }, true);
}

void MonitorCoordinator::stopMonitoring()
{
    TESS_LOG_DEBUG("MonitorCoordinator: stopMonitoring() called on thread " + currentThreadDescription()
        + ", queue=" + (m_queue.isCurrent() ? "Optional(true)" : "nil"));
    // A new generation first: the running walk or analysis of the old source
    // stops at its next check instead of running to its end.
    m_engine->advanceGeneration();
    clearIndexError();
    m_queue.sync([this] { m_engine->runJobUnconditionally([this] { m_engine->stopMonitoringOnQueue(); }); });
}

void MonitorCoordinator::clearIndexError()
{
    if (m_indexError) {
        m_indexError.reset();
        emit indexErrorChanged();
    }
}

void MonitorCoordinator::scanNow()
{
    enqueue([this] { m_engine->scanNow(); }, true);
}

void MonitorCoordinator::reanalyze()
{
    enqueue([this] { m_engine->requestReanalysis(); }, true);
}

void MonitorCoordinator::suppressScans(std::function<void()> suppressed)
{
    enqueue(
        [this, suppressed = std::move(suppressed)] {
            m_engine->suppressScans();
            QCoreApplication* app = QCoreApplication::instance();
            if (suppressed && app != nullptr) {
                QMetaObject::invokeMethod(app, suppressed, Qt::QueuedConnection);
            }
        },
        false);
}

void MonitorCoordinator::resumeScans()
{
    enqueue([this] { m_engine->resumeScans(); }, false);
}

void MonitorCoordinator::updateDestination(const DestinationConfig& destination)
{
    enqueue([this, destination] { m_engine->updateDestination(destination); }, false);
}

void MonitorCoordinator::updateSettings(const TransformationSettings& settings)
{
    enqueue([this, settings] { m_engine->updateSettings(settings); }, false);
}

void MonitorCoordinator::stopAnalysis()
{
    m_engine->stopAnalysis();
}

void MonitorCoordinator::handleSettingsChange(const std::vector<std::string>& excludePatterns, long long workerCount)
{
    enqueue([this, excludePatterns, workerCount] { m_engine->handleSettingsChange(excludePatterns, workerCount); }, false);
}

void MonitorCoordinator::setDirectoryOpener(DirectoryWalker::DirectoryOpener opener)
{
    enqueue([this, opener = std::move(opener)] { m_engine->setDirectoryOpener(opener); }, false);
}

void MonitorCoordinator::setWalkReporter(ScanEngine::WalkReporter reporter)
{
    enqueue([this, reporter = std::move(reporter)] { m_engine->setWalkReporter(reporter); }, false);
}

void MonitorCoordinator::setWalkObserver(std::function<void()> observer)
{
    enqueue([this, observer = std::move(observer)] { m_engine->setWalkObserver(observer); }, false);
}

}  // namespace tess
