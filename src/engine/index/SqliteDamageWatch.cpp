#include "index/SqliteDamageWatch.h"

#include <sqlite3.h>

namespace tess {

static_assert(SQLITE_CORRUPT == 11 && SQLITE_NOTADB == 26);

namespace {

thread_local SqliteDamageWatch* t_watch = nullptr;

}  // namespace

SqliteDamageWatch::SqliteDamageWatch(sqlite3* const* db) noexcept
    : m_db(db)
    , m_outer(t_watch)
{
    t_watch = this;
}

SqliteDamageWatch::~SqliteDamageWatch()
{
    t_watch = m_outer;
}

void SqliteDamageWatch::noteDamage(sqlite3* db, int code) noexcept
{
    SqliteDamageWatch* watch = t_watch;
    if (watch == nullptr || db == nullptr || *watch->m_db != db || watch->m_code != 0) {
        return;
    }
    watch->m_code = code;
    try {
        const char* message = sqlite3_errmsg(db);
        watch->m_message = message != nullptr ? message : "Unknown error";
    } catch (...) {
        watch->m_message.clear();  // out of memory: the damage is still noted, without its text
    }
}

}  // namespace tess
