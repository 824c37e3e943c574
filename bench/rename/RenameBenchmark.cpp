// One rename batch over a real temporary tree: N files spread over folders of
// 1000, every file renamed, then every folder (second argument 1) or the
// files only, each within its folder (0); the next iteration renames
// everything back. Reports items per second and the peak resident size.
//
// BM_RecordedBatch runs the same batch at 17,000 files without (third
// argument 0) and with (1) the journal that records each step before it is
// taken, as the rename workflow does; compare their real times for what the
// journal costs.

#include "history/HistoryJournal.h"
#include "rename/SourceFileRenamer.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kFilesPerFolder = 1000;

std::string makeTree(int files)
{
    std::string tmpl = (std::getenv("TMPDIR") ? std::string(std::getenv("TMPDIR")) : std::string("/tmp")) + "/tessaline-bench-XXXXXX";
    if (!::mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    for (int i = 0; i < files; ++i) {
        const std::string folder = tmpl + "/folder " + std::to_string(i / kFilesPerFolder);
        if (i % kFilesPerFolder == 0)
            ::mkdir(folder.c_str(), 0755);
        const int fd = ::open((folder + "/file:" + std::to_string(i) + ".txt").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0)
            throw std::runtime_error("cannot create a file");
        ::close(fd);
    }
    return tmpl;
}

std::vector<tess::RenameInstruction> batch(int files, bool forward, bool renameFolders)
{
    std::vector<tess::RenameInstruction> out;
    out.reserve(static_cast<std::size_t>(files + files / kFilesPerFolder + 1));
    auto folderName = [renameFolders](int index, bool renamed) {
        return (renamed && renameFolders ? "folder_" : "folder ") + std::to_string(index);
    };
    auto fileName = [](int index, bool renamed) { return (renamed ? "file_" : "file:") + std::to_string(index) + ".txt"; };
    // Paths as the planner gives them: the current path, and the final path
    // with the folder already under its new name.
    for (int i = 0; i < files; ++i) {
        const int f = i / kFilesPerFolder;
        out.push_back({folderName(f, !forward) + "/" + fileName(i, !forward), folderName(f, forward) + "/" + fileName(i, forward), false});
    }
    for (int f = 0; renameFolders && f * kFilesPerFolder < files; ++f)
        out.push_back({folderName(f, !forward), folderName(f, forward), true});
    return out;
}

void BM_RenameBatch(benchmark::State& state)
{
    const int files = static_cast<int>(state.range(0));
    const std::string root = makeTree(files);
    const bool renameFolders = state.range(1) != 0;
    const auto forward = batch(files, true, renameFolders);
    const auto backward = batch(files, false, renameFolders);
    bool isForward = true;
    std::size_t failures = 0;
    for (auto _ : state) {
        const auto result = tess::SourceFileRenamer::renameFiles(isForward ? forward : backward, root, tess::kAppErrorDomain);
        failures += result.failed.size();
        benchmark::DoNotOptimize(result.renamed.data());
        isForward = !isForward;
    }
    std::filesystem::remove_all(root);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(forward.size()));
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    state.counters["failures"] = static_cast<double>(failures);
}

void BM_RecordedBatch(benchmark::State& state)
{
    const int files = static_cast<int>(state.range(0));
    const std::string root = makeTree(files);
    const std::string history = root + "/.history";
    const bool renameFolders = state.range(1) != 0;
    const bool recorded = state.range(2) != 0;
    const auto forward = batch(files, true, renameFolders);
    const auto backward = batch(files, false, renameFolders);
    tess::HistoryEntry header;
    header.scanRoot = root;
    bool isForward = true;
    std::size_t failures = 0;
    for (auto _ : state) {
        const auto& instructions = isForward ? forward : backward;
        if (recorded) {
            header.timestamp = std::chrono::system_clock::now();
            auto journal = tess::HistoryJournal::begin(header, history);
            if (!journal.ok())
                throw std::runtime_error(journal.error().message);
            const auto result = tess::SourceFileRenamer::renameFiles(
                instructions, root, tess::kAppErrorDomain, {}, {}, tess::FileSystemOps::posix(), **journal);
            failures += result.failed.size();
            (*journal)->markComplete();
            (*journal)->finish();
        } else {
            const auto result = tess::SourceFileRenamer::renameFiles(instructions, root, tess::kAppErrorDomain);
            failures += result.failed.size();
        }
        isForward = !isForward;
    }
    std::filesystem::remove_all(root);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(forward.size()));
    state.counters["failures"] = static_cast<double>(failures);
}

}  // namespace

BENCHMARK(BM_RecordedBatch)
    ->ArgsProduct({{17000}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(6)
    ->UseRealTime();

BENCHMARK(BM_RenameBatch)->Args({100000, 1})->Args({100000, 0})->Unit(benchmark::kMillisecond)->Iterations(4);

BENCHMARK_MAIN();
