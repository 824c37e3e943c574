#pragma once

#include "analysis/FileItem.h"
#include "analysis/FileTransformationIssue.h"
#include "analysis/FileTransformationResult.h"
#include "analysis/TransliterationCaches.h"
#include "rules/PreparedTranslationTable.h"
#include "rules/TargetEncoding.h"
#include "rules/TransformationSettings.h"
#include "rules/TranslationEntry.h"
#include "text/Text.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace tess {

// Turns the items found under one source folder and one TransformationSettings
// value into one FileTransformationResult per item: the issues found and the
// proposed relative path. Reads nothing from disk and keeps nothing after a
// run. Every field is set by the constructor and only read afterwards, so one
// analyser may be used from many threads at once.
//
// A run has two phases. Phase 1 transforms every item by itself (encoding,
// translation table, stripping, separator runs, limits), serially or in
// parallel chunks. Phase 2 runs the passes that need the other items and
// builds the results.
//
// Paths that are not valid UTF-8 keep their raw bytes in the original item and
// original relative path; for the passes they read as Windows-1252 (see
// text::toValidUtf8) and the item gets an `encodingTransformed` issue, so every
// proposed path is valid UTF-8.
class SourceFileAnalyzer final {
public:
    using Issues = std::vector<FileTransformationIssue>;
    // Answers true once the run is to stop; called from worker threads.
    using CancelCheck = std::function<bool()>;
    // Receives every log line the analyser writes (same arguments as
    // AppLogger::log). Empty: lines go to AppLogger::shared().
    using LogSink = std::function<void(std::string message, std::string_view level, std::string_view file, int line)>;
    using PathSet = std::set<std::string, text::CanonicalLess>;

    // How phase 1 splits n items: at least 500 items per chunk, at most one
    // chunk per processor; below two chunks the run is serial.
    struct ChunkPlan {
        std::size_t chunkCount = 1;
        std::size_t chunkSize = 0;
        bool parallel() const { return chunkCount > 1; }
    };

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
        std::string originalRelativePath;
        std::string transformedPath;
        Issues transformations;
        // Set for a folder found too deep: its path as it stood after the
        // name-length check of the limits pass.
        std::optional<std::string> tooDeepOriginalPath;
        ShortenedComponents shortenedComponents;
        // The item is not under the source root: no pass touched it and it
        // must come out unchanged, without issues.
        bool outsideSourceRoot = false;
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

    // --- Preparation ---------------------------------------------------------

    static ChunkPlan planChunks(std::size_t itemCount, std::size_t cores);
    // Positions of the items in preparation order: depth ("/" bytes of the
    // absolute path) ascending, folders before files, then path ascending
    // under canonical equivalence. Ties keep input order.
    static std::vector<std::size_t> sortedOrder(const std::vector<FileItem>& items);
    // The root with one "/" at its end.
    static std::string rootWithSlash(std::string_view sourceRootPath);
    // `path` with the leading `root` (ending in "/") removed, matching
    // character by character under canonical equivalence; nothing when the
    // path is not inside the root (or is the root itself).
    static std::optional<std::string> relativePath(std::string_view path, std::string_view root);

    // --- Phases --------------------------------------------------------------

    Phase1Output runPhase1(std::vector<PreparedItem> items, const CancelCheck& isCancelled) const;
    // Runs chunk `chunk` of phase 1 over items [chunk * chunkSize, ...),
    // writing the same index range of `results` (sized like `items`).
    // Returns the number of items done: fewer than the chunk's size when it
    // stopped for cancellation.
    std::size_t runPhase1Chunk(std::size_t chunk, std::size_t chunkSize, std::vector<PreparedItem>& items,
        std::vector<Phase1Result>& results, const CancelCheck& isCancelled) const;
    // The cross-item passes (see CrossItemPasses): one result per record, in
    // the records' order, and the topmost too-deep folders; nothing when
    // phase 1 stopped early or the run was cancelled.
    AnalysisResult runPhase2(Phase1Output phase1, const CancelCheck& isCancelled) const;
    // All per-item passes for one item.
    Phase1Result processItem(PreparedItem&& item, TransliterationCaches& caches) const;

