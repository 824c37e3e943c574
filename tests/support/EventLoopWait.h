#pragma once

#include <QCoreApplication>

#include <chrono>
#include <functional>
#include <thread>

namespace tess::test {

// Runs the main thread's events until `done` answers true; false when
// `timeout` passed first.
inline bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(20))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents();
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

// Runs the main thread's events for `time`.
inline void settle(std::chrono::milliseconds time = std::chrono::milliseconds(100))
{
    const auto until = std::chrono::steady_clock::now() + time;
    while (std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace tess::test
