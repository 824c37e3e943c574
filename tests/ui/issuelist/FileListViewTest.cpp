#include "IsolatedLogEnvironment.h"
#include "ListViewHarness.h"
#include "WidgetTestSupport.h"
#include "ui/issuelist/IssueFilterBadge.h"
#include "ui/issuelist/ResultRowDelegate.h"
#include "ui/issuelist/SideBySideRowDelegate.h"
#include "ui/widgets/Theme.h"
#include "ui/widgets/TriStateCheckbox.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTextDocument>
#include <QToolButton>
#include <QToolTip>

#include <chrono>
#include <set>

namespace tess {
namespace {

using test::ListItem;
using test::ListViewHarness;
using Issue = FileTransformationIssue;

[[maybe_unused]] const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new test::IsolatedLogEnvironment(false));

ListItem renamed(std::string from, std::string to, std::vector<Issue> issues = {Issue::PathTooLong {300, 255}})
{
    return {std::move(from), std::move(to), std::move(issues)};
}

// An item with issues that needs no rename (no automatic fix).
ListItem stuck(std::string path, std::vector<Issue> issues = {Issue::FilenameUnresolvable {"no room"}})
{
    return {std::move(path), std::nullopt, std::move(issues)};
}

class FileListViewTest : public testing::Test {
protected:
    static void SetUpTestSuite() { test::widgetApplication(); }

    static int rowOf(FileListView& view, const std::string& relativePath)
    {
        for (int row = 0; row < view.listModel().rowCount(); ++row) {
            if (view.listModel().fileAt(row)->relativePath == relativePath) {
                return row;
            }
        }
        return -1;
    }

    static QStyleOptionViewItem optionFor(FileListView& view, int row)
    {
        QStyleOptionViewItem option;
        option.initFrom(view.listView().viewport());
        option.rect = view.listView().visualRect(view.listModel().index(row));
        option.font = view.listView().font();
        return option;
    }

    static std::vector<IssueFilterBadge*> badges(FileListView& view)
    {
        std::vector<IssueFilterBadge*> found;
        for (IssueFilterBadge* badge : view.findChildren<IssueFilterBadge*>()) {
            if (badge->isVisibleTo(&view)) {
                found.push_back(badge);
            }
        }
        return found;
    }

