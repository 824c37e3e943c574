// The rename and undo workflows of MonitorViewModel and its rename report.

#include "model/MonitorViewModel.h"

#include "HelperMessage.h"
#include "core/Error.h"
#include "helperclient/XPCService.h"
#include "history/HistoryEntry.h"
#include "history/HistoryFile.h"
#include "history/HistoryJournal.h"
#include "history/HistoryUndo.h"
#include "history/TransformationHistory.h"
#include "log/AppLogger.h"
#include "model/MonitorCoordinator.h"
#include "model/SettingsManager.h"
#include "rename/RenamePaths.h"
#include "rename/StandInFolders.h"
#include "report/ReportService.h"
#include "report/VerificationStatusText.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace tess {

namespace {

using Verification = SourceFileRenamer::RenameVerification;

// The id of a history file: its name without the extension (a leading dot
// is no extension); a journal's id is its whole name.
std::string historyIdOf(const std::string& path)
{
    std::string name = RenamePaths::lastComponent(path);
    if (name.ends_with("." + std::string(HistoryJournal::kExtension))) {
        return name;
    }
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        name.resize(dot);
    }
    return name;
}

// The daemon adapters: blocking calls with the given time-out; a call that
// gets no answer fails with "XPC call failed: " and the reason. A refusal of
// the daemon's authorisation, and a daemon that cannot be reached or went
// away, mean it will do nothing more for the batch. One call that timed out
// does not (the daemon may be waiting for the user to authenticate); a
// second in a row does (SourceFileRenamer::untilUnavailable).
SourceFileRenamer::PrivilegedReply replyOf(const XPCService::Outcome& outcome)
{
    if (!outcome.ok()) {
        const std::optional<XPCError> error = xpcErrorFrom(outcome.error());
        const bool unreachable = error == XPCError::proxyCreationFailed || error == XPCError::noResult;
        return {false, "XPC call failed: " + outcome.error().message, unreachable, error == XPCError::timeout};
    }
    const XPCService::Reply& reply = outcome.value();
    const bool refused = !reply.success && std::string_view(reply.message).starts_with(kNotAuthorizedPrefix);
    return {reply.success, reply.message, refused};
}

// Saves `entry` into `folder` and returns the file's path. On failure logs
// "❌ " + `failureText` + the reason and appends ". " + that text to
// `message`: without its history file a batch cannot be undone, and the
// user is told so.
std::optional<std::string> saveHistory(const HistoryEntry& entry, const std::string& folder, HistoryFileOps& files,
    const std::string& failureText, std::string& message)
{
    Result<std::string> saved = TransformationHistory::save(entry, folder, files);
    if (saved.ok()) {
        return std::move(saved).value();
    }
    const std::string failure = failureText + saved.error().message;
    TESS_LOG_ERROR("❌ " + failure);
    message += ". " + failure;
    return std::nullopt;
}

XPCService makeService(const std::string& socketPath)
{
    return socketPath.empty() ? XPCService() : XPCService(socketPath);
}

}  // namespace

// What a finished rename or undo hands to the main thread.
struct MonitorViewModel::BatchOutcome {
    std::string title = kRenameCompleteTitle;
    std::string message;
    // The batch's own report; none when it never started.
    std::optional<RenameReport> report;
    // The list no longer shows the disk (something moved, appeared or went,
    // or items were not where it showed them): it needs a scan.
    bool changedDisk = false;
};

// --- State --------------------------------------------------------------------------

void MonitorViewModel::setRenameReport(const std::optional<RenameReport>& report)
{
    m_renameReport = report;
    emit renameReportChanged();
}

void MonitorViewModel::setShowRenameReport(bool show)
{
    m_showRenameReport = show;
    emit showRenameReportChanged();
}

void MonitorViewModel::setExportErrorMessage(const std::optional<std::string>& message)
{
    m_exportErrorMessage = message;
    emit exportErrorMessageChanged();
}

std::string MonitorViewModel::historyFolder() const
{
    return m_dataFolder + "/history";
}

MonitorViewModel::HistoryPlace MonitorViewModel::historyPlace() const
{
    HistoryFileOps* files = m_renameDependencies.historyFiles.get();
    return {historyFolder(), files != nullptr ? files : &HistoryFileOps::posix()};
}

