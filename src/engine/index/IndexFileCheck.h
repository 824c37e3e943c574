#pragma once

#include "core/Error.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

struct sqlite3;

namespace tess {

// What opening the index checks before the file is used: its integrity (a
// quick check bounded in time), whether it can be written, and, for a damaged
// file, moving it aside so that a fresh index takes its place; and the full
// check that runs later, while the index is idle.
class IndexFileCheck {
public:
    struct Integrity {
        enum class Verdict {
            sound,  // the check ran to its end and found nothing
            unfinished,  // stopped before the end; nothing found so far
            damaged,  // the file is not an intact database
            unreadable,  // the file could not be read (no damage known)
        };
        Verdict verdict = Verdict::sound;
        int code = 0;  // SQLite result code of a damaged or unreadable file
        std::string detail;  // what the check reported (one line), or SQLite's message
        double seconds = 0.0;
    };

    // PRAGMA quick_check, interrupted once `limit` has passed, followed by a
    // check that the file is as long as its header says (a cut file whose
    // damage lies past the time limit). A file SQLite cannot take for a
    // database, or finds malformed, is damaged; any other failure makes it
    // unreadable.
    static Integrity quickCheck(sqlite3* db, const std::string& path, std::chrono::milliseconds limit);

    // PRAGMA integrity_check, which also finds what the quick check does not
    // look at: an index that lacks entries of its table, or holds others.
    // Stopped (unfinished) once `shouldStop`, asked every few milliseconds
    // while it runs, answers true.
    static Integrity fullCheck(sqlite3* db, std::function<bool()> shouldStop);

    // Commits a write that changes no data (the schema's user version set to
    // its own value): proof that the file, its folder and its journal can be
    // written. A write lock held by another connection counts as proof too
    // and is not waited for; every other step waits for the locks of other
    // connections as long as `busyTimeoutMilliseconds`, the connection's
    // timeout, which is left as it was. The failure carries SQLite's code
    // and message.
    static Status proveWritable(sqlite3* db, int busyTimeoutMilliseconds);

    // Moves the file and its -wal and -shm files aside to "<path>.damaged-"
    // and the UTC date and time (then "-2", "-3", ... while taken), never
    // replacing anything; returns the new path of the file.
    static Result<std::string> moveAside(const std::string& path, std::chrono::system_clock::time_point now);

private:
    // Runs the check `sql`; `shouldStop` is asked first once `firstWait` has
    // passed, then every few milliseconds.
    static Integrity runCheck(sqlite3* db, const char* sql, std::chrono::milliseconds firstWait, std::function<bool()> shouldStop);
};

}  // namespace tess
