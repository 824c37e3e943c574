#pragma once

#include <string>

struct sqlite3;

namespace tess {

// Notes, on the thread that creates it, whether a statement on one
// connection met a result code that means a damaged file (SQLITE_CORRUPT or
// SQLITE_NOTADB, with their extended codes). The statement wrappers report
// every code they get through note(); anything else on the connection (a
// watch of another connection, no watch at all) goes unnoticed.
//
// Watches nest: an inner watch hides the outer one while it exists.
class SqliteDamageWatch {
public:
    // Watches the connection held in `*db`, read at each note (the holder
    // may change the connection while the watch exists).
    explicit SqliteDamageWatch(sqlite3* const* db) noexcept;
    ~SqliteDamageWatch();
    SqliteDamageWatch(const SqliteDamageWatch&) = delete;
    SqliteDamageWatch& operator=(const SqliteDamageWatch&) = delete;

    // True once a statement on the watched connection met damage.
    bool seen() const { return m_code != 0; }
    // The first such result code and SQLite's message at that moment.
    int code() const { return m_code; }
    const std::string& message() const { return m_message; }

    // Reports the result code `code` of a call on `db`; cheap unless the code
    // means damage.
    static void note(sqlite3* db, int code) noexcept
    {
        if (meansDamage(code)) {
            noteDamage(db, code);
        }
    }

    // True for the SQLite result codes that mean a damaged file.
    static bool meansDamage(int code)
    {
        const int primary = code & 0xFF;
        return primary == 11 /* SQLITE_CORRUPT */ || primary == 26 /* SQLITE_NOTADB */;
    }

private:
    static void noteDamage(sqlite3* db, int code) noexcept;

    sqlite3* const* m_db;
    SqliteDamageWatch* m_outer;
    int m_code = 0;
    std::string m_message;
};

}  // namespace tess
