// What the window is shown while results arrive: never a count beside the
// rows of another list.

#include "MonitorViewModelFixture.h"

#include <QTimer>

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

class MonitorViewModelRestartTest : public MonitorViewModelTest { };

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

}  // namespace
}  // namespace tess