// --- Messages -----------------------------------------------------------------------

std::string MonitorViewModel::renameResultMessageFor(std::size_t renamed, std::size_t failed, std::size_t failedVerifications)
{
    if (failed > 0) {
        // Only what happened: the failed items are not among `renamed`.
        return std::to_string(renamed) + " renamed, " + std::to_string(failed) + " failed";
    }
    if (failedVerifications > 0) {
        const std::size_t verified = renamed >= failedVerifications ? renamed - failedVerifications : 0;
        return std::to_string(verified) + " renamed, " + std::to_string(failedVerifications) + " failed verification";
    }
    return std::to_string(renamed) + " item" + (renamed == 1 ? "" : "s") + " renamed successfully";
}

// --- History records ----------------------------------------------------------------

std::vector<HistoryRecord> MonitorViewModel::makeHistoryRecords(const std::vector<FileTransformationResult>& results,
    const std::vector<SourceFileRenamer::RenamedItem>& renamed, const std::vector<SourceFileRenamer::FailedItem>& failed,
    const std::vector<SourceFileRenamer::RenameVerification>& failedVerifications,
    const std::vector<std::string>& removedDirectories, const std::set<std::string>& createdDirectories,
    const std::vector<SourceFileRenamer::MergedItem>& mergedItems)
{
    // The last result of a path wins, as a dictionary built from the list would.
    std::unordered_map<std::string_view, const FileTransformationResult*> byPath;
    byPath.reserve(results.size());
    for (const FileTransformationResult& result : results) {
        byPath[result.originalRelativePath] = &result;
    }
    const auto itemOf = [&byPath](const std::string& path) -> const FileTransformationResult* {
        const auto found = byPath.find(path);
        return found == byPath.end() ? nullptr : found->second;
    };
    const auto typeOf = [&itemOf](const std::string& path) {
        const FileTransformationResult* item = itemOf(path);
        return item != nullptr && item->originalFile.isDirectory ? HistoryRecordType::directory : HistoryRecordType::file;
    };

    std::vector<HistoryRecord> records;
    records.reserve(renamed.size() + failed.size() + failedVerifications.size() + removedDirectories.size() + createdDirectories.size());
    for (const SourceFileRenamer::RenamedItem& pair : renamed) {
        records.push_back({pair.original, pair.newPath, typeOf(pair.original), HistoryRecordStatus::ok, {}});
    }
    for (const SourceFileRenamer::FailedItem& failure : failed) {
        const FileTransformationResult* item = itemOf(failure.path);
        records.push_back({failure.path, item != nullptr ? item->finalRelativePath : failure.path, typeOf(failure.path),
            HistoryRecordStatus::fail, failure.error.message});
    }
    for (const Verification& verification : failedVerifications) {
        records.push_back({verification.originalPath, verification.targetPath, typeOf(verification.originalPath),
            HistoryRecordStatus::verifyFail,
            verification.detail.empty() ? std::string(VerificationStatusText::description(verification.status)) : verification.detail});
    }
    for (const std::string& folder : removedDirectories) {
        records.push_back({folder, {}, HistoryRecordType::removedDirectory, HistoryRecordStatus::ok, {}});
    }
    for (const std::string& folder : createdDirectories) {
        records.push_back({folder, {}, HistoryRecordType::createdDirectory, HistoryRecordStatus::ok, {}});
    }
    // What a merge moved is recorded item by item, except a file moved into
    // a folder the batch made: it goes back with that folder's remaining
    // contents, into the former folder the undo finds for it, unless the
    // undo would find none or another one. A folder moved whole is always
    // recorded: it must go back whole (this user may not be allowed to
    // empty it), before the moves back of renamed items make its former
    // path again.
    const std::map<std::string, std::string> formerFolders = HistoryUndo::createdFolderMapping(records, createdDirectories);
    const auto goesBackWithItsFolder = [&formerFolders](const SourceFileRenamer::MergedItem& item) {
        const auto former = formerFolders.find(RenamePaths::parent(item.to));
        return item.intoCreatedFolder && former != formerFolders.end() && former->second == RenamePaths::parent(item.from);
    };
    for (const SourceFileRenamer::MergedItem& item : mergedItems) {
        if (!item.to.empty() && (item.isDirectory || !goesBackWithItsFolder(item))) {
            records.push_back({item.from, item.to, HistoryRecordType::storedMetadata, HistoryRecordStatus::ok, {}});
        }
    }
    return records;
}

