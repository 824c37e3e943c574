// Throughput of PreparedTranslationTable::apply over generated names
// (names/s), with the table an analysis run would build for the
// "Cross Platform File Server" preset plus the three built-in lists.

#include "rules/PreparedTranslationTable.h"
#include "rules/TessalinePreset.h"
#include "rules/TranslationTable.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

namespace {

using tess::PreparedTranslationTable;
using tess::TranslationEntry;
using tess::TranslationTable;

std::vector<TranslationEntry> analysisEntries(bool withMultiCharacter)
{
    std::vector<TranslationEntry> entries = tess::TessalinePreset::crossPlatformFileServer().settings.translationTable.entries;
    if (withMultiCharacter) {
        entries.push_back({"ae", "\u00E6"});
        entries.push_back({"...", "\u2026"});
    }
    for (const auto* list : {&TranslationTable::controlCharacterEntries(), &TranslationTable::deceptiveWhitespaceEntries(),
             &TranslationTable::zeroWidthCharacterEntries()}) {
        entries.insert(entries.end(), list->begin(), list->end());
    }
    return entries;
}

// Names of 8 to 40 characters; one in ten holds a character to replace.
std::vector<std::string> makeNames(std::size_t count, bool mixed)
{
    static const std::vector<std::string> kAscii {"a", "b", "c", "d", "e", "f", "r", "s", "t", "0", "1", "2", "_", "-", " ", "."};
    static const std::vector<std::string> kOther {"\u00E9", "\u00FC", "\u65E5", "\u672C", "\u8A9E", "\u00DF", "\u0436", "\u03C9", "e\u0301",
        "\U0001F600", "\u00E6"};
    static const std::vector<std::string> kBad {":", "?", "*", "\u00A0", "\u200B", "\t", "|"};
    std::mt19937 random(42);
    std::vector<std::string> names;
    names.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t length = 8 + random() % 33;
        std::string name;
        for (std::size_t c = 0; c < length; ++c) {
            if (mixed && random() % 3 == 0) {
                name += kOther[random() % kOther.size()];
            } else {
                name += kAscii[random() % kAscii.size()];
            }
        }
        if (i % 10 == 0) {
            name.insert(name.size() / 2, kBad[random() % kBad.size()]);
        }
        name += ".txt";
        names.push_back(std::move(name));
    }
    return names;
}

void runApply(benchmark::State& state, bool mixed, bool withMultiCharacter)
{
    const PreparedTranslationTable table(analysisEntries(withMultiCharacter));
    const std::vector<std::string> names = makeNames(static_cast<std::size_t>(state.range(0)), mixed);
    std::int64_t replaced = 0;
    for (auto _ : state) {
        for (const std::string& name : names) {
            auto applied = table.apply(name);
            replaced += applied.count;
            benchmark::DoNotOptimize(applied.text.data());
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["replaced/name"] = benchmark::Counter(static_cast<double>(replaced) / static_cast<double>(state.iterations() * state.range(0)));
}

void runApplyInPlace(benchmark::State& state, bool mixed)
{
    const PreparedTranslationTable table(analysisEntries(false));
    const std::vector<std::string> names = makeNames(static_cast<std::size_t>(state.range(0)), mixed);
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<std::string> work = names;
        state.ResumeTiming();
        for (std::string& name : work) {
            benchmark::DoNotOptimize(table.applyInPlace(name));
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ApplyAscii(benchmark::State& state)
{
    runApply(state, false, false);
}
void BM_ApplyMixed(benchmark::State& state)
{
    runApply(state, true, false);
}
void BM_ApplyAsciiMultiCharacter(benchmark::State& state)
{
    runApply(state, false, true);
}
void BM_ApplyMixedMultiCharacter(benchmark::State& state)
{
    runApply(state, true, true);
}
void BM_ApplyInPlaceAscii(benchmark::State& state)
{
    runApplyInPlace(state, false);
}
void BM_ApplyInPlaceMixed(benchmark::State& state)
{
    runApplyInPlace(state, true);
}

}  // namespace

BENCHMARK(BM_ApplyAscii)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyMixed)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyAsciiMultiCharacter)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyMixedMultiCharacter)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyInPlaceAscii)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyInPlaceMixed)->Arg(100000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
