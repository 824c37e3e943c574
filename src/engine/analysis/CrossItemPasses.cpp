#include "analysis/CrossItemPasses.h"

#include "core/FormatSeconds.h"

#include "analysis/CollisionResolver.h"
#include "analysis/DeferredPropagation.h"
#include "analysis/DepthFlattening.h"
#include "analysis/Phase2IntermediateItem.h"
#include "analysis/RelativePath.h"
#include "analysis/RenamePropagation.h"
#include "analysis/SmartPathShortener.h"
#include "analysis/TooDeepFolders.h"
#include "core/Concurrency.h"
#include "core/ReleasePages.h"
#include "rules/RuleTypes.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string_view>
#include <unordered_map>

#define PHASE2_LOG_INFO(message) m_analyzer.emitLog((message), "INFO", __FILE__, __LINE__)

namespace tess {

namespace {

constexpr std::size_t kCancelPollInterval = 1000;
constexpr std::size_t kItemsPerChunk = 500;
// How many results are made before the records they came from give their
// memory back.
constexpr std::size_t kResultsPerStep = 65536;
// Flags of the first loop, per item.
constexpr unsigned char kFlattened = 1;  // a too-deep file, moved up
constexpr unsigned char kOverlong = 2;  // carries a pathTooLong issue after the loop
constexpr unsigned char kTooDeepFolder = 4;  // a folder found too deep

using Clock = std::chrono::steady_clock;

double secondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

bool hasPathTooLong(const SourceFileAnalyzer::Issues& issues)
{
    return std::any_of(issues.begin(), issues.end(),
        [](const FileTransformationIssue& issue) { return issue.is<FileTransformationIssue::PathTooLong>(); });
}

std::size_t slashCount(std::string_view path)
{
    return static_cast<std::size_t>(std::count(path.begin(), path.end(), '/'));
}

// Where each item sits in the destination: its original parent folder, or
// for a flattened file the folder it was moved into (none when it moved to
// the top). Folders are matched by the exact bytes of their original relative
// path, so canonically equivalent twins keep their own children.
CollisionResolver::Containers findContainers(const Phase2Items& items, const std::vector<unsigned char>& flags,
    unsigned char flattenedFlag, const DepthFlattening& flattening)
{
    // The folders' indices, found side by side, then keyed in item order.
    const std::size_t folderChunks = std::max<std::size_t>(1, std::min(items.size() / kItemsPerChunk, processorCount()));
    const std::size_t folderChunkSize = (items.size() + folderChunks - 1) / folderChunks;
    std::vector<std::vector<std::size_t>> folderIndices(folderChunks);
    parallelFor(folderChunks, [&](std::size_t chunk) {
        for (std::size_t i = chunk * folderChunkSize; i < std::min((chunk + 1) * folderChunkSize, items.size()); ++i) {
            const SourceFileAnalyzer::Phase1Result& record = *items[i].item;
            if (record.originalFile.isDirectory && !record.outsideSourceRoot) {
                folderIndices[chunk].push_back(i);
            }
        }
    });
    std::size_t folderCount = 0;
    for (const std::vector<std::size_t>& indices : folderIndices) {
        folderCount += indices.size();
    }
    std::unordered_map<std::string_view, std::size_t> folders;
    folders.reserve(folderCount);
    for (const std::vector<std::size_t>& indices : folderIndices) {
        for (const std::size_t i : indices) {
            folders.try_emplace(items[i].item->originalRelativePath(), i);
        }
    }
    CollisionResolver::Containers containers(items.size());
    if (folders.empty()) {
        return containers;
    }
    const auto findIn = [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            const SourceFileAnalyzer::Phase1Result& record = *items[i].item;
            if (record.outsideSourceRoot) {
                continue;
            }
            std::optional<std::string> ancestor;
            std::string_view folder;
            if (flags[i] & flattenedFlag) {
                ancestor = flattening.keptAncestor(record.originalRelativePath());
                if (!ancestor) {
                    continue;
                }
                folder = *ancestor;
            } else if (record.originalRelativePath().find('/') != std::string::npos) {
                folder = RelativePath::parentPart(record.originalRelativePath());
            } else {
                continue;
            }
            const auto found = folders.find(folder);
            if (found != folders.end() && found->second != i) {
                containers[i] = found->second;
            }
        }
    };
    const std::size_t chunks = std::min(items.size() / kItemsPerChunk, processorCount());
    if (chunks > 1) {
        const std::size_t chunkSize = (items.size() + chunks - 1) / chunks;
        parallelFor(chunks, [&](std::size_t chunk) {
            findIn(std::min(chunk * chunkSize, items.size()), std::min((chunk + 1) * chunkSize, items.size()));
        });
    } else {
        findIn(0, items.size());
    }
    return containers;
}

// Once the collisions are resolved the records' transformed paths are no
// longer read: each resolved item's final path moves into its record, so
// that the working items can go before the results are made.
void moveFinalPathsIntoRecords(Phase2Items& items, std::vector<SourceFileAnalyzer::Phase1Result>& records,
    const std::vector<unsigned char>& filled)
{
    inChunks(records.size(), kItemsPerChunk, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            if (filled[i]) {
                records[i].transformedPath = std::move(items[i].currentPath);
            }
        }
    });
    Phase2Items().swap(items);
}

