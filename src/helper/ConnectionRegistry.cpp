#include "ConnectionRegistry.h"

#include <sys/socket.h>

namespace tess {

ConnectionRegistry::ConnectionRegistry(std::size_t limit)
    : m_limit(limit)
{
}

bool ConnectionRegistry::add(int fd)
{
    std::lock_guard lock(m_mutex);
    if (m_closed || m_open.size() >= m_limit)
        return false;
    m_open.insert(fd);
    return true;
}

void ConnectionRegistry::remove(int fd)
{
    std::lock_guard lock(m_mutex);
    m_open.erase(fd);
    if (m_open.empty())
        m_emptied.notify_all();
}

void ConnectionRegistry::closeAll()
{
    std::lock_guard lock(m_mutex);
    m_closed = true;
    for (int fd : m_open)
        ::shutdown(fd, SHUT_RD);
}

bool ConnectionRegistry::waitUntilEmpty(std::chrono::milliseconds limit)
{
    std::unique_lock lock(m_mutex);
    return m_emptied.wait_for(lock, limit, [this] { return m_open.empty(); });
}

}  // namespace tess
