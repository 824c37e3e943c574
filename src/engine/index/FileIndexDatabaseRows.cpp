// The row operations of FileIndexDatabase: comparison, pages, counts, scan
// records and the bulk writes.

#include "index/FileIndexDatabase.h"

#include "core/Concurrency.h"
#include "core/ReleasePages.h"

#include "index/IssueTypesText.h"
#include "index/PathKey.h"
#include "index/ShortenedComponentsJson.h"
#include "index/SqliteStatement.h"
#include "index/SqliteTransaction.h"
#include "log/AppLogger.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <limits>
#include <optional>
#include <string_view>
#include <unordered_map>

namespace tess {

namespace {

// How many results are written between two returns of freed pages.
constexpr std::size_t kReleaseEvery = 8192;

constexpr const char* kUpsertSql = "INSERT OR REPLACE INTO file_index\n"
                                   "        (path, path_key, relative_path, is_directory,\n"
                                   "         has_issues, issue_count, issue_types, proposed_rename, needs_rename,\n"
                                   "         shortened_components,\n"
                                   "         first_seen, last_scanned, scan_root)\n"
                                   "    VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?,\n"
                                   "            COALESCE((SELECT first_seen FROM file_index WHERE path_key = ?), ?),\n"
                                   "            ?, ?)";

constexpr const char* kFetchWithIssuesSql = "SELECT id, path, relative_path, is_directory,\n"
                                            "           has_issues, issue_count, issue_types, proposed_rename, needs_rename,\n"
                                            "           shortened_components, first_seen, last_scanned, scan_root\n"
                                            "    FROM file_index\n"
                                            "    WHERE scan_root = ? AND has_issues = 1\n"
                                            "    ORDER BY relative_path ASC\n"
                                            "    LIMIT ? OFFSET ?";

constexpr const char* kFetchSql = "SELECT id, path, relative_path, is_directory,\n"
                                  "           has_issues, issue_count, issue_types, proposed_rename, needs_rename,\n"
                                  "           shortened_components, first_seen, last_scanned, scan_root\n"
                                  "    FROM file_index\n"
                                  "    WHERE scan_root = ?\n"
                                  "    ORDER BY relative_path ASC\n"
                                  "    LIMIT ? OFFSET ?";

constexpr const char* kFinishScanSql = "UPDATE scan_history\n"
                                       "    SET end_time = ?, total_files = ?, new_files = ?, changed_files = ?,\n"
                                       "        deleted_files = ?, issues_found = ?, status = ?\n"
                                       "    WHERE id = ?";

constexpr const char* kLastCompletedScanSql = "SELECT id, scan_root, start_time, end_time, total_files, new_files,\n"
                                              "           changed_files, deleted_files, issues_found, trigger, status\n"
                                              "    FROM scan_history\n"
                                              "    WHERE scan_root = ? AND status = 'completed'\n"
                                              "    ORDER BY start_time DESC\n"
                                              "    LIMIT 1";

// 32-bit columns take counts clamped into their range.
std::int32_t clampToInt32(std::int64_t value)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

IndexedFile decodeIndexedFile(const SqliteStatement& row)
{
    IndexedFile file;
    file.id = row.columnInt64(0);
    file.path = row.columnText(1);
    file.relativePath = row.columnText(2);
    file.isDirectory = row.columnInt(3) != 0;
    file.hasIssues = row.columnInt(4) != 0;
    file.issueCount = row.columnInt(5);
    file.issueTypes = row.columnOptionalText(6);
    file.proposedRename = row.columnOptionalText(7);
    file.needsRename = row.columnInt(8) != 0;
    if (!row.isNull(9)) {
        file.shortenedComponents = ShortenedComponentsJson::decode(row.columnText(9));
    }
    file.firstSeen = dateFromSecondsSince1970(row.columnDouble(10));
    file.lastScanned = dateFromSecondsSince1970(row.columnDouble(11));
    file.scanRoot = row.columnText(12);
    return file;
}

std::string placeholders(std::size_t count)
{
    std::string out;
    out.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        if (i != 0) {
            out += ',';
        }
        out += '?';
    }
    return out;
}

}  // namespace

