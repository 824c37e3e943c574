#pragma once

#include "analysis/FileTransformationResult.h"
#include "analysis/SourceFileAnalyzer.h"
#include "core/Error.h"
#include "history/HistoryFileOps.h"
#include "history/HistoryRecord.h"
#include "index/FileIndexDatabase.h"
#include "index/IndexedFile.h"
#include "model/FolderPicker.h"
#include "model/ReportSavePanel.h"
#include "model/ResultFilter.h"
#include "model/WalkFailureRecorder.h"
#include "plist/NotificationCenter.h"
#include "probe/FileTransformationConfig.h"
#include "probe/FilesystemDetector.h"
#include "rename/FileSystemOps.h"
#include "rename/SourceFileRenamer.h"
#include "report/RenameReport.h"
#include "rules/DestinationConfig.h"
#include "rules/FilesystemCapabilities.h"
#include "rules/TessalinePreset.h"
#include "rules/TransformationSettings.h"
#include "scan/MonitoringStatus.h"
#include "scan/ScanSummary.h"
#include "settings/AppSettings.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tess {

class MonitorCoordinator;
class SettingsManager;

// The observable model of the main window: the chosen source folder and
// destination, the transformation settings in force and their preset, the
// scan status and counts, the issue list with its filters and selection, and
// the state of a destination probe. While a folder is open it owns the index
// database and the scan coordinator of that folder.
//
// A main-thread object: every getter, setter and operation is called on the
// thread that owns it, and every signal is emitted there. Opening the
// database, the restore's queries, the lookup indexes, the filter pass and
// the probe run on worker threads; each result lands in one main-thread step
// and is dropped when the source (or, for a probe, the probe) changed in the
// meantime. Nothing here waits on the main thread for the database, the probe
// or the daemon.
class MonitorViewModel : public QObject {
    Q_OBJECT

public:
    using Clock = std::chrono::system_clock;
    using TimePoint = Clock::time_point;
    // Probes a destination folder (the real one runs a FilesystemDetector
    // made with `config`). Called on a worker thread.
    using DestinationProber = std::function<Result<FilesystemDetector::Detection>(const FileTransformationConfig& config,
        const std::string& folder)>;

    struct Dependencies {
        SettingsManager* settingsManager = nullptr;  // null: SettingsManager::shared()
        std::string dataFolder;  // empty: the application's data folder
        std::shared_ptr<FolderPicker> folderPicker;  // null: every chooser is cancelled
        DestinationProber prober;  // empty: the real detector
        std::function<bool()> isHelperReady;  // whether the daemon may take privileged work
        NotificationCenter* notificationCenter = nullptr;  // null: the default centre
        // How scans open folders; empty: the real file system.
        DirectoryWalker::DirectoryOpener directoryOpener;

        // --- Rename, undo and report export ---
        struct Rename {
            std::shared_ptr<FileSystemOps> fileSystem;  // null: the real file system
            std::string helperSocketPath;  // empty: the daemon's default socket
            double helperTimeoutSeconds = 10.0;  // each privileged call
            std::shared_ptr<ReportSavePanel> savePanel;  // null: exports do nothing
            std::shared_ptr<HistoryFileOps> historyFiles;  // null: the real calls that place history files
        };
        Rename rename;
    };

    static constexpr int kSearchDebounceMilliseconds = 150;
    static constexpr const char* kStopMonitoringForResetNotification = "StopMonitoringForReset";
    static constexpr const char* kScanStoppedText = "Scan stopped before it finished";
    static constexpr const char* kRenameCompleteTitle = "Rename Complete";

    explicit MonitorViewModel(Dependencies dependencies, QObject* parent = nullptr);
    ~MonitorViewModel() override;
    MonitorViewModel(const MonitorViewModel&) = delete;
    MonitorViewModel& operator=(const MonitorViewModel&) = delete;

