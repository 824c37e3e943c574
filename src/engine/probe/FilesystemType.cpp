#include "probe/FilesystemType.h"

namespace tess {

std::string_view filesystemTypeName(FilesystemType type)
{
    switch (type) {
    case FilesystemType::apfs:
        return "apfs";
    case FilesystemType::hfs:
        return "hfs";
    case FilesystemType::fat:
        return "fat";
    case FilesystemType::ntfs:
        return "ntfs";
    case FilesystemType::smb:
        return "smb";
    case FilesystemType::webdav:
        return "webdav";
    case FilesystemType::nfs:
        return "nfs";
    case FilesystemType::googleDrive:
        return "googleDrive";
    case FilesystemType::udf:
        return "udf";
    case FilesystemType::unknown:
        return "unknown";
    }
    return "unknown";
}

}  // namespace tess
