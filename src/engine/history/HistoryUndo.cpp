#include "history/HistoryUndo.h"

#include "analysis/RelativePath.h"
#include "history/TransformationHistory.h"
#include "log/AppLogger.h"
#include "rename/RenameChecks.h"
#include "rename/RenamePaths.h"
#include "rename/StandInFolders.h"
#include "rename/VerificationSentences.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <utility>

namespace tess {

namespace {

using FailedItem = SourceFileRenamer::FailedItem;

Error userError(const std::string& domain, std::string message)
{
    return Error {domain, -1, std::move(message)};
}

// A folder the batch made in place of a renamed one, with its status from
// before the undo moved anything out of it: the former folder, made again by
// the undo, takes its metadata back from it.
struct StandIn {
    std::string created;  // root-relative
    struct stat status;
};
// By the former folder's root-relative path.
using StandIns = std::map<std::string, StandIn>;

StandIns standInsOf(const std::map<std::string, std::string>& mapping, const std::string& root, FileSystemOps& fs)
{
    StandIns out;
    for (const auto& [created, former] : mapping) {
        StandIn standIn {created, {}};
        if (fs.lstat(RenamePaths::join(root, created), standIn.status) == 0 && S_ISDIR(standIn.status.st_mode)) {
            out.emplace(former, std::move(standIn));
        }
    }
    return out;
}

// A former folder the undo made takes the metadata of the folder that stood
// in for it.
void adoptMetadata(const std::string& former, const StandIns& standIns, const std::string& root, StandInFolders& formers)
{
    const auto found = standIns.find(former);
    if (found != standIns.end()) {
        formers.made(RenamePaths::join(root, former), RenamePaths::join(root, found->second.created), found->second.status);
    }
}

// A record of an item a folder merge moved along: "SM" with both paths.
// Other "SM" records (a journal's settled mark has no path) mean nothing here.
bool isMergeMove(const HistoryRecord& record)
{
    return record.type == HistoryRecordType::storedMetadata && record.status == HistoryRecordStatus::ok
        && !record.originalRelativePath.empty() && !record.finalRelativePath.empty();
}

// Why the undo must not run at all, as failures; empty when it may run.
std::vector<FailedItem> refusals(const HistoryEntry& entry, const HistoryEntry& plan, const std::string& root,
    const std::string& errorDomain, FileSystemOps& fs)
{
    std::vector<FailedItem> out;
    if (!HistoryUndo::isSameScanRoot(entry.scanRoot, root, fs)) {
        TESS_LOG_ERROR("❌ Undo refused: the entry was recorded under " + entry.scanRoot + ", not under the open source folder " + root);
        out.push_back({entry.scanRoot, userError(errorDomain, "This batch was recorded in another folder (" + entry.scanRoot + "). Open that folder as the source, then undo again.")});
        return out;
    }
    std::set<std::string> reported;
    const auto check = [&](const std::string& path) {
        if (RenamePaths::isValidRelative(path) || !reported.insert(path).second) {
            return;
        }
        TESS_LOG_ERROR("❌ Undo refused: unsafe path in history entry — " + path);
        out.push_back({path, userError(errorDomain, "The history file holds an unsafe path (" + path + "). Nothing was undone.")});
    };
    for (const HistoryRecord& record : plan.records) {
        check(record.originalRelativePath);
        if (record.type == HistoryRecordType::file || record.type == HistoryRecordType::directory) {
            check(record.finalRelativePath);
        }
    }
    for (const HistoryRecord& record : entry.records) {
        if (isMergeMove(record)) {
            check(record.originalRelativePath);
            check(record.finalRelativePath);
        }
    }
    return out;
}

// The nearest existing folder at or above root/relative resolves inside the
// root; what is missing below it is plain folders to be. A dangling link on
// the way may lead anywhere and counts as outside.
bool staysInsideRoot(FileSystemOps& fs, const std::string& root, const std::string& relative)
{
    std::string realRoot;
    if (fs.realPath(root, realRoot) != 0) {
        return false;
    }
    const std::string base = RenamePaths::withoutTrailingSlash(root);
    for (std::string path = RenamePaths::join(base, relative);; path = RenamePaths::parent(path)) {
        std::string resolved;
        if (fs.realPath(path, resolved) == 0) {
            return RenamePaths::isWithin(realRoot, resolved);
        }
        // Only what is truly absent (or lies below a file) is passed over.
        struct stat st;
        const int missing = fs.lstat(path, st);
        if ((missing != ENOENT && missing != ENOTDIR) || path == base || !RenamePaths::isWithin(base, path)) {
            return false;
        }
    }
}

// Makes root/relative and every missing folder above it: by this process,
// else through the helper, which is never asked to make a folder through a
// link that leads out of the tree. Each folder made that a folder of the
// batch stood in for takes that folder's metadata.
struct MadeFolder {
    bool ok = false;  // there now, or the helper says it made it
    bool privileged = false;  // the helper was asked
    std::string failure;  // why not: the system's reason or the helper's reply
};
MadeFolder makeFolder(FileSystemOps& fs, const std::string& root, const std::string& relative,
    const SourceFileRenamer::PrivilegedCreateDirectory& privilegedCreateDirectory, const StandIns& standIns,
    StandInFolders& formers)
{
    const std::string base = RenamePaths::withoutTrailingSlash(root);
    std::vector<std::string> missing;  // shallowest first
    std::string path = base;
    int error = 0;
    for (const std::string& component : RenamePaths::components(relative)) {
        path = RenamePaths::join(path, component);
        struct stat st;
        if (error == 0 && fs.lstat(path, st) == 0) {
            if (!S_ISDIR(st.st_mode)) {
                error = ENOTDIR;
            }
            continue;
        }
        if (error == 0) {
            error = fs.makeDirectory(path, 0777);
            if (error == 0) {
                adoptMetadata(RenamePaths::relativeTo(base, path), standIns, root, formers);
                continue;
            }
            if (error == EEXIST && RenameChecks::isRealDirectory(fs, path)) {
                error = 0;
                continue;
            }
        }
        missing.push_back(path);
    }
    if (error == 0) {
        return {true, false, {}};
    }
    if (!privilegedCreateDirectory || !staysInsideRoot(fs, root, relative)) {
        return {false, false, std::strerror(error)};
    }
    const SourceFileRenamer::PrivilegedReply reply = privilegedCreateDirectory(RenamePaths::join(base, relative));
    // Whatever of the chain is there now was made for the undo; a reply of
    // failure (perhaps a time-out) counts only if the folder is missing.
    for (const std::string& folder : missing) {
        if (RenameChecks::isRealDirectory(fs, folder)) {
            adoptMetadata(RenamePaths::relativeTo(base, folder), standIns, root, formers);
        }
    }
    const bool made = reply.success || RenameChecks::isRealDirectory(fs, RenamePaths::join(base, relative));
    return {made, true, made ? std::string() : reply.message};
}

// Appends to `recreated` each removed folder ("RD") it made again.
// `beforeMaking` is called with each one's path before it is made.
void recreateRemovedDirectories(const HistoryEntry& plan, const std::string& root, const std::string& errorDomain,
    const SourceFileRenamer::PrivilegedCreateDirectory& privilegedCreateDirectory, FileSystemOps& fs,
    const StandIns& standIns, StandInFolders& formers, std::vector<FailedItem>& failed, std::vector<std::string>& recreated,
    const std::function<void(const std::string&)>& beforeMaking)
{
    for (const HistoryRecord& record : plan.records) {
        if (record.type != HistoryRecordType::removedDirectory) {
            continue;
        }
        const std::string& relative = record.originalRelativePath;
        const std::string full = RenamePaths::join(root, relative);
        if (RenameChecks::exists(fs, full)) {
            continue;
        }
        beforeMaking(relative);
        if (RenameChecks::exists(fs, full)) {
            continue;  // it came back with what a merge moved whole
        }
        const MadeFolder made = makeFolder(fs, root, relative, privilegedCreateDirectory, standIns, formers);
        if (made.ok) {
            // Only what is there counts as made (a helper may say success and make nothing).
            if (RenameChecks::isRealDirectory(fs, full)) {
                recreated.push_back(relative);
            }
            if (!made.privileged) {
                TESS_LOG_INFO("Undo: recreated directory " + relative);
            }
            continue;
        }
        TESS_LOG_ERROR(std::string("❌ Undo: failed to recreate directory") + (made.privileged ? " (privileged)" : "") + " — "
            + full + ": " + made.failure);
        failed.push_back({relative, userError(errorDomain, "Failed to recreate directory: " + made.failure)});
    }
}

// The item of a move back is at its former path and gone from where the
// batch put it.
bool isBack(FileSystemOps& fs, const std::string& root, const RenameInstruction& moveBack)
{
    return RenameChecks::moveHappened(fs, RenamePaths::join(root, moveBack.currentRelativePath),
        RenamePaths::join(root, moveBack.targetRelativePath));
}

using Move = std::pair<std::string, std::string>;

// Renames whose verification found another item than the renamed one at the
// new name, as (original path, new path).
std::set<Move> replacedTargets(const HistoryEntry& entry)
{
    std::set<Move> replaced;
    for (const HistoryRecord& record : entry.records) {
        if (record.status != HistoryRecordStatus::verifyFail) {
            continue;
        }
        const std::optional<VerificationSentences::Reading> reading = VerificationSentences::read(record.error);
        if (reading && reading->targetIsAnotherItem) {
            replaced.insert({record.originalRelativePath, record.finalRelativePath});
        }
    }
    return replaced;
}

// The moves back of the plan, leaving out items already back at their
// former paths (counted in `alreadyInPlace`) and items the batch found
// replaced at their new names (failures: they are never moved).
std::vector<RenameInstruction> moveBackInstructions(const HistoryEntry& entry, const HistoryEntry& plan, const std::string& root,
    const std::string& errorDomain, FileSystemOps& fs, HistoryUndo::UndoResult& result)
{
    const std::set<Move> replaced = replacedTargets(entry);
    std::vector<RenameInstruction> instructions;
    for (const HistoryRecord& record : plan.records) {
        if (record.type != HistoryRecordType::file && record.type != HistoryRecordType::directory) {
            continue;
        }
        if (replaced.count({record.finalRelativePath, record.originalRelativePath}) != 0) {
            TESS_LOG_ERROR("❌ Undo: " + record.originalRelativePath + " left in place — the item there is not the one the batch renamed");
            result.leftInPlace.insert(record.originalRelativePath);
            result.failed.push_back({record.originalRelativePath,
                userError(errorDomain, "Not restored: the item at " + record.originalRelativePath + " is not the one this rename moved there (the rename's verification found it replaced), so it was left in place.")});
            continue;
        }
        RenameInstruction moveBack {record.originalRelativePath, record.finalRelativePath, record.type == HistoryRecordType::directory};
        if (moveBack.currentRelativePath != moveBack.targetRelativePath && isBack(fs, root, moveBack)) {
            ++result.alreadyInPlace;
            continue;
        }
        instructions.push_back(std::move(moveBack));
    }
    return instructions;
}

// Moves back what the batch's folder merges moved along ("SM" records),
// the last first. A folder moved whole must go back whole: this user may not
// be allowed to take out what is in it (a folder of root's inside may not
// change folders). So each goes back as soon as it can (its former folder is
// there and its former path is free): before the undo makes a removed folder
// again at or below its former path, before the moves back of renamed items
// make that path again as their parent, and the rest at the end.
class MergeMovesBack {
public:
    MergeMovesBack(const HistoryEntry& entry, const std::string& root, const std::string& errorDomain,
        const SourceFileRenamer::PrivilegedCalls& privileged, FileSystemOps& fs)
        : m_root(root)
        , m_domain(errorDomain)
        , m_privileged(privileged)
        , m_fs(fs)
    {
        for (auto it = entry.records.rbegin(); it != entry.records.rend(); ++it) {
            if (isMergeMove(*it)) {
                m_byFormer.emplace(it->originalRelativePath, m_moves.size());
                m_moves.push_back({it->finalRelativePath, it->originalRelativePath, false});
            }
        }
    }

