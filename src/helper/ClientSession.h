#pragma once

#include "PolkitAuthority.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tess {

class HelperLogger;

// One client connection as the service sees it: who is calling, the polkit
// questions asked for it, and its log entries, which go to its own user's
// log. A client that is refused again and again cannot flood the log: its
// refusals are logged at most once per interval, with the count of those
// that were not, and the line that announces a request is written only
// together with what the request did or with a refusal that is logged.
class ClientSession {
public:
    static constexpr std::chrono::seconds kRefusalInterval {10};

    ClientSession(HelperLogger& logger, const PeerContext& peer,
        std::chrono::milliseconds refusalInterval = kRefusalInterval);
    ~ClientSession();  // logs how many refusals were not
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;

    const PeerContext& peer() const { return m_peer; }
    PolkitAuthority& authority() { return m_authority; }

    // The INFO line that announces the request being served.
    void request(std::string text);
    // An entry about the request (after its announcement).
    void log(std::string text, std::string_view level);
    // An ERROR entry for a refused request; see the class.
    void refuse(std::string text);
    // Ends the request: its announcement is written if it still waits.
    void finishRequest();

private:
    void writeRequest();

    HelperLogger& m_logger;
    PeerContext m_peer;
    PolkitAuthority m_authority;
    const std::chrono::milliseconds m_refusalInterval;
    std::optional<std::string> m_pendingRequest;
    std::optional<std::chrono::steady_clock::time_point> m_lastRefusalLogged;
    std::size_t m_refusalsNotLogged = 0;
};

}  // namespace tess
