#include "model/AppStartup.h"

#include "log/AppLogger.h"

#include <QPointer>
#include <QThread>

#include <cstdlib>
#include <thread>

namespace tess {

namespace {

using std::chrono::milliseconds;

std::string statusText(ServiceStatus status)
{
    return std::to_string(static_cast<int>(status)) + " (" + AppStartup::statusName(status) + ")";
}

}  // namespace

std::string AppStartup::statusName(ServiceStatus status)
{
    switch (status) {
    case ServiceStatus::notRegistered:
        return "notRegistered";
    case ServiceStatus::enabled:
        return "enabled";
    case ServiceStatus::requiresApproval:
        return "requiresApproval";
    case ServiceStatus::notFound:
        return "notFound";
    }
    return "unknown";
}

AppStartup::AppStartup(Dependencies dependencies, QObject* parent)
    : QObject(parent)
    , m_deps(std::move(dependencies))
{
    if (!m_deps.pause) {
        m_deps.pause = [](milliseconds duration) { std::this_thread::sleep_for(duration); };
    }
    if (!m_deps.underTestHarness) {
        m_deps.underTestHarness = [] { return std::getenv(kTestHarnessVariable) != nullptr; };
    }
}

AppStartup::~AppStartup()
{
    if (m_worker) {
        m_worker->wait();
    }
}

void AppStartup::start()
{
    if (m_deps.underTestHarness()) {
        TESS_LOG_INFO("Running under GoogleTest — skipping app startup");
        return;
    }
    m_worker.reset(QThread::create([this] { registerDaemon(); }));
    m_worker->start();
}

void AppStartup::registerDaemon()
{
    ServiceManager& services = *m_deps.services;
    const ServiceStatus initial = services.status();
    TESS_LOG_INFO("Helper initial status: " + statusText(initial));
    if (initial == ServiceStatus::enabled) {
        TESS_LOG_INFO("Helper enabled, forcing restart for updates.");
        const Status unregistered = services.unregisterServiceWithoutPrompt();
        if (!unregistered) {
            TESS_LOG_ERROR("❌ Helper unregister failed: " + unregistered.error().message);
        }
        m_deps.pause(milliseconds(500));
    }
    bool registered = false;
    for (int attempt = 1;; ++attempt) {
        const Status result = services.registerServiceWithoutPrompt();
        if (result) {
            registered = true;
            break;
        }
        TESS_LOG_ERROR("❌ Helper register attempt " + std::to_string(attempt) + " failed: " + result.error().message);
        if (attempt == 3) {
            break;
        }
        m_deps.pause(milliseconds(500 * attempt));
    }
    TESS_LOG_INFO("Helper post-registration status: " + statusText(services.status()) + " [registered="
        + (registered ? "true" : "false") + "]");
    if (!registered) {
        TESS_LOG_ERROR("❌ Helper registration failed after 3 attempts — helper will not be available this session");
    }
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_deps.refreshHelperStatus) {
                m_deps.refreshHelperStatus();
            }
        },
        Qt::QueuedConnection);
    m_deps.pause(milliseconds(200));
    QMetaObject::invokeMethod(this, &AppStartup::finishOnMainThread, Qt::QueuedConnection);
}

void AppStartup::finishOnMainThread()
{
    TESS_LOG_INFO("Starting in window mode");
    if (m_deps.showMainWindow) {
        m_deps.showMainWindow();
    }
    emit finished();
}

}  // namespace tess
