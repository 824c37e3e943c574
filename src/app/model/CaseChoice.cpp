#include "model/CaseChoice.h"

namespace tess {

bool offersCaseChoice(std::optional<FilesystemPreset> preset)
{
    if (!preset) {
        return false;
    }
    switch (*preset) {
    case FilesystemPreset::ntfs:
    case FilesystemPreset::udf:
    case FilesystemPreset::smb:
    case FilesystemPreset::hfs:
    case FilesystemPreset::apfs:
    case FilesystemPreset::nfs:
        return true;
    default:
        return false;
    }
}

}  // namespace tess
