#include "scan/FileSystemWatcher.h"

#include "log/AppLogger.h"

#include <unistd.h>

#include <utility>

namespace tess {

FileSystemWatcher::EventStream::~EventStream()
{
    stopAndInvalidate();
}

void FileSystemWatcher::EventStream::stopAndInvalidate()
{
    if (m_fd >= 0) {
        // Closing an inotify descriptor removes all of its watches.
        close(m_fd);
        m_fd = -1;
    }
}

FileSystemWatcher::FileSystemWatcher()
    : FileSystemWatcher(State {})
{
}

FileSystemWatcher::FileSystemWatcher(State state)
    : m_state(std::move(state))
{
}

FileSystemWatcher::~FileSystemWatcher()
{
    m_queue.sync([this] { stopOnQueue(); });
}

void FileSystemWatcher::stop()
{
    m_queue.sync([this] { stopOnQueue(); });
}

void FileSystemWatcher::stopOnQueue()
{
    if (m_state.eventStream) {
        m_state.eventStream->stopAndInvalidate();
        m_state.eventStream.reset();
        m_state.isActive = false;
        if (m_state.watchedPath) {
            TESS_LOG_INFO("FileSystemWatcher: Stopped watching " + *m_state.watchedPath);
        }
    }
    if (m_state.debounceTimer) {
        m_state.debounceTimer->cancel();
        m_state.debounceTimer.reset();
    }
    m_state.pendingDirectories.clear();
    m_state.pendingDeletions.clear();
    m_state.watchedPath.reset();
}

bool FileSystemWatcher::isActive()
{
    bool active = false;
    m_queue.sync([&] { active = m_state.isActive; });
    return active;
}

std::optional<std::string> FileSystemWatcher::watchedPath()
{
    std::optional<std::string> path;
    m_queue.sync([&] { path = m_state.watchedPath; });
    return path;
}

bool FileSystemWatcher::hasEventStream()
{
    bool has = false;
    m_queue.sync([&] { has = m_state.eventStream != nullptr; });
    return has;
}

bool FileSystemWatcher::hasDebounceTimer()
{
    bool has = false;
    m_queue.sync([&] { has = m_state.debounceTimer.has_value(); });
    return has;
}

std::size_t FileSystemWatcher::pendingCount()
{
    std::size_t count = 0;
    m_queue.sync([&] { count = m_state.pendingDirectories.size() + m_state.pendingDeletions.size(); });
    return count;
}

}  // namespace tess
