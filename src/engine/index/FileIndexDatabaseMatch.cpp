// The bulk forms of a scan's comparison, touch and clean-up: one pass over
// the path-key index instead of one IN query per batch, and writes by row id
// instead of one path-key look-up per row.

#include "index/FileIndexDatabase.h"

#include "analysis/FileTransformationResult.h"
#include "core/Concurrency.h"
#include "index/IssueTypesText.h"
#include "index/PathKey.h"
#include "index/ShortenedComponentsJson.h"
#include "index/SqliteStatement.h"
#include "index/SqliteTransaction.h"
#include "log/AppLogger.h"
#include "text/Text.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <future>
#include <iterator>
#include <limits>
#include <mutex>
#include <optional>
#include <string_view>

namespace tess {

namespace {

constexpr std::uint32_t kNoItem = std::numeric_limits<std::uint32_t>::max();

// Pieces of work for parallelFor: a few per processor, none tiny.
std::size_t chunkCount(std::size_t count)
{
    constexpr std::size_t kMinimumChunk = 4096;
    return std::clamp<std::size_t>(count / kMinimumChunk, 1, processorCount() * 4);
}

std::pair<std::size_t, std::size_t> chunkRange(std::size_t chunk, std::size_t chunks, std::size_t count)
{
    return {count * chunk / chunks, count * (chunk + 1) / chunks};
}

// The path keys of a list of items, without copying a path that is its own
// key (every ASCII path, most others).
class ItemKeys {
public:
    explicit ItemKeys(const std::vector<FileItem>& items)
        : m_views(items.size())
    {
        // Most paths are their own key; the others get theirs side by side.
        const std::size_t chunks = chunkCount(items.size());
        std::vector<std::vector<std::pair<std::size_t, std::string>>> owned(chunks);
        parallelFor(chunks, [&](std::size_t chunk) {
            const auto [begin, end] = chunkRange(chunk, chunks, items.size());
            for (std::size_t i = begin; i < end; ++i) {
                const std::string& path = items[i].path;
                if (text::isAscii(path)) {
                    m_views[i] = path;
                    continue;
                }
                std::string key = pathKey(path);
                if (key == path) {
                    m_views[i] = path;
                } else {
                    owned[chunk].emplace_back(i, std::move(key));
                }
            }
        });
        std::size_t total = 0;
        for (const auto& list : owned) {
            total += list.size();
        }
        m_owned.reserve(total);
        for (auto& list : owned) {
            for (auto& [index, key] : list) {
                m_owned.push_back(std::move(key));
                m_views[index] = m_owned.back();  // no reallocation: reserved above
            }
        }
    }

    std::size_t size() const { return m_views.size(); }
    std::string_view operator[](std::size_t index) const { return m_views[index]; }

    // A twin keyed by its exact bytes (`path` outlives this object).
    void keyByBytes(std::size_t index, std::string_view path) { m_views[index] = path; }

    // The length of the folder path, with its "/", that every key starts
    // with (the scan root's).
    std::size_t sharedFolderLength() const
    {
        if (m_views.empty()) {
            return 0;
        }
        const std::string_view first = m_views[0];
        const std::size_t chunks = chunkCount(m_views.size());
        std::vector<std::size_t> shared(chunks, first.size());
        parallelFor(chunks, [&](std::size_t chunk) {
            const auto [begin, end] = chunkRange(chunk, chunks, m_views.size());
            std::size_t length = first.size();
            for (std::size_t i = begin; i < end; ++i) {
                const std::string_view key = m_views[i];
                const auto limit = static_cast<std::ptrdiff_t>(std::min(length, key.size()));
                length = static_cast<std::size_t>(std::mismatch(first.begin(), first.begin() + limit, key.begin()).first - first.begin());
            }
            shared[chunk] = length;
        });
        const std::size_t length = *std::min_element(shared.begin(), shared.end());
        const std::size_t slash = first.substr(0, length).rfind('/');
        return slash == std::string_view::npos ? 0 : slash + 1;
    }

private:
    std::vector<std::string_view> m_views;
    std::vector<std::string> m_owned;
};

// An open-addressing table from a path key to the items that have it (two
// items share a key when their names differ only in normalisation).
class KeyTable {
public:
    // Filled side by side: a slot is claimed with a compare-and-swap, and
    // items whose key is already in the table are linked afterwards.
    explicit KeyTable(const ItemKeys& keys)
        : m_keys(keys)
    {
        const std::size_t capacity = std::bit_ceil(std::max<std::size_t>(16, keys.size() * 2));
        m_slots.assign(capacity, kNoItem);
        m_mask = capacity - 1;
        const std::size_t chunks = chunkCount(keys.size());
        std::vector<std::vector<std::pair<std::uint32_t, std::uint32_t>>> duplicates(chunks);
        parallelFor(chunks, [&](std::size_t chunk) {
            const auto [begin, end] = chunkRange(chunk, chunks, keys.size());
            for (std::size_t i = begin; i < end; ++i) {
                const auto item = static_cast<std::uint32_t>(i);
                const std::uint32_t occupant = insert(item);
                if (occupant != kNoItem) {
                    duplicates[chunk].emplace_back(item, occupant);
                }
            }
        });
        for (const auto& list : duplicates) {
            for (const auto& [item, occupant] : list) {
                if (m_next.empty()) {
                    m_next.assign(m_keys.size(), kNoItem);
                }
                m_next[item] = m_next[occupant];
                m_next[occupant] = item;
                m_sharedKeys.push_back(occupant);
            }
        }
        std::sort(m_sharedKeys.begin(), m_sharedKeys.end());
        m_sharedKeys.erase(std::unique(m_sharedKeys.begin(), m_sharedKeys.end()), m_sharedKeys.end());
    }