    // --- Per-item passes: each rewrites `path` in place and appends its issues.

    void applyEncoding(std::string& path, Issues& issues, TransliterationCaches& caches) const;
    void applyTranslationTable(std::string& path, Issues& issues) const;
    // These two answer whether they changed the path. Run again on a path
    // they changed before, each extends its issue instead of adding one.
    bool stripCharacters(std::string& path, Issues& issues) const;
    bool collapseRepeatedSeparators(std::string& path, Issues& issues) const;
    void enforceLimits(std::string& path, bool isDirectory, Issues& issues,
        std::optional<std::string>& tooDeepOriginalPath) const;

    // --- Name operations that depend on the settings (see NameOperations for
    // the others) -----------------------------------------------------------

    // Strips leading and trailing strip characters; the component as it was is
    // recorded in `trimmed` when it changed. A component that would become
    // empty becomes "_".
    std::string stripComponent(std::string_view component, std::vector<std::string>& trimmed) const;
    // Every maximal run of separator characters becomes its highest-ranked
    // character (the first of equal rank).
    std::string collapseSeparatorRuns(std::string_view text) const;
    // Fits the last component, a file name, into `limit` bytes keeping its
    // extension and version suffix; appends `filenameUnresolvable` (and logs)
    // and returns the path unchanged when that is impossible.
    std::string fitFileName(std::string_view path, std::int64_t limit, Issues& issues) const;
    // The length a name is held to against the name limits: its UTF-8 bytes;
    // for the UDF preset the bytes UDF stores it in
    // (NameOperations::udfNameLength).
    std::int64_t nameLength(std::string_view name) const;
    bool measuresUdfNames() const { return m_udfNameLengths; }
    // NameOperations::truncateLastComponent in the measure of nameLength.
    std::string truncateName(std::string_view path, std::int64_t limit) const;
    // truncateName, then without the trailing strip characters the cut left
    // at the end ("_" when nothing else is left).
    std::string truncateFolderName(std::string_view path, std::int64_t limit) const;

    // The full translation entry list: the settings' entries first, then the
    // enabled built-in lists (control, deceptive whitespace, zero width) for
    // characters the settings do not cover.
    static std::vector<TranslationEntry> effectiveTranslationEntries(const TransformationSettings& settings);

    // --- Fields ---------------------------------------------------------------

    TargetEncoding resolvedEncoding() const { return m_resolvedEncoding; }
    std::int64_t effectiveFileNameLength() const { return m_effectiveFileNameLength; }
    std::int64_t effectiveFolderNameLength() const { return m_effectiveFolderNameLength; }
    std::int64_t effectiveMaxPathDepth() const { return m_effectiveMaxPathDepth; }
    std::int64_t effectiveMaxPathLength() const { return m_effectiveMaxPathLength; }
    const PreparedTranslationTable& effectiveTranslationTable() const { return m_effectiveTranslationTable; }
    bool effectiveCaseSensitive() const { return m_effectiveCaseSensitive; }
    std::int64_t destinationRootByteCount() const { return m_destinationRootByteCount; }
    bool cleanRepeatedSeparators() const { return m_cleanRepeatedSeparators; }
    const std::vector<std::string>& repeatedSeparatorCharacters() const { return m_repeatedSeparatorCharacters; }
    bool smartPathShortening() const { return m_smartPathShortening; }
    // Rank of a separator character (the first listed ranks highest, the last
    // 1; a character listed twice keeps its later rank); 0 for a character
    // that is not a separator.
    std::int64_t separatorPrecedence(std::string_view character) const;
    // Whether a reserved-name key (already upper-cased) is reserved.
    bool isReservedKey(std::string_view key) const;
    // The case name of an encoding, as written in the log ("asciiOnly", ...).
    static std::string_view encodingCaseName(TargetEncoding encoding);

    // `text` without the run of trailing strip characters at its end (used
    // when smart path shortening cuts a component).
    std::string dropTrailingStripCharacters(std::string_view text) const;
    // Byte offset where the run of trailing strip characters that reaches the
    // end of `text` starts, or npos when there is none.
    std::size_t trailingStripRunStart(std::string_view text) const;

