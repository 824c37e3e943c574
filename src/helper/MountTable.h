#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace tess {

// The mounts of this process's mount namespace, read from mountinfo.
class MountTable {
public:
    struct Mount {
        dev_t device = 0;  // of the mounted file system, as st_dev names it
        std::string source;  // e.g. /dev/loop3
        std::string mountPoint;  // decoded (no \040 escapes)
    };

    static MountTable read(const std::string& mountInfoPath = "/proc/self/mountinfo");
    static MountTable parse(std::string_view text);

    const std::vector<Mount>& mounts() const { return m_mounts; }
    const Mount* findByMountPoint(std::string_view mountPoint) const;
    std::vector<const Mount*> findBySource(std::string_view source) const;

private:
    std::vector<Mount> m_mounts;
};

}  // namespace tess
