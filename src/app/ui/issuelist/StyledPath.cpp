#include "ui/issuelist/StyledPath.h"

#include "text/Text.h"

#include <algorithm>

namespace tess {
namespace {

// The parts of `ranges` inside [lower, upper), counted from `lower`.
std::vector<ByteRange> clip(std::span<const ByteRange> ranges, std::size_t lower, std::size_t upper)
{
    std::vector<ByteRange> out;
    for (const ByteRange& r : ranges) {
        const std::size_t from = std::max(r.lower, lower);
        const std::size_t to = std::min(r.upper, upper);
        if (from < to) {
            out.push_back({from - lower, to - lower});
        }
    }
    return out;
}

}  // namespace

StyledPathParts splitStyledPath(std::string_view path, std::span<const ByteRange> ranges)
{
    const std::string valid = text::displayPath(path);
    StyledPathParts parts;
    const std::size_t slash = valid.rfind('/');
    if (slash == std::string::npos) {
        parts.name = valid;
        parts.nameRanges = clip(ranges, 0, valid.size());
        return parts;
    }
    const std::size_t nameStart = slash + 1;
    parts.hasFolder = true;
    parts.folder = valid.substr(0, nameStart);
    parts.folderRanges = clip(ranges, 0, nameStart);
    parts.name = valid.substr(nameStart);
    parts.nameRanges = clip(ranges, nameStart, valid.size());
    return parts;
}

}  // namespace tess