FileIndexDatabase::Comparison FileIndexDatabase::compareBatch(const std::vector<FileItem>& items)
{
    return compareBatch(items, TwinKeys::of(items));
}

FileIndexDatabase::Comparison FileIndexDatabase::compareBatch(const std::vector<FileItem>& items, const TwinKeys& twins)
{
    Comparison comparison;
    readOnQueue([&] {
        if (items.empty() || m_db == nullptr) {
            comparison.newItems = items;
            return;
        }
        std::vector<std::string> keys;
        keys.reserve(items.size());
        for (const auto& item : items) {
            keys.push_back(twins.keyOf(item.path));
        }

        // One IN query per chunk that fits the connection's parameter limit.
        const auto limit = static_cast<std::size_t>(std::max(1, sqlite3_limit(m_db, SQLITE_LIMIT_VARIABLE_NUMBER, -1)));
        // Path key of each indexed item -> whether its row holds a folder,
        // and its stored path when that is not the key.
        struct Row {
            bool isDirectory = false;
            std::optional<std::string> otherPath;
        };
        std::unordered_map<std::string, Row> indexed;
        for (std::size_t begin = 0; begin < keys.size(); begin += limit) {
            const std::size_t count = std::min(limit, keys.size() - begin);
            SqliteStatement statement(m_db,
                "SELECT path_key, is_directory, path FROM file_index WHERE path_key IN (" + placeholders(count) + ")");
            if (!statement) {
                TESS_LOG_ERROR("❌ Failed to prepare compareBatch statement: " + errorMessage());
                comparison = Comparison {items, {}, 0};
                return;
            }
            for (std::size_t i = 0; i < count; ++i) {
                statement.bindText(static_cast<int>(i + 1), keys[begin + i]);
            }
            while (statement.step() == SQLITE_ROW) {
                Row row {statement.columnInt(1) != 0, std::nullopt};
                if (const std::string_view path = statement.columnTextView(2); path != statement.columnTextView(0)) {
                    row.otherPath = std::string(path);
                }
                indexed.emplace(statement.columnText(0), std::move(row));
            }
        }

        // An indexed path whose kind changed (a file replaced by a folder of
        // the same name, or back), or whose row holds other bytes (a name
        // renamed only in its normalisation, or the row of its twin), is a
        // changed item: analysed and written again.
        for (std::size_t i = 0; i < items.size(); ++i) {
            const auto row = indexed.find(keys[i]);
            if (row == indexed.end()) {
                comparison.newItems.push_back(items[i]);
            } else if (row->second.isDirectory != items[i].isDirectory
                || (row->second.otherPath ? *row->second.otherPath : row->first) != items[i].path) {
                comparison.changedItems.push_back(items[i]);
            } else {
                ++comparison.unchangedCount;
            }
        }
    });
    return comparison;
}

std::vector<std::string> FileIndexDatabase::findDeletedPaths(const std::string& scanRoot, IndexDate cutoff)
{
    std::vector<std::string> paths;
    for (auto& row : findStaleRows(scanRoot, cutoff)) {
        paths.push_back(std::move(row.path));
    }
    return paths;
}

std::vector<FileIndexDatabase::StaleRow> FileIndexDatabase::findStaleRows(const std::string& scanRoot, IndexDate cutoff)
{
    std::vector<StaleRow> rows;
    readOnQueue([&] {
        if (m_db == nullptr) {
            return;
        }
        SqliteStatement statement(m_db, "SELECT id, path FROM file_index WHERE scan_root = ? AND last_scanned < ?");
        if (!statement) {
            TESS_LOG_ERROR("❌ Failed to prepare findDeletedPaths: " + errorMessage());
            return;
        }
        statement.bindText(1, scanRoot);
        statement.bindDouble(2, secondsSince1970(cutoff));
        while (statement.step() == SQLITE_ROW) {
            rows.push_back(StaleRow {statement.columnInt64(0), statement.columnText(1)});
        }
    });
    return rows;
}

