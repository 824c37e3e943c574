// Throughput of the file index: writing analysis results, comparing an
// enumerated tree in batches of 500 or in one pass over the path-key index,
// touching every row seen by that pass, reading every row (or every row's
// item) back, and the full integrity check that runs while the index is idle
// (its whole run, and how soon it stops when a scan begins), at 10^5 and 10^6
// rows. Reports rows per second, the database size on disk and the process's
// peak resident memory.

#include "BenchEnvironment.h"
#include "index/FileIndexDatabase.h"
#include "index/IdleIntegrityCheck.h"
#include "index/IndexFileCheck.h"
#include "log/AppLogger.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tess {
namespace {

const std::string kRoot = "/home/user/Documents/Projects/archive";

// A tree of `count` items, 100 per folder; one in ten has issues.
std::vector<FileTransformationResult> makeResults(std::int64_t count)
{
    std::vector<FileTransformationResult> results;
    results.reserve(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i) {
        FileTransformationResult result;
        result.originalRelativePath = "folder " + std::to_string(i / 100) + "/Report: draft " + std::to_string(i) + ".txt";
        result.originalFile = FileItem {kRoot + "/" + result.originalRelativePath, false};
        if (i % 10 == 0) {
            result.finalRelativePath = "folder " + std::to_string(i / 100) + "/Report_ draft " + std::to_string(i) + ".txt";
            result.transformations = {FileTransformationIssue::CharacterTransformed {{":"}, result.originalRelativePath, result.finalRelativePath},
                FileTransformationIssue::PathTooLong {300, 255}};
            result.needsRename = true;
        } else {
            result.finalRelativePath = result.originalRelativePath;
        }
        results.push_back(std::move(result));
    }
    return results;
}

class ScratchDatabase {
public:
    ScratchDatabase()
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tessaline-bench-XXXXXX";
        m_dir = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
        auto opened = FileIndexDatabase::open(m_dir + "/" + FileIndexDatabase::kFileName);
        if (opened.ok()) {
            m_db = opened.value();
        }
    }
    ~ScratchDatabase()
    {
        m_db.reset();
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    ScratchDatabase(const ScratchDatabase&) = delete;
    ScratchDatabase& operator=(const ScratchDatabase&) = delete;

    FileIndexDatabase* operator->() const { return m_db.get(); }
    bool ok() const { return m_db != nullptr; }
    // The database file with its -wal and -shm files.
    double sizeOnDisk() const
    {
        const auto info = FileIndexDatabase::databaseInfo(path());
        return info ? static_cast<double>(info->totalSize) : 0.0;
    }
    // The write-ahead log alone (it holds a whole bulk write until the
    // next checkpoint).
    double walSize() const
    {
        std::error_code error;
        const auto size = std::filesystem::file_size(path() + "-wal", error);
        return error ? 0.0 : static_cast<double>(size);
    }
    std::string path() const { return m_dir + "/" + FileIndexDatabase::kFileName; }

private:
    std::string m_dir;
    std::shared_ptr<FileIndexDatabase> m_db;
};

// Call after the timed loop.
void reportCounters(benchmark::State& state, double databaseBytes, double walBytes, std::int64_t rows)
{
    state.SetItemsProcessed(state.iterations() * rows);
    state.counters["db_MiB"] = databaseBytes / (1024.0 * 1024.0);
    state.counters["of_which_wal_MiB"] = walBytes / (1024.0 * 1024.0);
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_Upsert(benchmark::State& state)
{
    const std::int64_t rows = state.range(0);
    const auto results = makeResults(rows);
    double databaseBytes = 0;
    double walBytes = 0;
    double checkpointedBytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto database = std::make_unique<ScratchDatabase>();
        if (!database->ok()) {
            state.SkipWithError("cannot open the database");
            return;
        }
        state.ResumeTiming();
        (*database)->upsertFiles(results, kRoot, std::chrono::system_clock::now());
        state.PauseTiming();
        databaseBytes = database->sizeOnDisk();
        walBytes = database->walSize();
        (*database)->execute("PRAGMA wal_checkpoint(TRUNCATE)");
        checkpointedBytes = database->sizeOnDisk();
        database.reset();
        state.ResumeTiming();
    }
    reportCounters(state, databaseBytes, walBytes, rows);
    state.counters["after_checkpoint_MiB"] = checkpointedBytes / (1024.0 * 1024.0);
}

void BM_CompareBatches(benchmark::State& state)
{
    const std::int64_t rows = state.range(0);
    ScratchDatabase database;
    if (!database.ok()) {
        state.SkipWithError("cannot open the database");
        return;
    }
    std::vector<FileItem> items;
    {
        const auto results = makeResults(rows);
        database->upsertFiles(results, kRoot, std::chrono::system_clock::now());
        for (const auto& result : results) {
            items.push_back(result.originalFile);
        }
    }
    for (auto _ : state) {
        std::int64_t unchanged = 0;
        for (std::size_t begin = 0; begin < items.size(); begin += 500) {
            const std::vector<FileItem> batch(items.begin() + static_cast<std::ptrdiff_t>(begin),
                items.begin() + static_cast<std::ptrdiff_t>(std::min(items.size(), begin + 500)));
            unchanged += database->compareBatch(batch).unchangedCount;
        }
        if (unchanged != rows) {
            state.SkipWithError("comparison lost rows");
            return;
        }
    }
    reportCounters(state, database.sizeOnDisk(), database.walSize(), rows);
}

void BM_FetchAll(benchmark::State& state)
{
    const std::int64_t rows = state.range(0);
    ScratchDatabase database;
    if (!database.ok()) {
        state.SkipWithError("cannot open the database");
        return;
    }
    database->upsertFiles(makeResults(rows), kRoot, std::chrono::system_clock::now());
    for (auto _ : state) {
        const auto files = database->fetchFiles(kRoot, std::numeric_limits<std::int64_t>::max(), 0);
        if (static_cast<std::int64_t>(files.size()) != rows) {
            state.SkipWithError("fetch lost rows");
            return;
        }
        benchmark::DoNotOptimize(files.data());
    }
    reportCounters(state, database.sizeOnDisk(), database.walSize(), rows);
}

// The comparison of a scan: one pass over the path-key index for the whole
// tree, then the touch of every row it saw (in runs of row ids).
void BM_MatchAndTouch(benchmark::State& state)
{
    const std::int64_t rows = state.range(0);
    ScratchDatabase database;
    if (!database.ok()) {
        state.SkipWithError("cannot open the database");
        return;
    }
    std::vector<FileItem> items;
    {
        const auto results = makeResults(rows);
        database->upsertFiles(results, kRoot, std::chrono::system_clock::now());
        for (const auto& result : results) {
            items.push_back(result.originalFile);
        }
    }
    double matchSeconds = 0;
    double touchSeconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        auto match = database->matchIndexedPaths(items, {});
        const auto matched = std::chrono::steady_clock::now();
        if (!match.valid || static_cast<std::int64_t>(match.seenRowIds.size()) != rows) {
            state.SkipWithError("comparison lost rows");
            return;
        }
        if (!database->touchMatchedRows(match, std::chrono::system_clock::now())) {
            state.SkipWithError("touch refused");
            return;
        }
        matchSeconds = std::chrono::duration<double>(matched - start).count();
        touchSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - matched).count();
    }
    reportCounters(state, database.sizeOnDisk(), database.walSize(), rows);
    state.counters["match_s"] = matchSeconds;
    state.counters["touch_s"] = touchSeconds;
}

