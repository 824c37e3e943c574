#pragma once

#include "HelperMessage.h"

#include <chrono>
#include <string>

namespace tess {

// The outcome of one call: the daemon's reply, or why there is none.
struct HelperCallResult {
    enum class Failure {
        none,
        connectFailed,  // no daemon at the socket, or the request could not be built
        timedOut,  // no complete reply within the time-out
        noReply,  // the daemon closed the connection or answered garbage
    };

    Failure failure = Failure::none;
    std::string detail;  // the system's error text for connectFailed, else empty
    HelperReply reply;  // meaningful when ok()

    bool ok() const { return failure == Failure::none; }
};

// Blocking calls to the daemon, one connection per call, usable from any
// thread. Connecting fails at once when nobody listens; sending the request
// and waiting for the reply share one time-out.
class HelperClient {
public:
    using Timeout = std::chrono::milliseconds;

    explicit HelperClient(std::string socketPath);
    // Uses HelperEndpoint::socketPath().
    HelperClient();

    const std::string& socketPath() const { return m_socketPath; }

    HelperCallResult call(const HelperRequest& request, Timeout timeout) const;

    HelperCallResult testConnection(Timeout timeout) const;
    HelperCallResult getVersion(Timeout timeout) const;
    HelperCallResult initializeForUser(const std::string& userHome, Timeout timeout) const;
    HelperCallResult createDirectory(const std::string& path, Timeout timeout) const;
    HelperCallResult renameFile(const std::string& sourcePath, const std::string& destinationPath, Timeout timeout) const;
    HelperCallResult mountDiskImage(const std::string& path, Timeout timeout) const;
    HelperCallResult unmountDiskImage(const std::string& mountPoint, Timeout timeout) const;
    HelperCallResult applyAttributes(const std::string& templatePath, const std::string& targetPath, Timeout timeout) const;
    HelperCallResult removeDirectory(const std::string& path, Timeout timeout) const;

private:
    std::string m_socketPath;
};

}  // namespace tess