    // The first item of every key that more than one item has.
    const std::vector<std::uint32_t>& sharedKeys() const { return m_sharedKeys; }

    // The first item with `key`, or kNoItem; next() gives the others.
    std::uint32_t find(std::string_view key) const
    {
        for (std::size_t slot = hash(key) & m_mask;; slot = (slot + 1) & m_mask) {
            const std::uint32_t item = m_slots[slot];
            if (item == kNoItem || m_keys[item] == key) {
                return item;
            }
        }
    }

    std::uint32_t next(std::uint32_t item) const { return m_next.empty() ? kNoItem : m_next[item]; }

private:
    static std::size_t hash(std::string_view key) { return std::hash<std::string_view> {}(key); }

    // Claims a slot for `item`; kNoItem, or the item already holding its key.
    std::uint32_t insert(std::uint32_t item)
    {
        const std::string_view key = m_keys[item];
        for (std::size_t slot = hash(key) & m_mask;; slot = (slot + 1) & m_mask) {
            std::atomic_ref<std::uint32_t> occupant(m_slots[slot]);
            std::uint32_t current = occupant.load(std::memory_order_acquire);
            if (current == kNoItem
                && occupant.compare_exchange_strong(current, item, std::memory_order_acq_rel, std::memory_order_acquire)) {
                return kNoItem;
            }
            if (m_keys[current] == key) {
                return current;
            }
        }
    }

    const ItemKeys& m_keys;
    std::vector<std::uint32_t> m_slots;
    std::vector<std::uint32_t> m_next;  // further items with the same key
    std::vector<std::uint32_t> m_sharedKeys;
    std::size_t m_mask = 0;
};

// Index rows read and not yet looked up: their keys one after the other.
struct RowBatch {
    std::string bytes;
    std::vector<std::size_t> ends;  // end of each key in `bytes`
    std::vector<std::int64_t> ids;
    std::vector<std::uint32_t> items;  // the first item with the key, or kNoItem

