#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

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

// How many pieces to split `count` items into for parallelFor: up to four per
// processor, so that uneven pieces even out, none smaller than
// `minimumChunk` items; at least one.
inline std::size_t chunkCountFor(std::size_t count, std::size_t minimumChunk)
{
    return std::clamp<std::size_t>(count / minimumChunk, 1, processorCount() * 4);
}

// Items [begin, end) of piece `chunk` of `chunks` over `count` items.
inline std::pair<std::size_t, std::size_t> chunkRange(std::size_t chunk, std::size_t chunks, std::size_t count)
{
    return {count * chunk / chunks, count * (chunk + 1) / chunks};
}

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

// Reverses `values`, the swaps shared out side by side.
template <class T>
void reverseInParallel(std::vector<T>& values)
{
    constexpr std::size_t kSwapsPerChunk = 4096;
    const std::size_t n = values.size();
    inChunks(n / 2, kSwapsPerChunk, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            std::swap(values[i], values[n - 1 - i]);
        }
    });
}

}  // namespace tess
