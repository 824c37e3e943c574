#include "HelperToolService.h"

#include "ChildProcess.h"
#include "DiskImageOutput.h"
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

HelperReply HelperToolService::handle(const HelperRequest& request, const PeerContext& peer, PolkitAuthority& authority)
{
    const auto& args = request.arguments;
    if (args.size() != HelperSelectors::info(request.selector).argumentCount) {
        return {false, "Malformed request", {}};
    }
    switch (request.selector) {
    case HelperSelector::testConnection:
        return testConnection();
    case HelperSelector::getVersion:
        return getVersion();
    case HelperSelector::initializeForUser:
        return initializeForUser(args[0], peer);
    case HelperSelector::createDirectory:
        return createDirectory(args[0], peer, authority);
    case HelperSelector::renameFile:
        return renameFile(args[0], args[1], peer, authority);
    case HelperSelector::mountDiskImage:
        return mountDiskImage(args[0], peer, authority);
    case HelperSelector::unmountDiskImage:
        return unmountDiskImage(args[0], peer, authority);
    }
    return {false, "Malformed request", {}};
}

HelperReply HelperToolService::refusePath(const std::string& path)
{
    std::string text = "Path is not absolute: " + path;
    m_logger.log(text, "ERROR");
    return {false, text, {}};
}

HelperReply HelperToolService::refuseForbidden(const std::string& path)
{
    SafePath::Failure failure {SafePath::Failure::Kind::forbidden, 0, path};
    std::string text = failure.describe();
    m_logger.log(text, "ERROR");
    return {false, text, {}};
}

Outcome HelperToolService::authorize(const PeerContext& peer, PolkitAuthority& authority, const std::string& what)
{
    auto decision = authority.check(peer);
    if (decision.authorized) {
        return Outcome::success();
    }
    std::string text = "Not authorized: " + decision.reason;
    m_logger.log(text + " (" + what + " for uid " + std::to_string(peer.uid) + ", pid " + std::to_string(peer.pid) + ")", "ERROR");
    return Failure {text};
}

std::string HelperToolService::timedOut(const std::string& verb) const
{
    auto seconds = std::chrono::duration_cast<std::chrono::duration<double>>(m_childTimeLimit).count();
    char limit[32];
    std::snprintf(limit, sizeof limit, "%g", seconds);
    return std::string(kToolName) + " " + verb + " failed: stopped after " + limit + " s without an answer";
}

HelperReply HelperToolService::testConnection()
{
    m_logger.log("testHelperConnection called", "DEBUG");
    return {true, "Helper tool is responding correctly", {}};
}

HelperReply HelperToolService::getVersion()
{
    m_logger.log("getHelperVersion called", "DEBUG");
    return {true, kVersion, std::string("Version ") + kVersion};
}

HelperReply HelperToolService::initializeForUser(const std::string& userHome, const PeerContext& peer)
{
    // Only the caller's own home is accepted: the log is written there as root.
    auto account = m_users.lookup(peer.uid);
    if (!account || account->home.empty() || withoutTrailingSlashes(userHome) != withoutTrailingSlashes(account->home)) {
        std::string text = "The home folder does not belong to the calling user: " + userHome;
        m_logger.log(text, "ERROR");
        return {false, text, {}};
    }
    {
        std::lock_guard lock(m_mutex);
        m_userHome = userHome;
    }
    m_logger.setUserHome(withoutTrailingSlashes(account->home), account->uid, account->gid);
    m_logger.log("=== Helper Initialized ===", "INFO");
    m_logger.log("User home: " + userHome, "INFO");
    m_logger.log("Global log: ~/.local/state/quenby/Tessaline-helper.log", "INFO");
    return {true, {}, {}};
}

HelperReply HelperToolService::createDirectory(const std::string& path, const PeerContext& peer, PolkitAuthority& authority)
{
    m_logger.log("Request to create directory: " + path, "INFO");
    auto standardized = PathRules::standardize(path);
    if (!standardized) {
        return refusePath(path);
    }
    const std::string& p = *standardized;
    if (SafePath::isForbidden(p)) {
        return refuseForbidden(p);
    }
    if (Outcome authorized = authorize(peer, authority, "create directory"); !authorized) {
        return {false, authorized.reason(), {}};
    }

    auto fail = [&](const std::string& text) {
        m_logger.log("Failed to create directory " + p + ": " + text, "ERROR");
        return HelperReply {false, text, {}};
    };
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
            m_logger.log("Directory already exists at " + p, "DEBUG");
            return {true, {}, {}};
        }
    } else if (failure.kind != SafePath::Failure::Kind::failed) {
        return fail(failure.describe());
    } else {
        parent = SafePath::openFolder(PathRules::parent(p), true, failure);
        if (!parent.valid()) {
            return fail(failure.describe());
        }
    }
    if (::mkdirat(parent.get(), name.c_str(), 0777) != 0) {
        int error = errno;
        struct stat info { };
        bool folder = error == EEXIST && ::fstatat(parent.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
        if (!folder) {
            return fail(SafePath::Failure {SafePath::Failure::Kind::failed, error, p}.describe());
        }
    }
    m_logger.log("Successfully created directory: " + p, "INFO");
    return {true, {}, {}};
}

