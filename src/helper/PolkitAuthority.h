#pragma once

#include "Outcome.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <sys/types.h>

struct DBusConnection;

namespace tess {

// The credentials of the process at the other end of a connection, taken
// when the connection is accepted.
struct PeerContext {
    pid_t pid = 0;
    uid_t uid = 0;
    gid_t gid = 0;
    // The process's start time in clock ticks since boot (from
    // /proc/<pid>/stat), which tells it apart from a later process that
    // reuses the pid; 0 when it could not be read, which no question to
    // polkit is asked with.
    std::uint64_t startTime = 0;
};

// Asks polkit on the system bus whether a peer may change the file system as
// root. One object per client connection; its bus connection is opened on
// first use and kept. Anything but a clear yes is a refusal.
class PolkitAuthority {
public:
    static constexpr const char* kAction = "app.quenby.tessaline.helper.rename";

    struct Decision {
        bool authorized = false;
        std::string reason;  // why not, when not authorized
    };

    // `limit` bounds one question, including the password prompt it may show.
    explicit PolkitAuthority(std::chrono::milliseconds limit = std::chrono::minutes(2));
    ~PolkitAuthority();
    PolkitAuthority(const PolkitAuthority&) = delete;
    PolkitAuthority& operator=(const PolkitAuthority&) = delete;

    Decision check(const PeerContext& peer);

    // Field 22 of /proc/<pid>/stat; 0 when unreadable.
    static std::uint64_t processStartTime(pid_t pid);

private:
    Outcome connect();
    void disconnect();

    std::chrono::milliseconds m_limit;
    DBusConnection* m_connection = nullptr;
};

}  // namespace tess
