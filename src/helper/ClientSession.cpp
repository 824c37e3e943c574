#include "ClientSession.h"

#include "HelperLogger.h"

namespace tess {

namespace {

std::string notLogged(std::size_t count)
{
    return count == 1 ? "1 more refusal of this connection was not logged"
                      : std::to_string(count) + " more refusals of this connection were not logged";
}

}  // namespace

ClientSession::ClientSession(HelperLogger& logger, const PeerContext& peer, std::chrono::milliseconds refusalInterval)
    : m_logger(logger)
    , m_peer(peer)
    , m_refusalInterval(refusalInterval)
{
}

ClientSession::~ClientSession()
{
    try {
        writeRequest();
        if (m_refusalsNotLogged > 0) {
            m_logger.log(notLogged(m_refusalsNotLogged), "ERROR", m_peer.uid);
        }
    } catch (...) {
    }
}

void ClientSession::request(std::string text)
{
    writeRequest();
    m_pendingRequest = std::move(text);
}

void ClientSession::writeRequest()
{
    if (m_pendingRequest) {
        m_logger.log(std::move(*m_pendingRequest), "INFO", m_peer.uid);
        m_pendingRequest.reset();
    }
}

void ClientSession::log(std::string text, std::string_view level)
{
    writeRequest();
    m_logger.log(std::move(text), level, m_peer.uid);
}

void ClientSession::refuse(std::string text)
{
    const auto now = std::chrono::steady_clock::now();
    if (m_lastRefusalLogged && now - *m_lastRefusalLogged < m_refusalInterval) {
        ++m_refusalsNotLogged;
        m_pendingRequest.reset();
        return;
    }
    if (m_refusalsNotLogged > 0) {
        text += " (" + notLogged(m_refusalsNotLogged) + ")";
        m_refusalsNotLogged = 0;
    }
    m_lastRefusalLogged = now;
    log(std::move(text), "ERROR");
}

void ClientSession::finishRequest()
{
    writeRequest();
}

}  // namespace tess
