// The export of the scan report of 10^5 and 10^6 indexed issues, JSON and
// CSV, from an index on disk to the chosen file: "streamed" as the window
// exports it (row by row from the index through a block of text to the
// file), and "whole" as exports were once written (the rows fetched whole,
// the document built whole in memory, then written), the same bytes. Each
// measurement runs in a child process of its own that opens the index and
// reads its rows once first (as the window's restore or scan has, which
// fills the index's page cache to its bound of 64 MB), so what is measured
// is what the export adds: the time and "growthMiB", how far the resident
// memory rose above its level when the export started; "peakMiB" is the
// child's whole peak and "fileMiB" the size of the report written.
//
// Like the application, the benchmark starts itself again with the C
// library's heap on transparent huge pages where the system leaves them to
// the program (see core/HugePageHeap.h). The indexes are written once per run
// (by a child, so that the measuring children start from a small heap) under
// a temporary folder, which HOME and the XDG folders also point into, and
// removed at the end. TESSALINE_BENCH_EXPORT_SIZES (comma separated)
// overrides the sizes.

#include "BenchEnvironment.h"
#include "core/HugePageHeap.h"
#include "index/FileIndexDatabase.h"
#include "log/AppLogger.h"
#include "report/ReportService.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace tess {
namespace {

std::string g_home;

struct Measurement {
    double seconds = 0;
    double growthMiB = 0;
    double peakMiB = 0;
    double fileMiB = 0;
    bool ok = false;
};

// Runs `work` in a child, which hands its measurement back through a pipe.
// The parent starts no thread of its own, so forking is safe.
Measurement inChild(const std::function<Measurement()>& work)
{
    int fds[2];
    if (pipe(fds) != 0) {
        return {};
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        Measurement m = work();
        AppLogger::shared().flush();
        rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        m.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
        const ssize_t written = write(fds[1], &m, sizeof m);
        _exit(written == static_cast<ssize_t>(sizeof m) ? 0 : 1);
    }
    close(fds[1]);
    Measurement m;
    const ssize_t got = read(fds[0], &m, sizeof m);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return got == static_cast<ssize_t>(sizeof m) ? m : Measurement {};
}

struct Fixture {
    std::string data;  // holds the index
    std::string root;  // the scan root of its rows (not a real folder)
};

// An index of `count` items, each with an issue: a name with a colon, in
// folders of 1000 items. Written by a child, once per size.
const Fixture& fixtureOf(long count)
{
    static std::map<long, Fixture> fixtures;
    if (const auto found = fixtures.find(count); found != fixtures.end()) {
        return found->second;
    }
    const Fixture fixture {g_home + "/data-" + std::to_string(count), g_home + "/tree-" + std::to_string(count)};
    std::filesystem::create_directories(fixture.data);
    inChild([&] {
        Measurement m;
        auto opened = FileIndexDatabase::open(fixture.data + "/" + FileIndexDatabase::kFileName);
        if (!opened.ok()) {
            return m;
        }
        std::vector<FileTransformationResult> batch;
        for (long i = 0; i < count; ++i) {
            const std::string folder = "Projects/Client " + std::to_string(i / 1000) + "/Quarter " + std::to_string(i % 4 + 1) + "/";
            FileTransformationResult& result = batch.emplace_back();
            result.originalRelativePath = folder + "Invoice: Draft " + std::to_string(i) + ".pdf";
            result.originalFile = FileItem {fixture.root + "/" + result.originalRelativePath, false};
            result.finalRelativePath = folder + "Invoice_ Draft " + std::to_string(i) + ".pdf";
            result.transformations = {FileTransformationIssue::CharacterTransformed {{":"}, "", ""}};
            result.needsRename = true;
            if (batch.size() == 50000 || i + 1 == count) {
                m.ok = opened.value()->upsertFiles(std::move(batch), fixture.root, std::chrono::system_clock::now());
                batch.clear();
            }
        }
        opened.value()->close();
        return m;
    });
    return fixtures.emplace(count, fixture).first->second;
}

double fileMiB(const std::string& path)
{
    struct stat info { };
    return stat(path.c_str(), &info) == 0 ? static_cast<double>(info.st_size) / (1024.0 * 1024.0) : 0.0;
}

using Format = AppSettings::ReportFormat;

enum class Mode { streamed,
    whole };

// The export from an open index to the file.
Status exportReport(FileIndexDatabase& database, const std::string& root, Format format, const std::string& path, Mode mode)
{
    if (mode == Mode::streamed) {
        return ReportService::writeScanReportFile(path, format, root,
            [&](const ReportService::FileVisitor& visit) { return database.forEachFileWithIssues(root, visit); });
    }
    const std::vector<IndexedFile> files = database.fetchFilesWithIssues(root, std::numeric_limits<std::int64_t>::max(), 0);
    return ReportService::writeReportFile(path,
        format == Format::csv ? ReportService::generateCSVReport(files) : ReportService::generateJSONReport(files, root));
}

Measurement measureExport(const Fixture& fixture, Format format, Mode mode)
{
    return inChild([&] {
        Measurement m;
        auto opened = FileIndexDatabase::open(fixture.data + "/" + FileIndexDatabase::kFileName);
        if (!opened.ok()) {
            return m;
        }
        const std::string path = fixture.data + "/report." + std::string(ReportService::fileExtension(format));
        opened.value()->forEachFileWithIssues(fixture.root, [](const IndexedFile&) {});
        bench::resetPeakMemory();
        const double resident = bench::statusMiB("VmRSS:");
        const auto start = std::chrono::steady_clock::now();
        const Status written = exportReport(*opened.value(), fixture.root, format, path, mode);
        m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        m.growthMiB = bench::statusMiB("VmHWM:") - resident;
        m.fileMiB = fileMiB(path);
        m.ok = written.ok();
        opened.value()->close();
        std::filesystem::remove(path);
        return m;
    });
}

void benchExport(benchmark::State& state, long count, Format format, Mode mode)
{
    const Fixture& fixture = fixtureOf(count);
    Measurement last;
    double growth = 0;
    for (auto _ : state) {
        last = measureExport(fixture, format, mode);
        if (!last.ok) {
            state.SkipWithError("the export failed");
            return;
        }
        state.SetIterationTime(last.seconds);
        growth = std::max(growth, last.growthMiB);
    }
    state.counters["growthMiB"] = growth;
    state.counters["peakMiB"] = last.peakMiB;
    state.counters["fileMiB"] = last.fileMiB;
    state.SetItemsProcessed(state.iterations() * count);
}

}  // namespace
}  // namespace tess

int main(int argc, char** argv)
{
    tess::startWithHugePageHeap(argv);  // as the application starts
    tess::g_home = tess::bench::isolateHome("export");  // before anything can log
    if (tess::g_home.empty()) {
        std::perror("mkdtemp");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    for (long count : tess::bench::sizesFromEnvironment("TESSALINE_BENCH_EXPORT_SIZES")) {
        for (const auto& [name, format] : {std::pair {"json", tess::Format::json}, std::pair {"csv", tess::Format::csv}}) {
            for (const auto& [modeName, mode] : {std::pair {"streamed", tess::Mode::streamed}, std::pair {"whole", tess::Mode::whole}}) {
                benchmark::RegisterBenchmark(("export/" + std::string(name) + "/" + modeName + "/" + std::to_string(count)).c_str(),
                    tess::benchExport, count, format, mode)
                    ->UseManualTime()
                    ->Iterations(3)
                    ->Unit(benchmark::kMillisecond);
            }
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(tess::g_home, ignored);
    return 0;
}
