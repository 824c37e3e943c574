#include "core/ParallelSort.h"
#include "core/Concurrency.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace tess {
namespace {

struct ProcessorOverride {
    explicit ProcessorOverride(std::size_t count) { setProcessorCountOverride(count); }
    ~ProcessorOverride() { setProcessorCountOverride(0); }
};

// Keys long enough to live on the heap, so that an element read after it was
// moved out shows as an empty key; many equal keys, so that a merge that is
// not stable shows in the sequence numbers.
std::vector<std::pair<std::string, int>> shuffledValues(std::size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::pair<std::string, int>> values;
    values.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        values.emplace_back("/source/folder " + std::to_string(random() % 5000) + "/a name long enough for the heap",
            static_cast<int>(i));
    }
    return values;
}

TEST(ParallelSort, MovesEveryElementOnceAndKeepsEqualOnesInOrder)
{
    const auto byKey = [](const auto& a, const auto& b) { return a.first < b.first; };
    for (const std::size_t processors : {1U, 2U, 3U, 8U}) {
        for (const std::size_t count : {0U, 1U, 40000U, 300000U}) {
            for (unsigned seed = 1; seed <= 3; ++seed) {
                SCOPED_TRACE(testing::Message() << processors << " processors, " << count << " values, seed " << seed);
                ProcessorOverride forced(processors);
                std::vector<std::pair<std::string, int>> values = shuffledValues(count, seed);
                std::vector<std::pair<std::string, int>> expected = values;
                std::stable_sort(expected.begin(), expected.end(), byKey);
                parallelStableSort(values, byKey);
                ASSERT_EQ(values, expected);
            }
        }
    }
}

}  // namespace
}  // namespace tess
