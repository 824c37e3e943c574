// Typing in the issue list's search field of the main window as the
// application composes it, restored from an index of 10^5 and 10^6 items
// with issues. One iteration is one keystroke (a character typed, or the
// last one taken back), from the key press to the window painted with the
// rows of the new text; the 150 ms pause the search waits for after the
// last keystroke is left out. Counters, in milliseconds per keystroke:
// keyMs, the key press itself on the main thread; landMs, from the filter
// pass's result reaching the main thread to the window painted (the list's
// reset, layout, the panes and the paint). Runs offscreen; HOME and the XDG
// folders point into a temporary folder.

#include "IndexFixture.h"
#include "WidgetBench.h"
#include "model/HelperStatusManager.h"
#include "model/MonitorViewModel.h"
#include "model/SettingsManager.h"
#include "model/UpdateManager.h"
#include "platform/LoginItem.h"
#include "platform/NullUpdater.h"
#include "platform/ServiceManager.h"
#include "plist/NotificationCenter.h"
#include "settings/DefaultsStore.h"
#include "ui/help/AboutView.h"
#include "ui/help/HelpView.h"
#include "ui/issuelist/FileListView.h"
#include "ui/issuelist/IssueListModel.h"
#include "ui/mainwindow/ContentView.h"
#include "ui/mainwindow/MainWindowComposition.h"
#include "ui/mainwindow/ShellActions.h"
#include "ui/mainwindow/WindowManager.h"
#include "ui/widgets/Workspace.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QMainWindow>
#include <QTest>
#include <QThreadPool>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace tess {
namespace {

using bench::NoWorkspace;
using bench::waitFor;
using Clock = std::chrono::steady_clock;

// No daemon is installed; nothing is ever registered.
class NoServices : public ServiceManager {
public:
    ServiceStatus status() override { return ServiceStatus::notFound; }
    Status registerService() override { return Error {"bench", 1, "no service manager"}; }
    Status unregisterService() override { return Error {"bench", 1, "no service manager"}; }
};

// Everything the event loop has to do now, done (the paint included).
void settle()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

using Fixture = bench::IndexFixture;

// The main window over the fixture's index, restored and shown at 1000 × 800.
struct Window {
    explicit Window(const Fixture& fixture)
        : settings(std::make_shared<DefaultsStore>(fixture.config + "/defaults.plist"))
        , updates(std::make_shared<NullUpdater>(std::make_shared<DefaultsStore>(fixture.config + "/updater.plist")))
        , loginItem("/usr/bin/true", fixture.config + "/autostart")
        , actions(updates)
    {
        settings.updateSettings([&](AppSettings& s) { s.preferences.lastSourcePath = fixture.tree; });
        HelperStatusManager::Dependencies helperDependencies;
        helperDependencies.serviceManager = std::make_shared<NoServices>();
        helperDependencies.socketPath = fixture.config + "/nothing.sock";
        helperDependencies.homeFolder = [home = fixture.config] { return home; };
        helperDependencies.openLoginItems = [] {};
        helperDependencies.sleep = [](std::chrono::milliseconds) {};
        helper = std::make_unique<HelperStatusManager>(std::move(helperDependencies));
        services = std::make_unique<MainWindowComposition::Services>(MainWindowComposition::Services {
            settings, updates, *helper, center, workspace, loginItem, content, windowsPointer, fixture.data, 3600000});
        windows = std::make_unique<WindowManager>(WindowManager::Dependencies {
            [this](QMainWindow& window) { MainWindowComposition::fillMainWindow(window, *services, actions); },
            [] { return new HelpView; },
            [this](std::function<void()> close) { return new AboutView(std::move(close), workspace); },
            MainWindowComposition::applyAppearance,
            actions.windowActions(),
        });
        windowsPointer = windows.get();
        windows->showStandaloneWindow();
        windows->standaloneWindow()->resize(1000, 800);
    }

