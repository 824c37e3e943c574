#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace tess {

// One worker thread running submitted work in FIFO order.
//
// - async() queues work and returns at once.
// - sync() queues work and waits for it; called on the queue's own thread it
//   runs the work inline (no deadlock).
// - The destructor lets queued work finish, then joins; when it runs on the
//   queue's own thread it detaches instead (never joins itself).
class SerialQueue {
public:
    explicit SerialQueue(std::string label);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& label() const { return m_label; }

    void async(std::function<void()> work);
    void sync(const std::function<void()>& work);

    // True when called from this queue's worker thread.
    bool isCurrent() const;

    // Waits until everything queued before this call has run. On the queue's
    // own thread it returns at once (it cannot wait for its own work).
    void drain();

private:
    struct State;
    std::string m_label;
    std::shared_ptr<State> m_state;
};

}  // namespace tess
