#pragma once

#include "analysis/FileTransformationResult.h"
#include "index/IndexTime.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tess {

// One row of the file index.
struct IndexedFile {
    std::int64_t id = 0;
    std::string path;
    std::string relativePath;
    bool isDirectory = false;
    bool hasIssues = false;
    int issueCount = 0;
    // The issue entries joined by "," (see IssueTypesText.h); absent when the
    // item has no issue.
    std::optional<std::string> issueTypes;
    // The proposed relative path; absent unless a rename is needed.
    std::optional<std::string> proposedRename;
    bool needsRename = false;
    ShortenedComponents shortenedComponents;
    IndexDate firstSeen;
    IndexDate lastScanned;
    std::string scanRoot;

    friend bool operator==(const IndexedFile&, const IndexedFile&) = default;
};

}  // namespace tess
