#include "analysis/SourceFileAnalyzer.h"

#include "core/FormatSeconds.h"

#include "analysis/BackgroundList.h"
#include "analysis/CrossItemPasses.h"
#include "analysis/PreparationOrder.h"
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
#include <limits>
#include <utility>

#define ANALYZER_LOG_INFO(message) emitLog((message), "INFO", __FILE__, __LINE__)
#define ANALYZER_LOG_WARN(message) emitLog((message), "WARN", __FILE__, __LINE__)

namespace tess {

namespace {

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
    const std::vector<std::size_t> order = PreparationOrder::sortedOrder(items);
    std::future<std::vector<Phase1Result>> phase1Slots = makeListInBackground<Phase1Result>(n);
    std::vector<PreparedItem> prepared = futurePrepared.get();
    const ChunkPlan copyPlan = PreparationOrder::planChunks(n, cores);
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
            if (std::optional<std::string> relative = PreparationOrder::relativePath(item.item.path, root)) {
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
    return Preparation {std::move(prepared), std::move(phase1Slots), sortTime, relTime};
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
    const ChunkPlan plan = PreparationOrder::planChunks(n, cores);
    const std::string_view encoding = encodingCaseName(m_passes.resolvedEncoding());
    const std::string_view caseSensitive = m_effectiveCaseSensitive ? "true" : "false";
    logAnalysisStart(n, target);
    Preparation preparation = prepare(items, PreparationOrder::rootWithSlash(sourceRootPath), cores);
    const double prepTime = preparation.sortSeconds + preparation.relativePathSeconds;

    ANALYZER_LOG_INFO("Analyzer: Phase 1 starting — " + std::to_string(n) + " items across " + std::to_string(plan.chunkCount)
        + " chunks on " + std::to_string(cores) + " cores");
    const Clock::time_point t5 = Clock::now();
    Phase1Output phase1 = runPhase1Into(std::move(preparation.items), preparation.phase1Slots.get(), isCancelled);
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
    const ChunkPlan plan = PreparationOrder::planChunks(n, processorCount());
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
        std::optional<std::string> tooDeepOriginalPath;
        m_passes.run(path, item.item.isDirectory, result.transformations, tooDeepOriginalPath, caches);
        result.transformedPath = std::move(path);
        if (tooDeepOriginalPath) {
            result.tooDeepOriginalPath = std::move(*tooDeepOriginalPath);
        }
    }
    result.originalFile = std::move(item.item);
    result.setOriginalRelativePath(std::move(item.relativePath));
    return result;
}

void SourceFileAnalyzer::Phase1Result::setOriginalRelativePath(std::string relativePath)
{
    const std::string& path = originalFile.path;
    if (path.ends_with(relativePath) && path.size() - relativePath.size() <= std::numeric_limits<std::uint32_t>::max()) {
        relativePathStart = static_cast<std::uint32_t>(path.size() - relativePath.size());
        otherRelativePath.reset();
    } else {
        relativePathStart = 0;
        otherRelativePath = std::move(relativePath);
    }
}

// --- Phase 2 ------------------------------------------------------------------

SourceFileAnalyzer::AnalysisResult SourceFileAnalyzer::runPhase2(Phase1Output phase1, const CancelCheck& isCancelled) const
{
    return CrossItemPasses(*this).run(std::move(phase1), isCancelled);
}

}  // namespace tess
