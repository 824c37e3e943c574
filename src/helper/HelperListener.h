#pragma once

#include "Outcome.h"

#include <optional>
#include <string>
#include <sys/types.h>

namespace tess {

// The daemon's listening socket: the one systemd passes (LISTEN_FDS, first
// descriptor 3), or one bound at HelperEndpoint::socketPath() that only root
// and the administrators' group may connect to.
class HelperListener {
public:
    HelperListener() = default;
    ~HelperListener();
    HelperListener(const HelperListener&) = delete;
    HelperListener& operator=(const HelperListener&) = delete;

    // Takes the socket from systemd or binds `path`; listens.
    Outcome open(const std::string& path, std::optional<gid_t> adminGroup);

    int fd() const { return m_fd; }
    bool fromSystemd() const { return m_fromSystemd; }
    // Stops listening; removes the socket file this object bound.
    void close();

private:
    Outcome adoptSystemdSocket(bool& adopted);
    Outcome bindOwn(const std::string& path, std::optional<gid_t> adminGroup);

    int m_fd = -1;
    bool m_fromSystemd = false;
    std::string m_boundPath;
};

}  // namespace tess
