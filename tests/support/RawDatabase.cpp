#include "RawDatabase.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace tess::test {

RawDatabase::RawDatabase(const std::string& path, Mode mode)
{
    const int flags = mode == Mode::readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << path << ": " << sqlite3_errmsg(m_db);
    }
    sqlite3_busy_timeout(m_db, 5000);
}

RawDatabase::~RawDatabase()
{
    sqlite3_close_v2(m_db);
}

void RawDatabase::exec(const std::string& sql)
{
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        ADD_FAILURE() << "SQL failed: " << (message != nullptr ? message : "?") << " for: " << sql;
    }
    sqlite3_free(message);
}

std::vector<std::string> RawDatabase::column(const std::string& sql)
{
    std::vector<std::string> values;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "prepare failed: " << sqlite3_errmsg(m_db) << " for: " << sql;
        return values;
    }
    while (sqlite3_step(statement) == SQLITE_ROW) {
        if (sqlite3_column_type(statement, 0) == SQLITE_NULL) {
            values.emplace_back("NULL");
        } else {
            const auto* text = sqlite3_column_text(statement, 0);
            values.emplace_back(reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_column_bytes(statement, 0)));
        }
    }
    sqlite3_finalize(statement);
    return values;
}

std::int64_t RawDatabase::integer(const std::string& sql)
{
    const auto values = column(sql);
    return values.empty() ? -1 : std::stoll(values.front());
}

}  // namespace tess::test
