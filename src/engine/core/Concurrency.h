#pragma once

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

}  // namespace tess
