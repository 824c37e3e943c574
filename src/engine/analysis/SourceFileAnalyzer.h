#pragma once

#include "analysis/FileItem.h"
#include "analysis/FileTransformationIssue.h"
#include "analysis/FileTransformationResult.h"
#include "analysis/PerItemPasses.h"
#include "analysis/PreparationOrder.h"
#include "analysis/TransliterationCaches.h"
#include "core/BoxedOptional.h"
#include "rules/TargetEncoding.h"
#include "rules/TransformationSettings.h"
#include "text/Text.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tess {

// Turns the items found under one source folder and one TransformationSettings
// value into one FileTransformationResult per item: the issues found and the
// proposed relative path. Reads nothing from disk and keeps nothing after a
// run. Every field is set by the constructor and only read afterwards, so one
// analyser may be used from many threads at once.
//
// A run has two phases. Phase 1 transforms every item by itself (encoding,
// translation table, stripping, separator runs, limits: see PerItemPasses),
// serially or in parallel chunks. Phase 2 runs the passes that need the other
// items and builds the results (see CrossItemPasses).
//
// Paths that are not valid UTF-8 keep their raw bytes in the original item and
// original relative path; for the passes they read as Windows-1252 (see
// text::toValidUtf8) and the item gets an `encodingTransformed` issue, so every
// proposed path is valid UTF-8.
class SourceFileAnalyzer final {
public:
    using Issues = PerItemPasses::Issues;
    // Answers true once the run is to stop; called from worker threads.
    using CancelCheck = std::function<bool()>;
    // Receives every log line the analyser writes (same arguments as
    // AppLogger::log). Empty: lines go to AppLogger::shared().
    using LogSink = PerItemPasses::LogSink;
    using PathSet = std::set<std::string, text::CanonicalLess>;

    using ChunkPlan = PreparationOrder::ChunkPlan;

    // One sorted item with its relative path, ready for phase 1. An item
    // outside the source root (the root itself included) keeps its absolute
    // path as relative path and passes through unchanged.
    struct PreparedItem {
        FileItem item;
        std::string relativePath;
        bool outsideSourceRoot = false;
    };

    // The hand-over of one item from phase 1 to phase 2.
    struct Phase1Result {
        FileItem originalFile;
        std::string transformedPath;
        Issues transformations;
        // Set for a folder found too deep: its path as it stood after the
        // name-length check of the limits pass. Held out of line: nearly
        // every record has none.
        BoxedOptional<std::string> tooDeepOriginalPath;
        ShortenedComponents shortenedComponents;
        // The item is not under the source root: no pass touched it and it
        // must come out unchanged, without issues.
        bool outsideSourceRoot = false;

        // The item's path relative to the source root. It is nearly always
        // the end of the item's path, and is then kept as where it starts
        // there; set it once the item is.
        std::string_view originalRelativePath() const
        {
            return otherRelativePath ? std::string_view(*otherRelativePath)
                                     : std::string_view(originalFile.path).substr(relativePathStart);
        }
        void setOriginalRelativePath(std::string relativePath);

    private:
        std::uint32_t relativePathStart = 0;
        // A relative path that is not the end of the item's path.
        BoxedOptional<std::string> otherRelativePath;
    };

    // Phase 1's records in item order; `stoppedEarly` when cancellation cut it
    // short, in which case `results` holds only some items.
    struct Phase1Output {
        std::vector<Phase1Result> results;
        bool stoppedEarly = false;
    };

    struct AnalysisResult {
        std::vector<FileTransformationResult> results;
        // Paths of the topmost folders found too deep.
        PathSet tooDeepDirs;
    };

    SourceFileAnalyzer(const TransformationSettings& settings, std::int64_t destinationRootByteCount,
        LogSink logSink = {});

    // The whole run. `sourceRootPath` is the source folder's path; `target`
    // names the destination in the start log line. Results stand in
    // preparation order (depth, folders first, path). A cancelled run returns
    // no results and an empty set.
    AnalysisResult analyze(const std::vector<FileItem>& items, std::string_view sourceRootPath,
        std::string_view target, const CancelCheck& isCancelled) const;
    // The same run, taking the items over: their paths move into the
    // results instead of being copied, and the list is freed once sorted.
    AnalysisResult analyze(std::vector<FileItem>&& items, std::string_view sourceRootPath,
        std::string_view target, const CancelCheck& isCancelled) const;

    // --- Phases --------------------------------------------------------------

    Phase1Output runPhase1(std::vector<PreparedItem> items, const CancelCheck& isCancelled) const;

    // --- For the cross-item passes ----------------------------------------------

    // The per-item passes, with the limits and name rules they apply.
    const PerItemPasses& passes() const { return m_passes; }
    bool effectiveCaseSensitive() const { return m_effectiveCaseSensitive; }
    bool smartPathShortening() const { return m_smartPathShortening; }

    // Writes one log line to the sink given at construction (or AppLogger).
    void emitLog(std::string message, std::string_view level, std::string_view file, int line) const;

private:
    // Preparation's output: the items in order with their relative paths,
    // and the seconds the sort and the relative paths took.
    struct Preparation {
        std::vector<PreparedItem> items;
        // Phase 1's list of result slots, made on another thread from the
        // end of the sort on (not beside it, which would add it to the
        // sort's memory).
        std::future<std::vector<Phase1Result>> phase1Slots;
        double sortSeconds = 0;
        double relativePathSeconds = 0;
    };

    // The start line of a run's log.
    void logAnalysisStart(std::size_t n, std::string_view target) const;
    // The case name of an encoding, as written in the log ("asciiOnly", ...).
    static std::string_view encodingCaseName(TargetEncoding encoding);
    // Sorts the items, moving them out of `items` (which it frees), gives
    // each its relative path to `root` (warning about those outside it) and
    // logs the time taken.
    Preparation prepare(std::vector<FileItem>& items, const std::string& root, std::size_t cores) const;
    // runPhase1 with the list of result slots already made (sized like
    // `items`).
    Phase1Output runPhase1Into(std::vector<PreparedItem> items, std::vector<Phase1Result> slots,
        const CancelCheck& isCancelled) const;
    // Runs chunk `chunk` of phase 1 over items [chunk * chunkSize, ...),
    // writing the same index range of `results` (sized like `items`).
    // Returns the number of items done: fewer than the chunk's size when it
    // stopped for cancellation.
    std::size_t runPhase1Chunk(std::size_t chunk, std::size_t chunkSize, std::vector<PreparedItem>& items,
        std::vector<Phase1Result>& results, const CancelCheck& isCancelled) const;
    // All per-item passes for one item.
    Phase1Result processItem(PreparedItem&& item, TransliterationCaches& caches) const;
    // The cross-item passes (see CrossItemPasses): one result per record, in
    // the records' order, and the topmost too-deep folders; nothing when
    // phase 1 stopped early or the run was cancelled.
    AnalysisResult runPhase2(Phase1Output phase1, const CancelCheck& isCancelled) const;

    PerItemPasses m_passes;
    bool m_effectiveCaseSensitive;
    bool m_smartPathShortening;
};

}  // namespace tess
