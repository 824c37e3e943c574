#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace tess {

// The loop devices of the system, asked through the loop driver itself, so
// that an image is recognised by its device and inode whatever path it was
// attached under.
class LoopDevices {
public:
    // The attached loop devices (/dev/loopN) whose backing file is the file
    // with this device and inode number.
    static std::vector<std::string> backedBy(dev_t device, ino_t inode, const std::string& devFolder = "/dev");

    // True when `device` has no backing file (or no longer exists): a loop
    // device mounted with autoclear is freed by its unmount.
    static bool isFree(const std::string& device);

    // True when something holds `device` for itself: a mount in any mount
    // namespace, a device-mapper or RAID device, swap (the kernel refuses it
    // an exclusive open).
    static bool isClaimed(const std::string& device);
};

}  // namespace tess
