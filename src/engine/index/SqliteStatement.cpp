#include "index/SqliteStatement.h"

#include "index/SqliteDamageWatch.h"

#include <sqlite3.h>

namespace tess {

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql)
{
    if (db == nullptr) {
        return;
    }
    if (const int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &m_stmt, nullptr); rc != SQLITE_OK) {
        SqliteDamageWatch::note(db, rc);  // a schema that cannot be read
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_stmt);
}

void SqliteStatement::bindText(int position, std::string_view value)
{
    // A non-null pointer even for an empty text, so it binds '' and not NULL.
    sqlite3_bind_text64(m_stmt, position, value.empty() ? "" : value.data(), value.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void SqliteStatement::bindOptionalText(int position, const std::optional<std::string>& value)
{
    if (value) {
        bindText(position, *value);
    } else {
        bindNull(position);
    }
}

void SqliteStatement::bindInt(int position, std::int32_t value)
{
    sqlite3_bind_int(m_stmt, position, value);
}

void SqliteStatement::bindInt64(int position, std::int64_t value)
{
    sqlite3_bind_int64(m_stmt, position, value);
}

void SqliteStatement::bindDouble(int position, double value)
{
    sqlite3_bind_double(m_stmt, position, value);
}

void SqliteStatement::bindNull(int position)
{
    sqlite3_bind_null(m_stmt, position);
}

int SqliteStatement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (SqliteDamageWatch::meansDamage(rc)) {
        SqliteDamageWatch::note(sqlite3_db_handle(m_stmt), rc);
    }
    return rc;
}

void SqliteStatement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

bool SqliteStatement::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

std::string SqliteStatement::columnText(int column) const
{
    const auto* bytes = sqlite3_column_text(m_stmt, column);
    const int size = sqlite3_column_bytes(m_stmt, column);
    if (bytes == nullptr || size <= 0) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size));
}

std::string_view SqliteStatement::columnTextView(int column) const
{
    const auto* bytes = sqlite3_column_text(m_stmt, column);
    const int size = sqlite3_column_bytes(m_stmt, column);
    if (bytes == nullptr || size <= 0) {
        return {};
    }
    return std::string_view(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size));
}

std::optional<std::string> SqliteStatement::columnOptionalText(int column) const
{
    if (isNull(column)) {
        return std::nullopt;
    }
    return columnText(column);
}

std::int32_t SqliteStatement::columnInt(int column) const
{
    return sqlite3_column_int(m_stmt, column);
}

std::int64_t SqliteStatement::columnInt64(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

double SqliteStatement::columnDouble(int column) const
{
    return sqlite3_column_double(m_stmt, column);
}

}  // namespace tess
