#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <set>

namespace tess {

// The open client connections, each served on its own thread. Bounds their
// number and lets the daemon end them at stop.
class ConnectionRegistry {
public:
    explicit ConnectionRegistry(std::size_t limit);

    // False when the limit is reached or the registry is closed.
    bool add(int fd);
    void remove(int fd);

    // Refuses new connections and ends reading on every open one, so that
    // each thread finishes its current request and leaves.
    void closeAll();
    // Waits until every connection has been removed, at most `limit`.
    bool waitUntilEmpty(std::chrono::milliseconds limit);

private:
    std::mutex m_mutex;
    std::condition_variable m_emptied;
    std::set<int> m_open;
    const std::size_t m_limit;
    bool m_closed = false;
};

}  // namespace tess
