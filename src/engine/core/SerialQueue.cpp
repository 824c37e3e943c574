#include "core/SerialQueue.h"

#include <exception>
#include <utility>

namespace tess {

// Everything the worker thread needs. The worker holds its own reference, so
// a queue destroyed on its own thread (which detaches) leaves the state alive
// until the worker has finished the remaining work and returned.
struct SerialQueue::State {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> pending;
    bool stopping = false;
    std::thread thread;
    std::thread::id workerId;

    static void run(const std::shared_ptr<State>& state);
};

void SerialQueue::State::run(const std::shared_ptr<State>& state)
{
    std::unique_lock lock(state->mutex);
    for (;;) {
        state->wake.wait(lock, [&] { return state->stopping || !state->pending.empty(); });
        if (state->pending.empty()) {
            return;  // stopping, and nothing left to run
        }
        std::function<void()> work = std::move(state->pending.front());
        state->pending.pop_front();
        lock.unlock();
        try {
            work();
        } catch (...) {
            // Work queued with async() has nobody to report to; exceptions
            // never leave the worker thread.
        }
        work = nullptr;  // release captured objects outside the lock
        lock.lock();
    }
}

SerialQueue::SerialQueue(std::string label)
    : m_label(std::move(label))
    , m_state(std::make_shared<State>())
{
    std::lock_guard lock(m_state->mutex);
    m_state->thread = std::thread([state = m_state] { State::run(state); });
    m_state->workerId = m_state->thread.get_id();
}

SerialQueue::~SerialQueue()
{
    std::thread thread;
    {
        std::lock_guard lock(m_state->mutex);
        m_state->stopping = true;
        thread = std::move(m_state->thread);
    }
    m_state->wake.notify_all();
    if (!thread.joinable()) {
        return;
    }
    if (thread.get_id() == std::this_thread::get_id()) {
        // Destroyed by its own work: the worker finishes what is queued and
        // ends on its own, keeping the state alive through its reference.
        thread.detach();
    } else {
        thread.join();
    }
}

void SerialQueue::async(std::function<void()> work)
{
    if (!work) {
        return;
    }
    {
        std::lock_guard lock(m_state->mutex);
        m_state->pending.push_back(std::move(work));
    }
    m_state->wake.notify_one();
}

void SerialQueue::sync(const std::function<void()>& work)
{
    if (!work) {
        return;
    }
    if (isCurrent()) {
        work();
        return;
    }
    std::mutex doneMutex;
    std::condition_variable doneSignal;
    bool done = false;
    std::exception_ptr failure;
    async([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard lock(doneMutex);
        done = true;
        doneSignal.notify_one();
    });
    std::unique_lock lock(doneMutex);
    doneSignal.wait(lock, [&] { return done; });
    if (failure) {
        std::rethrow_exception(failure);
    }
}

bool SerialQueue::isCurrent() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->workerId == std::this_thread::get_id();
}

void SerialQueue::drain()
{
    // On the worker itself, everything queued earlier has either run or must
    // wait for the current work to return: waiting would never end.
    if (isCurrent()) {
        return;
    }
    sync([] {});
}

}  // namespace tess
