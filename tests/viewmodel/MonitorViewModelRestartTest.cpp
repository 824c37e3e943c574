// What the window is shown while results arrive, and after a restart that
// follows a rename or undo whose scan never ran: never a count beside the
// rows of another list, never the names of before a batch as if current.

#include "MonitorViewModelFixture.h"

#include "history/HistoryJournal.h"
#include "history/TransformationHistory.h"

#include <QTimer>

#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>

namespace tess {
namespace {

// Checks the model at every turn of the event loop, where the window may
// paint, and keeps what was wrong.
class EveryTurn {
public:
    using Check = std::function<std::optional<std::string>(const MonitorViewModel&)>;

    explicit EveryTurn(Check check)
        : m_check(std::move(check))
    {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (m_model != nullptr) {
                if (std::optional<std::string> wrong = m_check(*m_model)) {
                    m_wrong.push_back(std::move(*wrong));
                }
            }
        });
        m_timer.start();
    }

    void watch(const MonitorViewModel* model) { m_model = model; }
    const std::vector<std::string>& wrong() const { return m_wrong; }

private:
    Check m_check;
    QTimer m_timer;
    const MonitorViewModel* m_model = nullptr;
    std::vector<std::string> m_wrong;
};

bool lists(const MonitorViewModel& model, const std::string& relativePath)
{
    return std::any_of(model.issueFiles().begin(), model.issueFiles().end(),
        [&](const IndexedFile& file) { return file.relativePath == relativePath; });
}

class MonitorViewModelRestartTest : public MonitorViewModelTest {
protected:
    // A scan of the tree, then the application ends.
    void scanAndQuit()
    {
        scannedModel();
        m_model.reset();
        drain();
    }

    // The record of a batch of `root` that renamed bad:name.txt: a history
    // file, or the journal an interrupted batch leaves behind; written at
    // `modified` when given.
    void recordBatch(const std::string& root, bool journal, std::optional<std::chrono::system_clock::time_point> modified = {})
    {
        HistoryEntry entry;
        entry.timestamp = std::chrono::system_clock::now();
        entry.scanRoot = root;
        entry.records = {{"bad:name.txt", "bad_name.txt", HistoryRecordType::file, HistoryRecordStatus::ok, ""}};
        const std::string folder = m_data / "history";
        std::string path;
        if (journal) {
            auto begun = HistoryJournal::begin(entry, folder);
            ASSERT_TRUE(begun.ok());
            ASSERT_TRUE(begun.value()->willDo(BatchRecorder::Step::moveFile, "bad:name.txt", "bad_name.txt").ok());
            path = begun.value()->path();
        } else {
            auto saved = TransformationHistory::save(entry, folder);
            ASSERT_TRUE(saved.ok());
            path = saved.value();
        }
        if (modified) {
            const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(modified->time_since_epoch()).count();
            const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
            ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        }
    }

    // Back to a tree and a data folder as before the first scan.
    void forgetEverything()
    {
        m_model.reset();
        drain();
        std::filesystem::remove_all(m_data / "history");
        for (const char* suffix : {"", "-wal", "-shm"}) {
            std::filesystem::remove(m_data / (std::string(FileIndexDatabase::kFileName) + suffix));
        }
        if (m_tree.exists("bad_name.txt")) {
            std::filesystem::rename(m_tree / "bad_name.txt", m_tree / "bad:name.txt");
        }
    }
};

// At every turn the counts, the list and its filtered rows (no filter is
// set) belong together, and a scan's end (its summary) is never shown before
// its list: through a first scan, a re-analysis and the restore after a
// restart.
TEST_F(MonitorViewModelRestartTest, CountsListAndRowsAreShownTogether)
{
    EveryTurn turns([](const MonitorViewModel& model) -> std::optional<std::string> {
        const std::size_t listed = model.issueFiles().size();
        if (static_cast<std::size_t>(model.issueCount()) != listed || model.filteredIssueCount() != listed) {
            return std::to_string(model.issueCount()) + " issues, " + std::to_string(listed) + " listed, "
                + std::to_string(model.filteredIssueCount()) + " shown";
        }
        if (model.lastScanSummary() && listed != 3) {
            return "scan ended with " + std::to_string(listed) + " listed";
        }
        return std::nullopt;
    });
    MonitorViewModel& model = makeModel();
    turns.watch(&model);
    m_picker->answers.push_back(m_tree.path());
    model.selectSourceFolder();
    model.startMonitoring();
    const auto ended = [&model] {
        return model.monitoringStatus().kind() == MonitoringStatus::Kind::monitoring && model.lastScanSummary().has_value();
    };
    ASSERT_TRUE(waitUntil(ended));
    EXPECT_EQ(model.issueCount(), 3);

    bool analyzing = false;
    QObject::connect(&model, &MonitorViewModel::monitoringStatusChanged, [&] {
        analyzing = analyzing || model.monitoringStatus().isScanning();
    });
    model.analyzeFromDatabase();
    ASSERT_TRUE(waitUntil([&] {
        return analyzing && model.hasCoordinator() && model.monitoringStatus().kind() == MonitoringStatus::Kind::monitoring;
    }));
    EXPECT_EQ(model.issueCount(), 3);

    turns.watch(nullptr);
    m_model.reset();
    drain();
    MonitorViewModel& restarted = makeModel();
    turns.watch(&restarted);
    waitForRestore();
    EXPECT_EQ(restarted.issueCount(), 3);
    turns.watch(nullptr);
    EXPECT_TRUE(turns.wrong().empty()) << turns.wrong().front();
}

