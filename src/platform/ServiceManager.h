#pragma once

#include "core/Error.h"

namespace tess {

// Registration state of the privileged daemon with the system's service
// manager. The raw values are the ones the log prints; values outside the
// four named ones may occur and are shown as unknown.
enum class ServiceStatus : int {
    notRegistered = 0,
    enabled = 1,
    requiresApproval = 2,
    notFound = 3,
};

// Registers, unregisters and queries the daemon with the system's service
// manager. Calls block (they may run other programs or wait for the user to
// authenticate): make them off the main thread. Implementations are safe to
// call from any thread.
class ServiceManager {
public:
    virtual ~ServiceManager() = default;

    virtual ServiceStatus status() = 0;
    // Failure carries a user-facing description in Error::message. May ask
    // the user to authenticate.
    virtual Status registerService() = 0;
    virtual Status unregisterService() = 0;
    // Registration that never asks the user anything: without the rights it
    // fails at once. For registrations the user did not ask for (a status
    // refresh), so that coming back to the application never raises a
    // dialog. The default is registerService().
    virtual Status registerServiceWithoutPrompt() { return registerService(); }
    // Unregistration that never asks the user anything, for the same reason.
    // The default is unregisterService().
    virtual Status unregisterServiceWithoutPrompt() { return unregisterService(); }
};

}  // namespace tess
