#pragma once

#include <string_view>

namespace tess {

// The filesystem of a probed destination's volume. It names the volume in
// the log and in the probe's summary text and affects nothing else.
enum class FilesystemType {
    apfs,
    hfs,
    fat,
    ntfs,
    smb,
    webdav,
    nfs,
    googleDrive,
    udf,
    unknown,
};

// The case name ("apfs", "googleDrive", ...).
std::string_view filesystemTypeName(FilesystemType type);

}  // namespace tess