// The result of one record, moving its original item, path, issues,
// shortened components and final path (see moveFinalPathsIntoRecords) over;
// an item left unresolved (outside the source root) becomes the unchanged
// item.
void moveRecordIntoResult(SourceFileAnalyzer::Phase1Result& record, unsigned char filled, FileTransformationResult& result)
{
    if (filled) {
        result.finalRelativePath = std::move(record.transformedPath);
        result.needsRename = (filled & CollisionResolver::kRenamed) != 0;
    } else {
        // Outside the source root: unchanged, no issue, no rename.
        result.finalRelativePath = record.originalRelativePath();
        result.needsRename = false;
    }
    // Before the item's path moves: the relative path may be a view of it.
    result.originalRelativePath = record.originalRelativePath();
    result.originalFile = std::move(record.originalFile);
    result.transformations = std::move(record.transformations);
    result.shortenedComponents = std::move(record.shortenedComponents);
}

// One result per record, in record order. The records are taken from the
// end of their list (reversed first), which shrinks and gives its pages back
// while the list of results grows: the two never hold all their memory at
// the same time.
std::vector<FileTransformationResult> moveRecordsIntoResults(std::vector<SourceFileAnalyzer::Phase1Result>& records,
    const std::vector<unsigned char>& filled)
{
    const std::size_t n = records.size();
    reverseInParallel(records);
    std::vector<FileTransformationResult> results;
    results.reserve(n);
    for (std::size_t begin = 0; begin < n; begin += kResultsPerStep) {
        const std::size_t end = std::min(n, begin + kResultsPerStep);
        results.resize(end);
        inChunks(end - begin, kItemsPerChunk, [&](std::size_t from, std::size_t to) {
            for (std::size_t i = begin + from; i < begin + to; ++i) {
                moveRecordIntoResult(records[n - 1 - i], filled[i], results[i]);
            }
        });
        records.resize(n - end);
        releaseUnusedPages(records);
    }
    return results;
}

}  // namespace

CrossItemPasses::CrossItemPasses(const SourceFileAnalyzer& analyzer)
    : m_analyzer(analyzer)
{
}

void CrossItemPasses::propagateItem(std::size_t i, std::vector<SourceFileAnalyzer::Phase1Result>& records,
    Phase2Items& items, FirstLoopState& state, double& flattenSeconds, std::vector<PendingRename>& renames) const
{
    const DepthFlattening& flattening = state.flattening;
    SourceFileAnalyzer::Phase1Result& record = records[i];
    Phase2IntermediateItem& item = items[i];
    item.item = &record;
    if (record.outsideSourceRoot) {
        item.currentPath = record.originalRelativePath();
        record.transformations.clear();
        return;
    }
    const bool tooDeepFile = flattening.isTooDeepFile(record);
    std::optional<std::string> propagated;
    if (!tooDeepFile) {
        propagated = state.propagation.propagate(record);
    }
    // Only smart shortening reads the transformed path later, and only
    // of overlong items: the others hand theirs over.
    if (propagated) {
        item.currentPath = std::move(*propagated);
    } else if (hasPathTooLong(record.transformations)) {
        item.currentPath = record.transformedPath;
    } else {
        item.currentPath = std::move(record.transformedPath);
        record.transformedPath.clear();
    }
    if (tooDeepFile) {
        const Clock::time_point start = Clock::now();
        item.currentPath = flattening.flattenFile(item.currentPath, record.transformations);
        // The file moves into its kept ancestor, wherever that folder's
        // own rename takes it.
        if (std::optional<std::string> ancestor = flattening.keptAncestor(record.originalRelativePath())) {
            if (const std::string* renamed = state.propagation.renamedPath(*ancestor)) {
                item.currentPath = RelativePath::child(*renamed, RelativePath::lastComponent(item.currentPath));
            }
        }
        state.flags[i] |= kFlattened;
        flattenSeconds += secondsBetween(start, Clock::now());
    }
    if (record.tooDeepOriginalPath) {
        record.transformations.clear();
        state.flags[i] |= kTooDeepFolder;
    } else if (RenamePropagation::isRenamedFolder(record, item.currentPath)) {
        renames.push_back(PendingRename {RenamePropagation::key(record.originalRelativePath()), item.currentPath});
    }
    if (hasPathTooLong(record.transformations)) {
        state.flags[i] |= kOverlong;
    }
}