bool FileIndexDatabase::deleteRows(const std::vector<std::int64_t>& ids)
{
    // Row ids are never reused, so they need no match.
    bool deleted = ids.empty();
    onQueue([&] {
        if (m_db != nullptr && !ids.empty()) {
            deleted = deleteIds("deleteRows", ids);
        }
    });
    return deleted;
}

bool FileIndexDatabase::deleteIds(std::string_view operation, const std::vector<std::int64_t>& ids)
{
    SqliteStatement statement(m_db, "DELETE FROM file_index WHERE id = ?");
    if (!statement) {
        TESS_LOG_ERROR("❌ Failed to prepare " + std::string(operation) + ": " + errorMessage());
        return false;
    }
    return writeRows(operation, statement, ids.size(), [&](SqliteStatement& row, std::size_t i) { row.bindInt64(1, ids[i]); });
}

bool FileIndexDatabase::deletePaths(const std::vector<std::string>& paths)
{
    bool deleted = paths.empty();
    onQueue([&] {
        if (m_db == nullptr || paths.empty()) {
            return;
        }
        SqliteStatement statement(m_db, "DELETE FROM file_index WHERE path_key = ?");
        if (!statement) {
            TESS_LOG_ERROR("❌ Failed to prepare deletePaths: " + errorMessage());
            return;
        }
        deleted = writeRows("deletePaths", statement, paths.size(),
            [&](SqliteStatement& row, std::size_t i) { row.bindText(1, pathKey(paths[i])); });
    });
    return deleted;
}

bool FileIndexDatabase::writeRows(std::string_view operation, SqliteStatement& statement, std::size_t rows,
    const std::function<void(SqliteStatement&, std::size_t)>& bind)
{
    SqliteTransaction transaction(m_db);
    if (!transaction) {
        logRolledBack(operation, transaction.error());
        return false;
    }
    for (std::size_t i = 0; i < rows; ++i) {
        statement.reset();
        bind(statement, i);
        if (statement.step() != SQLITE_DONE) {
            logRolledBack(operation, errorMessage());
            return false;
        }
    }
    if (!transaction.commit()) {
        logRolledBack(operation, transaction.error());
        return false;
    }
    return true;
}

std::int64_t FileIndexDatabase::countRows(const char* sql, const std::string* scanRoot)
{
    if (m_db == nullptr) {
        return 0;
    }
    SqliteStatement statement(m_db, sql);
    if (!statement) {
        return 0;
    }
    if (scanRoot != nullptr) {
        statement.bindText(1, *scanRoot);
    }
    return statement.step() == SQLITE_ROW ? statement.columnInt64(0) : 0;
}

std::int64_t FileIndexDatabase::issueCount(const std::string& scanRoot)
{
    std::int64_t count = 0;
    readOnQueue([&] { count = countRows("SELECT COUNT(*) FROM file_index WHERE scan_root = ? AND has_issues = 1", &scanRoot); });
    return count;
}

std::int64_t FileIndexDatabase::totalCount(const std::string& scanRoot)
{
    std::int64_t count = 0;
    readOnQueue([&] { count = countRows("SELECT COUNT(*) FROM file_index WHERE scan_root = ?", &scanRoot); });
    return count;
}

