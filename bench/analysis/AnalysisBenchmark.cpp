// Throughput of the analyser on synthetic trees: mostly ASCII names, some
// non-Latin and accented ones, some long and deep paths.
//
//   bench_analysis [--benchmark_filter=...]
//       Phase 1 alone (PreparedItem lists), and the whole analysis (phase 1
//       and the cross-item passes) on consistent trees of folders and files,
//       at 10^5 and 10^6 items. Arguments of each case: item count,
//       processor count (0 = all).
//   bench_analysis --measure=N
//       One whole analysis of N items in this fresh process: time, items/s
//       and the peak memory it adds, per item.
//   bench_analysis --compare-find[=N]
//       Writes a tree of N items (default 100000) under /tmp once (reused
//       when present), then times `find` over it and the analysis of the
//       list it enumerated, side by side, and prints the ratio.
//   bench_analysis --digest[=N]
//       A digest of every result field (and the too-deep folders) of whole
//       analyses of the N-item tree (default 100000) under both presets, on
//       one processor and on all: any change of behaviour changes it.
//
// HOME and the XDG folders point into a temporary folder for the whole run.

#include "BenchEnvironment.h"
#include "analysis/SourceFileAnalyzer.h"
#include "core/Concurrency.h"
#include "rules/TessalinePreset.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

