// Cost of the issue list view at 10^5 and 10^6 rows over the real view
// model restored from an index: setting the list (from the new list's
// arrival to the first screen painted: the filter pass, the model reset, the
// layout and one paint) and painting one screen of rows, inline and side by
// side. Reports milliseconds per iteration; viewMs is the view's own part
// of setting the list (after the view model's filter pass has landed). Runs offscreen; HOME and the XDG
// folders point into a temporary folder.

#include "IndexFixture.h"
#include "WidgetBench.h"
#include "index/FileIndexDatabase.h"
#include "model/MonitorViewModel.h"
#include "model/SettingsManager.h"
#include "settings/DefaultsStore.h"
#include "ui/issuelist/FileListView.h"
#include "ui/issuelist/IssueListModel.h"
#include "ui/widgets/Workspace.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QListView>
#include <QThreadPool>

#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

namespace tess {
namespace {

using bench::NoWorkspace;
using bench::waitFor;
using Clock = std::chrono::steady_clock;

using Fixture = bench::IndexFixture;

// A view model restoring the fixture and a 900 × 700 list view over it.
struct Session {
    explicit Session(const Fixture& fixture)
    {
        settings = std::make_unique<SettingsManager>(std::make_shared<DefaultsStore>(fixture.config + "/defaults.plist"));
        settings->updateSettings([&](AppSettings& s) { s.preferences.lastSourcePath = fixture.tree; });
        MonitorViewModel::Dependencies dependencies;
        dependencies.settingsManager = settings.get();
        dependencies.dataFolder = fixture.data;
        model = std::make_unique<MonitorViewModel>(std::move(dependencies));
        view = std::make_unique<FileListView>(*model, workspace);
        view->resize(900, 700);
        view->show();
        QObject::connect(model.get(), &MonitorViewModel::issueFilesChanged, view.get(), [this] { listArrived = Clock::now(); });
        QObject::connect(model.get(), &MonitorViewModel::filteredIssuesChanged, view.get(), [this] { filterLanded = Clock::now(); });
    }

    ~Session()
    {
        view.reset();
        model.reset();
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
    }

    NoWorkspace workspace;
    std::unique_ptr<SettingsManager> settings;
    std::unique_ptr<MonitorViewModel> model;
    std::unique_ptr<FileListView> view;
    Clock::time_point listArrived;
    Clock::time_point filterLanded;
};

void BM_SetListAndPaintFirstScreen(benchmark::State& state)
{
    const Fixture& fixture = bench::reportDraftsFixture(state.range(0));
    const int rows = static_cast<int>(state.range(0));
    double viewSeconds = 0;
    for (auto _ : state) {
        Session session(fixture);
        waitFor([&] { return session.view->listModel().rowCount() == rows; });
        session.view->grab();
        const auto painted = Clock::now();
        state.SetIterationTime(std::chrono::duration<double>(painted - session.listArrived).count());
        viewSeconds += std::chrono::duration<double>(painted - session.filterLanded).count();
    }
    // The view's own part: from the filter pass's landing to the painted screen.
    state.counters["viewMs"] = benchmark::Counter(viewSeconds * 1000.0 / static_cast<double>(state.iterations()));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void paintOneScreen(benchmark::State& state, bool sideBySide)
{
    const Fixture& fixture = bench::reportDraftsFixture(state.range(0));
    Session session(fixture);
    const int rows = static_cast<int>(state.range(0));
    waitFor([&] { return session.view->listModel().rowCount() == rows; });
    if (sideBySide) {
        session.view->toggleSideBySide();
    }
    QListView& list = session.view->listView();
    list.scrollTo(list.model()->index(rows / 2, 0), QAbstractItemView::PositionAtTop);
    int visible = 0;
    for (auto _ : state) {
        const QPixmap screen = list.viewport()->grab();
        benchmark::DoNotOptimize(screen.cacheKey());
        const QModelIndex bottom = list.indexAt(QPoint(4, list.viewport()->height() - 1));
        visible = bottom.row() - list.indexAt(QPoint(4, 1)).row() + 1;
    }
    state.counters["rowsPerScreen"] = visible;
}

void BM_PaintOneScreenInline(benchmark::State& state)
{
    paintOneScreen(state, false);
}

void BM_PaintOneScreenSideBySide(benchmark::State& state)
{
    paintOneScreen(state, true);
}

BENCHMARK(BM_SetListAndPaintFirstScreen)->Arg(100000)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PaintOneScreenInline)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintOneScreenSideBySide)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tess

int main(int argc, char** argv)
{
    return tess::bench::runWidgetBenchmarks(argc, argv);
}
