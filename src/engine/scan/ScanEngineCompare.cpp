#include "scan/ScanEngine.h"

#include "index/IndexTime.h"
#include "index/PathKey.h"
#include "log/AppLogger.h"
#include "scan/ScanEngineSupport.h"

#include <algorithm>
#include <future>
#include <iterator>
#include <system_error>
#include <unordered_set>
#include <utility>

namespace tess {

using namespace scanengine;

namespace {

// The path keys of folders that could not be listed, each with a "/".
std::vector<std::string> unlistedFolderPrefixes(const std::vector<std::string>& unlistedFolders)
{
    std::vector<std::string> prefixes;
    prefixes.reserve(unlistedFolders.size());
    for (const auto& folder : unlistedFolders) {
        prefixes.push_back(pathKey(folder) + "/");
    }
    return prefixes;
}

bool isUnderAny(const std::string& path, const std::vector<std::string>& prefixes)
{
    if (prefixes.empty()) {
        return false;
    }
    const std::string key = pathKey(path);
    return std::any_of(prefixes.begin(), prefixes.end(), [&](const std::string& prefix) { return key.starts_with(prefix); });
}

// The ids of the stale rows, leaving out those under folders that could not
// be listed: their items were not seen, but they are not gone.
std::vector<std::int64_t> removableIds(std::vector<FileIndexDatabase::StaleRow>& rows, const std::vector<std::string>& keptPrefixes)
{
    std::erase_if(rows, [&](const FileIndexDatabase::StaleRow& row) { return isUnderAny(row.path, keptPrefixes); });
    std::vector<std::int64_t> ids;
    ids.reserve(rows.size());
    for (const auto& row : rows) {
        ids.push_back(row.id);
    }
    return ids;
}

std::vector<std::string> pathsOf(const std::vector<FileItem>& items)
{
    std::vector<std::string> paths;
    paths.reserve(items.size());
    for (const auto& item : items) {
        paths.push_back(item.path);
    }
    return paths;
}

// The paths of `items`, which are freed.
std::vector<std::string> takePaths(std::vector<FileItem>& items)
{
    std::vector<std::string> paths;
    paths.reserve(items.size());
    for (auto& item : items) {
        paths.push_back(std::move(item.path));
    }
    std::vector<FileItem>().swap(items);
    return paths;
}

}  // namespace

// --- Walk and comparison --------------------------------------------------------

ScanEngine::Comparison ScanEngine::enumerateAndCompare(const std::string& root, ScanTrigger trigger,
    Clock::time_point startTime)
{
    const auto t0 = SteadyClock::now();
    // The kinds of the indexed rows are read while the walk runs, on a thread
    // the scan owns: every way out of this function, an exception included,
    // waits for it (the future of std::async joins). The match reads them
    // again if the index changed meanwhile, or itself when no thread could
    // be started.
    std::future<FileIndexDatabase::FolderRows> folderRows;
    try {
        folderRows = std::async(std::launch::async, [database = m_database] { return database->findFolderRows(); });
    } catch (const std::system_error& error) {
        TESS_LOG_WARN(std::string("⚠️ MonitorCoordinator: Folder rows read with the comparison: ") + error.what());
    }
    const std::size_t workers = m_workerCount;
    DirectoryWalker::Outcome walk = DirectoryWalker::walk(root, walkOptions(workers));
    if (m_walkReporter) {
        m_walkReporter(root, walk);
    }

    Comparison comparison;
    if (!takeWalkFailures(walk, root, comparison)) {
        return comparison;
    }
    std::vector<FileItem> items = walk.cancelled ? std::vector<FileItem>() : std::move(walk.items);
    const auto t1 = SteadyClock::now();

    if (isCancelRequested() || isJobStale()) {
        TESS_LOG_INFO("MonitorCoordinator: Enumeration cancelled at " + std::to_string(items.size()) + " files");
        return {};
    }

    const auto directories = std::count_if(items.begin(), items.end(), [](const FileItem& item) { return item.isDirectory; });
    ScanProgress progress;
    progress.currentPhase = ScanPhase::enumerating;
    progress.trigger = trigger;
    progress.startTime = startTime;
    double databaseTime = 0.0;
    // Taken before entering the statement queue, which its reading needs.
    const FileIndexDatabase::FolderRows folders = folderRows.valid() ? folderRows.get() : FileIndexDatabase::FolderRows {};
    if (!compareWithIndex(items, folders, comparison, progress, databaseTime)) {
        return {};
    }
    std::vector<FileItem>().swap(items);  // moved into the comparison
    comparison.match.indexed = {};
    comparison.match.changed = {};

    TESS_LOG_INFO("Enumeration complete: " + std::to_string(comparison.total) + " files (" + std::to_string(directories) + " dirs) ("
        + std::to_string(comparison.newItems.size()) + " new, " + std::to_string(comparison.changedItems.size()) + " changed, "
        + std::to_string(comparison.unchangedItems.size()) + " unchanged) in " + formatSeconds(secondsSince(t0), 1) + "s [fs="
        + formatSeconds(std::chrono::duration<double>(t1 - t0).count(), 1) + "s, db=" + formatSeconds(databaseTime, 1)
        + "s, workers=" + std::to_string(workers) + "]");
    return comparison;
}

DirectoryWalker::Options ScanEngine::walkOptions(std::size_t workers)
{
    DirectoryWalker::Options options;
    options.workerCount = workers;
    options.excludePatterns = m_compiledExcludePatterns;
    options.openDirectory = m_directoryOpener;
    options.isCancelled = [this] {
        if (m_walkObserver) {
            m_walkObserver();
        }
        return walkShouldStop();
    };
    return options;
}

bool ScanEngine::takeWalkFailures(const DirectoryWalker::Outcome& walk, const std::string& root, Comparison& comparison)
{
    if (walk.rootUnlisted) {
        TESS_LOG_WARN("⚠️ MonitorCoordinator: Cannot list source folder " + shown(root) + ": " + errorText(walk.rootError)
            + "; scan stopped, index left as it was");
        comparison.rootUnlisted = true;
        return false;
    }
    for (const auto& folder : walk.unlistedFolders) {
        TESS_LOG_WARN("⚠️ MonitorCoordinator: Cannot list folder " + shown(folder.path) + ": " + errorText(folder.error)
            + "; its indexed items are kept");
        comparison.unlistedFolders.push_back(folder.path);
    }
    return true;
}

bool ScanEngine::compareWithIndex(std::vector<FileItem>& items, const FileIndexDatabase::FolderRows& folders, Comparison& comparison,
    ScanProgress& progress, double& databaseTime)
{
    std::size_t compared = 0;
    bool cancelled = false;
    const auto stop = [this] { return isCancelRequested() || isJobStale(); };
    // Taken before the wait for the pending writes: any write counted here
    // has run before the comparison reads the index.
    comparison.itemWritesBefore = m_database->itemWritesQueued();
    // All batches in one job of the database's statement queue: one wait for
    // the pending background writes, then no queue hop per batch. One pass
    // over the index finds which items it holds; the batches then only
    // split the items and publish progress. Without that pass (it failed or
    // was cancelled) every batch asks the index itself.
    m_database->sync([&] {
        if (!items.empty() && !stop()) {
            const auto matchStart = SteadyClock::now();
            comparison.match = m_database->matchIndexedPaths(items, stop, &folders);
            databaseTime += secondsSince(matchStart);
        }
        const FileIndexDatabase::KeyMatch& match = comparison.match;
        comparison.twinKeys = match.valid ? std::move(comparison.match.twinKeys) : TwinKeys::of(items);
        MatchedSort sort;
        if (match.valid) {
            comparison.unchangedItems.reserve(
                static_cast<std::size_t>(std::count(match.indexed.begin(), match.indexed.end(), std::uint8_t {1})));
        }
        while (compared < items.size()) {
            if (stop()) {
                TESS_LOG_INFO("MonitorCoordinator: DB comparison cancelled at " + std::to_string(compared) + " files");
                cancelled = true;
                return;
            }
            const auto batchStart = SteadyClock::now();
            const std::size_t end = std::min(items.size(), compared + kComparisonBatchSize);
            if (match.valid) {
                sortMatchedItems(items, compared, end, comparison, sort);
            } else {
                compareOneBatch(items, compared, end, comparison);
                sort.newCount = comparison.newItems.size();
            }
            databaseTime += secondsSince(batchStart);
            compared = end;

            progress.filesEnumerated = asInt(compared);
            progress.newFiles = asInt(sort.newCount);
            progress.changedFiles = asInt(comparison.changedItems.size());
            publishStatus(MonitoringStatus::scanning(progress));
        }
        comparison.total = items.size();
        if (match.valid) {
            items.resize(sort.newCount);
            items.shrink_to_fit();
            comparison.newItems = std::move(items);
        }
    });
    return !cancelled;
}

void ScanEngine::sortMatchedItems(std::vector<FileItem>& items, std::size_t begin, std::size_t end, Comparison& comparison,
    MatchedSort& sort)
{
    // New items move towards the front of `items`, in their order; what is
    // left there at the end becomes the list of new items. Indexed items of
    // the other kind than their row, or under other bytes, are changed.
    const FileIndexDatabase::KeyMatch& match = comparison.match;
    for (std::size_t i = begin; i < end; ++i) {
        if (sort.nextChanged < match.changed.size() && match.changed[sort.nextChanged] == i) {
            ++sort.nextChanged;
            comparison.changedItems.push_back(std::move(items[i]));
        } else if (match.indexed[i] != 0) {
            comparison.unchangedItems.push_back(std::move(items[i]));
        } else {
            if (sort.newCount != i) {
                items[sort.newCount] = std::move(items[i]);
            }
            ++sort.newCount;
        }
    }
}

void ScanEngine::compareOneBatch(std::vector<FileItem>& items, std::size_t begin, std::size_t end, Comparison& comparison)
{
    const std::vector<FileItem> batch(std::make_move_iterator(items.begin() + static_cast<std::ptrdiff_t>(begin)),
        std::make_move_iterator(items.begin() + static_cast<std::ptrdiff_t>(end)));
    FileIndexDatabase::Comparison result = m_database->compareBatch(batch, comparison.twinKeys);

    std::unordered_set<std::string_view> notUnchanged;
    for (const auto& item : result.newItems) {
        notUnchanged.insert(item.path);
    }
    for (const auto& item : result.changedItems) {
        notUnchanged.insert(item.path);
    }
    for (const auto& item : batch) {
        if (!notUnchanged.contains(item.path)) {
            comparison.unchangedItems.push_back(item);
        }
    }
    comparison.newItems.insert(comparison.newItems.end(), std::make_move_iterator(result.newItems.begin()),
        std::make_move_iterator(result.newItems.end()));
    comparison.changedItems.insert(comparison.changedItems.end(), std::make_move_iterator(result.changedItems.begin()),
        std::make_move_iterator(result.changedItems.end()));
}

// --- Touch and clean-up ----------------------------------------------------------

std::size_t ScanEngine::touchAndRemoveStale(Comparison& comparison, const std::string& root, Clock::time_point startTime)
{
    FileIndexDatabase::KeyMatch match = std::move(comparison.match);
    comparison.match = {};
    const std::vector<std::string> keptPrefixes = unlistedFolderPrefixes(comparison.unlistedFolders);

    std::optional<std::vector<FileIndexDatabase::StaleRow>> staleRows;
    if (match.valid) {
        // Rows the comparison did not see are stale whatever their stored time
        // (a clock set back must not keep vanished items).
        staleRows = m_database->findUnseenStaleRows(match, root, IndexDate::max());
    }
    if (staleRows) {
        comparison.onlySeenRowsIndexed = staleRows->empty();
        return removeUnseenThenTouch(comparison, std::move(match), removableIds(*staleRows, keptPrefixes), startTime);
    }
    return touchThenRemoveStale(comparison, root, startTime, keptPrefixes);
}

std::size_t ScanEngine::removeUnseenThenTouch(Comparison& comparison, FileIndexDatabase::KeyMatch match,
    const std::vector<std::int64_t>& ids, Clock::time_point startTime)
{
    // By row id while the index is as the comparison found it. The stale
    // rows are among the rows the comparison did not see, which touching
    // the seen ones leaves alone, so they can be found and removed first.
    // The rows of changed items were seen too: they are touched with the
    // unchanged ones and rewritten by the scan's results.
    bool removed = true;
    bool deleteFailed = false;
    if (!ids.empty() && !m_database->deleteMatchedRows(match, ids)) {
        // By id still, never by a key worked out from the path: that
        // could be the key of a twin that is there.
        deleteFailed = !m_database->deleteRows(ids);
        removed = false;  // the index changed: the ids no longer say which rows were seen
    }
    if (!comparison.unchangedItems.empty() || !comparison.changedItems.empty()) {
        queueTouch(comparison, removed ? std::move(match) : FileIndexDatabase::KeyMatch {}, startTime);
    }
    if (deleteFailed) {
        return staleRemovalFailed(ids.size());
    }
    if (!ids.empty()) {
        TESS_LOG_INFO("MonitorCoordinator: Removed " + std::to_string(ids.size()) + " stale paths from DB");
    }
    return ids.size();
}

void ScanEngine::queueTouch(Comparison& comparison, FileIndexDatabase::KeyMatch match, Clock::time_point startTime)
{
    // Touching every unchanged row rewrites most of the table; it runs on the
    // background write queue, ahead of the scan's results, and every read of
    // the index waits for it. Without the match it touches by path, except
    // when the items keep their paths for a re-analysis: the match then only
    // goes stale through a write queued after the comparison, and the scan
    // is recorded as failed instead.
    const bool byPathToo = !handsOverUnchangedItems(comparison);
    std::vector<std::string> paths;
    if (byPathToo) {
        paths = takePaths(comparison.unchangedItems);
        for (const auto& item : comparison.changedItems) {
            paths.push_back(item.path);
        }
    }
    comparison.touchFailed = std::make_shared<std::atomic<bool>>(false);
    m_database->performAsyncKeepingItems([database = m_database, match = std::move(match), paths = std::move(paths), startTime,
                                             byPathToo, twins = comparison.twinKeys, failed = comparison.touchFailed]() mutable {
        if (!database->touchMatchedRows(match, startTime) && !(byPathToo && database->touchPaths(paths, startTime, twins))) {
            failed->store(true);
        }
    });
}

std::size_t ScanEngine::touchThenRemoveStale(Comparison& comparison, const std::string& root, Clock::time_point startTime,
    const std::vector<std::string>& keptPrefixes)
{
    bool touched = true;
    if (!comparison.unchangedItems.empty()) {
        touched = m_database->touchPaths(takePaths(comparison.unchangedItems), startTime, comparison.twinKeys);
    }
    if (!comparison.changedItems.empty()) {
        touched = m_database->touchPaths(pathsOf(comparison.changedItems), startTime, comparison.twinKeys) && touched;
    }
    if (!touched) {
        // Rows that were not touched would look vanished: nothing is removed.
        comparison.touchFailed = std::make_shared<std::atomic<bool>>(true);
        return staleRemovalFailed(0);
    }
    std::vector<FileIndexDatabase::StaleRow> stale = m_database->findStaleRows(root, startTime);
    const std::vector<std::int64_t> ids = removableIds(stale, keptPrefixes);
    if (!ids.empty()) {
        // By id, never by a key worked out from the path: that could be the
        // key of a twin that is there.
        if (!m_database->deleteRows(ids)) {
            return staleRemovalFailed(ids.size());
        }
        TESS_LOG_INFO("MonitorCoordinator: Removed " + std::to_string(ids.size()) + " stale paths from DB");
    }
    return ids.size();
}

std::size_t ScanEngine::staleRemovalFailed(std::size_t count)
{
    TESS_LOG_ERROR("❌ MonitorCoordinator: Failed to remove " + std::to_string(count) + " stale paths from DB; they stay indexed");
    indexWriteFailureReporter()();
    return 0;
}

}  // namespace tess