namespace {

using tess::FileItem;
using tess::SourceFileAnalyzer;

const std::vector<std::string> kAsciiWords = {"Documents", "Photos", "2023", "project", "src", "build", "notes",
    "Invoice_2021-03", "IMG_4411", "backup copy", "report final", "data", "lib", "test", "README", "a  b", "tmp",
    "Music", "Album -- Live", "draft..v2"};
const std::vector<std::string> kUnicodeWords = {"Résumé", "Ça va", "日本語のファイル", "Москва", "Straße", "été 2021",
    "Ελληνικά", "naïve café", "😀 party", "한국어"};
const std::vector<std::string> kExtensions = {".txt", ".jpg", ".pdf", ".tar.gz", ".md", "", ".docx", ".c"};

// Log lines go nowhere, or to stderr when TESSALINE_BENCH_LOG is set.
const SourceFileAnalyzer::LogSink kSilent = [](std::string message, std::string_view, std::string_view, int) {
    static const bool print = std::getenv("TESSALINE_BENCH_LOG") != nullptr;
    if (print) {
        std::fprintf(stderr, "%s\n", message.c_str());
    }
};

// --- Phase 1 on loose paths ---------------------------------------------------------

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

std::size_t processorsOf(const benchmark::State& state)
{
    return state.range(1) == 0 ? tess::processorCount() : static_cast<std::size_t>(state.range(1));
}

void runPhase1(benchmark::State& state, const tess::TransformationSettings& settings)
{
    const auto count = static_cast<std::size_t>(state.range(0));
    const std::size_t processors = processorsOf(state);
    const auto& items = itemsOf(count);
    tess::setProcessorCountOverride(processors);
    const SourceFileAnalyzer analyzer(settings, 3, kSilent);
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

// --- The whole analysis on consistent trees -------------------------------------------

// A tree of folders and files (relative paths, parents before children):
// about one item in seven a folder, mostly 2 to 8 levels with a few deep
// chains, mostly ASCII names.
std::vector<std::pair<std::string, bool>> makeTree(std::size_t count)
{
    std::mt19937 random(424242);
    std::vector<std::pair<std::string, bool>> tree;
    tree.reserve(count);
    struct Folder {
        std::string path;
        unsigned depth;
    };
    std::vector<Folder> folders = {{"", 0}};
    while (tree.size() < count) {
        const unsigned kind = random() % 100;
        const unsigned maxDepth = kind < 3 ? 24 : 8;
        // Favour recently made folders, so folders fill up like real ones.
        std::size_t parent = 0;
        for (int attempt = 0; attempt < 4; ++attempt) {
            const std::size_t recent = std::min<std::size_t>(folders.size(), 64);
            const std::size_t candidate = random() % 2 == 0 ? folders.size() - 1 - random() % recent : random() % folders.size();
            if (folders[candidate].depth < maxDepth) {
                parent = candidate;
                break;
            }
        }
        const bool unicode = kind >= 90;
        std::string name = unicode ? kUnicodeWords[random() % kUnicodeWords.size()] : kAsciiWords[random() % kAsciiWords.size()];
        name += " " + std::to_string(tree.size());
        if (kind == 3) {
            name += " with a rather long descriptive name that goes on and on for a while";
        }
        const bool isDirectory = random() % 7 == 0;
        if (!isDirectory) {
            name += kExtensions[random() % kExtensions.size()];
        }
        const Folder& holder = folders[parent];
        std::string relative = holder.path.empty() ? name : holder.path + "/" + name;
        if (isDirectory) {
            folders.push_back(Folder {relative, holder.depth + 1});
        }
        tree.emplace_back(std::move(relative), isDirectory);
    }
    return tree;
}

const std::vector<FileItem>& treeItemsOf(std::size_t count)
{
    static std::map<std::size_t, std::vector<FileItem>> cache;
    auto found = cache.find(count);
    if (found == cache.end()) {
        std::vector<FileItem> items;
        for (auto& [relative, isDirectory] : makeTree(count)) {
            items.push_back(FileItem {"/source/" + relative, isDirectory});
        }
        found = cache.emplace(count, std::move(items)).first;
    }
    return found->second;
}

// The preset with the cross-item passes in play.
tess::TransformationSettings wholeAnalysisSettings(const tess::TransformationSettings& base)
{
    tess::TransformationSettings settings = base;
    settings.smartPathShortening = true;
    settings.maxPathLength = std::min<std::int64_t>(settings.maxPathLength, 255);
    settings.maxPathDepth = std::min<std::int64_t>(settings.maxPathDepth, 12);
    return settings;
}

void runWholeAnalysis(benchmark::State& state, const tess::TransformationSettings& settings)
{
    const auto count = static_cast<std::size_t>(state.range(0));
    const std::size_t processors = processorsOf(state);
    const auto& items = treeItemsOf(count);
    tess::setProcessorCountOverride(processors);
    const SourceFileAnalyzer analyzer(settings, 3, kSilent);
    std::size_t needRename = 0;
    for (auto _ : state) {
        auto output = analyzer.analyze(items, "/source", "bench", [] { return false; });
        state.PauseTiming();
        needRename = 0;
        for (const auto& result : output.results) {
            needRename += result.needsRename ? 1 : 0;
        }
        benchmark::DoNotOptimize(output);
        output = {};
        state.ResumeTiming();
    }
    tess::setProcessorCountOverride(0);
    state.counters["items/s"] = benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["processors"] = static_cast<double>(processors);
    state.counters["needsRename"] = static_cast<double>(needRename);
    state.counters["peakRSS_MiB"] = static_cast<double>(peakResidentKiB()) / 1024.0;
}

void WholeCrossPlatformFileServer(benchmark::State& state)
{
    runWholeAnalysis(state, wholeAnalysisSettings(tess::TessalinePreset::crossPlatformFileServer().settings));
}

void WholeStrictShellSafe(benchmark::State& state)
{
    runWholeAnalysis(state, wholeAnalysisSettings(tess::TessalinePreset::strictShellSafe().settings));
}

// Processor argument 0 means all processors.
BENCHMARK(WholeCrossPlatformFileServer)->Args({100000, 1})->Args({100000, 0})->Args({1000000, 1})->Args({1000000, 0})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(WholeStrictShellSafe)->Args({100000, 0})->Args({1000000, 0})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(CrossPlatformFileServer)->Args({100000, 1})->Args({100000, 0})->Args({1000000, 1})->Args({1000000, 0})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(StrictShellSafe)->Args({100000, 1})->Args({100000, 0})->Args({1000000, 1})->Args({1000000, 0})->Unit(benchmark::kMillisecond)->UseRealTime();

// --- Comparison with find ----------------------------------------------------------------

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Writes the tree under `root` unless a complete one is there already.
bool ensureTreeOnDisk(const std::string& root, std::size_t count)
{
    const std::string marker = root + "/.complete";
    if (access(marker.c_str(), F_OK) == 0) {
        std::printf("Reusing the tree in %s\n", root.c_str());
        return true;
    }
    std::printf("Writing a tree of %zu items to %s ...\n", count, root.c_str());
    std::fflush(stdout);
    const std::string source = root + "/source";
    mkdir(root.c_str(), 0755);
    if (mkdir(source.c_str(), 0755) != 0 && errno != EEXIST) {
        std::perror("mkdir");
        return false;
    }
    for (const auto& [relative, isDirectory] : makeTree(count)) {
        const std::string path = source + "/" + relative;
        if (isDirectory) {
            if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
                std::perror(path.c_str());
                return false;
            }
        } else {
            const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd < 0) {
                std::perror(path.c_str());
                return false;
            }
            close(fd);
        }
    }
    const int fd = open(marker.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        close(fd);
    }
    return true;
}

