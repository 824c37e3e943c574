#include "model/WalkFailureRecorder.h"

#include <system_error>
#include <utility>

namespace tess {

DirectoryWalker::DirectoryOpener WalkFailureRecorder::opener(std::shared_ptr<WalkFailureRecorder> recorder,
    DirectoryWalker::DirectoryOpener inner)
{
    return [recorder = std::move(recorder), inner = std::move(inner)](int rootFd, const std::string& relativePath,
               const std::string& absolutePath) {
        const int result = inner ? inner(rootFd, relativePath, absolutePath)
                                 : DirectoryWalker::openDirectoryDefault(rootFd, relativePath, absolutePath);
        recorder->noteOpen(rootFd < 0, absolutePath, result);
        return result;
    };
}

void WalkFailureRecorder::noteOpen(bool isRoot, const std::string& path, int result)
{
    if (!isRoot && result >= 0) {
        return;  // the common case takes no lock
    }
    const std::lock_guard<std::mutex> guard(m_lock);
    if (isRoot) {
        m_walk.sequence += 1;
        m_walk.folders.clear();
        m_walk.rootError = result < 0 ? std::optional<int>(-result) : std::nullopt;
        return;
    }
    m_walk.folders.push_back({path, reasonText(-result)});
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
