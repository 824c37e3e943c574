#include "DamagedIndex.h"

#include "RawDatabase.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>

namespace tess::test {

namespace {

constexpr const char* kIndex = "idx_scan_root_issues";

std::string checkOf(const std::string& path, const std::string& pragma)
{
    RawDatabase raw(path, RawDatabase::Mode::readOnly);
    std::string joined;
    for (const std::string& answer : raw.column(pragma)) {
        joined += (joined.empty() ? "" : "; ") + answer;
    }
    return joined;
}

// Makes the index partial (`where`) or whole again (empty) in the stored
// schema; the next connection reads it so.
void declareIndex(const std::string& path, const std::string& sql)
{
    RawDatabase raw(path);
    raw.exec("PRAGMA writable_schema = ON");
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(raw.handle(), "UPDATE sqlite_master SET sql = ? WHERE name = ?", -1, &statement, nullptr), SQLITE_OK);
    sqlite3_bind_text(statement, 1, sql.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(statement, 2, kIndex, -1, SQLITE_STATIC);
    EXPECT_EQ(sqlite3_step(statement), SQLITE_DONE);
    sqlite3_finalize(statement);
    raw.exec("PRAGMA writable_schema = OFF");
}

void dropEntries(const std::string& path)
{
    std::string declared;
    std::int64_t rows = 0;
    {
        RawDatabase raw(path);
        declared = raw.column(std::string("SELECT sql FROM sqlite_master WHERE name = '") + kIndex + "'").at(0);
        rows = raw.integer("SELECT MAX(id) FROM file_index");
    }
    ASSERT_GE(rows, 3) << "too few rows to leave some out";
    declareIndex(path, declared + " WHERE id <= " + std::to_string(rows / 3));
    RawDatabase(path).exec(std::string("REINDEX ") + kIndex);
    declareIndex(path, declared);
}

}  // namespace

void copyLeafPage(const std::string& path, const std::string& tree)
{
    std::vector<std::string> leaves;
    std::int64_t pageSize = 0;
    {
        RawDatabase raw(path);
        // Everything in the file itself, none in a write-ahead log.
        raw.exec("PRAGMA journal_mode = DELETE");
        pageSize = raw.integer("PRAGMA page_size");
        leaves = raw.column("SELECT pageno FROM dbstat WHERE name = '" + tree + "' AND pagetype = 'leaf' ORDER BY pageno");
    }
    ASSERT_GE(leaves.size(), 3U) << "too few rows for a page to copy";
    const auto offsetOf = [&](const std::string& page) { return static_cast<std::streamoff>((std::stoll(page) - 1) * pageSize); };
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    std::string bytes(static_cast<std::size_t>(pageSize), '\0');
    file.seekg(offsetOf(leaves[leaves.size() - 2]));
    file.read(bytes.data(), pageSize);
    file.seekp(offsetOf(leaves.back()));
    file.write(bytes.data(), pageSize);
    ASSERT_TRUE(file.good());
}

const char* nameOf(HiddenDamage damage)
{
    switch (damage) {
    case HiddenDamage::missingIndexEntries:
        return "index entries missing";
    case HiddenDamage::copiedIndexPage:
        return "index page copied over another";
    }
    return "?";
}

std::vector<HiddenDamage> allHiddenDamages()
{
    return {HiddenDamage::missingIndexEntries, HiddenDamage::copiedIndexPage};
}

void damageUnseen(const std::string& path, HiddenDamage damage)
{
    if (damage == HiddenDamage::missingIndexEntries) {
        dropEntries(path);
    } else {
        copyLeafPage(path, kIndex);
    }
    EXPECT_EQ(quickCheckOf(path), "ok") << nameOf(damage);
    EXPECT_NE(integrityCheckOf(path), "ok") << nameOf(damage);
}

std::string quickCheckOf(const std::string& path)
{
    return checkOf(path, "PRAGMA quick_check");
}

std::string integrityCheckOf(const std::string& path)
{
    return checkOf(path, "PRAGMA integrity_check");
}

}  // namespace tess::test
