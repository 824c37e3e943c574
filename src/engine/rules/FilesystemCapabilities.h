#pragma once

#include "rules/RuleTypes.h"
#include "rules/TargetEncoding.h"

#include <cstdint>

namespace tess {

// What a destination allows. Limits are UTF-8 bytes (names, paths) or
// components (depth); kNoLimit means none.
struct FilesystemCapabilities {
    bool isCaseSensitive = false;
    TargetEncoding encodingCapability = TargetEncoding::utf8Full;
    std::int64_t maxFilenameLength = kNoLimit;
    std::int64_t maxPathDepth = kNoLimit;
    std::int64_t maxPathLength = kNoLimit;
    CodePointSet illegalCharacters;
    CanonicalStringSet reservedNames;
    bool supportsPosixPermissions = true;
    bool supportsExtendedAttributes = false;
    bool supportsACLs = false;

    friend bool operator==(const FilesystemCapabilities& a, const FilesystemCapabilities& b);
};

}  // namespace tess
