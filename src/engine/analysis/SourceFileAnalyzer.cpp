#include "analysis/SourceFileAnalyzer.h"

#include "core/FormatSeconds.h"

#include "analysis/BackgroundList.h"
#include "analysis/CrossItemPasses.h"
#include "core/Concurrency.h"
#include "log/AppLogger.h"
#include "rules/FilesystemPreset.h"
#include "rules/RuleTypes.h"
#include "rules/TranslationTable.h"

#include "text/CharacterWalk.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>
#include <mutex>
#include <utility>

#define ANALYZER_LOG_INFO(message) emitLog((message), "INFO", __FILE__, __LINE__)
#define ANALYZER_LOG_WARN(message) emitLog((message), "WARN", __FILE__, __LINE__)

namespace tess {

namespace {

constexpr std::size_t kItemsPerChunk = 500;
constexpr std::size_t kCancelPollInterval = 1000;

using Clock = std::chrono::steady_clock;

double secondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

// An absent callback never cancels.
bool cancelled(const std::function<bool()>& isCancelled)
{
    return isCancelled && isCancelled();
}

// Where the first k elements of the stable merge of the sorted ranges a
// (na elements) and b (nb elements) split: how many of them come from a. An
// element of a goes before an element of b unless the b element is less (as
// std::merge takes them).
template <class It, class Less>
std::size_t mergeSplit(It a, std::size_t na, It b, std::size_t nb, std::size_t k, const Less& less)
{
    std::size_t lo = k > nb ? k - nb : 0;
    std::size_t hi = std::min(k, na);
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (!less(b[static_cast<std::ptrdiff_t>(k - mid - 1)], a[static_cast<std::ptrdiff_t>(mid)])) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}

// Stable sort of a large list: parts sorted side by side, then merged
// pairwise round by round, each merge cut into pieces that are merged side by
// side (each merge takes from the earlier part on ties, so the whole stays
// stable).
template <class T, class Less>
void parallelStableSort(std::vector<T>& values, const Less& less)
{
    constexpr std::size_t kMinPartSize = 16384;
    const std::size_t processors = processorCount();
    const std::size_t parts = std::min(processors, values.size() / kMinPartSize);
    if (parts < 2) {
        std::stable_sort(values.begin(), values.end(), less);
        return;
    }
    const std::size_t n = values.size();
    std::vector<std::size_t> bounds;
    for (std::size_t part = 0; part <= parts; ++part) {
        bounds.push_back(n * part / parts);
    }
    const auto at = [](std::vector<T>& list, std::size_t offset) { return list.begin() + static_cast<std::ptrdiff_t>(offset); };
    parallelFor(parts, [&](std::size_t part) { std::stable_sort(at(values, bounds[part]), at(values, bounds[part + 1]), less); });
    std::vector<T> buffer(n);
    std::vector<T>* from = &values;
    std::vector<T>* to = &buffer;
    while (bounds.size() > 2) {
        // Pair p merges parts 2p and 2p + 1 (a last part without partner is
        // moved over as it is).
        const std::size_t pairs = bounds.size() / 2;
        const std::size_t piecesPerPair = std::max<std::size_t>(1, processors / pairs);
        parallelFor(pairs * piecesPerPair, [&](std::size_t task) {
            const std::size_t pair = task / piecesPerPair;
            const std::size_t piece = task % piecesPerPair;
            const std::size_t first = bounds[2 * pair];
            const std::size_t middle = bounds[2 * pair + 1];
            const std::size_t last = 2 * pair + 2 < bounds.size() ? bounds[2 * pair + 2] : middle;
            const std::size_t total = last - first;
            const std::size_t kBegin = total * piece / piecesPerPair;
            const std::size_t kEnd = total * (piece + 1) / piecesPerPair;
            const auto a = at(*from, first);
            const auto b = at(*from, middle);
            const std::size_t na = middle - first;
            const std::size_t nb = last - middle;
            const std::size_t aBegin = mergeSplit(a, na, b, nb, kBegin, less);
            const std::size_t aEnd = mergeSplit(a, na, b, nb, kEnd, less);
            const std::size_t bBegin = kBegin - aBegin;
            const std::size_t bEnd = kEnd - aEnd;
            const auto ptr = [](auto it, std::size_t offset) { return it + static_cast<std::ptrdiff_t>(offset); };
            std::merge(std::make_move_iterator(ptr(a, aBegin)), std::make_move_iterator(ptr(a, aEnd)),
                std::make_move_iterator(ptr(b, bBegin)), std::make_move_iterator(ptr(b, bEnd)), at(*to, first + kBegin), less);
        });
        // Every other bound stays; the end (the last bound) always.
        std::vector<std::size_t> merged;
        for (std::size_t i = 0; i < bounds.size(); i += 2) {
            merged.push_back(bounds[i]);
        }
        if (bounds.size() % 2 == 0) {
            merged.push_back(n);
        }
        bounds = std::move(merged);
        std::swap(from, to);
    }
    if (from != &values) {
        values.swap(buffer);
    }
}

}  // namespace

// --- Set-up -----------------------------------------------------------------

SourceFileAnalyzer::SourceFileAnalyzer(const TransformationSettings& settings, std::int64_t destinationRootByteCount,
    LogSink logSink)
    : m_passes(settings, destinationRootByteCount, std::move(logSink))
    , m_effectiveCaseSensitive(settings.isCaseSensitive)
    , m_smartPathShortening(settings.smartPathShortening)
{
}

std::string_view SourceFileAnalyzer::encodingCaseName(TargetEncoding encoding)
{
    switch (encoding) {
    case TargetEncoding::asciiOnly:
        return "asciiOnly";
    case TargetEncoding::utf8Basic:
        return "utf8Basic";
    case TargetEncoding::utf8Full:
        return "utf8Full";
    case TargetEncoding::utf8FullNFC:
        return "utf8FullNFC";
    }
    return "utf8Full";
}

void SourceFileAnalyzer::emitLog(std::string message, std::string_view level, std::string_view file, int line) const
{
    m_passes.emitLog(std::move(message), level, file, line);
}

// --- Entry operation ------------------------------------------------------------

SourceFileAnalyzer::ChunkPlan SourceFileAnalyzer::planChunks(std::size_t itemCount, std::size_t cores)
{
    const std::size_t chunks = std::min(itemCount / kItemsPerChunk, cores);
    if (chunks < 2) {
        return ChunkPlan {1, itemCount};
    }
    return ChunkPlan {chunks, (itemCount + chunks - 1) / chunks};
}

namespace {

struct SortKey {
    std::size_t index;
    std::size_t depth;
    bool isDirectory;
    std::string_view path;  // NFC form, compared by bytes (= code point order)
    std::uint64_t head;  // the first 8 bytes of `path`, big-endian, zero-padded
};

// The length of the prefix every key's path shares: the common prefix of
// every chunk, side by side, then the shortest.
std::size_t commonPrefixLength(const std::vector<SortKey>& keys)
{
    std::mutex commonMutex;
    std::size_t common = keys.empty() ? 0 : keys.front().path.size();
    inChunks(keys.size(), kItemsPerChunk, [&](std::size_t begin, std::size_t end) {
        if (begin >= end) {
            return;
        }
        const std::string_view first = keys.front().path;
        std::size_t chunkCommon = first.size();
        for (std::size_t i = begin; i < end; ++i) {
            const std::string_view path = keys[i].path;
            const std::size_t limit = std::min(chunkCommon, path.size());
            std::size_t same = 0;
            while (same < limit && first[same] == path[same]) {
                ++same;
            }
            chunkCommon = same;
        }
        const std::lock_guard<std::mutex> lock(commonMutex);
        common = std::min(common, chunkCommon);
    });
    return common;
}

// Drops the shared prefix from every key's path and reads the next 8 bytes
// as one big-endian number, which settles most comparisons.
void setHeads(std::vector<SortKey>& keys, std::size_t common)
{
    inChunks(keys.size(), kItemsPerChunk, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            SortKey& key = keys[i];
            key.path.remove_prefix(common);
            std::uint64_t head = 0;
            for (std::size_t b = 0; b < 8; ++b) {
                head = (head << 8) | (b < key.path.size() ? static_cast<unsigned char>(key.path[b]) : 0U);
            }
            key.head = head;
        }
    });
}

}  // namespace

