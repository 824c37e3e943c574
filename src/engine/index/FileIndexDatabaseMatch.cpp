// The bulk forms of a scan's comparison, touch and clean-up: one pass over
// the path-key index instead of one IN query per batch, and writes by row id
// instead of one path-key look-up per row.

#include "index/FileIndexDatabase.h"

#include "core/Concurrency.h"
#include "index/ItemKeys.h"
#include "index/KeyTable.h"
#include "index/PathKey.h"
#include "index/SqliteStatement.h"
#include "index/SqliteTransaction.h"
#include "log/AppLogger.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <future>
#include <limits>
#include <mutex>
#include <optional>
#include <string_view>

namespace tess {

namespace {

// Rows per batch of the match: SQLite yields the rows of one batch while the
// rows of the previous one are looked up side by side.
constexpr std::size_t kBatchRows = 65536;

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

using RowChecks = std::vector<std::pair<std::int64_t, std::uint32_t>>;  // row id, item

// Looks up batches of index rows among the items and notes in the match
// which items are indexed and which changed kind.
class RowMatcher {
public:
    RowMatcher(const std::vector<FileItem>& items, const KeyTable& table, const std::vector<std::int64_t>& folderIds,
        std::size_t folderLength, FileIndexDatabase::KeyMatch& match)
        : m_items(items)
        , m_table(table)
        , m_folderIds(folderIds)
        , m_folderLength(folderLength)
        , m_match(match)
    {
    }

    void lookUp(RowBatch& batch)
    {
        const std::size_t rows = batch.ids.size();
        batch.items.assign(rows, kNoItem);
        const std::size_t chunks = chunkCountFor(rows, ItemKeys::kMinimumChunk);
        parallelFor(chunks, [&](std::size_t chunk) {
            const auto [begin, end] = chunkRange(chunk, chunks, rows);
            lookUpRows(batch, begin, end);
        });
        for (std::size_t row = 0; row < rows; ++row) {
            (batch.items[row] == kNoItem ? m_match.unseenRowIds : m_match.seenRowIds).push_back(batch.ids[row]);
        }
        batch.clear();
    }

    // Rows whose stored path is to be compared with the item's: below the
    // scan root, a key that may hide other bytes.
    RowChecks& pathChecks() { return m_pathChecks; }

private:
    void lookUpRows(RowBatch& batch, std::size_t begin, std::size_t end)
    {
        std::vector<std::uint32_t> changed;
        RowChecks checks;
        for (std::size_t row = begin; row < end; ++row) {
            const std::string_view key = batch.key(row);
            const std::uint32_t first = m_table.find(key);
            batch.items[row] = first;
            if (first == kNoItem) {
                continue;
            }
            const bool rowIsFolder = std::binary_search(m_folderIds.begin(), m_folderIds.end(), batch.ids[row]);
            // Each key belongs to one row, so no two rows mark the same item.
            for (std::uint32_t item = first; item != kNoItem; item = m_table.next(item)) {
                m_match.indexed[item] = 1;
                if (m_items[item].isDirectory != rowIsFolder) {
                    changed.push_back(item);
                }
            }
            if (keyMayHideOtherBytes(key, m_folderLength)) {
                checks.emplace_back(batch.ids[row], first);
            }
        }
        if (!changed.empty() || !checks.empty()) {
            std::lock_guard lock(m_changedLock);
            m_match.changed.insert(m_match.changed.end(), changed.begin(), changed.end());
            m_pathChecks.insert(m_pathChecks.end(), checks.begin(), checks.end());
        }
    }

