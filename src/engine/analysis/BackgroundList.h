#pragma once

#include <cstddef>
#include <future>
#include <vector>

namespace tess {

// A list of `count` default-made values, made on another thread while the
// caller goes on: setting up a large list (touching all its memory) takes
// time the work before its first use need not wait for. Small lists, and
// any list when no thread can be started, are made by get() on the
// caller's thread.
template <class T>
std::future<std::vector<T>> makeListInBackground(std::size_t count)
{
    constexpr std::size_t kMinBackgroundCount = 10000;
    const auto make = [count] { return std::vector<T>(count); };
    if (count < kMinBackgroundCount) {
        return std::async(std::launch::deferred, make);
    }
    // With both policies the library falls back to deferred when it cannot
    // start a thread.
    return std::async(std::launch::async | std::launch::deferred, make);
}

}  // namespace tess