bool FileIndexDatabase::visitRows(const char* sql, const std::string& scanRoot, std::int64_t limit, std::int64_t offset,
    const std::function<void(IndexedFile&)>& visit)
{
    bool whole = false;
    readOnQueue([&] {
        if (m_db == nullptr) {
            return;
        }
        SqliteStatement statement(m_db, sql);
        if (!statement) {
            return;
        }
        statement.bindText(1, scanRoot);
        statement.bindInt64(2, limit == std::numeric_limits<std::int64_t>::max() ? -1 : limit);
        statement.bindInt64(3, offset);
        int rc = SQLITE_ROW;
        while ((rc = statement.step()) == SQLITE_ROW) {
            IndexedFile file = decodeIndexedFile(statement);
            visit(file);
        }
        whole = rc == SQLITE_DONE;
    });
    return whole;
}

std::vector<IndexedFile> FileIndexDatabase::fetchPage(const char* sql, const std::string& scanRoot, std::int64_t limit, std::int64_t offset)
{
    std::vector<IndexedFile> files;
    visitRows(sql, scanRoot, limit, offset, [&files](IndexedFile& file) { files.push_back(std::move(file)); });
    return files;
}

std::vector<IndexedFile> FileIndexDatabase::fetchFilesWithIssues(const std::string& scanRoot, std::int64_t limit, std::int64_t offset)
{
    return fetchPage(kFetchWithIssuesSql, scanRoot, limit, offset);
}

bool FileIndexDatabase::forEachFileWithIssues(const std::string& scanRoot, const std::function<void(const IndexedFile&)>& visit)
{
    return visitRows(kFetchWithIssuesSql, scanRoot, std::numeric_limits<std::int64_t>::max(), 0, [&visit](IndexedFile& file) { visit(file); });
}

std::vector<IndexedFile> FileIndexDatabase::fetchFiles(const std::string& scanRoot, std::int64_t limit, std::int64_t offset)
{
    return fetchPage(kFetchSql, scanRoot, limit, offset);
}

std::int64_t FileIndexDatabase::startScanRecord(const std::string& scanRoot, const std::string& trigger)
{
    std::int64_t id = -1;
    onQueue([&] {
        if (m_db == nullptr) {
            return;
        }
        SqliteStatement statement(m_db, "INSERT INTO scan_history (scan_root, start_time, trigger, status) VALUES (?, ?, ?, 'running')");
        if (!statement) {
            return;
        }
        statement.bindText(1, scanRoot);
        statement.bindDouble(2, secondsSince1970(now()));
        statement.bindText(3, trigger);
        if (statement.step() == SQLITE_DONE) {
            id = sqlite3_last_insert_rowid(m_db);
            m_lastScanRecordId = std::max(m_lastScanRecordId, id);
        }
    });
    return id;
}

bool FileIndexDatabase::finishScanRecord(std::int64_t id, std::int64_t totalFiles, std::int64_t newFiles, std::int64_t changedFiles,
    std::int64_t deletedFiles, std::int64_t issuesFound, const std::string& status)
{
    bool finished = false;
    onQueue([&] {
        if (m_db == nullptr) {
            return;
        }
        SqliteStatement statement(m_db, kFinishScanSql);
        if (!statement) {
            return;
        }
        // A scan completed on a fresh index that replaced a damaged one has
        // rebuilt it: the replacement is forgotten with the same commit.
        std::optional<SqliteTransaction> rebuilding;
        if (m_replacementPending && status == "completed") {
            rebuilding.emplace(m_db);
            if (!*rebuilding) {
                logRolledBack("finishScanRecord", rebuilding->error());
                return;
            }
        }
        statement.bindDouble(1, secondsSince1970(now()));
        statement.bindInt(2, clampToInt32(totalFiles));
        statement.bindInt(3, clampToInt32(newFiles));
        statement.bindInt(4, clampToInt32(changedFiles));
        statement.bindInt(5, clampToInt32(deletedFiles));
        statement.bindInt(6, clampToInt32(issuesFound));
        statement.bindText(7, status);
        statement.bindInt64(8, id);
        finished = statement.step() == SQLITE_DONE;
        if (!finished) {
            TESS_LOG_ERROR("❌ Failed to finish scan record " + std::to_string(id) + " as " + status + ": " + errorMessage());
            return;
        }
        // The record of a scan that began before the replacement is not in
        // this file: that scan did not rebuild it.
        if (rebuilding && sqlite3_changes(m_db) > 0) {
            finished = clearReplacementOnQueue() && rebuilding->commit();
            if (!finished) {
                logRolledBack("finishScanRecord", errorMessage());
                return;
            }
            m_replacementPending = false;
            TESS_LOG_INFO("FileIndexDatabase: the scan has rebuilt the index that replaced a damaged one");
            setRecoveryNotice(std::nullopt);
        } else if (rebuilding) {
            finished = rebuilding->commit();
        }
    });
    return finished;
}