    // --- State (getters) ------------------------------------------------------------
    const MonitoringStatus& monitoringStatus() const { return m_monitoringStatus; }
    const std::optional<ScanSummary>& lastScanSummary() const { return m_lastScanSummary; }
    int issueCount() const { return m_issueCount; }
    int totalIndexed() const { return m_totalIndexed; }
    const std::optional<std::string>& sourcePath() const { return m_sourcePath; }
    const std::optional<DestinationConfig>& destinationConfig() const { return m_destinationConfig; }
    const TransformationSettings& activeSettings() const { return m_activeSettings; }
    const std::optional<std::string>& activePresetName() const { return m_activePresetName; }
    bool showAdvancedSettings() const { return m_showAdvancedSettings; }
    bool isMonitoring() const { return m_isMonitoring; }
    bool isDetectingFilesystem() const { return m_isDetectingFilesystem; }
    const std::optional<std::string>& detectedCapabilitiesSummary() const { return m_detectedCapabilitiesSummary; }
    const std::optional<FilesystemCapabilities>& detectedCapabilities() const { return m_detectedCapabilities; }
    const std::optional<std::string>& pendingProbePath() const { return m_pendingProbePath; }
    const std::optional<std::string>& probeErrorMessage() const { return m_probeErrorMessage; }
    int cachedFileCount() const { return m_cachedFileCount; }
    const std::optional<TimePoint>& lastAnalysisTime() const { return m_lastAnalysisTime; }
    bool isRestoringSession() const { return m_isRestoringSession; }
    const std::optional<std::string>& missingSourcePath() const { return m_missingSourcePath; }
    // The analysed items with issues of the open folder (never null).
    const std::vector<IndexedFile>& issueFiles() const { return *m_issueFiles; }
    const std::string& searchText() const { return m_searchText; }
    const std::optional<IssueTypeSet>& selectedIssueFilters() const { return m_selectedIssueFilters; }
    ItemTypeFilter itemTypeFilter() const { return m_itemTypeFilter; }
    const std::vector<std::string>& availableIssueTypes() const { return m_indexes->availableIssueTypes; }
    const std::map<std::string, std::int64_t>& issueTypeCounts() const { return m_indexes->issueTypeCounts; }
    // The rows that pass the filters: positions into issueFiles(), in order.
    const std::vector<std::uint32_t>& filteredIssueRows() const { return m_filter.positions; }
    std::size_t filteredIssueCount() const { return m_filter.positions.size(); }
    const IndexedFile& filteredIssue(std::size_t row) const { return (*m_issueFiles)[m_filter.positions[row]]; }
    // Copies of the filtered rows (tests and small lists).
    std::vector<IndexedFile> filteredIssues() const;
    // Ids of the filtered rows that need a rename, ascending.
    const std::vector<std::int64_t>& selectableIDsInFilter() const { return m_filter.selectableIds; }
    const ItemIdSet& selectedFileIDs() const { return m_selectedFileIDs; }
    // The issue-type keys of an item of the list; nothing when it has none.
    std::optional<IssueTypeSet> issueTypesOf(std::int64_t id) const { return m_indexes->issueTypesOf(id); }
    // The item of the list with that id (the last one listed), or null.
    const IndexedFile* issueFileByID(std::int64_t id) const;
    bool hasDatabase() const { return m_database != nullptr; }

    // --- How the last scan fell short --------------------------------------------
    // The last scan of the open folder ended before it finished (stopped, or
    // the folder could not be read): its result is not the whole tree.
    bool lastScanStopped() const { return m_lastScanStopped; }
    // The folders the last scan could not list; their contents were not checked.
    const std::vector<UnreadableFolder>& unreadableFolders() const { return m_unreadableFolders; }
    // Why the index cannot be used (damaged, or cannot be written); none while it works.
    const std::optional<std::string>& indexErrorMessage() const { return m_indexErrorMessage; }
    // A damaged index was kept aside and a fresh one started (with where the
    // old one is), from the moment the index replaces it until a scan has
    // rebuilt it, across restarts: the open index says so. Announced with
    // indexErrorMessageChanged.
    const std::optional<std::string>& indexNotice() const { return m_indexNotice; }
    void setIndexNotice(const std::optional<std::string>& notice);
    void setIndexErrorMessage(const std::optional<std::string>& message);
    // Shows that the index cannot be used; for the coordinator's report of it.
    void reportIndexError(const std::string& message) { setIndexErrorMessage(message); }
    bool hasCoordinator() const { return m_coordinator != nullptr; }
    // The scan coordinator of the open folder while monitoring, else null.
    MonitorCoordinator* coordinator() const { return m_coordinator.get(); }
    // The preset last applied while its name is the active name.
    const std::optional<Uuid>& activePresetId() const { return m_activePresetId; }
    SettingsManager& settingsManager() const { return *m_settingsManager; }
    // Whether privileged renames may be used now (the injected daemon query).
    bool isHelperReady() const { return m_isHelperReady && m_isHelperReady(); }

