#include "rename/SourceFileRenamer.h"

#include "log/AppLogger.h"
#include "rename/RenameChecks.h"
#include "rename/RenamePaths.h"
#include "rename/StandInFolders.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <unordered_map>

namespace tess {

namespace {

const std::string kCross = "❌ ";
const std::string kArrow = " → ";
const std::string kDash = " — ";

// The state of one batch.
class BatchRun {
public:
    BatchRun(const std::string& root, const std::string& errorDomain, const SourceFileRenamer::PrivilegedCalls& privileged,
        FileSystemOps& fs, BatchRecorder* recorder)
        : m_root(RenamePaths::withoutTrailingSlash(root))
        , m_domain(errorDomain)
        , m_privileged(privileged)
        , m_fs(fs)
        , m_recorder(recorder)
        , m_standIns(m_root, fs, privileged.applyAttributes)
    {
        if (m_fs.realPath(m_root, m_resolvedRoot) != 0) {
            m_resolvedRoot = m_root;
        }
    }

    // Remembers, before anything moves, each renamed folder's status under
    // its final path: a folder this batch makes there stands in for it.
    void noteFolderTargets(const std::vector<const RenameInstruction*>& folders);
    void processFile(const RenameInstruction& instruction);
    void processFolder(const RenameInstruction& instruction);
    // While only files move, an existing folder keeps its resolved path, so
    // the containment answer is remembered; once folders move it is not.
    void startFolderPhase()
    {
        m_cacheResolvedFolders = false;
        m_resolvedFolders.clear();
    }
    // Logs what the batch counted rather than logged item by item.
    void finish();
    SourceFileRenamer::RenameBatchResult& result() { return m_result; }

private:
    bool checkPaths(const RenameInstruction& instruction);
    // Announces a step to the recorder; false (and the instruction failed)
    // when it cannot be recorded, or the batch already stopped for that.
    bool announce(BatchRecorder::Step step, const std::string& from, const std::string& to,
        const RenameInstruction& instruction);
    // The instruction fails because the batch's record could not be written.
    void failUnrecorded(const RenameInstruction& instruction);
    // The instruction's source is not there.
    void failMissing(const RenameInstruction& instruction, const std::string& logText, const std::string& message);
    void withdraw(BatchRecorder::Step step, const std::string& from, const std::string& to, const std::string& error);
    // The source could not be read for another reason than its absence.
    void failUnreadable(const RenameInstruction& instruction, const std::string& source, const std::string& target,
        int error);
    // After the history could not be written, every instruction fails unseen.
    bool stopped(const RenameInstruction& instruction)
    {
        return m_recordFailure && !announce(BatchRecorder::Step::moveFile, {}, {}, instruction);
    }
    bool ensureParent(const std::string& target, const RenameInstruction& instruction);
    // `before` is the source's lstat, taken before anything of this instruction was done.
    void rename(const RenameInstruction& instruction, const std::string& source, const std::string& target,
        const struct stat& before);
    void merge(const RenameInstruction& instruction, const std::string& source, const std::string& target);
    // Removes the merged, emptied source folder; false (and the failure
    // recorded) when it stays.
    bool removeMergedSource(const RenameInstruction& instruction, const std::string& source, const std::string& target,
        const SourceFileRenamer::MergeOutcome& outcome);
    // A merge that stopped: the failure names what stopped it.
    void failMerge(const RenameInstruction& instruction, const std::string& source, const std::string& target,
        const SourceFileRenamer::MergeOutcome& outcome);
    void fail(const RenameInstruction& instruction, const std::string& logText, const std::string& message);
    bool resolvesInsideRoot(const std::string& path);
    // Called for every folder this batch made: one made as the final path of
    // a renamed folder takes that folder's metadata.
    void adoptFolderMetadata(const std::string& folder);

    struct FolderSource {
        std::string path;
        struct stat status;
    };

