#include "core/BoundedWorkQueue.h"
#include "Gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>

namespace tess {
namespace {

using namespace std::chrono_literals;

using test::Gate;

// Occupies the only worker of `queue` until the gate opens.
void occupyWorker(BoundedWorkQueue& queue, Gate& gate)
{
    auto started = std::make_shared<std::promise<void>>();
    std::future<void> running = started->get_future();
    ASSERT_TRUE(queue.submit([started, &gate] {
        started->set_value();
        gate.wait();
    }));
    running.wait();
}

// Waits until `count` callers of submit() wait for room in `queue`; false
// when they do not within a deadline that only a hung submitter misses.
bool waitForBlockedSubmitters(const BoundedWorkQueue& queue, std::size_t count)
{
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (queue.blockedSubmitters() < count) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(BoundedWorkQueue, SubmitBlocksWhileFullAndResumesWhenThereIsRoom)
{
    Gate gate;
    BoundedWorkQueue queue(1, 2);
    EXPECT_EQ(queue.workerCount(), 1u);
    EXPECT_EQ(queue.capacity(), 2u);
    occupyWorker(queue, gate);

    std::atomic<int> ran {0};
    ASSERT_TRUE(queue.submit([&] { ++ran; }));
    ASSERT_TRUE(queue.submit([&] { ++ran; }));
    std::function<void()> extra = [&] { ++ran; };
    EXPECT_FALSE(queue.trySubmit(extra));
    EXPECT_TRUE(extra) << "a refused task stays with the caller";

    std::atomic<bool> returned {false};
    std::thread submitter([&] {
        EXPECT_TRUE(queue.submit([&] { ++ran; }));
        returned = true;
    });
    EXPECT_TRUE(waitForBlockedSubmitters(queue, 1)) << "the submitter never waited for room";
    EXPECT_FALSE(returned.load()) << "submit returned although the queue was full";

    gate.open();
    submitter.join();
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(queue.blockedSubmitters(), 0u);
    queue.waitIdle();
    EXPECT_EQ(ran.load(), 3);
}

TEST(BoundedWorkQueue, WaitIdleCoversTasksSubmittedByTasks)
{
    // A small queue and a wide tree: workers meet a full queue and must not
    // deadlock waiting for each other.
    BoundedWorkQueue queue(4, 2);
    std::atomic<int> visited {0};
    std::function<void(int)> visit = [&](int depth) {
        ++visited;
        if (depth == 0) {
            return;
        }
        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(queue.submit([&visit, depth] { visit(depth - 1); }));
        }
    };
    ASSERT_TRUE(queue.submit([&] { visit(6); }));
    queue.waitIdle();
    EXPECT_EQ(visited.load(), 1093);  // 1 + 3 + ... + 3^6
}

TEST(BoundedWorkQueue, CancelDropsQueuedWorkAndReleasesBlockedSubmitters)
{
    Gate gate;
    BoundedWorkQueue queue(1, 1);
    occupyWorker(queue, gate);
    std::atomic<int> ran {0};
    ASSERT_TRUE(queue.submit([&] { ++ran; }));

    std::promise<bool> blockedResult;
    std::thread submitter([&] { blockedResult.set_value(queue.submit([&] { ++ran; })); });
    EXPECT_TRUE(waitForBlockedSubmitters(queue, 1)) << "the submitter never waited for room";
    queue.cancel();
    EXPECT_TRUE(queue.isCancelled());
    EXPECT_FALSE(blockedResult.get_future().get());
    submitter.join();
    EXPECT_EQ(queue.blockedSubmitters(), 0u);
    EXPECT_FALSE(queue.submit([&] { ++ran; }));

    gate.open();
    queue.waitIdle();
    EXPECT_EQ(ran.load(), 0);
}

TEST(BoundedWorkQueue, WaitIdleRethrowsTheFirstFailureOnce)
{
    BoundedWorkQueue queue(2, 8);
    std::atomic<int> ran {0};
    ASSERT_TRUE(queue.submit([] { throw std::runtime_error("task failed"); }));
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(queue.submit([&] { ++ran; }));
    }
    EXPECT_THROW(queue.waitIdle(), std::runtime_error);
    EXPECT_EQ(ran.load(), 5);
    EXPECT_NO_THROW(queue.waitIdle());
}

TEST(BoundedWorkQueue, DestructorFinishesQueuedWork)
{
    std::atomic<int> ran {0};
    {
        BoundedWorkQueue queue(3, 4);
        for (int i = 0; i < 40; ++i) {
            ASSERT_TRUE(queue.submit([&] {
                std::this_thread::sleep_for(200us);
                ++ran;
            }));
        }
    }
    EXPECT_EQ(ran.load(), 40);
}

}  // namespace
}  // namespace tess
