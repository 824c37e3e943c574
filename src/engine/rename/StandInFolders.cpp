#include "rename/StandInFolders.h"

#include "log/AppLogger.h"
#include "rename/AccountNames.h"
#include "rename/FolderMetadata.h"
#include "rename/RenamePaths.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tess {

namespace {

constexpr std::size_t kNamedInMessage = 5;

std::string ownerAndMode(const struct stat& status)
{
    return AccountNames::user(status.st_uid) + ":" + AccountNames::group(status.st_gid) + " with mode " + AccountNames::octalMode(status.st_mode);
}

bool sameOwnerAndMode(const struct stat& a, const struct stat& b)
{
    return a.st_uid == b.st_uid && a.st_gid == b.st_gid && (a.st_mode & 07777) == (b.st_mode & 07777);
}

}  // namespace

StandInFolders::StandInFolders(std::string root, FileSystemOps& fs,
    SourceFileRenamer::PrivilegedApplyAttributes applyAttributes)
    : m_root(RenamePaths::withoutTrailingSlash(root))
    , m_fs(fs)
    , m_applyAttributes(std::move(applyAttributes))
{
}

std::string StandInFolders::relative(const std::string& path) const
{
    return RenamePaths::isWithin(m_root, path) && path != m_root ? RenamePaths::relativeTo(m_root, path) : path;
}

void StandInFolders::made(const std::string& standIn, const std::string& original, const struct stat& originalStatus)
{
    if (!m_byPath.emplace(standIn, m_standIns.size()).second) {
        return;
    }
    m_standIns.push_back({standIn, original, originalStatus, {}, false, false});
    m_byOriginal.emplace(original, m_standIns.size() - 1);
    m_unfinished.emplace(standIn, m_standIns.size() - 1);
    StandIn& entry = m_standIns.back();

    // What this process may do itself: all of it on a folder it owns,
    // except giving it to another owner.
    const std::vector<FolderMetadata::Failure> failures = FolderMetadata::copyAttributes(original, originalStatus, standIn, m_fs);
    const auto required = std::find_if(failures.begin(), failures.end(), [](const FolderMetadata::Failure& f) { return f.required; });
    if (required == failures.end()) {
        FolderMetadata::warn(failures, standIn);  // best-effort steps only
        return;
    }
    if (m_applyAttributes) {
        const SourceFileRenamer::PrivilegedReply reply = m_applyAttributes(original, standIn);
        if (reply.success) {
            if (!reply.message.empty()) {
                TESS_LOG_WARN("⚠️ Rename: the privileged helper gave " + standIn + " the owner, group and mode of " + original + "; " + reply.message);
            }
            return;
        }
        entry.reason = reply.message;
        TESS_LOG_ERROR("❌ Rename: the privileged helper could not give " + standIn + " the owner, group and mode of " + original + ": " + reply.message);
    }
    FolderMetadata::warn(failures, standIn);
    if (entry.reason.empty()) {
        entry.reason = std::string(std::strerror(required->error)) + "; the privileged helper is not in use";
    }
}

void StandInFolders::finish(StandIn& standIn)
{
    if (standIn.finished) {
        return;
    }
    standIn.finished = true;
    m_unfinished.erase(standIn.path);
    struct stat current;
    if (m_fs.lstat(standIn.path, current) != 0 || !S_ISDIR(current.st_mode)) {
        return;
    }
    // Not permitted on a stand-in of another owner: it keeps the times of
    // the last move into it.
    if (const int error = FolderMetadata::copyTimes(standIn.status, standIn.path, m_fs)) {
        FolderMetadata::warn({{"access and modification times", error, false}}, standIn.path);
    }
}

void StandInFolders::originalRemoved(const std::string& original)
{
    for (auto [it, end] = m_byOriginal.equal_range(original); it != end; ++it) {
        m_standIns[it->second].originalRemoved = true;
    }
}

void StandInFolders::finishWithin(const std::string& folder)
{
    std::vector<std::size_t> within;
    if (const auto self = m_unfinished.find(folder); self != m_unfinished.end()) {
        within.push_back(self->second);
    }
    // Every path below `folder` begins with it and a "/", and such paths
    // sort together.
    const std::string prefix = folder == "/" ? folder : folder + "/";
    for (auto it = m_unfinished.lower_bound(prefix); it != m_unfinished.end() && it->first.starts_with(prefix); ++it) {
        within.push_back(it->second);
    }
    for (const std::size_t index : within) {
        finish(m_standIns[index]);
    }
}

void StandInFolders::finishAll()
{
    for (StandIn& standIn : m_standIns) {
        finish(standIn);
    }
}

std::vector<SourceFileRenamer::FolderNotKept> StandInFolders::notKept() const
{
    std::vector<SourceFileRenamer::FolderNotKept> out;
    for (const StandIn& standIn : m_standIns) {
        struct stat current;
        if (m_fs.lstat(standIn.path, current) != 0 || !S_ISDIR(current.st_mode) || sameOwnerAndMode(current, standIn.status)) {
            continue;
        }
        // An empty stand-in whose original was not removed changed nobody's
        // folder: it is a folder the batch made.
        std::vector<FileSystemOps::DirEntry> entries;
        const bool holdsItems = m_fs.listDirectory(standIn.path, entries) != 0 || !entries.empty();
        if (!standIn.originalRemoved && !holdsItems) {
            continue;
        }
        std::string description = relative(standIn.path) + " belongs to " + ownerAndMode(current) + ", not to "
            + ownerAndMode(standIn.status) + " as " + relative(standIn.original) + " did";
        if (!standIn.reason.empty()) {
            description += " (" + standIn.reason + ")";
        }
        out.push_back({relative(standIn.path), std::move(description)});
    }
    return out;
}

std::string StandInFolders::describe(const std::vector<SourceFileRenamer::FolderNotKept>& folders)
{
    if (folders.empty()) {
        return {};
    }
    const bool one = folders.size() == 1;
    std::string text = std::to_string(folders.size()) + (one ? " folder did" : " folders did")
        + " not keep the owner, group and mode of the folder" + (one ? " it replaces: " : "s they replace: ");
    for (std::size_t i = 0; i < folders.size() && i < kNamedInMessage; ++i) {
        text += (i ? "; " : "") + folders[i].description;
    }
    if (folders.size() > kNamedInMessage) {
        text += " and " + std::to_string(folders.size() - kNamedInMessage) + " more";
    }
    return text;
}

}  // namespace tess
