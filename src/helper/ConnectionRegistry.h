#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace tess {

// The open client connections, each served on a thread that the registry
// owns. Bounds their number, in all and per user, so that one user cannot
// take every place, joins each thread once it has finished, and
// lets the daemon end them at stop.
class ConnectionRegistry {
public:
    ConnectionRegistry(std::size_t limit, std::size_t limitPerUser);
    // Joins every finished thread; one still running at process exit (past
    // the stop's wait) is let go.
    ~ConnectionRegistry();
    ConnectionRegistry(const ConnectionRegistry&) = delete;
    ConnectionRegistry& operator=(const ConnectionRegistry&) = delete;

    // Reserves a place for the connection on `fd` of user `uid`; empty when
    // a limit is reached or the registry is closed.
    std::optional<std::uint64_t> add(int fd, uid_t uid);
    // Hands over the thread that serves connection `id`.
    void adopt(std::uint64_t id, std::thread thread);
    // Called by the serving thread as its last step (before closing fd).
    void remove(std::uint64_t id);
    // Joins the threads of finished connections.
    void joinFinished();

    // Refuses new connections and ends reading on every open one, so that
    // each thread finishes its current request and leaves.
    void closeAll();
    // Waits until every connection has been removed, at most `limit`.
    bool waitUntilEmpty(std::chrono::milliseconds limit);

private:
    struct Entry {
        int fd = -1;
        uid_t uid = 0;
        std::thread thread;
    };

    std::mutex m_mutex;
    std::condition_variable m_emptied;
    std::map<std::uint64_t, Entry> m_open;
    std::map<uid_t, std::size_t> m_openPerUser;
    std::vector<std::thread> m_finished;
    std::uint64_t m_nextId = 1;
    const std::size_t m_limit;
    const std::size_t m_limitPerUser;
    bool m_closed = false;
};

}  // namespace tess