    std::string m_root;
    std::string m_resolvedRoot;
    std::string m_domain;
    const SourceFileRenamer::PrivilegedCalls& m_privileged;
    FileSystemOps& m_fs;
    BatchRecorder* m_recorder;
    std::optional<Error> m_recordFailure;
    SourceFileRenamer::RenameBatchResult m_result;
    bool m_cacheResolvedFolders = true;
    std::unordered_map<std::string, bool> m_resolvedFolders;
    // Final path -> the renamed folder (empty for a batch without folder renames).
    std::unordered_map<std::string, FolderSource> m_folderSources;
    // The folders this batch made in place of renamed ones.
    StandInFolders m_standIns;
    // Folders below a renamed folder, by the path made for them under its
    // final path (e.g. the folder c of a renamed docs, made as docs 2/c).
    std::unordered_map<std::string, FolderSource> m_innerFolderSources;
    // The renamed folder whose final path is at or above `folder`, if any.
    const FolderSource* innerSourceFor(const std::string& folder);
};

const BatchRun::FolderSource* BatchRun::innerSourceFor(const std::string& folder)
{
    for (std::string above = RenamePaths::parent(folder); RenamePaths::isWithin(m_root, above) && above != m_root;
         above = RenamePaths::parent(above)) {
        const auto found = m_folderSources.find(above);
        if (found == m_folderSources.end()) {
            continue;
        }
        // The same place below the renamed folder's source.
        FolderSource inner {RenamePaths::join(found->second.path, RenamePaths::relativeTo(above, folder)), {}};
        if (m_fs.lstat(inner.path, inner.status) != 0 || !S_ISDIR(inner.status.st_mode)) {
            return nullptr;
        }
        return &m_innerFolderSources.insert_or_assign(folder, std::move(inner)).first->second;
    }
    return nullptr;
}

bool BatchRun::announce(BatchRecorder::Step step, const std::string& from, const std::string& to,
    const RenameInstruction& instruction)
{
    if (m_recorder == nullptr) {
        return true;
    }
    if (!m_recordFailure) {
        if (Status recorded = m_recorder->willDo(step, from, to); recorded) {
            return true;
        } else {
            m_recordFailure = recorded.error();
        }
    }
    failUnrecorded(instruction);
    return false;
}

void BatchRun::failUnrecorded(const RenameInstruction& instruction)
{
    fail(instruction, "Rename skipped: the batch's history could not be written" + kDash + instruction.currentRelativePath + ": " + m_recordFailure->message,
        "Not renamed: the batch's history could not be written (" + m_recordFailure->message
            + "). The batch stopped here, so that every rename it made can be undone.");
}

void BatchRun::failMissing(const RenameInstruction& instruction, const std::string& logText, const std::string& message)
{
    // A list older than the folder can hold thousands of such items: the
    // log names the first, and finish() counts the rest in one line.
    if (m_result.missingSources++ == 0) {
        TESS_LOG_ERROR(kCross + logText);
    }
    m_result.failed.push_back({instruction.currentRelativePath, Error {m_domain, -1, message}});
}

void BatchRun::finish()
{
    m_standIns.finishAll();
    m_result.foldersNotKept = m_standIns.notKept();
    if (m_result.missingSources > 1) {
        TESS_LOG_ERROR(kCross + "Rename skipped: source missing for " + std::to_string(m_result.missingSources - 1)
            + " more items (not logged one by one); the folder changed since it was scanned");
    }
}

void BatchRun::withdraw(BatchRecorder::Step step, const std::string& from, const std::string& to, const std::string& error)
{
    if (m_recorder != nullptr && !m_recordFailure) {
        if (Status recorded = m_recorder->didFail(step, from, to, error); !recorded) {
            m_recordFailure = recorded.error();
        }
    }
}

void BatchRun::failUnreadable(const RenameInstruction& instruction, const std::string& source, const std::string& target,
    int error)
{
    const Error posix = SourceFileRenamer::posixError(error);
    const std::string detail = SourceFileRenamer::isPermissionError(posix)
        ? "Permission denied. " + SourceFileRenamer::diagnosePermissionFailure(source, target, m_fs)
        : "Rename failed: " + posix.message + ". The item could not be read.";
    fail(instruction, "Rename skipped: cannot read source" + kDash + instruction.currentRelativePath + ": " + posix.message, detail);
}

void BatchRun::noteFolderTargets(const std::vector<const RenameInstruction*>& folders)
{
    for (const RenameInstruction* instruction : folders) {
        if (instruction->currentRelativePath == instruction->targetRelativePath
            || !RenamePaths::isValidRelative(instruction->currentRelativePath)
            || !RenamePaths::isValidRelative(instruction->targetRelativePath)) {
            continue;
        }
        FolderSource source {RenamePaths::join(m_root, instruction->currentRelativePath), {}};
        if (m_fs.lstat(source.path, source.status) != 0 || !S_ISDIR(source.status.st_mode)) {
            continue;
        }
        m_folderSources.emplace(RenamePaths::join(m_root, instruction->targetRelativePath), std::move(source));
    }
}

void BatchRun::adoptFolderMetadata(const std::string& folder)
{
    if (m_folderSources.empty()) {
        return;
    }
    if (m_standIns.contains(folder)) {
        return;
    }
    const auto found = m_folderSources.find(folder);
    const FolderSource* source = found != m_folderSources.end() ? &found->second : innerSourceFor(folder);
    if (source != nullptr) {
        m_standIns.made(folder, source->path, source->status);
    }
}

void BatchRun::fail(const RenameInstruction& instruction, const std::string& logText, const std::string& message)
{
    TESS_LOG_ERROR(kCross + logText);
    m_result.failed.push_back({instruction.currentRelativePath, Error {m_domain, -1, message}});
}

bool BatchRun::resolvesInsideRoot(const std::string& path)
{
    // The nearest existing folder at or above `path` must resolve inside the
    // root: no link on the way may lead elsewhere.
    std::string folder = path;
    for (;;) {
        if (auto known = m_resolvedFolders.find(folder); known != m_resolvedFolders.end()) {
            return known->second;
        }
        std::string resolved;
        const int error = m_fs.realPath(folder, resolved);
        if (error == 0) {
            const bool inside = RenamePaths::isWithin(m_resolvedRoot, resolved);
            if (m_cacheResolvedFolders) {
                m_resolvedFolders.emplace(folder, inside);
            }
            return inside;
        }
        // Walk up only past what truly is not there: a dangling link (or
        // anything else that cannot be resolved) may lead anywhere.
        struct stat status;
        if (error != ENOENT || m_fs.lstat(folder, status) != ENOENT || !RenamePaths::isWithin(m_root, folder)
            || folder == m_root) {
            return false;
        }
        folder = RenamePaths::parent(folder);
    }
}

bool BatchRun::checkPaths(const RenameInstruction& instruction)
{
    const bool valid = RenamePaths::isValidRelative(instruction.currentRelativePath)
        && RenamePaths::isValidRelative(instruction.targetRelativePath)
        && resolvesInsideRoot(RenamePaths::parent(RenamePaths::join(m_root, instruction.currentRelativePath)))
        && resolvesInsideRoot(RenamePaths::parent(RenamePaths::join(m_root, instruction.targetRelativePath)));
    if (!valid) {
        fail(instruction,
            "Rename skipped: invalid path" + kDash + instruction.currentRelativePath + kArrow + instruction.targetRelativePath,
            "The planned path is invalid or leads outside the scanned folder.");
    }
    return valid;
}

bool BatchRun::ensureParent(const std::string& target, const RenameInstruction& instruction)
{
    const std::string parent = RenamePaths::parent(target);
    if (RenameChecks::exists(m_fs, parent)) {
        return true;
    }

    // Missing folders from the parent upwards, deepest first.
    std::vector<std::string> missing;
    for (std::string folder = parent; folder != m_root && RenamePaths::isWithin(m_root, folder)
         && !RenameChecks::exists(m_fs, folder);
         folder = RenamePaths::parent(folder)) {
        missing.push_back(folder);
    }

    // Create them shallowest first; remember only what really was created.
    using Step = BatchRecorder::Step;
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        const std::string relative = RenamePaths::relativeTo(m_root, *it);
        if (!announce(Step::createFolder, relative, {}, instruction)) {
            return false;
        }
        const int error = m_fs.makeDirectory(*it, 0777);
        if (error == 0) {
            m_result.createdDirectories.insert(relative);
            adoptFolderMetadata(*it);
            continue;
        }
        withdraw(Step::createFolder, relative, {}, SourceFileRenamer::posixError(error).message);
        if (error == EEXIST && RenameChecks::isRealDirectory(m_fs, *it)) {
            continue;  // made by someone else meanwhile
        }

        // The failure names the target's parent, whichever folder on the way
        // to it could not be made.
        const std::string description = SourceFileRenamer::posixError(error).message;
        if (!m_privileged.createDirectory) {
            fail(instruction,
                "Rename failed: could not create parent directory" + kDash + parent + ": " + description,
                "Cannot create parent folder " + RenamePaths::lastComponent(parent)
                    + ". Check folder permissions and available disk space, then retry. (" + description + ")");
            return false;
        }
        for (auto rest = it; rest != missing.rend(); ++rest) {
            if (!announce(Step::createFolder, RenamePaths::relativeTo(m_root, *rest), {}, instruction)) {
                return false;
            }
        }
        const auto reply = m_privileged.createDirectory(parent);
        // Whatever now exists of the missing chain was created for this batch.
        for (auto rest = it; rest != missing.rend(); ++rest) {
            if (!RenameChecks::exists(m_fs, *rest)) {
                withdraw(Step::createFolder, RenamePaths::relativeTo(m_root, *rest), {}, reply.message);
            } else {
                m_result.createdDirectories.insert(RenamePaths::relativeTo(m_root, *rest));
                // The helper made it: the metadata is given from here, as far
                // as this process may.
                if (RenameChecks::isRealDirectory(m_fs, *rest)) {
                    adoptFolderMetadata(*rest);
                }
            }
        }
        // A reply of failure (perhaps a time-out) counts only if the folder is missing.
        if (reply.success || RenameChecks::isRealDirectory(m_fs, parent)) {
            return true;
        }
        fail(instruction,
            "Rename failed: could not create parent directory (privileged)" + kDash + parent + ": " + reply.message,
            "Cannot create parent folder " + RenamePaths::lastComponent(parent)
                + ". Check that the volume is writable and not full, then retry. (" + reply.message + ")");
        return false;
    }
    return true;
}

void BatchRun::rename(const RenameInstruction& instruction, const std::string& source, const std::string& target,
    const struct stat& before)
{
    if (!ensureParent(target, instruction)) {
        return;
    }
    const auto step = instruction.isDirectory ? BatchRecorder::Step::moveFolder : BatchRecorder::Step::moveFile;
    if (!announce(step, instruction.currentRelativePath, instruction.targetRelativePath, instruction)) {
        return;
    }
    const Status moved = SourceFileRenamer::moveItem(source, target, m_privileged.rename, m_domain, m_fs);
    if (!moved) {
        withdraw(step, instruction.currentRelativePath, instruction.targetRelativePath, moved.error().message);
        m_result.failed.push_back({instruction.currentRelativePath, moved.error()});
        return;
    }
    m_result.renamed.push_back({instruction.currentRelativePath, instruction.targetRelativePath});
    m_result.renamedIdentities.push_back(ItemIdentity::of(before));
}

void BatchRun::processFile(const RenameInstruction& instruction)
{
    if (stopped(instruction) || !checkPaths(instruction)) {
        return;
    }
    const std::string source = RenamePaths::join(m_root, instruction.currentRelativePath);
    const std::string target = RenamePaths::join(m_root, instruction.targetRelativePath);
    struct stat sourceStatus;
    if (const int error = m_fs.lstat(source, sourceStatus); error != 0) {
        if (error != ENOENT && error != ENOTDIR) {
            failUnreadable(instruction, source, target, error);
            return;
        }
        failMissing(instruction, "Rename skipped: source file missing" + kDash + instruction.currentRelativePath,
            "Source file not found at expected location.");
        return;
    }
    if (!S_ISREG(sourceStatus.st_mode)) {
        m_resolvedFolders.clear();  // a folder or a link moves: what was resolved through it is stale
    }
    if (RenameChecks::exists(m_fs, target) && !RenameChecks::isSameItem(m_fs, source, target)) {
        fail(instruction,
            "Rename failed: target file already exists" + kDash + instruction.currentRelativePath + kArrow + instruction.targetRelativePath,
            "Target file already exists at " + instruction.targetRelativePath + ". Delete or rename the existing file, then retry.");
        return;
    }
    rename(instruction, source, target, sourceStatus);
}

void BatchRun::processFolder(const RenameInstruction& instruction)
{
    if (stopped(instruction) || !checkPaths(instruction)) {
        return;
    }
    const std::string source = RenamePaths::join(m_root, instruction.currentRelativePath);
    const std::string target = RenamePaths::join(m_root, instruction.targetRelativePath);
    struct stat sourceStatus;
    const int sourceError = m_fs.lstat(source, sourceStatus);
    if (sourceError != 0 && sourceError != ENOENT && sourceError != ENOTDIR) {
        failUnreadable(instruction, source, target, sourceError);
        return;
    }
    if (sourceError != 0 || !S_ISDIR(sourceStatus.st_mode)) {
        failMissing(instruction, "Rename skipped: source directory missing" + kDash + instruction.currentRelativePath,
            "Source directory not found at expected location.");
        return;
    }
    if (!RenameChecks::exists(m_fs, target) || RenameChecks::isSameItem(m_fs, source, target)) {
        rename(instruction, source, target, sourceStatus);
        return;
    }
    if (!RenameChecks::isRealDirectory(m_fs, target)) {
        // A file or a link is in the way: never merge into it.
        fail(instruction,
            "Rename failed: target file already exists" + kDash + instruction.currentRelativePath + kArrow + instruction.targetRelativePath,
            "Target file already exists at " + instruction.targetRelativePath + ". Delete or rename the existing file, then retry.");
        return;
    }
    merge(instruction, source, target);
}

void BatchRun::merge(const RenameInstruction& instruction, const std::string& source, const std::string& target)
{
    if (m_recorder != nullptr) {
        m_recorder->checkpoint();
    }
    SourceFileRenamer::MergeOutcome outcome
        = SourceFileRenamer::mergeFolder(source, target, m_root, m_fs, m_privileged, m_recorder);
    const bool intoCreatedFolder = m_result.createdDirectories.count(instruction.targetRelativePath) != 0;
    for (SourceFileRenamer::MergedItem change : outcome.changes) {
        change.intoCreatedFolder = intoCreatedFolder;
        if (change.to.empty()) {
            m_standIns.originalRemoved(RenamePaths::join(m_root, change.from));
        }
        m_result.mergedItems.push_back(std::move(change));
    }
    // Whatever the merge got to move is in place: the folders made for the
    // renamed one and for those inside it take their times now.
    m_standIns.finishWithin(target);
    if (!outcome.ok()) {
        failMerge(instruction, source, target, outcome);
        return;
    }
    if (removeMergedSource(instruction, source, target, outcome)) {
        m_result.mergedDirectories.push_back(instruction.currentRelativePath);
        m_standIns.originalRemoved(source);
    }
}

bool BatchRun::removeMergedSource(const RenameInstruction& instruction, const std::string& source,
    const std::string& target, const SourceFileRenamer::MergeOutcome& outcome)
{
    using Step = BatchRecorder::Step;
    if (!announce(Step::removeFolder, instruction.currentRelativePath, {}, instruction)) {
        return false;
    }
    // The folder is only ever removed with rmdir, by this process or by the
    // helper's removal of an empty folder.
    const int error = m_fs.removeDirectory(source);
    if (error == 0) {
        return true;
    }
    const Error posix = SourceFileRenamer::posixError(error);
    const bool permission = SourceFileRenamer::isPermissionError(posix);
    std::string detail;
    std::string logged = "Rename failed: could not remove source directory after merging contents" + kDash + source + ": " + posix.message;
    if (permission && m_privileged.removeDirectory) {
        const auto reply = m_privileged.removeDirectory(source);
        // A reply of failure (perhaps a time-out) counts only if the folder is still there.
        if (reply.success || !RenameChecks::exists(m_fs, source)) {
            return true;
        }
        logged = "Rename failed: could not remove source directory after merging contents (privileged)" + kDash + source + ": " + reply.message;
        detail = SourceFileRenamer::diagnosePermissionFailure(source, target, m_fs) + " (" + reply.message + ")";
    } else if (permission) {
        detail = SourceFileRenamer::diagnosePermissionFailure(source, target, m_fs);
    } else if (!outcome.unremovedSubfolder.empty()) {
        // Not empty: a subfolder the merge emptied is still in it.
        detail = "Its emptied subfolder " + outcome.unremovedSubfolder + " could not be removed (" + outcome.unremovedReason + ").";
    } else {
        detail = posix.message;
    }
    withdraw(Step::removeFolder, instruction.currentRelativePath, {}, posix.message);
    // The merge moved in items that needed no rename of their own; when
    // every item had been moved by its own rename, only the folder stayed.
    const bool movedUnindexed = std::any_of(outcome.changes.begin(), outcome.changes.end(),
        [](const SourceFileRenamer::MergedItem& change) { return !change.to.empty(); });
    fail(instruction, logged,
        movedUnindexed ? "Unindexed files were merged into the target, but the original folder could not be removed. " + detail
                       : "Its items are in " + RenamePaths::lastComponent(target) + " now, but the original folder could not be removed. " + detail);
    return false;
}

void BatchRun::failMerge(const RenameInstruction& instruction, const std::string& source, const std::string& target,
    const SourceFileRenamer::MergeOutcome& outcome)
{
    using Stop = SourceFileRenamer::MergeOutcome::Stop;
    if (outcome.stop == Stop::notRecorded) {
        m_recordFailure = outcome.error;
        failUnrecorded(instruction);
        return;
    }
    const std::string into = "Could not merge into the existing folder " + RenamePaths::lastComponent(target) + ": ";
    if (outcome.stop == Stop::unlisted) {
        fail(instruction,
            "Rename failed: could not merge" + kDash + instruction.currentRelativePath + kArrow + instruction.targetRelativePath
                + ": cannot list " + outcome.from + ": " + outcome.error.message,
            into + "the contents of " + outcome.name + " could not be listed (" + outcome.error.message + ")."
                + (SourceFileRenamer::isPermissionError(outcome.error)
                        ? " " + SourceFileRenamer::diagnosePermissionFailure(outcome.from, outcome.to, m_fs)
                        : std::string()));
        return;
    }
    if (outcome.stop == Stop::moveFailed) {
        const std::string advice = SourceFileRenamer::isPermissionError(outcome.error)
            ? SourceFileRenamer::diagnosePermissionFailure(outcome.from, outcome.to, m_fs)
            : "Ensure the volume is writable and has space, then retry.";
        fail(instruction,
            "Rename failed: could not merge" + kDash + instruction.currentRelativePath + kArrow + instruction.targetRelativePath
                + ": " + outcome.name + ": " + outcome.error.message,
            into + outcome.name + " could not be moved (" + outcome.error.message + "). " + advice);
        return;
    }
    std::vector<FileSystemOps::DirEntry> entries;
    m_fs.listDirectory(source, entries);
    const std::string names = SourceFileRenamer::namesForSentence(entries);
    std::string quoted;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        quoted += (i ? ", \"" : "\"") + entries[i].name + "\"";
    }
    fail(instruction,
        "Rename failed: directory conflict, cannot merge" + kDash + instruction.currentRelativePath + " contains: [" + quoted + "]",
        "Both the original and target folder exist with conflicting contents (" + names
            + "). Manually merge or remove the conflicting items, then retry.");
}

