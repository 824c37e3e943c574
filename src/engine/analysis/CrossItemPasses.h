#pragma once

#include "analysis/DepthFlattening.h"
#include "analysis/Phase2IntermediateItem.h"
#include "analysis/RenamePropagation.h"
#include "analysis/SourceFileAnalyzer.h"
#include "analysis/TooDeepFolders.h"

#include <cstddef>
#include <string>
#include <vector>

namespace tess {

// Phase 2 of an analysis: the passes that need the other items. In order:
// rename propagation through renamed folders, flattening of too-deep files,
// collection of the topmost too-deep folders, smart path shortening,
// propagation of the shortened folders, collision resolution and the result
// build. Runs on the caller's thread; propagation of shortened folders and
// collision resolution spread their work over several threads.
class CrossItemPasses {
public:
    explicit CrossItemPasses(const SourceFileAnalyzer& analyzer);

    // Phase 1's records in preparation order (depth ascending, folders first,
    // path ascending) to one result per record in the same order, plus the
    // topmost too-deep folders. A phase 1 that stopped early, or a run
    // cancelled in between, gives no results and an empty set.
    SourceFileAnalyzer::AnalysisResult run(SourceFileAnalyzer::Phase1Output phase1,
        const SourceFileAnalyzer::CancelCheck& isCancelled) const;

private:
    // What the first loop leaves for the later passes, and the time each
    // pass took.
    struct FirstLoopState {
        RenamePropagation propagation;
        TooDeepFolders tooDeepDirs;
        // Items carrying a pathTooLong issue, in item order.
        std::vector<std::size_t> overlongIndices;
        // Folders found too deep, in item order (shallowest first); their
        // final paths are collected once the collisions are resolved.
        std::vector<std::size_t> tooDeepIndices;
        // Per item: whether it is a flattened file, whether it is overlong.
        std::vector<unsigned char> flags;
        const DepthFlattening& flattening;
        double renamePropTime;
        double flattenTime;
        double tooDeepTime;
        double smartShortenTime = 0;
        double deferredTime = 0;
        double collisionTime = 0;
        double resultBuildTime = 0;
    };

    // A renamed folder's entry, made side by side and recorded in item order.
    struct PendingRename {
        std::string key;
        std::string path;
    };

    // The first loop's work on item i: its current path after propagation
    // (and flattening, for a too-deep file), its flags, and the rename it
    // makes, if any. Time spent flattening is added to `flattenSeconds`.
    void propagateItem(std::size_t i, std::vector<SourceFileAnalyzer::Phase1Result>& records, Phase2Items& items,
        FirstLoopState& state, double& flattenSeconds, std::vector<PendingRename>& renames) const;
    // After a block of equal depth: its folders' renames (one list per chunk,
    // chunks in order) and its flagged items, in item order.
    void recordBlock(std::size_t blockStart, std::size_t blockEnd, std::vector<std::vector<PendingRename>>& renames,
        FirstLoopState& state) const;
    // Rename propagation, flattening of too-deep files and collection of
    // too-deep folders; fills `items` (sized like `records`). False when it
    // stopped for cancellation.
    bool propagateAndFlatten(std::vector<SourceFileAnalyzer::Phase1Result>& records, Phase2Items& items,
        FirstLoopState& state, const SourceFileAnalyzer::CancelCheck& isCancelled) const;

    // Smart shortening of the overlong paths, then the shortened folders
    // carried to every item below them. False when it stopped for
    // cancellation.
    bool shortenOverlongPaths(Phase2Items& items, FirstLoopState& state, const SourceFileAnalyzer::CancelCheck& isCancelled) const;
    // The log line with each pass's time and the run's counts.
    void logBreakdown(std::size_t n, const FirstLoopState& state, std::size_t groupCount,
        const SourceFileAnalyzer::AnalysisResult& output) const;

    const SourceFileAnalyzer& m_analyzer;
};

}  // namespace tess
