#pragma once

#include "HelperLogger.h"
#include "PolkitAuthority.h"

#include <optional>
#include <string>
#include <string_view>

namespace tess {

class LogLimiter;

// One client connection as the service sees it: who is calling, the polkit
// questions asked for it, and its log entries, which go to its own user's
// log. The lines of a request that polkit authorised are the record of what
// was done as root (HelperLogger::Record::action); the rest is activity.
// A user who is refused again and again cannot flood the log, however many
// connections it opens: refusals are logged as the user's budget in the
// shared LogLimiter allows, with the count of those that were not, and the
// line that announces a request is written only together with what the
// request did or with a refusal that is logged.
class ClientSession {
public:
    ClientSession(HelperLogger& logger, const PeerContext& peer, LogLimiter& limits);
    // Logs how many refusals of the user were not, when the budget allows.
    ~ClientSession();
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;

    const PeerContext& peer() const { return m_peer; }
    PolkitAuthority& authority() { return m_authority; }

    // The INFO line that announces the request being served.
    void request(std::string text);
    // Polkit authorised the request: what follows records what was done as root.
    void authorized();
    // An entry about the request (after its announcement).
    void log(std::string text, std::string_view level);
    // An ERROR entry for a refused request; see the class.
    void refuse(std::string text);
    // Ends the request: its announcement is written if it still waits.
    void finishRequest();

private:
    void writeRequest();
    HelperLogger::Record record() const;

    HelperLogger& m_logger;
    PeerContext m_peer;
    PolkitAuthority m_authority;
    LogLimiter& m_limits;
    std::optional<std::string> m_pendingRequest;
    bool m_authorized = false;
};

}  // namespace tess
