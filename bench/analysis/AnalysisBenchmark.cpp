// Phase-1 throughput of the analyser on synthetic trees: mostly ASCII names,
// some non-Latin and accented ones, some long and deep paths.
//
//   bench_analysis [--benchmark_filter=...]
//
// Arguments of each case: item count, processor count (1 or all).

#include "analysis/SourceFileAnalyzer.h"
#include "core/Concurrency.h"
#include "rules/TessalinePreset.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using tess::SourceFileAnalyzer;

const std::vector<std::string> kAsciiWords = {"Documents", "Photos", "2023", "project", "src", "build", "notes",
    "Invoice_2021-03", "IMG_4411", "backup copy", "report final", "data", "lib", "test", "README", "a  b", "tmp",
    "Music", "Album -- Live", "draft..v2"};
const std::vector<std::string> kUnicodeWords = {"Résumé", "Ça va", "日本語のファイル", "Москва", "Straße", "été 2021",
    "Ελληνικά", "naïve café", "😀 party", "한국어"};
const std::vector<std::string> kExtensions = {".txt", ".jpg", ".pdf", ".tar.gz", ".md", "", ".docx", ".c"};

std::vector<SourceFileAnalyzer::PreparedItem> makeItems(std::size_t count)
{
    std::mt19937 random(20261210);
    std::vector<SourceFileAnalyzer::PreparedItem> items;
    items.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned kind = random() % 100;
        std::string relative;
        std::size_t depth = 2 + random() % 5;
        if (kind >= 97) {
            depth = 12 + random() % 10;  // deep and long
        }
        for (std::size_t d = 0; d < depth; ++d) {
            const bool unicode = kind >= 90 && kind < 97 && random() % 2 == 0;
            relative += unicode ? kUnicodeWords[random() % kUnicodeWords.size()] : kAsciiWords[random() % kAsciiWords.size()];
            if (kind >= 97) {
                relative += " with a rather long descriptive folder name";
            }
            relative += "/";
        }
        relative += "file " + std::to_string(i) + kExtensions[random() % kExtensions.size()];
        const bool isDirectory = random() % 8 == 0;
        items.push_back({tess::FileItem {"/source/" + relative, isDirectory}, relative, false});
    }
    return items;
}

const std::vector<SourceFileAnalyzer::PreparedItem>& itemsOf(std::size_t count)
{
    static std::map<std::size_t, std::vector<SourceFileAnalyzer::PreparedItem>> cache;
    auto found = cache.find(count);
    if (found == cache.end()) {
        found = cache.emplace(count, makeItems(count)).first;
    }
    return found->second;
}

long peakResidentKiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void runPhase1(benchmark::State& state, const tess::TransformationSettings& settings)
{
    const auto count = static_cast<std::size_t>(state.range(0));
    const auto processors = state.range(1) == 0 ? tess::processorCount() : static_cast<std::size_t>(state.range(1));
    const auto& items = itemsOf(count);
    tess::setProcessorCountOverride(processors);
    const SourceFileAnalyzer analyzer(settings, 3, [](std::string, std::string_view, std::string_view, int) {});
    std::size_t withIssues = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto copy = items;
        state.ResumeTiming();
        auto output = analyzer.runPhase1(std::move(copy), [] { return false; });
        state.PauseTiming();
        withIssues = 0;
        for (const auto& result : output.results) {
            withIssues += result.transformations.empty() ? 0 : 1;
        }
        benchmark::DoNotOptimize(output);
        output = {};
        state.ResumeTiming();
    }
    tess::setProcessorCountOverride(0);
    state.counters["items/s"] = benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["processors"] = static_cast<double>(processors);
    state.counters["withIssues"] = static_cast<double>(withIssues);
    state.counters["peakRSS_MiB"] = static_cast<double>(peakResidentKiB()) / 1024.0;
}

void CrossPlatformFileServer(benchmark::State& state)
{
    runPhase1(state, tess::TessalinePreset::crossPlatformFileServer().settings);
}

void StrictShellSafe(benchmark::State& state)
{
    runPhase1(state, tess::TessalinePreset::strictShellSafe().settings);
}

// The whole run (sort, relative paths, phase 1, result build) for comparison.
void AnalyzeCrossPlatform(benchmark::State& state)
{
    const auto count = static_cast<std::size_t>(state.range(0));
    std::vector<tess::FileItem> items;
    items.reserve(count);
    for (const auto& item : itemsOf(count)) {
        items.push_back(item.item);
    }
    std::shuffle(items.begin(), items.end(), std::mt19937(7));
    const SourceFileAnalyzer analyzer(tess::TessalinePreset::crossPlatformFileServer().settings, 3,
        [](std::string, std::string_view, std::string_view, int) {});
    for (auto _ : state) {
        auto output = analyzer.analyze(items, "/source", "SMB", [] { return false; });
        benchmark::DoNotOptimize(output);
        state.PauseTiming();
        output = {};
        state.ResumeTiming();
    }
    state.counters["items/s"] = benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["peakRSS_MiB"] = static_cast<double>(peakResidentKiB()) / 1024.0;
}

// Processor argument 0 means all processors.
BENCHMARK(CrossPlatformFileServer)->Args({100000, 1})->Args({100000, 0})->Args({1000000, 1})->Args({1000000, 0})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(AnalyzeCrossPlatform)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(StrictShellSafe)->Args({100000, 1})->Args({100000, 0})->Args({1000000, 1})->Args({1000000, 0})->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
