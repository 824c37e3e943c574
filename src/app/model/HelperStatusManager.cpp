#include "model/HelperStatusManager.h"

#include "core/XdgPaths.h"
#include "helperclient/XPCService.h"
#include "log/AppLogger.h"
#include "platform/DBusSystemNotifications.h"
#include "platform/SystemServiceManager.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <pwd.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tess {

namespace {

std::string rawValue(ServiceStatus status)
{
    return std::to_string(static_cast<int>(status));
}

// The home folder of the password database, which is the one the daemon
// accepts for this user; $HOME only when the database has no entry.
std::string userHomeFolder()
{
    std::vector<char> buffer(16384);
    passwd entry {};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr
        && found->pw_dir != nullptr && found->pw_dir[0] == '/')
        return found->pw_dir;
    return XdgPaths::homeDirectory();
}

}  // namespace

HelperStatusManager& HelperStatusManager::shared()
{
    static HelperStatusManager* instance = [] {
        Dependencies dependencies;
        dependencies.serviceManager = makeSystemServiceManager();
        dependencies.notifications = std::make_unique<DBusSystemNotifications>();
        return new HelperStatusManager(std::move(dependencies));
    }();
    return *instance;
}

HelperStatusManager::HelperStatusManager(Dependencies dependencies, QObject* parent)
    : QObject(parent)
    , m_serviceManager(std::move(dependencies.serviceManager))
    , m_notifications(std::move(dependencies.notifications))
    , m_socketPath(dependencies.socketPath.empty() ? XPCService().socketPath() : std::move(dependencies.socketPath))
    , m_homeFolder(std::move(dependencies.homeFolder))
    , m_openLoginItems(std::move(dependencies.openLoginItems))
    , m_sleep(std::move(dependencies.sleep))
{
    if (!m_homeFolder)
        m_homeFolder = userHomeFolder;
    if (!m_openLoginItems) {
        // Linux approves a system daemon at the password prompt that enables it.
        m_openLoginItems = [this] {
            m_worker.start([this] {
                const Status enabled = m_serviceManager->registerService();
                if (!enabled.ok()) {
                    TESS_LOG_WARN("Could not enable app.quenby.tessaline.helper.service: " + enabled.error().message);
                }
                QMetaObject::invokeMethod(
                    this, [this] { refreshStatus(); }, Qt::QueuedConnection);
            });
        };
    }
    if (!m_sleep)
        m_sleep = [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); };
    m_worker.setMaxThreadCount(1);

    if (m_notifications) {
        connect(m_notifications.get(), &SystemNotifications::helperDidBecomeActive, this,
            [this] { onHelperNotification("didBecomeActive"); });
        connect(m_notifications.get(), &SystemNotifications::helperDidBecomeInactive, this,
            [this] { onHelperNotification("didBecomeInactive"); });
        m_notifications->startInBackground();
    }
    // Qt tells the application object when this application becomes the
    // active one (activation of other applications never reaches us).
    if (QCoreApplication* application = QCoreApplication::instance(); application != nullptr && application->thread() == thread())
        application->installEventFilter(this);
}

HelperStatusManager::~HelperStatusManager()
{
    m_worker.waitForDone();
}

std::string HelperStatusManager::statusText(ServiceStatus status)
{
    switch (status) {
    case ServiceStatus::notRegistered:
        return "Not Registered";
    case ServiceStatus::enabled:
        return "Enabled";
    case ServiceStatus::requiresApproval:
        return "Requires Approval (Disabled in systemd)";
    case ServiceStatus::notFound:
        return "Not Found (Unit file issue?)";
    }
    return "Unknown (" + rawValue(status) + ")";
}

void HelperStatusManager::refreshStatus(Completion completion)
{
    // Queued before the worker starts, so it lands before this refresh's result.
    QMetaObject::invokeMethod(
        this, [this] { applyState(m_status, m_isCommunicating, true); }, Qt::QueuedConnection);
    m_worker.start([this, completion = std::move(completion)] { runRefresh(completion); });
}

void HelperStatusManager::runRefresh(const Completion& completion)
{
    ServiceStatus status = m_serviceManager->status();
    TESS_LOG_DEBUG("ServiceManager Status = " + statusText(status));
    if (status == ServiceStatus::notRegistered)
        status = registerWithRetries();
    if (status == ServiceStatus::enabled) {
        testConnection(status, completion);
        return;
    }
    TESS_LOG_INFO("Service not enabled (Status: " + rawValue(status) + "). Skipping XPC check.");
    publish(status, false, false, completion);
}

ServiceStatus HelperStatusManager::registerWithRetries()
{
    for (int attempt = 1; attempt <= kRegistrationAttempts; ++attempt) {
        // Never a dialog here: this runs on every activation, and a dialog
        // that takes the focus away and gives it back would start another.
        const Status registered = m_serviceManager->registerServiceWithoutPrompt();
        if (registered.ok()) {
            const ServiceStatus status = m_serviceManager->status();
            TESS_LOG_INFO("Helper register() succeeded on refresh attempt " + std::to_string(attempt) + " — status: " + rawValue(status));
            return status;
        }
        TESS_LOG_ERROR("❌ Helper register() on refresh attempt " + std::to_string(attempt) + " failed: " + registered.error().message);
        if (attempt < kRegistrationAttempts)
            m_sleep(std::chrono::milliseconds(500 * attempt));
    }
    return ServiceStatus::notRegistered;
}

