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
    CleanupRun(const std::string& resolvedRoot, FileSystemOps& fs, const SourceFileRenamer::PrivilegedRemove& privilegedRemove)
        : m_resolvedRoot(resolvedRoot)
        , m_fs(fs)
        , m_privilegedRemove(privilegedRemove)
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
    std::string m_resolvedRoot;
    FileSystemOps& m_fs;
    const SourceFileRenamer::PrivilegedRemove& m_privilegedRemove;
    SourceFileRenamer::CleanupResult m_result;
};

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
    const int error = m_fs.removeDirectory(folder);
    if (error == 0) {
        m_result.removedDirectories.push_back(folder);
        TESS_LOG_INFO("Cleanup: removed empty directory " + folder);
        return;
    }
    if (!m_privilegedRemove) {
        ++m_result.failureCount;
        TESS_LOG_ERROR(kCross + "Cleanup: failed to remove directory " + folder + ": " + SourceFileRenamer::posixError(error).message);
        return;
    }
    const auto reply = m_privilegedRemove(folder);
    if (reply.success || !RenameChecks::exists(m_fs, folder)) {
        m_result.removedDirectories.push_back(folder);
        TESS_LOG_INFO("Cleanup: removed empty directory " + folder + " (privileged)");
        return;
    }
    ++m_result.failureCount;
    TESS_LOG_ERROR(kCross + "Cleanup: failed to remove directory " + folder + ": " + reply.message);
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
    const int error = m_fs.removeDirectory(folder);
    if (error == 0) {
        m_result.removedDirectories.push_back(folder);
        TESS_LOG_INFO("Cleanup: removed root directory " + folder);
        return;
    }
    if (!m_privilegedRemove) {
        ++m_result.failureCount;
        TESS_LOG_ERROR(kCross + "Cleanup: failed to remove root directory " + folder + ": " + SourceFileRenamer::posixError(error).message);
        return;
    }
    const auto reply = m_privilegedRemove(folder);
    if (reply.success || !RenameChecks::exists(m_fs, folder)) {
        m_result.removedDirectories.push_back(folder);
        return;
    }
    ++m_result.failureCount;
    TESS_LOG_ERROR(kCross + "Cleanup: failed to remove root directory " + folder + ": " + reply.message);
}

}  // namespace

SourceFileRenamer::CleanupResult SourceFileRenamer::cleanupEmptyDirectories(const std::string& startFolder,
    const std::string& root, FileSystemOps& fs, const PrivilegedRemove& privilegedRemove)
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

    CleanupRun run(resolvedRoot, fs, privilegedRemove);
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
