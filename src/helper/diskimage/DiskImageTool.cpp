#include "DiskImageTool.h"

#include "ChildProcess.h"
#include "LoopDevices.h"
#include "MountTable.h"
#include "PathRules.h"
#include "SafePath.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace tess {

namespace {

std::string escapeXml(std::string_view text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

std::string trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

std::string childFailure(const std::string& what, const ChildProcess::Result& result)
{
    if (!result.launched) {
        return what + ": " + result.launchError;
    }
    std::string text = trimmed(result.standardError);
    return what + ": " + (text.empty() ? "exit status " + std::to_string(result.exitCode) : text);
}

volatile std::sig_atomic_t g_stopRequested = 0;

bool makeDirectories(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string prefix = path.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            return true;
        }
    }
}

}  // namespace

DiskImageTool::DiskImageTool(std::string mountBase, std::chrono::milliseconds childTimeLimit)
    : m_mountBase(std::move(mountBase))
    , m_childTimeLimit(childTimeLimit)
{
}

ChildProcess::Result DiskImageTool::runChild(const std::vector<std::string>& argv, ChildProcess::Options options) const
{
    options.timeLimit = m_childTimeLimit;
    options.newProcessGroup = false;  // stopped with this program
    // A program that ignores SIGTERM (a mount that takes its time) must not
    // hold up the undo past the daemon's grace.
    options.stopRequested = &DiskImageTool::stopRequested;
    options.stopGrace = std::chrono::milliseconds(0);
    auto result = ChildProcess::run(argv, options);
    if (result.timedOut) {
        result.standardError = "stopped at the time limit";
    } else if (result.stopped) {
        result.standardError = "stopped";
    }
    return result;
}

ChildProcess::Result DiskImageTool::runUndoChild(const std::vector<std::string>& argv) const
{
    ChildProcess::Options options;
    options.newProcessGroup = false;
    options.timeLimit = m_childTimeLimit;
    if (stopRequested()) {
        const auto now = Clock::now();
        if (!m_stopSeen) {
            m_stopSeen = now;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*m_stopSeen + kUndoBudget - now);
        options.timeLimit = std::max(left, std::chrono::milliseconds(50));
        options.stopGrace = std::chrono::milliseconds(0);
    }
    return ChildProcess::run(argv, options);
}

std::string DiskImageTool::plistForEntity(const std::string& device, const std::string& mountPoint)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n\t<key>system-entities</key>\n\t<array>\n\t\t<dict>\n"
           "\t\t\t<key>dev-entry</key>\n\t\t\t<string>"
        + escapeXml(device) + "</string>\n"
                              "\t\t\t<key>mount-point</key>\n\t\t\t<string>"
        + escapeXml(mountPoint) + "</string>\n\t\t</dict>\n\t</array>\n</dict>\n</plist>\n";
}

int DiskImageTool::run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) const
{
    const char* usage = "usage: tessaline-diskimage attach <image> [-owners on|off] [-nobrowse] [-plist]\n"
                        "       tessaline-diskimage detach <mount point or device> [-quiet] [-force]\n"
                        "       tessaline-diskimage cleanup <image>\n";
    if (args.size() < 2) {
        err << usage;
        return 1;
    }
    const std::string& verb = args[0];
    const std::string& target = args[1];
    bool plist = false;
    bool quiet = false;
    bool force = false;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (verb == "attach" && option == "-owners" && i + 1 < args.size() && (args[i + 1] == "on" || args[i + 1] == "off")) {
            ++i;  // ownership is always honoured on the file systems we mount
        } else if (verb == "attach" && option == "-nobrowse") {
        } else if (verb == "attach" && option == "-plist") {
            plist = true;
        } else if (verb == "detach" && option == "-quiet") {
            quiet = true;
        } else if (verb == "detach" && option == "-force") {
            force = true;
        } else {
            err << "tessaline-diskimage: unknown option " << option << "\n"
                << usage;
            return 1;
        }
    }
    if (verb == "attach") {
        return attach(target, plist, out, err);
    }
    if (verb == "detach") {
        return detach(target, quiet, force, out, err);
    }
    if (verb == "cleanup" && args.size() == 2) {
        return cleanup(target, err);
    }
    err << usage;
    return 1;
}

std::string DiskImageTool::mountPointName(const std::string& image)
{
    std::string name = image.substr(image.rfind('/') + 1);
    if (auto dot = name.rfind('.'); dot != std::string::npos && dot > 0) {
        name.erase(dot);
    }
    if (name.empty() || name == "." || name == "..") {
        name = "disk";
    }
    return name;
}

Outcome DiskImageTool::makeMountPoint(const std::string& image, std::string& mountPoint) const
{
    // The mount base exists: it is locked.
    const std::string name = mountPointName(image);
    for (int attempt = 0; attempt < kMaxMountPoints; ++attempt) {
        std::string path = m_mountBase + "/" + name + (attempt == 0 ? "" : " " + std::to_string(attempt));
        if (::mkdir(path.c_str(), 0755) == 0) {
            mountPoint = path;
            return Outcome::success();
        }
        if (errno != EEXIST) {
            return Failure {"cannot create " + path + ": " + std::strerror(errno)};
        }
    }
    return Failure {"no free mount point under " + m_mountBase};
}

