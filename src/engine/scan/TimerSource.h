#pragma once

#include <atomic>
#include <memory>

namespace tess {

// A handle on a pending timer of the dormant watcher and scheduler: its owner
// cancels it, and the timer's work checks `isCancelled()` before it runs.
class TimerSource {
public:
    TimerSource()
        : m_cancelled(std::make_shared<std::atomic<bool>>(false))
    {
    }

    void cancel() { m_cancelled->store(true); }
    bool isCancelled() const { return m_cancelled->load(); }

private:
    std::shared_ptr<std::atomic<bool>> m_cancelled;
};

}  // namespace tess