std::vector<std::size_t> SourceFileAnalyzer::sortedOrder(const std::vector<FileItem>& items)
{
    // NFC forms of the paths that are not already in NFC (ASCII never needs
    // one); kept alive for the sort.
    const std::size_t n = items.size();
    std::vector<std::string> normalized(n);
    std::vector<SortKey> keys(n);
    inChunks(n, kItemsPerChunk, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            const std::string& path = items[i].path;
            std::string_view text = path;
            if (!text::isAscii(path) && !text::isNfc(path)) {
                normalized[i] = text::nfc(path);
                text = normalized[i];
            }
            const std::size_t depth = static_cast<std::size_t>(std::count(path.begin(), path.end(), '/'));
            keys[i] = SortKey {i, depth, items[i].isDirectory, text, 0};
        }
    });
    // All paths share the source root: comparisons start after the common
    // prefix.
    setHeads(keys, commonPrefixLength(keys));
    const auto before = [](const SortKey& a, const SortKey& b) {
        if (a.depth != b.depth) {
            return a.depth < b.depth;
        }
        if (a.isDirectory != b.isDirectory) {
            return a.isDirectory;
        }
        if (a.head != b.head) {
            return a.head < b.head;
        }
        return a.path < b.path;
    };
    parallelStableSort(keys, before);
    std::vector<std::size_t> order;
    order.reserve(keys.size());
    for (const SortKey& key : keys) {
        order.push_back(key.index);
    }
    return order;
}

