#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace tess {

// One prepared statement, finalized when the object goes away. Text is bound
// and read as exact bytes (a path that is not valid UTF-8 keeps its bytes);
// bound text is copied (transient).
class SqliteStatement {
public:
    SqliteStatement(sqlite3* db, std::string_view sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // False when preparing failed (or there was no connection).
    bool ok() const { return m_stmt != nullptr; }
    explicit operator bool() const { return ok(); }

    // Positions start at 1.
    void bindText(int position, std::string_view value);
    void bindOptionalText(int position, const std::optional<std::string>& value);
    void bindInt(int position, std::int32_t value);
    void bindInt64(int position, std::int64_t value);
    void bindDouble(int position, double value);
    void bindNull(int position);

    // One step; returns the SQLite result code (SQLITE_ROW, SQLITE_DONE, ...).
    int step();
    // Reset and clear all bindings, ready for the next row.
    void reset();

    // Columns start at 0.
    bool isNull(int column) const;
    std::string columnText(int column) const;
    // The same bytes without a copy, valid until the next step, reset or
    // column read of this statement.
    std::string_view columnTextView(int column) const;
    std::optional<std::string> columnOptionalText(int column) const;
    std::int32_t columnInt(int column) const;
    std::int64_t columnInt64(int column) const;
    double columnDouble(int column) const;

private:
    sqlite3_stmt* m_stmt = nullptr;
};

}  // namespace tess