    const std::vector<FileItem>& m_items;
    const KeyTable& m_table;
    const std::vector<std::int64_t>& m_folderIds;
    std::size_t m_folderLength;
    FileIndexDatabase::KeyMatch& m_match;
    RowChecks m_pathChecks;
    std::mutex m_changedLock;
};

// Reads the rows of `statement`, whose first step answered `rc`, in batches
// that are looked up while the next one is read. False when cancelled or
// when the read failed.
bool matchRows(SqliteStatement& statement, int rc, RowMatcher& matcher, const std::function<bool()>& isCancelled)
{
    std::array<RowBatch, 2> batches;
    std::size_t filling = 0;
    std::future<void> lookingUp;
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
                return false;
            }
            lookingUp = std::async(std::launch::async, [&matcher, &batch] { matcher.lookUp(batch); });
            filling = 1 - filling;
        }
    }
    finishLookUp();
    if (rc != SQLITE_DONE) {
        return false;
    }
    matcher.lookUp(batches[filling]);
    return true;
}

// Marks changed the items whose row holds other bytes under the same key.
// The checks go in ascending row id, one range of the table for ids close
// together (a few rows between them are read and skipped) instead of one
// look-up per row. False when cancelled or when the read failed.
bool checkRowPaths(sqlite3* db, RowChecks& pathChecks, const std::vector<FileItem>& items, const KeyTable& table,
    FileIndexDatabase::KeyMatch& match, const std::function<bool()>& isCancelled)
{
    if (pathChecks.empty()) {
        return true;
    }
    constexpr std::int64_t kLargestGap = 16;
    std::sort(pathChecks.begin(), pathChecks.end());
    SqliteStatement paths(db, "SELECT id, path FROM file_index WHERE id BETWEEN ? AND ?");
    if (!paths) {
        return false;
    }
    for (std::size_t begin = 0; begin < pathChecks.size();) {
        if (isCancelled && isCancelled()) {
            return false;
        }
        std::size_t last = begin;
        while (last + 1 < pathChecks.size() && last - begin < kBatchRows && pathChecks[last + 1].first - pathChecks[last].first <= kLargestGap) {
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
    return true;
}

void sortRowIdsAndChanges(FileIndexDatabase::KeyMatch& match)
{
    std::sort(match.seenRowIds.begin(), match.seenRowIds.end());
    std::sort(match.unseenRowIds.begin(), match.unseenRowIds.end());
    std::sort(match.changed.begin(), match.changed.end());
    match.changed.erase(std::unique(match.changed.begin(), match.changed.end()), match.changed.end());
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
    match.file = m_file;
}

bool FileIndexDatabase::isCurrent(const FolderRows& folders)
{
    KeyMatch stamp;
    stamp.valid = folders.valid;
    stamp.changeStamp = folders.changeStamp;
    stamp.dataVersion = folders.dataVersion;
    stamp.schemaVersion = folders.schemaVersion;
    stamp.file = folders.file;
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
    folders.file = stamp.file;
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
        && now.file == match.file && now.dataVersion != -1 && now.schemaVersion != -1;
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
        // The index UNIQUE(path_key) makes holds every row and is much
        // smaller than the table; without it the table is read.
        SqliteStatement indexed(m_db, "SELECT path_key, id FROM file_index INDEXED BY sqlite_autoindex_file_index_1");
        SqliteStatement unindexed(indexed ? nullptr : m_db, "SELECT path_key, id FROM file_index");
        SqliteStatement& statement = indexed ? indexed : unindexed;
        if (!statement) {
            return;
        }
        match.indexed.assign(items.size(), 0);
        const int rc = statement.step();
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
        ItemKeys keys(items);
        std::optional<KeyTable> keyTable(std::in_place, keys);
        if (!keyTable->sharedKeys().empty()) {
            match.twinKeys = keyTwinsByBytes(items, keys, *keyTable);
            keyTable.emplace(keys);
        }
        RowMatcher matcher(items, *keyTable, folders->ids, keys.sharedFolderLength(), match);
        if (!matchRows(statement, rc, matcher, isCancelled)
            || !checkRowPaths(m_db, matcher.pathChecks(), items, *keyTable, match, isCancelled)) {
            match = KeyMatch {};
            return;
        }
        sortRowIdsAndChanges(match);
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

}  // namespace tess