// --- Shared steps -------------------------------------------------------------------

std::optional<std::string> MonitorViewModel::batchRefusal() const
{
    if (m_isRenaming) {
        return std::string("a rename or undo is already running");
    }
    if (m_monitoringStatus.isScanning()) {
        return std::string("a scan is running");
    }
    return std::nullopt;
}

MonitorViewModel::Privileged MonitorViewModel::privilegedFunctions() const
{
    if (!m_settingsManager->settings().preferences.usePrivilegedHelper || !isHelperReady()) {
        return {};
    }
    const std::string socketPath = m_renameDependencies.helperSocketPath;
    const double timeout = m_renameDependencies.helperTimeoutSeconds;
    Privileged privileged;
    privileged.rename = [socketPath, timeout](const std::string& source, const std::string& destination) {
        return replyOf(makeService(socketPath).renameFile(source, destination, timeout));
    };
    privileged.createDirectory = [socketPath, timeout](const std::string& path) {
        return replyOf(makeService(socketPath).createDirectory(path, timeout));
    };
    privileged.removeDirectory = [socketPath, timeout](const std::string& path) {
        return replyOf(makeService(socketPath).removeDirectory(path, timeout));
    };
    privileged.applyAttributes = [socketPath, timeout](const std::string& templatePath, const std::string& target) {
        return replyOf(makeService(socketPath).applyAttributes(templatePath, target, timeout));
    };
    return SourceFileRenamer::untilUnavailable(std::move(privileged));
}

void MonitorViewModel::beginBatch(const std::string& label, std::function<void()> work)
{
    setIsRenaming(true);
    setRenameStartTime(Clock::now());
    setRenameProgressLabel(label);
    m_batchCoordinator = m_coordinator.get();
    if (!m_batchCoordinator) {
        runInBackground(std::move(work));
        return;
    }
    // The batch touches the disk only once no scan job runs; a scan asked
    // for meanwhile waits for resumeScans.
    m_batchCoordinator->suppressScans([work = std::move(work)] { runInBackground(work); });
}

void MonitorViewModel::stopScanForBatch()
{
    TESS_LOG_INFO("MonitorViewModel: Stopping the running scan for the undo");
    if (m_coordinator) {
        // The cancelled job ends before the suppression that beginBatch queues.
        m_coordinator->stopAnalysis();
        return;
    }
    // The database is still opening for a start: drop that start.
    stopMonitoring();
}

void MonitorViewModel::requestScanAfterBatch()
{
    if (m_coordinator) {
        // Deferred while the batch's suppression holds, then replayed once by
        // resumeScans; queued as usual on a coordinator started since.
        m_coordinator->scanNow();
        return;
    }
    if (m_sourcePath && m_destinationConfig) {
        startMonitoring();
    }
}

void MonitorViewModel::finishBatch(const BatchOutcome& outcome)
{
    setIsRenaming(false);
    setRenameStartTime(std::nullopt);
    if (outcome.report) {
        setRenameReport(outcome.report);
    }
    m_renameResultTitle = outcome.title;
    m_renameResultOffersReport = outcome.report.has_value();
    setRenameResultMessage(outcome.message);
    setShowRenameResult(true);
    // On this platform nothing else notices the renames: without a scan the
    // list would keep rows of paths that are gone.
    if (outcome.changedDisk) {
        requestScanAfterBatch();
    }
    // Only the coordinator that was suppressed; one started since never was.
    if (MonitorCoordinator* coordinator = m_batchCoordinator.data(); coordinator != nullptr && coordinator == m_coordinator.get()) {
        coordinator->resumeScans();
    }
    m_batchCoordinator.clear();
}

// --- Rename -------------------------------------------------------------------------

