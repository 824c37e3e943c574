#pragma once

#include "probe/FilesystemType.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tess {

// Names the filesystem of the volume that holds a path: first from the
// statfs magic number, and where that does not tell (FUSE, unknown numbers)
// from the volume's line in /proc/self/mountinfo: its filesystem type name,
// a FUSE subtype, or for plain FUSE mounts the boot sector of the mounted
// device or image when it can be read (ntfs-3g shows only "fuse"/"fuseblk").
class VolumeType {
public:
    // One line of /proc/self/mountinfo (octal escapes decoded).
    struct MountEntry {
        std::string device;  // "major:minor"
        std::string mountPoint;
        std::string fsType;
        std::string source;
    };

    // `unknown` when the path cannot be examined.
    static FilesystemType of(const std::string& path);

    // The type a statfs magic number names; nothing when the number does not
    // decide it (FUSE and numbers not listed).
    static std::optional<FilesystemType> fromMagic(std::uint64_t magic);
    // The type a mount table names. `bootSector` is the start of the mounted
    // source, read only for plain "fuse"/"fuseblk" mounts.
    static FilesystemType fromMountType(std::string_view fsType, std::string_view source,
        std::optional<std::string_view> bootSector = std::nullopt);
    // The type a volume boot sector's signature shows (NTFS, exFAT, FAT).
    static std::optional<FilesystemType> fromBootSector(std::string_view bytes);

    static std::optional<MountEntry> parseMountInfoLine(std::string_view line);
};

}  // namespace tess