void CrossItemPasses::recordBlock(std::size_t blockStart, std::size_t blockEnd,
    std::vector<std::vector<PendingRename>>& renames, FirstLoopState& state) const
{
    // Chunks cover the block in order, so this is item order.
    for (std::vector<PendingRename>& chunkRenames : renames) {
        for (PendingRename& rename : chunkRenames) {
            state.propagation.recordRenamed(std::move(rename.key), std::move(rename.path));
        }
    }
    // Only the items flagged above have anything to record (items
    // outside the source root are never flagged).
    for (std::size_t i = blockStart; i < blockEnd; ++i) {
        const unsigned char flags = state.flags[i];
        if (flags == 0) {
            continue;
        }
        if (flags & kTooDeepFolder) {
            state.tooDeepIndices.push_back(i);
        }
        if (flags & kOverlong) {
            state.overlongIndices.push_back(i);
        }
    }
}

bool CrossItemPasses::propagateAndFlatten(std::vector<SourceFileAnalyzer::Phase1Result>& records, Phase2Items& items,
    FirstLoopState& state, const SourceFileAnalyzer::CancelCheck& isCancelled) const
{
    const auto cancelled = [&] { return isCancelled && isCancelled(); };
    const std::size_t n = records.size();
    state.flags.assign(n, 0);
    // 1. Propagation, flattening, too-deep folders. Records come shallowest
    // first; the items of one depth (one count of "/") never hold one
    // another, so a block of equal depth is worked on side by side, reading
    // only the renames of earlier blocks, and its own folders are recorded
    // after it.
    std::mutex timeMutex;
    double flattenTime = 0;
    // Depths ("/" bytes of the absolute paths), counted side by side.
    std::vector<std::size_t> depths(n);
    inChunks(n, kItemsPerChunk, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            depths[i] = slashCount(records[i].originalFile.path);
        }
    });
    const Clock::time_point loopStart = Clock::now();
    for (std::size_t blockStart = 0; blockStart < n;) {
        const std::size_t depth = depths[blockStart];
        std::size_t blockEnd = blockStart + 1;
        while (blockEnd < n && depths[blockEnd] == depth) {
            ++blockEnd;
        }
        // The polls every 1000th item, in order, before the block's work.
        for (std::size_t i = std::max<std::size_t>(1, (blockStart + kCancelPollInterval - 1) / kCancelPollInterval) * kCancelPollInterval;
             i < blockEnd; i += kCancelPollInterval) {
            if (cancelled()) {
                PHASE2_LOG_INFO("Analyzer: cancelled during phase2 at item " + std::to_string(i) + "/" + std::to_string(n));
                return false;
            }
        }
        const std::size_t size = blockEnd - blockStart;
        const std::size_t chunks = std::min(size / kItemsPerChunk, processorCount());
        std::vector<std::vector<PendingRename>> renames(std::max<std::size_t>(chunks, 1));
        if (chunks > 1) {
            const std::size_t chunkSize = (size + chunks - 1) / chunks;
            parallelFor(chunks, [&](std::size_t chunk) {
                double seconds = 0;
                const std::size_t from = blockStart + chunk * chunkSize;
                for (std::size_t i = from; i < std::min(from + chunkSize, blockEnd); ++i) {
                    propagateItem(i, records, items, state, seconds, renames[chunk]);
                }
                const std::lock_guard<std::mutex> lock(timeMutex);
                flattenTime += seconds;
            });
        } else {
            for (std::size_t i = blockStart; i < blockEnd; ++i) {
                propagateItem(i, records, items, state, flattenTime, renames[0]);
            }
        }
        recordBlock(blockStart, blockEnd, renames, state);
        blockStart = blockEnd;
    }
    // Side by side, the summed flattening time can exceed the wall time.
    state.renamePropTime = std::max(0.0, secondsBetween(loopStart, Clock::now()) - flattenTime);
    state.flattenTime = flattenTime;
    state.tooDeepTime = 0;
    return true;
}

