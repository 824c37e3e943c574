#include "platform/SystemServiceManager.h"

#include "platform/SystemctlServiceManager.h"
#include "platform/UnavailableServiceManager.h"

#include <cstdlib>
#include <string_view>

namespace tess {

std::shared_ptr<ServiceManager> makeSystemServiceManager()
{
    const char* choice = std::getenv(kServiceManagerVariable);
    if (choice != nullptr && std::string_view(choice) == "unavailable") {
        return std::make_shared<UnavailableServiceManager>();
    }
    return std::make_shared<SystemctlServiceManager>();
}

}  // namespace tess
