#pragma once

#include "HelperLogger.h"
#include "HelperMessage.h"
#include "UserDirectory.h"

#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>

namespace tess {

// The credentials of the process at the other end of a connection.
struct PeerContext {
    pid_t pid = 0;
    uid_t uid = 0;
    gid_t gid = 0;
};

// The seven operations of the daemon, run as root on the calling
// connection's thread. Each answers exactly once with a flag and a message
// and logs what it did. Paths arrive from another process and are treated as
// hostile: they must be absolute, and nothing is ever replaced by a rename.
class HelperToolService {
public:
    static constexpr const char* kVersion = "1.0";

    // Writes the start-up banner to `logger`.
    HelperToolService(HelperLogger& logger, UserDirectory users, std::string diskImageTool);

    // The disk-image program installed beside the daemon.
    static std::string installedDiskImageTool();

    HelperReply handle(const HelperRequest& request, const PeerContext& peer);

    HelperReply testConnection();
    HelperReply getVersion();
    HelperReply initializeForUser(const std::string& userHome, const PeerContext& peer);
    HelperReply createDirectory(const std::string& path);
    HelperReply renameFile(const std::string& sourcePath, const std::string& destinationPath);
    HelperReply mountDiskImage(const std::string& path);
    HelperReply unmountDiskImage(const std::string& mountPoint);

    std::optional<std::string> userHome() const;

private:
    void logBanner();
    HelperReply refusePath(const std::string& path);

    HelperLogger& m_logger;
    UserDirectory m_users;
    std::string m_diskImageTool;
    mutable std::mutex m_mutex;
    std::optional<std::string> m_userHome;
};

}  // namespace tess
