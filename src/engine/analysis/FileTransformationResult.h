#pragma once

#include "analysis/FileItem.h"
#include "analysis/FileTransformationIssue.h"
#include "analysis/ShortenedComponents.h"
#include "text/Text.h"

#include <map>
#include <string>
#include <vector>

namespace tess {

// The analyser's output for one item.
struct FileTransformationResult {
    // The input item (its path keeps its raw bytes).
    FileItem originalFile;
    // The item's path relative to the source root, "/" between components,
    // no leading "/" (raw bytes, like the item's path). An item outside the
    // source root keeps its absolute path here.
    std::string originalRelativePath;
    // The proposed relative path after all passes: valid UTF-8, except for
    // an item outside the source root, which keeps its path as it was.
    std::string finalRelativePath;
    // Every issue found, in the order the passes appended them.
    std::vector<FileTransformationIssue> transformations;
    // finalRelativePath differs from originalRelativePath byte for byte.
    bool needsRename = false;
    // Filled by smart path shortening; empty for every other item.
    ShortenedComponents shortenedComponents;

    friend bool operator==(const FileTransformationResult&, const FileTransformationResult&) = default;
};

}  // namespace tess
