// The folder merge of SourceFileRenamer: what is left in a folder moves into
// the existing folder of the same final name.

#include "rename/SourceFileRenamer.h"

#include "log/AppLogger.h"
#include "rename/RenameChecks.h"
#include "rename/RenamePaths.h"

#include <optional>

namespace tess {

namespace {

const std::string kCross = "❌ ";
const std::string kDash = " — ";

using Outcome = SourceFileRenamer::MergeOutcome;
using Step = BatchRecorder::Step;

class FolderMerge {
public:
    FolderMerge(const std::string& root, FileSystemOps& fs, const SourceFileRenamer::PrivilegedCalls& privileged,
        BatchRecorder* recorder)
        : m_root(RenamePaths::withoutTrailingSlash(root))
        , m_fs(fs)
        , m_privileged(privileged)
        , m_recorder(recorder)
    {
    }

    // False when the merge stopped; `outcome()` says why.
    bool merge(const std::string& sourceFolder, const std::string& targetFolder);
    Outcome& outcome() { return m_outcome; }

private:
    std::string relative(const std::string& path) const
    {
        return !m_root.empty() && RenamePaths::isWithin(m_root, path) && path != m_root ? RenamePaths::relativeTo(m_root, path)
                                                                                        : path;
    }
    bool stop(Outcome::Stop why, const std::string& name, Error error, const std::string& from, const std::string& to)
    {
        m_outcome.stop = why;
        m_outcome.name = name;
        m_outcome.error = std::move(error);
        m_outcome.from = from;
        m_outcome.to = to;
        return false;
    }
    // Announces a step; false (and the merge stopped) when it cannot be recorded.
    bool announce(Step step, const std::string& from, const std::string& to, const std::string& name);
    void withdraw(Step step, const std::string& from, const std::string& to, const std::string& reason)
    {
        if (m_recorder != nullptr) {
            m_recorder->didFail(step, relative(from), to.empty() ? std::string() : relative(to), reason);
        }
    }
    bool moveEntry(const std::string& name, const std::string& from, const std::string& to, bool isFolder);
    // Merges the subfolder `from` into the folder `to`, then removes it.
    bool mergeSubfolder(const std::string& from, const std::string& to);
    // Removes the emptied subfolder `from`, through the helper when this
    // process may not; nothing once it is gone, else why it stays.
    std::optional<std::string> removeEmptied(const std::string& from);