bool CrossItemPasses::shortenOverlongPaths(Phase2Items& items, FirstLoopState& state,
    const SourceFileAnalyzer::CancelCheck& isCancelled) const
{
    // Smart shortening of the overlong paths.
    const Clock::time_point shortenStart = Clock::now();
    PrefixMappings prefixMappings;
    if (m_analyzer.smartPathShortening() && m_analyzer.passes().effectiveMaxPathLength() != kNoLimit && !state.overlongIndices.empty()) {
        if (isCancelled && isCancelled()) {
            return false;
        }
        for (const std::size_t index : state.overlongIndices) {
            items[index].preShorteningPath = items[index].currentPath;
        }
        prefixMappings = SmartPathShortener(m_analyzer).smartShortenPaths(items, state.overlongIndices);
    }
    state.smartShortenTime = secondsBetween(shortenStart, Clock::now());

    // The shortened folders carried to every item below them.
    if (!prefixMappings.empty()) {
        const Clock::time_point start = Clock::now();
        if (!DeferredPropagation(prefixMappings, isCancelled).run(items)) {
            return false;
        }
        state.deferredTime = secondsBetween(start, Clock::now());
    }
    return true;
}

void CrossItemPasses::logBreakdown(std::size_t n, const FirstLoopState& state, std::size_t groupCount,
    const SourceFileAnalyzer::AnalysisResult& output) const
{
    PHASE2_LOG_INFO("Analyzer phase2 breakdown: " + std::to_string(n) + " items " + "[renameProp=" + formatSeconds(state.renamePropTime, 2) + "s, "
        + "flatten=" + formatSeconds(state.flattenTime, 2) + "s, " + "tooDeep=" + formatSeconds(state.tooDeepTime, 2) + "s, "
        + "smartShorten=" + formatSeconds(state.smartShortenTime, 2) + "s, " + "deferredProp=" + formatSeconds(state.deferredTime, 2) + "s, "
        + "collision=" + formatSeconds(state.collisionTime, 2) + "s, " + "resultBuild=" + formatSeconds(state.resultBuildTime, 2) + "s] "
        + "dirRenames=" + std::to_string(state.propagation.renameCount()) + ", tooDeepDirs=" + std::to_string(output.tooDeepDirs.size()) + ", "
        + "groups=" + std::to_string(groupCount) + ", collisionEntries=" + std::to_string(output.results.size()));
}

SourceFileAnalyzer::AnalysisResult CrossItemPasses::run(SourceFileAnalyzer::Phase1Output phase1,
    const SourceFileAnalyzer::CancelCheck& isCancelled) const
{
    const auto cancelled = [&] { return isCancelled && isCancelled(); };
    if (phase1.stoppedEarly) {
        return {};
    }
    std::vector<SourceFileAnalyzer::Phase1Result>& records = phase1.results;
    const std::size_t n = records.size();

    const DepthFlattening flattening(m_analyzer);
    FirstLoopState state {RenamePropagation(), TooDeepFolders(), {}, {}, {}, flattening, 0, 0, 0};
    Phase2Items items(n);
    if (!propagateAndFlatten(records, items, state, isCancelled)) {
        return {};
    }
    if (!shortenOverlongPaths(items, state, isCancelled)) {
        return {};
    }

    // Collisions, level by level.
    const Clock::time_point collisionStart = Clock::now();
    CollisionResolver::Containers containers = findContainers(items, state.flags, kFlattened, flattening);
    if (cancelled()) {
        return {};
    }
    std::vector<unsigned char> filled(n, 0);
    const CollisionResolver::Outcome outcome = CollisionResolver(m_analyzer, isCancelled).resolve(items, containers, filled);
    if (outcome.cancelled) {
        return {};
    }
    CollisionResolver::Containers().swap(containers);
    state.collisionTime = secondsBetween(collisionStart, Clock::now());

    // Too-deep folders under their final paths: collision numbering and
    // shortening carried down from an ancestor move them too.
    const Clock::time_point tooDeepStart = Clock::now();
    for (const std::size_t index : state.tooDeepIndices) {
        state.tooDeepDirs.add(items[index].currentPath);
    }
    state.tooDeepTime += secondsBetween(tooDeepStart, Clock::now());

    // Results in item order.
    const Clock::time_point buildStart = Clock::now();
    SourceFileAnalyzer::AnalysisResult output;
    for (std::size_t i = 0; i < n; ++i) {
        if (!filled[i] && !records[i].outsideSourceRoot) {
            return {};  // a slot left empty: the run was stopped
        }
    }
    // The results are made once the working items are gone, so the two
    // lists never hold memory at the same time.
    moveFinalPathsIntoRecords(items, records, filled);
    output.results = moveRecordsIntoResults(records, filled);
    output.tooDeepDirs = state.tooDeepDirs.take();
    state.resultBuildTime = secondsBetween(buildStart, Clock::now());

    logBreakdown(n, state, outcome.groupCount, output);
    return output;
}

}  // namespace tess
