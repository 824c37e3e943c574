#pragma once

#include "platform/ServiceManager.h"

#include <memory>

namespace tess {

// The variable that chooses the service manager: "unavailable" gives one
// that finds nothing and refuses every change (CI runs the application so);
// anything else, or nothing, gives systemctl.
inline constexpr const char* kServiceManagerVariable = "TESSALINE_SERVICE_MANAGER";

// The service manager of this system, as the variable above chooses.
std::shared_ptr<ServiceManager> makeSystemServiceManager();

}  // namespace tess
