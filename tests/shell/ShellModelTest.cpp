#include "FakeServiceManager.h"
#include "LogCapture.h"
#include "QtTestApplication.h"
#include "TempDir.h"
#include "TestEnvironment.h"

#include "log/AppLogger.h"
#include "model/AppStartup.h"
#include "model/QuitController.h"
#include "model/SingleInstance.h"
#include "model/UnixSignalWatcher.h"
#include "model/UpdateManager.h"
#include "platform/NullUpdater.h"
#include "settings/DefaultsStore.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <csignal>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tess {
namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new test::QtTestApplication<QCoreApplication>("test_shell"));

using std::chrono::milliseconds;

// Start-up over a scripted service manager: the recorded pauses, the lines
// and their order, the calls made, and the window shown at the end.
TEST(AppStartupTest, RegistersRestartsAndRetriesWithoutPrompting)
{
    struct Case {
        const char* name;
        ServiceStatus initial;
        int failures;  // registrations that fail first
        bool unregisterFails;
        std::vector<int> pausesMs;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"registered at once", ServiceStatus::notRegistered, 0, false, {200},
            {"Helper initial status: 0 (notRegistered)",
                "Helper post-registration status: 1 (enabled) [registered=true]", "Starting in window mode"}},
        {"enabled daemon restarts", ServiceStatus::enabled, 0, false, {500, 200},
            {"Helper initial status: 1 (enabled)", "Helper enabled, forcing restart for updates.",
                "Helper post-registration status: 1 (enabled) [registered=true]", "Starting in window mode"}},
        {"unregister fails, one retry", ServiceStatus::enabled, 1, true, {500, 500, 200},
            {"Helper initial status: 1 (enabled)", "Helper enabled, forcing restart for updates.",
                "❌ Helper unregister failed: busy", "❌ Helper register attempt 1 failed: denied",
                "Helper post-registration status: 1 (enabled) [registered=true]", "Starting in window mode"}},
        {"unknown status, two retries", static_cast<ServiceStatus>(7), 2, false, {500, 1000, 200},
            {"Helper initial status: 7 (unknown)", "❌ Helper register attempt 1 failed: denied",
                "❌ Helper register attempt 2 failed: denied",
                "Helper post-registration status: 1 (enabled) [registered=true]", "Starting in window mode"}},
        {"fails three times", ServiceStatus::notRegistered, 3, false, {500, 1000, 200},
            {"Helper initial status: 0 (notRegistered)", "❌ Helper register attempt 1 failed: denied",
                "❌ Helper register attempt 2 failed: denied", "❌ Helper register attempt 3 failed: denied",
                "Helper post-registration status: 0 (notRegistered) [registered=false]",
                "❌ Helper registration failed after 3 attempts — helper will not be available this session",
                "Starting in window mode"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto services = std::make_shared<test::FakeServiceManager>();
        services->setStatus(c.initial);
        for (int i = 0; i < c.failures; ++i) {
            services->queueRegistrationAnswer(Error {kAppErrorDomain, 1, "denied"});
        }
        if (c.unregisterFails) {
            services->failUnregistration("busy");
        }
        std::mutex mutex;
        std::vector<int> pauses;
        int refreshes = 0;
        int windows = 0;
        test::LogCapture log;
        AppStartup startup({services,
            [&](milliseconds d) {
                std::lock_guard lock(mutex);
                pauses.push_back(static_cast<int>(d.count()));
            },
            [] { return false; }, [&] { ++refreshes; }, [&] { ++windows; }});
        QSignalSpy finished(&startup, &AppStartup::finished);
        startup.start();
        ASSERT_TRUE(finished.wait(5000));
        EXPECT_EQ(pauses, c.pausesMs);
        EXPECT_EQ(refreshes, 1);
        EXPECT_EQ(windows, 1);
        EXPECT_EQ(log.messages(), c.lines);
        EXPECT_EQ(services->registerCalls(), 0);  // the prompting calls are never used
        EXPECT_EQ(services->unregisterCalls(), 0);
        EXPECT_EQ(services->quietRegisterCalls(), std::min(c.failures + 1, 3));
    }
}

TEST(AppStartupTest, UnderTheTestHarnessNothingIsCalledAndNoWindowShows)
{
    auto services = std::make_shared<test::FakeServiceManager>();
    int windows = 0;
    test::LogCapture log;
    test::ScopedEnv harness(AppStartup::kTestHarnessVariable, std::string("1"));
    AppStartup startup({services, {}, {}, {}, [&] { ++windows; }});
    startup.start();
    QTest::qWait(50);
    EXPECT_EQ(log.messages(), std::vector<std::string> {"Running under GoogleTest — skipping app startup"});
    EXPECT_EQ(services->statusCalls(), 0);
    EXPECT_EQ(windows, 0);
}

class FakeUpdater : public Updater {
public:
    bool canCheckForUpdates() const override { return canCheck; }
    void checkForUpdates() override { ++checks; }
    bool automaticallyChecksForUpdates() const override { return false; }
    void setAutomaticallyChecksForUpdates(bool) override { }
    bool automaticallyDownloadsUpdates() const override { return false; }
    void setAutomaticallyDownloadsUpdates(bool) override { }
    void setCanCheckObserver(std::function<void(bool)> o) override { observer = std::move(o); }

    std::atomic<bool> canCheck {true};
    int checks = 0;
    std::function<void(bool)> observer;
};

TEST(UpdateManagerTest, FollowsTheUpdaterOnTheMainThread)
{
    auto updater = std::make_shared<FakeUpdater>();
    UpdateManager manager(updater);
    EXPECT_TRUE(manager.canCheckForUpdates());  // seen at once

    QSignalSpy changed(&manager, &UpdateManager::canCheckForUpdatesChanged);
    std::thread([&] {
        updater->canCheck = false;
        updater->observer(false);
    }).join();
    EXPECT_TRUE(manager.canCheckForUpdates());  // not yet: the main thread applies it
    ASSERT_TRUE(changed.wait(2000));
    EXPECT_FALSE(manager.canCheckForUpdates());
    manager.checkForUpdates();
    EXPECT_EQ(updater->checks, 0);  // asked again, and it cannot
    updater->canCheck = true;
    manager.checkForUpdates();
    EXPECT_EQ(updater->checks, 1);
}

TEST(UpdateManagerTest, NullUpdaterCannotCheckAndKeepsItsSettingsBesideThePreferences)
{
    test::TempDir dir;
    auto defaults = std::make_shared<DefaultsStore>(dir / "defaults.plist");
    ASSERT_TRUE(defaults->setObject("app.quenby.Tessaline.preferences", PlistValue(PlistValue::Dictionary {})));
    NullUpdater updater(defaults);
    EXPECT_FALSE(updater.canCheckForUpdates());
    EXPECT_FALSE(updater.automaticallyChecksForUpdates());
    updater.setAutomaticallyChecksForUpdates(true);
    updater.setAutomaticallyDownloadsUpdates(false);

    NullUpdater reread(std::make_shared<DefaultsStore>(dir / "defaults.plist"));
    EXPECT_TRUE(reread.automaticallyChecksForUpdates());
    EXPECT_FALSE(reread.automaticallyDownloadsUpdates());
    const auto preferences = defaults->object("app.quenby.Tessaline.preferences");
    ASSERT_TRUE(preferences && preferences.value());  // the other key stays

    UpdateManager manager(std::make_shared<NullUpdater>(defaults));
    EXPECT_FALSE(manager.canCheckForUpdates());
}

}  // namespace
}  // namespace tess

