#pragma once

#include "rules/FilesystemPreset.h"

#include <optional>

namespace tess {

// Whether the preset lets the user choose its case variant (the
// "Case-sensitive" box is shown): NTFS, UDF, SMB, HFS+, APFS and NFS.
bool offersCaseChoice(std::optional<FilesystemPreset> preset);

}  // namespace tess
