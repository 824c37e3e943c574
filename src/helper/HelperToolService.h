#pragma once

#include "HelperLogger.h"
#include "HelperMessage.h"
#include "Outcome.h"
#include "PolkitAuthority.h"
#include "UserDirectory.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>

namespace tess {

// The seven operations of the daemon, run as root on the calling
// connection's thread. Each answers exactly once with a flag and a message
// and logs what it did. Paths arrive from another process and are treated as
// hostile: they must be absolute, nothing is ever replaced by a rename, no
// symbolic link is followed in any component, and /proc, /sys and /dev are
// refused. Every operation that changes the file system is first put to
// polkit for the calling process; without a clear yes nothing is done.
class HelperToolService {
public:
    static constexpr const char* kVersion = "1.0";
    static constexpr std::chrono::seconds kDefaultChildTimeLimit {60};

    // Runs between a rename's checks and the rename itself, with the source
    // and destination paths. Test builds only.
    using CheckpointHook = std::function<void(const std::string&, const std::string&)>;

    // Writes the start-up banner to `logger`. The disk-image program is
    // stopped once it has run for `childTimeLimit`.
    HelperToolService(HelperLogger& logger, UserDirectory users, std::string diskImageTool,
        std::chrono::milliseconds childTimeLimit = kDefaultChildTimeLimit);

    // The disk-image program installed beside the daemon.
    static std::string installedDiskImageTool();

    void setCheckpointHook(CheckpointHook hook) { m_checkpoint = std::move(hook); }

    // `authority` asks polkit for this caller (one per connection).
    HelperReply handle(const HelperRequest& request, const PeerContext& peer, PolkitAuthority& authority);

    HelperReply testConnection();
    HelperReply getVersion();
    HelperReply initializeForUser(const std::string& userHome, const PeerContext& peer);
    HelperReply createDirectory(const std::string& path, const PeerContext& peer, PolkitAuthority& authority);
    HelperReply renameFile(const std::string& sourcePath, const std::string& destinationPath, const PeerContext& peer,
        PolkitAuthority& authority);
    HelperReply mountDiskImage(const std::string& path, const PeerContext& peer, PolkitAuthority& authority);
    HelperReply unmountDiskImage(const std::string& mountPoint, const PeerContext& peer, PolkitAuthority& authority);

    std::optional<std::string> userHome() const;

private:
    void logBanner();
    HelperReply refusePath(const std::string& path);
    HelperReply refuseForbidden(const std::string& path);
    // Success when polkit authorises the peer; else the refusal, logged,
    // whose reason is the reply's message.
    Outcome authorize(const PeerContext& peer, PolkitAuthority& authority, const std::string& what);
    std::string timedOut(const std::string& verb) const;

    HelperLogger& m_logger;
    UserDirectory m_users;
    std::string m_diskImageTool;
    std::chrono::milliseconds m_childTimeLimit;
    CheckpointHook m_checkpoint;
    mutable std::mutex m_mutex;
    std::optional<std::string> m_userHome;
};

}  // namespace tess
