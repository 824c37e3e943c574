#include "index/SqliteTransaction.h"

#include "index/SqliteDamageWatch.h"

#include <sqlite3.h>

namespace tess {

SqliteTransaction::SqliteTransaction(sqlite3* db) noexcept
    : m_db(db)
{
    if (m_db == nullptr) {
        m_error = "no connection";  // short text: fits the small-string buffer, no allocation
        return;
    }
    const int rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
        m_open = true;
    } else {
        SqliteDamageWatch::note(m_db, rc);
        keepError();
    }
}

SqliteTransaction::~SqliteTransaction()
{
    rollback();
}

bool SqliteTransaction::commit() noexcept
{
    if (!m_open) {
        return false;
    }
    const int rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
        m_open = false;
        return true;
    }
    SqliteDamageWatch::note(m_db, rc);
    keepError();
    rollback();
    return false;
}

void SqliteTransaction::rollback() noexcept
{
    if (!m_open) {
        return;
    }
    m_open = false;
    // A failed statement or COMMIT may already have ended the transaction.
    if (sqlite3_get_autocommit(m_db) == 0) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

void SqliteTransaction::keepError() noexcept
{
    try {
        const char* message = sqlite3_errmsg(m_db);
        m_error = message != nullptr ? message : "Unknown error";
    } catch (...) {
        m_error.clear();  // out of memory: the failure is still reported, without its text
    }
}

}  // namespace tess
