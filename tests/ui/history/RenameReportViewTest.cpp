#include "ui/history/RenameReportView.h"

#include "FakeWorkspace.h"
#include "TempDir.h"
#include "WidgetTestSupport.h"
#include "ui/widgets/Theme.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>

namespace tess {
namespace {

using ReportTab = RenameReportViewState::ReportTab;
using Status = SourceFileRenamer::RenameVerification::VerificationStatus;

RenameReport reportOf(std::size_t renamed, std::size_t failed, std::size_t verification, std::size_t directories,
    std::string scanRoot = "/data/photos")
{
    RenameReport report;
    report.timestamp = std::chrono::system_clock::from_time_t(1'797'000'000);
    report.scanRoot = std::move(scanRoot);
    for (std::size_t i = 0; i < renamed; ++i) {
        const std::string n = std::to_string(i);
        report.renamed.push_back({"Holiday/IMG:" + n + ".jpg", "Holiday/IMG_" + n + ".jpg"});
    }
    for (std::size_t i = 0; i < failed; ++i) {
        report.failed.push_back({"Locked/what?" + std::to_string(i) + ".txt", "Permission denied"});
    }
    for (std::size_t i = 0; i < verification; ++i) {
        const std::string n = std::to_string(i);
        report.failedVerifications.push_back({"Notes/a*" + n + ".md", "Notes/a_" + n + ".md", Status::both});
    }
    for (std::size_t i = 0; i < directories; ++i) {
        report.removedDirectories.push_back("Empty/folder " + std::to_string(i));
    }
    return report;
}

class RenameReportViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_originalPalette = QApplication::palette();
        QApplication::setPalette(theme::lightPalette());
    }
    void TearDown() override
    {
        m_view.reset();
        QApplication::setPalette(m_originalPalette);
    }

    RenameReportView& makeView(RenameReport report)
    {
        m_view = std::make_unique<RenameReportView>(
            std::move(report), [this] { ++m_exports; }, m_workspace);
        m_view->show();
        return *m_view;
    }

    QStringList segmentTitles() const
    {
        QStringList titles;
        for (QAbstractButton* button : m_view->findChild<QWidget*>(QStringLiteral("sectionControl"))->findChildren<QAbstractButton*>()) {
            titles << button->text();
        }
        return titles;
    }

    QStringList badgeTexts() const
    {
        QStringList texts;
        for (const char* name : {"renamedBadgeCount", "failedBadgeCount", "verificationBadgeCount", "directoriesBadgeCount"}) {
            if (auto* label = m_view->findChild<QLabel*>(QLatin1String(name))) {
                texts << QLatin1String(name) + QLatin1Char('=') + label->text();
            }
        }
        return texts;
    }

    void saveScreenshot(const QString& name)
    {
        ASSERT_TRUE(m_view->grab().save(test::screenshotPath(QStringLiteral("views"), name)));
    }

