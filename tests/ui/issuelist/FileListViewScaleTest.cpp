#include "ListViewHarness.h"
#include "WidgetTestSupport.h"

#include <QLineEdit>
#include <QScrollBar>

#include <chrono>
#include <iostream>

namespace tess {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class FileListViewScaleTest : public testing::Test {
protected:
    static void SetUpTestSuite() { test::widgetApplication(); }
};

// A million rows: the list is set, filtered and scrolled to its end within
// generous bounds (the figures are printed), and rows stay painted, never
// widgets.
TEST_F(FileListViewScaleTest, MillionRowsSetFilterAndScroll)
{
    constexpr std::size_t kRows = 1000000;
    test::ListViewHarness harness(kRows, [](std::size_t i) {
        const std::string folder = "Projects/Client " + std::to_string(i / 1000) + "/";
        test::ListItem item {folder + "Report: Draft " + std::to_string(i) + ".txt", folder + "Report_ Draft " + std::to_string(i) + ".txt",
            {FileTransformationIssue::CharacterTransformed {{":"}, "", ""}}};
        if (i % 3 == 0) {
            item.issues.push_back(FileTransformationIssue::PathTooLong {300, 255});
        }
        return item;
    });
    FileListView view(*harness.model, harness.workspace);
    view.resize(900, 700);
    view.show();
    Clock::time_point listArrived;
    QObject::connect(harness.model.get(), &MonitorViewModel::issueFilesChanged, &view, [&] { listArrived = Clock::now(); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.listModel().rowCount() == static_cast<int>(kRows); }, 120000));
    QImage screen = view.grab().toImage();
    const double setSeconds = secondsSince(listArrived);

    auto* search = view.findChild<QLineEdit*>(QStringLiteral("searchLineEdit"));
    Clock::time_point start = Clock::now();
    QTest::keyClicks(search, QStringLiteral("draft 99999"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.listModel().rowCount() == 11; }, 30000));
    screen = view.grab().toImage();
    const double filterSeconds = secondsSince(start);

    ASSERT_TRUE(harness.waitForFilterPass([&] { view.clearSearchText(); }, 30000));
    ASSERT_EQ(view.listModel().rowCount(), static_cast<int>(kRows));
    start = Clock::now();
    view.listView().scrollToBottom();
    screen = view.grab().toImage();
    const double scrollSeconds = secondsSince(start);
    const QModelIndex last = view.listView().indexAt(QPoint(10, view.listView().viewport()->height() - 2));
    EXPECT_EQ(last.row(), static_cast<int>(kRows) - 1);
    EXPECT_EQ(view.listView().verticalScrollBar()->value(), view.listView().verticalScrollBar()->maximum());

    std::cout << "10^6 rows: list set and painted in " << setSeconds << " s, filtered and painted in " << filterSeconds
              << " s (150 ms debounce included), scrolled to the end and painted in " << scrollSeconds << " s\n";
    EXPECT_LT(setSeconds, 10.0);
    EXPECT_LT(filterSeconds, 10.0);
    EXPECT_LT(scrollSeconds, 2.0);
    // The header's few widgets, no widget per row.
    EXPECT_TRUE(view.listView().viewport()->findChildren<QWidget*>().isEmpty());
    EXPECT_LT(view.findChildren<QWidget*>().size(), 60);
    // Painting kept only the differences of rows it drew.
    EXPECT_LT(view.listModel().cachedDiffCount(), 2 * IssueListModel::kDiffCacheLimit);
}

}  // namespace
}  // namespace tess
