#pragma once

#include "core/Error.h"
#include "helperclient/XPCError.h"

#include <string>

namespace tess {

struct HelperRequest;

// Blocking calls to the privileged daemon, usable from any thread. Every call
// opens its own connection and closes it after the reply, the time-out or the
// failure. A call fails at once when the daemon cannot be reached; otherwise
// it waits at most its time-out (seconds) for the reply.
//
// Outcomes: the daemon's (success, message) unchanged, also when success is
// false; or an XPCError (see makeXPCError): proxyCreationFailed when no
// connection could be made, timeout when no reply came in time, noResult when
// the daemon hung up or answered garbage.
class XPCService {
public:
    struct Reply {
        bool success = false;
        std::string message;

        friend bool operator==(const Reply&, const Reply&) = default;
    };
    using Outcome = Result<Reply>;

    static constexpr double kPingTimeout = 2.0;
    static constexpr double kOperationTimeout = 10.0;

    // The daemon's socket: TESSALINE_HELPER_SOCKET or the default path.
    XPCService();
    explicit XPCService(std::string socketPath);

    const std::string& socketPath() const { return m_socketPath; }

    Outcome testConnection(double timeoutSeconds = kPingTimeout) const;
    Outcome initializeHelper(const std::string& userHome, double timeoutSeconds = kOperationTimeout) const;
    Outcome createDirectory(const std::string& path, double timeoutSeconds = kOperationTimeout) const;
    Outcome renameFile(const std::string& sourcePath, const std::string& destinationPath, double timeoutSeconds = kOperationTimeout) const;
    // The folder at `targetPath` takes the owner, group and mode of the folder
    // at `templatePath`, and as far as it can its ACLs, `user.` extended
    // attributes and times: success with an empty message when everything
    // was copied, success with a message naming what was not when only owner,
    // group and mode were, else a failure.
    Outcome applyAttributes(const std::string& templatePath, const std::string& targetPath, double timeoutSeconds = kOperationTimeout) const;
    // Removes the empty folder at `path` (never a non-empty one, a link or a
    // mount point).
    Outcome removeDirectory(const std::string& path, double timeoutSeconds = kOperationTimeout) const;

private:
    Outcome call(const HelperRequest& request, double timeoutSeconds) const;

    std::string m_socketPath;
};

}  // namespace tess