    // The folder `relative` is about to be made again: what went from it, or
    // from a folder above it, goes back first.
    void beforeMaking(const std::string& relative)
    {
        std::string folder;
        for (const std::string& component : RenamePaths::components(relative)) {
            folder = folder.empty() ? component : folder + "/" + component;
            if (const auto found = m_byFormer.find(folder); found != m_byFormer.end() && isReady(m_moves[found->second])) {
                run({m_moves[found->second]});
            }
        }
    }

    void moveReady() { run(select(true)); }
    void moveRest() { run(select(false)); }

    SourceFileRenamer::RenameBatchResult& result() { return m_result; }

private:
    bool isReady(const RenameInstruction& moveBack) const
    {
        const std::string former = RenamePaths::join(m_root, moveBack.targetRelativePath);
        return m_tried.count({moveBack.currentRelativePath, moveBack.targetRelativePath}) == 0 && !RenameChecks::exists(m_fs, former)
            && RenameChecks::isRealDirectory(m_fs, RenamePaths::parent(former))
            && RenameChecks::exists(m_fs, RenamePaths::join(m_root, moveBack.currentRelativePath));
    }

    // Those not tried yet and not back already; with `onlyReady`, those
    // that can go back whole now.
    std::vector<RenameInstruction> select(bool onlyReady) const
    {
        std::vector<RenameInstruction> out;
        for (const RenameInstruction& moveBack : m_moves) {
            if (m_tried.count({moveBack.currentRelativePath, moveBack.targetRelativePath}) != 0 || isBack(m_fs, m_root, moveBack)
                || (onlyReady && !isReady(moveBack))) {
                continue;
            }
            out.push_back(moveBack);
        }
        return out;
    }

