#include "core/Concurrency.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace tess {

namespace {

std::atomic<std::size_t> g_processorCountOverride {0};

std::size_t affinityProcessorCount()
{
    // Grow the set until the kernel accepts it (machines with more than
    // CPU_SETSIZE processors).
    for (int cpus = CPU_SETSIZE; cpus <= (1 << 16); cpus *= 2) {
        cpu_set_t* set = CPU_ALLOC(static_cast<std::size_t>(cpus));
        if (set == nullptr) {
            break;
        }
        const std::size_t size = CPU_ALLOC_SIZE(static_cast<std::size_t>(cpus));
        CPU_ZERO_S(size, set);
        if (sched_getaffinity(0, size, set) == 0) {
            const int count = CPU_COUNT_S(size, set);
            CPU_FREE(set);
            return count > 0 ? static_cast<std::size_t>(count) : 1;
        }
        CPU_FREE(set);
        if (errno != EINVAL) {
            break;
        }
    }
    const unsigned hardware = std::thread::hardware_concurrency();
    return hardware > 0 ? hardware : 1;
}

// One piece of work of parallelFor: the indices still to hand out and the
// helpers that may still join it.
struct Job {
    const std::function<void(std::size_t)>* fn = nullptr;
    std::size_t count = 0;
    std::size_t helperSlots = 0;  // guarded by the pool's mutex
    std::size_t activeHelpers = 0;  // guarded by the pool's mutex
    std::atomic<std::size_t> next {0};
    std::atomic<bool> failed {false};
    std::mutex failureMutex;
    std::exception_ptr firstFailure;

    bool hasWork() const { return !failed.load(std::memory_order_relaxed) && next.load(std::memory_order_relaxed) < count; }

    // Takes indices until none is left; after a failure no further index is
    // started.
    void work()
    {
        while (!failed.load(std::memory_order_relaxed)) {
            const std::size_t index = next.fetch_add(1, std::memory_order_relaxed);
            if (index >= count) {
                return;
            }
            try {
                (*fn)(index);
            } catch (...) {
                std::lock_guard lock(failureMutex);
                if (!firstFailure) {
                    firstFailure = std::current_exception();
                }
                failed.store(true, std::memory_order_relaxed);
            }
        }
    }
};

// Threads kept for parallelFor, so a call costs a wake-up instead of thread
// creation. The caller of a job always works on it too and never waits for a
// helper to join, so nested calls (from inside fn) cannot deadlock: at worst
// the caller runs every index itself. The pool only grows, to the largest
// helper count asked for, and lives until the process ends.
class HelperPool {
public:
    static HelperPool& shared()
    {
        static HelperPool* pool = new HelperPool;  // never destroyed: helpers may still wait on it at exit
        return *pool;
    }

    void run(std::size_t count, std::size_t helpers, const std::function<void(std::size_t)>& fn)
    {
        Job job;
        job.fn = &fn;
        job.count = count;
        {
            std::lock_guard lock(m_mutex);
            growTo(helpers);
            job.helperSlots = helpers;
            m_jobs.push_back(&job);
        }
        m_jobAvailable.notify_all();

        job.work();

        std::unique_lock lock(m_mutex);
        m_jobs.erase(std::find(m_jobs.begin(), m_jobs.end(), &job));
        m_helperDone.wait(lock, [&] { return job.activeHelpers == 0; });
        lock.unlock();
        if (job.firstFailure) {
            std::rethrow_exception(job.firstFailure);
        }
    }

private:
    HelperPool() = default;

    // Called with m_mutex held.
    void growTo(std::size_t helpers)
    {
        while (m_threadCount < helpers) {
            try {
                std::thread([this] { helperLoop(); }).detach();
            } catch (...) {
                return;  // fewer helpers: the callers still cover every index
            }
            ++m_threadCount;
        }
    }

    // Called with m_mutex held: a job a helper may join, or null.
    Job* joinableJob() const
    {
        for (Job* job : m_jobs) {
            if (job->helperSlots > 0 && job->hasWork()) {
                return job;
            }
        }
        return nullptr;
    }

    void helperLoop()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            Job* job = nullptr;
            m_jobAvailable.wait(lock, [&] { return (job = joinableJob()) != nullptr; });
            --job->helperSlots;
            ++job->activeHelpers;
            lock.unlock();
            job->work();
            lock.lock();
            if (--job->activeHelpers == 0) {
                m_helperDone.notify_all();
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_jobAvailable;
    std::condition_variable m_helperDone;
    std::vector<Job*> m_jobs;
    std::size_t m_threadCount = 0;
};

}  // namespace

std::size_t processorCount()
{
    const std::size_t forced = g_processorCountOverride.load(std::memory_order_relaxed);
    if (forced > 0) {
        return forced;
    }
    static const std::size_t count = affinityProcessorCount();
    return count;
}

void setProcessorCountOverride(std::size_t count)
{
    g_processorCountOverride.store(count, std::memory_order_relaxed);
}

void parallelFor(std::size_t count, const std::function<void(std::size_t)>& fn)
{
    if (count == 0) {
        return;
    }
    const std::size_t threads = std::min(count, processorCount());
    if (threads == 1) {
        for (std::size_t i = 0; i < count; ++i) {
            fn(i);
        }
        return;
    }
    HelperPool::shared().run(count, threads - 1, fn);
}

}  // namespace tess