void HelperStatusManager::testConnection(ServiceStatus status, const Completion& completion)
{
    const auto outcome = XPCService(m_socketPath).testConnection(XPCService::kPingTimeout);
    bool success = false;
    if (outcome.ok()) {
        TESS_LOG_DEBUG(std::string("Received ping response: success=") + (outcome->success ? "true" : "false") + ", message=" + outcome->message);
        success = outcome->success;
    } else {
        switch (xpcErrorFrom(outcome.error()).value_or(XPCError::noResult)) {
        case XPCError::proxyCreationFailed:
            TESS_LOG_ERROR("❌ Failed to create XPC proxy");
            // Nobody listens: whoever answers next is a new daemon process.
            forgetInitialization();
            break;
        case XPCError::timeout:
            TESS_LOG_ERROR("❌ XPC Communication TIMEOUT after 2.0s");
            break;
        case XPCError::noResult:
            break;  // the client has logged the interruption
        }
    }
    // The home goes to the daemon before it is reported ready, so that work
    // sent to it afterwards is logged in the user's folder.
    if (success)
        initializeHelperIfNeeded();
    publish(status, success, true, completion);
}

void HelperStatusManager::initializeHelperIfNeeded()
{
    std::uint64_t claim = 0;
    if (!claimInitialization(claim))
        return;
    const std::string home = m_homeFolder();
    const auto outcome = XPCService(m_socketPath).initializeHelper(home, XPCService::kPingTimeout);
    if (outcome.ok() && outcome->success) {
        TESS_LOG_INFO("Helper initialized with user home: " + home);
        return;
    }
    TESS_LOG_WARN("⚠️ Helper initialization failed: " + (outcome.ok() ? outcome->message : outcome.error().message));
    releaseInitialization(claim);
}

bool HelperStatusManager::claimInitialization(std::uint64_t& claim)
{
    std::lock_guard lock(m_initMutex);
    if (m_helperInitialized)
        return false;
    m_helperInitialized = true;
    claim = ++m_initClaims;
    return true;
}

void HelperStatusManager::releaseInitialization(std::uint64_t claim)
{
    std::lock_guard lock(m_initMutex);
    if (m_initClaims == claim)
        m_helperInitialized = false;
}

void HelperStatusManager::forgetInitialization()
{
    std::lock_guard lock(m_initMutex);
    m_helperInitialized = false;
    ++m_initClaims;
}

void HelperStatusManager::publish(ServiceStatus status, bool communicating, bool logResult, const Completion& completion)
{
    QMetaObject::invokeMethod(
        this,
        [this, status, communicating, logResult, completion] {
            if (logResult)
                TESS_LOG_INFO(std::string("XPC Communication result: ") + (communicating ? "SUCCESS" : "FAILED"));
            applyState(status, communicating, false);
            if (completion)
                completion();
        },
        Qt::QueuedConnection);
}

void HelperStatusManager::applyState(ServiceStatus status, bool communicating, bool refreshing)
{
    const bool wasReady = isHelperReady();
    const bool statusChange = status != m_status;
    const bool communicatingChange = communicating != m_isCommunicating;
    const bool refreshingChange = refreshing != m_isRefreshing;
    m_status = status;
    m_isCommunicating = communicating;
    m_isRefreshing = refreshing;
    if (statusChange)
        emit statusChanged(status);
    if (communicatingChange)
        emit isCommunicatingChanged(communicating);
    if (refreshingChange)
        emit isRefreshingChanged(refreshing);
    if (wasReady != isHelperReady())
        emit isHelperReadyChanged(isHelperReady());
}

void HelperStatusManager::requestApproval()
{
    TESS_LOG_INFO("Requesting helper registration/approval...");
    m_worker.start([this] {
        const Status registered = m_serviceManager->registerService();
        if (registered.ok()) {
            TESS_LOG_INFO("Register call sent successfully.");
            return;
        }
        TESS_LOG_ERROR("❌ Registration failed: " + registered.error().message + ". Opening systemd.");
        // The registration was the approval prompt itself, dismissed or
        // refused: it is not shown a second time for one click.
        QMetaObject::invokeMethod(
            this, [this] { openApprovalPlace(/*promptShown=*/true); }, Qt::QueuedConnection);
    });
}

void HelperStatusManager::openLoginItemsSettings()
{
    openApprovalPlace(/*promptShown=*/false);
}

void HelperStatusManager::openApprovalPlace(bool promptShown)
{
    TESS_LOG_INFO("Opening systemd -> app.quenby.tessaline.helper.service");
    if (!promptShown)
        m_openLoginItems();
}

void HelperStatusManager::handleAppActivation()
{
    refreshStatus();
}

bool HelperStatusManager::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ApplicationActivate && watched == QCoreApplication::instance())
        handleAppActivation();
    return QObject::eventFilter(watched, event);
}

void HelperStatusManager::onHelperNotification(const char* name)
{
    TESS_LOG_DEBUG(std::string("Received helper ") + name + " D-Bus signal");
    // A daemon that starts or stops is a new process: it needs the home again.
    forgetInitialization();
    refreshStatus();
}

}  // namespace tess
