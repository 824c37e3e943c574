#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

namespace tess::test {

// A wall clock that stands still until the test moves it, for code that takes
// its "now" from an injected function. Read from any thread. Header-only.
class ManualClock {
public:
    using TimePoint = std::chrono::system_clock::time_point;

    explicit ManualClock(TimePoint start)
        : m_ticks(std::make_shared<std::atomic<TimePoint::rep>>(start.time_since_epoch().count()))
    {
    }

    TimePoint now() const { return TimePoint(TimePoint::duration(m_ticks->load())); }
    void advance(TimePoint::duration step) { *m_ticks += step.count(); }
    // now() as a function to inject; it keeps working after the clock is gone.
    std::function<TimePoint()> function() const
    {
        return [ticks = m_ticks] { return TimePoint(TimePoint::duration(ticks->load())); };
    }

private:
    std::shared_ptr<std::atomic<TimePoint::rep>> m_ticks;
};

}  // namespace tess::test