std::size_t pieceCount(const std::string& relative)
{
    return static_cast<std::size_t>(std::count(relative.begin(), relative.end(), '/')) + 1;
}

}  // namespace

namespace {

SourceFileRenamer::RenameBatchResult runBatch(const std::vector<RenameInstruction>& instructions, BatchRun& run)
{
    std::vector<const RenameInstruction*> folders;
    for (const auto& instruction : instructions) {
        if (instruction.isDirectory) {
            folders.push_back(&instruction);
        }
    }
    run.noteFolderTargets(folders);
    for (const auto& instruction : instructions) {
        if (!instruction.isDirectory) {
            run.processFile(instruction);
        }
    }
    std::stable_sort(folders.begin(), folders.end(), [](const RenameInstruction* a, const RenameInstruction* b) {
        return pieceCount(a->currentRelativePath) > pieceCount(b->currentRelativePath);
    });
    run.startFolderPhase();
    for (const auto* folder : folders) {
        run.processFolder(*folder);
    }
    run.finish();
    return std::move(run.result());
}

}  // namespace

SourceFileRenamer::RenameBatchResult SourceFileRenamer::renameFiles(const std::vector<RenameInstruction>& instructions,
    const std::string& root, const std::string& errorDomain, const PrivilegedRename& privilegedRename,
    const PrivilegedCreateDirectory& privilegedCreateDirectory, FileSystemOps& fs)
{
    return renameFiles(instructions, root, errorDomain, PrivilegedCalls {privilegedRename, privilegedCreateDirectory, {}, {}}, fs, nullptr);
}