    QPalette m_originalPalette;
    test::FakeWorkspace m_workspace;
    std::unique_ptr<RenameReportView> m_view;
    int m_exports = 0;
};

TEST_F(RenameReportViewTest, CountsDecideSegmentsStartAndBadges)
{
    struct Case {
        const char* name;
        RenameReport report;
        QStringList segments;
        ReportTab start;
        QStringList badges;
        const char* emptyMessage;  // the text shown when the start tab is empty
    };
    const Case cases[] = {
        {"renames only", reportOf(3, 0, 0, 0), {"Renamed (3)"}, ReportTab::renamed, {"renamedBadgeCount=3"}, nullptr},
        {"renames and failures", reportOf(3, 1, 0, 0), {"Renamed (3)", "Failed (1)"}, ReportTab::failed,
            {"renamedBadgeCount=3", "failedBadgeCount=1"}, nullptr},
        {"verifications only", reportOf(0, 0, 2, 0), {"Unverified (2)"}, ReportTab::verification,
            {"renamedBadgeCount=0", "verificationBadgeCount=2"}, nullptr},
        {"nothing", reportOf(0, 0, 0, 0), {"Renamed (0)"}, ReportTab::renamed, {"renamedBadgeCount=0"},
            "No files were renamed."},
        {"removed folders only", reportOf(0, 0, 0, 2), {"Dirs Removed (2)"}, ReportTab::directories,
            {"renamedBadgeCount=0", "directoriesBadgeCount=2"}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RenameReportView& view = makeView(c.report);
        EXPECT_EQ(segmentTitles(), c.segments);
        EXPECT_EQ(view.selectedTab(), c.start);
        EXPECT_EQ(badgeTexts(), c.badges);
        QWidget* page = view.findChild<QStackedWidget*>(QStringLiteral("reportPagesStack"))->currentWidget();
        if (c.emptyMessage != nullptr) {
            auto* label = qobject_cast<QLabel*>(page);
            ASSERT_NE(label, nullptr);
            EXPECT_EQ(label->text(), QLatin1String(c.emptyMessage));
        } else {
            auto* list = qobject_cast<QListView*>(page);
            ASSERT_NE(list, nullptr);
            QAbstractItemModelTester tester(list->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
            EXPECT_EQ(static_cast<std::size_t>(list->model()->rowCount()), RenameReportViewState::Counts::of(c.report).of(c.start));
        }
        // The segment of the start tab is the checked one.
        int checked = 0;
        for (QAbstractButton* button : view.findChild<QWidget*>(QStringLiteral("sectionControl"))->findChildren<QAbstractButton*>()) {
            checked += button->isChecked() ? 1 : 0;
        }
        EXPECT_EQ(checked, 1);
    }
}

TEST_F(RenameReportViewTest, SegmentsSwitchTabsAndButtonsAct)
{
    RenameReportView& view = makeView(reportOf(2, 1, 1, 1));
    EXPECT_EQ(segmentTitles(), (QStringList {"Renamed (2)", "Failed (1)", "Unverified (1)", "Dirs Removed (1)"}));
    QTest::mouseClick(view.findChild<QAbstractButton*>(QStringLiteral("directoriesSectionButton")), Qt::LeftButton);
    EXPECT_EQ(view.selectedTab(), ReportTab::directories);
    EXPECT_EQ(view.findChild<QStackedWidget*>(QStringLiteral("reportPagesStack"))->currentWidget()->objectName(),
        QLatin1String("directoriesListView"));

    view.findChild<QPushButton*>(QStringLiteral("exportButton"))->click();
    EXPECT_EQ(m_exports, 1);
    QSignalSpy accepted(&view, &QDialog::accepted);
    view.activateWindow();
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_EQ(accepted.count(), 1);
}

TEST_F(RenameReportViewTest, MenuEntriesRevealThroughTheWorkspaceAndCopyTheReportPath)
{
    test::TempDir root;
    root.writeFile("kept/new.txt");
    root.makeDir("parent");
    RenameReport report = reportOf(0, 0, 0, 0, root.path());
    report.renamed = {{"kept/old.txt", "kept/new.txt"}, {"gone/old.txt", "gone/new.txt"}, {"../x", "../y"}};
    report.removedDirectories = {"single", "parent/child"};
    RenameReportView& view = makeView(report);

    struct Case {
        ReportTab tab;
        int row;
        const char* entry;
        std::vector<std::string> revealed;
        std::vector<QString> copied;
    };
    const Case cases[] = {
        {ReportTab::renamed, 0, "Reveal New Location", {root / "kept/new.txt"}, {}},
        {ReportTab::renamed, 0, "Reveal Original Location", {root / "kept"}, {}},
        {ReportTab::renamed, 0, "Copy Path", {}, {QStringLiteral("kept/new.txt")}},
        {ReportTab::renamed, 1, "Reveal New Location", {}, {}},
        {ReportTab::renamed, 2, "Reveal New Location", {}, {}},
        {ReportTab::renamed, 2, "Copy Path", {}, {QStringLiteral("../y")}},
        {ReportTab::directories, 0, "Reveal Parent Folder", {root.path()}, {}},
        {ReportTab::directories, 1, "Reveal Parent Folder", {root / "parent"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.entry) + " row " + std::to_string(c.row));
        m_workspace.revealed.clear();
        m_workspace.copied.clear();
        std::unique_ptr<QMenu> menu(view.makeContextMenu(c.tab, c.row, nullptr));
        QAction* found = nullptr;
        for (QAction* action : menu->actions()) {
            if (action->text() == QLatin1String(c.entry)) {
                found = action;
            }
        }
        ASSERT_NE(found, nullptr);
        found->trigger();
        EXPECT_EQ(m_workspace.revealed, c.revealed);
        EXPECT_EQ(m_workspace.copied, c.copied);
    }
}

// A path that is not UTF-8 is shown and copied with \xhh for each invalid
// byte: never as the valid name beside it, never as "X -> X".
TEST_F(RenameReportViewTest, PathsThatAreNotUtf8AreShownAndCopiedAsTheirBytes)
{
    RenameReport report = reportOf(0, 0, 0, 0);
    report.renamed = {{"twin/caf\xe9.txt", "twin/caf\u00E9_1.txt"}, {"legacy/caf\xe9.txt", "legacy/caf\u00E9.txt"}};
    report.failed = {{"locked/\xff.txt", "Permission denied"}};
    RenameReportView& view = makeView(report);

    auto* renamed = view.findChild<QListView*>(QStringLiteral("renamedListView"));
    auto* failed = view.findChild<QListView*>(QStringLiteral("failedListView"));
    ASSERT_TRUE(renamed != nullptr && failed != nullptr);
    EXPECT_EQ(renamed->model()->index(0, 0).data().toString(), QStringLiteral("twin/caf\\xe9.txt\ntwin/caf\u00E9_1.txt"));
    EXPECT_EQ(renamed->model()->index(1, 0).data().toString(), QStringLiteral("legacy/caf\\xe9.txt\nlegacy/caf\u00E9.txt"));
    EXPECT_EQ(failed->model()->index(0, 0).data().toString(), QStringLiteral("locked/\\xff.txt\nPermission denied"));

    std::unique_ptr<QMenu> menu(view.makeContextMenu(ReportTab::failed, 0, nullptr));
    for (QAction* action : menu->actions()) {
        if (action->text() == QLatin1String("Copy Path")) {
            action->trigger();
        }
    }
    EXPECT_EQ(m_workspace.copied, (std::vector<QString> {QStringLiteral("locked/\\xff.txt")}));
}

TEST_F(RenameReportViewTest, ScreenshotsOfEachTab)
{
    RenameReport report = reportOf(4, 2, 2, 3);
    report.renamed.push_back({"Very/long/folder/names/that/go/on/and/on/for/a/while/<b>bold</b> & co:final.txt",
        "Very/long/folder/names/that/go/on/and/on/for/a/while/<b>bold</b> & co_final.txt"});
    report.failed[1].error = "The file “what?1.txt” couldn’t be moved because you don’t have permission to access “Locked”.";
    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? theme::darkPalette() : theme::lightPalette());
        RenameReportView& view = makeView(report);
        for (ReportTab tab : RenameReportViewState::kAllTabs) {
            view.selectTab(tab);
            QTest::qWait(20);
            saveScreenshot(QStringLiteral("rename-report-%1-%2")
                               .arg(QString::fromLatin1(RenameReportViewState::rawValue(tab).data()).toLower(),
                                   dark ? QStringLiteral("dark") : QStringLiteral("light")));
        }
    }
    // Only removed folders: starts on that tab, not on an empty one.
    QApplication::setPalette(theme::lightPalette());
    makeView(reportOf(0, 0, 0, 2));
    saveScreenshot(QStringLiteral("rename-report-only-directories-light"));
}

}  // namespace
}  // namespace tess
