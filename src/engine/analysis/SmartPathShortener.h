#pragma once

#include "analysis/Phase2IntermediateItem.h"
#include "analysis/SourceFileAnalyzer.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tess {

// Unshortened folder prefix to its shortened form; keys compare under
// canonical equivalence.
using PrefixMappings = std::unordered_map<std::string, std::string, text::CanonicalHash, text::CanonicalEqual>;

// Shortens the components of paths that exceed the path-length limit just
// enough to fit: the cut is shared among the components in proportion to
// what each can give above its floor, file extensions and version suffixes
// stay, and every shortened folder is recorded so that all items inside it
// end up in the same shortened folder.
class SmartPathShortener {
public:
    struct ComponentInfo {
        std::size_t componentIndex = 0;
        std::int64_t originalBytes = 0;
        std::int64_t floorBytes = 0;
        std::int64_t shrinkableBytes = 0;
        bool isLastComponent = false;
    };

    explicit SmartPathShortener(const SourceFileAnalyzer& analyzer);

    // Shortens the items at `overlongIndices` in place (path, issues,
    // shortened components) and returns the folder prefixes it shortened.
    PrefixMappings smartShortenPaths(Phase2Items& items, const std::vector<std::size_t>& overlongIndices) const;

    // One component cut to `target` bytes; a file name keeps its extension
    // and version suffix (and stays unchanged when they leave no room).
    std::string shrinkComponent(std::string_view component, std::int64_t target, bool isFileName) const;

    // The least byte count a component may be cut to.
    static std::int64_t floorBytes(std::string_view component, bool isFileName);

    // The cut of each component for `excess` bytes, in the order of
    // `components`: a share of the excess proportional to what each can give,
    // then what is left from the components with room, largest first.
    static std::vector<std::int64_t> distributeCuts(const std::vector<ComponentInfo>& components, std::int64_t excess);

private:
    struct OverlongEntry {
        std::size_t index;
        std::int64_t pathLength;
    };

    // The items at `overlongIndices` still over the limit, longest first
    // (ties in index order).
    std::vector<OverlongEntry> overlongEntries(const Phase2Items& items, const std::vector<std::size_t>& overlongIndices) const;
    // Shortens one overlong item, reusing and extending the mappings of the
    // folders shortened before.
    void shortenItem(Phase2IntermediateItem& item, PrefixMappings& componentMappings, PrefixMappings& prefixMappings) const;
    // Puts the folders shortened for earlier items into `components` (and
    // the item's path) and answers what each other component can give.
    std::vector<ComponentInfo> reuseShortenedFolders(Phase2IntermediateItem& item, std::vector<std::string>& components,
        const std::vector<std::string>& prefixes, const PrefixMappings& componentMappings) const;
    // A file whose own name can give the whole excess: cuts only the name,
    // when that makes the path fit (else `components` stays as it was).
    bool cutFileNameOnly(Phase2IntermediateItem& item, std::vector<std::string>& components, const ComponentInfo& nameInfo,
        std::int64_t excess) const;
    void rewriteIssues(Phase2IntermediateItem& item, std::int64_t newLength) const;

    const SourceFileAnalyzer& m_analyzer;
};

}  // namespace tess