// Runs `find` over the tree: its wall time, and the items it listed.
double runFind(const std::string& source, std::vector<FileItem>* items)
{
    const std::string command = "find '" + source + "' -mindepth 1 -printf '%y %p\\n'";
    const Clock::time_point start = Clock::now();
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    char* line = nullptr;
    std::size_t capacity = 0;
    ssize_t length = 0;
    while ((length = getline(&line, &capacity, pipe)) > 0) {
        if (items != nullptr && length > 2) {
            items->push_back(FileItem {std::string(line + 2, static_cast<std::size_t>(length - 3)), line[0] == 'd'});
        }
    }
    std::free(line);
    pclose(pipe);
    return secondsSince(start);
}

int compareWithFind(std::size_t count)
{
    const std::string root = "/tmp/tessaline-bench-tree-" + std::to_string(count);
    if (!ensureTreeOnDisk(root, count)) {
        return 1;
    }
    const std::string source = root + "/source";
    std::vector<FileItem> items;
    runFind(source, &items);  // warms the cache and enumerates the list
    double findTime = 1e300;
    for (int i = 0; i < 3; ++i) {
        findTime = std::min(findTime, runFind(source, nullptr));
    }
    const SourceFileAnalyzer analyzer(wholeAnalysisSettings(tess::TessalinePreset::crossPlatformFileServer().settings), 3, kSilent);
    double analysisTime = 1e300;
    std::size_t results = 0;
    for (int i = 0; i < 3; ++i) {
        const Clock::time_point start = Clock::now();
        const auto output = analyzer.analyze(items, source, "bench", [] { return false; });
        analysisTime = std::min(analysisTime, secondsSince(start));
        results = output.results.size();
    }
    std::printf("items listed by find: %zu, analysed: %zu, processors: %zu\n", items.size(), results, tess::processorCount());
    std::printf("find:     %.3f s  (%.0f items/s)\n", findTime, static_cast<double>(items.size()) / findTime);
    std::printf("analysis: %.3f s  (%.0f items/s)\n", analysisTime, static_cast<double>(items.size()) / analysisTime);
    std::printf("analysis / find = %.2f (goal: at most 1)\n", analysisTime / findTime);
    return 0;
}

// One whole analysis of a fresh process: time and the peak resident size it
// adds over the input list, per item.
int measureOnce(std::size_t count)
{
    const auto& items = treeItemsOf(count);
    const SourceFileAnalyzer analyzer(wholeAnalysisSettings(tess::TessalinePreset::crossPlatformFileServer().settings), 3, kSilent);
    const long before = peakResidentKiB();
    const Clock::time_point start = Clock::now();
    const auto output = analyzer.analyze(items, "/source", "bench", [] { return false; });
    const double seconds = secondsSince(start);
    const long after = peakResidentKiB();
    std::printf("items: %zu, processors: %zu, time: %.3f s, %.0f items/s, peak memory: %.0f bytes/item (results included)\n",
        output.results.size(), tess::processorCount(), seconds, static_cast<double>(count) / seconds,
        static_cast<double>(after - before) * 1024.0 / static_cast<double>(count));
    return 0;
}

// --- Digest of the results ----------------------------------------------------------------

// FNV-1a over length-prefixed fields.
class Digest {
public:
    void add(std::string_view bytes)
    {
        addNumber(bytes.size());
        for (const char c : bytes) {
            mix(static_cast<unsigned char>(c));
        }
    }
    void addNumber(std::uint64_t value)
    {
        for (int i = 0; i < 8; ++i) {
            mix(static_cast<unsigned char>(value >> (8 * i)));
        }
    }
    void add(const std::vector<std::string>& list)
    {
        addNumber(list.size());
        for (const std::string& entry : list) {
            add(entry);
        }
    }
    std::uint64_t value() const { return m_hash; }

private:
    void mix(unsigned char byte)
    {
        m_hash ^= byte;
        m_hash *= 1099511628211ULL;
    }
    std::uint64_t m_hash = 14695981039346656037ULL;
};

