#include "ConnectionRegistry.h"

#include <sys/socket.h>

namespace tess {

ConnectionRegistry::ConnectionRegistry(std::size_t limit, std::size_t limitPerUser)
    : m_limit(limit)
    , m_limitPerUser(limitPerUser)
{
}

ConnectionRegistry::~ConnectionRegistry()
{
    joinFinished();
    std::lock_guard lock(m_mutex);
    for (auto& [id, entry] : m_open) {
        if (entry.thread.joinable()) {
            entry.thread.detach();
        }
    }
}

std::optional<std::uint64_t> ConnectionRegistry::add(int fd, uid_t uid)
{
    std::lock_guard lock(m_mutex);
    std::size_t& ofUser = m_openPerUser[uid];
    if (m_closed || m_open.size() >= m_limit || ofUser >= m_limitPerUser) {
        if (ofUser == 0) {
            m_openPerUser.erase(uid);
        }
        return std::nullopt;
    }
    ++ofUser;
    std::uint64_t id = m_nextId++;
    m_open[id] = Entry {fd, uid, {}};
    return id;
}

void ConnectionRegistry::adopt(std::uint64_t id, std::thread thread)
{
    std::lock_guard lock(m_mutex);
    auto found = m_open.find(id);
    if (found == m_open.end()) {
        // It has finished already.
        m_finished.push_back(std::move(thread));
        return;
    }
    found->second.thread = std::move(thread);
}

void ConnectionRegistry::remove(std::uint64_t id)
{
    std::lock_guard lock(m_mutex);
    auto found = m_open.find(id);
    if (found == m_open.end()) {
        return;
    }
    if (found->second.thread.joinable()) {
        m_finished.push_back(std::move(found->second.thread));
    }
    if (auto user = m_openPerUser.find(found->second.uid); user != m_openPerUser.end() && --user->second == 0) {
        m_openPerUser.erase(user);
    }
    m_open.erase(found);
    if (m_open.empty()) {
        m_emptied.notify_all();
    }
}

void ConnectionRegistry::joinFinished()
{
    std::vector<std::thread> finished;
    {
        std::lock_guard lock(m_mutex);
        finished.swap(m_finished);
    }
    for (auto& thread : finished) {
        if (thread.joinable()) {
            thread.join();
        }
    }
}

void ConnectionRegistry::closeAll()
{
    std::lock_guard lock(m_mutex);
    m_closed = true;
    for (const auto& [id, entry] : m_open) {
        ::shutdown(entry.fd, SHUT_RD);
    }
}

bool ConnectionRegistry::waitUntilEmpty(std::chrono::milliseconds limit)
{
    std::unique_lock lock(m_mutex);
    return m_emptied.wait_for(lock, limit, [this] { return m_open.empty(); });
}

}  // namespace tess
