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

std::optional<std::uint64_t> ConnectionRegistry::roomFor(std::size_t held) const
{
    std::optional<std::uint64_t> chosen;
    std::size_t chosenHeld = 0;
    Clock::time_point chosenIdleSince;
    for (const auto& [id, entry] : m_open) {
        if (entry.uid == 0 || entry.busy || entry.closedForRoom) {
            continue;
        }
        const std::size_t ofUser = m_openPerUser.at(entry.uid);
        if (ofUser < held + 2) {
            continue;
        }
        if (!chosen || ofUser > chosenHeld || (ofUser == chosenHeld && entry.idleSince < chosenIdleSince)) {
            chosen = id;
            chosenHeld = ofUser;
            chosenIdleSince = entry.idleSince;
        }
    }
    return chosen;
}

void ConnectionRegistry::release(const Entry& entry)
{
    if (auto user = m_openPerUser.find(entry.uid); user != m_openPerUser.end() && --user->second == 0) {
        m_openPerUser.erase(user);
    }
    if (entry.uid != 0) {
        --m_shared;
    }
}

ConnectionRegistry::Admission ConnectionRegistry::add(int fd, uid_t uid)
{
    std::lock_guard lock(m_mutex);
    const auto user = m_openPerUser.find(uid);
    const std::size_t held = user == m_openPerUser.end() ? 0 : user->second;
    if (m_closed || held >= m_limitPerUser) {
        return {};
    }
    Admission admission;
    if (uid != 0 && m_shared >= m_limit) {
        auto room = roomFor(held);
        if (!room) {
            return {};
        }
        Entry& closed = m_open.at(*room);
        closed.closedForRoom = true;
        release(closed);
        // Its thread sees the end of the stream and leaves; the client sees
        // the connection closed.
        ::shutdown(closed.fd, SHUT_RDWR);
        admission.madeRoomFrom = closed.uid;
    }
    ++m_openPerUser[uid];
    if (uid != 0) {
        ++m_shared;
    }
    std::uint64_t id = m_nextId++;
    Entry entry;
    entry.fd = fd;
    entry.uid = uid;
    entry.idleSince = Clock::now();
    m_open.emplace(id, std::move(entry));
    admission.id = id;
    return admission;
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

bool ConnectionRegistry::beginRequest(std::uint64_t id)
{
    std::lock_guard lock(m_mutex);
    auto found = m_open.find(id);
    if (found == m_open.end() || found->second.closedForRoom) {
        return false;
    }
    found->second.busy = true;
    return true;
}

void ConnectionRegistry::endRequest(std::uint64_t id)
{
    std::lock_guard lock(m_mutex);
    if (auto found = m_open.find(id); found != m_open.end()) {
        found->second.busy = false;
        found->second.idleSince = Clock::now();
    }
}

bool ConnectionRegistry::madeRoom(std::uint64_t id)
{
    std::lock_guard lock(m_mutex);
    auto found = m_open.find(id);
    return found != m_open.end() && found->second.closedForRoom;
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
    if (!found->second.closedForRoom) {
        release(found->second);
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