    void run(std::vector<RenameInstruction> moves)
    {
        if (moves.empty()) {
            return;
        }
        for (RenameInstruction& moveBack : moves) {
            m_tried.emplace(moveBack.currentRelativePath, moveBack.targetRelativePath);
            moveBack.isDirectory = RenameChecks::isRealDirectory(m_fs, RenamePaths::join(m_root, moveBack.currentRelativePath));
        }
        SourceFileRenamer::RenameBatchResult done = SourceFileRenamer::renameFiles(moves, m_root, m_domain, m_privileged, m_fs, nullptr);
        m_result.renamed.insert(m_result.renamed.end(), done.renamed.begin(), done.renamed.end());
        m_result.failed.insert(m_result.failed.end(), done.failed.begin(), done.failed.end());
        m_result.foldersNotKept.insert(m_result.foldersNotKept.end(), done.foldersNotKept.begin(), done.foldersNotKept.end());
    }

    std::string m_root;
    std::string m_domain;
    const SourceFileRenamer::PrivilegedCalls& m_privileged;
    FileSystemOps& m_fs;
    std::vector<RenameInstruction> m_moves;  // the last merge move first
    std::map<std::string, std::size_t> m_byFormer;  // by the path each came from
    std::set<Move> m_tried;
    SourceFileRenamer::RenameBatchResult m_result;
};

// Moves the renamer reported done whose item is still not back become failures.
void keepOnlyWhatIsBack(FileSystemOps& fs, const std::string& root, const std::string& errorDomain,
    std::vector<SourceFileRenamer::RenamedItem>& moved, std::vector<FailedItem>& failed)
{
    std::vector<SourceFileRenamer::RenamedItem> back;
    back.reserve(moved.size());
    for (SourceFileRenamer::RenamedItem& item : moved) {
        if (item.original == item.newPath || isBack(fs, root, {item.original, item.newPath, false})) {
            back.push_back(std::move(item));
            continue;
        }
        TESS_LOG_ERROR("❌ Undo: " + item.newPath + " is not back at its original name");
        failed.push_back({item.original, userError(errorDomain, "Not restored: the item is not at " + item.newPath + " after the undo.")});
    }
    moved = std::move(back);
}

// Contents the undo could not bring back from a created folder: what is
// still in it is not back, and the result says so, with why when known.
void notMergedBack(const std::string& created, const std::string& former, const std::string& errorDomain,
    std::vector<FailedItem>& failed, const std::string& why = {})
{
    failed.push_back({created, userError(errorDomain, "Not restored: items left in " + created + " could not be moved back into " + former + (why.empty() ? std::string() : " (" + why + ")") + ".")});
}

// Why a merge stopped, as a few words: the item and the reason (the
// helper's reply where it was asked).
std::string whyMergeStopped(const SourceFileRenamer::MergeOutcome& outcome)
{
    using Stop = SourceFileRenamer::MergeOutcome::Stop;
    switch (outcome.stop) {
    case Stop::conflict:
        return outcome.name + " is in both";
    case Stop::unlisted:
    case Stop::moveFailed:
        return outcome.name + ": " + outcome.error.message;
    case Stop::none:
    case Stop::notRecorded:
        break;
    }
    return {};
}

// The names in a folder, for a sentence: the first five, then how many more.
std::string namesIn(FileSystemOps& fs, const std::string& folder)
{
    std::vector<FileSystemOps::DirEntry> entries;
    fs.listDirectory(folder, entries);
    return SourceFileRenamer::namesForSentence(entries);
}

// The created folders of the plan, each merged back into its former folder
// where the entry tells which that is, then removed when nothing but
// metadata files is left in it.
class CreatedFolderRemoval {
public:
    CreatedFolderRemoval(const std::string& root, const std::string& errorDomain,
        const SourceFileRenamer::PrivilegedCalls& privileged, FileSystemOps& fs, StandInFolders& formers,
        std::vector<FailedItem>& failed)
        : m_root(root)
        , m_domain(errorDomain)
        , m_privileged(privileged)
        , m_fs(fs)
        , m_formers(formers)
        , m_failed(failed)
    {
        if (fs.realPath(root, m_realRoot) != 0) {
            m_realRoot = RenamePaths::withoutTrailingSlash(root);
        }
    }

