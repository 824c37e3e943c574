#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>

namespace tess {

// The number of processors this process may run on (sched_getaffinity), at
// least 1. Tests may override it with setProcessorCountOverride (0 clears).
std::size_t processorCount();
void setProcessorCountOverride(std::size_t count);

// Runs fn(0) ... fn(count - 1) side by side on up to processorCount() threads
// (the calling thread takes part) and returns when all have finished.
// Exceptions thrown by fn are caught and the first one is rethrown afterwards;
// once one was thrown, no further index is started.
void parallelFor(std::size_t count, const std::function<void(std::size_t)>& fn);

// Runs fn(begin, end) over [0, n) in chunks side by side: one chunk per
// processor, each of at least `minChunkSize` items (one chunk, on the calling
// thread, when fewer than two would be made).
template <class Fn>
void inChunks(std::size_t n, std::size_t minChunkSize, const Fn& fn)
{
    const std::size_t chunks = std::min(n / minChunkSize, processorCount());
    if (chunks < 2) {
        fn(std::size_t {0}, n);
        return;
    }
    const std::size_t chunkSize = (n + chunks - 1) / chunks;
    parallelFor(chunks, [&](std::size_t chunk) { fn(std::min(chunk * chunkSize, n), std::min((chunk + 1) * chunkSize, n)); });
}

}  // namespace tess
