#include "model/MonitorViewModel.h"

#include "core/FormatSeconds.h"
#include "core/XdgPaths.h"
#include "log/AppLogger.h"
#include "model/MonitorCoordinator.h"
#include "model/SettingsManager.h"
#include "model/ThreadDescription.h"
#include "rules/IllegalCharacterEntries.h"
#include "rules/TranslationTable.h"
#include "text/Text.h"

#include <QCoreApplication>
#include <QThreadPool>

#include <sys/stat.h>

#include <algorithm>
#include <limits>
#include <utility>

namespace tess {

namespace {

double nowSeconds()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string lastPathComponent(const std::string& path)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    const std::size_t slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

bool isBlank(const std::string& text)
{
    bool blank = true;
    text::forEachCodePoint(text, [&](char32_t cp) {
        if (!(cp == U' ' || cp == U'\t' || cp == U'\n' || cp == U'\r' || cp == U'\v' || cp == U'\f' || cp == 0x85 || cp == 0xA0
                || cp == 0x1680 || (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F
                || cp == 0x205F || cp == 0x3000)) {
            blank = false;
        }
    });
    return blank;
}

ScanProgress startingProgress(ScanPhase phase, std::chrono::system_clock::time_point startTime)
{
    ScanProgress progress;
    progress.currentPhase = phase;
    progress.trigger = ScanTrigger::manual;
    progress.startTime = startTime;
    return progress;
}

}  // namespace

// What a restore read from the index on its worker.
struct MonitorViewModel::RestoreOutcome {
    std::shared_ptr<FileIndexDatabase> database;  // null when nothing is restored
    std::int64_t total = 0;
    std::int64_t issues = 0;
    std::optional<TimePoint> lastAnalysisTime;
    std::shared_ptr<const std::vector<IndexedFile>> files;
    std::shared_ptr<const LookupIndexes> indexes;
    std::string sourcePath;
    double startSeconds = 0.0;
};

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
    m_searchDebounce.setInterval(kSearchDebounceMilliseconds);
    connect(&m_searchDebounce, &QTimer::timeout, this, &MonitorViewModel::applyFilters);
    m_searchDebounce.start();  // the current search text, once

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

// --- Filters and selection ----------------------------------------------------------

void MonitorViewModel::setSearchText(const std::string& text)
{
    m_searchText = text;
    emit searchTextChanged();
    m_searchDebounce.start();
}

void MonitorViewModel::setItemTypeFilter(ItemTypeFilter filter)
{
    m_itemTypeFilter = filter;
    emit itemTypeFilterChanged();
    applyFilters();
}

void MonitorViewModel::setSelectedIssueFilters(const std::optional<IssueTypeSet>& filters)
{
    m_selectedIssueFilters = filters;
    emit selectedIssueFiltersChanged();
    applyFilters();
}

void MonitorViewModel::setSelectedFileIDs(ItemIdSet ids)
{
    m_selectedFileIDs = std::move(ids);
    emit selectedFileIDsChanged();
}

void MonitorViewModel::applyFilters()
{
    const Generation generation = ++m_filterGeneration;
    FilterCriteria criteria {m_searchText, m_selectedIssueFilters, m_itemTypeFilter};
    const QPointer<MonitorViewModel> self(this);
    runInBackground([self, generation, files = m_issueFiles, indexes = m_indexes, criteria = std::move(criteria)] {
        auto result = std::make_shared<FilterResult>(tess::applyFilters(*files, *indexes, criteria));
        postToMain(self, [generation, files, result](MonitorViewModel* model) {
            // The last call wins; a pass over a list replaced since is dropped.
            if (model == nullptr || generation != model->m_filterGeneration || files != model->m_issueFiles) {
                return;
            }
            model->m_filter = std::move(*result);
            emit model->filteredIssuesChanged();
        });
    });
}

void MonitorViewModel::deselectAllInFilter()
{
    if (m_selectedFileIDs.empty()) {
        return;
    }
    for (const std::uint32_t position : m_filter.positions) {
        m_selectedFileIDs.erase((*m_issueFiles)[position].id);
    }
    emit selectedFileIDsChanged();
}

void MonitorViewModel::setIssueList(std::shared_ptr<const std::vector<IndexedFile>> files, std::shared_ptr<const LookupIndexes> indexes)
{
    m_indexes = std::move(indexes);
    m_issueFiles = std::move(files);
    // The filtered positions index the old list: none are valid until the
    // next filter pass over the new one lands.
    m_filter = FilterResult {};
    emit issueFilesChanged();
    emit filteredIssuesChanged();
}

// --- Settings and presets -----------------------------------------------------------

void MonitorViewModel::setActiveSettings(const TransformationSettings& settings)
{
    m_activeSettings = settings;
    emit activeSettingsChanged();
    applySettingsChange();
}

void MonitorViewModel::updateActiveSettings(const std::function<void(TransformationSettings&)>& change)
{
    change(m_activeSettings);
    emit activeSettingsChanged();
    applySettingsChange();
}

void MonitorViewModel::setActivePresetName(const std::optional<std::string>& name)
{
    setActivePreset(name, m_activePresetName == name ? m_activePresetId : std::nullopt);
}

void MonitorViewModel::setActivePreset(const std::optional<std::string>& name, const std::optional<Uuid>& id)
{
    m_activePresetId = id;
    m_activePresetName = name;
    emit activePresetNameChanged();
    m_settingsManager->updateSettings([&name](AppSettings& settings) { settings.preferences.activePresetName = name; });
    m_settingsManager->saveSettings();
}

void MonitorViewModel::applySettingsChange()
{
    const TransformationSettings settings = m_activeSettings;
    m_settingsManager->updateSettings([&settings](AppSettings& document) { document.preferences.activeSettings = settings; });
    m_settingsManager->saveSettings();
    if (m_isMonitoring && m_coordinator) {
        m_coordinator->updateSettings(m_activeSettings);
    }
}

bool MonitorViewModel::isPresetModified() const
{
    const std::optional<TessalinePreset> preset = activePreset();
    return !preset || !(m_activeSettings == preset->settings);
}

std::optional<TessalinePreset> MonitorViewModel::activePreset() const
{
    if (!m_activePresetName) {
        return std::nullopt;
    }
    const std::vector<TessalinePreset> presets = availablePresets();
    // The preset applied by id, while its name is still the active one.
    if (m_activePresetId) {
        for (const TessalinePreset& preset : presets) {
            if (preset.id == *m_activePresetId && preset.name == *m_activePresetName) {
                return preset;
            }
        }
    }
    for (const TessalinePreset& preset : presets) {
        if (preset.name == *m_activePresetName) {
            return preset;
        }
    }
    return std::nullopt;
}

std::vector<TessalinePreset> MonitorViewModel::availablePresets() const
{
    std::vector<TessalinePreset> presets = TessalinePreset::builtInPresets();
    const std::vector<TessalinePreset>& custom = m_settingsManager->settings().preferences.customPresets;
    presets.insert(presets.end(), custom.begin(), custom.end());
    return presets;
}

void MonitorViewModel::applyPreset(const TessalinePreset& preset)
{
    const TessalinePreset chosen = preset;  // the argument may live in the settings document
    setActiveSettings(chosen.settings);
    setActivePreset(chosen.name, chosen.id);
    if (chosen.settings.selectedFilesystem) {
        setDestinationConfig(DestinationConfig::presetFilesystem(*chosen.settings.selectedFilesystem, chosen.settings.selectedCaseSensitive));
    }
}

bool MonitorViewModel::applyPreset(const Uuid& id)
{
    for (const TessalinePreset& preset : availablePresets()) {
        if (preset.id == id) {
            applyPreset(preset);
            return true;
        }
    }
    return false;
}

Status MonitorViewModel::checkNewPresetName(const std::string& name) const
{
    if (isBlank(name)) {
        return Error {kAppErrorDomain, 1, "A preset needs a name."};
    }
    for (const TessalinePreset& preset : TessalinePreset::builtInPresets()) {
        if (text::canonicallyEqual(preset.name, name)) {
            return Error {kAppErrorDomain, 2, "\"" + name + "\" is the name of a built-in preset."};
        }
    }
    for (const TessalinePreset& preset : m_settingsManager->settings().preferences.customPresets) {
        if (text::canonicallyEqual(preset.name, name)) {
            return Error {kAppErrorDomain, 3, "A preset named \"" + name + "\" already exists."};
        }
    }
    return {};
}

Status MonitorViewModel::saveAsPreset(const std::string& name)
{
    if (Status check = checkNewPresetName(name); !check.ok()) {
        return check;
    }
    TessalinePreset preset {Uuid::random(), name, m_activeSettings, false};
    const Uuid id = preset.id;
    m_settingsManager->updateSettings([&preset](AppSettings& settings) { settings.preferences.customPresets.push_back(preset); });
    m_settingsManager->saveSettings();
    setActivePreset(name, id);
    return {};
}

void MonitorViewModel::updatePreset(AppSettings& document, const Uuid& id) const
{
    for (TessalinePreset& preset : document.preferences.customPresets) {
        if (preset.id == id) {
            preset.settings = m_activeSettings;
            return;
        }
    }
}

void MonitorViewModel::deletePreset(const Uuid& id)
{
    std::optional<std::string> removedName;
    m_settingsManager->updateSettings([&](AppSettings& settings) {
        auto& presets = settings.preferences.customPresets;
        const auto found = std::find_if(presets.begin(), presets.end(), [&id](const TessalinePreset& p) { return p.id == id; });
        if (found != presets.end()) {
            removedName = found->name;
            presets.erase(found);
        }
    });
    m_settingsManager->saveSettings();
    const bool wasActive = (m_activePresetId && *m_activePresetId == id)
        || (!m_activePresetId && removedName && m_activePresetName == removedName);
    if (wasActive) {
        applyPreset(TessalinePreset::crossPlatformFileServer());
    }
}

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
    runInBackground([self, generation, dbPath, sourcePath, startSeconds] {
        auto outcome = std::make_shared<RestoreOutcome>();
        outcome->sourcePath = sourcePath;
        outcome->startSeconds = startSeconds;
        auto opened = FileIndexDatabase::open(dbPath);
        if (opened.ok()) {
            std::shared_ptr<FileIndexDatabase> database = opened.value();
            const double t1 = nowSeconds();
            const std::int64_t total = database->totalCount(sourcePath);
            if (total < 1) {
                database->close();
            } else {
                const std::int64_t issues = database->issueCount(sourcePath);
                const double t2 = nowSeconds();
                if (const std::optional<ScanRecord> scan = database->lastCompletedScan(sourcePath)) {
                    outcome->lastAnalysisTime = scan->endTime ? *scan->endTime : scan->startTime;
                }
                TESS_LOG_DEBUG("MonitorViewModel: restoreSession DB opened in " + formatSeconds(t1 - startSeconds, 3)
                    + "s, counts ready in " + formatSeconds(t2 - startSeconds, 3) + "s (" + std::to_string(total) + " files, "
                    + std::to_string(issues) + " issues)");
                const double t3 = nowSeconds();
                auto files = std::make_shared<const std::vector<IndexedFile>>(
                    database->fetchFilesWithIssues(sourcePath, std::numeric_limits<std::int64_t>::max(), 0));
                TESS_LOG_DEBUG("MonitorViewModel: restoreSession loaded " + std::to_string(files->size()) + " issues in "
                    + formatSeconds(nowSeconds() - t3, 3) + "s (background)");
                outcome->indexes = std::make_shared<const LookupIndexes>(buildLookupIndexes(*files));
                outcome->files = std::move(files);
                outcome->total = total;
                outcome->issues = issues;
                outcome->database = std::move(database);
            }
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
    if (generation != m_sourceGeneration) {
        // Overtaken by another folder, a reset or a start: nothing of it is kept.
        closeInBackground(outcome->database);
        return;
    }
    if (!outcome->database) {
        setIsRestoringSession(false);
        return;
    }
    if (m_database) {
        closeInBackground(std::move(m_database));
    }
    m_database = outcome->database;
    setTotalIndexed(static_cast<int>(outcome->total));
    setIssueCount(static_cast<int>(outcome->issues));
    setCachedFileCount(0);
    setLastAnalysisTime(outcome->lastAnalysisTime);
    setIssueList(outcome->files, outcome->indexes);
    applyFilters();
    setIsRestoringSession(false);
    TESS_LOG_INFO("MonitorViewModel: Restored " + std::to_string(outcome->total) + " cached files (" + std::to_string(outcome->issues)
        + " issues) for " + lastPathComponent(outcome->sourcePath) + " in " + formatSeconds(nowSeconds() - outcome->startSeconds, 2) + "s");
}

void MonitorViewModel::stopMonitoring()
{
    TESS_LOG_DEBUG(std::string("MonitorViewModel: stopMonitoring() called, coordinator=") + (m_coordinator ? "alive" : "nil")
        + ", thread=" + currentThreadDescription());
    advanceSourceGeneration();  // a database still opening for a start or a restore is dropped
    ++m_resultsGeneration;
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
}

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
                    model->setMonitoringStatus(MonitoringStatus::error("Failed to open database: " + result->error().message));
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
            model->m_coordinator = std::make_unique<MonitorCoordinator>(model->m_database, *model->m_settingsManager);
            MonitorCoordinator& coordinator = *model->m_coordinator;
            if (analyzeOnly) {
                coordinator.sendStatus(starting);
            }
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

void MonitorViewModel::attachDatabase(std::shared_ptr<FileIndexDatabase> database)
{
    if (m_database && m_database != database) {
        closeInBackground(std::move(m_database));  // e.g. the one a restore opened
    }
    m_database = std::move(database);
}

void MonitorViewModel::subscribeToCoordinator(MonitorCoordinator& coordinator)
{
    // Status and last scan: the current value first, then every change.
    setMonitoringStatus(coordinator.status());
    const auto applySummary = [this](const std::optional<ScanSummary>& summary) {
        setLastScanSummary(summary);
        if (summary) {
            setLastAnalysisTime(summary->timestamp);
        }
    };
    m_coordinatorConnections.push_back(connect(&coordinator, &MonitorCoordinator::statusChanged, this, &MonitorViewModel::setMonitoringStatus));
    m_coordinatorConnections.push_back(connect(&coordinator, &MonitorCoordinator::analysisResultsShared, this, &MonitorViewModel::receiveAnalysisResults));
    applySummary(coordinator.lastScan());
    m_coordinatorConnections.push_back(connect(&coordinator, &MonitorCoordinator::lastScanChanged, this, applySummary));
    // The counts: only values sent after subscribing, equal or not.
    m_coordinatorConnections.push_back(connect(&coordinator, &MonitorCoordinator::issueCountChanged, this, &MonitorViewModel::setIssueCount));
    m_coordinatorConnections.push_back(connect(&coordinator, &MonitorCoordinator::totalIndexedChanged, this, &MonitorViewModel::setTotalIndexed));
}

void MonitorViewModel::receiveAnalysisResults(std::shared_ptr<const std::vector<IndexedFile>> files)
{
    // The lookup indexes of a large list are built off the main thread; the
    // newest list wins.
    const Generation generation = ++m_resultsGeneration;
    const Generation source = m_sourceGeneration;
    const QPointer<MonitorViewModel> self(this);
    runInBackground([self, generation, source, files] {
        auto indexes = std::make_shared<const LookupIndexes>(buildLookupIndexes(*files));
        postToMain(self, [generation, source, files, indexes](MonitorViewModel* model) {
            if (model == nullptr || generation != model->m_resultsGeneration || source != model->m_sourceGeneration) {
                return;
            }
            model->setIssueList(files, indexes);
            model->m_selectedFileIDs.clear();
            emit model->selectedFileIDsChanged();
            model->applyFilters();
        });
    });
}

// --- Source and destination ---------------------------------------------------------

void MonitorViewModel::selectSourceFolder()
{
    if (!m_folderPicker) {
        return;
    }
    const QPointer<MonitorViewModel> self(this);
    m_folderPicker->chooseFolder("Select a source folder to scan", "Select", [self](const std::optional<std::string>& chosen) {
        if (self && chosen) {
            self->useSourceFolder(*chosen);
        }
    });
}

void MonitorViewModel::useSourceFolder(const std::string& path)
{
    if (m_isMonitoring) {
        stopMonitoring();
    }
    advanceSourceGeneration();
    resetResults();
    setSourcePath(path);
    m_settingsManager->updateSettings([&path](AppSettings& settings) { settings.preferences.lastSourcePath = path; });
    m_settingsManager->saveSettings();
}

void MonitorViewModel::resetResults()
{
    ++m_resultsGeneration;
    ++m_filterGeneration;
    setIssueList(std::make_shared<const std::vector<IndexedFile>>(), std::make_shared<const LookupIndexes>());
    m_filter = FilterResult {};
    emit filteredIssuesChanged();
    m_selectedFileIDs.clear();
    emit selectedFileIDsChanged();
    setIssueCount(0);
    setTotalIndexed(0);
    setLastScanSummary(std::nullopt);
    setLastAnalysisTime(std::nullopt);
    m_searchText.clear();
    emit searchTextChanged();
    setMissingSourcePath(std::nullopt);
}

void MonitorViewModel::resetSourceSelection()
{
    if (m_isMonitoring) {
        stopMonitoring();
    }
    advanceSourceGeneration();
    setSourcePath(std::nullopt);
    resetResults();
    m_settingsManager->updateSettings([](AppSettings& settings) { settings.preferences.lastSourcePath.reset(); });
    m_settingsManager->saveSettings();
}

FileTransformationConfig MonitorViewModel::probeConfig()
{
    FileTransformationConfig config;
    config.removeLeadingSpaces = false;
    config.removeTrailingSpaces = false;
    config.targetOperatingSystems.clear();
    config.encodingOverride.reset();
    config.limitFileNameLength.reset();
    config.limitFolderNameLength.reset();
    config.flattenPathsOverDepth.reset();
    config.overrideOSPathLength.reset();
    config.testFolderName = "FileTransform_Test_Data";
    config.testFileContent = "File transformation capability test";
    config.errorDomain = kAppErrorDomain;
    return config;
}

void MonitorViewModel::selectDestinationToTest()
{
    if (!m_folderPicker) {
        return;
    }
    const QPointer<MonitorViewModel> self(this);
    m_folderPicker->chooseFolder("Select the destination folder to test", "Test", [self](const std::optional<std::string>& chosen) {
        if (self && chosen) {
            self->probeDestination(*chosen);
        }
    });
}

void MonitorViewModel::probeDestination(const std::string& folder)
{
    setIsDetectingFilesystem(true);
    setProbeErrorMessage(std::nullopt);
    const Generation generation = ++m_probeGeneration;
    const QPointer<MonitorViewModel> self(this);
    runInBackground([self, generation, prober = m_prober, folder] {
        auto result = std::make_shared<Result<FilesystemDetector::Detection>>(prober(probeConfig(), folder));
        postToMain(self, [generation, folder, result](MonitorViewModel* model) {
            if (model == nullptr || generation != model->m_probeGeneration) {
                return;  // a later probe was started
            }
            model->setIsDetectingFilesystem(false);
            if (result->ok()) {
                model->setDetection(result->value().capabilities, result->value().summary);
                model->setPendingProbePath(folder);
            } else {
                model->setDetection(std::nullopt, std::nullopt);
                model->setProbeErrorMessage(result->error().message);
            }
        });
    });
}

void MonitorViewModel::applyDetectedDestination()
{
    if (!m_pendingProbePath || !m_detectedCapabilities) {
        return;
    }
    const FilesystemCapabilities capabilities = *m_detectedCapabilities;
    const std::string folder = *m_pendingProbePath;
    TransformationSettings settings = m_activeSettings;
    settings.selectedCaseSensitive = capabilities.isCaseSensitive;
    settings.isCaseSensitive = capabilities.isCaseSensitive;
    settings.targetEncoding = capabilities.encodingCapability;
    settings.maxFilenameLength = capabilities.maxFilenameLength;
    settings.maxFolderNameLength = capabilities.maxFilenameLength;
    settings.maxPathDepth = capabilities.maxPathDepth;
    settings.maxPathLength = capabilities.maxPathLength;
    // The current rules first; an existing rule for a character wins.
    settings.translationTable.entries = TranslationTable::mergeEntries(
        TranslationTable::copyEntries(illegalCharacterTranslationEntries(capabilities.illegalCharacters)), settings.translationTable.entries);
    setActiveSettings(settings);
    updateActiveSettings([](TransformationSettings& active) { active.selectedFilesystem.reset(); });
    setDestinationConfig(DestinationConfig::physicalFolder(folder));
    setPendingProbePath(std::nullopt);
}

void MonitorViewModel::setDestinationConfig(const DestinationConfig& destination)
{
    m_destinationConfig = destination;
    emit destinationConfigChanged();
    if (destination.type() == DestinationConfig::ConfigType::presetFilesystem) {
        setDetection(std::nullopt, std::nullopt);
    }
    if (m_isMonitoring && m_coordinator) {
        m_coordinator->updateDestination(destination);
    }
}

void MonitorViewModel::clearDetectedCapabilities()
{
    setPendingProbePath(std::nullopt);
    setDetection(std::nullopt, std::nullopt);
}

void MonitorViewModel::clearProbeErrorMessage()
{
    setProbeErrorMessage(std::nullopt);
}

}  // namespace tess
