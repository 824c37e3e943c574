#include "ListViewHarness.h"
#include "WidgetTestSupport.h"
#include "ui/widgets/Theme.h"

#include <QApplication>

namespace tess {
namespace {

using Issue = FileTransformationIssue;
using test::ListItem;

// Every issue key, hostile names, a 1,000-byte path and a row of seven
// entries: what the screenshots of the list show.
std::vector<ListItem> reviewFixture()
{
    const std::string deep = "Archive/" + std::string(900, 'd') + "/very long folder/final name.txt";
    return {
        {"Reports/Q1: summary.txt", "Reports/Q1_ summary.txt", {Issue::CharacterTransformed {{":"}, "", ""}}},
        {"Photos/IMG.jpg", "Photos/IMG 2.jpg", {Issue::Collision {"Photos/img.jpg"}}},
        {"Music/caf\xE9.mp3", "Music/caf\xC3\xA9.mp3", {Issue::EncodingTransformed {"", ""}}},
        {"Docs/" + std::string(120, 'n') + ".pdf", "Docs/" + std::string(100, 'n') + ".pdf", {Issue::FilenameTooLong {125, 105}}},
        {"Docs/unfixable name.txt", std::nullopt, {Issue::FilenameUnresolvable {"The name (even shortened) does not fit"}}},
        {"Projects/" + std::string(60, 'f'), "Projects/" + std::string(40, 'f'), {Issue::FolderNameTooLong {60, 40}}, true},
        {"Notes/a rather long chapter title/part.txt", "Notes/a rather long/part.txt", {Issue::PathShortened {41, 28}}},
        {"a/b/c/d/e/f/g/h/deep.txt", "a/b/c/d/e/f/g/h-deep.txt", {Issue::PathTooDeep {9, 8}}},
        {deep, "Archive/short/final name.txt", {Issue::PathTooLong {1000, 255}}},
        {"Mail/re__re__hello.eml", "Mail/re_re_hello.eml", {Issue::RepeatedSeparators {"", ""}}},
        {"Legacy/CON.txt", "Legacy/_CON.txt", {Issue::ReservedName {"CON"}}},
        {"Inbox/ trailing dot.", "Inbox/trailing dot", {Issue::TrimmedCharacters {{" trailing dot."}}}},
        {"Web/<b>x</b>", "Web/_b_x__b_", {Issue::CharacterTransformed {{"<", ">"}, "", ""}}},
        {"R&D/<img src=x>\t\u202Eevil\u200B \xF0\x9F\x98\x80.txt", "R&D/_img src=x_ evil \xF0\x9F\x98\x80.txt",
            {Issue::CharacterTransformed {{"<", ">", "\t", "\u202E", "\u200B"}, "", ""}, Issue::Collision {"x"}, Issue::PathTooLong {300, 255},
                Issue::FilenameTooLong {300, 255}, Issue::ReservedName {"X"}, Issue::PathTooDeep {9, 8}, Issue::PathShortened {9, 8}}},
    };
}

class FileListViewScreenshotTest : public testing::Test {
protected:
    static void SetUpTestSuite() { test::widgetApplication(); }

    void TearDown() override { QApplication::setPalette(theme::lightPalette()); }

    // Saves the view in both palettes as issue-list/<name>-light|dark.png.
    static void saveBoth(FileListView& view, const QString& name)
    {
        for (const auto& [palette, suffix] : {std::pair {theme::lightPalette(), "light"}, std::pair {theme::darkPalette(), "dark"}}) {
            QApplication::setPalette(palette);
            ASSERT_TRUE(QTest::qWaitFor([&] { return view.palette().color(QPalette::Window) == palette.color(QPalette::Window); }));
            QTest::qWait(10);
            test::saveScreenshot(view, name + QLatin1Char('-') + QLatin1String(suffix));
        }
    }
};

TEST_F(FileListViewScreenshotTest, InlineAndSideBySide)
{
    test::ListViewHarness harness(reviewFixture());
    FileListView& view = harness.makeView();
    view.resize(980, 640);
    view.show();
    ASSERT_EQ(view.listModel().rowCount(), 14);
    harness.model->setSelectedFileIDs({view.listModel().fileAt(0)->id, view.listModel().fileAt(3)->id});
    saveBoth(view, QStringLiteral("list-inline"));
    view.toggleSideBySide();
    saveBoth(view, QStringLiteral("list-side-by-side"));
}

TEST_F(FileListViewScreenshotTest, EmptyStates)
{
    {
        test::ListViewHarness harness({}, 1234);
        FileListView& view = harness.makeView();
        view.show();
        saveBoth(view, QStringLiteral("empty-no-issues"));
    }
    test::ListViewHarness harness(reviewFixture());
    FileListView& view = harness.makeView();
    view.show();
    ASSERT_TRUE(harness.waitForFilterPass([&] { harness.model->setSearchText("nothing like this"); }));
    ASSERT_EQ(view.listModel().rowCount(), 0);
    saveBoth(view, QStringLiteral("empty-no-match"));
}

}  // namespace
}  // namespace tess