SourceFileRenamer::RenameBatchResult SourceFileRenamer::renameFiles(const std::vector<RenameInstruction>& instructions,
    const std::string& root, const std::string& errorDomain, const PrivilegedRename& privilegedRename,
    const PrivilegedCreateDirectory& privilegedCreateDirectory, FileSystemOps& fs, BatchRecorder& recorder)
{
    return renameFiles(instructions, root, errorDomain, PrivilegedCalls {privilegedRename, privilegedCreateDirectory, {}, {}}, fs, &recorder);
}

SourceFileRenamer::RenameBatchResult SourceFileRenamer::renameFiles(const std::vector<RenameInstruction>& instructions,
    const std::string& root, const std::string& errorDomain, const PrivilegedCalls& privileged, FileSystemOps& fs,
    BatchRecorder* recorder)
{
    BatchRun run(root, errorDomain, privileged, fs, recorder);
    return runBatch(instructions, run);
}

std::string SourceFileRenamer::namesForSentence(const std::vector<FileSystemOps::DirEntry>& entries)
{
    std::string names;
    for (std::size_t i = 0; i < entries.size() && i < 5; ++i) {
        names += (i ? ", " : "") + entries[i].name;
    }
    if (entries.size() > 5) {
        names += " and " + std::to_string(entries.size() - 5) + " more";
    }
    return names;
}

