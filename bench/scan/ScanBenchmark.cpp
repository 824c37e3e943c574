// A first scan, a rescan, a re-analysis and a rescan followed by its
// re-analysis ("scan now") of generated trees of 10^5 and
// 10^6 files, timed beside `find` listing the same tree, with the default
// width of the walk (2 workers) and one worker per processor. A scan's time
// runs until its results are published ("persisted" until its background
// writes are done, "idle" until the database has nothing left to do: the
// VACUUM and checkpoint after the writes included). Each measurement runs in
// a child process of its own, so its peak resident memory (ru_maxrss) is its
// own. Every figure is the median of the repeats (3 by default,
// TESSALINE_BENCH_SCAN_REPEATS overrides), taken field by field; `find` and,
// where installed, `detox -r -n` on the same tree give the ratios.
//
// Like the application, the benchmark starts itself again with the C
// library's heap on transparent huge pages where the system leaves them to
// the program (see core/HugePageHeap.h); GLIBC_TUNABLES=glibc.malloc.hugetlb=0
// measures without.
//
// Trees are generated once under /tmp/tessaline-bench-scan (or
// TESSALINE_BENCH_SCAN_ROOT) and reused. The
// sizes default to 100000 and 1000000; TESSALINE_BENCH_SCAN_SIZES (comma
// separated) overrides them. HOME and the XDG folders point into a temporary
// folder before anything logs, so the benchmark never writes the real home;
// it is removed at the end unless TESSALINE_BENCH_KEEP_LOG is set.

#include "BenchEnvironment.h"
#include "core/HugePageHeap.h"
#include "index/FileIndexDatabase.h"
#include "log/AppLogger.h"
#include "rules/TessalinePreset.h"
#include "scan/ScanEngine.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace tess {
namespace {

// TESSALINE_BENCH_SCAN_ROOT overrides the folder of the trees and databases.
const std::string kBenchRoot = std::getenv("TESSALINE_BENCH_SCAN_ROOT") != nullptr ? std::getenv("TESSALINE_BENCH_SCAN_ROOT")
                                                                                   : "/tmp/tessaline-bench-scan";
constexpr int kFilesPerFolder = 50;
constexpr int kFoldersPerGroup = 100;

std::string treePath(long files)
{
    return kBenchRoot + "/tree-" + std::to_string(files);
}

std::string databasePath(long files, long workers)
{
    return kBenchRoot + "/db-" + std::to_string(files) + "-w" + std::to_string(workers) + "/tessaline.db";
}

// `files` files, 50 per folder, 100 folders per group folder; one name in 20
// holds a character that FAT refuses. The hidden marker file says the tree
// is complete (hidden items are not scanned).
void ensureTree(long files)
{
    const std::string root = treePath(files);
    if (std::filesystem::exists(root + "/.complete")) {
        return;
    }
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    std::fprintf(stderr, "generating %ld files under %s ...\n", files, root.c_str());
    char name[128];
    for (long i = 0; i < files; ++i) {
        const long folder = i / kFilesPerFolder;
        const long group = folder / kFoldersPerGroup;
        std::snprintf(name, sizeof name, "%s/group %04ld/folder %06ld", root.c_str(), group, folder);
        if (i % kFilesPerFolder == 0) {
            std::filesystem::create_directories(name);
        }
        std::string path = name;
        std::snprintf(name, sizeof name, i % 20 == 0 ? "/Report: draft %07ld.txt" : "/Document %07ld.txt", i);
        path += name;
        const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd >= 0) {
            close(fd);
        }
    }
    const int marker = open((root + "/.complete").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    if (marker >= 0) {
        close(marker);
    }
}

struct Measurement {
    double seconds = 0;  // the measured span
    double persistedSeconds = 0;  // until the background writes are done
    double idleSeconds = 0;  // until the database is idle (VACUUM and checkpoint done)
    long items = 0;
    long peakKiB = 0;  // ru_maxrss of the child
};

// Runs `work` in a child; the child writes its measurement through a pipe.
// The parent never logs before its children are done: a child inherits no
// logger thread.
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
        AppLogger::shared().flush();  // _exit would drop queued log lines
        rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        m.peakKiB = usage.ru_maxrss;
        const ssize_t written = write(fds[1], &m, sizeof m);
        _exit(written == static_cast<ssize_t>(sizeof m) ? 0 : 1);
    }
    close(fds[1]);
    Measurement m;
    const ssize_t got = read(fds[0], &m, sizeof m);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (got != static_cast<ssize_t>(sizeof m)) {
        return {};
    }
    return m;
}

double since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs a program on the tree with its output thrown away.
Measurement runProgram(const std::vector<std::string>& arguments)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<char*> argv;
        for (const auto& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage {};
    wait4(pid, &status, 0, &usage);
    Measurement m;
    m.seconds = since(start);
    m.peakKiB = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 127) {
        m.seconds = 0;  // not installed
    }
    return m;
}

