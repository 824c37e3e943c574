#pragma once

#include <string>

struct sqlite3;

namespace tess {

// One write transaction, begun with BEGIN IMMEDIATE (the write lock is taken
// at once, so a busy database fails here and not half way through). It is
// rolled back when the object goes away without a commit that worked.
// Nothing here throws; a failure of BEGIN or COMMIT is kept in error().
class SqliteTransaction {
public:
    explicit SqliteTransaction(sqlite3* db) noexcept;
    ~SqliteTransaction();
    SqliteTransaction(const SqliteTransaction&) = delete;
    SqliteTransaction& operator=(const SqliteTransaction&) = delete;

    // True while the transaction is open: begun, and neither committed nor
    // rolled back.
    bool isOpen() const { return m_open; }
    explicit operator bool() const { return m_open; }

    // Commits; false when the transaction was not open or COMMIT failed, in
    // which case everything written in it is rolled back.
    bool commit() noexcept;
    // Rolls back what was written, when open.
    void rollback() noexcept;

    // SQLite's message of a failed BEGIN or COMMIT; empty otherwise.
    const std::string& error() const { return m_error; }

private:
    void keepError() noexcept;

    sqlite3* m_db = nullptr;
    bool m_open = false;
    std::string m_error;
};

}  // namespace tess
