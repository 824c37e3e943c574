#include "HelperToolService.h"

#include "ChildProcess.h"
#include "DiskImageOutput.h"
#include "FolderAttributes.h"
#include "LogText.h"
#include "PathRules.h"
#include "SafePath.h"
#include "Utf8.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>

#ifndef TESSALINE_DISKIMAGE_PATH
#define TESSALINE_DISKIMAGE_PATH "/usr/local/libexec/tessaline-diskimage"
#endif

namespace tess {

namespace {

constexpr const char* kToolName = "tessaline-diskimage";

std::string arrow(const std::string& from, const std::string& to)
{
    return from + " \u2192 " + to;
}

// A client's argument as the log shows it.
std::string shown(const std::string& argument)
{
    return LogText::clip(argument);
}

std::string errorText(const std::string& standardError)
{
    return Utf8::isWellFormed(standardError) ? standardError : "unknown error";
}

std::string utcNow()
{
    auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc {};
    ::gmtime_r(&now, &utc);
    char text[32];
    std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return std::string(text, length);
}

// The folder at `path`, open for reading (so that its attributes can be
// read and set through the descriptor); no component, the last included,
// may be a symbolic link.
UniqueFd openExistingFolder(const std::string& path, SafePath::Failure& failure)
{
    UniqueFd located = SafePath::openFolder(path, false, failure);
    if (!located.valid()) {
        return {};
    }
    UniqueFd opened(::openat(located.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!opened.valid()) {
        failure = {SafePath::Failure::Kind::failed, errno, path};
    }
    return opened;
}

// Whether the folder of which `item` is the statx is the root of a mount
// (also of a bind mount within one file system); `parentStatus` is the fstat
// of the folder holding it.
bool isMountPoint(const struct statx& item, const struct stat& parentStatus)
{
    if ((item.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 && (item.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0) {
        return true;
    }
    return makedev(item.stx_dev_major, item.stx_dev_minor) != parentStatus.st_dev;
}

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

}  // namespace

HelperToolService::HelperToolService(HelperLogger& logger, UserDirectory users, std::string diskImageTool,
    std::chrono::milliseconds childTimeLimit)
    : m_logger(logger)
    , m_users(std::move(users))
    , m_diskImageTool(std::move(diskImageTool))
    , m_childTimeLimit(childTimeLimit)
{
    logBanner();
}

std::string HelperToolService::installedDiskImageTool()
{
    return TESSALINE_DISKIMAGE_PATH;
}

void HelperToolService::logBanner()
{
    m_logger.logFixedText("\n\n" + std::string(113, '='), "INFO");
    m_logger.log("Helper tool started and listening for connections", "INFO");
    m_logger.log("Build: " + utcNow(), "INFO");
    m_logger.log(std::string("Version: ") + kVersion, "INFO");
    m_logger.log(std::string(80, '='), "INFO");
    m_logger.log("Waiting for main app to initialize with user home directory", "INFO");
}

std::optional<std::string> HelperToolService::userHome() const
{
    std::lock_guard lock(m_mutex);
    return m_userHome;
}

HelperReply HelperToolService::handle(const HelperRequest& request, ClientSession& client)
{
    const auto& args = request.arguments;
    if (args.size() != HelperSelectors::info(request.selector).argumentCount) {
        return {false, "Malformed request", {}};
    }
    switch (request.selector) {
    case HelperSelector::testConnection:
        return testConnection(client);
    case HelperSelector::getVersion:
        return getVersion(client);
    case HelperSelector::initializeForUser:
        return initializeForUser(args[0], client);
    case HelperSelector::createDirectory:
        return createDirectory(args[0], client);
    case HelperSelector::renameFile:
        return renameFile(args[0], args[1], client);
    case HelperSelector::mountDiskImage:
        return mountDiskImage(args[0], client);
    case HelperSelector::unmountDiskImage:
        return unmountDiskImage(args[0], client);
    case HelperSelector::applyAttributes:
        return applyAttributes(args[0], args[1], client);
    case HelperSelector::removeDirectory:
        return removeDirectory(args[0], client);
    }
    return {false, "Malformed request", {}};
}

HelperReply HelperToolService::refusePath(const std::string& path, ClientSession& client)
{
    const std::string text = "Path is not absolute: ";
    client.refuse(text + shown(path));
    return {false, text + path, {}};
}

HelperReply HelperToolService::refuseForbidden(const std::string& path, ClientSession& client)
{
    client.refuse(SafePath::Failure {SafePath::Failure::Kind::forbidden, 0, shown(path)}.describe());
    return {false, SafePath::Failure {SafePath::Failure::Kind::forbidden, 0, path}.describe(), {}};
}

Outcome HelperToolService::authorize(ClientSession& client, const std::string& what)
{
    const PeerContext& peer = client.peer();
    auto decision = client.authority().check(peer);
    if (decision.authorized) {
        client.authorized();
        return Outcome::success();
    }
    std::string text = std::string(kNotAuthorizedPrefix) + decision.reason;
    client.refuse(text + " (" + what + " for uid " + std::to_string(peer.uid) + ", pid " + std::to_string(peer.pid) + ")");
    return Failure {text};
}

HelperToolService::Admitted HelperToolService::admit(std::initializer_list<const std::string*> paths, ClientSession& client,
    const std::string& what)
{
    Admitted admitted;
    for (const std::string* path : paths) {
        auto standardized = PathRules::standardize(*path);
        if (!standardized) {
            admitted.refusal = refusePath(*path, client);
            return admitted;
        }
        admitted.paths.push_back(std::move(*standardized));
    }
    for (const std::string& path : admitted.paths) {
        if (SafePath::isForbidden(path)) {
            admitted.refusal = refuseForbidden(path, client);
            return admitted;
        }
    }
    if (Outcome authorized = authorize(client, what); !authorized) {
        admitted.refusal = HelperReply {false, authorized.reason(), {}};
    }
    return admitted;
}

HelperReply HelperToolService::fail(ClientSession& client, const std::string& logText, const std::string& replyText)
{
    client.log(logText, "ERROR");
    return {false, replyText, {}};
}

HelperReply HelperToolService::failAt(ClientSession& client, const std::string& logPrefix, const SafePath::Failure& failure,
    const std::string& replyPrefix)
{
    SafePath::Failure logged = failure;
    logged.at = shown(failure.at);
    return fail(client, logPrefix + logged.describe(), replyPrefix + failure.describe());
}

HelperReply HelperToolService::failFolder(ClientSession& client, const std::string& logPrefix, const SafePath::Failure& failure)
{
    if (failure.kind != SafePath::Failure::Kind::failed) {
        return failAt(client, logPrefix, failure);
    }
    const std::string text = "Not an existing folder: ";
    const std::string reason = std::string(" (") + std::strerror(failure.error) + ")";
    return fail(client, logPrefix + text + shown(failure.at) + reason, text + failure.at + reason);
}

ChildProcess::Options HelperToolService::childOptions() const
{
    ChildProcess::Options options;
    options.timeLimit = m_childTimeLimit;
    options.stopRequested = [this] { return m_stopping.load(); };
    return options;
}

std::string HelperToolService::timedOut(const std::string& verb) const
{
    auto seconds = std::chrono::duration_cast<std::chrono::duration<double>>(m_childTimeLimit).count();
    char limit[32];
    std::snprintf(limit, sizeof limit, "%g", seconds);
    return std::string(kToolName) + " " + verb + " failed: stopped after " + limit + " s without an answer";
}

HelperReply HelperToolService::testConnection(ClientSession& client)
{
    client.log("testHelperConnection called", "DEBUG");
    return {true, "Helper tool is responding correctly", {}};
}

HelperReply HelperToolService::getVersion(ClientSession& client)
{
    client.log("getHelperVersion called", "DEBUG");
    return {true, kVersion, std::string("Version ") + kVersion};
}

HelperReply HelperToolService::initializeForUser(const std::string& userHome, ClientSession& client)
{
    // Only the caller's own home is accepted: the log is written there as root.
    auto account = m_users.lookup(client.peer().uid);
    if (!account || account->home.empty() || withoutTrailingSlashes(userHome) != withoutTrailingSlashes(account->home)) {
        const std::string text = "The home folder does not belong to the calling user: ";
        client.refuse(text + shown(userHome));
        return {false, text + userHome, {}};
    }
    {
        std::lock_guard lock(m_mutex);
        m_userHome = userHome;
    }
    m_logger.setUserHome(withoutTrailingSlashes(account->home), account->uid, account->gid);
    client.log("=== Helper Initialized ===", "INFO");
    client.log("User home: " + shown(userHome), "INFO");
    client.log("Global log: ~/.local/state/quenby/Tessaline-helper.log", "INFO");
    return {true, {}, {}};
}

HelperReply HelperToolService::createDirectory(const std::string& path, ClientSession& client)
{
    client.request("Request to create directory: " + shown(path));
    Admitted admitted = admit({&path}, client, "create directory");
    if (admitted.refusal) {
        return *admitted.refusal;
    }
    const std::string& p = admitted.paths.front();

    auto failed = [&](const SafePath::Failure& failure) { return failAt(client, "Failed to create directory " + shown(p) + ": ", failure); };
    const std::string name = SafePath::lastComponent(p);
    SafePath::Failure failure;
    UniqueFd parent = SafePath::openFolder(PathRules::parent(p), false, failure);
    if (parent.valid()) {
        // The last component too is looked at, not followed.
        struct stat info { };
        if (name.empty() || ::fstatat(parent.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
            if (!name.empty() && !S_ISDIR(info.st_mode)) {
                return {false, "A file already exists at the target directory path", {}};
            }
            client.log("Directory already exists at " + shown(p), "DEBUG");
            return {true, {}, {}};
        }
    } else if (failure.kind != SafePath::Failure::Kind::failed) {
        return failed(failure);
    } else {
        parent = SafePath::openFolder(PathRules::parent(p), true, failure);
        if (!parent.valid()) {
            return failed(failure);
        }
    }
    if (::mkdirat(parent.get(), name.c_str(), 0777) != 0) {
        int error = errno;
        struct stat info { };
        bool folder = error == EEXIST && ::fstatat(parent.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
        if (!folder) {
            return failed(SafePath::Failure {SafePath::Failure::Kind::failed, error, p});
        }
    }
    client.log("Successfully created directory: " + shown(p), "INFO");
    return {true, {}, {}};
}

HelperReply HelperToolService::renameFile(const std::string& sourcePath, const std::string& destinationPath, ClientSession& client)
{
    client.request("Request to rename: " + arrow(shown(sourcePath), shown(destinationPath)));
    for (const std::string* path : {&sourcePath, &destinationPath}) {
        if (!PathRules::isAbsolute(*path)) {
            return refusePath(*path, client);
        }
    }
    for (const std::string* path : {&sourcePath, &destinationPath}) {
        if (SafePath::isForbidden(*path)) {
            return refuseForbidden(*path, client);
        }
    }
    if (Outcome authorized = authorize(client, "rename"); !authorized) {
        return {false, authorized.reason(), {}};
    }

    const std::string logPrefix = "Failed to rename " + shown(sourcePath) + ": ";
    auto failed = [&](const std::string& text, const std::string& logged) { return fail(client, logPrefix + logged, text); };
    auto failedAt = [&](const SafePath::Failure& failure) { return failAt(client, logPrefix, failure); };

    // The item itself is renamed, so a symbolic link counts as existing; the
    // folders above it are opened without following any link.
    const std::string sourceName = SafePath::lastComponent(sourcePath);
    SafePath::Failure failure;
    UniqueFd sourceFolder = SafePath::openFolder(PathRules::parent(sourcePath), false, failure);
    if (!sourceFolder.valid() && failure.kind != SafePath::Failure::Kind::failed) {
        return failedAt(failure);
    }
    struct stat info { };
    if (!sourceFolder.valid() || sourceName.empty() || ::fstatat(sourceFolder.get(), sourceName.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return {false, "Source file does not exist: " + sourcePath, {}};
    }

    // The parent as written: "/a/x/../b" needs /a/x. Missing folders are made.
    const std::string destinationName = SafePath::lastComponent(destinationPath);
    UniqueFd destinationFolder = SafePath::openFolder(PathRules::parent(destinationPath), true, failure);
    if (!destinationFolder.valid()) {
        if (failure.kind != SafePath::Failure::Kind::failed) {
            return failedAt(failure);
        }
        const std::string text = "Failed to create parent directory: ";
        return failAt(client, text, failure, text);
    }

    if (m_checkpoint) {
        m_checkpoint(sourcePath, destinationPath);
    }

    // Never replace an existing item. Whatever happened to the paths since
    // the checks, the rename acts in the folders that were opened.
    int result = ::renameat2(sourceFolder.get(), sourceName.c_str(), destinationFolder.get(), destinationName.c_str(), RENAME_NOREPLACE);
    if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
        if (::fstatat(destinationFolder.get(), destinationName.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
            errno = EEXIST;
        } else {
            errno = 0;
            result = ::renameat(sourceFolder.get(), sourceName.c_str(), destinationFolder.get(), destinationName.c_str());
        }
    }
    if (result != 0) {
        const std::string text = std::strerror(errno);
        return failed(text, text);
    }
    client.log("Successfully renamed: " + arrow(shown(sourcePath), shown(destinationPath)), "INFO");
    return {true, {}, {}};
}

HelperReply HelperToolService::mountDiskImage(const std::string& path, ClientSession& client)
{
    auto standardized = PathRules::standardize(path);
    if (!standardized) {
        client.request("Request to mount disk image with ownership: " + shown(path));
        return refusePath(path, client);
    }
    const std::string& p = *standardized;
    client.request("Request to mount disk image with ownership: " + shown(p));
    if (SafePath::isForbidden(p)) {
        return refuseForbidden(p, client);
    }
    if (Outcome authorized = authorize(client, "mount"); !authorized) {
        return {false, authorized.reason(), {}};
    }

    SafePath::Failure failure;
    UniqueFd folder = SafePath::openFolder(PathRules::parent(p), false, failure);
    if (!folder.valid() && failure.kind != SafePath::Failure::Kind::failed) {
        return failAt(client, "", failure);
    }
    struct stat info { };
    const std::string name = SafePath::lastComponent(p);
    if (!folder.valid() || name.empty() || ::fstatat(folder.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return {false, "Disk image not found: " + p, {}};
    }

    auto child = ChildProcess::run({m_diskImageTool, "attach", p, "-owners", "on", "-nobrowse", "-plist"}, childOptions());
    if (auto failedChild = childFailure(child, "attach", client)) {
        if (child.launched && !child.exitedNormally) {
            cleanUpAfterAttach(p, client);
        }
        return *failedChild;
    }
    auto parsed = DiskImageOutput::parse(child.standardOutput);
    switch (parsed.outcome) {
    case DiskImageOutput::Outcome::unreadable:
        return fail(client, std::string("Failed to parse ") + kToolName + " plist output",
            std::string("Failed to parse mount point from ") + kToolName + " output");
    case DiskImageOutput::Outcome::noMountPoint:
        return fail(client, std::string("No mount point found in ") + kToolName + " output", "Image attached but no mount point found");
    case DiskImageOutput::Outcome::mounted:
        break;
    }
    client.log("Successfully mounted " + shown(p) + " at " + shown(parsed.mountPoint) + " with ownership enabled", "INFO");
    return {true, parsed.mountPoint, {}};
}

HelperReply HelperToolService::unmountDiskImage(const std::string& mountPoint, ClientSession& client)
{
    client.request("Request to unmount disk image at: " + shown(mountPoint));
    if (!PathRules::isAbsolute(mountPoint)) {
        return refusePath(mountPoint, client);
    }
    if (SafePath::isForbidden(mountPoint)) {
        return refuseForbidden(mountPoint, client);
    }
    if (Outcome authorized = authorize(client, "unmount"); !authorized) {
        return {false, authorized.reason(), {}};
    }

    ChildProcess::Options options = childOptions();
    options.captureStdout = false;
    auto child = ChildProcess::run({m_diskImageTool, "detach", mountPoint, "-quiet", "-force"}, options);
    if (auto failedChild = childFailure(child, "detach", client)) {
        return *failedChild;
    }
    client.log("Successfully unmounted: " + shown(mountPoint), "INFO");
    return {true, {}, {}};
}

HelperReply HelperToolService::applyAttributes(const std::string& templatePath, const std::string& targetPath, ClientSession& client)
{
    client.request("Request to apply attributes: " + arrow(shown(templatePath), shown(targetPath)));
    Admitted admitted = admit({&templatePath, &targetPath}, client, "apply attributes");
    if (admitted.refusal) {
        return *admitted.refusal;
    }
    const std::string* templateFolder = &admitted.paths[0];
    const std::string* targetFolder = &admitted.paths[1];

    const std::string logPrefix = "Failed to apply attributes " + arrow(shown(*templateFolder), shown(*targetFolder)) + ": ";
    SafePath::Failure failure;
    UniqueFd source = openExistingFolder(*templateFolder, failure);
    if (!source.valid()) {
        return failFolder(client, logPrefix, failure);
    }
    UniqueFd target = openExistingFolder(*targetFolder, failure);
    if (!target.valid()) {
        return failFolder(client, logPrefix, failure);
    }
    struct stat templateStatus { };
    if (::fstat(source.get(), &templateStatus) != 0) {
        return failFolder(client, logPrefix, {SafePath::Failure::Kind::failed, errno, *templateFolder});
    }

    if (m_checkpoint) {
        m_checkpoint(*templateFolder, *targetFolder);
    }

    // Owner, group and mode decide the reply: a stand-in with another owner
    // or mode than its original is a failure. ACLs, attributes and times are
    // copied as far as the file systems allow, and what was not is named.
    const FolderAttributes::Outcome outcome = FolderAttributes::apply(source.get(), templateStatus, target.get());
    if (outcome.requiredFailure) {
        const std::string reason = std::strerror(outcome.requiredFailure->error);
        const std::string what = "Failed to set " + outcome.requiredFailure->what + " of ";
        return fail(client, logPrefix + what + shown(*targetFolder) + ": " + reason, what + *targetFolder + ": " + reason);
    }
    if (!outcome.notCopied.empty()) {
        std::string steps;
        for (const auto& step : outcome.notCopied) {
            steps += (steps.empty() ? "" : "; ") + step.describe();
        }
        client.log("Applied attributes in part: " + arrow(shown(*templateFolder), shown(*targetFolder)) + "; not copied: " + steps, "ERROR");
        return {true, "Owner, group and mode were applied, but not: " + steps, {}};
    }
    client.log("Successfully applied attributes: " + arrow(shown(*templateFolder), shown(*targetFolder)), "INFO");
    return {true, {}, {}};
}

HelperReply HelperToolService::removeDirectory(const std::string& path, ClientSession& client)
{
    client.request("Request to remove directory: " + shown(path));
    Admitted admitted = admit({&path}, client, "remove directory");
    if (admitted.refusal) {
        return *admitted.refusal;
    }
    const std::string& p = admitted.paths.front();

    const std::string logPrefix = "Failed to remove directory " + shown(p) + ": ";
    auto failed = [&](const std::string& text, const std::string& logged) { return fail(client, logPrefix + logged, text); };
    const std::string mountPoint = "Refused to remove a mount point: ";
    const std::string name = SafePath::lastComponent(p);
    if (name.empty()) {
        return failed(mountPoint + p, mountPoint + shown(p));
    }
    SafePath::Failure failure;
    UniqueFd parent = SafePath::openFolder(PathRules::parent(p), false, failure);
    if (!parent.valid()) {
        return failFolder(client, logPrefix, failure);
    }
    // The folder itself is looked at, not followed.
    struct statx item { };
    struct stat parentStatus { };
    if (::statx(parent.get(), name.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_TYPE, &item) != 0
        || ::fstat(parent.get(), &parentStatus) != 0) {
        return failFolder(client, logPrefix, {SafePath::Failure::Kind::failed, errno, p});
    }
    if (S_ISLNK(item.stx_mode)) {
        return failFolder(client, logPrefix, {SafePath::Failure::Kind::link, ELOOP, p});
    }
    if (!S_ISDIR(item.stx_mode)) {
        return failFolder(client, logPrefix, {SafePath::Failure::Kind::failed, ENOTDIR, p});
    }
    if (isMountPoint(item, parentStatus)) {
        return failed(mountPoint + p, mountPoint + shown(p));
    }

    if (m_checkpoint) {
        m_checkpoint(p, {});
    }

    // Only an empty folder, in the folder that was checked: rmdir refuses a
    // folder with anything in it, and a link put in its place meanwhile.
    if (::unlinkat(parent.get(), name.c_str(), AT_REMOVEDIR) != 0) {
        const std::string text = std::strerror(errno);
        return failed(text, text);
    }
    client.log("Successfully removed directory: " + shown(p), "INFO");
    return {true, {}, {}};
}

void HelperToolService::cleanUpAfterAttach(const std::string& image, ClientSession& client) const
{
    ChildProcess::Options options;
    options.timeLimit = m_stopping ? std::chrono::milliseconds(1000) : m_childTimeLimit;
    auto cleanup = ChildProcess::run({m_diskImageTool, "cleanup", image}, options);
    if (!cleanup.succeeded()) {
        const std::string why = cleanup.timedOut ? "stopped without an answer"
            : !cleanup.launched                  ? cleanup.launchError
                                                 : errorText(cleanup.standardError);
        client.log(std::string(kToolName) + " cleanup failed: " + why, "ERROR");
    }
}

std::optional<HelperReply> HelperToolService::childFailure(const ChildProcess::Result& child, const std::string& verb, ClientSession& client) const
{
    if (child.timedOut) {
        std::string text = timedOut(verb);
        return fail(client, text, text);
    }
    if (child.stopped) {
        std::string text = std::string(kToolName) + " " + verb + " failed: stopped as the helper exits";
        return fail(client, text, text);
    }
    if (!child.launched) {
        // The detach names its verb in the log only.
        std::string logged = std::string("Failed to launch ") + kToolName + (verb == "detach" ? " detach" : "") + ": " + child.launchError;
        return fail(client, logged, std::string("Failed to launch ") + kToolName + ": " + child.launchError);
    }
    if (!child.exitedNormally || child.exitCode != 0) {
        std::string text = std::string(kToolName) + " " + verb + " failed: " + errorText(child.standardError);
        return fail(client, text, text);
    }
    return std::nullopt;
}

}  // namespace tess