void MonitorViewModel::renameSelected()
{
    std::vector<FileTransformationResult> results;
    for (const std::int64_t id : m_selectedFileIDs) {
        const IndexedFile* item = issueFileByID(id);
        if (item == nullptr || !item->needsRename) {
            continue;
        }
        FileTransformationResult result;
        result.originalFile = FileItem {item->path, item->isDirectory};
        result.originalRelativePath = item->relativePath;
        result.finalRelativePath = item->proposedRename.value_or(item->relativePath);
        result.needsRename = item->needsRename;
        result.shortenedComponents = item->shortenedComponents;
        results.push_back(std::move(result));
    }
    if (results.empty()) {
        return;
    }
    renameFiles(results);
}

void MonitorViewModel::renameFiles(const std::vector<FileTransformationResult>& results)
{
    if (!m_sourcePath) {
        return;
    }
    if (const std::optional<std::string> refusal = batchRefusal()) {
        TESS_LOG_WARN("⚠️ Cannot rename: " + *refusal);
        return;
    }
    std::size_t count = 0;
    for (const FileTransformationResult& result : results) {
        count += result.needsRename ? 1 : 0;
    }
    if (count == 0) {
        return;
    }
    const Privileged privileged = privilegedFunctions();
    const bool cleanup = m_activeSettings.cleanupEmptyDirsAfterRename;
    SourceFileAnalyzer::PathSet tooDeep;
    if (m_coordinator) {
        tooDeep = m_coordinator->lastTooDeepPaths();
    }
    const QPointer<MonitorViewModel> self(this);
    beginBatch("Renaming " + std::to_string(count) + " item" + (count == 1 ? "" : "s") + "…",
        [self, results, root = *m_sourcePath, privileged, cleanup, tooDeep = std::move(tooDeep), fs = m_renameDependencies.fileSystem,
            history = historyPlace(), keep = m_renameDependencies.historyFiles] {
            auto outcome = std::make_shared<BatchOutcome>(
                performRename(results, root, privileged, cleanup, tooDeep, fs ? *fs : FileSystemOps::posix(), history));
            postToMain(self, [outcome](MonitorViewModel* model) {
                if (model == nullptr) {
                    return;
                }
                model->m_selectedFileIDs.clear();
                emit model->selectedFileIDsChanged();
                model->finishBatch(*outcome);
            });
        });
}

namespace {

// What the result says of items that were not where the list showed them.
std::string missingSourcesText(std::size_t missing)
{
    return " — " + std::to_string(missing) + (missing == 1 ? " item was no longer where the list showed it" : " items were no longer where the list showed them")
        + " (the folder changed since it was scanned); the list is scanned again";
}

}  // namespace

