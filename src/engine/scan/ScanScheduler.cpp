#include "scan/ScanScheduler.h"

#include "log/AppLogger.h"

#include <utility>

namespace tess {

ScanScheduler::ScanScheduler()
    : ScanScheduler(State {})
{
}

ScanScheduler::ScanScheduler(State state)
    : m_state(std::move(state))
{
}

ScanScheduler::~ScanScheduler()
{
    m_queue.sync([this] { stopOnQueue(); });
}

void ScanScheduler::stop()
{
    m_queue.sync([this] { stopOnQueue(); });
}

void ScanScheduler::stopOnQueue()
{
    if (m_state.delayTimer) {
        m_state.delayTimer->cancel();
        m_state.delayTimer.reset();
    }
    if (m_state.repeatingTimer) {
        m_state.repeatingTimer->cancel();
        m_state.repeatingTimer.reset();
    }
    m_state.isActive = false;
    TESS_LOG_INFO("ScanScheduler: Stopped");
}

bool ScanScheduler::isActive()
{
    bool active = false;
    m_queue.sync([&] { active = m_state.isActive; });
    return active;
}

bool ScanScheduler::hasTimers()
{
    bool has = false;
    m_queue.sync([&] { has = m_state.delayTimer.has_value() || m_state.repeatingTimer.has_value(); });
    return has;
}

}  // namespace tess