std::optional<ScanRecord> FileIndexDatabase::lastCompletedScan(const std::string& scanRoot)
{
    std::optional<ScanRecord> record;
    readOnQueue([&] {
        if (m_db == nullptr) {
            return;
        }
        SqliteStatement statement(m_db, kLastCompletedScanSql);
        if (!statement) {
            return;
        }
        statement.bindText(1, scanRoot);
        if (statement.step() != SQLITE_ROW) {
            return;
        }
        ScanRecord row;
        row.id = statement.columnInt64(0);
        row.scanRoot = statement.columnText(1);
        row.startTime = dateFromSecondsSince1970(statement.columnDouble(2));
        if (!statement.isNull(3)) {
            row.endTime = dateFromSecondsSince1970(statement.columnDouble(3));
        }
        row.totalFiles = statement.columnInt(4);
        row.newFiles = statement.columnInt(5);
        row.changedFiles = statement.columnInt(6);
        row.deletedFiles = statement.columnInt(7);
        row.issuesFound = statement.columnInt(8);
        row.trigger = statement.columnText(9);
        row.status = statement.columnText(10);
        record = std::move(row);
    });
    return record;
}

bool FileIndexDatabase::upsertFiles(const std::vector<FileTransformationResult>& results, const std::string& scanRoot, IndexDate scanTime,
    const TwinKeys& twins)
{
    std::size_t next = 0;
    return writeUpserts(
        results.size(), scanRoot, scanTime, twins, [&]() -> const FileTransformationResult& { return results[next++]; },
        [] {});
}

bool FileIndexDatabase::upsertFiles(std::vector<FileTransformationResult>&& results, const std::string& scanRoot, IndexDate scanTime,
    const TwinKeys& twins)
{
    // Written from the end of the reversed list, in the list's order, each
    // result freed once written: the list gives back its pages as it
    // shrinks, and the memory of the written paths serves the page cache.
    const std::size_t n = results.size();
    reverseInParallel(results);
    const bool written = writeUpserts(
        n, scanRoot, scanTime, twins, [&]() -> const FileTransformationResult& { return results.back(); },
        [&] {
            results.pop_back();
            if (results.size() % kReleaseEvery == 0) {
                releaseUnusedPages(results);
            }
        });
    std::vector<FileTransformationResult>().swap(results);
    return written;
}

