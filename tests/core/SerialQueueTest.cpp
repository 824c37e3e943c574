#include "core/SerialQueue.h"
#include "Gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <vector>

namespace tess {
namespace {

using namespace std::chrono_literals;

using test::Gate;

TEST(SerialQueue, RunsAsyncWorkInOrderOnItsOwnThreadAndDrains)
{
    Gate gate;
    SerialQueue queue("test.order");
    EXPECT_EQ(queue.label(), "test.order");
    EXPECT_FALSE(queue.isCurrent());

    queue.async([&] { gate.wait(); });
    std::vector<int> seen;
    std::atomic<int> offThread {0};
    for (int i = 0; i < 1000; ++i) {
        queue.async([&, i] {
            if (!queue.isCurrent()) {
                ++offThread;
            }
            seen.push_back(i);
        });
    }
    gate.open();
    queue.drain();

    ASSERT_EQ(seen.size(), 1000u);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(seen[static_cast<std::size_t>(i)], i);
    }
    EXPECT_EQ(offThread.load(), 0);
}

TEST(SerialQueue, SyncWaitsForEarlierWorkAndRethrows)
{
    SerialQueue queue("test.sync");
    std::atomic<bool> earlierDone {false};
    queue.async([&] {
        std::this_thread::sleep_for(20ms);
        earlierDone = true;
    });
    bool ran = false;
    queue.sync([&] { ran = earlierDone.load(); });
    EXPECT_TRUE(ran);

    EXPECT_THROW(queue.sync([] { throw std::runtime_error("boom"); }), std::runtime_error);
    // The worker survives a throwing item, also from async().
    queue.async([] { throw std::runtime_error("ignored"); });
    int after = 0;
    queue.sync([&] { after = 1; });
    EXPECT_EQ(after, 1);
}

TEST(SerialQueue, SyncAndDrainOnItsOwnThreadRunInline)
{
    SerialQueue queue("test.inline");
    std::vector<std::string> steps;
    queue.sync([&] {
        steps.push_back("outer");
        queue.sync([&] { steps.push_back("inner"); });
        queue.drain();  // must not wait for itself
        steps.push_back("outer-end");
    });
    EXPECT_EQ(steps, (std::vector<std::string> {"outer", "inner", "outer-end"}));
}

TEST(SerialQueue, DestructorLetsQueuedWorkFinish)
{
    std::atomic<int> count {0};
    Gate gate;
    {
        SerialQueue queue("test.finish");
        queue.async([&] { gate.wait(); });
        for (int i = 0; i < 50; ++i) {
            queue.async([&] {
                std::this_thread::sleep_for(100us);
                ++count;
            });
        }
        gate.open();
    }
    EXPECT_EQ(count.load(), 50);
}

TEST(SerialQueue, DestroyedFromItsOwnWorkNeitherDeadlocksNorLosesWork)
{
    // Everything the worker touches is shared with it: it outlives the test
    // body for a moment after the queue has detached it.
    struct Shared {
        Gate gate;
        std::promise<int> finished;
        int laterRuns = 0;
    };
    auto shared = std::make_shared<Shared>();
    std::future<int> result = shared->finished.get_future();
    auto* queue = new SerialQueue("test.self-destroy");
    queue->async([shared] { shared->gate.wait(); });
    queue->async([queue] { delete queue; });
    queue->async([shared] { ++shared->laterRuns; });
    queue->async([shared] { shared->finished.set_value(++shared->laterRuns); });
    shared->gate.open();

    ASSERT_EQ(result.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(result.get(), 2);
}

}  // namespace
}  // namespace tess
