#include "ui/history/RenameReportViewState.h"

#include "LogCapture.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tess {
namespace {

namespace state = RenameReportViewState;
using state::BadgeColor;
using state::ReportTab;

TEST(RenameReportViewStateTest, CountsDecideTabsStartAndBadges)
{
    struct Case {
        const char* name;
        state::Counts counts;
        std::vector<ReportTab> tabs;
        ReportTab start;
        std::vector<state::Badge> badges;
    };
    const Case cases[] = {
        {"renames only", {3, 0, 0, 0}, {ReportTab::renamed}, ReportTab::renamed,
            {{ReportTab::renamed, 3, BadgeColor::brandGreen}}},
        {"renames and failures", {3, 1, 0, 0}, {ReportTab::renamed, ReportTab::failed}, ReportTab::failed,
            {{ReportTab::renamed, 3, BadgeColor::brandGreen}, {ReportTab::failed, 1, BadgeColor::warm}}},
        {"failures win over verifications", {0, 2, 4, 0}, {ReportTab::failed, ReportTab::verification}, ReportTab::failed,
            {{ReportTab::renamed, 0, BadgeColor::brandGreen}, {ReportTab::failed, 2, BadgeColor::warm},
                {ReportTab::verification, 4, BadgeColor::orange}}},
        {"verifications only", {0, 0, 2, 0}, {ReportTab::verification}, ReportTab::verification,
            {{ReportTab::renamed, 0, BadgeColor::brandGreen}, {ReportTab::verification, 2, BadgeColor::orange}}},
        {"all empty", {0, 0, 0, 0}, {ReportTab::renamed}, ReportTab::renamed,
            {{ReportTab::renamed, 0, BadgeColor::brandGreen}}},
        {"removed folders only start on their tab", {0, 0, 0, 5}, {ReportTab::directories}, ReportTab::directories,
            {{ReportTab::renamed, 0, BadgeColor::brandGreen}, {ReportTab::directories, 5, BadgeColor::secondary}}},
        {"everything", {1, 2, 3, 4}, {ReportTab::renamed, ReportTab::failed, ReportTab::verification, ReportTab::directories},
            ReportTab::failed,
            {{ReportTab::renamed, 1, BadgeColor::brandGreen}, {ReportTab::failed, 2, BadgeColor::warm},
                {ReportTab::verification, 3, BadgeColor::orange}, {ReportTab::directories, 4, BadgeColor::secondary}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(state::visibleTabs(c.counts), c.tabs);
        EXPECT_EQ(state::startTab(c.counts), c.start);
        EXPECT_EQ(state::badges(c.counts), c.badges);
    }
}

TEST(RenameReportViewStateTest, LabelsAndRawValues)
{
    const state::Counts counts {3, 1, 2, 12};
    EXPECT_EQ(state::tabLabel(ReportTab::renamed, counts), "Renamed (3)");
    EXPECT_EQ(state::tabLabel(ReportTab::failed, counts), "Failed (1)");
    EXPECT_EQ(state::tabLabel(ReportTab::verification, counts), "Unverified (2)");
    EXPECT_EQ(state::tabLabel(ReportTab::directories, counts), "Dirs Removed (12)");
    for (ReportTab tab : state::kAllTabs) {
        EXPECT_EQ(state::tabFromRaw(state::rawValue(tab)), tab);
    }
    EXPECT_EQ(state::tabFromRaw("renamed"), std::nullopt);
    EXPECT_EQ(state::tabFromRaw("Unverified"), std::nullopt);
    EXPECT_EQ(state::tabFromRaw(""), std::nullopt);
}

TEST(RenameReportViewStateTest, MenusActOnTheStoredReportPaths)
{
    RenameReport report;
    report.renamed = {{"a/old:name", "a/old_name"}};
    report.failed = {{"b/x?", "Permission denied"}};
    report.failedVerifications = {{"c/y*", "c/y_", SourceFileRenamer::RenameVerification::VerificationStatus::both}};
    report.removedDirectories = {"d/e", "top"};
    using state::MenuAction;
    using Entries = std::vector<state::MenuEntry>;
    EXPECT_EQ(state::menuEntries(report, ReportTab::renamed, 0),
        (Entries {{MenuAction::reveal, "Reveal New Location", "folder", "a/old_name"},
            {MenuAction::reveal, "Reveal Original Location", "folder", "a/old:name"},
            {MenuAction::copyPath, "Copy Path", "doc.on.doc", "a/old_name"}}));
    EXPECT_EQ(state::menuEntries(report, ReportTab::failed, 0),
        (Entries {{MenuAction::reveal, "Reveal in File Manager", "folder", "b/x?"},
            {MenuAction::copyPath, "Copy Path", "doc.on.doc", "b/x?"}}));
    EXPECT_EQ(state::menuEntries(report, ReportTab::verification, 0),
        (Entries {{MenuAction::reveal, "Reveal Target", "folder", "c/y_"},
            {MenuAction::reveal, "Reveal Original", "folder", "c/y*"},
            {MenuAction::copyPath, "Copy Path", "doc.on.doc", "c/y*"}}));
    EXPECT_EQ(state::menuEntries(report, ReportTab::directories, 1),
        (Entries {{MenuAction::reveal, "Reveal Parent Folder", "folder", ""},
            {MenuAction::copyPath, "Copy Path", "doc.on.doc", "top"}}));
    EXPECT_EQ(state::menuEntries(report, ReportTab::directories, 0)[0].path, "d");
    EXPECT_TRUE(state::menuEntries(report, ReportTab::failed, 1).empty());
}

bool exists(const std::string& path)
{
    struct stat info { };
    return ::lstat(path.c_str(), &info) == 0;
}

TEST(RenameReportViewStateTest, RevealFindsTheItemElseItsFolderAndRefusesEscapes)
{
    test::TempDir root;
    root.writeFile("kept/file.txt");
    root.makeDir("empty");
    struct Case {
        const char* name;
        std::string reportPath;
        std::optional<std::string> target;
        bool warned;
    };
    const Case cases[] = {
        {"item there", "kept/file.txt", root / "kept/file.txt", false},
        {"item gone, folder there", "kept/gone.txt", root / "kept", false},
        {"folder there", "empty", root / "empty", false},
        {"both gone", "gone/gone.txt", std::nullopt, false},
        {"the scan root itself", "", root.path(), false},
        {"parent escape", "../x", std::nullopt, true},
        {"inner parent escape", "kept/../../x", std::nullopt, true},
        {"dot component", "./kept", std::nullopt, true},
        {"absolute", "/etc/passwd", std::nullopt, true},
        {"empty component", "kept//file.txt", std::nullopt, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::LogCapture log;
        EXPECT_EQ(state::revealTarget(root.path(), c.reportPath, exists), c.target);
        EXPECT_EQ(log.count("WARN", "refused to reveal unsafe path"), c.warned ? 1 : 0);
    }
    test::LogCapture log;
    EXPECT_EQ(state::revealTarget("relative/root", "x", exists), std::nullopt);
    EXPECT_EQ(log.count("WARN", "refused to reveal unsafe path"), 1);
}

TEST(RenameReportViewStateTest, ParentReportPath)
{
    EXPECT_EQ(state::parentReportPath("a/b/c"), "a/b");
    EXPECT_EQ(state::parentReportPath("a"), "");
    EXPECT_EQ(state::parentReportPath(""), "");
}

TEST(RenameReportViewStateTest, DatesFollowTheLocale)
{
    struct Case {
        const char* locale;
        const char* longDate;
        const char* mediumDate;
        const char* time;
    };
    const Case cases[] = {
        {"en_US", "December 10, 2026", "Dec 10, 2026", "2:40 PM"},
        {"de_DE", "10. Dezember 2026", "10. Dez. 2026", "14:40"},
    };
    const QDate date(2026, 12, 10);
    const QTime time(14, 40, 59);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        const QLocale locale(QString::fromLatin1(c.locale));
        EXPECT_EQ(state::longDateText(date, locale).toStdString(), c.longDate);
        EXPECT_EQ(state::mediumDateText(date, locale).toStdString(), c.mediumDate);
        EXPECT_EQ(state::shortTimeText(time, locale).toStdString(), c.time);
    }
}

}  // namespace
}  // namespace tess