namespace tess {
namespace {

// With writes queued, the quit shows the sheet, waits off the main thread
// (which keeps serving events), logs both lines in order and then quits
// once. Asked again meanwhile, it shows the sheet again (the user may have
// closed it) and still quits once.
TEST(QuitControllerTest, WaitsForQueuedWritesOffTheMainThread)
{
    std::atomic<std::int64_t> pending {2};
    std::atomic<bool> release {false};
    int sheets = 0;
    int quits = 0;
    test::LogCapture log;
    QuitController::Dependencies deps;
    deps.pendingWrites = [&] { return pending.load(); };
    deps.waitForWrites = [&] {
        while (!release) {
            std::this_thread::sleep_for(milliseconds(5));
        }
    };
    deps.showWaitSheet = [&] { ++sheets; };
    deps.quit = [&] { ++quits; };
    QuitController controller(deps);
    controller.requestQuit();
    controller.requestQuit();  // asked again while waiting
    EXPECT_EQ(controller.state(), QuitController::State::waitingForWrites);
    EXPECT_EQ(sheets, 2);
    QTest::qWait(50);
    EXPECT_EQ(quits, 0);
    release = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return quits == 1; }, 5000));
    EXPECT_EQ(controller.state(), QuitController::State::quitting);
    controller.requestQuit();  // once quitting, nothing more
    QTest::qWait(20);
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(sheets, 2);
    EXPECT_EQ(log.messages(),
        (std::vector<std::string> {"AppDelegate: Pending DB writes detected, waiting before quit…",
            "AppDelegate: Pending DB writes completed, proceeding with quit"}));

    int immediate = 0;
    QuitController::Dependencies idle;
    idle.pendingWrites = [] { return std::int64_t {0}; };
    idle.waitForWrites = [] { FAIL() << "no wait without writes"; };
    idle.showWaitSheet = [] { FAIL() << "no sheet without writes"; };
    idle.quit = [&] { ++immediate; };
    QuitController idleController(idle);
    idleController.requestQuit();
    EXPECT_EQ(immediate, 1);
}

}  // namespace
}  // namespace tess

namespace tess {
namespace {

// A second launch makes the first show its window; a socket left by an
// instance that died is taken over.
TEST(SingleInstanceTest, SecondLaunchAsksTheFirstToReopen)
{
    test::TempDir dir;
    const QString path = QString::fromStdString(dir / "app.sock");
    std::ofstream(dir / "app.sock") << "stale";
    SingleInstance first(path);
    ASSERT_TRUE(first.claim());
    QSignalSpy reopen(&first, &SingleInstance::reopenRequested);

    // The second instance asks from another thread, as another process would,
    // while this thread serves the first's socket.
    std::atomic<int> secondClaimed {-1};
    std::thread second([&] {
        SingleInstance other(path);
        secondClaimed = other.claim() ? 1 : 0;
    });
    ASSERT_TRUE(reopen.wait(5000));
    second.join();
    EXPECT_EQ(secondClaimed.load(), 0);
}

}  // namespace
}  // namespace tess

namespace tess {
namespace {

TEST(UnixSignalWatcherTest, DeliversSignalsOnTheMainThread)
{
    UnixSignalWatcher watcher({SIGUSR1});
    QSignalSpy received(&watcher, &UnixSignalWatcher::signalReceived);
    ::raise(SIGUSR1);
    ASSERT_TRUE(received.wait(2000));
    EXPECT_EQ(received.at(0).at(0).toInt(), SIGUSR1);
}

}  // namespace
}  // namespace tess
