// The issue-category cards above the list, in the window as the application
// composes it, with the advanced pane open: at the default and the smallest
// size every card shows its whole count (a card may shorten its title), is
// wholly shown, and a click on it filters the list.

#include "ComposedMainWindow.h"
#include "DriveMainWindow.h"
#include "TempDir.h"

#include "model/MonitorViewModel.h"
#include "ui/issuelist/IssueFilterBadge.h"
#include "ui/mainwindow/MainToolbar.h"
#include "ui/settings/AdvancedSettingsView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMainWindow>
#include <QTest>
#include <QToolBar>

#include <string>
#include <vector>

namespace tess {
namespace {

class IssueCardsTest : public ::testing::Test {
protected:
    IssueCardsTest()
    {
        // Many kinds of issue, some of them many times.
        for (int i = 0; i < 264; ++i) {
            m_dir.writeFile("tree/many/file:" + std::to_string(i) + ".txt", "x");
        }
        for (int i = 0; i < 12; ++i) {
            m_dir.writeFile("tree/names/ lead" + std::to_string(i) + ".txt", "x");
        }
        m_dir.writeFile("tree/names/CON.txt", "x");
        m_dir.writeFile("tree/names/bad\xFFname.txt", "x");
        m_dir.writeFile("tree/names/" + std::string(80, 'n') + ".txt", "x");
        m_dir.writeFile("tree/" + std::string(70, 'f') + "/x.txt", "x");
        m_dir.writeFile("tree/names/a__b.txt", "x");
        m_dir.writeFile("tree/names/Same.txt", "x");
        m_dir.writeFile("tree/names/same.txt", "x");
        std::string deep = "tree/deep";
        for (int level = 0; level < 14; ++level) {
            deep += "/" + std::string(20, static_cast<char>('a' + level));
        }
        m_dir.writeFile(deep + "/leaf.txt", "x");
        test::openTreeForNtfs(m_window, m_dir, [](AppSettings& s) {
            // Limits that names and folders here break.
            s.preferences.activeSettings.maxFilenameLength = 64;
            s.preferences.activeSettings.maxFolderNameLength = 60;
            s.preferences.activeSettings.maxPathDepth = 8;
        });
    }

    test::TempDir m_dir;
    test::ComposedMainWindow m_window {m_dir};
};

TEST_F(IssueCardsTest, EveryCardShowsItsWholeCountAtTheDefaultAndTheSmallestSize)
{
    ASSERT_TRUE(test::showAndScan(
        m_window,
        [](ContentView& content) { return !content.model().monitoringStatus().isScanning() && content.model().filteredIssueCount() >= 280; },
        60000));
    QMainWindow& window = m_window.show();
    ContentView& content = *m_window.content();
    ASSERT_TRUE(test::openAdvancedPane(m_window));

    for (const QSize size : {QSize(1000, 800), QSize(800, 480)}) {
        SCOPED_TRACE(std::to_string(size.width()) + "x" + std::to_string(size.height()));
        window.resize(size);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window.size() == size; }));
        QTest::qWait(50);
        const QList<IssueFilterBadge*> cards = window.findChildren<IssueFilterBadge*>();
        ASSERT_GE(cards.size(), 6);
        for (IssueFilterBadge* card : cards) {
            SCOPED_TRACE(card->labelText().toStdString());
            EXPECT_EQ(card->shownCountText(), card->countText());
            EXPECT_GE(card->width(), card->minimumSizeHint().width());
            // The label whole, or its start before "…".
            const QString label = card->shownLabelText();
            EXPECT_TRUE(label == card->labelText()
                || (label.size() >= 2 && label.endsWith(u'…') && card->labelText().startsWith(label.chopped(1))))
                << label.toStdString();
            EXPECT_EQ(card->visibleRegion().boundingRect(), card->rect());
        }
        window.grab().save(test::ComposedMainWindow::screenshotPath(
            QStringLiteral("issue-cards-%1x%2").arg(size.width()).arg(size.height())));

        // A click on the last card (in the last row) hides its type; a second
        // shows every type again.
        IssueFilterBadge& last = *cards.back();
        const auto clickCard = [&] {
            QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, last.mapTo(&window, last.rect().center()));
        };
        clickCard();
        ASSERT_TRUE(QTest::qWaitFor([&] { return content.model().selectedIssueFilters().has_value(); }));
        EXPECT_FALSE(content.model().selectedIssueFilters()->contains(last.issueType()));
        EXPECT_FALSE(last.isActive());
        clickCard();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !content.model().selectedIssueFilters().has_value(); }));
    }
}

}  // namespace
}  // namespace tess