std::string SourceFileAnalyzer::rootWithSlash(std::string_view sourceRootPath)
{
    std::string root(sourceRootPath);
    if (root.empty() || root.back() != '/') {
        root.push_back('/');
    }
    return root;
}

std::optional<std::string> SourceFileAnalyzer::relativePath(std::string_view path, std::string_view root)
{
    if (path.size() > root.size() && path.substr(0, root.size()) == root) {
        return std::string(path.substr(root.size()));
    }
    if ((text::isAscii(path) && text::isAscii(root)) || !text::isValidUtf8(path) || !text::isValidUtf8(root)) {
        return std::nullopt;
    }
    // Character by character, canonically equivalent characters being equal.
    std::vector<std::string> rootCharacters;
    text::forEachCharacter(root, [&](std::string_view character, std::size_t) {
        rootCharacters.push_back(PerItemPasses::characterKey(character));
        return true;
    });
    std::size_t matched = 0;
    std::size_t restOffset = 0;
    bool mismatch = false;
    text::forEachCharacter(path, [&](std::string_view character, std::size_t offset) {
        if (matched == rootCharacters.size()) {
            restOffset = offset;
            return false;
        }
        if (PerItemPasses::characterKey(character) != rootCharacters[matched]) {
            mismatch = true;
            return false;
        }
        ++matched;
        restOffset = offset + character.size();
        return true;
    });
    if (mismatch || matched < rootCharacters.size() || restOffset >= path.size()) {
        return std::nullopt;
    }
    return std::string(path.substr(restOffset));
}

void SourceFileAnalyzer::logAnalysisStart(std::size_t n, std::string_view target) const
{
    const std::string_view encoding = encodingCaseName(m_passes.resolvedEncoding());
    const std::string_view caseSensitive = m_effectiveCaseSensitive ? "true" : "false";
    ANALYZER_LOG_INFO("Analyzer: Starting analysis of " + std::to_string(n) + " items "
        + "[target=" + (target.empty() ? std::string("unknown") : std::string(target)) + ", "
        + "encoding=" + std::string(encoding) + ", caseSensitive=" + std::string(caseSensitive) + ", "
        + "fileNameLimit=" + std::to_string(m_passes.effectiveFileNameLength())
        + ", folderNameLimit=" + std::to_string(m_passes.effectiveFolderNameLength()) + ", "
        + "pathLengthLimit=" + (m_passes.effectiveMaxPathLength() == kNoLimit ? std::string("none") : std::to_string(m_passes.effectiveMaxPathLength())) + ", "
        + "flattenDepth=" + (m_passes.effectiveMaxPathDepth() == kNoLimit ? std::string("none") : std::to_string(m_passes.effectiveMaxPathDepth())) + ", "
        + "translationEntries=" + std::to_string(m_passes.effectiveTranslationTable().count()) + "]");
}

