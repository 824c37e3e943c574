#include "LogLimiter.h"

#include <algorithm>

namespace tess {

LogLimiter::LogLimiter(Budget refusals, Budget connections, std::function<Clock::time_point()> now)
    : m_refusals(refusals)
    , m_connections(connections)
    , m_now(std::move(now))
{
}

const LogLimiter::Budget& LogLimiter::budget(Kind kind) const
{
    return kind == Kind::refusal ? m_refusals : m_connections;
}

void LogLimiter::refill(State& state, Kind kind, Clock::time_point now) const
{
    const Budget& limit = budget(kind);
    const double elapsed = std::chrono::duration<double>(now - state.refilled).count();
    const double perSecond = static_cast<double>(limit.burst) / std::chrono::duration<double>(limit.interval).count();
    state.tokens = std::min(static_cast<double>(limit.burst), state.tokens + elapsed * perSecond);
    state.refilled = now;
}

void LogLimiter::forgetIdleUsers(Clock::time_point now)
{
    for (auto it = m_states.begin(); it != m_states.end();) {
        refill(it->second, it->first.second, now);
        const bool whole = it->second.tokens >= static_cast<double>(budget(it->first.second).burst);
        if (whole && it->second.notWritten == 0 && it->first.first != kOtherUsers) {
            it = m_states.erase(it);
        } else {
            ++it;
        }
    }
}

LogLimiter::State& LogLimiter::stateFor(uid_t uid, Kind kind, Clock::time_point now)
{
    if (auto found = m_states.find({uid, kind}); found != m_states.end()) {
        refill(found->second, kind, now);
        return found->second;
    }
    if (m_states.size() >= 2 * kMaxUsers) {
        forgetIdleUsers(now);
    }
    if (m_states.size() >= 2 * kMaxUsers) {
        uid = kOtherUsers;
        if (auto others = m_states.find({uid, kind}); others != m_states.end()) {
            refill(others->second, kind, now);
            return others->second;
        }
    }
    State& created = m_states[{uid, kind}];
    created.tokens = static_cast<double>(budget(kind).burst);
    created.refilled = now;
    return created;
}

LogLimiter::Admission LogLimiter::admit(uid_t uid, Kind kind)
{
    std::lock_guard lock(m_mutex);
    State& state = stateFor(uid, kind, m_now());
    if (state.tokens < 1.0) {
        ++state.notWritten;
        return {};
    }
    state.tokens -= 1.0;
    Admission admitted {true, state.notWritten};
    state.notWritten = 0;
    return admitted;
}

std::size_t LogLimiter::takeDueCount(uid_t uid, Kind kind)
{
    std::lock_guard lock(m_mutex);
    auto found = m_states.find({uid, kind});
    if (found == m_states.end() || found->second.notWritten == 0) {
        return 0;
    }
    State& state = found->second;
    refill(state, kind, m_now());
    if (state.tokens < 1.0) {
        return 0;
    }
    state.tokens -= 1.0;
    return std::exchange(state.notWritten, 0);
}

std::vector<LogLimiter::Count> LogLimiter::takeAllCounts()
{
    std::lock_guard lock(m_mutex);
    std::vector<Count> counts;
    for (auto& [key, state] : m_states) {
        if (state.notWritten > 0) {
            counts.push_back({key.first, key.second, std::exchange(state.notWritten, 0)});
        }
    }
    return counts;
}

std::string LogLimiter::countText(const Count& count)
{
    const bool one = count.notWritten == 1;
    std::string text = std::to_string(count.notWritten);
    text += count.kind == Kind::refusal ? (one ? " more refusal" : " more refusals") : (one ? " more connection" : " more connections");
    text += count.uid == kOtherUsers ? " from other users" : " from uid " + std::to_string(count.uid);
    text += one ? " was not logged" : " were not logged";
    return text;
}

}  // namespace tess
