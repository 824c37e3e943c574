#include "platform/SystemctlServiceManager.h"

#include "log/AppLogger.h"
#include "platform/CommandRunner.h"

#include <unistd.h>
#include <utility>

namespace tess {

namespace {

std::string trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

std::string firstLine(std::string_view text)
{
    const std::string all = trimmed(text);
    return all.substr(0, all.find('\n'));
}

}  // namespace

SystemctlServiceManager::SystemctlServiceManager()
    : SystemctlServiceManager(Options {})
{
}

SystemctlServiceManager::SystemctlServiceManager(Options options)
    : m_options(std::move(options))
{
}

std::vector<std::string> SystemctlServiceManager::defaultElevation()
{
    if (::geteuid() == 0) {
        return {};
    }
    return {"pkexec"};
}

ServiceStatus SystemctlServiceManager::statusFromIsEnabled(std::string_view state)
{
    // Units that run when needed, with or without an [Install] section.
    for (std::string_view word : {"enabled", "enabled-runtime", "static", "indirect", "generated", "transient", "alias"}) {
        if (state == word) {
            return ServiceStatus::enabled;
        }
    }
    // Installed but not enabled: what awaits approval here is the password
    // prompt that enables it, never a registration the application could do
    // on its own. Masked by the administrator: nothing starts it until
    // someone unmasks it.
    for (std::string_view word : {"disabled", "linked", "linked-runtime", "masked", "masked-runtime"}) {
        if (state == word) {
            return ServiceStatus::requiresApproval;
        }
    }
    // "not-found", "bad", or no answer at all.
    return ServiceStatus::notFound;
}

ServiceStatus SystemctlServiceManager::status()
{
    const auto outcome = CommandRunner::run({m_options.systemctl, "is-enabled", kUnitName}, m_options.queryTimeout);
    if (!outcome.started || outcome.timedOut) {
        TESS_LOG_WARN("ServiceManager: could not run " + m_options.systemctl + " is-enabled: "
            + (outcome.timedOut ? std::string("no answer in time") : outcome.error));
        return ServiceStatus::notFound;
    }
    return statusFromIsEnabled(firstLine(outcome.standardOutput));
}

Status SystemctlServiceManager::registerService()
{
    std::vector<std::string> command = m_options.elevation;
    command.insert(command.end(), {m_options.systemctl, "enable", "--now", kUnitName});
    return change(std::move(command), m_options.changeTimeout);
}

Status SystemctlServiceManager::unregisterService()
{
    std::vector<std::string> command = m_options.elevation;
    command.insert(command.end(), {m_options.systemctl, "disable", "--now", kUnitName});
    return change(std::move(command), m_options.changeTimeout);
}

Status SystemctlServiceManager::registerServiceWithoutPrompt()
{
    // No pkexec, and systemctl itself must not ask polkit to show a dialog.
    return change({m_options.systemctl, "--no-ask-password", "enable", "--now", kUnitName}, m_options.queryTimeout);
}

Status SystemctlServiceManager::unregisterServiceWithoutPrompt()
{
    return change({m_options.systemctl, "--no-ask-password", "disable", "--now", kUnitName}, m_options.queryTimeout);
}

Status SystemctlServiceManager::change(std::vector<std::string> command, std::chrono::milliseconds timeout)
{
    const auto outcome = CommandRunner::run(command, timeout);
    if (!outcome.started) {
        return Error {kAppErrorDomain, -1, "Could not run " + command.front() + ": " + outcome.error};
    }
    if (outcome.timedOut) {
        return Error {kAppErrorDomain, -1, command.front() + " did not finish in time"};
    }
    if (outcome.exitCode == 0) {
        return {};
    }
    std::string why = firstLine(outcome.standardError);
    if (why.empty()) {
        why = command.front() + " exited with status " + std::to_string(outcome.exitCode);
    }
    return Error {kAppErrorDomain, outcome.exitCode, why};
}

}  // namespace tess