SourceFileAnalyzer::Preparation SourceFileAnalyzer::prepare(std::vector<FileItem>& items, const std::string& root,
    std::size_t cores) const
{
    const std::size_t n = items.size();
    // Sort, then relative paths.
    const Clock::time_point t1 = Clock::now();
    // The large list is set up on another thread while the sort runs.
    std::future<std::vector<PreparedItem>> futurePrepared = makeListInBackground<PreparedItem>(n);
    const std::vector<std::size_t> order = sortedOrder(items);
    std::vector<PreparedItem> prepared = futurePrepared.get();
    const ChunkPlan copyPlan = planChunks(n, cores);
    parallelFor(copyPlan.chunkCount, [&](std::size_t chunk) {
        const std::size_t begin = std::min(chunk * copyPlan.chunkSize, n);
        const std::size_t end = std::min(begin + copyPlan.chunkSize, n);
        for (std::size_t i = begin; i < end; ++i) {
            prepared[i].item = std::move(items[order[i]]);
        }
    });
    std::vector<FileItem>().swap(items);
    const Clock::time_point t2 = Clock::now();
    const Clock::time_point t3 = Clock::now();
    parallelFor(copyPlan.chunkCount, [&](std::size_t chunk) {
        const std::size_t begin = std::min(chunk * copyPlan.chunkSize, n);
        const std::size_t end = std::min(begin + copyPlan.chunkSize, n);
        for (std::size_t i = begin; i < end; ++i) {
            PreparedItem& item = prepared[i];
            if (std::optional<std::string> relative = relativePath(item.item.path, root)) {
                item.relativePath = std::move(*relative);
            } else {
                item.relativePath = item.item.path;
                item.outsideSourceRoot = true;
            }
        }
    });
    // The warnings in item order, after the work side by side.
    for (const PreparedItem& item : prepared) {
        if (item.outsideSourceRoot) {
            ANALYZER_LOG_WARN("⚠️ Analyzer: item outside the source root left unchanged: " + text::toValidUtf8(item.item.path));
        }
    }
    const Clock::time_point t4 = Clock::now();
    const double sortTime = secondsBetween(t1, t2);
    const double relTime = secondsBetween(t3, t4);
    const double prepTime = sortTime + relTime;
    ANALYZER_LOG_INFO("Analyzer: Prep complete in " + formatSeconds(prepTime, 2) + "s " + "[sort=" + formatSeconds(sortTime, 2)
        + "s, relPaths=" + formatSeconds(relTime, 2) + "s]");
    return Preparation {std::move(prepared), sortTime, relTime};
}

SourceFileAnalyzer::AnalysisResult SourceFileAnalyzer::analyze(const std::vector<FileItem>& items,
    std::string_view sourceRootPath, std::string_view target, const CancelCheck& isCancelled) const
{
    return analyze(std::vector<FileItem>(items), sourceRootPath, target, isCancelled);
}

SourceFileAnalyzer::AnalysisResult SourceFileAnalyzer::analyze(std::vector<FileItem>&& items,
    std::string_view sourceRootPath, std::string_view target, const CancelCheck& isCancelled) const
{
    const Clock::time_point t0 = Clock::now();
    const std::size_t n = items.size();
    const std::size_t cores = processorCount();
    const ChunkPlan plan = planChunks(n, cores);
    const std::string_view encoding = encodingCaseName(m_passes.resolvedEncoding());
    const std::string_view caseSensitive = m_effectiveCaseSensitive ? "true" : "false";
    logAnalysisStart(n, target);
    // The phase-1 result list is set up on another thread meanwhile.
    std::future<std::vector<Phase1Result>> futurePhase1Slots = makeListInBackground<Phase1Result>(n);
    Preparation preparation = prepare(items, rootWithSlash(sourceRootPath), cores);
    const double prepTime = preparation.sortSeconds + preparation.relativePathSeconds;

    ANALYZER_LOG_INFO("Analyzer: Phase 1 starting — " + std::to_string(n) + " items across " + std::to_string(plan.chunkCount)
        + " chunks on " + std::to_string(cores) + " cores");
    const Clock::time_point t5 = Clock::now();
    Phase1Output phase1 = runPhase1Into(std::move(preparation.items), futurePhase1Slots.get(), isCancelled);
    const Clock::time_point t6 = Clock::now();
    const double phase1Time = secondsBetween(t5, t6);
    const auto withTransforms = std::count_if(phase1.results.begin(), phase1.results.end(),
        [](const Phase1Result& result) { return !result.transformations.empty(); });
    ANALYZER_LOG_INFO("Analyzer: Phase 1 complete in " + formatSeconds(phase1Time, 2) + "s — " + std::to_string(withTransforms)
        + " items with transforms");

    // A phase 1 that stopped early is never handed on, even if the caller's
    // flag has been cleared meanwhile.
    const bool cancelledAfterPhase1 = cancelled(isCancelled);
    if (cancelledAfterPhase1 || phase1.stoppedEarly) {
        ANALYZER_LOG_INFO("Analyzer: cancelled after phase1");
        return {};
    }

    ANALYZER_LOG_INFO("Analyzer: Phase 2 starting — serial cross-file passes");
    const Clock::time_point t7 = Clock::now();
    AnalysisResult result = runPhase2(std::move(phase1), isCancelled);
    const Clock::time_point t8 = Clock::now();
    const double phase2Time = secondsBetween(t7, t8);

    if (cancelled(isCancelled)) {
        ANALYZER_LOG_INFO("Analyzer: cancelled after phase2");
        return {};
    }

    const Clock::time_point t9 = Clock::now();
    const double totalTime = secondsBetween(t0, t9);
    const auto withIssues = std::count_if(result.results.begin(), result.results.end(),
        [](const FileTransformationResult& r) { return !r.transformations.empty(); });
    ANALYZER_LOG_INFO("Analyzer: Complete — " + std::to_string(n) + " items in " + formatSeconds(totalTime, 2) + "s, "
        + std::to_string(withIssues) + " with issues " + "[prep=" + formatSeconds(prepTime, 2) + "s, " + "phase1="
        + formatSeconds(phase1Time, 2) + "s, " + "phase2=" + formatSeconds(phase2Time, 2) + "s] " + "encoding="
        + std::string(encoding) + ", caseSensitive=" + std::string(caseSensitive));
    return result;
}