    // Rename state, written by the rename and undo workflows.
    bool showRenameConfirmation() const { return m_showRenameConfirmation; }
    bool showRenameResult() const { return m_showRenameResult; }
    const std::string& renameResultMessage() const { return m_renameResultMessage; }
    // The result alert's title: "Rename Complete" for a batch that ran; a
    // batch that never started says so instead.
    const std::string& renameResultTitle() const { return m_renameResultTitle; }
    // Whether the result alert offers the report: only the report of the
    // batch it tells of, never an earlier one.
    bool renameResultOffersReport() const { return m_renameResultOffersReport; }
    bool isRenaming() const { return m_isRenaming; }
    const std::optional<TimePoint>& renameStartTime() const { return m_renameStartTime; }
    const std::string& renameProgressLabel() const { return m_renameProgressLabel; }
    void setShowRenameConfirmation(bool show);
    void setShowRenameResult(bool show);
    void setRenameResultMessage(const std::string& message);
    void setIsRenaming(bool renaming);
    void setRenameStartTime(const std::optional<TimePoint>& time);
    void setRenameProgressLabel(const std::string& label);

    // --- Computed, recomputed on every read ----------------------------------------
    // Change with monitoringStatusChanged, totalIndexedChanged and issueCountChanged.
    std::string statusText() const;
    std::optional<std::string> progressText() const;
    std::optional<TimePoint> scanStartTime() const;
    bool hasResults() const;
    bool canStartMonitoring() const;
    CheckboxState selectAllState() const;
    bool isPresetModified() const;
    // The preset the active name stands for: the one last applied or saved
    // while its name is still the active one, else the first of that name
    // (built-in presets first); none without a name or such a preset.
    std::optional<TessalinePreset> activePreset() const;
    std::vector<TessalinePreset> availablePresets() const;

    static std::string statusTextFor(const MonitoringStatus& status, int totalIndexed, int issueCount);
    static std::optional<std::string> progressTextFor(const MonitoringStatus& status);

    // --- Bindings --------------------------------------------------------------------
    // Stores the text and (re)starts the 150 ms debounce of the filter pass.
    void setSearchText(const std::string& text);
    // Store, then run the filter pass.
    void setItemTypeFilter(ItemTypeFilter filter);
    void setSelectedIssueFilters(const std::optional<IssueTypeSet>& filters);
    void setSelectedFileIDs(ItemIdSet ids);
    void setShowAdvancedSettings(bool show);
    // One store of the settings: publishes, then runs applySettingsChange once.
    void setActiveSettings(const TransformationSettings& settings);
    // The same for a change made in place by `change`.
    void updateActiveSettings(const std::function<void(TransformationSettings&)>& change);
    // Stores the name, writes it into the stored preferences and saves.
    void setActivePresetName(const std::optional<std::string>& name);

    // --- Lifecycle -------------------------------------------------------------------
    // Restores the source folder and destination from the stored preferences
    // and starts the restore of the last results.
    void restoreSavedSourceFolder();
    // Cancels the running analysis, stops and drops the coordinator, closes the
    // database after its queued writes (in the background; monitoringStopped
    // follows) and returns to idle. Keeps the results.
    void stopMonitoring();

    // --- Filtering and selection -----------------------------------------------------
    // Recomputes the filtered rows off the main thread; the last call's result
    // is published on a later turn of the event loop.
    void applyFilters();
    // Removes the ids of every filtered row from the selection.
    void deselectAllInFilter();

