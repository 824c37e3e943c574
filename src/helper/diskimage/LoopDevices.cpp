#include "LoopDevices.h"

#include "UniqueFd.h"

#include <cerrno>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <linux/loop.h>
#include <memory>
#include <string_view>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tess {

namespace {

bool isLoopName(const char* name)
{
    if (std::string_view(name).rfind("loop", 0) != 0 || name[4] == '\0') {
        return false;
    }
    for (const char* c = name + 4; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') {
            return false;
        }
    }
    return true;
}

// The status of the loop device at `path`; errno ENXIO when it is free.
bool status(const std::string& path, loop_info64& info)
{
    UniqueFd device(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!device.valid()) {
        return false;
    }
    info = {};
    return ::ioctl(device.get(), LOOP_GET_STATUS64, &info) == 0;
}

}  // namespace

std::vector<std::string> LoopDevices::backedBy(dev_t device, ino_t inode, const std::string& devFolder)
{
    std::vector<std::string> found;
    std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(devFolder.c_str()), &::closedir);
    if (!folder) {
        return found;
    }
    while (const dirent* entry = ::readdir(folder.get())) {
        if (!isLoopName(entry->d_name)) {
            continue;
        }
        const std::string path = devFolder + "/" + entry->d_name;
        loop_info64 info {};
        if (status(path, info) && info.lo_device == static_cast<std::uint64_t>(device) && info.lo_inode == static_cast<std::uint64_t>(inode)) {
            found.push_back(path);
        }
    }
    return found;
}

bool LoopDevices::isFree(const std::string& device)
{
    loop_info64 info {};
    if (status(device, info)) {
        return false;
    }
    return errno == ENXIO || errno == ENOENT;
}

bool LoopDevices::isClaimed(const std::string& device)
{
    UniqueFd exclusive(::open(device.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    return !exclusive.valid() && errno == EBUSY;
}

}  // namespace tess