Measurement runFind(long files)
{
    return runProgram({"find", treePath(files)});
}

// `detox -r -n` (a dry run: it reports what it would rename and writes
// nothing), where installed.
Measurement runDetox(long files)
{
    return runProgram({"detox", "-r", "-n", treePath(files)});
}

// The median of each field on its own.
Measurement median(std::vector<Measurement> all)
{
    if (all.empty()) {
        return {};
    }
    const auto pick = [&](auto field) {
        std::vector<std::remove_cvref_t<decltype(all.front().*field)>> values;
        for (const auto& m : all) {
            values.push_back(m.*field);
        }
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    Measurement m;
    m.seconds = pick(&Measurement::seconds);
    m.persistedSeconds = pick(&Measurement::persistedSeconds);
    m.idleSeconds = pick(&Measurement::idleSeconds);
    m.items = pick(&Measurement::items);
    m.peakKiB = pick(&Measurement::peakKiB);
    return m;
}

enum class Kind { firstScan,
    rescan,
    reanalysis,
    scanNow };

// One scan (or re-analysis) of the tree against its own index database, as
// the coordinator's queue runs it; the time is taken until the published
// results, and separately until the background writes are done.
Measurement scanOnce(long files, long workers, Kind kind)
{
    return inChild([=] {
        Measurement m;
        const std::string dbPath = databasePath(files, workers);
        if (kind == Kind::firstScan) {
            FileIndexDatabase::resetDatabase(dbPath);
        }
        auto opened = FileIndexDatabase::open(dbPath);
        if (!opened.ok()) {
            return m;
        }
        auto database = opened.value();
        const auto& settings = TessalinePreset::crossPlatformFileServer().settings;
        ScanEngine engine(database, settings, {"*.tmp"}, workers, {});
        const std::string root = treePath(files);
        engine.runJobUnconditionally([&] { engine.configure(root, DestinationConfig::presetFilesystem(FilesystemPreset::fat, false)); });
        const auto start = std::chrono::steady_clock::now();
        if (kind == Kind::reanalysis) {
            engine.runJobUnconditionally([&] { engine.requestReanalysis(); });
        } else if (kind == Kind::scanNow) {
            // What "Scan" does on an indexed tree: a rescan, then the
            // re-analysis of every indexed item.
            engine.runJobUnconditionally([&] { engine.scanNow(); });
        } else {
            ScanEngine::Counts counts;
            engine.runJobUnconditionally([&] { counts = engine.requestScan(ScanTrigger::manual); });
            m.items = counts.total;
        }
        m.seconds = since(start);
        database->waitForPendingWrites();
        m.persistedSeconds = since(start);
        database->sync([] {});  // after the VACUUM and checkpoint the writes queued
        m.idleSeconds = since(start);
        if (kind == Kind::reanalysis || kind == Kind::scanNow) {
            m.items = static_cast<long>(database->totalCount(root));
        }
        database->close();
        return m;
    });
}

std::map<long, double> g_findSeconds;
std::map<long, double> g_detoxSeconds;
struct Row {
    std::string name;
    Measurement m;
};
std::vector<Row> g_rows;

void benchFind(benchmark::State& state, long files)
{
    ensureTree(files);
    runFind(files);  // warm the caches
    std::vector<Measurement> all;
    for (auto _ : state) {
        all.push_back(runFind(files));
        state.SetIterationTime(all.back().seconds);
    }
    const Measurement m = median(all);
    g_findSeconds[files] = m.seconds;
    state.counters["peak_MiB"] = static_cast<double>(m.peakKiB) / 1024.0;
    g_rows.push_back({"find " + std::to_string(files), m});
}

void benchDetox(benchmark::State& state, long files)
{
    ensureTree(files);
    std::vector<Measurement> all;
    for (auto _ : state) {
        all.push_back(runDetox(files));
        state.SetIterationTime(all.back().seconds);
    }
    const Measurement m = median(all);
    if (m.seconds <= 0) {
        state.SkipWithError("detox is not installed");
        return;
    }
    g_detoxSeconds[files] = m.seconds;
    g_rows.push_back({"detox -r -n " + std::to_string(files), m});
}

void benchScan(benchmark::State& state, long files, long workers, Kind kind)
{
    ensureTree(files);
    if (kind != Kind::firstScan && !std::filesystem::exists(databasePath(files, workers))) {
        scanOnce(files, workers, Kind::firstScan);
    }
    std::vector<Measurement> all;
    for (auto _ : state) {
        all.push_back(scanOnce(files, workers, kind));
        state.SetIterationTime(all.back().seconds);
    }
    const Measurement m = median(all);
    state.counters["items_per_s"] = m.seconds > 0 ? static_cast<double>(m.items) / m.seconds : 0;
    state.counters["peak_MiB"] = static_cast<double>(m.peakKiB) / 1024.0;
    if (g_findSeconds.contains(files)) {
        state.counters["x_find"] = m.seconds / g_findSeconds[files];
        state.counters["idle_x_find"] = m.idleSeconds / g_findSeconds[files];
    }
    state.counters["persisted_s"] = m.persistedSeconds;
    state.counters["idle_s"] = m.idleSeconds;
    const char* name = kind == Kind::firstScan ? "first scan "
        : kind == Kind::rescan                 ? "rescan "
        : kind == Kind::scanNow                ? "scan now "
                                               : "reanalysis ";
    g_rows.push_back({name + std::to_string(files) + " w" + std::to_string(workers), m});
}

std::string g_home;

}  // namespace
}  // namespace tess

