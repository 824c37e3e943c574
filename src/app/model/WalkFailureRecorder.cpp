#include "model/WalkFailureRecorder.h"

#include <system_error>
#include <utility>

namespace tess {

ScanEngine::WalkReporter WalkFailureRecorder::reporter(std::shared_ptr<WalkFailureRecorder> recorder)
{
    return [recorder = std::move(recorder)](const std::string& root, const DirectoryWalker::Outcome& outcome) {
        recorder->noteWalk(root, outcome);
    };
}

void WalkFailureRecorder::noteWalk(const std::string& root, const DirectoryWalker::Outcome& outcome)
{
    if (outcome.cancelled && !outcome.rootUnlisted && outcome.items.empty() && outcome.unlistedFolders.empty()) {
        return;  // stopped before it read anything
    }
    // The source folder's own failure is the root error, not one of the folders.
    const std::string shownRoot = DirectoryWalker::shownRoot(root);
    std::vector<UnreadableFolder> folders;
    for (const DirectoryWalker::UnlistedFolder& folder : outcome.unlistedFolders) {
        if (folder.path != shownRoot) {
            folders.push_back({folder.path, reasonText(folder.error)});
        }
    }
    const std::lock_guard<std::mutex> guard(m_lock);
    m_walk.sequence += 1;
    m_walk.folders = std::move(folders);
    m_walk.rootError = outcome.rootUnlisted ? std::optional<int>(outcome.rootError) : std::nullopt;
}

WalkFailureRecorder::Walk WalkFailureRecorder::lastWalk() const
{
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_walk;
}

std::string WalkFailureRecorder::reasonText(int error)
{
    return std::generic_category().message(error);
}

}  // namespace tess
