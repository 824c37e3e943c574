#pragma once

#include "platform/ServiceManager.h"

namespace tess {

// A system without a service manager the application may use (no systemd, or
// a test run that must never start systemctl or pkexec): the daemon is not
// found and every change is refused at once.
class UnavailableServiceManager final : public ServiceManager {
public:
    static constexpr const char* kMessage = "Service management is not available on this system";

    ServiceStatus status() override { return ServiceStatus::notFound; }
    Status registerService() override { return refused(); }
    Status unregisterService() override { return refused(); }

private:
    static Status refused() { return Error {kAppErrorDomain, 3, kMessage}; }
};

}  // namespace tess
