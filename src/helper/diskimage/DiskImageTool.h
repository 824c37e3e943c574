#pragma once

#include "ChildProcess.h"
#include "Outcome.h"
#include "UniqueFd.h"

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace tess {

// tessaline-diskimage: attaches a disk image with losetup and mounts it, or
// unmounts and detaches it, answering like the daemon expects:
//
//   tessaline-diskimage attach <image> [-owners on|off] [-nobrowse] [-plist]
//   tessaline-diskimage detach <mount point or device> [-quiet] [-force]
//   tessaline-diskimage cleanup <image>
//
// attach prints, with -plist, a property list whose "system-entities" array
// holds one dictionary with "dev-entry" and "mount-point". Images are mounted
// nosuid,nodev in a new folder under the mount base. Failures go to standard
// error with exit status 1; what was done before a failure is undone. The
// image is opened without following a symbolic link in any component.
//
// An image is never attached twice: one that is attached already (known by
// its device and inode) answers its mount point under the mount base, or is
// refused while something holds its device. A device of the image that
// nothing holds, and an empty folder an attach of it left under the mount
// base, are what an attach that was killed leaves behind: the next attach
// removes them first, and so does cleanup, which the daemon runs after it
// had to stop an attach. Attaches, detaches and cleanups run one at a time
// (a lock on the mount base). A loop device that its unmount already freed
// (autoclear) counts as detached.
//
// The programs the tool runs stay in its process group, so that stopping
// the group stops them too. Once stop() is called (SIGTERM), the program
// running is killed at once and an attach undoes what it did and fails,
// within kUndoBudget, well inside the time the daemon gives before SIGKILL.
class DiskImageTool {
public:
    static constexpr const char* kDefaultMountBase = "/run/tessaline-diskimage";
    static constexpr std::chrono::milliseconds kUndoBudget {ChildProcess::kStopGrace * 3 / 4};

    // Every program the tool runs is killed once it has run for
    // `childTimeLimit` (zero: no limit).
    explicit DiskImageTool(std::string mountBase, std::chrono::milliseconds childTimeLimit = std::chrono::milliseconds(0));

    // `args` without the program name. Returns the exit status.
    int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) const;

    static std::string plistForEntity(const std::string& device, const std::string& mountPoint);

    // Asks a running attach to undo its work and fail. Safe in a signal handler.
    static void stop();

private:
    using Clock = std::chrono::steady_clock;

    // Opens the image without following a link and checks it is a regular file.
    Outcome openImage(const std::string& image, UniqueFd& file, struct stat& info) const;
    // openImage, then the mount base's lock, held in `lock`.
    Outcome openLocked(const std::string& image, UniqueFd& file, struct stat& info, UniqueFd& lock) const;
    int attach(const std::string& image, bool plist, std::ostream& out, std::ostream& err) const;
    int cleanup(const std::string& image, std::ostream& err) const;
    // Detaches the devices backed by `image` that nothing holds and removes
    // the empty folders named for `imagePath` under the mount base; the lock
    // is held. Returns the devices that stay attached.
    std::vector<std::string> releaseLeftovers(const struct stat& image, const std::string& imagePath) const;
    // Mounts the checked image open as `file`; the lock is held.
    int attachLocked(const std::string& image, int file, const struct stat& info, bool plist, std::ostream& out, std::ostream& err) const;
    // Unmounts `mountPoint` (when not empty), removes it, and detaches every
    // loop device backed by the image.
    void undoAttach(const struct stat& image, const std::string& mountPoint) const;
    // The mount base, made when missing and locked for this process.
    UniqueFd lockMountBase(std::string& error) const;
    static bool stopRequested();
    // Whether the loop device `device` is free, or becomes so within
    // kReleaseWait (sooner once stop() was called).
    static bool released(const std::string& device);
    int detach(const std::string& target, bool quiet, bool force, std::ostream& out, std::ostream& err) const;
    // The name of the folders for `image` under the mount base: "<name>",
    // then "<name> 1", "<name> 2", ... up to kMaxMountPoints.
    static std::string mountPointName(const std::string& image);
    // Makes a new, empty folder for `image` under the mount base and puts
    // its path in `mountPoint`.
    Outcome makeMountPoint(const std::string& image, std::string& mountPoint) const;
    // Runs a program of the job; it is killed at once on stop().
    ChildProcess::Result runChild(const std::vector<std::string>& argv, ChildProcess::Options options = {}) const;
    // Runs a program that undoes or cleans up: it is not stopped by stop(),
    // but once stop() was called it must end within kUndoBudget.
    ChildProcess::Result runUndoChild(const std::vector<std::string>& argv) const;

    static constexpr int kMaxMountPoints = 1000;
    static constexpr std::chrono::milliseconds kReleaseWait {1000};

    std::string m_mountBase;
    std::chrono::milliseconds m_childTimeLimit;
    mutable std::optional<Clock::time_point> m_stopSeen;
};

}  // namespace tess
