#include "helperclient/XPCService.h"

#include "HelperClient.h"
#include "HelperEndpoint.h"
#include "HelperMessage.h"
#include "log/AppLogger.h"

#include <chrono>
#include <cmath>
#include <utility>

namespace tess {

namespace {

// Seconds as a whole number of milliseconds; nothing negative or undefined.
std::chrono::milliseconds toTimeout(double seconds)
{
    if (!(seconds > 0.0)) {
        return std::chrono::milliseconds(0);
    }
    constexpr double kLongest = 24.0 * 3600.0;
    return std::chrono::milliseconds(static_cast<std::int64_t>(std::llround(std::fmin(seconds, kLongest) * 1000.0)));
}

}  // namespace

XPCService::XPCService()
    : XPCService(HelperEndpoint::socketPath())
{
}

XPCService::XPCService(std::string socketPath)
    : m_socketPath(std::move(socketPath))
{
}

XPCService::Outcome XPCService::call(const HelperRequest& request, double timeoutSeconds) const
{
    const HelperClient client(m_socketPath);
    HelperCallResult result = client.call(request, toTimeout(timeoutSeconds));
    switch (result.failure) {
    case HelperCallResult::Failure::none:
        return Reply {result.reply.success, std::move(result.reply.message)};
    case HelperCallResult::Failure::connectFailed:
        TESS_LOG_ERROR("❌ Error connecting to helper: " + result.detail);
        return makeXPCError(XPCError::proxyCreationFailed);
    case HelperCallResult::Failure::timedOut:
        return makeXPCError(XPCError::timeout);
    case HelperCallResult::Failure::noReply:
        TESS_LOG_WARN("⚠️ XPC connection interrupted for " + std::string(HelperEndpoint::kServiceName));
        return makeXPCError(XPCError::noResult);
    }
    return makeXPCError(XPCError::noResult);
}

XPCService::Outcome XPCService::testConnection(double timeoutSeconds) const
{
    return call({HelperSelector::testConnection, {}}, timeoutSeconds);
}

XPCService::Outcome XPCService::initializeHelper(const std::string& userHome, double timeoutSeconds) const
{
    return call({HelperSelector::initializeForUser, {userHome}}, timeoutSeconds);
}

XPCService::Outcome XPCService::createDirectory(const std::string& path, double timeoutSeconds) const
{
    return call({HelperSelector::createDirectory, {path}}, timeoutSeconds);
}

XPCService::Outcome XPCService::renameFile(const std::string& sourcePath, const std::string& destinationPath, double timeoutSeconds) const
{
    return call({HelperSelector::renameFile, {sourcePath, destinationPath}}, timeoutSeconds);
}

XPCService::Outcome XPCService::applyAttributes(const std::string& templatePath, const std::string& targetPath, double timeoutSeconds) const
{
    return call({HelperSelector::applyAttributes, {templatePath, targetPath}}, timeoutSeconds);
}

XPCService::Outcome XPCService::removeDirectory(const std::string& path, double timeoutSeconds) const
{
    return call({HelperSelector::removeDirectory, {path}}, timeoutSeconds);
}

}  // namespace tess
