#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;

namespace tess::test {

// A separate SQLite connection to a database file, for setting up old schemas
// and checking what the code under test wrote. Errors fail the test.
class RawDatabase {
public:
    enum class Mode {
        readWrite,  // creates the file when it is missing
        readOnly,  // fails the test when the file is missing
    };

    explicit RawDatabase(const std::string& path, Mode mode = Mode::readWrite);
    ~RawDatabase();
    RawDatabase(const RawDatabase&) = delete;
    RawDatabase& operator=(const RawDatabase&) = delete;

    // Runs SQL (several statements allowed); fails the test on error.
    void exec(const std::string& sql);
    // The first column of every row, as text ("NULL" for a NULL value).
    std::vector<std::string> column(const std::string& sql);
    std::int64_t integer(const std::string& sql);
    sqlite3* handle() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
};

}  // namespace tess::test
