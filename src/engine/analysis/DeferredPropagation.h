#pragma once

#include "analysis/Phase2IntermediateItem.h"
#include "analysis/SmartPathShortener.h"

#include <cstddef>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tess {

// Applies the folder prefixes shortened by smart path shortening to every
// item, so that items that were not overlong themselves move into the
// shortened folders too. Large runs are split into chunks run side by side
// (at least 500 items per chunk, at most one chunk per processor).
class DeferredPropagation {
public:
    DeferredPropagation(const PrefixMappings& prefixMappings, const SourceFileAnalyzer::CancelCheck& isCancelled);

    // Rewrites every item; false when a serial run stopped for cancellation
    // (a parallel chunk that sees cancellation leaves its items as they are
    // and the run goes on).
    bool run(Phase2Items& items) const;

    // Rewrites the items of chunk `chunk` (chunk size `chunkSize`); does
    // nothing when cancellation is seen at its start.
    void applyPrefixMappings(std::size_t chunk, std::size_t chunkSize, Phase2Items& items) const;

    // Rewrites one item's current path.
    void rewrite(Phase2IntermediateItem& item) const;

private:
    const PrefixMappings& m_prefixMappings;
    // What a prefix must have to be a key at all: one of these first
    // components (NFC), and at most this many components.
    struct ViewHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view> {}(s); }
    };
    std::unordered_set<std::string, ViewHash, std::equal_to<>> m_firstComponents;
    std::size_t m_maxKeyComponents = 0;
    // The mappings keyed by the NFC form of their prefix.
    std::unordered_map<std::string, std::string_view, ViewHash, std::equal_to<>> m_nfcMappings;
    // Byte lengths of the keys' NFC forms (true at each length in use).
    std::vector<bool> m_keyLengths;
    const SourceFileAnalyzer::CancelCheck& m_isCancelled;
};

}  // namespace tess