// What a re-analysis reads: the item of every row in relative-path order.
void BM_FetchItems(benchmark::State& state)
{
    const std::int64_t rows = state.range(0);
    ScratchDatabase database;
    if (!database.ok()) {
        state.SkipWithError("cannot open the database");
        return;
    }
    database->upsertFiles(makeResults(rows), kRoot, std::chrono::system_clock::now());
    for (auto _ : state) {
        const auto items = database->fetchItems(kRoot);
        if (static_cast<std::int64_t>(items.size()) != rows) {
            state.SkipWithError("fetch lost rows");
            return;
        }
        benchmark::DoNotOptimize(items.data());
    }
    reportCounters(state, database.sizeOnDisk(), database.walSize(), rows);
}

// A closed index of `rows` rows with a completed scan, as a restart finds it.
bool writeClosedIndex(ScratchDatabase& database, std::int64_t rows)
{
    if (!database.ok()) {
        return false;
    }
    database->upsertFiles(makeResults(rows), kRoot, std::chrono::system_clock::now());
    database->finishScanRecord(database->startScanRecord(kRoot, "Manual"), rows, rows, 0, 0, rows / 10, "completed");
    database->close();
    return true;
}

// What restoring the last results at start-up does with the index: open it
// (with its integrity check, bounded by the time limit in milliseconds given
// as the second argument; 1 stops it almost at once), count the rows and the
// rows with issues, find the last completed scan and read every row with
// issues.
void BM_OpenAndRestore(benchmark::State& state)
{
    const std::int64_t rows = state.range(0);
    const FileIndexDatabase::OpenOptions options {std::chrono::milliseconds(state.range(1))};
    ScratchDatabase database;
    if (!writeClosedIndex(database, rows)) {
        state.SkipWithError("cannot open the database");
        return;
    }
    double openSeconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        auto opened = FileIndexDatabase::open(database.path(), options);
        if (!opened.ok() || opened.value()->recoveryNotice()) {
            state.SkipWithError("the index did not open as it was");
            return;
        }
        openSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const auto& restored = opened.value();
        benchmark::DoNotOptimize(restored->totalCount(kRoot) + restored->issueCount(kRoot));
        benchmark::DoNotOptimize(restored->lastCompletedScan(kRoot));
        const auto files = restored->fetchFilesWithIssues(kRoot, std::numeric_limits<std::int64_t>::max(), 0);
        if (static_cast<std::int64_t>(files.size()) != rows / 10) {
            state.SkipWithError("restore lost rows");
            return;
        }
        restored->close();
    }
    reportCounters(state, database.sizeOnDisk(), database.walSize(), rows);
    state.counters["open_s"] = openSeconds;
}

