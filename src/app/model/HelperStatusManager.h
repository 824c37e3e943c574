#pragma once

#include "platform/ServiceManager.h"
#include "platform/SystemNotifications.h"

#include <QObject>
#include <QThreadPool>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace tess {

// The observable state of the privileged daemon: whether the service manager
// has it registered and enabled, and whether it answers. A main-thread
// object: its state changes and its signals are emitted only on the thread
// that owns it. Everything that may block (the service manager, calls to the
// daemon, pauses between registration attempts) runs on one worker thread of
// its own, in the order asked; results come back by queued invocation.
class HelperStatusManager : public QObject {
    Q_OBJECT

public:
    using Completion = std::function<void()>;

    struct Dependencies {
        std::shared_ptr<ServiceManager> serviceManager;
        std::unique_ptr<SystemNotifications> notifications;  // may be null
        std::string socketPath;  // empty: the daemon's default socket
        std::function<std::string()> homeFolder;  // empty: the user's home in the password database
        std::function<void()> openLoginItems;  // empty: ask to enable the service (password prompt)
        std::function<void(std::chrono::milliseconds)> sleep;  // empty: sleep the worker
    };

    static constexpr int kRegistrationAttempts = 3;

    // Created on first use, on the main thread, with the system's service
    // manager, the D-Bus notifications and the default socket; never destroyed.
    // Starts the notifications in the background and watches the
    // application's activation.
    static HelperStatusManager& shared();

    explicit HelperStatusManager(Dependencies dependencies, QObject* parent = nullptr);
    // Waits for the worker's current and queued work.
    ~HelperStatusManager() override;
    HelperStatusManager(const HelperStatusManager&) = delete;
    HelperStatusManager& operator=(const HelperStatusManager&) = delete;

    ServiceStatus status() const { return m_status; }
    bool isCommunicating() const { return m_isCommunicating; }
    bool isRefreshing() const { return m_isRefreshing; }
    // Enabled and the last ping answered with success.
    bool isHelperReady() const { return m_status == ServiceStatus::enabled && m_isCommunicating; }

    // Reads the status, registers the daemon when it is not registered (never
    // with a dialog: registerServiceWithoutPrompt), pings
    // it when enabled, then publishes status, isCommunicating and
    // isRefreshing together and calls `completion` on this object's thread.
    // Returns at once.
    void refreshStatus(Completion completion = {});
    // One registration attempt, which may ask the user to authenticate;
    // when it fails, opens the place where the daemon is approved. Here that
    // place is the same password prompt, so it is not asked a second time.
    void requestApproval();
    // Asks to enable the daemon's service (a password prompt), then refreshes.
    void openLoginItemsSettings();
    // This application became the active one: refreshes. Called by itself
    // when the application object reports its activation.
    void handleAppActivation();

    // The log text of a status ("Enabled", "Unknown (7)", ...).
    static std::string statusText(ServiceStatus status);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    void statusChanged(tess::ServiceStatus status);
    void isCommunicatingChanged(bool communicating);
    void isRefreshingChanged(bool refreshing);
    void isHelperReadyChanged(bool ready);

private:
    void runRefresh(const Completion& completion);
    ServiceStatus registerWithRetries();
    void testConnection(ServiceStatus status, const Completion& completion);
    void initializeHelperIfNeeded();
    bool claimInitialization(std::uint64_t& claim);
    void releaseInitialization(std::uint64_t claim);
    void forgetInitialization();
    void publish(ServiceStatus status, bool communicating, bool logResult, const Completion& completion);
    void applyState(ServiceStatus status, bool communicating, bool refreshing);
    void onHelperNotification(const char* name);
    // Logs the opening; shows the prompt unless this click showed it already.
    void openApprovalPlace(bool promptShown);

    std::shared_ptr<ServiceManager> m_serviceManager;
    std::unique_ptr<SystemNotifications> m_notifications;
    std::string m_socketPath;
    std::function<std::string()> m_homeFolder;
    std::function<void()> m_openLoginItems;
    std::function<void(std::chrono::milliseconds)> m_sleep;

    ServiceStatus m_status = ServiceStatus::notRegistered;
    bool m_isCommunicating = false;
    bool m_isRefreshing = false;

    // Whether the user's home was handed to the running daemon. Claimed on
    // the worker before sending; forgotten when the hand-over fails, the
    // daemon cannot be reached, or the daemon announces a start or stop. A
    // failed hand-over releases only its own claim.
    std::mutex m_initMutex;
    bool m_helperInitialized = false;
    std::uint64_t m_initClaims = 0;

    QThreadPool m_worker;
};

}  // namespace tess