    std::string m_root;
    FileSystemOps& m_fs;
    const SourceFileRenamer::PrivilegedCalls& m_privileged;
    BatchRecorder* m_recorder;
    Outcome m_outcome;
};

bool FolderMerge::announce(Step step, const std::string& from, const std::string& to, const std::string& name)
{
    if (m_recorder == nullptr) {
        return true;
    }
    Status recorded = m_recorder->willDo(step, relative(from), to.empty() ? std::string() : relative(to));
    return recorded ? true : stop(Outcome::Stop::notRecorded, name, recorded.error(), from, to);
}

bool FolderMerge::merge(const std::string& sourceFolder, const std::string& targetFolder)
{
    std::vector<FileSystemOps::DirEntry> entries;
    if (const int error = m_fs.listDirectory(sourceFolder, entries); error != 0) {
        return stop(Outcome::Stop::unlisted, RenamePaths::lastComponent(sourceFolder), SourceFileRenamer::posixError(error),
            sourceFolder, targetFolder);
    }
    if (RenameChecks::isSameFolder(m_fs, sourceFolder, targetFolder)) {
        // One folder reached by two paths: merging it into itself would
        // remove its metadata files, its empty subfolders and the folder.
        TESS_LOG_ERROR(kCross + "moveRemainingContents: conflict" + kDash + RenamePaths::lastComponent(targetFolder)
            + " is the source folder itself");
        return stop(Outcome::Stop::conflict, RenamePaths::lastComponent(targetFolder), {}, sourceFolder, targetFolder);
    }
    for (const auto& entry : entries) {
        const std::string& name = entry.name;
        const std::string from = RenamePaths::join(sourceFolder, name);
        const std::string to = RenamePaths::join(targetFolder, name);
        const bool isFolder = entry.type == FileSystemOps::EntryType::directory;
        if (!RenameChecks::exists(m_fs, to)) {
            if (!moveEntry(name, from, to, isFolder)) {
                return false;
            }
            continue;
        }
        if (!isFolder && SourceFileRenamer::metadataFileNames().count(name)) {
            m_fs.removeFile(from);  // the target keeps its own copy
            continue;
        }
        if (isFolder && RenameChecks::isRealDirectory(m_fs, to)) {
            if (!mergeSubfolder(from, to)) {
                return false;
            }
            continue;
        }
        TESS_LOG_ERROR(kCross + "moveRemainingContents: conflict" + kDash + name + " exists in both source and target");
        return stop(Outcome::Stop::conflict, name, {}, from, to);
    }
    return true;
}

bool FolderMerge::mergeSubfolder(const std::string& from, const std::string& to)
{
    if (!merge(from, to) || !announce(Step::mergeRemoveFolder, from, {}, RenamePaths::lastComponent(from))) {
        return false;
    }
    // Emptied now; a failure shows when the outer folder is removed.
    if (const std::optional<std::string> stays = removeEmptied(from)) {
        withdraw(Step::mergeRemoveFolder, from, {}, *stays);
        if (m_outcome.unremovedSubfolder.empty()) {
            m_outcome.unremovedSubfolder = relative(from);
            m_outcome.unremovedReason = *stays;
        }
        return true;
    }
    m_outcome.changes.push_back({relative(from), {}, false});
    return true;
}

std::optional<std::string> FolderMerge::removeEmptied(const std::string& from)
{
    const int error = m_fs.removeDirectory(from);
    if (error == 0) {
        return std::nullopt;
    }
    const Error posix = SourceFileRenamer::posixError(error);
    if (!m_privileged.removeDirectory || !SourceFileRenamer::isPermissionError(posix)) {
        return posix.message;
    }
    const auto reply = m_privileged.removeDirectory(from);
    if (reply.success || !RenameChecks::exists(m_fs, from)) {
        return std::nullopt;
    }
    TESS_LOG_ERROR(kCross + "moveRemainingContents: privileged removal failed for " + RenamePaths::lastComponent(from) + ": " + reply.message);
    return reply.message;
}

bool FolderMerge::moveEntry(const std::string& name, const std::string& from, const std::string& to, bool isFolder)
{
    if (!announce(Step::mergeMove, from, to, name)) {
        return false;
    }
    const Status moved = SourceFileRenamer::posixRename(from, to, m_fs);
    if (moved) {
        TESS_LOG_INFO("moveRemainingContents: moved " + name + " to target directory");
        m_outcome.changes.push_back({relative(from), relative(to), false, isFolder});
        return true;
    }
    if (!m_privileged.rename || !SourceFileRenamer::isPermissionError(moved.error())) {
        TESS_LOG_ERROR(kCross + "moveRemainingContents: failed to move " + name + ": " + moved.error().message);
        withdraw(Step::mergeMove, from, to, moved.error().message);
        return stop(Outcome::Stop::moveFailed, name, moved.error(), from, to);
    }
    const auto reply = m_privileged.rename(from, to);
    if (reply.success || RenameChecks::moveHappened(m_fs, from, to)) {
        m_outcome.changes.push_back({relative(from), relative(to), false, isFolder});
        return true;
    }
    TESS_LOG_ERROR(kCross + "moveRemainingContents: privileged move failed for " + name + ": " + reply.message);
    withdraw(Step::mergeMove, from, to, reply.message);
    Error failure = moved.error();
    failure.message = reply.message;
    return stop(Outcome::Stop::moveFailed, name, std::move(failure), from, to);
}

}  // namespace

SourceFileRenamer::MergeOutcome SourceFileRenamer::mergeFolder(const std::string& sourceFolder,
    const std::string& targetFolder, const std::string& root, FileSystemOps& fs, const PrivilegedCalls& privileged,
    BatchRecorder* recorder)
{
    FolderMerge merge(root, fs, privileged, recorder);
    merge.merge(sourceFolder, targetFolder);
    return std::move(merge.outcome());
}

bool SourceFileRenamer::moveRemainingContents(const std::string& sourceFolder, const std::string& targetFolder,
    FileSystemOps& fs, const PrivilegedRename& privilegedRename)
{
    return mergeFolder(sourceFolder, targetFolder, {}, fs, PrivilegedCalls {privilegedRename, {}, {}, {}}, nullptr).ok();
}

}  // namespace tess
