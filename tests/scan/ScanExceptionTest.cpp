// An exception in the middle of a scan or re-analysis ends that job only:
// the scanning state is cleared, the scan record is closed as failed, the
// failure is logged, and the next scan runs.

#include "scan/ScanEngine.h"

#include "ScanTestSupport.h"
#include "TempDir.h"
#include "rules/FilesystemPreset.h"
#include "rules/OSPreset.h"

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace tess {
namespace {

using test::LogWatcher;
using test::TempDir;

// Publishes nothing but throws once, at the status with the given position.
class ThrowingListener {
public:
    ThrowingListener(int throwAt, bool badAlloc)
        : m_throwAt(throwAt)
        , m_badAlloc(badAlloc)
    {
    }

    ScanEngine::Listener listener()
    {
        ScanEngine::Listener listener;
        listener.status = [this](const MonitoringStatus&, ScanEngine::Generation) {
            if (m_published++ == m_throwAt) {
                if (m_badAlloc) {
                    throw std::bad_alloc();
                }
                throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again), "no thread");
            }
        };
        return listener;
    }

    void disarm() { m_throwAt = -1; }
    void armAt(int throwAt)
    {
        m_published = 0;
        m_throwAt = throwAt;
    }

private:
    int m_throwAt;
    bool m_badAlloc;
    int m_published = 0;
};

struct Harness {
    TempDir tree;
    TempDir dbDir;
    std::shared_ptr<FileIndexDatabase> database;
    std::unique_ptr<ScanEngine> engine;

    explicit Harness(ScanEngine::Listener listener)
    {
        tree.writeFile("a.txt");
        tree.writeFile("b:c.txt");
        database = FileIndexDatabase::open(dbDir / "tessaline.db").value();
        engine = std::make_unique<ScanEngine>(database, TransformationSettings::make(FilesystemPreset::fat, false, {OSPreset::windows}),
            std::vector<std::string> {}, 2, std::move(listener));
        engine->runJobUnconditionally([&] { engine->configure(tree.path(), DestinationConfig::presetFilesystem(FilesystemPreset::fat, false)); });
    }
    ~Harness()
    {
        engine.reset();
        database->close();
    }
    std::vector<std::string> statuses() const
    {
        return test::queryColumn(dbDir / "tessaline.db", "SELECT status FROM scan_history ORDER BY id");
    }
};

TEST(ScanException, ScanEndedByAnExceptionIsFailedAndTheNextScanRuns)
{
    struct Case {
        const char* where;
        int throwAt;  // position of the status whose publication throws
        bool badAlloc;
    };
    // A scan of two new items publishes: start, after the comparison batch,
    // after the comparison, before and after the analysis, monitoring.
    const Case cases[] = {
        {"before the walk", 0, true},
        {"inside the comparison on the database queue", 1, false},
        {"after the comparison", 2, true},
        {"after the analysis", 4, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        ThrowingListener thrower(c.throwAt, c.badAlloc);
        Harness harness(thrower.listener());
        const LogWatcher log;

        ScanEngine::Counts counts;
        EXPECT_NO_THROW(harness.engine->runJobUnconditionally([&] { counts = harness.engine->requestScan(ScanTrigger::manual); }));
        EXPECT_EQ(counts, ScanEngine::Counts {});
        EXPECT_FALSE(harness.engine->isScanning());
        EXPECT_TRUE(log.waitFor("❌ MonitorCoordinator: Job failed: "));
        harness.database->waitForPendingWrites();
        EXPECT_EQ(harness.statuses(), (std::vector<std::string> {"failed"}));

        thrower.disarm();
        EXPECT_NO_THROW(harness.engine->runJobUnconditionally([&] { counts = harness.engine->requestScan(ScanTrigger::manual); }));
        harness.database->waitForPendingWrites();
        EXPECT_EQ(counts.total, 2);
        EXPECT_FALSE(log.contains("Scan already in progress"));
        EXPECT_EQ(harness.statuses(), (std::vector<std::string> {"failed", "completed"}));
        EXPECT_EQ(harness.database->totalCount(harness.tree.path()), 2);
    }
}

TEST(ScanException, ReanalysisEndedByAnExceptionLeavesNoScanningState)
{
    ThrowingListener thrower(-1, true);
    Harness harness(thrower.listener());
    ScanEngine::Counts counts;
    harness.engine->runJobUnconditionally([&] { counts = harness.engine->requestScan(ScanTrigger::manual); });
    harness.database->waitForPendingWrites();
    ASSERT_EQ(counts.total, 2);

    thrower.armAt(1);  // the status before the analysis
    const LogWatcher log;
    EXPECT_NO_THROW(harness.engine->runJobUnconditionally([&] { harness.engine->requestReanalysis(); }));
    EXPECT_FALSE(harness.engine->isScanning());
    EXPECT_TRUE(log.waitFor("❌ MonitorCoordinator: Job failed: "));
    EXPECT_FALSE(log.contains("Re-analysis complete"));

    thrower.disarm();
    harness.engine->runJobUnconditionally([&] { counts = harness.engine->requestScan(ScanTrigger::manual); });
    EXPECT_EQ(counts, (ScanEngine::Counts {2, 0, 0, 2}));
    harness.engine->runJobUnconditionally([&] { harness.engine->requestReanalysis(); });
    EXPECT_TRUE(log.waitFor("Re-analysis complete. 1 issues found"));
}

}  // namespace
}  // namespace tess
