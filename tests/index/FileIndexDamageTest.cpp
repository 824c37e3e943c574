// An index damaged where the quick check at open does not look, or met
// damaged while in use: the full check while the index is idle finds what
// reads return without an error, any statement that meets the damage has the
// file replaced, the file is moved aside once, and the notice lasts, across
// opens, until a scan has rebuilt the index.

#include "DamagedIndex.h"
#include "Gate.h"
#include "IndexTestSupport.h"
#include "TempDir.h"
#include "index/FileIndexDatabase.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

namespace tess {
namespace {

using namespace std::chrono_literals;
using test::eventually;
using test::Gate;
using test::keptAside;
using test::LogWatcher;
using test::makeIndex;
using test::TempDir;
using ::testing::HasSubstr;

constexpr int kRows = 2000;
// Enough that a check stopped after a millisecond has not read it all.
constexpr int kLargeRows = 30000;

// The logged line that contains `part`, whole; empty when none does.
std::string lineWith(const std::string& log, std::string_view part)
{
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        if (line.find(part) != std::string::npos) {
            return line;
        }
    }
    return {};
}

std::shared_ptr<FileIndexDatabase> openIndex(const std::string& path, const FileIndexDatabase::OpenOptions& options = {})
{
    auto opened = FileIndexDatabase::open(path, options);
    EXPECT_TRUE(opened.ok()) << opened.error().message;
    return opened.ok() ? opened.value() : nullptr;
}

// The last ten of the rows makeIndex(path, kRows) wrote, to be written again.
std::vector<FileTransformationResult> lastRowsOfMakeIndex()
{
    std::vector<FileTransformationResult> results;
    for (int i = kRows - 10; i < kRows; ++i) {
        results.push_back(test::makeResult("/r", "folder " + std::to_string(i / 50) + "/" + std::string(60, 'n') + std::to_string(i)));
    }
    return results;
}

// A scan's record, started and finished as "completed".
void completeScan(FileIndexDatabase& database)
{
    const std::int64_t record = database.startScanRecord("/r", "Manual");
    ASSERT_TRUE(database.finishScanRecord(record, kRows, kRows, 0, 0, 0, "completed"));
}

TEST(FileIndexDamage, TheIdleCheckFindsWhatTheQuickCheckPassesAndTheNoticeLastsUntilAScanRebuilds)
{
    for (const test::HiddenDamage damage : test::allHiddenDamages()) {
        SCOPED_TRACE(test::nameOf(damage));
        TempDir dir;
        const std::string path = dir / "tessaline.db";
        makeIndex(path, kRows);
        test::damageUnseen(path, damage);

        LogWatcher log;
        std::atomic<int> told {0};
        {
            auto database = openIndex(path, {FileIndexDatabase::kQuickCheckLimit, 200ms});
            ASSERT_TRUE(database);
            database->setRecoveryNoticeObserver([&told] { ++told; });
            ASSERT_TRUE(eventually([&] { return database->recoveryNotice().has_value(); }));
            const std::vector<std::string> aside = keptAside(dir);
            ASSERT_EQ(aside.size(), 1U);
            EXPECT_THAT(*database->recoveryNotice(), HasSubstr(dir / aside[0]));
            EXPECT_THAT(*database->recoveryNotice(), HasSubstr("the next scan rebuilds it"));
            EXPECT_EQ(database->replacementCount(), 1U);
            EXPECT_TRUE(database->fullCheckFinished());
            // One WARN line says what the check found and where the file went.
            ASSERT_TRUE(log.waitFor("moved aside to " + (dir / aside[0])));
            const std::string warning = lineWith(log.logged(), "is damaged (the full integrity check found: ");
            EXPECT_THAT(warning, HasSubstr("WARN"));
            EXPECT_THAT(warning, HasSubstr("missing from index idx_scan_root_issues"));
            EXPECT_THAT(warning, HasSubstr("moved aside to " + (dir / aside[0])));

            // The fresh index is sound and takes writes; writing rows alone
            // does not make it rebuilt.
            EXPECT_EQ(database->totalCount("/r"), 0);
            EXPECT_TRUE(database->upsertFiles({test::makeResult("/r", "a")}, "/r", test::atSeconds(6)));
            EXPECT_EQ(test::integrityCheckOf(path), "ok");
            EXPECT_TRUE(database->recoveryNotice().has_value());
            database->close();
        }
        // Opened again before any scan: still told.
        {
            auto database = openIndex(path);
            ASSERT_TRUE(database);
            EXPECT_THAT(database->recoveryNotice().value_or(""), HasSubstr(dir / keptAside(dir).at(0)));
            // A scan that was cancelled rebuilt nothing; a completed one did.
            ASSERT_TRUE(database->finishScanRecord(database->startScanRecord("/r", "Manual"), 0, 0, 0, 0, 0, "cancelled"));
            EXPECT_TRUE(database->recoveryNotice().has_value());
            database->setRecoveryNoticeObserver([&told] { ++told; });
            completeScan(*database);
            EXPECT_FALSE(database->recoveryNotice().has_value());
            EXPECT_TRUE(log.waitFor("FileIndexDatabase: the scan has rebuilt the index that replaced a damaged one"));
            database->close();
        }
        EXPECT_EQ(told.load(), 2);  // set, then cleared
        auto database = openIndex(path, {FileIndexDatabase::kQuickCheckLimit, 1ms});
        ASSERT_TRUE(database);
        EXPECT_FALSE(database->recoveryNotice().has_value());
        ASSERT_TRUE(eventually([&] { return database->fullCheckFinished(); }));
        EXPECT_EQ(keptAside(dir).size(), 1U);  // moved aside once
        EXPECT_EQ(database->replacementCount(), 0U);
    }
}

struct MetWhileInUse {
    const char* name;
    std::function<void(const std::string& path)> damage;
    std::chrono::milliseconds quickCheckLimit;
    // The operation that meets the damage.
    std::function<void(FileIndexDatabase&)> meet;
};

// The full check is kept from running here (a long quiet time): only the
// statement finds the damage.
TEST(FileIndexDamage, AStatementThatMeetsDamageHasTheIndexReplaced)
{
    const std::vector<MetWhileInUse> cases = {
        {"a write meets missing index entries",
            [](const std::string& path) {
                makeIndex(path, kRows);
                test::damageUnseen(path, test::HiddenDamage::missingIndexEntries);
            },
            FileIndexDatabase::kQuickCheckLimit,
            [](FileIndexDatabase& database) {
                EXPECT_FALSE(database.upsertFiles(lastRowsOfMakeIndex(), "/r", test::atSeconds(7)));
            }},
        {"a read meets a table page the quick check had no time for",
            [](const std::string& path) {
                makeIndex(path, kLargeRows);
                test::copyLeafPage(path, "file_index");
            },
            1ms,
            [](FileIndexDatabase& database) {
                EXPECT_EQ(database.totalCount("/r"), kLargeRows);  // read from an index: no error
                EXPECT_LT(database.fetchFiles("/r", INT64_MAX, 0).size(), static_cast<std::size_t>(kLargeRows));
            }},
    };
    for (const MetWhileInUse& c : cases) {
        SCOPED_TRACE(c.name);
        // A check stopped after a millisecond can still reach the damage on a
        // busy machine, and the open replaces the file itself: such a run
        // shows nothing of statements, so it is made again on a fresh copy.
        std::unique_ptr<TempDir> fresh;
        std::unique_ptr<LogWatcher> watcher;
        std::shared_ptr<FileIndexDatabase> database;
        for (int attempt = 0; attempt < 5 && (database == nullptr || database->recoveryNotice().has_value()); ++attempt) {
            if (database != nullptr) {
                database->close();
                database.reset();
            }
            watcher.reset();
            fresh = std::make_unique<TempDir>();
            c.damage(*fresh / "tessaline.db");
            watcher = std::make_unique<LogWatcher>();
            database = openIndex(*fresh / "tessaline.db", {c.quickCheckLimit, 1h});
            ASSERT_TRUE(database);
        }
        const TempDir& dir = *fresh;
        const std::string path = dir / "tessaline.db";
        const LogWatcher& log = *watcher;
        EXPECT_FALSE(database->recoveryNotice().has_value());
        const std::int64_t scanBefore = database->startScanRecord("/r", "Manual");
        c.meet(*database);

        EXPECT_EQ(database->replacementCount(), 1U);
        const std::vector<std::string> aside = keptAside(dir);
        ASSERT_EQ(aside.size(), 1U);
        EXPECT_THAT(database->recoveryNotice().value_or(""), HasSubstr(dir / aside[0]));
        ASSERT_TRUE(log.waitFor("moved aside to " + (dir / aside[0])));
        EXPECT_THAT(lineWith(log.logged(), "moved aside to"), HasSubstr("is damaged (a statement met: database disk image is malformed)"));

        // The fresh index in its place takes writes.
        EXPECT_TRUE(database->upsertFiles({test::makeResult("/r", "a")}, "/r", test::atSeconds(8)));
        EXPECT_EQ(database->totalCount("/r"), 1);
        // The scan that began on the damaged file did not rebuild it.
        EXPECT_TRUE(database->finishScanRecord(scanBefore, kRows, 0, 0, 0, 0, "completed"));
        EXPECT_TRUE(database->recoveryNotice().has_value());
        completeScan(*database);
        EXPECT_FALSE(database->recoveryNotice().has_value());
        EXPECT_EQ(keptAside(dir).size(), 1U);
        EXPECT_EQ(test::integrityCheckOf(path), "ok");
    }
}

// Two objects open on one file (a restore's and a scan's): once one has
// replaced the damaged file, the other, meeting the damage, takes the new
// file as it is and moves nothing.
TEST(FileIndexDamage, AFileAlreadyReplacedByAnotherObjectIsNotMovedAgain)
{
    TempDir dir;
    const std::string path = dir / "tessaline.db";
    makeIndex(path, kRows);
    test::damageUnseen(path, test::HiddenDamage::missingIndexEntries);
    auto first = openIndex(path, {FileIndexDatabase::kQuickCheckLimit, 1h});
    auto second = openIndex(path, {FileIndexDatabase::kQuickCheckLimit, 1h});
    ASSERT_TRUE(first && second);
    const auto rewriteLastRows = [](FileIndexDatabase& database) {
        return database.upsertFiles(lastRowsOfMakeIndex(), "/r", test::atSeconds(7));
    };

    EXPECT_FALSE(rewriteLastRows(*first));
    ASSERT_EQ(keptAside(dir).size(), 1U);
    EXPECT_FALSE(rewriteLastRows(*second));
    EXPECT_EQ(keptAside(dir).size(), 1U);
    EXPECT_EQ(second->replacementCount(), 1U);
    EXPECT_EQ(second->recoveryNotice(), first->recoveryNotice());
    // Both write to the fresh file.
    EXPECT_TRUE(rewriteLastRows(*second));
    EXPECT_EQ(first->totalCount("/r"), 10);
}

// What a check reports over several lines (the header of the answer, then
// its text) is one line of the log, here when the check at open finds it.
TEST(FileIndexDamage, TheDamagedIndexWarningIsOneLine)
{
    TempDir dir;
    const std::string path = dir / "tessaline.db";
    makeIndex(path, kRows);
    test::copyLeafPage(path, "file_index");
    ASSERT_THAT(test::quickCheckOf(path), HasSubstr("\n"));

    LogWatcher log;
    auto database = openIndex(path, {30s, 1h});
    ASSERT_TRUE(database);
    ASSERT_EQ(keptAside(dir).size(), 1U);
    ASSERT_TRUE(log.waitFor("moved aside to"));
    const std::string warning = lineWith(log.logged(), "moved aside to");
    EXPECT_THAT(warning, HasSubstr("is damaged (*** in database main ***; On tree page "));
    EXPECT_THAT(warning, HasSubstr("out of order"));
}

// The check waits while something holds it (a scan does) and while a
// background write is pending; once the index is idle it runs.
TEST(FileIndexDamage, TheIdleCheckWaitsForHoldsAndBackgroundWrites)
{
    TempDir dir;
    const std::string path = dir / "tessaline.db";
    makeIndex(path, kRows);
    test::damageUnseen(path, test::HiddenDamage::missingIndexEntries);

    auto database = openIndex(path, {FileIndexDatabase::kQuickCheckLimit, 1s});
    ASSERT_TRUE(database);
    std::optional<FileIndexDatabase::FullCheckHold> hold(database->holdFullCheck());
    Gate gate;
    database->performAsyncKeepingItems([&gate] { gate.wait(); });
    std::this_thread::sleep_for(1500ms);
    EXPECT_FALSE(database->fullCheckFinished());
    hold.reset();
    std::this_thread::sleep_for(1500ms);
    EXPECT_FALSE(database->fullCheckFinished());  // the write is still pending
    EXPECT_TRUE(keptAside(dir).empty());
    gate.open();
    ASSERT_TRUE(eventually([&] { return database->replacementCount() == 1; }));
    EXPECT_EQ(keptAside(dir).size(), 1U);
}

}  // namespace
}  // namespace tess
