#include "model/HelperStatusManager.h"
#include "FakeHelperServer.h"
#include "FakeServiceManager.h"
#include "FakeSystemNotifications.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "platform/SystemctlServiceManager.h"

#include <QCoreApplication>
#include <QEvent>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

namespace tess {
namespace {

using namespace std::chrono_literals;
using test::FakeHelperServer;
using Answer = FakeHelperServer::Answer;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs the event loop until `done` holds or the limit passes.
template <class Predicate>
bool waitUntil(Predicate done, std::chrono::milliseconds limit = 8s)
{
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class HelperStatusManagerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (QCoreApplication::instance() == nullptr) {
            static int argc = 1;
            static char name[] = "test_helperstatus";
            static char* argv[] = {name, nullptr};
            new QCoreApplication(argc, argv);
        }
    }

    std::unique_ptr<HelperStatusManager> makeManager(bool realPauses = false, bool realOpen = false)
    {
        HelperStatusManager::Dependencies dependencies;
        dependencies.serviceManager = m_otherServices ? m_otherServices : m_services;
        auto notifications = std::make_unique<test::FakeSystemNotifications>();
        m_notifications = notifications.get();
        dependencies.notifications = std::move(notifications);
        dependencies.socketPath = m_socket;
        dependencies.homeFolder = [] { return std::string("/home/tester"); };
        if (!realOpen) {
            dependencies.openLoginItems = [this] { ++m_opened; };
        }
        dependencies.sleep = [this, realPauses](std::chrono::milliseconds pause) {
            {
                std::lock_guard lock(m_pauseMutex);
                m_pauses.push_back(pause);
            }
            if (realPauses)
                std::this_thread::sleep_for(pause);
        };
        return std::make_unique<HelperStatusManager>(std::move(dependencies));
    }

    // Refreshes and waits for the completion; its duration in seconds.
    double refreshAndWait(HelperStatusManager& manager)
    {
        bool done = false;
        const auto start = Clock::now();
        manager.refreshStatus([&done] { done = true; });
        EXPECT_TRUE(waitUntil([&] { return done; }));
        return secondsSince(start);
    }

    std::vector<std::chrono::milliseconds> pauses()
    {
        std::lock_guard lock(m_pauseMutex);
        return m_pauses;
    }