    // --- Settings and presets --------------------------------------------------------
    // Writes activeSettings into the stored preferences, saves, and hands them
    // to a running coordinator.
    void applySettingsChange();
    void applyPreset(const TessalinePreset& preset);
    // The preset of availablePresets() with that id; false when there is none.
    bool applyPreset(const Uuid& id);
    // Refuses an empty or blank name, a built-in's name or a saved preset's
    // name (canonically equal), with the reason as the error's message.
    Status checkNewPresetName(const std::string& name) const;
    // Saves the current settings as a new preset of that name, which becomes
    // the active one; refuses what checkNewPresetName refuses.
    Status saveAsPreset(const std::string& name);
    // Overwrites the settings of the saved preset `id` in `document` with the
    // current settings; saves nothing.
    void updatePreset(AppSettings& document, const Uuid& id) const;
    // Removes the saved preset `id` and saves; when it was the active one,
    // "Cross Platform File Server" becomes active.
    void deletePreset(const Uuid& id);

    // --- Scanning --------------------------------------------------------------------
    void startMonitoring();
    void analyzeFromDatabase();

    // --- Source and destination ------------------------------------------------------
    // The two choosers return at once; what follows a choice runs when the
    // picker answers (nothing when it is cancelled).
    void selectSourceFolder();
    void resetResults();
    void resetSourceSelection();
    void selectDestinationToTest();
    void applyDetectedDestination();
    void setDestinationConfig(const DestinationConfig& destination);
    void clearDetectedCapabilities();
    // Dismisses a failed probe's message.
    void clearProbeErrorMessage();

    // The probe's configuration.
    static FileTransformationConfig probeConfig();
    // The index database file of every source folder.
    std::string databasePath() const;

    // --- Rename, undo and report export (MonitorViewModelRename.cpp) ------------------
    // The report of the last rename batch or undo; none before the first.
    const std::optional<RenameReport>& renameReport() const { return m_renameReport; }
    void setRenameReport(const std::optional<RenameReport>& report);
    // Whether the rename report sheet is shown (set by the main window).
    bool showRenameReport() const { return m_showRenameReport; }
    void setShowRenameReport(bool show);
    // Why the last export failed, until the main window has told the user
    // and cleared it.
    const std::optional<std::string>& exportErrorMessage() const { return m_exportErrorMessage; }
    void setExportErrorMessage(const std::optional<std::string>& message);

    // Renames every selected item of the list that needs a rename.
    void renameSelected();
    // Renames the results that need a rename, on a worker thread; the result
    // lands in one main-thread step. Refused (a WARN line, nothing changes)
    // while a scan, a rename or an undo runs. A batch that changed the disk
    // asks for one scan as it completes, so the list follows the disk.
    void renameFiles(const std::vector<FileTransformationResult>& results);
    // Undoes the batch recorded in the history file at `historyPath`, on a
    // worker thread, and asks for a scan like renameFiles. A running scan is
    // cancelled first and the undo starts when it has stopped; refused (a
    // WARN line) only while a rename or undo runs.
    void undoRename(const std::string& historyPath);
    // Ask the save panel for a target, then build the report and write it
    // atomically on a worker thread. A failure is logged and published in
    // exportErrorMessage.
    void exportReport();
    void exportRenameReport();

