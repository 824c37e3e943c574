#include "core/BoundedWorkQueue.h"

#include <algorithm>
#include <utility>

namespace tess {

BoundedWorkQueue::BoundedWorkQueue(std::size_t workerCount, std::size_t capacity)
    : m_capacity(std::max<std::size_t>(capacity, 1))
{
    const std::size_t count = std::max<std::size_t>(workerCount, 1);
    m_workers.reserve(count);
    try {
        std::lock_guard lock(m_mutex);  // workers wait for the list to be complete
        for (std::size_t i = 0; i < count; ++i) {
            m_workers.emplace_back([this] { workerLoop(); });
        }
    } catch (...) {
        // A thread could not be started: end the ones that were.
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_taskAvailable.notify_all();
        for (std::thread& worker : m_workers) {
            worker.join();
        }
        throw;
    }
}

BoundedWorkQueue::~BoundedWorkQueue()
{
    {
        std::unique_lock lock(m_mutex);
        m_idle.wait(lock, [&] { return m_pending.empty() && m_running == 0; });
        m_stopping = true;
    }
    m_taskAvailable.notify_all();
    m_spaceAvailable.notify_all();
    for (std::thread& worker : m_workers) {
        worker.join();
    }
}

bool BoundedWorkQueue::submit(std::function<void()> task)
{
    if (!task) {
        return !isCancelled();
    }
    std::unique_lock lock(m_mutex);
    if (m_cancelled) {
        return false;
    }
    if (m_pending.size() >= m_capacity && isWorkerThread()) {
        // A worker waiting for room could wait for itself: run it here.
        ++m_running;
        lock.unlock();
        runTask(task);
        lock.lock();
        --m_running;
        if (m_pending.empty() && m_running == 0) {
            m_idle.notify_all();
        }
        return true;
    }
    ++m_blockedSubmitters;
    m_spaceAvailable.wait(lock, [&] { return m_cancelled || m_pending.size() < m_capacity; });
    --m_blockedSubmitters;
    if (m_cancelled) {
        return false;
    }
    m_pending.push_back(std::move(task));
    lock.unlock();
    m_taskAvailable.notify_one();
    return true;
}

bool BoundedWorkQueue::trySubmit(std::function<void()>& task)
{
    std::unique_lock lock(m_mutex);
    if (m_cancelled || m_pending.size() >= m_capacity) {
        return false;
    }
    if (task) {
        m_pending.push_back(std::move(task));
        task = nullptr;
    }
    lock.unlock();
    m_taskAvailable.notify_one();
    return true;
}

void BoundedWorkQueue::waitIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [&] { return m_pending.empty() && m_running == 0; });
    if (m_firstFailure) {
        std::exception_ptr failure = std::exchange(m_firstFailure, nullptr);
        lock.unlock();
        std::rethrow_exception(failure);
    }
}

void BoundedWorkQueue::cancel()
{
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
        dropped.swap(m_pending);
        if (m_running == 0) {
            m_idle.notify_all();
        }
    }
    m_spaceAvailable.notify_all();
    // `dropped` releases the tasks' captures outside the lock.
}

bool BoundedWorkQueue::isCancelled() const
{
    std::lock_guard lock(m_mutex);
    return m_cancelled;
}

std::size_t BoundedWorkQueue::blockedSubmitters() const
{
    std::lock_guard lock(m_mutex);
    return m_blockedSubmitters;
}

bool BoundedWorkQueue::isWorkerThread() const
{
    const std::thread::id self = std::this_thread::get_id();
    return std::any_of(m_workers.begin(), m_workers.end(),
        [&](const std::thread& worker) { return worker.get_id() == self; });
}

void BoundedWorkQueue::runTask(std::function<void()>& task)
{
    try {
        task();
    } catch (...) {
        std::lock_guard lock(m_mutex);
        if (!m_firstFailure) {
            m_firstFailure = std::current_exception();
        }
    }
    task = nullptr;
}

void BoundedWorkQueue::workerLoop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_taskAvailable.wait(lock, [&] { return m_stopping || !m_pending.empty(); });
        if (m_pending.empty()) {
            return;
        }
        std::function<void()> task = std::move(m_pending.front());
        m_pending.pop_front();
        ++m_running;
        lock.unlock();
        m_spaceAvailable.notify_one();
        runTask(task);
        lock.lock();
        --m_running;
        if (m_pending.empty() && m_running == 0) {
            m_idle.notify_all();
        }
    }
}

}  // namespace tess
