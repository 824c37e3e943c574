#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace tess {

// How many of the lines that a local user can make the daemon write at will
// are written: refusals (of requests and of connections) and accepted
// connections. Counted per uid, whatever the number of connections the user
// opens. Each kind has a budget of `burst` lines that refills evenly over
// `interval`; a line past the budget is not written but counted, and the
// count is written with the next line that is, or when taken (the end of a
// connection, the daemon's stop). Safe to use from any thread.
class LogLimiter {
public:
    enum class Kind { refusal,
        connection };

    struct Budget {
        std::size_t burst = 1;
        std::chrono::milliseconds interval {10000};
    };
    // A refusal per uid every ten seconds; ten connection lines, then one a second.
    static constexpr Budget kRefusals {1, std::chrono::seconds(10)};
    static constexpr Budget kConnections {10, std::chrono::seconds(10)};
    // Users followed at once (per kind); past this, the users whose budget
    // is whole again are forgotten, and when none is, a newcomer shares one
    // budget with every other user not followed.
    static constexpr std::size_t kMaxUsers = 1024;
    // The uid that stands for the users not followed.
    static constexpr uid_t kOtherUsers = static_cast<uid_t>(-1);

    struct Admission {
        bool write = false;
        std::size_t notWritten = 0;  // lines of this kind and uid not written before this one
    };
    struct Count {
        uid_t uid = 0;
        Kind kind = Kind::refusal;
        std::size_t notWritten = 0;
    };

    using Clock = std::chrono::steady_clock;

    // `now` reads the clock (tests give one of their own).
    explicit LogLimiter(Budget refusals = kRefusals, Budget connections = kConnections,
        std::function<Clock::time_point()> now = &Clock::now);

    // Whether a line of `kind` for `uid` is written now. When it is, the
    // count of those that were not is handed over (and reset).
    Admission admit(uid_t uid, Kind kind);
    // The count of lines not written, when there is one and the budget
    // allows a line for it now (the count's line takes that place).
    std::size_t takeDueCount(uid_t uid, Kind kind);
    // Every count of lines not written, whatever the budget.
    std::vector<Count> takeAllCounts();

    // "N more refusals from uid U were not logged" and the like.
    static std::string countText(const Count& count);

private:
    struct State {
        double tokens = 0;
        Clock::time_point refilled;
        std::size_t notWritten = 0;
    };
    using Key = std::pair<uid_t, Kind>;

    State& stateFor(uid_t uid, Kind kind, Clock::time_point now);
    const Budget& budget(Kind kind) const;
    void refill(State& state, Kind kind, Clock::time_point now) const;
    void forgetIdleUsers(Clock::time_point now);

    std::mutex m_mutex;
    std::map<Key, State> m_states;
    const Budget m_refusals;
    const Budget m_connections;
    const std::function<Clock::time_point()> m_now;
};

}  // namespace tess