// The scan a batch asks for did not run before the application ended: the
// restored rows of the old names are shown only while the scan that starts at
// once runs, and it replaces them with the tree as it is.
TEST_F(MonitorViewModelRestartTest, RestoredResultsOlderThanABatchOfTheirFolderAreScannedAgain)
{
    for (const bool journal : {false, true}) {
        SCOPED_TRACE(journal ? "journal of an interrupted batch" : "history file");
        scanAndQuit();
        std::filesystem::rename(m_tree / "bad:name.txt", m_tree / "bad_name.txt");
        recordBatch(m_tree.path(), journal);

        test::LogCapture log;
        EveryTurn turns([](const MonitorViewModel& model) -> std::optional<std::string> {
            if (lists(model, "bad:name.txt") && !model.isRestoringSession() && !model.isMonitoring()) {
                return std::string("a name of before the batch is shown with no scan under way");
            }
            return std::nullopt;
        });
        MonitorViewModel& model = makeModel();
        turns.watch(&model);
        ASSERT_TRUE(waitUntil([&] {
            return model.hasCoordinator() && model.monitoringStatus().kind() == MonitoringStatus::Kind::monitoring
                && model.lastScanSummary().has_value();
        }));
        turns.watch(nullptr);
        EXPECT_TRUE(turns.wrong().empty()) << turns.wrong().front();
        EXPECT_FALSE(lists(model, "bad:name.txt"));
        EXPECT_EQ(model.issueCount(), 2);
        EXPECT_EQ(log.count("INFO", "MonitorViewModel: A rename or undo was recorded after the last scan of " + m_tree.path() + "; scanning it again"),
            1);
        forgetEverything();
    }
}

// Batches of another folder, or older than the last scan, leave the
// restored results as they are, with no scan.
TEST_F(MonitorViewModelRestartTest, RestoredResultsStayWhenNoBatchOfTheirFolderFollowedTheirScan)
{
    struct Case {
        const char* name;
        bool otherFolder;
        bool beforeTheScan;
    };
    for (const Case& c : {Case {"another folder's batch", true, false}, Case {"a batch before the scan", false, true}}) {
        SCOPED_TRACE(c.name);
        const auto before = std::chrono::system_clock::now() - std::chrono::hours(1);
        scanAndQuit();
        recordBatch(c.otherFolder ? m_dir.path() : m_tree.path(), false,
            c.beforeTheScan ? std::optional<std::chrono::system_clock::time_point>(before) : std::nullopt);
        MonitorViewModel& model = makeModel();
        waitForRestore();
        settle(50ms);
        EXPECT_FALSE(model.isMonitoring());
        EXPECT_FALSE(model.hasCoordinator());
        EXPECT_TRUE(lists(model, "bad:name.txt"));
        EXPECT_EQ(model.issueCount(), 3);
        forgetEverything();
    }
}

// Without a destination no scan can run: results older than a batch of
// their folder are not shown at all.
TEST_F(MonitorViewModelRestartTest, WithoutADestinationResultsOlderThanABatchAreNotShown)
{
    scanAndQuit();
    recordBatch(m_tree.path(), false);
    m_settings->updateSettings([](AppSettings& settings) {
        settings.preferences.lastDestinationConfig = std::nullopt;
        settings.preferences.activeSettings.selectedFilesystem = std::nullopt;
    });
    test::LogCapture log;
    MonitorViewModel& model = makeModel();
    waitForRestore();
    EXPECT_FALSE(model.destinationConfig().has_value());
    EXPECT_TRUE(model.issueFiles().empty());
    EXPECT_EQ(model.totalIndexed(), 0);
    EXPECT_FALSE(model.hasDatabase());
    EXPECT_FALSE(model.isMonitoring());
    EXPECT_EQ(log.count("WARN", "; its results are not shown until it is scanned again"), 1);
}

}  // namespace
}  // namespace tess
