#pragma once

#include "ui/issuelist/PathDiff.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tess {

// A path split for display: the folder part (up to and including the last
// "/") and the name part, each with the ranges that fall into it, clipped
// and counted from the start of the part. A path without "/" is all name.
struct StyledPathParts {
    bool hasFolder = false;
    std::string folder;
    std::vector<ByteRange> folderRanges;
    std::string name;
    std::vector<ByteRange> nameRanges;

    friend bool operator==(const StyledPathParts&, const StyledPathParts&) = default;
};

// `path` is split as shown (text::displayPath); `ranges` refer to that
// text (as the ranges of a PathDiff do).
StyledPathParts splitStyledPath(std::string_view path, std::span<const ByteRange> ranges);

}  // namespace tess