    // Writes one log line to the sink given at construction (or AppLogger).
    void emitLog(std::string message, std::string_view level, std::string_view file, int line) const;

private:
    // Preparation's output: the items in order with their relative paths,
    // and the seconds the sort and the relative paths took.
    struct Preparation {
        std::vector<PreparedItem> items;
        double sortSeconds = 0;
        double relativePathSeconds = 0;
    };

    // The start line of a run's log.
    void logAnalysisStart(std::size_t n, std::string_view target) const;
    // Sorts the items, moving them out of `items` (which it frees), gives
    // each its relative path to `root` (warning about those outside it) and
    // logs the time taken.
    Preparation prepare(std::vector<FileItem>& items, const std::string& root, std::size_t cores) const;
    // runPhase1 with the list of result slots already made (sized like
    // `items`).
    Phase1Output runPhase1Into(std::vector<PreparedItem> items, std::vector<Phase1Result> slots,
        const CancelCheck& isCancelled) const;

    // The canonical form of one character for membership tests.
    static std::string characterKey(std::string_view character);

    // A set of characters for membership tests: single ASCII bytes in a table,
    // every other character by its NFC form.
    struct CharacterSet {
        std::array<bool, 128> ascii {};
        std::vector<std::string> other;
        bool isEmpty = true;

        bool empty() const { return isEmpty; }
        void add(std::string_view character);
        bool contains(std::string_view character) const;
        bool containsAsciiByte(char c) const { return static_cast<unsigned char>(c) < 0x80 && ascii[static_cast<unsigned char>(c)]; }
        // No character that is not one ASCII byte can be a member.
        bool asciiOnly() const;
    };

    // What the target encoding did to a valid path: nothing; a new text equal
    // to the old under canonical equivalence (no issue); a reported change.
    enum class Encoded {
        unchanged,
        replaced,
        reported,
    };
    Encoded encodeValidPath(std::string_view path, std::string& out, TransliterationCaches& caches) const;
    // The distinct characters the translation table took out of the
    // components (`input` to `output`): those of a changed component that its
    // new form no longer holds, compared by canonical key, in order of first
    // appearance.
    static std::vector<std::string> removedCharacters(const std::vector<std::string>& input,
        const std::vector<std::string>& output);
    std::int64_t separatorRankOf(std::string_view character) const;
    bool hasSeparatorRun(std::string_view component) const;
    bool mayStrip(std::string_view component) const;
    void refitAfterPrefix(std::string& path, bool isDirectory, Issues& issues) const;
    std::optional<std::string> reservedKeyFor(std::string_view name, bool isDirectory) const;

    TargetEncoding m_resolvedEncoding;
    std::int64_t m_effectiveFileNameLength;
    std::int64_t m_effectiveFolderNameLength;
    std::int64_t m_effectiveMaxPathDepth;
    std::int64_t m_effectiveMaxPathLength;
    PreparedTranslationTable m_effectiveTranslationTable;
    // Reserved names upper-cased (NFC), so entries match whatever their case.
    std::unordered_set<std::string> m_effectiveReservedNames;
    std::size_t m_longestReservedName = 0;
    bool m_reservedNamesAllAscii = true;
    // Byte lengths of the keys below 64 bytes: an ASCII name of another
    // length cannot match (ASCII upper-casing keeps the length).
    std::array<bool, 64> m_reservedAsciiLengths {};
    bool m_effectiveCaseSensitive;
    std::int64_t m_destinationRootByteCount;
    CharacterSet m_stripLeadingCharacters;
    CharacterSet m_stripTrailingCharacters;
    bool m_cleanRepeatedSeparators;
    bool m_udfNameLengths = false;
    std::vector<std::string> m_repeatedSeparatorCharacters;
    CharacterSet m_repeatedSeparatorSet;
    // Ranks by character: ASCII by byte, others by NFC form.
    std::array<std::int64_t, 128> m_asciiSeparatorRank {};
    std::vector<std::pair<std::string, std::int64_t>> m_otherSeparatorRank;
    bool m_smartPathShortening;
    LogSink m_logSink;
};

}  // namespace tess