bool FileIndexDatabase::writeUpserts(std::size_t count, const std::string& scanRoot, IndexDate scanTime, const TwinKeys& twins,
    const std::function<const FileTransformationResult&()>& next, const std::function<void()>& written)
{
    bool done = count == 0;
    onQueue([&] {
        if (m_db == nullptr || count == 0) {
            return;
        }
        SqliteStatement statement(m_db, kUpsertSql);
        if (!statement) {
            TESS_LOG_ERROR("❌ Failed to prepare upsert statement: " + errorMessage());
            return;
        }
        const double time = secondsSince1970(scanTime);
        SqliteTransaction transaction(m_db);
        if (!transaction) {
            logRolledBack("upsertFiles", transaction.error());
            return;
        }
        for (std::size_t i = 0; i < count; ++i) {
            const FileTransformationResult& result = next();
            statement.reset();
            const std::string key = twins.keyOf(result.originalFile.path);
            const bool hasIssues = !result.transformations.empty();
            statement.bindText(1, result.originalFile.path);
            statement.bindText(2, key);
            statement.bindText(3, result.originalRelativePath);
            statement.bindInt(4, result.originalFile.isDirectory ? 1 : 0);
            statement.bindInt(5, hasIssues ? 1 : 0);
            statement.bindInt(6, clampToInt32(static_cast<std::int64_t>(result.transformations.size())));
            statement.bindOptionalText(7, IssueTypesText::join(result.transformations));
            if (result.needsRename) {
                statement.bindText(8, result.finalRelativePath);
            } else {
                statement.bindNull(8);
            }
            statement.bindInt(9, result.needsRename ? 1 : 0);
            statement.bindOptionalText(10, ShortenedComponentsJson::encode(result.shortenedComponents));
            statement.bindText(11, key);
            statement.bindDouble(12, time);
            statement.bindDouble(13, time);
            statement.bindText(14, scanRoot);
            if (statement.step() != SQLITE_DONE) {
                const std::string message = errorMessage();
                TESS_LOG_ERROR("❌ Failed to upsert file " + result.originalFile.path + ": " + message);
                logRolledBack("upsertFiles", message);
                return;
            }
            written();
        }
        done = transaction.commit();
        if (!done) {
            logRolledBack("upsertFiles", transaction.error());
        }
    });
    return done;
}

bool FileIndexDatabase::touchPaths(const std::vector<std::string>& paths, IndexDate scanTime, const TwinKeys& twins)
{
    bool touched = paths.empty();
    onQueue([&] {
        if (m_db == nullptr || paths.empty()) {
            return;
        }
        SqliteStatement statement(m_db, "UPDATE file_index SET last_scanned = ? WHERE path_key = ?");
        if (!statement) {
            TESS_LOG_ERROR("❌ Failed to prepare touchPaths: " + errorMessage());
            return;
        }
        const double time = secondsSince1970(scanTime);
        touched = writeRows("touchPaths", statement, paths.size(), [&](SqliteStatement& row, std::size_t i) {
            row.bindDouble(1, time);
            row.bindText(2, twins.keyOf(paths[i]));
        });
    });
    return touched;
}

void FileIndexDatabase::pruneOtherRoots(const std::string& scanRoot)
{
    m_queue.async([weak = weak_from_this(), scanRoot] {
        if (const auto self = weak.lock()) {
            self->runJob([&] { self->pruneOtherRootsOnQueue(scanRoot); });
        }
    });
}

void FileIndexDatabase::pruneOtherRootsOnQueue(const std::string& scanRoot)
{
    if (m_db == nullptr) {
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    const auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    const std::int64_t kept = countRows("SELECT COUNT(*) FROM file_index WHERE scan_root = ?", &scanRoot);
    const std::int64_t total = countRows("SELECT COUNT(*) FROM file_index", nullptr);
    const std::int64_t stale = total - kept;
    if (stale < 1) {
        return;
    }
    if (kept == 0) {
        execute("DROP TABLE IF EXISTS file_index");
        createTables();
        TESS_LOG_INFO("FileIndexDatabase: Dropped and recreated file_index (" + std::to_string(stale) + " stale records) in " + formatSeconds(elapsed(), 3) + "s");
        return;
    }
    SqliteStatement statement(m_db, "DELETE FROM file_index WHERE scan_root != ?");
    if (!statement) {
        return;
    }
    statement.bindText(1, scanRoot);
    if (statement.step() == SQLITE_DONE) {
        TESS_LOG_INFO("FileIndexDatabase: Deleted " + std::to_string(sqlite3_changes(m_db)) + " stale records (kept " + std::to_string(kept) + " for current root) in " + formatSeconds(elapsed(), 2) + "s");
    }
}

}  // namespace tess
