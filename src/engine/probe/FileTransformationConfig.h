#pragma once

#include "core/Error.h"
#include "rules/OSPreset.h"
#include "rules/TargetEncoding.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>

namespace tess {

// What a destination probe is made with. The probe reads only
// testFolderName and testFileContent; the defaults are the values the
// application passes.
struct FileTransformationConfig {
    bool removeLeadingSpaces = false;
    bool removeTrailingSpaces = false;
    std::set<OSPreset> targetOperatingSystems;
    std::optional<TargetEncoding> encodingOverride;
    std::optional<std::int64_t> limitFileNameLength;
    std::optional<std::int64_t> limitFolderNameLength;
    std::optional<std::int64_t> flattenPathsOverDepth;
    std::optional<std::int64_t> overrideOSPathLength;
    // Stem of the probe and write-check folder names.
    std::string testFolderName = "FileTransform_Test_Data";
    // Text written into every probe file.
    std::string testFileContent = "File transformation capability test";
    std::string errorDomain = kAppErrorDomain;
};

}  // namespace tess