// --- Phase 1 ------------------------------------------------------------------

SourceFileAnalyzer::Phase1Output SourceFileAnalyzer::runPhase1(std::vector<PreparedItem> items,
    const CancelCheck& isCancelled) const
{
    std::vector<Phase1Result> slots(items.size());
    return runPhase1Into(std::move(items), std::move(slots), isCancelled);
}

SourceFileAnalyzer::Phase1Output SourceFileAnalyzer::runPhase1Into(std::vector<PreparedItem> items,
    std::vector<Phase1Result> slots, const CancelCheck& isCancelled) const
{
    Phase1Output output;
    const std::size_t n = items.size();
    if (n == 0) {
        return output;
    }
    const ChunkPlan plan = planChunks(n, processorCount());
    // Every chunk writes its own index range of one pre-sized list, so no
    // join is needed afterwards.
    output.results = std::move(slots);
    if (!plan.parallel()) {
        const std::size_t done = runPhase1Chunk(0, n, items, output.results, isCancelled);
        output.stoppedEarly = done < n;
        output.results.resize(done);
        return output;
    }
    std::vector<std::size_t> done(plan.chunkCount, 0);
    parallelFor(plan.chunkCount, [&](std::size_t chunk) {
        done[chunk] = runPhase1Chunk(chunk, plan.chunkSize, items, output.results, isCancelled);
    });
    // A stopped chunk leaves a gap: keep what was done, in order.
    std::size_t kept = 0;
    for (std::size_t chunk = 0; chunk < plan.chunkCount; ++chunk) {
        const std::size_t start = std::min(chunk * plan.chunkSize, n);
        const std::size_t size = std::min(start + plan.chunkSize, n) - start;
        output.stoppedEarly = output.stoppedEarly || done[chunk] < size;
        if (kept != start) {
            std::move(output.results.begin() + static_cast<std::ptrdiff_t>(start),
                output.results.begin() + static_cast<std::ptrdiff_t>(start + done[chunk]),
                output.results.begin() + static_cast<std::ptrdiff_t>(kept));
        }
        kept += done[chunk];
    }
    output.results.resize(kept);
    return output;
}

std::size_t SourceFileAnalyzer::runPhase1Chunk(std::size_t chunk, std::size_t chunkSize,
    std::vector<PreparedItem>& items, std::vector<Phase1Result>& results, const CancelCheck& isCancelled) const
{
    const std::size_t n = items.size();
    const std::size_t start = chunk * chunkSize;
    const std::size_t end = std::min(start + chunkSize, n);
    if (start >= end) {
        return 0;
    }
    TransliterationCaches caches;
    for (std::size_t j = 0; start + j < end; ++j) {
        if (j != 0 && j % kCancelPollInterval == 0 && cancelled(isCancelled)) {
            return j;
        }
        results[start + j] = processItem(std::move(items[start + j]), caches);
    }
    return end - start;
}

SourceFileAnalyzer::Phase1Result SourceFileAnalyzer::processItem(PreparedItem&& item, TransliterationCaches& caches) const
{
    Phase1Result result;
    result.outsideSourceRoot = item.outsideSourceRoot;
    if (item.outsideSourceRoot) {
        result.transformedPath = item.relativePath;
    } else {
        std::string path = item.relativePath;
        m_passes.run(path, item.item.isDirectory, result.transformations, result.tooDeepOriginalPath, caches);
        result.transformedPath = std::move(path);
    }
    result.originalFile = std::move(item.item);
    result.originalRelativePath = std::move(item.relativePath);
    return result;
}

// --- Phase 2 ------------------------------------------------------------------

SourceFileAnalyzer::AnalysisResult SourceFileAnalyzer::runPhase2(Phase1Output phase1, const CancelCheck& isCancelled) const
{
    return CrossItemPasses(*this).run(std::move(phase1), isCancelled);
}

}  // namespace tess
