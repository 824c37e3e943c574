/* The first write of an index of N rows (default 1020200), as a scan makes it
 * (one transaction, the upsert statement, rows in path order, one in 20 with
 * an issue, then a TRUNCATE checkpoint), in plain C on the declared schema and
 * on leaner variants of it, to tell what the schema itself costs.
 *
 *   bench_index_schema [rows] [folder]   (folder default /tmp)
 *
 * Variants: "declared" is the schema as the application creates it (the
 * path key indexed once, by its UNIQUE constraint); "with duplicate key index"
 * adds idx_path_key, which databases written before carried and which
 * repeats the index UNIQUE(path_key) makes; "no last-scanned index" is the
 * declared schema without idx_last_scanned; "lean rows" stores each path once (the key only
 * where it differs from the path, no relative path, the scan root as a
 * number) with a partial index over the rows with issues. */

#include <sqlite3.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static const char* kTable = "CREATE TABLE file_index (id INTEGER PRIMARY KEY AUTOINCREMENT, path TEXT NOT NULL,"
                            " path_key TEXT NOT NULL UNIQUE, relative_path TEXT NOT NULL, is_directory INTEGER NOT NULL DEFAULT 0,"
                            " has_issues INTEGER NOT NULL DEFAULT 0, issue_count INTEGER NOT NULL DEFAULT 0, issue_types TEXT,"
                            " proposed_rename TEXT, needs_rename INTEGER NOT NULL DEFAULT 0, shortened_components TEXT,"
                            " first_seen REAL NOT NULL, last_scanned REAL NOT NULL, scan_root TEXT NOT NULL)";
static const char* kUpsert = "INSERT OR REPLACE INTO file_index (path, path_key, relative_path, is_directory, has_issues, issue_count,"
                             " issue_types, proposed_rename, needs_rename, shortened_components, first_seen, last_scanned, scan_root)"
                             " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, COALESCE((SELECT first_seen FROM file_index WHERE path_key = ?), ?), ?, ?)";

static const char* kLeanTable = "CREATE TABLE file_index (id INTEGER PRIMARY KEY AUTOINCREMENT, path TEXT NOT NULL UNIQUE,"
                                " path_key TEXT, is_directory INTEGER NOT NULL DEFAULT 0, has_issues INTEGER NOT NULL DEFAULT 0,"
                                " issue_count INTEGER NOT NULL DEFAULT 0, issue_types TEXT, proposed_rename TEXT,"
                                " needs_rename INTEGER NOT NULL DEFAULT 0, shortened_components TEXT, first_seen REAL NOT NULL,"
                                " last_scanned REAL NOT NULL, root_id INTEGER NOT NULL)";
static const char* kLeanUpsert = "INSERT OR REPLACE INTO file_index (path, path_key, is_directory, has_issues, issue_count,"
                                 " issue_types, proposed_rename, needs_rename, shortened_components, first_seen, last_scanned, root_id)"
                                 " VALUES (?, NULL, ?, ?, ?, ?, ?, ?, ?, COALESCE((SELECT first_seen FROM file_index WHERE path = ?), ?), ?, 1)";

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static void run(sqlite3* db, const char* sql)
{
    char* message = NULL;
    if (sqlite3_exec(db, sql, NULL, NULL, &message) != SQLITE_OK) {
        fprintf(stderr, "%s: %s\n", sql, message ? message : "?");
        exit(1);
    }
    sqlite3_free(message);
}

