#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tess {

// A fixed number of worker threads taking tasks from a queue of bounded
// capacity, in FIFO order.
//
// - submit() blocks while the queue is full. Called from one of the queue's
//   own workers it never blocks: when the queue is full it runs the task
//   inline, so tasks that submit more tasks (a parallel walk) cannot deadlock.
// - trySubmit() never blocks and reports whether the task was queued.
// - waitIdle() returns once nothing is queued and no task is running (tasks
//   queued by running tasks included), then rethrows the first exception a
//   task threw since the last waitIdle(), if any.
// - cancel() drops every queued task, refuses new ones and wakes blocked
//   submitters; running tasks finish. isCancelled() lets long tasks stop early.
// - The destructor lets queued work finish (unless cancelled), then joins the
//   workers. Neither it nor waitIdle() may run on one of the workers.
class BoundedWorkQueue {
public:
    BoundedWorkQueue(std::size_t workerCount, std::size_t capacity);
    ~BoundedWorkQueue();
    BoundedWorkQueue(const BoundedWorkQueue&) = delete;
    BoundedWorkQueue& operator=(const BoundedWorkQueue&) = delete;

    std::size_t workerCount() const { return m_workers.size(); }
    std::size_t capacity() const { return m_capacity; }

    // False when the queue was cancelled (the task is dropped).
    bool submit(std::function<void()> task);
    // False when the queue is full or cancelled (the task is dropped).
    bool trySubmit(std::function<void()>& task);

    void waitIdle();
    void cancel();
    bool isCancelled() const;

    // True when called from one of this queue's workers.
    bool isWorkerThread() const;
    // Callers of submit() waiting for room right now.
    std::size_t blockedSubmitters() const;

private:
    void workerLoop();
    void runTask(std::function<void()>& task);

    const std::size_t m_capacity;
    mutable std::mutex m_mutex;
    std::condition_variable m_taskAvailable;
    std::condition_variable m_spaceAvailable;
    std::condition_variable m_idle;
    std::deque<std::function<void()>> m_pending;
    std::size_t m_running = 0;
    std::size_t m_blockedSubmitters = 0;
    bool m_cancelled = false;
    bool m_stopping = false;
    std::exception_ptr m_firstFailure;
    std::vector<std::thread> m_workers;
};

}  // namespace tess
