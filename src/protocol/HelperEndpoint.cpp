#include "HelperEndpoint.h"

#include <cstdlib>

namespace tess {

std::string HelperEndpoint::socketPath()
{
    const char* configured = std::getenv(kSocketPathVariable);
    if (configured != nullptr && *configured != '\0') {
        return configured;
    }
    return std::string(kDefaultSocketPath);
}

}  // namespace tess