static double insertRows(const char* path, long rows, int duplicateKeyIndex, int lastScannedIndex, int lean)
{
    unlink(path);
    char other[4096];
    snprintf(other, sizeof other, "%s-wal", path);
    unlink(other);
    snprintf(other, sizeof other, "%s-shm", path);
    unlink(other);
    sqlite3* db = NULL;
    if (sqlite3_open_v2(path, &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, NULL) != SQLITE_OK) {
        fprintf(stderr, "cannot open %s\n", path);
        exit(1);
    }
    run(db, "PRAGMA journal_mode=WAL");
    run(db, "PRAGMA cache_size=-64000");
    run(db, "PRAGMA synchronous=NORMAL");
    run(db, "PRAGMA auto_vacuum = INCREMENTAL");
    run(db, lean ? kLeanTable : kTable);
    if (lean) {
        run(db, "CREATE INDEX idx_issues ON file_index(root_id, path) WHERE has_issues = 1");
    }
    if (duplicateKeyIndex) {
        run(db, "CREATE INDEX idx_path_key ON file_index(path_key)");
    }
    if (!lean) {
        run(db, "CREATE INDEX idx_scan_root_issues ON file_index(scan_root, has_issues, relative_path)");
    }
    if (lastScannedIndex) {
        run(db, "CREATE INDEX idx_last_scanned ON file_index(last_scanned)");
    }
    const char* root = "/tmp/tessaline-bench-scan/tree-1000000";
    sqlite3_stmt* statement = NULL;
    sqlite3_prepare_v2(db, lean ? kLeanUpsert : kUpsert, -1, &statement, NULL);
    const double start = now();
    run(db, "BEGIN IMMEDIATE");
    char full[512];
    const size_t rootLength = strlen(root);
    for (long i = 0; i < rows; ++i) {
        const long folder = i / 50;
        const int issue = i % 20 == 0;
        snprintf(full, sizeof full, "%s/group %04ld/folder %06ld/%s %07ld.txt", root, folder / 100, folder,
            issue ? "Report: draft" : "Document", i);
        const char* relative = full + rootLength + 1;
        sqlite3_reset(statement);
        /* Declared: path, key, relative path, then the analysis columns from
         * 4, the key again, two times and the root. Lean: the path, then the
         * analysis columns from 2, the path again and two times. */
        const int analysis = lean ? 2 : 4;
        sqlite3_bind_text(statement, 1, full, -1, SQLITE_STATIC);
        if (!lean) {
            sqlite3_bind_text(statement, 2, full, -1, SQLITE_STATIC);
            sqlite3_bind_text(statement, 3, relative, -1, SQLITE_STATIC);
        }
        sqlite3_bind_int(statement, analysis, 0);
        sqlite3_bind_int(statement, analysis + 1, issue);
        sqlite3_bind_int(statement, analysis + 2, issue);
        if (issue) {
            sqlite3_bind_text(statement, analysis + 3, "characterTransformed", -1, SQLITE_STATIC);
            sqlite3_bind_text(statement, analysis + 4, relative, -1, SQLITE_STATIC);
        } else {
            sqlite3_bind_null(statement, analysis + 3);
            sqlite3_bind_null(statement, analysis + 4);
        }
        sqlite3_bind_int(statement, analysis + 5, issue);
        sqlite3_bind_null(statement, analysis + 6);
        sqlite3_bind_text(statement, analysis + 7, full, -1, SQLITE_STATIC);
        sqlite3_bind_double(statement, analysis + 8, 1.0e9);
        sqlite3_bind_double(statement, analysis + 9, 1.0e9);
        if (!lean) {
            sqlite3_bind_text(statement, 14, root, -1, SQLITE_STATIC);
        }
        if (sqlite3_step(statement) != SQLITE_DONE) {
            fprintf(stderr, "step: %s\n", sqlite3_errmsg(db));
            exit(1);
        }
    }
    run(db, "COMMIT");
    sqlite3_wal_checkpoint_v2(db, NULL, SQLITE_CHECKPOINT_TRUNCATE, NULL, NULL);
    const double seconds = now() - start;
    sqlite3_finalize(statement);
    sqlite3_close_v2(db);
    return seconds;
}

int main(int argc, char** argv)
{
    const long rows = argc > 1 ? atol(argv[1]) : 1020200;
    char path[4096];
    snprintf(path, sizeof path, "%s/tessaline-schema-bench.db", argc > 2 ? argv[2] : "/tmp");
    const struct {
        const char* name;
        int duplicateKeyIndex;
        int lastScannedIndex;
        int lean;
    } variants[] = {
        {"declared", 0, 1, 0},
        {"with duplicate key index", 1, 1, 0},
        {"no last-scanned index", 0, 0, 0},
        {"lean rows", 0, 0, 1},
    };
    for (int repeat = 0; repeat < 3; ++repeat) {
        for (size_t v = 0; v < sizeof variants / sizeof variants[0]; ++v) {
            const double seconds = insertRows(path, rows, variants[v].duplicateKeyIndex, variants[v].lastScannedIndex, variants[v].lean);
            printf("%-42s %ld rows %8.3f s\n", variants[v].name, rows, seconds);
            fflush(stdout);
        }
    }
    unlink(path);
    return 0;
}