void DiskImageTool::stop()
{
    g_stopRequested = 1;
}

bool DiskImageTool::stopRequested()
{
    return g_stopRequested != 0;
}

bool DiskImageTool::released(const std::string& device)
{
    // What opened it for a moment (udev probing it) lets it go at once.
    const auto limit = Clock::now() + kReleaseWait;
    while (!LoopDevices::isFree(device)) {
        if (stopRequested() || Clock::now() >= limit) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

UniqueFd DiskImageTool::lockMountBase(std::string& error) const
{
    if (!makeDirectories(m_mountBase)) {
        error = "cannot create " + m_mountBase + ": " + std::strerror(errno);
        return {};
    }
    UniqueFd base(::open(m_mountBase.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!base.valid()) {
        error = "cannot open " + m_mountBase + ": " + std::strerror(errno);
        return base;
    }
    // Waits without blocking in flock, so that a stop is seen at once.
    while (::flock(base.get(), LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || stopRequested()) {
            error = "cannot lock " + m_mountBase + ": " + (stopRequested() ? std::string("stopped") : std::strerror(errno));
            return {};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return base;
}

Outcome DiskImageTool::openImage(const std::string& image, UniqueFd& file, struct stat& info) const
{
    // Looked at without opening it: opening a device or a FIFO may block or
    // have effects of its own.
    // The folders of the path may belong to someone else, who could put a
    // link to a device in the image's place after the look. No link is
    // followed, and losetup is given the file that was opened and checked,
    // never the path.
    SafePath::Failure pathFailure;
    UniqueFd folder = SafePath::openFolder(PathRules::parent(image), false, pathFailure);
    if (!folder.valid()) {
        return Failure {pathFailure.kind == SafePath::Failure::Kind::failed ? std::strerror(pathFailure.error) : pathFailure.describe()};
    }
    const std::string name = SafePath::lastComponent(image);
    struct stat looked { };
    if (::fstatat(folder.get(), name.c_str(), &looked, AT_SYMLINK_NOFOLLOW) != 0) {
        return Failure {std::strerror(errno)};
    }
    if (!S_ISREG(looked.st_mode)) {
        return Failure {"not a disk image file"};
    }
    file.reset(::openat(folder.get(), name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC));
    if (!file.valid()) {
        return Failure {std::strerror(errno)};
    }
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_dev != looked.st_dev || info.st_ino != looked.st_ino) {
        return Failure {"not a disk image file"};
    }
    return Outcome::success();
}

Outcome DiskImageTool::openLocked(const std::string& image, UniqueFd& file, struct stat& info, UniqueFd& lock) const
{
    if (Outcome opened = openImage(image, file, info); !opened) {
        return opened;
    }
    std::string lockError;
    lock = lockMountBase(lockError);
    if (!lock.valid()) {
        return Failure {lockError};
    }
    return Outcome::success();
}

int DiskImageTool::attach(const std::string& image, bool plist, std::ostream& out, std::ostream& err) const
{
    UniqueFd file;
    UniqueFd lock;
    struct stat info { };
    if (Outcome ready = openLocked(image, file, info, lock); !ready) {
        err << "tessaline-diskimage: attach failed - " << image << ": " << ready.reason() << "\n";
        return 1;
    }
    return attachLocked(image, file.get(), info, plist, out, err);
}

int DiskImageTool::cleanup(const std::string& image, std::ostream& err) const
{
    UniqueFd file;
    UniqueFd lock;
    struct stat info { };
    if (Outcome ready = openLocked(image, file, info, lock); !ready) {
        err << "tessaline-diskimage: cleanup failed - " << image << ": " << ready.reason() << "\n";
        return 1;
    }
    // A device that stays is in use, or mounted by an attach that got as
    // far: the next attach answers that mount.
    releaseLeftovers(info, image);
    return 0;
}

int DiskImageTool::attachLocked(const std::string& image, int file, const struct stat& info, bool plist, std::ostream& out,
    std::ostream& err) const
{
    auto answer = [&](const std::string& device, const std::string& mountPoint) {
        if (plist) {
            out << plistForEntity(device, mountPoint);
        } else {
            out << device << "\t" << mountPoint << "\n";
        }
        return 0;
    };
    auto fail = [&](const std::string& why, const std::string& mountPoint) {
        undoAttach(info, mountPoint);
        err << "tessaline-diskimage: attach failed - " << why << "\n";
        return 1;
    };

    // Attached already: its mount of ours is the answer; a second writable
    // mount of one file system would corrupt it. What a killed attach left
    // goes first; a device in use elsewhere refuses the attach.
    const auto table = MountTable::read();
    for (const auto& device : LoopDevices::backedBy(info.st_dev, info.st_ino)) {
        for (const auto* mount : table.findBySource(device)) {
            if (mount->mountPoint.rfind(m_mountBase + "/", 0) == 0) {
                return answer(device, mount->mountPoint);
            }
        }
    }
    if (const auto kept = releaseLeftovers(info, image); !kept.empty()) {
        err << "tessaline-diskimage: attach failed - " << image << " is already attached as " << kept.front() << "\n";
        return 1;
    }

    ChildProcess::Options passImage;
    passImage.passFd = file;
    auto loop = runChild({"losetup", "--find", "--show", "/proc/self/fd/" + std::to_string(ChildProcess::kPassedFd)}, passImage);
    if (!loop.succeeded() || stopRequested()) {
        return fail(stopRequested() ? "stopped" : childFailure("losetup", loop), {});
    }
    std::string device = trimmed(loop.standardOutput);

    std::string mountPoint;
    if (Outcome made = makeMountPoint(image, mountPoint); !made) {
        return fail(made.reason(), {});
    }
    auto mount = runChild({"mount", "-o", "nosuid,nodev", device, mountPoint});
    if (!mount.succeeded() || stopRequested()) {
        return fail(stopRequested() ? "stopped" : childFailure("mount", mount), mountPoint);
    }
    return answer(device, mountPoint);
}

void DiskImageTool::undoAttach(const struct stat& image, const std::string& mountPoint) const
{
    // The mount may have been made by a mount that was killed.
    if (!mountPoint.empty()) {
        if (MountTable::read().findByMountPoint(mountPoint) != nullptr) {
            runUndoChild({"umount", mountPoint});
        }
        ::rmdir(mountPoint.c_str());
    }
    // Also a device that losetup attached before it was stopped, whose name
    // it never printed. No other attach of this image runs meanwhile.
    for (const auto& device : LoopDevices::backedBy(image.st_dev, image.st_ino)) {
        runUndoChild({"losetup", "--detach", device});
    }
}

std::vector<std::string> DiskImageTool::releaseLeftovers(const struct stat& image, const std::string& imagePath) const
{
    std::vector<std::string> kept;
    const auto table = MountTable::read();
    for (const auto& device : LoopDevices::backedBy(image.st_dev, image.st_ino)) {
        if (!table.findBySource(device).empty() || LoopDevices::isClaimed(device)) {
            kept.push_back(device);
        } else {
            // A device that a program has open (a copy onto it, a virtual
            // machine) is only marked to go when it is closed, and losetup
            // succeeds: it still holds the image until it is free.
            runUndoChild({"losetup", "--detach", device});
            if (!released(device)) {
                kept.push_back(device);
            }
        }
    }
    // rmdir removes only an empty folder that is no mount point.
    const std::string name = m_mountBase + "/" + mountPointName(imagePath);
    for (int attempt = 0; attempt < kMaxMountPoints; ++attempt) {
        ::rmdir((attempt == 0 ? name : name + " " + std::to_string(attempt)).c_str());
    }
    return kept;
}

int DiskImageTool::detach(const std::string& target, bool quiet, bool force, std::ostream& out, std::ostream& err) const
{
    auto table = MountTable::read();
    std::string device;
    std::vector<std::string> mountPoints;
    if (const auto* mount = table.findByMountPoint(target)) {
        device = mount->source;
        mountPoints.push_back(mount->mountPoint);
    } else if (target.rfind("/dev/", 0) == 0) {
        device = target;
        for (const auto* entry : table.findBySource(target)) {
            mountPoints.push_back(entry->mountPoint);
        }
    }
    // Only disk images: never a system file system, whatever is asked.
    if (device.rfind("/dev/loop", 0) != 0) {
        err << "tessaline-diskimage: detach failed - " << target << " is not an attached disk image\n";
        return 1;
    }
    // Not while an attach of ours runs (it may be about to answer this mount).
    std::string lockError;
    UniqueFd lock = lockMountBase(lockError);
    if (!lock.valid()) {
        err << "tessaline-diskimage: detach failed - " << lockError << "\n";
        return 1;
    }

    for (const auto& mountPoint : mountPoints) {
        auto unmount = runChild({"umount", mountPoint});
        if (!unmount.succeeded() && force) {
            unmount = runChild({"umount", "--lazy", mountPoint});
        }
        if (!unmount.succeeded()) {
            err << "tessaline-diskimage: detach failed - " << childFailure("umount", unmount) << "\n";
            return 1;
        }
        if (mountPoint.rfind(m_mountBase + "/", 0) == 0) {
            ::rmdir(mountPoint.c_str());
        }
    }
    // A device mounted with autoclear was freed by its unmount.
    auto detachLoop = LoopDevices::isFree(device) ? ChildProcess::Result {} : runChild({"losetup", "--detach", device});
    if (!detachLoop.succeeded() && !LoopDevices::isFree(device)) {
        err << "tessaline-diskimage: detach failed - " << childFailure("losetup", detachLoop) << "\n";
        return 1;
    }
    if (!quiet) {
        out << "\"" << device << "\" ejected.\n";
    }
    return 0;
}

}  // namespace tess
