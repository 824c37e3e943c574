// Cost of the issue list's filtering at 10^5 and 10^6 rows: building the
// lookup indexes once per new list, and one filter pass per keystroke (a
// search text, an issue-type set, both), next to a plain loop that only
// lower-cases every row's path. Reports milliseconds per iteration.

#include "model/ResultFilter.h"
#include "text/Text.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace tess {
namespace {

// Rows as the index returns them: one in eight a folder, a few non-ASCII
// names, two or three issue entries each.
std::vector<IndexedFile> makeRows(std::int64_t count)
{
    std::vector<IndexedFile> rows;
    rows.reserve(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i) {
        IndexedFile row;
        row.id = i + 1;
        row.isDirectory = i % 8 == 0;
        row.relativePath = "Projects/Client " + std::to_string(i / 1000) + "/Report: Draft " + std::to_string(i)
            + (i % 50 == 0 ? " Café Ünïcode" : "") + ".txt";
        if (i % 3 == 0) {
            row.issueTypes = "characterTransformed(:),pathTooLong(" + std::to_string(260 + i % 40) + "/255)";
        } else {
            row.issueTypes = "characterTransformed(:),filenameTooLong(" + std::to_string(140 + i % 20) + "/143),invalidCharacters";
        }
        row.needsRename = true;
        row.proposedRename = "Projects/Client " + std::to_string(i / 1000) + "/Report_ Draft " + std::to_string(i) + ".txt";
        rows.push_back(std::move(row));
    }
    return rows;
}

const std::vector<IndexedFile>& rowsOf(std::int64_t count)
{
    static std::vector<IndexedFile> small = makeRows(100000);
    static std::vector<IndexedFile> large = makeRows(1000000);
    return count == 100000 ? small : large;
}

void BM_PlainLowercaseLoop(benchmark::State& state)
{
    const auto& rows = rowsOf(state.range(0));
    for (auto _ : state) {
        std::size_t bytes = 0;
        for (const IndexedFile& row : rows) {
            bytes += text::toLower(row.relativePath).size();
        }
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_BuildLookupIndexes(benchmark::State& state)
{
    const auto& rows = rowsOf(state.range(0));
    for (auto _ : state) {
        LookupIndexes indexes = buildLookupIndexes(rows);
        benchmark::DoNotOptimize(indexes.masks.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void runFilter(benchmark::State& state, const FilterCriteria& criteria)
{
    const auto& rows = rowsOf(state.range(0));
    const LookupIndexes indexes = buildLookupIndexes(rows);
    std::size_t kept = 0;
    for (auto _ : state) {
        const FilterResult result = applyFilters(rows, indexes, criteria);
        kept = result.positions.size();
        benchmark::DoNotOptimize(result.positions.data());
    }
    state.counters["kept"] = static_cast<double>(kept);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ApplyFiltersSearchText(benchmark::State& state)
{
    runFilter(state, FilterCriteria {"DRAFT 99", std::nullopt, ItemTypeFilter::all});
}

// The first letters typed: almost every row matches.
void BM_ApplyFiltersWideSearchText(benchmark::State& state)
{
    runFilter(state, FilterCriteria {"d", std::nullopt, ItemTypeFilter::all});
}

void BM_ApplyFiltersIssueTypes(benchmark::State& state)
{
    runFilter(state, FilterCriteria {"", IssueTypeSet {"pathTooLong"}, ItemTypeFilter::all});
}

void BM_ApplyFiltersBoth(benchmark::State& state)
{
    runFilter(state, FilterCriteria {"café", IssueTypeSet {"pathTooLong", "invalidCharacters"}, ItemTypeFilter::filesOnly});
}

BENCHMARK(BM_PlainLowercaseLoop)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildLookupIndexes)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyFiltersSearchText)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyFiltersWideSearchText)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyFiltersIssueTypes)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyFiltersBoth)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tess

BENCHMARK_MAIN();