    // The history records of one batch: renamed pairs, failures, failed
    // verifications, removed folders, created folders (in that order), then
    // the items folder merges moved ("SM", so an undo can move them back),
    // except files moved into a folder the batch created that the undo
    // merges back into the folder they came from.
    static std::vector<HistoryRecord> makeHistoryRecords(const std::vector<FileTransformationResult>& results,
        const std::vector<SourceFileRenamer::RenamedItem>& renamed, const std::vector<SourceFileRenamer::FailedItem>& failed,
        const std::vector<SourceFileRenamer::RenameVerification>& failedVerifications,
        const std::vector<std::string>& removedDirectories, const std::set<std::string>& createdDirectories,
        const std::vector<SourceFileRenamer::MergedItem>& mergedItems = {});
    // The one-line results. `renamed` counts renamed pairs and removed folders.
    static std::string renameResultMessageFor(std::size_t renamed, std::size_t failed, std::size_t failedVerifications);
    // What an export that could not be written tells the user: `failureText`
    // ("Failed to export ...: "), the file the user chose and the reason.
    static std::string exportFailureMessage(const std::string& failureText, const std::string& chosenPath, const std::string& reason);
    // The folder the history files of this model go to.
    std::string historyFolder() const;

signals:
    // Each *Changed signal follows a write of its property (also when the
    // value is unchanged) and carries nothing: read the getter.
    void monitoringStatusChanged();
    void lastScanSummaryChanged();
    void issueCountChanged();
    void totalIndexedChanged();
    void sourcePathChanged();
    void destinationConfigChanged();
    void activeSettingsChanged();
    void activePresetNameChanged();
    void showAdvancedSettingsChanged();
    void isMonitoringChanged();
    void isDetectingFilesystemChanged();
    void detectedCapabilitiesChanged();  // the capabilities or their summary
    void pendingProbePathChanged();
    void probeErrorMessageChanged();
    void cachedFileCountChanged();
    void lastAnalysisTimeChanged();
    void isRestoringSessionChanged();
    void missingSourcePathChanged();
    // A new issue list with its lookup indexes (available types and counts).
    void issueFilesChanged();
    void searchTextChanged();
    void selectedIssueFiltersChanged();
    void itemTypeFilterChanged();
    // A filter pass was published: the filtered rows and the selectable ids.
    void filteredIssuesChanged();
    void selectedFileIDsChanged();
    // One of the rename state properties.
    void renameStateChanged();
    // lastScanStopped or unreadableFolders changed.
    void scanShortfallChanged();
    void indexErrorMessageChanged();
    // stopMonitoring finished: the coordinator is gone and the database it had
    // open is closed with its queued writes done (a reset may delete it now).
    void monitoringStopped();

    // --- Rename, undo and report export ---
    void renameReportChanged();
    void showRenameReportChanged();
    void exportErrorMessageChanged();

private:
    struct RestoreOutcome;
    using Generation = std::uint64_t;

    // Runs `work` on a worker thread.
    static void runInBackground(std::function<void()> work);
    // Runs `deliver` on the main thread with the model, or with null when the
    // model is gone.
    static void postToMain(QPointer<MonitorViewModel> self, std::function<void(MonitorViewModel*)> deliver);
    // Closes a database on a worker (after its queued writes).
    static void closeInBackground(std::shared_ptr<FileIndexDatabase> database, std::function<void()> done = {});

    // The source changed (new folder, reset, monitoring started or stopped):
    // work started for the old one is dropped when it lands.
    Generation advanceSourceGeneration();