    void clear()
    {
        bytes.clear();
        ends.clear();
        ids.clear();
    }
    std::string_view key(std::size_t row) const
    {
        const std::size_t begin = row == 0 ? 0 : ends[row - 1];
        return std::string_view(bytes).substr(begin, ends[row] - begin);
    }
};

// Sorts `order` by `keys[order[i]]` (bytes), keeping the given order among
// equal keys: sorted pieces side by side, then merged pairwise.
void parallelStableSort(std::vector<std::uint32_t>& order, const std::vector<std::string>& keys)
{
    const auto less = [&](std::uint32_t a, std::uint32_t b) { return keys[a] < keys[b]; };
    const std::size_t count = order.size();
    std::size_t pieces = 1;
    while (pieces < processorCount() && count / (pieces * 2) >= 8192) {
        pieces *= 2;
    }
    std::vector<std::size_t> bounds(pieces + 1);
    for (std::size_t i = 0; i <= pieces; ++i) {
        bounds[i] = count * i / pieces;
    }
    const auto at = [&](std::vector<std::uint32_t>& v, std::size_t i) { return v.begin() + static_cast<std::ptrdiff_t>(bounds[i]); };
    parallelFor(pieces, [&](std::size_t piece) { std::stable_sort(at(order, piece), at(order, piece + 1), less); });
    std::vector<std::uint32_t> buffer(count);
    for (std::size_t width = 1; width < pieces; width *= 2) {
        const std::size_t merges = pieces / (width * 2);
        parallelFor(merges, [&](std::size_t merge) {
            const std::size_t first = merge * width * 2;
            std::merge(at(order, first), at(order, first + width), at(order, first + width), at(order, first + width * 2),
                at(buffer, first), less);
        });
        order.swap(buffer);
    }
}

// Keys every twin that does not own its key by its exact bytes (see
// TwinKeys) and returns those twins; the table must then be built again.
TwinKeys keyTwinsByBytes(const std::vector<FileItem>& items, ItemKeys& keys, const KeyTable& table)
{
    std::vector<std::string> keyedByBytes;
    std::vector<std::uint32_t> members;
    std::vector<std::string_view> paths;
    for (const std::uint32_t first : table.sharedKeys()) {
        members.clear();
        paths.clear();
        for (std::uint32_t item = first; item != kNoItem; item = table.next(item)) {
            members.push_back(item);
            paths.push_back(items[item].path);
        }
        const std::string_view owner = paths[TwinKeys::owner(paths, keys[first])];
        for (std::size_t i = 0; i < members.size(); ++i) {
            if (paths[i] != owner) {  // the same path twice shares its row
                keys.keyByBytes(members[i], paths[i]);
                keyedByBytes.emplace_back(paths[i]);
            }
        }
    }
    return TwinKeys(std::move(keyedByBytes));
}

// The analysis text of a row's columns; see FileIndexDatabase::analysisText.
std::string analysisText(bool hasIssues, std::int32_t issueCount, std::optional<std::string_view> issueTypes,
    std::optional<std::string_view> proposedRename, bool needsRename, std::optional<std::string_view> shortenedComponents)
{
    if (!hasIssues && issueCount == 0 && !issueTypes && !proposedRename && !needsRename && !shortenedComponents) {
        return {};
    }
    // Each text is led by its length, so no content can stand for another.
    std::string text;
    text += hasIssues ? '1' : '0';
    text += needsRename ? '1' : '0';
    text += std::to_string(issueCount);
    for (const auto& part : {issueTypes, proposedRename, shortenedComponents}) {
        text += part ? ':' + std::to_string(part->size()) + ':' : std::string("-");
        if (part) {
            text += *part;
        }
    }
    return text;
}

// How long the reader of fetchItemsBesideWrites waits for a lock (only a
// recovery of the write-ahead log takes one from readers).
constexpr int kReaderBusyTimeoutMilliseconds = 5000;

constexpr const char* kItemsSql = "SELECT relative_path, path, is_directory FROM file_index WHERE +scan_root = ?";
constexpr const char* kItemsWithKeySql = "SELECT relative_path, path, is_directory, path_key FROM file_index WHERE +scan_root = ?";
constexpr const char* kItemsWithAnalysisSql = "SELECT relative_path, path, is_directory, path_key, has_issues, issue_count,"
                                              " issue_types, proposed_rename, needs_rename, shortened_components"
                                              " FROM file_index WHERE +scan_root = ?";

// The items of fetchItems read on `db`, with the twins and the stored
// analysis it gives; absent when the read failed.
std::optional<std::vector<FileItem>> readItems(sqlite3* db, const std::string& scanRoot, TwinKeys* twins,
    std::unordered_map<std::string, std::string>* storedAnalysis)
{
    // The table in row order: a sort of whole rows by SQLite would spill
    // to temporary files for a large index.
    SqliteStatement statement(db, storedAnalysis != nullptr ? kItemsWithAnalysisSql : twins != nullptr ? kItemsWithKeySql
                                                                                                       : kItemsSql);
    if (!statement) {
        return std::nullopt;
    }
    statement.bindText(1, scanRoot);
    std::vector<std::string> relativePaths;
    std::vector<FileItem> rows;
    // Rows keyed by their path outside ASCII: a twin keyed by its bytes
    // when that path is not its own key.
    std::vector<std::size_t> keyedByPath;
    const auto optionalView = [&](int column) {
        return statement.isNull(column) ? std::nullopt : std::optional<std::string_view>(statement.columnTextView(column));
    };
    int rc = statement.step();
    for (; rc == SQLITE_ROW; rc = statement.step()) {
        relativePaths.push_back(statement.columnText(0));
        rows.push_back(FileItem {statement.columnText(1), statement.columnInt(2) != 0});
        const std::string& path = rows.back().path;
        if (twins != nullptr && !text::isAscii(path) && statement.columnTextView(3) == path) {
            keyedByPath.push_back(rows.size() - 1);
        }
        if (storedAnalysis != nullptr) {
            std::string text = analysisText(statement.columnInt(4) != 0, statement.columnInt(5), optionalView(6), optionalView(7),
                statement.columnInt(8) != 0, optionalView(9));
            if (!text.empty()) {
                // By the row's key: the row that a write of this path under
                // TwinKeys::keyOf() replaces.
                storedAnalysis->emplace(statement.columnText(3), std::move(text));
            }
        }
    }
    if (rc != SQLITE_DONE || rows.size() >= kNoItem) {
        return std::nullopt;
    }
    if (twins != nullptr) {
        const std::size_t chunks = chunkCount(keyedByPath.size());
        std::vector<std::vector<std::string>> keyedByBytes(chunks);
        parallelFor(chunks, [&](std::size_t chunk) {
            const auto [begin, end] = chunkRange(chunk, chunks, keyedByPath.size());
            for (std::size_t i = begin; i < end; ++i) {
                const std::string& path = rows[keyedByPath[i]].path;
                if (!text::isNfc(path) && pathKey(path) != path) {
                    keyedByBytes[chunk].push_back(path);
                }
            }
        });
        std::vector<std::string> paths;
        for (auto& list : keyedByBytes) {
            paths.insert(paths.end(), std::make_move_iterator(list.begin()), std::make_move_iterator(list.end()));
        }
        *twins = TwinKeys(std::move(paths));
    }
    std::vector<std::uint32_t> order(rows.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = static_cast<std::uint32_t>(i);
    }
    parallelStableSort(order, relativePaths);
    std::vector<std::string>().swap(relativePaths);
    std::vector<FileItem> items;
    items.reserve(rows.size());
    for (const std::uint32_t row : order) {
        items.push_back(std::move(rows[row]));
    }
    return items;
}

std::int64_t pragmaValue(sqlite3* db, const char* sql)
{
    SqliteStatement statement(db, sql);
    return statement && statement.step() == SQLITE_ROW ? statement.columnInt64(0) : -1;
}

}  // namespace

void FileIndexDatabase::stampInto(KeyMatch& match)
{
    match.changeStamp = sqlite3_total_changes64(m_db);
    match.dataVersion = pragmaValue(m_db, "PRAGMA data_version");
    match.schemaVersion = pragmaValue(m_db, "PRAGMA schema_version");
}

bool FileIndexDatabase::isCurrent(const FolderRows& folders)
{
    KeyMatch stamp;
    stamp.valid = folders.valid;
    stamp.changeStamp = folders.changeStamp;
    stamp.dataVersion = folders.dataVersion;
    stamp.schemaVersion = folders.schemaVersion;
    return isCurrent(stamp);
}

FileIndexDatabase::FolderRows FileIndexDatabase::findFolderRowsOnQueue()
{
    FolderRows folders;
    if (m_db == nullptr) {
        return folders;
    }
    // No index holds is_directory: one pass over the table, in id order.
    SqliteStatement statement(m_db, "SELECT id FROM file_index WHERE is_directory != 0");
    if (!statement) {
        return folders;
    }
    int rc = statement.step();
    for (; rc == SQLITE_ROW; rc = statement.step()) {
        folders.ids.push_back(statement.columnInt64(0));
    }
    if (rc != SQLITE_DONE) {
        return FolderRows {};
    }
    std::sort(folders.ids.begin(), folders.ids.end());
    KeyMatch stamp;
    stampInto(stamp);
    folders.changeStamp = stamp.changeStamp;
    folders.dataVersion = stamp.dataVersion;
    folders.schemaVersion = stamp.schemaVersion;
    folders.valid = true;
    return folders;
}

FileIndexDatabase::FolderRows FileIndexDatabase::findFolderRows()
{
    FolderRows folders;
    readOnQueue([&] { folders = findFolderRowsOnQueue(); });
    return folders;
}

bool FileIndexDatabase::isCurrent(const KeyMatch& match)
{
    if (!match.valid || m_db == nullptr) {
        return false;
    }
    KeyMatch now;
    stampInto(now);
    return now.changeStamp == match.changeStamp && now.dataVersion == match.dataVersion && now.schemaVersion == match.schemaVersion
        && now.dataVersion != -1 && now.schemaVersion != -1;
}

FileIndexDatabase::KeyMatch FileIndexDatabase::matchIndexedPaths(const std::vector<FileItem>& items,
    const std::function<bool()>& isCancelled, const FolderRows* folders)
{
    KeyMatch match;
    if (items.size() >= kNoItem) {
        return match;
    }
    readOnQueue([&] {
        if (m_db == nullptr) {
            return;
        }
        // The path-key index holds every row and is much smaller than the
        // table; without it the table is read.
        SqliteStatement indexed(m_db, "SELECT path_key, id FROM file_index INDEXED BY idx_path_key");
        SqliteStatement unindexed(indexed ? nullptr : m_db, "SELECT path_key, id FROM file_index");
        SqliteStatement& statement = indexed ? indexed : unindexed;
        if (!statement) {
            return;
        }
        match.indexed.assign(items.size(), 0);
        int rc = statement.step();
        if (rc == SQLITE_DONE) {  // an empty index holds none of the items
            match.twinKeys = TwinKeys::of(items);
            stampInto(match);
            match.valid = true;
            return;
        }
        // The kind of each row, as the ids of the folder rows.
        FolderRows readHere;
        if (folders == nullptr || !isCurrent(*folders)) {
            readHere = findFolderRowsOnQueue();
            if (!readHere.valid) {
                return;
            }
            folders = &readHere;
        }
        const std::vector<std::int64_t>& folderIds = folders->ids;
        ItemKeys keys(items);
        std::optional<KeyTable> keyTable(std::in_place, keys);
        if (!keyTable->sharedKeys().empty()) {
            match.twinKeys = keyTwinsByBytes(items, keys, *keyTable);
            keyTable.emplace(keys);
        }
        const KeyTable& table = *keyTable;
        // Below the scan root, a key that may hide other bytes has its row's
        // path read: an item under other bytes than its row is changed.
        const std::size_t folderLength = keys.sharedFolderLength();
        std::vector<std::pair<std::int64_t, std::uint32_t>> pathChecks;  // row id, item
        std::mutex changedLock;
        // SQLite yields the rows on this thread into one batch while the
        // rows of the previous batch are looked up side by side.
        constexpr std::size_t kBatchRows = 65536;
        std::array<RowBatch, 2> batches;
        std::size_t filling = 0;
        std::future<void> lookingUp;
        const auto lookUp = [&](RowBatch& batch) {
            const std::size_t rows = batch.ids.size();
            batch.items.assign(rows, kNoItem);
            const std::size_t chunks = chunkCount(rows);
            parallelFor(chunks, [&](std::size_t chunk) {
                const auto [begin, end] = chunkRange(chunk, chunks, rows);
                std::vector<std::uint32_t> changed;
                std::vector<std::pair<std::int64_t, std::uint32_t>> checks;
                for (std::size_t row = begin; row < end; ++row) {
                    const std::string_view key = batch.key(row);
                    const std::uint32_t first = table.find(key);
                    batch.items[row] = first;
                    if (first == kNoItem) {
                        continue;
                    }
                    const bool rowIsFolder = std::binary_search(folderIds.begin(), folderIds.end(), batch.ids[row]);
                    // Each key belongs to one row, so no two rows mark the same item.
                    for (std::uint32_t item = first; item != kNoItem; item = table.next(item)) {
                        match.indexed[item] = 1;
                        if (items[item].isDirectory != rowIsFolder) {
                            changed.push_back(item);
                        }
                    }
                    if (keyMayHideOtherBytes(key, folderLength)) {
                        checks.emplace_back(batch.ids[row], first);
                    }
                }
                if (!changed.empty() || !checks.empty()) {
                    std::lock_guard lock(changedLock);
                    match.changed.insert(match.changed.end(), changed.begin(), changed.end());
                    pathChecks.insert(pathChecks.end(), checks.begin(), checks.end());
                }
            });
            for (std::size_t row = 0; row < rows; ++row) {
                (batch.items[row] == kNoItem ? match.unseenRowIds : match.seenRowIds).push_back(batch.ids[row]);
            }
            batch.clear();
        };
        const auto finishLookUp = [&] {
            if (lookingUp.valid()) {
                lookingUp.get();
            }
        };
        for (; rc == SQLITE_ROW; rc = statement.step()) {
            RowBatch& batch = batches[filling];
            batch.bytes.append(statement.columnTextView(0));
            batch.ends.push_back(batch.bytes.size());
            batch.ids.push_back(statement.columnInt64(1));
            if (batch.ids.size() == kBatchRows) {
                finishLookUp();
                if (isCancelled && isCancelled()) {
                    match = KeyMatch {};
                    return;
                }
                lookingUp = std::async(std::launch::async, [&lookUp, &batch] { lookUp(batch); });
                filling = 1 - filling;
            }
        }
        finishLookUp();
        if (rc != SQLITE_DONE) {
            match = KeyMatch {};
            return;
        }
        lookUp(batches[filling]);
        if (!pathChecks.empty()) {
            // In ascending row id, one range of the table for ids close
            // together (a few rows between them are read and skipped)
            // instead of one look-up per row.
            constexpr std::int64_t kLargestGap = 16;
            std::sort(pathChecks.begin(), pathChecks.end());
            SqliteStatement paths(m_db, "SELECT id, path FROM file_index WHERE id BETWEEN ? AND ?");
            if (!paths) {
                match = KeyMatch {};
                return;
            }
            for (std::size_t begin = 0; begin < pathChecks.size();) {
                if (isCancelled && isCancelled()) {
                    match = KeyMatch {};
                    return;
                }
                std::size_t last = begin;
                while (last + 1 < pathChecks.size() && last - begin < kBatchRows
                    && pathChecks[last + 1].first - pathChecks[last].first <= kLargestGap) {
                    ++last;
                }
                paths.reset();
                paths.bindInt64(1, pathChecks[begin].first);
                paths.bindInt64(2, pathChecks[last].first);
                std::size_t next = begin;
                while (paths.step() == SQLITE_ROW && next <= last) {
                    const std::int64_t id = paths.columnInt64(0);
                    if (pathChecks[next].first != id) {
                        continue;  // a row between two that are checked
                    }
                    const std::uint32_t first = pathChecks[next].second;
                    ++next;
                    if (paths.columnTextView(1) != items[first].path) {
                        for (std::uint32_t item = first; item != kNoItem; item = table.next(item)) {
                            match.changed.push_back(item);
                        }
                    }
                }
                begin = last + 1;
            }
        }
        std::sort(match.seenRowIds.begin(), match.seenRowIds.end());
        std::sort(match.unseenRowIds.begin(), match.unseenRowIds.end());
        std::sort(match.changed.begin(), match.changed.end());
        match.changed.erase(std::unique(match.changed.begin(), match.changed.end()), match.changed.end());
        stampInto(match);
        match.valid = true;
    });
    return match;
}

bool FileIndexDatabase::touchMatchedRows(KeyMatch& match, IndexDate scanTime)
{
    bool touched = false;
    onQueue([&] {
        if (!isCurrent(match)) {
            return;
        }
        SqliteStatement statement(m_db, "UPDATE file_index SET last_scanned = ? WHERE id BETWEEN ? AND ?");
        if (!statement) {
            return;
        }
        const double time = secondsSince1970(scanTime);
        const auto& seen = match.seenRowIds;
        const auto& unseen = match.unseenRowIds;
        SqliteTransaction transaction(m_db);
        if (!transaction) {
            logRolledBack("touchMatchedRows", transaction.error());
            return;
        }
        // A run of seen ids with no unseen id between them holds only rows
        // that were seen: every row is either seen or unseen.
        std::size_t nextUnseen = 0;
        for (std::size_t i = 0; i < seen.size(); ++i) {
            const std::int64_t first = seen[i];
            while (nextUnseen < unseen.size() && unseen[nextUnseen] < first) {
                ++nextUnseen;
            }
            const std::int64_t limit = nextUnseen < unseen.size() ? unseen[nextUnseen] : std::numeric_limits<std::int64_t>::max();
            while (i + 1 < seen.size() && seen[i + 1] < limit) {
                ++i;
            }
            statement.reset();
            statement.bindDouble(1, time);
            statement.bindInt64(2, first);
            statement.bindInt64(3, seen[i]);
            if (statement.step() != SQLITE_DONE) {
                logRolledBack("touchMatchedRows", errorMessage());
                return;
            }
        }
        if (!transaction.commit()) {
            logRolledBack("touchMatchedRows", transaction.error());
            return;
        }
        stampInto(match);
        touched = true;
    });
    return touched;
}

std::optional<std::vector<FileIndexDatabase::StaleRow>> FileIndexDatabase::findUnseenStaleRows(const KeyMatch& match,
    const std::string& scanRoot, IndexDate cutoff)
{
    std::optional<std::vector<StaleRow>> stale;
    onQueue([&] {
        if (!isCurrent(match)) {
            return;
        }
        SqliteStatement statement(m_db, "SELECT path, scan_root, last_scanned FROM file_index WHERE id = ?");
        if (!statement) {
            return;
        }
        const double limit = secondsSince1970(cutoff);
        std::vector<StaleRow> rows;
        for (const std::int64_t id : match.unseenRowIds) {
            statement.reset();
            statement.bindInt64(1, id);
            if (statement.step() != SQLITE_ROW) {
                continue;
            }
            if (statement.columnTextView(1) == scanRoot && statement.columnDouble(2) < limit) {
                rows.push_back(StaleRow {id, statement.columnText(0)});
            }
        }
        stale = std::move(rows);
    });
    return stale;
}

bool FileIndexDatabase::deleteMatchedRows(KeyMatch& match, const std::vector<std::int64_t>& ids)
{
    bool deleted = false;
    onQueue([&] {
        if (!isCurrent(match)) {
            return;
        }
        if (!deleteIds("deleteMatchedRows", ids)) {
            return;
        }
        stampInto(match);
        deleted = true;
    });
    return deleted;
}

std::string FileIndexDatabase::analysisText(const FileTransformationResult& result)
{
    if (result.transformations.empty() && !result.needsRename && result.shortenedComponents.empty()) {
        return {};  // most items: no text to build
    }
    const std::optional<std::string> issueTypes = IssueTypesText::join(result.transformations);
    const std::optional<std::string> shortened = ShortenedComponentsJson::encode(result.shortenedComponents);
    const auto view = [](const std::optional<std::string>& text) {
        return text ? std::optional<std::string_view>(*text) : std::nullopt;
    };
    const auto count = static_cast<std::int32_t>(
        std::min<std::size_t>(result.transformations.size(), static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())));
    return tess::analysisText(!result.transformations.empty(), count, view(issueTypes),
        result.needsRename ? std::optional<std::string_view>(result.finalRelativePath) : std::nullopt, result.needsRename, view(shortened));
}