    ~Window()
    {
        if (ContentView* view = content.data()) {
            view->model().stopMonitoring();
        }
        windows.reset();
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
    }

    FileListView& list() const { return *windows->standaloneWindow()->findChild<FileListView*>(); }

    SettingsManager settings;
    UpdateManager updates;
    NotificationCenter center;
    NoWorkspace workspace;
    AutostartLoginItem loginItem;
    ShellActions actions;
    std::unique_ptr<HelperStatusManager> helper;
    QPointer<ContentView> content;
    WindowManager* windowsPointer = nullptr;
    std::unique_ptr<MainWindowComposition::Services> services;
    std::unique_ptr<WindowManager> windows;
};

// What is typed, one keystroke an iteration: a text narrowing down to a few
// rows, then taken back to none.
struct Keystroke {
    Qt::Key key;
    char character;
};

std::vector<Keystroke> typingCycle()
{
    std::vector<Keystroke> keys;
    for (const char c : std::string("draft 12")) {
        keys.push_back({Qt::Key_unknown, c});
    }
    for (std::size_t i = 0; i < 8; ++i) {
        keys.push_back({Qt::Key_Backspace, 0});
    }
    return keys;
}

void BM_TypeInTheFilterOfTheComposedWindow(benchmark::State& state)
{
    const Fixture& fixture = bench::reportDraftsFixture(state.range(0));
    Window window(fixture);
    const auto rows = static_cast<int>(fixture.issues);
    waitFor([&] { return window.content && window.list().listModel().rowCount() == rows; });
    settle();

    ContentView* view = window.content.data();
    if (view == nullptr) {
        state.SkipWithError("the main window has no content");
        return;
    }
    MonitorViewModel& model = view->model();
    QLineEdit* edit = window.windows->standaloneWindow()->findChild<QLineEdit*>(QStringLiteral("searchLineEdit"));
    edit->setFocus();
    Clock::time_point landed;
    bool haveLanded = false;
    QObject::connect(&model, &MonitorViewModel::filteredIssuesChanged, edit, [&] {
        landed = Clock::now();
        haveLanded = true;
    });

    const std::vector<Keystroke> cycle = typingCycle();
    std::size_t next = 0;
    double keySeconds = 0;
    double landSeconds = 0;
    std::int64_t shownRows = 0;
    const auto debounce = std::chrono::milliseconds(MonitorViewModel::kSearchDebounceMilliseconds);
    for (auto _ : state) {
        const Keystroke key = cycle[next++ % cycle.size()];
        haveLanded = false;
        const auto start = Clock::now();
        if (key.character != 0) {
            QTest::keyClick(edit, key.character);
        } else {
            QTest::keyClick(edit, key.key);
        }
        keySeconds += std::chrono::duration<double>(Clock::now() - start).count();
        const std::string text = edit->text().toStdString();
        waitFor([&] { return haveLanded && model.searchText() == text; });
        settle();
        const auto painted = Clock::now();
        landSeconds += std::chrono::duration<double>(painted - landed).count();
        state.SetIterationTime(std::chrono::duration<double>(painted - start - debounce).count());
        shownRows += window.list().listModel().rowCount();
    }
    const auto perKeystroke = [&](double seconds) { return benchmark::Counter(seconds * 1000.0 / static_cast<double>(state.iterations())); };
    state.counters["keyMs"] = perKeystroke(keySeconds);
    state.counters["landMs"] = perKeystroke(landSeconds);
    state.counters["rowsShown"] = benchmark::Counter(static_cast<double>(shownRows) / static_cast<double>(state.iterations()));
}

BENCHMARK(BM_TypeInTheFilterOfTheComposedWindow)
    ->Arg(100000)
    ->Arg(1000000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(32);

}  // namespace
}  // namespace tess

int main(int argc, char** argv)
{
    setenv("TESSALINE_UNDER_TEST", "1", 1);
    return tess::bench::runWidgetBenchmarks(argc, argv);
}
