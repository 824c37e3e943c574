#include "core/Concurrency.h"

#include <gtest/gtest.h>

#include <sched.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace tess {
namespace {

// Restores the real processor count when a test ends.
struct ProcessorOverride {
    explicit ProcessorOverride(std::size_t count) { setProcessorCountOverride(count); }
    ~ProcessorOverride() { setProcessorCountOverride(0); }
};

TEST(Concurrency, ProcessorCountFollowsAffinityAndOverride)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    ASSERT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
    const auto allowed = static_cast<std::size_t>(CPU_COUNT(&set));
    EXPECT_EQ(processorCount(), allowed);
    {
        ProcessorOverride forced(3);
        EXPECT_EQ(processorCount(), 3u);
    }
    EXPECT_EQ(processorCount(), allowed);
}

TEST(Concurrency, ParallelForRunsEveryIndexExactlyOnce)
{
    struct Case {
        std::size_t processors;
        std::size_t count;
    };
    const Case cases[] = {{1, 0}, {1, 1}, {1, 1000}, {8, 0}, {8, 1}, {8, 7}, {8, 5000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "processors " << c.processors << ", count " << c.count);
        ProcessorOverride forced(c.processors);
        auto hits = std::make_unique<std::atomic<int>[]>(c.count + 1);
        std::mutex threadsMutex;
        std::set<std::thread::id> threads;
        parallelFor(c.count, [&](std::size_t i) {
            ASSERT_LT(i, c.count);
            hits[i].fetch_add(1);
            std::lock_guard lock(threadsMutex);
            threads.insert(std::this_thread::get_id());
        });
        for (std::size_t i = 0; i < c.count; ++i) {
            ASSERT_EQ(hits[i].load(), 1) << "index " << i;
        }
        EXPECT_LE(threads.size(), c.processors);
        if (c.processors == 1 && c.count > 0) {
            EXPECT_EQ(threads, std::set<std::thread::id> {std::this_thread::get_id()});
        }
    }
}

TEST(Concurrency, ParallelForNestsAndRunsFromSeveralThreadsAtOnce)
{
    ProcessorOverride forced(4);
    constexpr std::size_t kOuter = 16;
    constexpr std::size_t kInner = 200;
    constexpr std::size_t kCallers = 3;
    auto hits = std::make_unique<std::atomic<int>[]>(kCallers * kOuter * kInner);
    std::vector<std::thread> callers;
    for (std::size_t caller = 0; caller < kCallers; ++caller) {
        callers.emplace_back([&, caller] {
            parallelFor(kOuter, [&](std::size_t outer) {
                parallelFor(kInner, [&](std::size_t inner) {
                    hits[(caller * kOuter + outer) * kInner + inner].fetch_add(1);
                });
            });
        });
    }
    for (std::thread& caller : callers) {
        caller.join();
    }
    for (std::size_t i = 0; i < kCallers * kOuter * kInner; ++i) {
        ASSERT_EQ(hits[i].load(), 1) << "index " << i;
    }
}

TEST(Concurrency, ParallelForRethrowsTheFirstFailureAfterAllThreadsEnd)
{
    for (std::size_t processors : {1u, 8u}) {
        SCOPED_TRACE(processors);
        ProcessorOverride forced(processors);
        std::atomic<int> running {0};
        std::atomic<int> maxAfterReturn {0};
        try {
            parallelFor(1000, [&](std::size_t i) {
                ++running;
                if (i % 100 == 37) {
                    --running;
                    throw std::runtime_error("failed at " + std::to_string(i));
                }
                --running;
            });
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& error) {
            maxAfterReturn = running.load();
            EXPECT_EQ(std::string(error.what()).rfind("failed at ", 0), 0u);
            if (processors == 1) {
                EXPECT_STREQ(error.what(), "failed at 37");
            }
        }
        // No helper thread still runs work once parallelFor has returned.
        EXPECT_EQ(maxAfterReturn.load(), 0);
    }
}

}  // namespace
}  // namespace tess
