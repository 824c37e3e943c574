#pragma once

#include "ChildProcess.h"
#include "Outcome.h"

#include <chrono>
#include <ostream>
#include <string>
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
class DiskImageTool {
public:
    static constexpr const char* kDefaultMountBase = "/run/tessaline-diskimage";

    // Every program the tool runs is killed once it has run for
    // `childTimeLimit` (zero: no limit).
    explicit DiskImageTool(std::string mountBase, std::chrono::milliseconds childTimeLimit = std::chrono::milliseconds(0));

    // `args` without the program name. Returns the exit status.
    int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) const;

    static std::string plistForEntity(const std::string& device, const std::string& mountPoint);

private:
    int attach(const std::string& image, bool plist, std::ostream& out, std::ostream& err) const;
    int detach(const std::string& target, bool quiet, bool force, std::ostream& out, std::ostream& err) const;
    // Makes a new, empty folder for `image` under the mount base and puts
    // its path in `mountPoint`.
    Outcome makeMountPoint(const std::string& image, std::string& mountPoint) const;
    ChildProcess::Result runChild(const std::vector<std::string>& argv, ChildProcess::Options options = {}) const;

    std::string m_mountBase;
    std::chrono::milliseconds m_childTimeLimit;
};

}  // namespace tess
