#include "ClientSession.h"

#include "LogLimiter.h"

namespace tess {

ClientSession::ClientSession(HelperLogger& logger, const PeerContext& peer, LogLimiter& limits)
    : m_logger(logger)
    , m_peer(peer)
    , m_limits(limits)
{
}

ClientSession::~ClientSession()
{
    try {
        writeRequest();
        if (std::size_t count = m_limits.takeDueCount(m_peer.uid, LogLimiter::Kind::refusal); count > 0) {
            m_logger.log(LogLimiter::countText({m_peer.uid, LogLimiter::Kind::refusal, count}), "ERROR", m_peer.uid);
        }
    } catch (...) {
    }
}

HelperLogger::Record ClientSession::record() const
{
    return m_authorized ? HelperLogger::Record::action : HelperLogger::Record::activity;
}

void ClientSession::request(std::string text)
{
    finishRequest();
    m_pendingRequest = std::move(text);
}

void ClientSession::authorized()
{
    m_authorized = true;
}

void ClientSession::writeRequest()
{
    if (m_pendingRequest) {
        m_logger.log(std::move(*m_pendingRequest), "INFO", m_peer.uid, record());
        m_pendingRequest.reset();
    }
}

void ClientSession::log(std::string text, std::string_view level)
{
    writeRequest();
    m_logger.log(std::move(text), level, m_peer.uid, record());
}

void ClientSession::refuse(std::string text)
{
    const auto admitted = m_limits.admit(m_peer.uid, LogLimiter::Kind::refusal);
    if (!admitted.write) {
        m_pendingRequest.reset();
        return;
    }
    if (admitted.notWritten > 0) {
        text += " (" + LogLimiter::countText({m_peer.uid, LogLimiter::Kind::refusal, admitted.notWritten}) + ")";
    }
    log(std::move(text), "ERROR");
}

void ClientSession::finishRequest()
{
    writeRequest();
    m_authorized = false;
}

}  // namespace tess
