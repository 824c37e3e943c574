// The write transaction of the index and the checks around it: a write that
// fails is rolled back whole and answered with false; a journal mode other
// than WAL is reported.

#include "index/SqliteTransaction.h"
#include "IndexTestSupport.h"
#include "RawDatabase.h"
#include "TempDir.h"
#include "index/FileIndexDatabase.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

namespace tess {
namespace {

using test::LogWatcher;
using test::makeResult;
using test::RawDatabase;
using test::TempDir;

class SqliteTransactionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_raw.exec("CREATE TABLE parent (id INTEGER PRIMARY KEY);"
                   "CREATE TABLE child (id INTEGER PRIMARY KEY, parent INTEGER"
                   "  REFERENCES parent(id) DEFERRABLE INITIALLY DEFERRED);"
                   "PRAGMA foreign_keys = ON");
    }

    std::int64_t children() { return m_raw.integer("SELECT COUNT(*) FROM child"); }

    TempDir m_dir;
    RawDatabase m_raw {m_dir / "t.db"};
};

TEST_F(SqliteTransactionTest, CommitsOnlyWhenAskedAndRollsBackOtherwise)
{
    struct Case {
        const char* name;
        bool commit;
        std::int64_t rowsAfter;
    };
    for (const Case& c : {Case {"committed", true, 1}, Case {"left without commit", false, 0}}) {
        SCOPED_TRACE(c.name);
        m_raw.exec("DELETE FROM child");
        {
            SqliteTransaction transaction(m_raw.handle());
            ASSERT_TRUE(transaction.isOpen());
            EXPECT_EQ(sqlite3_get_autocommit(m_raw.handle()), 0);
            m_raw.exec("INSERT INTO child (id, parent) VALUES (1, NULL)");
            if (c.commit) {
                EXPECT_TRUE(transaction.commit());
                EXPECT_FALSE(transaction.isOpen());
                EXPECT_FALSE(transaction.commit());  // once only
            }
        }
        EXPECT_EQ(sqlite3_get_autocommit(m_raw.handle()), 1);
        EXPECT_EQ(children(), c.rowsAfter);
    }
}

TEST_F(SqliteTransactionTest, FailedCommitRollsBackAndSaysWhy)
{
    SqliteTransaction transaction(m_raw.handle());
    m_raw.exec("INSERT INTO child (id, parent) VALUES (1, 42)");  // checked at COMMIT
    EXPECT_FALSE(transaction.commit());
    EXPECT_NE(transaction.error().find("FOREIGN KEY"), std::string::npos) << transaction.error();
    EXPECT_EQ(sqlite3_get_autocommit(m_raw.handle()), 1);
    EXPECT_EQ(children(), 0);
}

TEST_F(SqliteTransactionTest, BeginFailsWhileAnotherConnectionHoldsTheWriteLock)
{
    RawDatabase other(m_dir / "t.db");
    other.exec("BEGIN IMMEDIATE");
    sqlite3_busy_timeout(m_raw.handle(), 0);
    SqliteTransaction transaction(m_raw.handle());
    EXPECT_FALSE(transaction.isOpen());
    EXPECT_FALSE(transaction.error().empty());
    EXPECT_FALSE(transaction.commit());
    other.exec("ROLLBACK");

    const SqliteTransaction withoutConnection(nullptr);
    EXPECT_FALSE(withoutConnection.isOpen());
}

// Bulk writes answer whether they worked; a failed one leaves the index as
// it was (no partial batch).
TEST(CheckedIndexWrites, WriteThatCannotGetTheLockChangesNothingAndAnswersFalse)
{
    TempDir dir;
    auto opened = FileIndexDatabase::open(dir / "tessaline.db");
    ASSERT_TRUE(opened.ok());
    auto db = opened.value();
    ASSERT_TRUE(db->upsertFiles({makeResult("/r", "a"), makeResult("/r", "b")}, "/r", test::atSeconds(1)));
    db->waitForPendingWrites();

    RawDatabase holder(dir / "tessaline.db");
    holder.exec("BEGIN IMMEDIATE");
    sqlite3_busy_timeout(holder.handle(), 0);
    const LogWatcher log;
    // The database waits for the lock as long as its busy timeout allows.
    EXPECT_FALSE(db->upsertFiles({makeResult("/r", "c")}, "/r", test::atSeconds(2)));
    EXPECT_TRUE(log.waitFor("upsertFiles failed, its changes were rolled back"));
    holder.exec("ROLLBACK");

    EXPECT_EQ(db->totalCount("/r"), 2);
    EXPECT_TRUE(db->touchPaths({"/r/a"}, test::atSeconds(3)));
    EXPECT_TRUE(db->deletePaths({"/r/b"}));
    EXPECT_EQ(db->totalCount("/r"), 1);
    db->close();
    EXPECT_FALSE(db->upsertFiles({makeResult("/r", "d")}, "/r", test::atSeconds(4)));  // no connection
    EXPECT_TRUE(db->upsertFiles({}, "/r", test::atSeconds(4)));  // nothing to write
}

TEST(CheckedIndexWrites, JournalModeOtherThanWalIsReported)
{
    const LogWatcher log;
    auto opened = FileIndexDatabase::open(":memory:");  // keeps its journal in memory
    ASSERT_TRUE(opened.ok());
    EXPECT_TRUE(log.waitFor("FileIndexDatabase: journal mode is \"memory\", not \"wal\""));
    opened.value()->close();

    TempDir dir;
    const LogWatcher fileLog;
    auto onDisk = FileIndexDatabase::open(dir / "tessaline.db");
    ASSERT_TRUE(onDisk.ok());
    onDisk.value()->close();
    EXPECT_TRUE(fileLog.waitFor("FileIndexDatabase closed"));
    EXPECT_EQ(fileLog.logged().find("journal mode is"), std::string::npos);
}

}  // namespace
}  // namespace tess