// The full check as it runs while the index is idle, on a connection of its
// own: from its start (no quiet time) to its verdict.
void BM_FullCheck(benchmark::State& state)
{
    const std::int64_t rows = state.range(0);
    ScratchDatabase database;
    if (!writeClosedIndex(database, rows)) {
        state.SkipWithError("cannot open the database");
        return;
    }
    for (auto _ : state) {
        std::atomic<bool> reported {false};
        IdleIntegrityCheck check(database.path(), std::chrono::milliseconds(0),
            [&reported](const IndexFileCheck::Integrity&) { reported = true; });
        while (!check.isFinished()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (reported) {
            state.SkipWithError("the sound index was found damaged");
            return;
        }
    }
    reportCounters(state, database.sizeOnDisk(), database.walSize(), rows);
}

// How soon a running full check stops once asked (what a scan that starts
// waits for at most): asked 50 ms after it began.
void BM_FullCheckStop(benchmark::State& state)
{
    const std::int64_t rows = state.range(0);
    ScratchDatabase database;
    if (!writeClosedIndex(database, rows)) {
        state.SkipWithError("cannot open the database");
        return;
    }
    double stopMilliseconds = 0;
    for (auto _ : state) {
        sqlite3* reader = nullptr;
        if (sqlite3_open_v2(database.path().c_str(), &reader, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            sqlite3_close_v2(reader);
            state.SkipWithError("cannot open a reader");
            return;
        }
        std::atomic<bool> stop {false};
        std::chrono::steady_clock::time_point asked;
        std::thread asker([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            asked = std::chrono::steady_clock::now();
            stop = true;
        });
        const auto integrity = IndexFileCheck::fullCheck(reader, [&stop] { return stop.load(); });
        const auto ended = std::chrono::steady_clock::now();
        asker.join();
        sqlite3_close_v2(reader);
        if (integrity.verdict != IndexFileCheck::Integrity::Verdict::unfinished) {
            state.SkipWithError("the check ended before it was asked to stop");
            return;
        }
        stopMilliseconds = std::chrono::duration<double, std::milli>(ended - asked).count();
    }
    reportCounters(state, database.sizeOnDisk(), database.walSize(), rows);
    state.counters["stop_ms"] = stopMilliseconds;
}

BENCHMARK(BM_Upsert)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CompareBatches)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FetchAll)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MatchAndTouch)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FetchItems)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FullCheck)->Arg(100000)->Arg(1000000)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FullCheckStop)->Arg(100000)->Arg(1000000)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenAndRestore)
    ->Args({100000, 1})
    ->Args({100000, FileIndexDatabase::kQuickCheckLimit.count()})
    ->Args({1000000, 1})
    ->Args({1000000, FileIndexDatabase::kQuickCheckLimit.count()})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Points HOME and the XDG base folders at a fresh temporary folder for the
// whole run, so the log and anything else written under the home stay out of
// the real one; the folder is removed at the end.
class ScratchHome {
public:
    ScratchHome()
        : m_dir(bench::isolateHome())
    {
        if (m_dir.empty()) {
            std::perror("mkdtemp");
        }
    }
    ~ScratchHome()
    {
        if (m_dir.empty()) {
            return;
        }
        AppLogger::shared().flush();
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    ScratchHome(const ScratchHome&) = delete;
    ScratchHome& operator=(const ScratchHome&) = delete;

    bool ok() const { return !m_dir.empty(); }

private:
    std::string m_dir;
};

}  // namespace
}  // namespace tess

int main(int argc, char** argv)
{
    // Before anything logs: the shared logger takes its folder from these.
    const tess::ScratchHome home;
    if (!home.ok()) {
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