HelperReply HelperToolService::renameFile(const std::string& sourcePath, const std::string& destinationPath,
    const PeerContext& peer, PolkitAuthority& authority)
{
    m_logger.log("Request to rename: " + arrow(sourcePath, destinationPath), "INFO");
    if (!PathRules::isAbsolute(sourcePath)) {
        return refusePath(sourcePath);
    }
    if (!PathRules::isAbsolute(destinationPath)) {
        return refusePath(destinationPath);
    }
    if (SafePath::isForbidden(sourcePath)) {
        return refuseForbidden(sourcePath);
    }
    if (SafePath::isForbidden(destinationPath)) {
        return refuseForbidden(destinationPath);
    }
    if (Outcome authorized = authorize(peer, authority, "rename"); !authorized) {
        return {false, authorized.reason(), {}};
    }

    auto fail = [&](const std::string& text) {
        m_logger.log("Failed to rename " + sourcePath + ": " + text, "ERROR");
        return HelperReply {false, text, {}};
    };

    // The item itself is renamed, so a symbolic link counts as existing; the
    // folders above it are opened without following any link.
    const std::string sourceName = SafePath::lastComponent(sourcePath);
    SafePath::Failure failure;
    UniqueFd sourceFolder = SafePath::openFolder(PathRules::parent(sourcePath), false, failure);
    if (!sourceFolder.valid() && failure.kind != SafePath::Failure::Kind::failed) {
        return fail(failure.describe());
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
            return fail(failure.describe());
        }
        std::string text = "Failed to create parent directory: " + failure.describe();
        m_logger.log(text, "ERROR");
        return {false, text, {}};
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
        return fail(std::strerror(errno));
    }
    m_logger.log("Successfully renamed: " + arrow(sourcePath, destinationPath), "INFO");
    return {true, {}, {}};
}

HelperReply HelperToolService::mountDiskImage(const std::string& path, const PeerContext& peer, PolkitAuthority& authority)
{
    auto standardized = PathRules::standardize(path);
    if (!standardized) {
        return refusePath(path);
    }
    const std::string& p = *standardized;
    m_logger.log("Request to mount disk image with ownership: " + p, "INFO");
    if (SafePath::isForbidden(p)) {
        return refuseForbidden(p);
    }
    if (Outcome authorized = authorize(peer, authority, "mount"); !authorized) {
        return {false, authorized.reason(), {}};
    }

    SafePath::Failure failure;
    UniqueFd folder = SafePath::openFolder(PathRules::parent(p), false, failure);
    if (!folder.valid() && failure.kind != SafePath::Failure::Kind::failed) {
        m_logger.log(failure.describe(), "ERROR");
        return {false, failure.describe(), {}};
    }
    struct stat info { };
    const std::string name = SafePath::lastComponent(p);
    if (!folder.valid() || name.empty() || ::fstatat(folder.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return {false, "Disk image not found: " + p, {}};
    }

    ChildProcess::Options options;
    options.timeLimit = m_childTimeLimit;
    auto child = ChildProcess::run({m_diskImageTool, "attach", p, "-owners", "on", "-nobrowse", "-plist"}, options);
    if (child.timedOut) {
        std::string text = timedOut("attach");
        m_logger.log(text, "ERROR");
        return {false, text, {}};
    }
    if (!child.launched) {
        std::string text = std::string("Failed to launch ") + kToolName + ": " + child.launchError;
        m_logger.log(text, "ERROR");
        return {false, text, {}};
    }
    if (!child.exitedNormally || child.exitCode != 0) {
        std::string text = std::string(kToolName) + " attach failed: " + errorText(child.standardError);
        m_logger.log(text, "ERROR");
        return {false, text, {}};
    }
    auto parsed = DiskImageOutput::parse(child.standardOutput);
    switch (parsed.outcome) {
    case DiskImageOutput::Outcome::unreadable:
        m_logger.log(std::string("Failed to parse ") + kToolName + " plist output", "ERROR");
        return {false, std::string("Failed to parse mount point from ") + kToolName + " output", {}};
    case DiskImageOutput::Outcome::noMountPoint:
        m_logger.log(std::string("No mount point found in ") + kToolName + " output", "ERROR");
        return {false, "Image attached but no mount point found", {}};
    case DiskImageOutput::Outcome::mounted:
        break;
    }
    m_logger.log("Successfully mounted " + p + " at " + parsed.mountPoint + " with ownership enabled", "INFO");
    return {true, parsed.mountPoint, {}};
}

HelperReply HelperToolService::unmountDiskImage(const std::string& mountPoint, const PeerContext& peer, PolkitAuthority& authority)
{
    m_logger.log("Request to unmount disk image at: " + mountPoint, "INFO");
    if (!PathRules::isAbsolute(mountPoint)) {
        return refusePath(mountPoint);
    }
    if (SafePath::isForbidden(mountPoint)) {
        return refuseForbidden(mountPoint);
    }
    if (Outcome authorized = authorize(peer, authority, "unmount"); !authorized) {
        return {false, authorized.reason(), {}};
    }

    ChildProcess::Options options;
    options.captureStdout = false;
    options.timeLimit = m_childTimeLimit;
    auto child = ChildProcess::run({m_diskImageTool, "detach", mountPoint, "-quiet", "-force"}, options);
    if (child.timedOut) {
        std::string text = timedOut("detach");
        m_logger.log(text, "ERROR");
        return {false, text, {}};
    }
    if (!child.launched) {
        m_logger.log(std::string("Failed to launch ") + kToolName + " detach: " + child.launchError, "ERROR");
        return {false, std::string("Failed to launch ") + kToolName + ": " + child.launchError, {}};
    }
    if (!child.exitedNormally || child.exitCode != 0) {
        std::string text = std::string(kToolName) + " detach failed: " + errorText(child.standardError);
        m_logger.log(text, "ERROR");
        return {false, text, {}};
    }
    m_logger.log("Successfully unmounted: " + mountPoint, "INFO");
    return {true, {}, {}};
}

}  // namespace tess