    // Stores the active preset's name and the preset it stands for (none:
    // the first of that name) before announcing the name.
    void setActivePreset(const std::optional<std::string>& name, const std::optional<Uuid>& id);
    void setMonitoringStatus(const MonitoringStatus& status);
    void setIsMonitoring(bool monitoring);
    void setIsRestoringSession(bool restoring);
    void setSourcePath(const std::optional<std::string>& path);
    void setMissingSourcePath(const std::optional<std::string>& path);
    void setIssueCount(int count);
    void setTotalIndexed(int count);
    void setCachedFileCount(int count);
    void setLastAnalysisTime(const std::optional<TimePoint>& time);
    void setLastScanSummary(const std::optional<ScanSummary>& summary);
    void setDetection(const std::optional<FilesystemCapabilities>& capabilities, const std::optional<std::string>& summary);
    void setPendingProbePath(const std::optional<std::string>& path);
    void setProbeErrorMessage(const std::optional<std::string>& message);
    void setIsDetectingFilesystem(bool detecting);
    // An issue list made ready on a worker: its lookup indexes and its first
    // filter pass, with the criteria of that pass.
    struct PreparedIssueList {
        std::shared_ptr<const std::vector<IndexedFile>> files;
        std::shared_ptr<const LookupIndexes> indexes;
        FilterResult filter;
        FilterCriteria criteria;
    };
    // Builds the lookup indexes of `files` and filters them; any thread.
    static std::shared_ptr<const PreparedIssueList> prepareIssueList(std::shared_ptr<const std::vector<IndexedFile>> files,
        FilterCriteria criteria);
    FilterCriteria filterCriteria() const;
    // Replaces the issue list, its lookup indexes and its filtered rows in one
    // step; the filters changed since the list was prepared run again.
    void setIssueList(const PreparedIssueList& list);
    // Runs what the coordinator delivered after a list of analysis results
    // once that list is published (at once while none is being prepared):
    // its counts, the scan's summary and its end, so the window never shows
    // them beside the rows of another list.
    void deliverAfterPendingList(std::function<void()> delivery);
    void releaseHeldDeliveries();
    void dropHeldDeliveries();
    void storeLastSourceAndDestination();
    void startRun(bool analyzeOnly);
    void attachDatabase(std::shared_ptr<FileIndexDatabase> database);
    void subscribeToCoordinator(MonitorCoordinator& coordinator);
    // Creates the coordinator of the open folder, its walks observed.
    MonitorCoordinator& makeCoordinator();
    void receiveCoordinatorStatus(const MonitoringStatus& status);
    // A scan's last status arrived: note how it fell short, if it did.
    void finishScanRun();
    void setScanShortfall(bool stopped, std::vector<UnreadableFolder> folders);
    // The open folder vanished: back to the ready pane's missing variant.
    void showSourceMissing(const std::string& path);
    void receiveAnalysisResults(std::shared_ptr<const std::vector<IndexedFile>> files);
    void restoreSession(const std::string& sourcePath, double startSeconds);
    // Shows what a restore read. Results that predate a rename or undo batch
    // recorded for the folder are scanned again at once (not shown at all
    // when no scan can run).
    void landRestore(Generation generation, std::shared_ptr<RestoreOutcome> outcome);
    void onStopMonitoringForReset();
    // The second halves of the two choosers, once a folder was chosen.
    void useSourceFolder(const std::string& path);
    void probeDestination(const std::string& folder);

    SettingsManager* m_settingsManager;
    std::string m_dataFolder;
    std::shared_ptr<FolderPicker> m_folderPicker;
    DestinationProber m_prober;
    std::function<bool()> m_isHelperReady;
    NotificationCenter* m_notificationCenter;
    NotificationCenter::Token m_resetObserver = 0;

    MonitoringStatus m_monitoringStatus;
    std::optional<ScanSummary> m_lastScanSummary;
    int m_issueCount = 0;
    int m_totalIndexed = 0;
    std::optional<std::string> m_sourcePath;
    std::optional<DestinationConfig> m_destinationConfig;
    TransformationSettings m_activeSettings;
    std::optional<std::string> m_activePresetName;
    // The preset last applied, while its name is the active name: lets two
    // presets of one name be told apart.
    std::optional<Uuid> m_activePresetId;
    bool m_showAdvancedSettings = false;
    bool m_isMonitoring = false;
    bool m_isDetectingFilesystem = false;
    std::optional<std::string> m_detectedCapabilitiesSummary;
    std::optional<FilesystemCapabilities> m_detectedCapabilities;
    std::optional<std::string> m_pendingProbePath;
    std::optional<std::string> m_probeErrorMessage;
    int m_cachedFileCount = 0;
    std::optional<TimePoint> m_lastAnalysisTime;
    bool m_isRestoringSession = false;
    std::optional<std::string> m_missingSourcePath;
    std::shared_ptr<const std::vector<IndexedFile>> m_issueFiles;
    std::shared_ptr<const LookupIndexes> m_indexes;
    std::string m_searchText;
    std::optional<IssueTypeSet> m_selectedIssueFilters;
    ItemTypeFilter m_itemTypeFilter = ItemTypeFilter::all;
    FilterResult m_filter;
    ItemIdSet m_selectedFileIDs;
    // A list of analysis results is being prepared; what the coordinator
    // delivered since waits for it.
    bool m_listPending = false;
    std::vector<std::function<void()>> m_heldDeliveries;

