#pragma once

#include <string>
#include <string_view>

namespace tess {

// Where the daemon listens and how it is named.
class HelperEndpoint {
public:
    // Executable name, unit name and name of its notifications.
    static constexpr std::string_view kServiceName = "app.quenby.tessaline.helper";
    static constexpr std::string_view kDefaultSocketPath = "/run/app.quenby.tessaline.helper.sock";
    static constexpr const char* kSocketPathVariable = "TESSALINE_HELPER_SOCKET";

    // kDefaultSocketPath, or the value of TESSALINE_HELPER_SOCKET when set and
    // not empty.
    static std::string socketPath();
};

}  // namespace tess