std::vector<FileItem> FileIndexDatabase::fetchItems(const std::string& scanRoot, TwinKeys* twins,
    std::unordered_map<std::string, std::string>* storedAnalysis)
{
    std::vector<FileItem> items;
    readOnQueue([&] {
        if (m_db != nullptr) {
            items = readItems(m_db, scanRoot, twins, storedAnalysis).value_or(std::vector<FileItem> {});
        }
    });
    return items;
}

std::vector<FileItem> FileIndexDatabase::fetchItemsBesideWrites(const std::string& scanRoot, TwinKeys* twins,
    std::unordered_map<std::string, std::string>* storedAnalysis)
{
    bool onlyKeepingItems = false;
    {
        std::lock_guard lock(m_pending->lock);
        onlyKeepingItems = m_pending->count == m_pending->keepingItems;
    }
    // Without WAL a reader waits for the writer anyway.
    if (!onlyKeepingItems || !m_isOpen.load() || !m_writeAheadLog.load()) {
        return fetchItems(scanRoot, twins, storedAnalysis);
    }
    sqlite3* reader = nullptr;
    std::optional<std::vector<FileItem>> items;
    if (sqlite3_open_v2(m_dbPath.c_str(), &reader, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(reader, kReaderBusyTimeoutMilliseconds);
        items = readItems(reader, scanRoot, twins, storedAnalysis);
    }
    sqlite3_close_v2(reader);
    if (!items) {
        if (twins != nullptr) {
            *twins = TwinKeys {};
        }
        if (storedAnalysis != nullptr) {
            storedAnalysis->clear();
        }
        return fetchItems(scanRoot, twins, storedAnalysis);
    }
    return std::move(*items);
}

}  // namespace tess
