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
// owns. Bounds their number so that no set of users can keep another out:
// each user holds at most `limitPerUser` connections; the users other than
// root share `limit` places, and when these are all taken, a newcomer who
// holds at least two fewer than another user takes the place of that user's
// connection that has waited longest for a request (the user holding the
// most gives first). Root's connections take no shared place, so root is
// always served. The registry joins each thread once it has finished and
// lets the daemon end them at stop.
class ConnectionRegistry {
public:
    struct Admission {
        std::optional<std::uint64_t> id;  // empty: refused
        std::optional<uid_t> madeRoomFrom;  // the user whose idle connection was closed
    };

    ConnectionRegistry(std::size_t limit, std::size_t limitPerUser);
    // Joins every finished thread; one still running at process exit (past
    // the stop's wait) is let go.
    ~ConnectionRegistry();
    ConnectionRegistry(const ConnectionRegistry&) = delete;
    ConnectionRegistry& operator=(const ConnectionRegistry&) = delete;

    // Reserves a place for the connection on `fd` of user `uid`, closing an
    // idle connection of another user to make room where the class says.
    // Refused when the user holds its limit, no room can be made, or the
    // registry is closed.
    Admission add(int fd, uid_t uid);
    // Hands over the thread that serves connection `id`.
    void adopt(std::uint64_t id, std::thread thread);
    // The connection's thread has read a request. False when the connection
    // was closed to make room meanwhile: the request is not served.
    bool beginRequest(std::uint64_t id);
    // The request was answered: the connection waits for the next one.
    void endRequest(std::uint64_t id);
    // Whether connection `id` was closed to make room for another.
    bool madeRoom(std::uint64_t id);
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
    using Clock = std::chrono::steady_clock;
    struct Entry {
        int fd = -1;
        uid_t uid = 0;
        std::thread thread;
        bool busy = false;  // serving a request
        bool closedForRoom = false;  // its place went to another connection
        Clock::time_point idleSince;
    };

    // The connection whose place a user holding `held` places may take;
    // called with m_mutex held.
    std::optional<std::uint64_t> roomFor(std::size_t held) const;
    void release(const Entry& entry);

    std::mutex m_mutex;
    std::condition_variable m_emptied;
    std::map<std::uint64_t, Entry> m_open;
    std::map<uid_t, std::size_t> m_openPerUser;  // places held, root included
    std::size_t m_shared = 0;  // places held by users other than root
    std::vector<std::thread> m_finished;
    std::uint64_t m_nextId = 1;
    const std::size_t m_limit;
    const std::size_t m_limitPerUser;
    bool m_closed = false;
};

}  // namespace tess