void addIssue(Digest& digest, const tess::FileTransformationIssue& issue)
{
    using Issue = tess::FileTransformationIssue;
    digest.addNumber(static_cast<std::uint64_t>(issue.tag()));
    std::visit(
        [&](const auto& payload) {
            using T = std::decay_t<decltype(payload)>;
            if constexpr (std::is_same_v<T, Issue::CharacterTransformed>) {
                digest.add(payload.characters);
                digest.add(payload.from);
                digest.add(payload.to);
            } else if constexpr (std::is_same_v<T, Issue::Collision>) {
                digest.add(payload.conflictsWith);
            } else if constexpr (std::is_same_v<T, Issue::EncodingTransformed> || std::is_same_v<T, Issue::RepeatedSeparators>) {
                digest.add(payload.from);
                digest.add(payload.to);
            } else if constexpr (std::is_same_v<T, Issue::FilenameTooLong> || std::is_same_v<T, Issue::FolderNameTooLong> || std::is_same_v<T, Issue::PathTooLong>) {
                digest.addNumber(static_cast<std::uint64_t>(payload.currentLength));
                digest.addNumber(static_cast<std::uint64_t>(payload.maxLength));
            } else if constexpr (std::is_same_v<T, Issue::FilenameUnresolvable>) {
                digest.add(payload.reason);
            } else if constexpr (std::is_same_v<T, Issue::PathShortened>) {
                digest.addNumber(static_cast<std::uint64_t>(payload.originalLength));
                digest.addNumber(static_cast<std::uint64_t>(payload.newLength));
            } else if constexpr (std::is_same_v<T, Issue::PathTooDeep>) {
                digest.addNumber(static_cast<std::uint64_t>(payload.currentDepth));
                digest.addNumber(static_cast<std::uint64_t>(payload.maxDepth));
            } else if constexpr (std::is_same_v<T, Issue::ReservedName>) {
                digest.add(payload.name);
            } else {
                static_assert(std::is_same_v<T, Issue::TrimmedCharacters>);
                digest.add(payload.components);
            }
        },
        issue.payload());
}

std::uint64_t digestOf(const SourceFileAnalyzer::AnalysisResult& output)
{
    Digest digest;
    digest.addNumber(output.results.size());
    for (const tess::FileTransformationResult& result : output.results) {
        digest.add(result.originalFile.path);
        digest.addNumber(result.originalFile.isDirectory ? 1 : 0);
        digest.add(result.originalRelativePath);
        digest.add(result.finalRelativePath);
        digest.addNumber(result.transformations.size());
        for (const tess::FileTransformationIssue& issue : result.transformations) {
            addIssue(digest, issue);
        }
        digest.addNumber(result.needsRename ? 1 : 0);
        digest.addNumber(result.shortenedComponents.size());
        for (const auto& [shortened, original] : result.shortenedComponents) {
            digest.add(shortened);
            digest.add(original);
        }
    }
    digest.addNumber(output.tooDeepDirs.size());
    for (const std::string& path : output.tooDeepDirs) {
        digest.add(path);
    }
    return digest.value();
}

int printDigests(std::size_t count)
{
    const auto& items = treeItemsOf(count);
    const std::vector<std::pair<const char*, tess::TransformationSettings>> presets = {
        {"crossPlatformFileServer", wholeAnalysisSettings(tess::TessalinePreset::crossPlatformFileServer().settings)},
        {"strictShellSafe", wholeAnalysisSettings(tess::TessalinePreset::strictShellSafe().settings)}};
    for (const auto& [name, settings] : presets) {
        for (const std::size_t processors : {std::size_t {1}, std::size_t {0}}) {
            tess::setProcessorCountOverride(processors);
            const SourceFileAnalyzer analyzer(settings, 3, kSilent);
            const auto output = analyzer.analyze(items, "/source", "bench", [] { return false; });
            std::size_t renames = 0;
            for (const auto& result : output.results) {
                renames += result.needsRename ? 1 : 0;
            }
            std::printf("%s items=%zu processors=%zu renames=%zu tooDeep=%zu digest=%016llx\n", name, output.results.size(),
                tess::processorCount(), renames, output.tooDeepDirs.size(), static_cast<unsigned long long>(digestOf(output)));
        }
    }
    tess::setProcessorCountOverride(0);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    tess::bench::isolateHome();
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.rfind("--measure=", 0) == 0) {
            return measureOnce(std::strtoull(argv[i] + 10, nullptr, 10));
        }
        if (arg.rfind("--digest", 0) == 0) {
            return printDigests(arg.size() > 9 && arg[8] == '=' ? std::strtoull(argv[i] + 9, nullptr, 10) : 100000);
        }
        if (arg.rfind("--compare-find", 0) == 0) {
            const std::size_t count = arg.size() > 15 && arg[14] == '=' ? std::strtoull(argv[i] + 15, nullptr, 10) : 100000;
            return compareWithFind(count);
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
