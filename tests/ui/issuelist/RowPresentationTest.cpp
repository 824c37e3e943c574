#include "ui/issuelist/RowPresentation.h"
#include "ui/issuelist/IssueFilterSelection.h"
#include "ui/issuelist/PathDiff.h"
#include "ui/widgets/ActionTitle.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace tess {
namespace {

using namespace std::string_literals;

IndexedFile item(std::string relativePath, std::optional<std::string> proposed, bool needsRename)
{
    IndexedFile file;
    file.id = 7;
    file.path = "/src/" + relativePath;
    file.relativePath = std::move(relativePath);
    file.proposedRename = std::move(proposed);
    file.needsRename = needsRename;
    file.hasIssues = true;
    file.issueTypes = "characterTransformed";
    return file;
}

TEST(RowPresentation, MenuOffersRenameOnlyForRenameableItemsOfAHostThatOffersIt)
{
    const IndexedFile renameable = item("R&D/a:b", "R&D/a_b"s, true);
    const IndexedFile proposalOnly = item("a:b", "a_b"s, false);
    const IndexedFile noProposal = item("x", std::nullopt, true);
    using E = RowMenuEntry;
    const E reveal {RowAction::reveal, "Reveal in File Manager", "magnifyingglass", false, true};
    const E copy {RowAction::copyPath, "Copy Path", "doc.on.clipboard", false, true};
    struct Case {
        const char* name;
        RowStyle style;
        const IndexedFile& file;
        bool offered, allowed;
        std::vector<E> entries;
    };
    const Case cases[] = {
        {"inline", RowStyle::inlineRow, renameable, true, true, {{RowAction::rename, "Rename to R&D/a_b", "pencil", true, true}, reveal, copy}},
        {"side by side", RowStyle::sideBySide, renameable, true, true, {{RowAction::rename, "Rename", "pencil", true, true}, reveal, copy}},
        {"while busy", RowStyle::sideBySide, renameable, true, false, {{RowAction::rename, "Rename", "pencil", true, false}, reveal, copy}},
        {"host offers none", RowStyle::inlineRow, renameable, false, true, {reveal, copy}},
        {"needs no rename", RowStyle::inlineRow, proposalOnly, true, true, {reveal, copy}},
        {"no proposal", RowStyle::sideBySide, noProposal, true, true, {reveal, copy}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(rowMenuEntries(c.style, c.file, c.offered, c.allowed), c.entries);
    }
    // As an action title, "&" stays literal.
    EXPECT_EQ(actionTitle(rowMenuEntries(RowStyle::inlineRow, renameable, true, true)[0].title), QStringLiteral("Rename to R&&D/a_b"));
}

TEST(RowPresentation, ToolTipIsThePathThenTheChanges)
{
    const IndexedFile file = item("dir/a:b", "dir/a_b"s, true);
    const PathDiff diff = PathDiff::compute(file.relativePath, *file.proposedRename);
    EXPECT_EQ(rowPathToolTip(file, diff.changeDescription()), "/src/dir/a:b\n\nU+003A COLON \u2192 U+005F LOW LINE");
    EXPECT_EQ(rowPathToolTip(file, ""), "/src/dir/a:b");
    EXPECT_EQ(rowPathToolTip(item("<b>x</b>\xFF", std::nullopt, false), ""), "/src/<b>x</b>\\xff");
}

TEST(RowPresentation, SingleRenameHandsExactlyTheItem)
{
    IndexedFile file = item("dir/a:b", "dir/a_b"s, true);
    file.isDirectory = true;
    file.shortenedComponents = {{"short", "a very long name"}};
    const std::optional<FileTransformationResult> result = singleRenameResult(file);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->originalFile, (FileItem {"/src/dir/a:b", true}));
    EXPECT_EQ(result->originalRelativePath, "dir/a:b");
    EXPECT_EQ(result->finalRelativePath, "dir/a_b");
    EXPECT_TRUE(result->transformations.empty());
    EXPECT_TRUE(result->needsRename);
    EXPECT_EQ(result->shortenedComponents, file.shortenedComponents);
    EXPECT_FALSE(singleRenameResult(item("a:b", "a_b"s, false)));
    EXPECT_FALSE(singleRenameResult(item("a:b", std::nullopt, true)));
}

TEST(RowPresentation, EmptyStatesAndDisplayModeHelp)
{
    EXPECT_EQ(emptyListState(0, 1234), (EmptyListState {"checkmark.circle", ColorName::brandGreen, "No Issues Found", "1234 files indexed, all compatible."}));
    EXPECT_EQ(emptyListState(3, 1234), (EmptyListState {"magnifyingglass", std::nullopt, "No Matching Results", "Try adjusting your search or filters."}));
    EXPECT_EQ(displayModeHelp(false), "Switch to side-by-side view");
    EXPECT_EQ(displayModeHelp(true), "Switch to inline view");
}

TEST(IssueFilterSelection, BadgeTapSequences)
{
    using Set = IssueFilterSet;
    using Stores = std::vector<std::optional<Set>>;
    const std::vector<std::string> available {"collision", "pathTooLong", "reservedName"};
    struct Tap {
        std::string key;
        Stores stores;
    };
    struct Case {
        const char* name;
        std::optional<Set> start;
        std::vector<Tap> taps;
    };
    const Case cases[] = {
        {"hide one, show all again", std::nullopt,
            {{"collision", {Set {"pathTooLong", "reservedName"}}}, {"collision", {Set {"collision", "pathTooLong", "reservedName"}, std::nullopt}}}},
        {"an emptied set stays empty", std::nullopt,
            {{"collision", {Set {"pathTooLong", "reservedName"}}}, {"pathTooLong", {Set {"reservedName"}}}, {"reservedName", {Set {}}},
                {"pathTooLong", {Set {"pathTooLong"}}}}},
        {"a key no longer available", std::nullopt, {{"fooBar", {Set {"collision", "pathTooLong", "reservedName"}}}}},
        {"adding a stale key never completes the set", Set {"collision", "pathTooLong"},
            {{"fooBar", {Set {"collision", "fooBar", "pathTooLong"}}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<Set> selected = c.start;
        for (const Tap& tap : c.taps) {
            SCOPED_TRACE(tap.key);
            const Stores stores = issueFilterTapStores(selected, tap.key, available);
            EXPECT_EQ(stores, tap.stores);
            selected = stores.back();
        }
    }
}

TEST(IssueFilterSelection, BadgesAreActiveWhenAllOrTheirTypeIsShown)
{
    EXPECT_TRUE(isIssueFilterActive(std::nullopt, "collision"));
    EXPECT_TRUE(isIssueFilterActive(IssueFilterSet {"collision"}, "collision"));
    EXPECT_FALSE(isIssueFilterActive(IssueFilterSet {"pathTooLong"}, "collision"));
    EXPECT_FALSE(isIssueFilterActive(IssueFilterSet {}, "collision"));
}

}  // namespace
}  // namespace tess