    // The run the coordinator reports: a scan or a re-analysis, from its
    // first scanning status to the next status that is not.
    struct CoordinatorRun {
        bool running = false;
        bool isScan = false;
        bool gaveSummary = false;
    };
    DirectoryWalker::DirectoryOpener m_directoryOpener;
    std::shared_ptr<WalkFailureRecorder> m_walkFailures;
    std::uint64_t m_walkSeen = 0;
    CoordinatorRun m_run;
    bool m_lastScanStopped = false;
    std::vector<UnreadableFolder> m_unreadableFolders;
    std::optional<std::string> m_indexErrorMessage;
    std::optional<std::string> m_indexNotice;

    bool m_showRenameConfirmation = false;
    bool m_showRenameResult = false;
    std::string m_renameResultMessage;
    std::string m_renameResultTitle = kRenameCompleteTitle;
    bool m_renameResultOffersReport = false;
    bool m_isRenaming = false;
    std::optional<TimePoint> m_renameStartTime;
    std::string m_renameProgressLabel;

    Generation m_sourceGeneration = 0;
    Generation m_probeGeneration = 0;
    Generation m_filterGeneration = 0;
    Generation m_resultsGeneration = 0;
    QTimer m_searchDebounce;
    std::vector<QMetaObject::Connection> m_coordinatorConnections;
    std::shared_ptr<FileIndexDatabase> m_database;
    // Declared last: stopped and destroyed first.
    std::unique_ptr<MonitorCoordinator> m_coordinator;

    // --- Rename, undo and report export (MonitorViewModelRename.cpp) ------------------
    struct BatchOutcome;
    using Privileged = SourceFileRenamer::PrivilegedCalls;
    // Why a rename or undo may not start now; nothing when it may.
    std::optional<std::string> batchRefusal() const;
    // The daemon adapters for one batch when privileged renames are allowed
    // and the daemon is ready at this moment; empty functions otherwise.
    // Once the daemon refuses or cannot be reached, the batch's later
    // privileged steps fail with that reply without asking it again.
    Privileged privilegedFunctions() const;
    // Sets the progress state, suppresses the coordinator's scans and runs
    // `work` on a worker once the suppression is in force.
    void beginBatch(const std::string& label, std::function<void()> work);
    // Cancels the running scan (or the start still opening the database)
    // so that an undo asked for during it can run.
    void stopScanForBatch();
    // One scan of the folder after a batch that changed the disk: through
    // the coordinator, or a new start when there is none.
    void requestScanAfterBatch();
    // Lands a finished rename or undo.
    void finishBatch(const BatchOutcome& outcome);
    // Where a batch's history goes: the folder, and the calls that place a file there.
    struct HistoryPlace {
        std::string folder;
        HistoryFileOps* files = nullptr;  // never null
    };
    HistoryPlace historyPlace() const;
    static BatchOutcome performRename(const std::vector<FileTransformationResult>& results, const std::string& root,
        const Privileged& privileged, bool cleanupEmptyDirs, const SourceFileAnalyzer::PathSet& tooDeepPaths,
        FileSystemOps& fs, const HistoryPlace& history);
    static BatchOutcome performUndo(const std::string& historyPath, const std::string& root, const Privileged& privileged,
        FileSystemOps& fs, const HistoryPlace& history);
    // Runs `write` (the report to the chosen file, in the chosen format) on a
    // worker; logs and publishes the outcome.
    void writeExport(const ReportSaveChoice& choice, std::function<Status(const std::string&, AppSettings::ReportFormat)> write,
        const std::string& successLog, const std::string& failureText);

    Dependencies::Rename m_renameDependencies;
    std::optional<RenameReport> m_renameReport;
    bool m_showRenameReport = false;
    std::optional<std::string> m_exportErrorMessage;
    // The coordinator whose scans the running batch suppressed.
    QPointer<MonitorCoordinator> m_batchCoordinator;
};

}  // namespace tess
