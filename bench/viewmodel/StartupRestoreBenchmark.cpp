// Time from the main window's model being made to a listed window (the
// restored issue list filtered and published) at 10^5 and 10^6 indexed
// items, half of them with issues: restoring once, as the window does, and
// restoring twice (the model's own restore, then a second request), as it
// once did. Reports milliseconds per iteration and peakGrowthMB, how far
// the resident memory rose above its level at the iteration's start. HOME and the XDG folders are not
// touched: the index and the defaults live in temporary folders.

#include "BenchEnvironment.h"
#include "IndexFixture.h"
#include "index/FileIndexDatabase.h"
#include "model/MonitorViewModel.h"
#include "model/SettingsManager.h"
#include "settings/DefaultsStore.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QThreadPool>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>

namespace tess {
namespace {

using Clock = std::chrono::steady_clock;

using Fixture = bench::IndexFixture;

// An index of `count` items of which every second one has issues, written
// once per size.
const Fixture& fixtureOf(std::int64_t count)
{
    static bench::IndexFixtures fixtures([](std::int64_t i, const std::string& tree, FileTransformationResult& result) {
        const std::string folder = "Projects/Client " + std::to_string(i / 1000) + "/";
        const bool bad = i % 2 == 0;
        result.originalRelativePath = folder + (bad ? "Report: Draft " : "Report Draft ") + std::to_string(i) + ".txt";
        result.originalFile = FileItem {tree + "/" + result.originalRelativePath, false};
        result.finalRelativePath = bad ? folder + "Report_ Draft " + std::to_string(i) + ".txt" : result.originalRelativePath;
        if (bad) {
            result.transformations = {FileTransformationIssue::CharacterTransformed {{":"}, "", ""}};
            result.needsRename = true;
        }
    });
    return fixtures.of(count);
}

// state.range(1): 1 restores once, 2 asks for a second restore right after
// the model was made.
void BM_TimeToListedWindow(benchmark::State& state)
{
    const Fixture& fixture = fixtureOf(state.range(0));
    const bool twice = state.range(1) == 2;
    SettingsManager settings(std::make_shared<DefaultsStore>(fixture.config + "/defaults.plist"));
    settings.updateSettings([&](AppSettings& s) { s.preferences.lastSourcePath = fixture.tree; });
    double peak = 0;
    for (auto _ : state) {
        bench::resetPeakMemory();
        const double resident = bench::statusMiB("VmRSS:");
        const auto start = Clock::now();
        MonitorViewModel::Dependencies dependencies;
        dependencies.settingsManager = &settings;
        dependencies.dataFolder = fixture.data;
        auto model = std::make_unique<MonitorViewModel>(std::move(dependencies));
        if (twice) {
            model->restoreSavedSourceFolder();
        }
        while (model->isRestoringSession() || model->filteredIssueCount() != static_cast<std::size_t>(fixture.issues)) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        model.reset();
        QThreadPool::globalInstance()->waitForDone();
        FileIndexDatabase::waitForAllDatabases();
        QCoreApplication::processEvents();
        peak = std::max(peak, bench::statusMiB("VmHWM:") - resident);
    }
    state.counters["peakGrowthMB"] = peak;
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_TimeToListedWindow)
    ->ArgNames({"items", "restores"})
    ->Args({100000, 2})
    ->Args({100000, 1})
    ->Args({1000000, 2})
    ->Args({1000000, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

}  // namespace
}  // namespace tess

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
