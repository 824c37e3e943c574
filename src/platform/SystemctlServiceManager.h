#pragma once

#include "platform/ServiceManager.h"

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace tess {

// The daemon's registration as a systemd system service: the status comes
// from `systemctl is-enabled` (an installed unit that is not enabled
// requires approval), registration is `systemctl enable --now` and
// unregistration `systemctl disable --now`, both run through pkexec unless
// the process already runs as root. Registration without a prompt runs
// `systemctl --no-ask-password enable --now` as is: it succeeds for root or
// where polkit allows it without authentication.
class SystemctlServiceManager : public ServiceManager {
public:
    static constexpr const char* kUnitName = "app.quenby.tessaline.helper.service";

    struct Options {
        std::string systemctl = "systemctl";
        // Prefix that runs a command with administrator rights; empty runs
        // it as is. Defaults to pkexec, or nothing when running as root.
        std::vector<std::string> elevation = defaultElevation();
        // Also bounds a registration without a prompt.
        std::chrono::milliseconds queryTimeout = std::chrono::seconds(10);
        // Long enough for the user to answer the authentication dialog.
        std::chrono::milliseconds changeTimeout = std::chrono::minutes(5);
    };

    SystemctlServiceManager();
    explicit SystemctlServiceManager(Options options);

    ServiceStatus status() override;
    Status registerService() override;
    Status unregisterService() override;
    Status registerServiceWithoutPrompt() override;
    Status unregisterServiceWithoutPrompt() override;

    // The status for one word printed by `systemctl is-enabled`.
    static ServiceStatus statusFromIsEnabled(std::string_view state);
    static std::vector<std::string> defaultElevation();

private:
    Status change(std::vector<std::string> command, std::chrono::milliseconds timeout);

    Options m_options;
};

}  // namespace tess