Error SourceFileRenamer::posixError(int errorNumber)
{
    return Error {kPosixErrorDomain, errorNumber, std::strerror(errorNumber)};
}

bool SourceFileRenamer::isPermissionError(const Error& error)
{
    return error.domain == kPosixErrorDomain && (error.code == EACCES || error.code == EPERM);
}

Status SourceFileRenamer::posixRename(const std::string& source, const std::string& destination, FileSystemOps& fs)
{
    if (source == destination) {
        struct stat st;
        const int error = fs.lstat(source, st);
        return error == 0 ? Status() : Status(posixError(error));
    }
    if (RenamePaths::lastComponent(source) == RenamePaths::lastComponent(destination)
        && RenameChecks::isSameItem(fs, source, destination)) {
        return {};  // the item itself, reached through its folder's other spelling
    }
    int error = fs.renameNoReplace(source, destination);
    if (error == EEXIST && RenameChecks::isCaseOnlyRenameOnCaseInsensitiveVolume(fs, source, destination)) {
        // The volume resolves the new name to the item itself: go through a
        // unique temporary name in the same folder.
        static std::atomic<unsigned> counter {0};
        const std::string folder = RenamePaths::parent(source);
        std::string temporary;
        do {
            temporary = RenamePaths::join(folder, ".tessaline-case-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        } while (RenameChecks::exists(fs, temporary));
        error = fs.renameNoReplace(source, temporary);
        if (error == 0) {
            error = fs.renameNoReplace(temporary, destination);
            if (error != 0) {
                int back = fs.renameNoReplace(temporary, source);
                for (int attempt = 0; back != 0 && attempt < 2; ++attempt) {
                    back = fs.renameNoReplace(temporary, source);
                }
                if (back != 0) {
                    TESS_LOG_ERROR(kCross + "Rename failed: item left under temporary name" + kDash + temporary + ": "
                        + posixError(back).message);
                }
            }
        }
    }
    return error == 0 ? Status() : Status(posixError(error));
}

Status SourceFileRenamer::moveItem(const std::string& source, const std::string& destination,
    const PrivilegedRename& privilegedRename, const std::string& errorDomain, FileSystemOps& fs)
{
    const Status moved = posixRename(source, destination, fs);
    if (moved) {
        return {};
    }
    const Error& error = moved.error();
    auto failure = [&](const std::string& message) { return Error {errorDomain, -1, message}; };
    const bool permission = isPermissionError(error);
    if (permission && privilegedRename) {
        const auto reply = privilegedRename(source, destination);
        if (reply.success || RenameChecks::moveHappened(fs, source, destination)) {
            return {};
        }
        const std::string summary = diagnosePermissionFailure(source, destination, fs);
        TESS_LOG_ERROR(kCross + "Rename failed: privileged move also failed" + kDash + source + kArrow + destination + ": " + reply.message);
        // The helper's own reply says why it did not move it (a refusal, a
        // helper that cannot be reached, the system's error).
        return failure("Permission denied even with elevated privileges. " + summary + " (" + reply.message + ")");
    }
    if (!permission) {
        TESS_LOG_ERROR(kCross + "Rename failed: move error" + kDash + source + kArrow + destination + ": " + error.message);
        return failure("Rename failed: " + error.message
            + ". Ensure the file is not open in another app, the volume is writable, and there is sufficient disk space.");
    }
    const std::string summary = diagnosePermissionFailure(source, destination, fs);
    TESS_LOG_ERROR(kCross + "Rename failed: permission denied (no privileged helper)" + kDash + source + ": " + error.message);
    return failure("Permission denied. " + summary);
}

void SourceFileRenamer::collectSubdirectories(const std::string& folder, std::vector<std::string>& out, FileSystemOps& fs)
{
    std::vector<FileSystemOps::DirEntry> entries;
    if (fs.listDirectory(folder, entries) != 0) {
        return;
    }
    for (const auto& entry : entries) {
        if (entry.type != FileSystemOps::EntryType::directory) {
            continue;  // files, and links (never followed)
        }
        const std::string path = RenamePaths::join(folder, entry.name);
        out.push_back(path);
        collectSubdirectories(path, out, fs);
    }
}

}  // namespace tess