    static QString emptyTitle(FileListView& view)
    {
        auto* content = view.findChild<QStackedWidget*>(QStringLiteral("contentStackedWidget"));
        if (content->currentWidget()->objectName() != QLatin1String("emptyStateWidget")) {
            return {};
        }
        return view.findChild<QLabel*>(QStringLiteral("emptyTitleLabel"))->text();
    }
};

TEST_F(FileListViewTest, ModelPassesTheTesterThroughFiltersAndSelection)
{
    ListViewHarness harness({renamed("a/b:c.txt", "a/b_c.txt"), stuck("a/long"), renamed("d?", "d_", {Issue::CharacterTransformed {{"?"}, "d?", "d_"}})});
    FileListView& view = harness.makeView();
    QAbstractItemModelTester tester(&view.listModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_EQ(view.listModel().rowCount(), 3);
    EXPECT_EQ(view.listModel().index(0).data(IssueListModel::RelativePathRole).toString(), QStringLiteral("a/b:c.txt"));
    EXPECT_EQ(view.listModel().index(0).data(IssueListModel::ProposedPathRole).toString(), QStringLiteral("a/b_c.txt"));
    EXPECT_FALSE(view.listModel().index(1).data(IssueListModel::IsRenameableRole).toBool());

    QSignalSpy resets(&view.listModel(), &QAbstractItemModel::modelReset);
    QSignalSpy changes(&view.listModel(), &QAbstractItemModel::dataChanged);
    harness.model->setSelectedFileIDs({view.listModel().fileAt(0)->id});
    EXPECT_EQ(resets.count(), 0);
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.at(0).at(0).toModelIndex().row(), 0);
    EXPECT_EQ(changes.at(0).at(1).toModelIndex().row(), 2);
    EXPECT_TRUE(view.listModel().index(0).data(IssueListModel::IsSelectedRole).toBool());

    ASSERT_TRUE(harness.waitForFilterPass([&] { harness.model->setItemTypeFilter(ItemTypeFilter::directoriesOnly); }));
    EXPECT_EQ(view.listModel().rowCount(), 0);
    EXPECT_EQ(resets.count(), 1);
    ASSERT_TRUE(harness.waitForFilterPass([&] { harness.model->setItemTypeFilter(ItemTypeFilter::all); }));
    EXPECT_EQ(view.listModel().rowCount(), 3);

    // The difference is computed once per item and kept.
    const auto first = view.listModel().diffAt(0);
    EXPECT_EQ(view.listModel().diffAt(0).get(), first.get());
    ASSERT_TRUE(first->diff.has_value());
    EXPECT_EQ(first->originalRanges, (std::vector<ByteRange> {{3, 4}}));
    EXPECT_FALSE(view.listModel().diffAt(1)->diff.has_value());
}

TEST_F(FileListViewTest, BadgeTapSequences)
{
    struct Case {
        const char* name;
        std::vector<ListItem> items;
        std::vector<std::string> taps;
        std::optional<std::set<std::string>> filters;
        int rows;
        std::vector<bool> active;  // per badge, in available order
    };
    const ListItem longName = renamed("long-name.txt", "long-nam.txt", {Issue::FilenameTooLong {300, 255}});
    const ListItem longAndBad = renamed("x:y.txt", "x_y.txt", {Issue::FilenameTooLong {300, 255}, Issue::CharacterTransformed {{":"}, "x:y", "x_y"}});
    const ListItem colliding = renamed("c.txt", "c 2.txt", {Issue::Collision {"C.txt"}});
    const ListItem longPath = renamed("deep/p.txt", "p.txt", {Issue::PathTooLong {300, 255}});
    const Case cases[] = {
        {"first tap hides only that type", {longName, longAndBad, colliding}, {"filenameTooLong"},
            std::set<std::string> {"characterTransformed", "collision"}, 2, {true, true, false}},
        {"second tap restores all", {longName, longAndBad, colliding}, {"filenameTooLong", "filenameTooLong"}, std::nullopt, 3,
            {true, true, true}},
        {"two types tapped away leave an empty set", {colliding, longPath}, {"pathTooLong", "collision"}, std::set<std::string> {}, 0,
            {false, false}},
        {"a tap on an inactive badge adds its type", {colliding, longPath}, {"pathTooLong", "collision", "pathTooLong"},
            std::set<std::string> {"pathTooLong"}, 1, {false, true}},
        {"a single type tapped hides everything", {longPath}, {"pathTooLong"}, std::set<std::string> {}, 0, {false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ListViewHarness harness(c.items);
        FileListView& view = harness.makeView();
        for (const std::string& key : c.taps) {
            IssueFilterBadge* badge = nullptr;
            for (IssueFilterBadge* candidate : badges(view)) {
                if (candidate->issueType() == key) {
                    badge = candidate;
                }
            }
            ASSERT_NE(badge, nullptr) << key;
            ASSERT_TRUE(harness.waitForFilterPass([&] { QTest::mouseClick(badge, Qt::LeftButton); }));
        }
        EXPECT_EQ(harness.model->selectedIssueFilters(), c.filters);
        EXPECT_EQ(view.listModel().rowCount(), c.rows);
        std::vector<bool> active;
        for (IssueFilterBadge* badge : badges(view)) {
            active.push_back(badge->isActive());
        }
        EXPECT_EQ(active, c.active);
        EXPECT_EQ(emptyTitle(view), c.rows == 0 ? QStringLiteral("No Matching Results") : QString());
    }
}

TEST_F(FileListViewTest, SelectAllWithUnselectableRowsAndASelectionOutsideTheFilter)
{
    ListViewHarness harness({renamed("a.txt", "a_.txt"), renamed("b.txt", "b_.txt"), renamed("c.txt", "c_.txt"), stuck("d.txt"),
        ListItem {"folder:x", "folder_x", {Issue::CharacterTransformed {{":"}, "folder:x", "folder_x"}}, true}});
    FileListView& view = harness.makeView();
    MonitorViewModel& model = *harness.model;
    auto id = [&](const std::string& path) { return view.listModel().fileAt(rowOf(view, path))->id; };
    const std::int64_t a = id("a.txt"), b = id("b.txt"), c = id("c.txt"), d = id("d.txt"), folder = id("folder:x");
    // The folder is selected and then filtered out; d cannot be selected by
    // the box but is in the selection.
    model.setSelectedFileIDs({a, d, folder});
    ASSERT_TRUE(harness.waitForFilterPass([&] { QTest::mouseClick(view.findChild<QToolButton*>(QStringLiteral("itemTypeFilesButton")), Qt::LeftButton); }));
    ASSERT_EQ(view.listModel().rowCount(), 4);
    view.show();
    auto* box = view.findChild<TriStateCheckbox*>(QStringLiteral("selectAllCheckbox"));
    EXPECT_EQ(box->toolTip(), QStringLiteral("Select all visible items"));
    EXPECT_EQ(box->state(), Qt::PartiallyChecked);

    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(model.selectedFileIDs(), (ItemIdSet {a, b, c, d, folder}));
    EXPECT_EQ(box->state(), Qt::Checked);

    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(model.selectedFileIDs(), (ItemIdSet {folder}));
    EXPECT_EQ(box->state(), Qt::Unchecked);

    // A row that needs no rename ignores its box; another toggles.
    view.toggleSelection(*view.listModel().fileAt(rowOf(view, "d.txt")));
    view.toggleSelection(*view.listModel().fileAt(rowOf(view, "b.txt")));
    EXPECT_EQ(model.selectedFileIDs(), (ItemIdSet {b, folder}));
    EXPECT_EQ(box->state(), Qt::PartiallyChecked);
}

TEST_F(FileListViewTest, TriStateBoxFollowsTheModelAfterAClick)
{
    ListViewHarness harness({renamed("a.txt", "a_.txt"), renamed("b.txt", "b_.txt")});
    FileListView& view = harness.makeView();
    auto* box = view.findChild<TriStateCheckbox*>(QStringLiteral("selectAllCheckbox"));
    // The model answers a click by leaving the selection alone: the box
    // shows the model's state, not the box's own next state.
    harness.model->setSelectedFileIDs({view.listModel().fileAt(0)->id});
    QObject::connect(box, &QAbstractButton::clicked, harness.model.get(), [&] { harness.model->setSelectedFileIDs({view.listModel().fileAt(0)->id}); });
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(harness.model->selectAllState(), CheckboxState::mixed);
    EXPECT_EQ(box->state(), Qt::PartiallyChecked);
}

TEST_F(FileListViewTest, RowClickOnTheBoxTogglesOnlyRenameableItems)
{
    ListViewHarness harness({renamed("a.txt", "a_.txt"), stuck("b.txt")});
    FileListView& view = harness.makeView();
    view.show();
    for (bool sideBySide : {false, true}) {
        SCOPED_TRACE(sideBySide ? "side by side" : "inline");
        if (view.showsSideBySide() != sideBySide) {
            view.toggleSideBySide();
        }
        harness.model->setSelectedFileIDs({});
        auto* delegate = qobject_cast<RowDelegate*>(view.listView().itemDelegate());
        for (int row : {0, 1}) {
            const QStyleOptionViewItem option = optionFor(view, row);
            const QPoint box = delegate->regionRect(option, view.listModel().index(row), RowDelegate::Region::checkbox).center();
            QTest::mouseClick(view.listView().viewport(), Qt::LeftButton, {}, box + QPoint(-2, 0));
        }
        EXPECT_EQ(harness.model->selectedFileIDs(), (ItemIdSet {view.listModel().fileAt(0)->id}));
    }
}

TEST_F(FileListViewTest, RowMenuRenamesOneItemCopiesAndReveals)
{
    ListViewHarness harness({renamed("R&D/plan:a.txt", "R&D/plan_a.txt"), renamed("b.txt", "b_.txt"), stuck("c.txt")});
    FileListView& view = harness.makeView();
    harness.model->setSelectedFileIDs({view.listModel().fileAt(1)->id});
    QSignalSpy renames(&view, &FileListView::renameRequested);

    QMenu* menu = view.makeRowMenu(rowOf(view, "R&D/plan:a.txt"));
    ASSERT_NE(menu, nullptr);
    auto* rename = menu->findChild<QAction*>(QStringLiteral("renameAction"));
    ASSERT_NE(rename, nullptr);
    ASSERT_TRUE(rename->isEnabled());
    // "&" is doubled in the title, so it shows as itself.
    EXPECT_EQ(rename->text(), QStringLiteral("Rename to R&&D/plan_a.txt"));
    EXPECT_EQ(rename->iconText(), QStringLiteral("Rename to R&D/plan_a.txt"));
    rename->trigger();
    ASSERT_EQ(renames.count(), 1);
    const auto results = renames.at(0).at(0).value<std::vector<FileTransformationResult>>();
    ASSERT_EQ(results.size(), 1U);
    EXPECT_EQ(results[0].originalFile.path, harness.tree / "R&D/plan:a.txt");
    EXPECT_EQ(results[0].originalRelativePath, "R&D/plan:a.txt");
    EXPECT_EQ(results[0].finalRelativePath, "R&D/plan_a.txt");
    EXPECT_TRUE(results[0].needsRename);
    EXPECT_TRUE(results[0].transformations.empty());
    // The selection is neither read nor changed.
    EXPECT_EQ(harness.model->selectedFileIDs(), (ItemIdSet {view.listModel().fileAt(1)->id}));

    menu->findChild<QAction*>(QStringLiteral("copyPathAction"))->trigger();
    menu->findChild<QAction*>(QStringLiteral("revealAction"))->trigger();
    EXPECT_EQ(harness.workspace.copied, (std::vector<QString> {QStringLiteral("R&D/plan:a.txt")}));
    EXPECT_EQ(harness.workspace.revealed, (std::vector<std::string> {harness.tree / "R&D/plan:a.txt"}));
    delete menu;

    // No rename for an item that needs none; none while a rename runs.
    QMenu* plain = view.makeRowMenu(rowOf(view, "c.txt"));
    EXPECT_EQ(plain->findChild<QAction*>(QStringLiteral("renameAction")), nullptr);
    std::vector<QString> titles;
    for (QAction* action : plain->actions()) {
        titles.push_back(action->text());
    }
    EXPECT_EQ(titles, (std::vector<QString> {QStringLiteral("Reveal in File Manager"), QStringLiteral("Copy Path")}));
    delete plain;
    QMenu* busy = view.makeRowMenu(rowOf(view, "b.txt"));
    harness.model->setIsRenaming(true);
    EXPECT_FALSE(busy->findChild<QAction*>(QStringLiteral("renameAction"))->isEnabled());
    view.renameSingleFile(*view.listModel().fileAt(rowOf(view, "b.txt")));
    EXPECT_EQ(renames.count(), 1);
    delete busy;
}

TEST_F(FileListViewTest, HostileNamesShowLiterallyInTooltipsAndEditor)
{
    ListViewHarness harness({renamed("<b>x</b>", "_b_x_b_", {Issue::CharacterTransformed {{"<", ">", "/"}, "<b>x</b>", "_b_x_b_"}}),
        renamed("R&D.txt", "R_D.txt")});
    FileListView& view = harness.makeView();
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    for (bool sideBySide : {false, true}) {
        SCOPED_TRACE(sideBySide ? "side by side" : "inline");
        if (view.showsSideBySide() != sideBySide) {
            view.toggleSideBySide();
        }
        auto* delegate = qobject_cast<RowDelegate*>(view.listView().itemDelegate());
        const int row = rowOf(view, "<b>x</b>");
        const QStyleOptionViewItem option = optionFor(view, row);
        const QPoint path = delegate->regionRect(option, view.listModel().index(row), RowDelegate::Region::originalPath).center();
        const QString plain = delegate->toolTipText(option, view.listModel().index(row), path);
        EXPECT_TRUE(plain.startsWith(QString::fromStdString(harness.tree / "<b>x</b>") + QStringLiteral("\n\n"))) << plain.toStdString();
        EXPECT_TRUE(plain.contains(QStringLiteral("U+003C LESS-THAN SIGN"))) << plain.toStdString();

        // The tooltip that shows is rich text whose rendering is the plain text.
        QHelpEvent help(QEvent::ToolTip, path, view.listView().viewport()->mapToGlobal(path));
        QApplication::sendEvent(view.listView().viewport(), &help);
        ASSERT_TRUE(QToolTip::isVisible());
        QTextDocument shown;
        shown.setHtml(QToolTip::text());
        EXPECT_TRUE(shown.toPlainText().startsWith(QString::fromStdString(harness.tree / "<b>x</b>"))) << QToolTip::text().toStdString();
        EXPECT_TRUE(shown.toPlainText().contains(QStringLiteral("U+003C LESS-THAN SIGN")));
        QToolTip::hideText();

        // A double-click opens the path read-only, as text.
        QTest::mouseClick(view.listView().viewport(), Qt::LeftButton, {}, path);
        QTest::mouseDClick(view.listView().viewport(), Qt::LeftButton, {}, path);
        auto* editor = view.listView().viewport()->findChild<QLineEdit*>(QStringLiteral("rowTextLineEdit"));
        ASSERT_NE(editor, nullptr);
        EXPECT_TRUE(editor->isReadOnly());
        EXPECT_EQ(editor->text(), QStringLiteral("<b>x</b>"));
        view.listView().closePersistentEditor(view.listModel().index(row));
        QTest::keyClick(editor, Qt::Key_Escape);
        QTest::qWait(1);
    }
    const int ampersand = rowOf(view, "R&D.txt");
    EXPECT_EQ(view.listModel().index(ampersand).data(IssueListModel::PathToolTipRole).toString(),
        QString::fromStdString(harness.tree / "R&D.txt") + QStringLiteral("\n\nU+0026 AMPERSAND → U+005F LOW LINE"));
    QTextDocument tip;
    tip.setHtml(view.listModel().index(ampersand).data(Qt::ToolTipRole).toString());
    EXPECT_TRUE(tip.toPlainText().startsWith(QString::fromStdString(harness.tree / "R&D.txt")));
}

// A name that is not UTF-8 shows, copies and opens with \xhh for each
// invalid byte, and its path difference marks that byte as a change.
TEST_F(FileListViewTest, PathsThatAreNotUtf8AreShownAndCopiedAsTheirBytes)
{
    ListViewHarness harness({renamed("twin/caf\xe9.txt", "twin/caf\u00E9_1.txt"), renamed("legacy/caf\xe9.txt", "legacy/caf\u00E9.txt")});
    FileListView& view = harness.makeView();
    const int twin = rowOf(view, "twin/caf\xe9.txt");
    const int legacy = rowOf(view, "legacy/caf\xe9.txt");
    const QModelIndex twinIndex = view.listModel().index(twin);
    EXPECT_EQ(twinIndex.data().toString(), QStringLiteral("twin/caf\\xe9.txt"));
    EXPECT_EQ(twinIndex.data(IssueListModel::AbsolutePathRole).toString(), QString::fromStdString(harness.tree.path()) + QStringLiteral("/twin/caf\\xe9.txt"));
    EXPECT_EQ(twinIndex.data(IssueListModel::PathToolTipRole).toString(),
        QString::fromStdString(harness.tree.path())
            + QStringLiteral("/twin/caf\\xe9.txt\n\n\\xe9 (not UTF-8) → U+00E9 LATIN SMALL LETTER E WITH ACUTE\n— → U+005F LOW LINE\n— → U+0031 DIGIT ONE"));
    // The re-encoding is a change, marked on both sides.
    const std::shared_ptr<const RowDiff> diff = view.listModel().diffAt(legacy);
    EXPECT_EQ(diff->originalRanges, (std::vector<ByteRange> {{10, 14}}));
    EXPECT_EQ(diff->proposedRanges, (std::vector<ByteRange> {{10, 12}}));
    EXPECT_EQ(diff->changeDescription, "\\xe9 (not UTF-8) \u2192 U+00E9 LATIN SMALL LETTER E WITH ACUTE");

    std::unique_ptr<QMenu> menu(view.makeRowMenu(legacy));
    menu->findChild<QAction*>(QStringLiteral("copyPathAction"))->trigger();
    menu->findChild<QAction*>(QStringLiteral("revealAction"))->trigger();
    EXPECT_EQ(harness.workspace.copied, (std::vector<QString> {QStringLiteral("legacy/caf\\xe9.txt")}));
    // The file manager gets the bytes.
    EXPECT_EQ(harness.workspace.revealed, (std::vector<std::string> {harness.tree / "legacy/caf\xe9.txt"}));

    // A double-click opens the path as shown.
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    auto* delegate = qobject_cast<RowDelegate*>(view.listView().itemDelegate());
    const QPoint path = delegate->regionRect(optionFor(view, twin), twinIndex, RowDelegate::Region::originalPath).center();
    QTest::mouseClick(view.listView().viewport(), Qt::LeftButton, {}, path);
    QTest::mouseDClick(view.listView().viewport(), Qt::LeftButton, {}, path);
    auto* editor = view.listView().viewport()->findChild<QLineEdit*>(QStringLiteral("rowTextLineEdit"));
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), QStringLiteral("twin/caf\\xe9.txt"));
    view.listView().closePersistentEditor(twinIndex);
}

TEST_F(FileListViewTest, ControlsSearchClearDisplayModeAndEmptyStates)
{
    ListViewHarness harness({renamed("alpha.txt", "alpha_.txt"), renamed("beta.txt", "beta_.txt")}, 5);
    FileListView& view = harness.makeView();
    auto* search = view.findChild<QLineEdit*>(QStringLiteral("searchLineEdit"));
    auto* clear = view.findChild<QAction*>(QStringLiteral("clearSearchAction"));
    auto* mode = view.findChild<QToolButton*>(QStringLiteral("displayModeButton"));
    EXPECT_EQ(search->placeholderText(), QStringLiteral("Filter by name..."));
    auto* clearButton = view.findChild<QToolButton*>(QStringLiteral("clearSearchButton"));
    ASSERT_NE(clearButton, nullptr);
    EXPECT_FALSE(clear->isVisible());
    EXPECT_FALSE(clearButton->isVisibleTo(&view));
    EXPECT_FALSE(view.showsSideBySide());
    EXPECT_EQ(mode->toolTip(), QStringLiteral("Switch to side-by-side view"));

    harness.model->setSelectedFileIDs({view.listModel().fileAt(0)->id});
    ASSERT_TRUE(harness.waitForFilterPass([&] { QTest::keyClicks(search, QStringLiteral("zzz")); }));
    EXPECT_EQ(harness.model->searchText(), "zzz");
    EXPECT_TRUE(clear->isVisible());
    EXPECT_TRUE(clearButton->isVisibleTo(&view));
    EXPECT_EQ(emptyTitle(view), QStringLiteral("No Matching Results"));
    EXPECT_EQ(view.findChild<QLabel*>(QStringLiteral("emptyTextLabel"))->text(), QStringLiteral("Try adjusting your search or filters."));

    QTest::mouseClick(mode, Qt::LeftButton);
    EXPECT_TRUE(view.showsSideBySide());
    EXPECT_EQ(mode->toolTip(), QStringLiteral("Switch to inline view"));
    ASSERT_TRUE(harness.waitForFilterPass([&] { clear->trigger(); }));
    EXPECT_EQ(search->text(), QString());
    EXPECT_FALSE(clear->isVisible());
    EXPECT_FALSE(clearButton->isVisibleTo(&view));
    EXPECT_EQ(view.listModel().rowCount(), 2);
    EXPECT_EQ(emptyTitle(view), QString());
    EXPECT_EQ(view.listView().sizeHintForRow(0), SideBySideRowDelegate::kHeight);
    QTest::mouseClick(mode, Qt::LeftButton);
    EXPECT_FALSE(view.showsSideBySide());
    EXPECT_GT(view.listView().sizeHintForRow(0), SideBySideRowDelegate::kHeight);
    // Switching keeps the selection; a new view starts inline.
    EXPECT_EQ(harness.model->selectedFileIDs().size(), 1U);
    FileListView again(*harness.model, harness.workspace);
    EXPECT_FALSE(again.showsSideBySide());
}

TEST_F(FileListViewTest, NothingWithIssuesShowsTheIndexedCount)
{
    ListViewHarness harness({}, 7);
    FileListView& view = harness.makeView();
    EXPECT_EQ(emptyTitle(view), QStringLiteral("No Issues Found"));
    EXPECT_EQ(view.findChild<QLabel*>(QStringLiteral("emptyTextLabel"))->text(), QStringLiteral("7 files indexed, all compatible."));
    EXPECT_TRUE(badges(view).empty());
}

}  // namespace
}  // namespace tess