int main(int argc, char** argv)
{
    tess::startWithHugePageHeap(argv);  // as the application starts
    tess::g_home = tess::bench::isolateHome("scan");  // before anything can log
    if (tess::g_home.empty()) {
        std::perror("mkdtemp");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    const long processors = static_cast<long>(sysconf(_SC_NPROCESSORS_ONLN));
    const char* repeatText = std::getenv("TESSALINE_BENCH_SCAN_REPEATS");
    const int repeats = repeatText != nullptr && std::atoi(repeatText) > 0 ? std::atoi(repeatText) : 3;
    for (long files : tess::bench::sizesFromEnvironment("TESSALINE_BENCH_SCAN_SIZES")) {
        benchmark::RegisterBenchmark(("find/" + std::to_string(files)).c_str(), tess::benchFind, files)
            ->UseManualTime()
            ->Iterations(repeats)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("detox/" + std::to_string(files)).c_str(), tess::benchDetox, files)
            ->UseManualTime()
            ->Iterations(repeats)
            ->Unit(benchmark::kMillisecond);
        for (long workers : {2L, processors}) {
            for (const auto& [name, kind] : {std::pair {"first_scan", tess::Kind::firstScan}, std::pair {"rescan", tess::Kind::rescan}}) {
                benchmark::RegisterBenchmark((std::string(name) + "/" + std::to_string(files) + "/workers:" + std::to_string(workers)).c_str(),
                    tess::benchScan, files, workers, kind)
                    ->UseManualTime()
                    ->Iterations(repeats)
                    ->Unit(benchmark::kMillisecond);
            }
        }
        benchmark::RegisterBenchmark(("reanalysis/" + std::to_string(files)).c_str(), tess::benchScan, files, 2L, tess::Kind::reanalysis)
            ->UseManualTime()
            ->Iterations(repeats)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("scan_now/" + std::to_string(files)).c_str(), tess::benchScan, files, 2L, tess::Kind::scanNow)
            ->UseManualTime()
            ->Iterations(repeats)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\n%-28s %9s %9s %8s %11s %8s %10s %10s %9s %9s\n", "case (medians)", "items", "seconds", "x find", "persisted s",
        "idle s", "idle/find", "idle/detox", "peak MiB", "B/item");
    for (const auto& row : tess::g_rows) {
        long files = 0;
        std::sscanf(row.name.c_str() + row.name.find_first_of("0123456789"), "%ld", &files);
        const double find = tess::g_findSeconds.contains(files) ? tess::g_findSeconds[files] : 0;
        const double detox = tess::g_detoxSeconds.contains(files) ? tess::g_detoxSeconds[files] : 0;
        std::printf("%-28s %9ld %9.3f %8.2f %11.3f %8.3f %10.2f %10.2f %9.1f %9.0f\n", row.name.c_str(), row.m.items, row.m.seconds,
            find > 0 ? row.m.seconds / find : 0.0, row.m.persistedSeconds, row.m.idleSeconds, find > 0 ? row.m.idleSeconds / find : 0.0,
            detox > 0 ? row.m.idleSeconds / detox : 0.0, static_cast<double>(row.m.peakKiB) / 1024.0,
            row.m.items > 0 ? static_cast<double>(row.m.peakKiB) * 1024.0 / static_cast<double>(row.m.items) : 0.0);
    }
    // The temporary home holds the application log with the scans' timing
    // lines; TESSALINE_BENCH_KEEP_LOG keeps it for reading.
    if (std::getenv("TESSALINE_BENCH_KEEP_LOG") != nullptr) {
        std::printf("\nlog: %s/.local/state/quenby/Tessaline-app.log\n", tess::g_home.c_str());
    } else {
        tess::AppLogger::shared().flush();
        std::error_code ignored;
        std::filesystem::remove_all(tess::g_home, ignored);
    }
    return 0;
}