    test::LogCapture m_log;
    test::TempDir m_dir;
    std::string m_socket = m_dir / "helper.sock";
    std::shared_ptr<test::FakeServiceManager> m_services = std::make_shared<test::FakeServiceManager>();
    std::shared_ptr<ServiceManager> m_otherServices;  // instead of m_services when set
    test::FakeSystemNotifications* m_notifications = nullptr;
    std::mutex m_pauseMutex;
    std::vector<std::chrono::milliseconds> m_pauses;
    int m_opened = 0;
};

TEST_F(HelperStatusManagerTest, RegistrationFailingThreeTimesIsRetriedOffTheMainThread)
{
    m_services->failRegistration("Request dismissed");
    auto manager = makeManager(/*realPauses=*/true);
    std::vector<bool> refreshing;
    QObject::connect(manager.get(), &HelperStatusManager::isRefreshingChanged, [&](bool value) { refreshing.push_back(value); });

    bool done = false;
    int completions = 0;
    const auto start = Clock::now();
    manager->refreshStatus([&] {
        done = true;
        ++completions;
    });
    // The pauses (1.5 s in all) happen on the worker, never here.
    EXPECT_LT(secondsSince(start), 1.0);
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_GE(secondsSince(start), 1.5);

    // Never the kind that may show an authentication dialog.
    EXPECT_EQ(m_services->quietRegisterCalls(), 3);
    EXPECT_EQ(m_services->registerCalls(), 0);
    EXPECT_EQ(pauses(), (std::vector<std::chrono::milliseconds> {500ms, 1000ms}));
    const std::vector<std::string> failures = {
        "❌ Helper register() on refresh attempt 1 failed: Request dismissed",
        "❌ Helper register() on refresh attempt 2 failed: Request dismissed",
        "❌ Helper register() on refresh attempt 3 failed: Request dismissed",
    };
    std::vector<std::string> logged;
    for (const auto& message : m_log.messages()) {
        if (message.rfind("❌ Helper register()", 0) == 0)
            logged.push_back(message);
    }
    EXPECT_EQ(logged, failures);
    EXPECT_EQ(m_log.levelOf(failures[0]), "ERROR");
    EXPECT_EQ(m_log.countMessage("ServiceManager Status = Not Registered"), 1u);
    EXPECT_EQ(m_log.countMessage("Service not enabled (Status: 0). Skipping XPC check."), 1u);

    EXPECT_EQ(manager->status(), ServiceStatus::notRegistered);
    EXPECT_FALSE(manager->isCommunicating());
    EXPECT_FALSE(manager->isRefreshing());
    EXPECT_FALSE(manager->isHelperReady());
    EXPECT_EQ(refreshing, (std::vector<bool> {true, false}));
    QCoreApplication::processEvents();
    EXPECT_EQ(completions, 1);
}

TEST_F(HelperStatusManagerTest, RegistrationSucceedingOnALaterAttemptGoesOnToThePing)
{
    FakeHelperServer server(m_socket);
    m_services->queueRegistrationAnswer(Error {kAppErrorDomain, 1, "Busy"});
    auto manager = makeManager();
    std::vector<bool> ready;
    QObject::connect(manager.get(), &HelperStatusManager::isHelperReadyChanged, [&](bool value) { ready.push_back(value); });

    refreshAndWait(*manager);
    EXPECT_EQ(m_services->quietRegisterCalls(), 2);
    EXPECT_EQ(pauses(), (std::vector<std::chrono::milliseconds> {500ms}));
    EXPECT_EQ(m_log.countMessage("Helper register() succeeded on refresh attempt 2 — status: 1"), 1u);
    EXPECT_EQ(m_log.levelOf("Helper register() succeeded on refresh attempt 2 — status: 1"), "INFO");
    EXPECT_EQ(m_log.countMessage("Received ping response: success=true, message="), 1u);
    EXPECT_EQ(m_log.countMessage("XPC Communication result: SUCCESS"), 1u);
    EXPECT_EQ(manager->status(), ServiceStatus::enabled);
    EXPECT_TRUE(manager->isHelperReady());
    EXPECT_EQ(ready, (std::vector<bool> {true}));
}

TEST_F(HelperStatusManagerTest, SilentDaemonTimesOutAfterTwoSeconds)
{
    FakeHelperServer server(m_socket, [](const HelperRequest&) { return Answer::silent(); });
    m_services->setStatus(ServiceStatus::enabled);
    auto manager = makeManager();

    const double elapsed = refreshAndWait(*manager);
    EXPECT_GE(elapsed, 1.95);
    EXPECT_LT(elapsed, 3.0);
    EXPECT_EQ(m_log.countMessage("❌ XPC Communication TIMEOUT after 2.0s"), 1u);
    EXPECT_EQ(m_log.levelOf("❌ XPC Communication TIMEOUT after 2.0s"), "ERROR");
    EXPECT_EQ(m_log.countMessage("XPC Communication result: FAILED"), 1u);
    EXPECT_EQ(manager->status(), ServiceStatus::enabled);
    EXPECT_FALSE(manager->isCommunicating());
    EXPECT_FALSE(manager->isHelperReady());
    EXPECT_EQ(server.count(HelperSelector::initializeForUser), 0u);
}

TEST_F(HelperStatusManagerTest, DaemonNotRunningFailsAtOnce)
{
    m_services->setStatus(ServiceStatus::enabled);  // registered, but nobody listens
    auto manager = makeManager();

    EXPECT_LT(refreshAndWait(*manager), 0.5);
    EXPECT_EQ(m_log.countMessage("❌ Failed to create XPC proxy"), 1u);
    EXPECT_EQ(m_log.countMessage("XPC Communication result: FAILED"), 1u);
    EXPECT_EQ(m_log.countMessage("❌ XPC Communication TIMEOUT after 2.0s"), 0u);
    EXPECT_FALSE(manager->isHelperReady());
}

TEST_F(HelperStatusManagerTest, HomeIsHandedOverOncePerDaemonProcess)
{
    FakeHelperServer server(m_socket);
    m_services->setStatus(ServiceStatus::enabled);
    auto manager = makeManager();
    // Reaching the bus may hang: never on the thread that builds the manager.
    EXPECT_TRUE(m_notifications->startedInBackground());
    EXPECT_FALSE(m_notifications->started());

    refreshAndWait(*manager);
    refreshAndWait(*manager);
    EXPECT_TRUE(manager->isHelperReady());
    EXPECT_EQ(server.count(HelperSelector::testConnection), 2u);
    EXPECT_EQ(server.count(HelperSelector::initializeForUser), 1u);
    EXPECT_EQ(m_log.countMessage("Helper initialized with user home: /home/tester"), 1u);

    // A daemon that announces a start (or a stop) is a new process: it gets
    // the home again with the refresh that the announcement starts.
    m_notifications->postDidBecomeActive();
    ASSERT_TRUE(waitUntil([&] { return server.count(HelperSelector::testConnection) == 3 && !manager->isRefreshing(); }));
    EXPECT_EQ(m_log.countMessage("Received helper didBecomeActive D-Bus signal"), 1u);
    EXPECT_EQ(m_log.levelOf("Received helper didBecomeActive D-Bus signal"), "DEBUG");
    m_notifications->postDidBecomeInactive();
    ASSERT_TRUE(waitUntil([&] { return server.count(HelperSelector::testConnection) == 4 && !manager->isRefreshing(); }));
    EXPECT_EQ(m_log.countMessage("Received helper didBecomeInactive D-Bus signal"), 1u);

    EXPECT_EQ(server.count(HelperSelector::initializeForUser), 3u);
    for (const auto& request : server.requests()) {
        if (request.selector == HelperSelector::initializeForUser) {
            EXPECT_EQ(request.arguments, (std::vector<std::string> {"/home/tester"}));
        }
    }
}

TEST_F(HelperStatusManagerTest, FailedHandOverIsTriedAgainOnTheNextRefresh)
{
    std::atomic<int> initCalls = 0;
    FakeHelperServer server(m_socket, [&initCalls](const HelperRequest& request) {
        if (request.selector == HelperSelector::initializeForUser && ++initCalls == 1)
            return Answer::with(false, "Home folder is not yours");
        return Answer::with(true, "");
    });
    m_services->setStatus(ServiceStatus::enabled);
    auto manager = makeManager();

    for (int i = 0; i < 3; ++i)
        refreshAndWait(*manager);
    EXPECT_EQ(m_log.countMessage("⚠️ Helper initialization failed: Home folder is not yours"), 1u);
    EXPECT_EQ(m_log.levelOf("⚠️ Helper initialization failed: Home folder is not yours"), "WARN");
    EXPECT_EQ(m_log.countMessage("Helper initialized with user home: /home/tester"), 1u);
    EXPECT_EQ(server.count(HelperSelector::initializeForUser), 2u);
    EXPECT_TRUE(manager->isHelperReady());  // the ping itself succeeded
}

TEST_F(HelperStatusManagerTest, StatusesOtherThanEnabledSkipThePing)
{
    FakeHelperServer server(m_socket);
    const struct {
        ServiceStatus status;
        const char* text;
    } cases[] = {
        {ServiceStatus::requiresApproval, "Requires Approval (Disabled in systemd)"},
        {ServiceStatus::notFound, "Not Found (Unit file issue?)"},
        {static_cast<ServiceStatus>(7), "Unknown (7)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        test::LogCapture log;
        // Ready first, so the case shows that the status alone makes it not ready.
        m_services->setStatus(ServiceStatus::enabled);
        auto manager = makeManager();
        refreshAndWait(*manager);
        ASSERT_TRUE(manager->isHelperReady());
        const auto pings = server.count(HelperSelector::testConnection);

        m_services->setStatus(c.status);
        refreshAndWait(*manager);
        EXPECT_EQ(HelperStatusManager::statusText(c.status), c.text);
        EXPECT_EQ(log.countMessage(std::string("ServiceManager Status = ") + c.text), 1u);
        const std::string skipped = "Service not enabled (Status: " + std::to_string(static_cast<int>(c.status)) + "). Skipping XPC check.";
        EXPECT_EQ(log.countMessage(skipped), 1u);
        EXPECT_EQ(log.levelOf(skipped), "INFO");
        EXPECT_EQ(server.count(HelperSelector::testConnection), pings);
        EXPECT_EQ(manager->status(), c.status);
        EXPECT_FALSE(manager->isCommunicating());
        EXPECT_FALSE(manager->isHelperReady());
        EXPECT_EQ(m_services->registerCalls(), 0);
        EXPECT_EQ(m_services->quietRegisterCalls(), 0);
    }
    EXPECT_EQ(HelperStatusManager::statusText(ServiceStatus::enabled), "Enabled");
    EXPECT_EQ(HelperStatusManager::statusText(ServiceStatus::notRegistered), "Not Registered");
}

// The registration that may prompt is the approval prompt itself: one click
// shows it once, whether the user enters the password or dismisses it.
TEST_F(HelperStatusManagerTest, RequestApprovalShowsOnePromptPerClick)
{
    m_services->setStatus(ServiceStatus::requiresApproval);
    auto manager = makeManager(/*realPauses=*/false, /*realOpen=*/true);
    const int statusReads = m_services->statusCalls();

    m_services->queueRegistrationAnswer(Status {});
    manager->requestApproval();
    refreshAndWait(*manager);  // the worker has done everything the click asked for
    EXPECT_EQ(m_log.countMessage("Register call sent successfully."), 1u);
    EXPECT_EQ(m_services->registerCalls(), 1);
    EXPECT_EQ(m_log.countMessage("Opening systemd -> app.quenby.tessaline.helper.service"), 0u);

    m_services->setStatus(ServiceStatus::requiresApproval);
    m_services->queueRegistrationAnswer(Error {kAppErrorDomain, 126, "Request dismissed"});
    manager->requestApproval();
    ASSERT_TRUE(waitUntil([&] { return m_log.countMessage("Opening systemd -> app.quenby.tessaline.helper.service") == 1; }));
    refreshAndWait(*manager);
    EXPECT_EQ(m_services->registerCalls(), 2) << "the dismissed prompt is not shown again";
    EXPECT_EQ(m_log.countMessage("Requesting helper registration/approval..."), 2u);
    const std::string failed = "❌ Registration failed: Request dismissed. Opening systemd.";
    EXPECT_EQ(m_log.countMessage(failed), 1u);
    EXPECT_EQ(m_log.levelOf(failed), "ERROR");
    EXPECT_EQ(m_log.levelOf("Opening systemd -> app.quenby.tessaline.helper.service"), "INFO");
    // Neither outcome refreshes the status by itself (only this test's refreshes read it).
    EXPECT_EQ(m_services->statusCalls(), statusReads + 2);
    EXPECT_EQ(m_services->quietRegisterCalls(), 0);

    // The next click asks again.
    m_services->queueRegistrationAnswer(Error {kAppErrorDomain, 126, "Request dismissed"});
    manager->requestApproval();
    ASSERT_TRUE(waitUntil([&] { return m_log.countMessage("Opening systemd -> app.quenby.tessaline.helper.service") == 2; }));
    refreshAndWait(*manager);
    EXPECT_EQ(m_services->registerCalls(), 3);
    EXPECT_EQ(m_opened, 0);
}

// systemctl says "disabled" for the installed unit the user has not enabled:
// that is the daemon awaiting approval, which no refresh tries to register.
TEST_F(HelperStatusManagerTest, ADisabledUnitRequiresApprovalAndARefreshRegistersNothing)
{
    m_dir.writeFile("systemctl", "#!/bin/sh\necho \"$*\" >> '" + m_dir / "calls" + "'\n"
                                                                                   "[ \"$1\" = is-enabled ] && echo disabled && exit 1\nexit 0\n");
    ::chmod((m_dir / "systemctl").c_str(), 0755);
    SystemctlServiceManager::Options options;
    options.systemctl = m_dir / "systemctl";
    options.elevation = {};
    m_otherServices = std::make_shared<SystemctlServiceManager>(options);
    auto manager = makeManager();

    refreshAndWait(*manager);
    refreshAndWait(*manager);
    EXPECT_EQ(manager->status(), ServiceStatus::requiresApproval);
    EXPECT_FALSE(manager->isHelperReady());
    EXPECT_EQ(m_dir.readFile("calls"), "is-enabled app.quenby.tessaline.helper.service\n"
                                       "is-enabled app.quenby.tessaline.helper.service\n");
    EXPECT_EQ(m_log.countMessage("ServiceManager Status = Requires Approval (Disabled in systemd)"), 2u);
    EXPECT_TRUE(pauses().empty());
}

// Linux approves the daemon at the password prompt that enables its
// service: the prompting registration, then a refresh of the status.
TEST_F(HelperStatusManagerTest, OpeningTheApprovalPlaceAsksToEnableTheService)
{
    auto manager = makeManager(/*realPauses=*/false, /*realOpen=*/true);
    const int statusReads = m_services->statusCalls();
    manager->openLoginItemsSettings();
    ASSERT_TRUE(waitUntil([&] { return m_services->statusCalls() > statusReads; }));
    EXPECT_EQ(m_services->registerCalls(), 1);
    EXPECT_EQ(m_log.countMessage("Opening systemd -> app.quenby.tessaline.helper.service"), 1u);
}

TEST_F(HelperStatusManagerTest, ActivationOfThisApplicationRefreshes)
{
    m_services->setStatus(ServiceStatus::requiresApproval);
    auto manager = makeManager();
    auto* application = QCoreApplication::instance();

    QEvent deactivated(QEvent::ApplicationDeactivate);
    QCoreApplication::sendEvent(application, &deactivated);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_services->statusCalls(), 0);

    QEvent activated(QEvent::ApplicationActivate);
    QCoreApplication::sendEvent(application, &activated);
    ASSERT_TRUE(waitUntil([&] { return manager->status() == ServiceStatus::requiresApproval && !manager->isRefreshing(); }));
    EXPECT_EQ(m_services->statusCalls(), 1);
    EXPECT_EQ(m_log.countMessage("Service not enabled (Status: 2). Skipping XPC check."), 1u);

    // A manager that is gone no longer listens.
    manager.reset();
    QCoreApplication::sendEvent(application, &activated);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_services->statusCalls(), 1);
}

}  // namespace
}  // namespace tess