MonitorViewModel::BatchOutcome MonitorViewModel::performRename(const std::vector<FileTransformationResult>& results,
    const std::string& root, const Privileged& privileged, bool cleanupEmptyDirs, const SourceFileAnalyzer::PathSet& tooDeepPaths,
    FileSystemOps& fs, const HistoryPlace& history)
{
    std::vector<RenameInstruction> instructions;
    for (const FileTransformationResult& result : results) {
        if (result.needsRename) {
            instructions.push_back({result.originalRelativePath, result.finalRelativePath, result.originalFile.isDirectory});
        }
    }
    HistoryEntry entry;
    entry.version = std::string(TransformationHistory::kVersion);
    entry.timestamp = Clock::now();  // the journal's start; the file takes the time it is recorded
    entry.scanRoot = root;
    entry.operation = HistoryOperation::rename;
    // The batch's record is on disk before its first move, or nothing moves.
    Result<std::unique_ptr<HistoryJournal>> journal = HistoryJournal::begin(entry, history.folder);
    if (!journal.ok()) {
        TESS_LOG_ERROR("❌ " + journal.error().message);
        BatchOutcome refused;
        refused.title = "Rename Not Started";
        refused.message = "Rename not started — " + journal.error().message;
        return refused;
    }
    SourceFileRenamer::RenameBatchResult batch
        = SourceFileRenamer::renameFiles(instructions, root, kAppErrorDomain, privileged, fs, journal.value().get());
    std::vector<Verification> failedVerifications = SourceFileRenamer::verifyBatch(instructions, root, batch, fs);

    std::vector<std::string> removed = batch.mergedDirectories;
    // Subfolders a merge into a folder that was there before emptied and
    // removed are made again by an undo, as the merged folders are.
    for (const SourceFileRenamer::MergedItem& item : batch.mergedItems) {
        if (!item.intoCreatedFolder && item.to.empty()) {
            removed.push_back(item.from);
        }
    }
    if (cleanupEmptyDirs && !tooDeepPaths.empty()) {
        std::vector<std::string> cleaned;
        for (const std::string& path : tooDeepPaths) {
            SourceFileRenamer::CleanupResult cleanup
                = SourceFileRenamer::cleanupEmptyDirectories(RenamePaths::join(root, path), root, fs, {}, journal.value().get());
            for (std::string& folder : cleanup.removedDirectories) {
                cleaned.push_back(std::move(folder));
            }
        }
        if (!cleaned.empty()) {
            TESS_LOG_INFO("Scoped cleanup: removed " + std::to_string(cleaned.size()) + " empty directories");
        }
        const std::string prefix = root + "/";
        for (std::string& folder : cleaned) {
            removed.push_back(folder.starts_with(prefix) ? folder.substr(prefix.size()) : std::move(folder));
        }
    }
    // A journal left behind also tells which renamed items verification
    // found replaced, so an undo read from it leaves those alone.
    for (const HistoryRecord& record : makeHistoryRecords(results, {}, {}, failedVerifications, {}, {}, {})) {
        if (const Status written = journal.value()->append(record); !written.ok()) {
            TESS_LOG_WARN("⚠️ Could not record a failed verification in the batch's journal: " + written.error().message);
            break;
        }
    }
    // Every step is taken: a journal left behind (its file could not be
    // saved) reads as what it is.
    if (const Status complete = journal.value()->markComplete(); !complete.ok()) {
        TESS_LOG_WARN("⚠️ Could not mark the batch's journal complete: " + complete.error().message);
    }

    entry.timestamp = Clock::now();
    entry.records = makeHistoryRecords(results, batch.renamed, batch.failed, failedVerifications, removed,
        batch.createdDirectories, batch.mergedItems);
    BatchOutcome outcome;
    outcome.changedDisk = !batch.renamed.empty() || !removed.empty() || !batch.createdDirectories.empty()
        || !batch.mergedItems.empty() || batch.missingSources > 0;
    outcome.message = renameResultMessageFor(batch.renamed.size() + removed.size(), batch.failed.size(), failedVerifications.size());
    if (batch.missingSources > 0) {
        outcome.message += missingSourcesText(batch.missingSources);
    }
    if (!batch.foldersNotKept.empty()) {
        outcome.message += ". " + StandInFolders::describe(batch.foldersNotKept);
    }
    std::optional<std::string> historyPath
        = saveHistory(entry, history.folder, *history.files, "Failed to save transformation history: ", outcome.message);
    // Without its saved file the journal stays, listed as interrupted, so the
    // batch can still be undone.
    if (historyPath) {
        if (const Status finished = journal.value()->finish(); !finished.ok()) {
            TESS_LOG_WARN("⚠️ Could not remove the batch's journal: " + finished.error().message);
        }
    }
    outcome.report = RenameReport::fromBatch(
        entry.timestamp, root, batch.renamed, batch.failed, failedVerifications, std::move(removed), std::move(historyPath));
    return outcome;
}

// --- Undo ---------------------------------------------------------------------------

void MonitorViewModel::undoRename(const std::string& historyPath)
{
    if (!m_sourcePath) {
        return;
    }
    if (m_isRenaming) {
        TESS_LOG_WARN("⚠️ Cannot undo: a rename or undo is already running");
        return;
    }
    // Undo is asked for from the history sheet, which a scan does not
    // close: the scan gives way, as scans do to a rename.
    if (m_monitoringStatus.isScanning()) {
        stopScanForBatch();
    }
    const Privileged privileged = privilegedFunctions();
    const QPointer<MonitorViewModel> self(this);
    beginBatch("Undoing rename…",
        [self, historyPath, root = *m_sourcePath, privileged, fs = m_renameDependencies.fileSystem, history = historyPlace(),
            keep = m_renameDependencies.historyFiles] {
            auto outcome = std::make_shared<BatchOutcome>(performUndo(historyPath, root, privileged, fs ? *fs : FileSystemOps::posix(), history));
            postToMain(self, [outcome](MonitorViewModel* model) {
                if (model != nullptr) {
                    model->finishBatch(*outcome);
                }
            });
        });
}

