#pragma once

#include "ChildProcess.h"
#include "Outcome.h"
#include "UniqueFd.h"

#include <chrono>
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
//
// attach prints, with -plist, a property list whose "system-entities" array
// holds one dictionary with "dev-entry" and "mount-point". Images are mounted
// nosuid,nodev in a new folder under the mount base. Failures go to standard
// error with exit status 1; what was done before a failure is undone. The
// image is opened without following a symbolic link in any component.
//
// An image is never attached twice: one that is attached already (known by
// its device and inode) answers its mount point under the mount base, or is
// refused. Attaches and detaches run one at a time (a lock on the mount
// base). A loop device that its unmount already freed (autoclear) counts as
// detached. The programs the tool runs stay in its process group, so that
// stopping the group stops them too; once stop() is called (SIGTERM), an
// attach undoes what it did and fails.
class DiskImageTool {
public:
    static constexpr const char* kDefaultMountBase = "/run/tessaline-diskimage";

    // Every program the tool runs is killed once it has run for
    // `childTimeLimit` (zero: no limit).
    explicit DiskImageTool(std::string mountBase, std::chrono::milliseconds childTimeLimit = std::chrono::milliseconds(0));

    // `args` without the program name. Returns the exit status.
    int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) const;

    static std::string plistForEntity(const std::string& device, const std::string& mountPoint);

    // Asks a running attach to undo its work and fail. Safe in a signal handler.
    static void stop();

private:
    int attach(const std::string& image, bool plist, std::ostream& out, std::ostream& err) const;
    // Mounts the checked image open as `file`; the lock is held.
    int attachLocked(const std::string& image, int file, const struct stat& info, bool plist, std::ostream& out, std::ostream& err) const;
    // Unmounts `mountPoint` (when not empty), removes it, and detaches every
    // loop device backed by the image.
    void undoAttach(const struct stat& image, const std::string& mountPoint) const;
    // The mount base, made when missing and locked for this process.
    UniqueFd lockMountBase(std::string& error) const;
    static bool stopRequested();
    int detach(const std::string& target, bool quiet, bool force, std::ostream& out, std::ostream& err) const;
    // Makes a new, empty folder for `image` under the mount base and puts
    // its path in `mountPoint`.
    Outcome makeMountPoint(const std::string& image, std::string& mountPoint) const;
    ChildProcess::Result runChild(const std::vector<std::string>& argv, ChildProcess::Options options = {}) const;

    std::string m_mountBase;
    std::chrono::milliseconds m_childTimeLimit;
};

}  // namespace tess
