#pragma once

#include "ChildProcess.h"
#include "ClientSession.h"
#include "HelperLogger.h"
#include "HelperMessage.h"
#include "Outcome.h"
#include "SafePath.h"
#include "UserDirectory.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tess {

// The operations of the daemon, run as root on the calling connection's
// thread. Each answers exactly once with a flag and a message
// and logs what it did. Paths arrive from another process and are treated as
// hostile: they must be absolute, nothing is ever replaced by a rename, no
// symbolic link is followed in any component, and /proc, /sys and /dev are
// refused. Every operation that changes the file system is first put to
// polkit for the calling process; without a clear yes nothing is done.
class HelperToolService {
public:
    static constexpr const char* kVersion = "1.0";
    static constexpr std::chrono::seconds kDefaultChildTimeLimit {60};

    // Runs between an operation's checks and its change: a rename's, with
    // the source and destination paths; an attribute copy's, with the
    // template and target paths; a removal's, with the path and "". Test
    // builds only.
    using CheckpointHook = std::function<void(const std::string&, const std::string&)>;

    // Writes the start-up banner to `logger`. The disk-image program is
    // stopped once it has run for `childTimeLimit`.
    HelperToolService(HelperLogger& logger, UserDirectory users, std::string diskImageTool,
        std::chrono::milliseconds childTimeLimit = kDefaultChildTimeLimit);

    // The disk-image program installed beside the daemon.
    static std::string installedDiskImageTool();

    void setCheckpointHook(CheckpointHook hook) { m_checkpoint = std::move(hook); }

    // The daemon is stopping: the disk-image programs running are stopped
    // (SIGTERM, then SIGKILL after ChildProcess::kStopGrace), as is any
    // started later, except the short cleanup after a stopped attach.
    void stopChildren() { m_stopping = true; }

    // `client` is the calling connection: its peer, its polkit questions
    // and its log entries. Client arguments are logged cut to a few hundred
    // bytes; the replies carry them whole.
    HelperReply handle(const HelperRequest& request, ClientSession& client);

    HelperReply testConnection(ClientSession& client);
    HelperReply getVersion(ClientSession& client);
    HelperReply initializeForUser(const std::string& userHome, ClientSession& client);
    HelperReply createDirectory(const std::string& path, ClientSession& client);
    HelperReply renameFile(const std::string& sourcePath, const std::string& destinationPath, ClientSession& client);
    HelperReply mountDiskImage(const std::string& path, ClientSession& client);
    HelperReply unmountDiskImage(const std::string& mountPoint, ClientSession& client);
    // The folder at `targetPath` takes the owner, group, mode, ACLs, `user.`
    // extended attributes and times of the folder at `templatePath` (see
    // FolderAttributes). Success needs owner, group and mode; a step after
    // them that fails is named in the message of a successful reply.
    HelperReply applyAttributes(const std::string& templatePath, const std::string& targetPath, ClientSession& client);
    // Removes the empty folder at `path` with rmdir: never anything in it, a
    // symbolic link or a mount point.
    HelperReply removeDirectory(const std::string& path, ClientSession& client);

    std::optional<std::string> userHome() const;

private:
    void logBanner();
    static HelperReply refusePath(const std::string& path, ClientSession& client);
    static HelperReply refuseForbidden(const std::string& path, ClientSession& client);
    // Success when polkit authorises the peer; else the refusal, logged,
    // whose reason is the reply's message.
    static Outcome authorize(ClientSession& client, const std::string& what);
    // The standardized forms of the folder paths a client sent, once each is
    // absolute and allowed and polkit authorises `what`; else the reply that
    // refuses the request, logged.
    struct Admitted {
        std::vector<std::string> paths;
        std::optional<HelperReply> refusal;
    };
    static Admitted admit(std::initializer_list<const std::string*> paths, ClientSession& client, const std::string& what);
    // The failure of a step of an operation, logged as `logText` (its client
    // arguments cut) and answered with `replyText`.
    static HelperReply fail(ClientSession& client, const std::string& logText, const std::string& replyText);
    // The failure of a step at a path, logged after `logPrefix` (its path
    // cut) and answered after `replyPrefix` (its path whole).
    static HelperReply failAt(ClientSession& client, const std::string& logPrefix, const SafePath::Failure& failure,
        const std::string& replyPrefix = {});
    // The failure to open a folder that must exist, logged after `logPrefix`.
    static HelperReply failFolder(ClientSession& client, const std::string& logPrefix, const SafePath::Failure& failure);
    std::string timedOut(const std::string& verb) const;
    // The reply for a run of the disk-image program that failed, logged;
    // empty when it succeeded.
    std::optional<HelperReply> childFailure(const ChildProcess::Result& child, const std::string& verb, ClientSession& client) const;
    ChildProcess::Options childOptions() const;
    // After an attach that had to be stopped: has the disk-image program
    // detach the image's loop devices that nothing holds and remove the
    // folder it made, whatever the stopped program could not undo.
    void cleanUpAfterAttach(const std::string& image, ClientSession& client) const;

    HelperLogger& m_logger;
    UserDirectory m_users;
    std::string m_diskImageTool;
    std::chrono::milliseconds m_childTimeLimit;
    CheckpointHook m_checkpoint;
    std::atomic<bool> m_stopping {false};
    mutable std::mutex m_mutex;
    std::optional<std::string> m_userHome;
};

}  // namespace tess
