// Removal of folders that a batch left empty (or holding only metadata files).

#include "rename/SourceFileRenamer.h"

#include "log/AppLogger.h"
#include "rename/RenameChecks.h"
#include "rename/RenamePaths.h"

#include <algorithm>
#include <cerrno>

namespace tess {

namespace {

const std::string kCross = "❌ ";

class CleanupRun {
public:
    CleanupRun(const std::string& root, const std::string& resolvedRoot, FileSystemOps& fs,
        const SourceFileRenamer::PrivilegedRemove& privilegedRemove, BatchRecorder* recorder)
        : m_root(RenamePaths::withoutTrailingSlash(root))
        , m_resolvedRoot(resolvedRoot)
        , m_fs(fs)
        , m_privilegedRemove(privilegedRemove)
        , m_recorder(recorder)
    {
    }

    // The folder resolves inside the root and is not the root itself.
    bool isRemovable(const std::string& folder) const
    {
        std::string resolved;
        return m_fs.realPath(folder, resolved) == 0 && RenamePaths::isWithin(m_resolvedRoot, resolved)
            && RenamePaths::components(resolved) != RenamePaths::components(m_resolvedRoot);
    }

    void evaluate(const std::string& folder);
    void evaluateStart(const std::string& folder);
    SourceFileRenamer::CleanupResult& result() { return m_result; }

private:
    enum class Removal { removed,
        removedPrivileged,
        failed };
    // Removes an emptied folder, announced to the recorder first; on
    // failure the reason (or the privileged reply's message) in `failure`.
    Removal remove(const std::string& folder, std::string& failure);
    std::string relative(const std::string& folder) const
    {
        return RenamePaths::isWithin(m_root, folder) ? RenamePaths::relativeTo(m_root, folder) : folder;
    }

    std::string m_root;
    std::string m_resolvedRoot;
    FileSystemOps& m_fs;
    const SourceFileRenamer::PrivilegedRemove& m_privilegedRemove;
    BatchRecorder* m_recorder;
    SourceFileRenamer::CleanupResult m_result;
};

CleanupRun::Removal CleanupRun::remove(const std::string& folder, std::string& failure)
{
    using Step = BatchRecorder::Step;
    if (m_recorder != nullptr) {
        if (Status recorded = m_recorder->willDo(Step::removeFolder, relative(folder), {}); !recorded) {
            failure = recorded.error().message;  // unrecorded, the folder stays
            return Removal::failed;
        }
    }
    const int error = m_fs.removeDirectory(folder);
    if (error == 0) {
        return Removal::removed;
    }
    failure = SourceFileRenamer::posixError(error).message;
    if (m_privilegedRemove) {
        const auto reply = m_privilegedRemove(folder);
        if (reply.success || !RenameChecks::exists(m_fs, folder)) {
            return Removal::removedPrivileged;
        }
        failure = reply.message;
    }
    if (m_recorder != nullptr) {
        m_recorder->didFail(Step::removeFolder, relative(folder), {}, failure);
    }
    return Removal::failed;
}

void CleanupRun::evaluate(const std::string& folder)
{
    std::string resolved;
    if (m_fs.realPath(folder, resolved) != 0 || !RenamePaths::isWithin(m_resolvedRoot, resolved)) {
        return;
    }
    if (!RenameChecks::isRealDirectory(m_fs, folder)) {
        return;  // gone, or a link: never followed
    }
    const auto names = SourceFileRenamer::metadataOnlyContents(folder, m_fs);
    if (!names) {
        TESS_LOG_DEBUG("Cleanup: skipping non-empty directory " + folder);
        return;
    }
    if (!isRemovable(folder)) {
        return;
    }
    if (!names->empty() && !SourceFileRenamer::removeMetadataFiles(*names, folder, m_fs, m_privilegedRemove)) {
        ++m_result.failureCount;
        TESS_LOG_ERROR(kCross + "Cleanup: could not clear metadata from " + folder + ", skipping");
        return;
    }
    std::string failure;
    if (const Removal removal = remove(folder, failure); removal != Removal::failed) {
        m_result.removedDirectories.push_back(folder);
        TESS_LOG_INFO("Cleanup: removed empty directory " + folder + (removal == Removal::removed ? "" : " (privileged)"));
        return;
    }
    ++m_result.failureCount;
    TESS_LOG_ERROR(kCross + "Cleanup: failed to remove directory " + folder + ": " + failure);
}

void CleanupRun::evaluateStart(const std::string& folder)
{
    // Never the root, never a link.
    if (!isRemovable(folder) || !RenameChecks::isRealDirectory(m_fs, folder)) {
        return;
    }
    const auto names = SourceFileRenamer::metadataOnlyContents(folder, m_fs);
    if (!names) {
        return;
    }
    if (!names->empty() && !SourceFileRenamer::removeMetadataFiles(*names, folder, m_fs, m_privilegedRemove)) {
        return;
    }
    std::string failure;
    if (const Removal removal = remove(folder, failure); removal != Removal::failed) {
        m_result.removedDirectories.push_back(folder);
        if (removal == Removal::removed) {
            TESS_LOG_INFO("Cleanup: removed root directory " + folder);
        }
        return;
    }
    ++m_result.failureCount;
    TESS_LOG_ERROR(kCross + "Cleanup: failed to remove root directory " + folder + ": " + failure);
}

}  // namespace

SourceFileRenamer::CleanupResult SourceFileRenamer::cleanupEmptyDirectories(const std::string& startFolder,
    const std::string& root, FileSystemOps& fs, const PrivilegedRemove& privilegedRemove)
{
    return cleanupEmptyDirectories(startFolder, root, fs, privilegedRemove, nullptr);
}

SourceFileRenamer::CleanupResult SourceFileRenamer::cleanupEmptyDirectories(const std::string& startFolder,
    const std::string& root, FileSystemOps& fs, const PrivilegedRemove& privilegedRemove, BatchRecorder* recorder)
{
    const std::string start = RenamePaths::withoutTrailingSlash(startFolder);
    TESS_LOG_DEBUG("cleanupEmptyDirectories: starting under " + start);

    std::string resolvedRoot;
    std::string resolvedStart;
    if (fs.realPath(RenamePaths::withoutTrailingSlash(root), resolvedRoot) != 0 || fs.realPath(start, resolvedStart) != 0
        || !RenamePaths::isWithin(resolvedRoot, resolvedStart)) {
        return {};
    }

    std::vector<std::string> folders;
    collectSubdirectories(start, folders, fs);
    std::stable_sort(folders.begin(), folders.end(), [](const std::string& a, const std::string& b) {
        return RenamePaths::components(a).size() > RenamePaths::components(b).size();
    });
    TESS_LOG_DEBUG("cleanupEmptyDirectories: evaluating " + std::to_string(folders.size()) + " subdirectories");

    CleanupRun run(root, resolvedRoot, fs, privilegedRemove, recorder);
    for (const auto& folder : folders) {
        run.evaluate(folder);
    }
    run.evaluateStart(start);

    auto& result = run.result();
    TESS_LOG_INFO("cleanupEmptyDirectories: removed " + std::to_string(result.removedDirectories.size()) + ", failed "
        + std::to_string(result.failureCount) + " of " + std::to_string(folders.size() + 1) + " directories evaluated");
    return std::move(result);
}

}  // namespace tess