MonitorViewModel::BatchOutcome MonitorViewModel::performUndo(const std::string& historyPath, const std::string& root,
    const Privileged& privileged, FileSystemOps& fs, const HistoryPlace& history)
{
    BatchOutcome outcome;
    Result<HistoryFile::Loaded> parsed = HistoryFile::load(historyPath, fs);
    if (!parsed.ok()) {
        TESS_LOG_ERROR("❌ Failed to load history for undo: " + parsed.error().message);
        outcome.title = "Undo Failed";
        outcome.message = "Undo failed: " + parsed.error().message;
        return outcome;
    }
    const HistoryEntry& undone = parsed.value().entry;

    HistoryUndo::UndoResult undo = HistoryUndo::undoHistoryEntry(undone, root, kAppErrorDomain, privileged, fs);
    if (undo.refused) {
        // Nothing was touched: no undo history, the report stays.
        outcome.title = "Undo Failed";
        outcome.message = HistoryUndo::resultMessage(undo);
        return outcome;
    }

    const HistoryEntry plan = TransformationHistory::undoPlan(undone);
    std::vector<Verification> failedVerifications;
    std::unordered_map<std::string_view, HistoryRecordType> planTypes;
    for (const HistoryRecord& record : plan.records) {
        if (record.type != HistoryRecordType::file && record.type != HistoryRecordType::directory) {
            continue;
        }
        planTypes.emplace(record.originalRelativePath, record.type);
        if (undo.leftInPlace.count(record.originalRelativePath) != 0) {
            continue;  // not the batch's item: the undo never meant to move it
        }
        Verification verification = SourceFileRenamer::verifyRename(
            {record.originalRelativePath, record.finalRelativePath, record.type == HistoryRecordType::directory}, root, fs);
        if (verification.status != Verification::VerificationStatus::verified) {
            failedVerifications.push_back(std::move(verification));
        }
    }

    HistoryEntry entry;
    entry.version = std::string(TransformationHistory::kVersion);
    entry.timestamp = Clock::now();
    entry.scanRoot = undone.scanRoot;
    entry.operation = HistoryOperation::undo;
    entry.parentHistoryID = historyIdOf(historyPath);
    entry.records.reserve(undo.renamed.size() + undo.failed.size() + undo.recreatedDirectories.size() + undo.mergeRestored.size());
    for (const SourceFileRenamer::RenamedItem& pair : undo.renamed) {
        const auto type = planTypes.find(pair.original);
        entry.records.push_back({pair.original, pair.newPath, type == planTypes.end() ? HistoryRecordType::file : type->second,
            HistoryRecordStatus::ok, {}});
    }
    for (const SourceFileRenamer::FailedItem& failure : undo.failed) {
        entry.records.push_back({failure.path, {}, HistoryRecordType::file, HistoryRecordStatus::fail, failure.error.message});
    }
    // The folders it made again count with what it restored, as its
    // message counts them; what merges had moved along goes with them.
    for (const std::string& folder : undo.recreatedDirectories) {
        entry.records.push_back({folder, {}, HistoryRecordType::createdDirectory, HistoryRecordStatus::ok, {}});
    }
    for (const SourceFileRenamer::RenamedItem& pair : undo.mergeRestored) {
        entry.records.push_back({pair.original, pair.newPath, HistoryRecordType::storedMetadata, HistoryRecordStatus::ok, {}});
    }
    outcome.changedDisk = !undo.renamed.empty() || !undo.mergeRestored.empty() || !undo.recreatedDirectories.empty()
        || undo.removedCreatedDirectories > 0;
    outcome.message = HistoryUndo::resultMessage(undo, parsed.value().incomplete);
    std::optional<std::string> undoHistoryPath
        = saveHistory(entry, history.folder, *history.files, "Failed to save undo history: ", outcome.message);
    outcome.report = RenameReport::fromBatch(
        entry.timestamp, undone.scanRoot, undo.renamed, undo.failed, failedVerifications, {}, std::move(undoHistoryPath));
    return outcome;
}

}  // namespace tess
