#pragma once

#include "core/SerialQueue.h"
#include "scan/ScanSchedulerDelegate.h"
#include "scan/TimerSource.h"

#include <chrono>
#include <memory>
#include <optional>

namespace tess {

// The state of a timed scan scheduler. It is dormant: nothing in the
// application creates or starts one, and it has no way of starting; what it
// has is its state, how it stops, and its tear-down.
class ScanScheduler {
public:
    struct State {
        std::weak_ptr<ScanSchedulerDelegate> delegate;
        std::optional<TimerSource> repeatingTimer;
        std::optional<TimerSource> delayTimer;
        bool isActive = false;
        double scanInterval = 0.0;  // seconds
        std::optional<std::chrono::system_clock::time_point> scheduledStartTime;
    };

    static constexpr const char* kQueueLabel = "app.quenby.tessaline.scheduler";

    ScanScheduler();
    explicit ScanScheduler(State state);
    // Stops synchronously on the scheduler's queue, then releases the fields.
    ~ScanScheduler();
    ScanScheduler(const ScanScheduler&) = delete;
    ScanScheduler& operator=(const ScanScheduler&) = delete;

    // Cancels both timers, marks the scheduler inactive and logs
    // "ScanScheduler: Stopped".
    void stop();

    bool isActive();
    bool hasTimers();

private:
    void stopOnQueue();

    State m_state;
    SerialQueue m_queue {kQueueLabel};
};

}  // namespace tess
