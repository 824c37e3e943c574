// The items of the index for a re-analysis, with the twins among them and
// the analysis each row holds.

#include "index/FileIndexDatabase.h"

#include "analysis/FileTransformationResult.h"
#include "core/Concurrency.h"
#include "core/ParallelSort.h"
#include "index/IssueTypesText.h"
#include "index/ItemKeys.h"
#include "index/KeyTable.h"
#include "index/PathKey.h"
#include "index/ShortenedComponentsJson.h"
#include "index/SqliteDamageWatch.h"
#include "index/SqliteStatement.h"
#include "text/Text.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>

namespace tess {

namespace {

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
// The rows whose analysis text is not empty (see analysisText).
constexpr const char* kStoredAnalysisSql = "SELECT path_key, has_issues, issue_count, issue_types, proposed_rename, needs_rename,"
                                           " shortened_components FROM file_index WHERE +scan_root = ? AND (has_issues != 0"
                                           " OR issue_count != 0 OR issue_types IS NOT NULL OR proposed_rename IS NOT NULL"
                                           " OR needs_rename != 0 OR shortened_components IS NOT NULL)";

// The analysis text of the current row of `statement`, whose columns from
// `first` on are those of analysisText in its order.
std::string rowAnalysisText(const SqliteStatement& statement, int first)
{
    const auto optionalView = [&](int column) {
        return statement.isNull(column) ? std::nullopt : std::optional<std::string_view>(statement.columnTextView(column));
    };
    return analysisText(statement.columnInt(first) != 0, statement.columnInt(first + 1), optionalView(first + 2),
        optionalView(first + 3), statement.columnInt(first + 4) != 0, optionalView(first + 5));
}

// The relative paths of the rows read. The relative path of a row is
// nearly always the end of its path: it is then kept as the offset where it
// starts there, and only the others are copied.
class RelativePaths {
public:
    void add(const std::string& path, std::string_view relativePath)
    {
        if (path.ends_with(relativePath)) {
            m_starts.push_back(static_cast<std::uint32_t>(path.size() - relativePath.size()));
        } else {
            m_others.emplace_back(m_starts.size(), relativePath);
            m_starts.push_back(kNoItem);
        }
    }

    // Row by row, once every row is read (`rows` no longer changes).
    std::vector<std::string_view> views(const std::vector<FileItem>& rows) const
    {
        std::vector<std::string_view> views(rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (m_starts[i] != kNoItem) {
                views[i] = std::string_view(rows[i].path).substr(m_starts[i]);
            }
        }
        for (const auto& [row, relativePath] : m_others) {
            views[row] = relativePath;
        }
        return views;
    }

private:
    std::vector<std::uint32_t> m_starts;
    std::vector<std::pair<std::size_t, std::string>> m_others;
};

// The twins among `rows` keyed by their bytes, of the rows at `keyedByPath`
// (those whose path outside ASCII is their key).
TwinKeys twinsAmong(const std::vector<FileItem>& rows, const std::vector<std::size_t>& keyedByPath)
{
    const std::size_t chunks = chunkCountFor(keyedByPath.size(), ItemKeys::kMinimumChunk);
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
    return TwinKeys(std::move(paths));
}

// `rows` in ascending relative path, byte by byte, equal ones in row order.
std::vector<FileItem> inRelativePathOrder(std::vector<FileItem>& rows, const RelativePaths& relativePaths)
{
    std::vector<std::uint32_t> order(rows.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = static_cast<std::uint32_t>(i);
    }
    const std::vector<std::string_view> keys = relativePaths.views(rows);
    parallelStableSort(order, [&](std::uint32_t a, std::uint32_t b) { return keys[a] < keys[b]; });
    std::vector<FileItem> items;
    items.reserve(rows.size());
    for (const std::uint32_t row : order) {
        items.push_back(std::move(rows[row]));
    }
    return items;
}

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
    RelativePaths relativePaths;
    std::vector<FileItem> rows;
    // Rows keyed by their path outside ASCII: a twin keyed by its bytes
    // when that path is not its own key.
    std::vector<std::size_t> keyedByPath;
    int rc = statement.step();
    for (; rc == SQLITE_ROW; rc = statement.step()) {
        rows.push_back(FileItem {statement.columnText(1), statement.columnInt(2) != 0});
        const std::string& path = rows.back().path;
        relativePaths.add(path, statement.columnTextView(0));
        if (twins != nullptr && !text::isAscii(path) && statement.columnTextView(3) == path) {
            keyedByPath.push_back(rows.size() - 1);
        }
        if (storedAnalysis != nullptr) {
            std::string text = rowAnalysisText(statement, 4);
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
        *twins = twinsAmong(rows, keyedByPath);
    }
    return inRelativePathOrder(rows, relativePaths);
}

}  // namespace

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

std::optional<std::unordered_map<std::string, std::string>> FileIndexDatabase::fetchStoredAnalysis(const std::string& scanRoot)
{
    std::optional<std::unordered_map<std::string, std::string>> stored;
    readOnQueue([&] {
        if (m_db == nullptr) {
            return;
        }
        SqliteStatement statement(m_db, kStoredAnalysisSql);
        if (!statement) {
            return;
        }
        statement.bindText(1, scanRoot);
        std::unordered_map<std::string, std::string> texts;
        int rc = statement.step();
        for (; rc == SQLITE_ROW; rc = statement.step()) {
            if (std::string text = rowAnalysisText(statement, 1); !text.empty()) {
                texts.emplace(statement.columnText(0), std::move(text));
            }
        }
        if (rc == SQLITE_DONE) {
            stored = std::move(texts);
        }
    });
    return stored;
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
    const std::uint64_t file = m_file;
    if (sqlite3_open_v2(m_dbPath.c_str(), &reader, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(reader, kReaderBusyTimeoutMilliseconds);
        const SqliteDamageWatch watch(&reader);
        items = readItems(reader, scanRoot, twins, storedAnalysis);
        if (watch.seen()) {
            replaceLater(file, "a statement met: " + watch.message());
            items.reset();  // read again below, after the replacement
        }
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