    // The number of created folders removed.
    std::size_t run(const HistoryEntry& plan, const std::map<std::string, std::string>& mapping);

private:
    // Merges `created` into `former`; false (logged and named among the
    // failures, or left alone when `former` leads outside) when it cannot.
    bool mergeBack(const std::string& created, const std::string& former);
    // Removes the created folder once only metadata files are left in it,
    // through the helper when this process may not. True when it is gone;
    // otherwise the failure names what stays.
    bool remove(const std::string& created, bool merged);

    std::string m_root;
    std::string m_realRoot;
    std::string m_domain;
    const SourceFileRenamer::PrivilegedCalls& m_privileged;
    FileSystemOps& m_fs;
    StandInFolders& m_formers;
    std::vector<FailedItem>& m_failed;
    // Why the folder just merged back is not empty, when a subfolder it
    // emptied could not be removed.
    std::string m_keptBy;
};

std::size_t CreatedFolderRemoval::run(const HistoryEntry& plan, const std::map<std::string, std::string>& mapping)
{
    std::size_t removed = 0;
    for (const HistoryRecord& record : plan.records) {
        if (record.type != HistoryRecordType::createdDirectory) {
            continue;
        }
        const std::string& created = record.originalRelativePath;
        const std::string createdFull = RenamePaths::join(m_root, created);
        std::string realCreated;
        if (!RenameChecks::exists(m_fs, createdFull) || m_fs.realPath(createdFull, realCreated) != 0) {
            continue;
        }
        if (realCreated == m_realRoot || !RenamePaths::isWithin(m_realRoot, realCreated)) {
            TESS_LOG_ERROR("❌ Undo: created dir " + created + " resolves outside the scan root, left alone");
            continue;
        }
        const auto mapped = mapping.find(created);
        if (mapped != mapping.end() && !mergeBack(created, mapped->second)) {
            continue;
        }
        if (remove(created, mapped != mapping.end())) {
            ++removed;
        }
    }
    return removed;
}

bool CreatedFolderRemoval::mergeBack(const std::string& created, const std::string& former)
{
    const std::string formerFull = RenamePaths::join(m_root, former);
    if (!RenameChecks::exists(m_fs, formerFull)) {
        TESS_LOG_ERROR("❌ Undo: original directory " + former + " does not exist for created dir " + created);
        notMergedBack(created, former, m_domain, m_failed);
        return false;
    }
    std::string realFormer;
    if (m_fs.realPath(formerFull, realFormer) != 0 || !RenamePaths::isWithin(m_realRoot, realFormer)) {
        TESS_LOG_ERROR("❌ Undo: original directory " + former + " resolves outside the scan root, created dir " + created + " left alone");
        return false;
    }
    const SourceFileRenamer::MergeOutcome merged
        = SourceFileRenamer::mergeFolder(RenamePaths::join(m_root, created), formerFull, m_root, m_fs, m_privileged, nullptr);
    if (!merged.ok()) {
        TESS_LOG_ERROR("❌ Undo: could not merge remaining contents from " + created + " to " + former);
        notMergedBack(created, former, m_domain, m_failed, whyMergeStopped(merged));
        return false;
    }
    if (!merged.unremovedSubfolder.empty()) {
        m_keptBy = "its emptied subfolder " + merged.unremovedSubfolder + " could not be removed: " + merged.unremovedReason;
    }
    // Its items are back: the former folder takes its times.
    m_formers.finishWithin(formerFull);
    return true;
}

bool CreatedFolderRemoval::remove(const std::string& created, bool merged)
{
    const std::string createdFull = RenamePaths::join(m_root, created);
    const std::string keptBy = std::exchange(m_keptBy, {});
    const std::optional<std::vector<std::string>> metadata = SourceFileRenamer::metadataOnlyContents(createdFull, m_fs);
    if (!metadata && merged) {
        // Merged back, yet not empty: a subfolder that could not be
        // removed, or items that arrived meanwhile.
        const std::string why = keptBy.empty() ? "it holds " + namesIn(m_fs, createdFull) : keptBy;
        m_failed.push_back({created, userError(m_domain, "Not removed: " + created + ", which the rename made, could not be removed (" + why + ").")});
        return false;
    }
    if (!metadata) {
        TESS_LOG_ERROR("❌ Undo: no original path mapping for non-empty created directory " + created);
        m_failed.push_back({created, userError(m_domain, "Not restored: " + created + ", which the rename made, still holds " + namesIn(m_fs, createdFull) + "; the history does not say where they were before, so they were left there.")});
        return false;
    }
    if (!metadata->empty()) {
        SourceFileRenamer::removeMetadataFiles(*metadata, createdFull, m_fs);
    }
    const int error = m_fs.removeDirectory(createdFull);
    std::string reason = error == 0 ? std::string() : std::string(std::strerror(error));
    if (error != 0 && SourceFileRenamer::isPermissionError(SourceFileRenamer::posixError(error)) && m_privileged.removeDirectory) {
        const SourceFileRenamer::PrivilegedReply reply = m_privileged.removeDirectory(createdFull);
        // A reply of failure (perhaps a time-out) counts only if the folder is still there.
        reason = reply.success || !RenameChecks::exists(m_fs, createdFull) ? std::string() : reply.message;
    }
    if (reason.empty()) {
        TESS_LOG_INFO(merged ? "Undo: merged remaining contents and removed created directory " + created
                             : "Undo: removed created directory " + created);
        m_formers.originalRemoved(createdFull);
        return true;
    }
    TESS_LOG_ERROR("❌ Undo: could not remove created dir " + created + ": " + reason);
    m_failed.push_back({created, userError(m_domain, "Not removed: " + created + ", which the rename made, could not be removed (" + reason + ").")});
    return false;
}

}  // namespace

HistoryUndo::UndoResult HistoryUndo::undoHistoryEntry(const HistoryEntry& entry,
    const std::string& root,
    const std::string& errorDomain,
    const SourceFileRenamer::PrivilegedRename& privilegedRename,
    const SourceFileRenamer::PrivilegedCreateDirectory& privilegedCreateDirectory,
    FileSystemOps& fs)
{
    return undoHistoryEntry(entry, root, errorDomain, SourceFileRenamer::PrivilegedCalls {privilegedRename, privilegedCreateDirectory, {}, {}}, fs);
}

HistoryUndo::UndoResult HistoryUndo::undoHistoryEntry(const HistoryEntry& entry, const std::string& root,
    const std::string& errorDomain, const SourceFileRenamer::PrivilegedCalls& privileged, FileSystemOps& fs)
{
    UndoResult result;
    const HistoryEntry plan = TransformationHistory::undoPlan(entry);
    result.failed = refusals(entry, plan, root, errorDomain, fs);
    if (!result.failed.empty()) {
        result.refused = true;
        return result;
    }

    std::set<std::string> created;
    for (const HistoryRecord& record : plan.records) {
        if (record.type == HistoryRecordType::createdDirectory) {
            created.insert(record.originalRelativePath);
        }
    }
    const std::map<std::string, std::string> mapping = createdFolderMapping(entry.records, created);
    const StandIns standIns = standInsOf(mapping, root, fs);
    StandInFolders formers(root, fs, privileged.applyAttributes);

    MergeMovesBack mergeMoves(entry, root, errorDomain, privileged, fs);
    recreateRemovedDirectories(plan, root, errorDomain, privileged.createDirectory, fs, standIns, formers, result.failed,
        result.recreatedDirectories, [&mergeMoves](const std::string& relative) { mergeMoves.beforeMaking(relative); });

    // What the merges moved along that can go back whole now, then the
    // renamed items, then the rest of what the merges moved along.
    mergeMoves.moveReady();
    const std::vector<RenameInstruction> movesBack = moveBackInstructions(entry, plan, root, errorDomain, fs, result);
    SourceFileRenamer::RenameBatchResult batch
        = SourceFileRenamer::renameFiles(movesBack, root, errorDomain, privileged, fs, nullptr);
    result.renamed = std::move(batch.renamed);
    for (FailedItem& failure : batch.failed) {
        result.failed.push_back(std::move(failure));
    }
    // Former folders the moves back made as parents.
    for (const std::string& folder : batch.createdDirectories) {
        adoptMetadata(folder, standIns, root, formers);
    }
    mergeMoves.moveRest();
    SourceFileRenamer::RenameBatchResult& merged = mergeMoves.result();
    result.mergeRestored = std::move(merged.renamed);
    for (FailedItem& failure : merged.failed) {
        result.failed.push_back(std::move(failure));
    }

    result.removedCreatedDirectories
        = CreatedFolderRemoval(root, errorDomain, privileged, fs, formers, result.failed).run(plan, mapping);
    keepOnlyWhatIsBack(fs, root, errorDomain, result.renamed, result.failed);
    keepOnlyWhatIsBack(fs, root, errorDomain, result.mergeRestored, result.failed);
    formers.finishAll();
    result.foldersNotKept = formers.notKept();
    for (std::vector<SourceFileRenamer::FolderNotKept>* notKept : {&merged.foldersNotKept, &batch.foldersNotKept}) {
        result.foldersNotKept.insert(result.foldersNotKept.end(), notKept->begin(), notKept->end());
    }

    if (result.removedCreatedDirectories > 0) {
        TESS_LOG_INFO("Undo: removed " + std::to_string(result.removedCreatedDirectories) + " directories created during original rename");
    }
    TESS_LOG_INFO("Undo complete: " + std::to_string(result.renamed.size()) + " reversed, " + std::to_string(result.failed.size()) + " failed");
    return result;
}

std::map<std::string, std::string> HistoryUndo::createdFolderMapping(const std::vector<HistoryRecord>& records,
    const std::set<std::string>& created)
{
    std::map<std::string, std::string> mapping;
    for (const HistoryRecord& record : records) {
        if (record.status != HistoryRecordStatus::ok) {
            continue;
        }
        if (record.type != HistoryRecordType::file && record.type != HistoryRecordType::directory) {
            continue;
        }
        const std::vector<std::string> former = RelativePath::split(record.originalRelativePath);
        const std::vector<std::string> latter = RelativePath::split(record.finalRelativePath);
        const std::size_t n = std::min(former.size(), latter.size());
        std::string formerPrefix, finalPrefix;
        bool diverged = false;
        for (std::size_t i = 0; i < n; ++i) {
            formerPrefix = RelativePath::child(formerPrefix, former[i]);
            finalPrefix = RelativePath::child(finalPrefix, latter[i]);
            diverged = diverged || former[i] != latter[i];
            if (diverged && created.count(finalPrefix) != 0) {
                mapping.emplace(finalPrefix, formerPrefix);
            }
        }
    }
    return mapping;
}

bool HistoryUndo::isSameScanRoot(const std::string& scanRoot, const std::string& root, FileSystemOps& fs)
{
    if (RenamePaths::withoutTrailingSlash(scanRoot) == RenamePaths::withoutTrailingSlash(root)) {
        return true;
    }
    std::string realA, realB;
    return fs.realPath(scanRoot, realA) == 0 && fs.realPath(root, realB) == 0 && realA == realB;
}

std::size_t HistoryUndo::restoredCount(const UndoResult& result)
{
    return result.renamed.size() + result.recreatedDirectories.size();
}

std::size_t HistoryUndo::failedCount(const UndoResult& result)
{
    return result.failed.size();
}

std::string HistoryUndo::resultMessage(const UndoResult& result, bool historyIncomplete)
{
    if (result.refused) {
        return "Undo failed: " + (result.failed.empty() ? std::string() : result.failed.front().error.message);
    }
    const std::size_t restored = restoredCount(result);
    const std::size_t failed = failedCount(result);
    const std::string items = std::to_string(restored) + " item" + (restored == 1 ? "" : "s");
    std::string message;
    if (failed > 0) {
        message = "Undo: " + std::to_string(restored) + " restored, " + std::to_string(failed) + " failed";
    } else if (restored == 0 && !result.mergeRestored.empty()) {
        // Only what a merge moved along went back (its folder was not removed).
        const std::size_t moved = result.mergeRestored.size();
        message = std::string(historyIncomplete || !result.foldersNotKept.empty() ? "Undo: " : "Undo complete: ")
            + std::to_string(moved) + " item" + (moved == 1 ? "" : "s") + " a folder merge had moved put back";
    } else if (restored == 0) {
        message = "Undo: nothing restored — every item is already at its original name";
        if (const std::size_t removed = result.removedCreatedDirectories; removed > 0) {
            message += "; removed " + std::to_string(removed) + " empty folder" + (removed == 1 ? "" : "s")
                + " the rename had created";
        }
    } else if (historyIncomplete || !result.foldersNotKept.empty()) {
        message = "Undo: " + items + " restored";
    } else {
        message = "Undo complete: " + items + " restored";
    }
    if (historyIncomplete) {
        message += ". The history file is incomplete: renames after its last whole record are unknown and were not undone";
    }
    if (!result.foldersNotKept.empty()) {
        message += ". " + StandInFolders::describe(result.foldersNotKept);
    }
    return message;
}

}  // namespace tess
