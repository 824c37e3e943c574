#include "ui/issuelist/IssueTypePresentation.h"
#include "analysis/FileTransformationIssue.h"
#include "ui/widgets/ColorResource.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <optional>
#include <set>
#include <string>

namespace tess {
namespace {

using namespace std::string_literals;

struct TypeCase {
    std::string key;
    std::string label;
    std::optional<ColorName> color;
    std::string symbol;
};

const TypeCase kTypes[] = {
    {"characterTransformed", "Char Transform", ColorName::brandMagenta, "text.badge.xmark"},
    {"collision", "Collision", ColorName::brandIndigo, "doc.on.doc"},
    {"encodingTransformed", "Encoding", ColorName::brandGreen, "character.textbox"},
    {"filenameTooLong", "Long Name", ColorName::brandMint, "text.line.first.and.arrowtriangle.forward"},
    {"filenameUnresolvable", "No Fix", ColorName::brandRed, "exclamationmark.triangle.fill"},
    {"folderNameTooLong", "Long Folder", ColorName::cool, "folder.badge.questionmark"},
    {"pathShortened", "Path Shortened", ColorName::brandBrown, "scissors"},
    {"pathTooDeep", "Deep Path", ColorName::brandViolet, "folder.badge.minus"},
    {"pathTooLong", "Long Path", ColorName::warm, "exclamationmark.triangle"},
    {"repeatedSeparators", "Repeated Seps", ColorName::brandAmber, "arrow.right.arrow.left"},
    {"reservedName", "Reserved Name", ColorName::brandRed, "exclamationmark.shield"},
    {"trimmedCharacters", "Trim", ColorName::brandBlue, "space"},
    // Not keys: compared exactly, so other spellings fall back too.
    {"fooBar", "fooBar", std::nullopt, "exclamationmark.triangle"},
    {"Collision", "Collision", std::nullopt, "exclamationmark.triangle"},
    {"collision ", "collision ", std::nullopt, "exclamationmark.triangle"},
    {"", "", std::nullopt, "exclamationmark.triangle"},
};

TEST(IssueTypePresentation, LabelsColoursAndSymbolsOfEveryKey)
{
    for (const TypeCase& c : kTypes) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(issueTypeShortLabel(c.key), c.label);
        EXPECT_EQ(issueTypeColor(c.key), c.color);
        EXPECT_EQ(issueTypeIcon(c.key), c.symbol);
    }
    // The table above covers every issue kind.
    std::set<std::string> covered;
    for (const TypeCase& c : kTypes) {
        covered.insert(c.key);
    }
    for (FileTransformationIssue::Kind kind : FileTransformationIssue::allKinds()) {
        EXPECT_TRUE(covered.contains(std::string(FileTransformationIssue::keyOf(kind)))) << FileTransformationIssue::keyOf(kind);
    }
}

TEST(IssueTypePresentation, EveryColourNamesItsOwnCatalogEntry)
{
    const std::pair<ColorName, std::string_view> names[] = {
        {ColorName::brandAmber, "brandAmber"},
        {ColorName::brandBlue, "brandBlue"},
        {ColorName::brandBrown, "brandBrown"},
        {ColorName::brandGreen, "brandGreen"},
        {ColorName::brandIndigo, "brandIndigo"},
        {ColorName::brandMagenta, "brandMagenta"},
        {ColorName::brandMint, "brandMint"},
        {ColorName::brandRed, "brandRed"},
        {ColorName::brandViolet, "brandViolet"},
        {ColorName::cool, "cool"},
        {ColorName::warm, "warm"},
        {ColorName::highlight, "highlight"},
    };
    ASSERT_EQ(std::size(names), kAllColorNames.size());
    for (auto [color, name] : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(colorCatalogName(color), name);
        EXPECT_EQ(colorNamed(name), color);
    }
    EXPECT_EQ(colorNamed("Highlight"), std::nullopt);
    EXPECT_EQ(colorNamed("brandamber"), std::nullopt);
}

struct EntryCase {
    std::string entry;
    std::string type;
    std::optional<std::string> detail;
};

TEST(IssueTypePresentation, SplitsOneEntryAtTheFirstOpeningAndLastClosingParenthesis)
{
    const EntryCase cases[] = {
        {"filenameTooLong(300/255)", "filenameTooLong", "300/255"},
        {"pathTooLong", "pathTooLong", std::nullopt},
        {"a)b(c", "a)b(c", std::nullopt},
        {"x(a(b)c)d", "x", "a(b)c"},
        {"x()", "x", ""s},
        {"x(", "x(", std::nullopt},
        {"x)", "x)", std::nullopt},
        {"(detail)", "", "detail"},
        {" collision ", " collision ", std::nullopt},
        // The reason of an unresolvable name is free text and may itself
        // hold parentheses.
        {"filenameUnresolvable(Cannot shorten (name is reserved))", "filenameUnresolvable", "Cannot shorten (name is reserved)"},
    };
    for (const EntryCase& c : cases) {
        SCOPED_TRACE(c.entry);
        const IssueEntry e = splitIssueEntry(c.entry);
        EXPECT_EQ(e.type, c.type);
        EXPECT_EQ(e.detail, c.detail);
    }
}

TEST(IssueTypePresentation, SplitsAnEntryListAtCommasDroppingEmptyPieces)
{
    using Entries = std::vector<IssueEntry>;
    EXPECT_EQ(splitIssueEntries("collision,,reservedName"s), (Entries {{"collision", {}}, {"reservedName", {}}}));
    EXPECT_EQ(splitIssueEntries(",,"s), Entries {});
    EXPECT_EQ(splitIssueEntries(""s), Entries {});
    EXPECT_EQ(splitIssueEntries(std::nullopt), Entries {});
    EXPECT_EQ(splitIssueEntries("pathTooDeep(12/8),collision,"s), (Entries {{"pathTooDeep", "12/8"}, {"collision", {}}}));
}

TEST(IssueTypePresentation, SummaryHasOneLinePerEntryInStoredOrder)
{
    struct Case {
        std::optional<std::string> issueTypes;
        std::string summary;
    };
    const Case cases[] = {
        {"filenameTooLong(300/255),collision"s, "Long Name: 300/255\nCollision"},
        {std::nullopt, ""},
        {""s, ""},
        {"collision,collision"s, "Collision\nCollision"},
        {"x(),fooBar(1/2)"s, "x: \nfooBar: 1/2"},
        {"filenameUnresolvable(<b>x</b> & a(b))"s, "No Fix: <b>x</b> & a(b)"},
        {"a)b(c"s, "a)b(c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.issueTypes.value_or("(absent)"));
        EXPECT_EQ(issueSummary(c.issueTypes), c.summary);
    }
}

TEST(IssueTypePresentation, ShowsSixDotsThenOneOverflowDot)
{
    const IssueDots six = issueDots("a,b(1),c,d,e,f"s);
    EXPECT_EQ(six.types, (std::vector<std::string> {"a", "b", "c", "d", "e", "f"}));
    EXPECT_FALSE(six.overflow);
    const IssueDots seven = issueDots("a,b,c,d,e,f,g"s);
    EXPECT_EQ(seven.types.size(), 6u);
    EXPECT_EQ(seven.types.back(), "f");
    EXPECT_TRUE(seven.overflow);
    const IssueDots many = issueDots("a,b,c,d,e,f,g,h,i"s);
    EXPECT_EQ(many, seven);
    EXPECT_EQ(issueDots(std::nullopt), IssueDots {});
    EXPECT_EQ(issueDots(",,"s), IssueDots {});
}

TEST(IssueTypePresentation, FirstIssueGivesTheSideBySideIcon)
{
    struct Case {
        std::optional<std::string> issueTypes;
        IssueSymbol symbol;
    };
    const Case cases[] = {
        {"filenameTooLong(300/255),collision"s, {"text.line.first.and.arrowtriangle.forward", ColorName::brandMint}},
        {",collision"s, {"doc.on.doc", ColorName::brandIndigo}},
        {"fooBar"s, {"exclamationmark.triangle", std::nullopt}},
        {std::nullopt, {"exclamationmark.triangle", ColorName::warm}},
        {",,"s, {"exclamationmark.triangle", ColorName::warm}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.issueTypes.value_or("(absent)"));
        EXPECT_EQ(firstIssueSymbol(c.issueTypes), c.symbol);
    }
}

TEST(IssueTypePresentation, BadgeCountUsesTheLocaleGrouping)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(issueCountText(1234, english), QStringLiteral("1,234"));
    EXPECT_EQ(issueCountText(0, english), QStringLiteral("0"));
    EXPECT_EQ(issueCountText(1234567, english), QStringLiteral("1,234,567"));
    QLocale noGrouping = english;
    noGrouping.setNumberOptions(QLocale::OmitGroupSeparator);
    EXPECT_EQ(issueCountText(1234, noGrouping), QStringLiteral("1,234"));
    EXPECT_EQ(issueCountText(1234, QLocale(QLocale::German, QLocale::Germany)), QStringLiteral("1.234"));
}

TEST(IssueTypePresentation, SideBySideColumnsNeverGetNarrowerThan150)
{
    struct Case {
        double listWidth;
        double column;
        double original;
    };
    for (const Case& c : {Case {300, 150, 150}, Case {1000, 500, 480}, Case {340, 170, 150}, Case {0, 0, 150}}) {
        SCOPED_TRACE(c.listWidth);
        EXPECT_EQ(sideBySideColumnWidth(c.listWidth), c.column);
        EXPECT_EQ(originalColumnWidth(sideBySideColumnWidth(c.listWidth)), c.original);
    }
}

TEST(IssueTypePresentation, RowBoxOrWarningSign)
{
    struct Case {
        bool needsRename, hasIssues, isSelected;
        RowCheckboxLook look;
    };
    const Case cases[] = {
        {true, true, false, {.showsWarning = false, .checked = false, .enabled = true, .opacity = 1.0}},
        {true, true, true, {.showsWarning = false, .checked = true, .enabled = true, .opacity = 1.0}},
        // No automatic fix: the warning sign.
        {false, true, false, {.showsWarning = true, .checked = false, .enabled = false, .opacity = 1.0}},
        {false, true, true, {.showsWarning = true, .checked = false, .enabled = false, .opacity = 1.0}},
        // No issues and no rename: disabled, faded, still showing the selection.
        {false, false, true, {.showsWarning = false, .checked = true, .enabled = false, .opacity = 0.35}},
        {false, false, false, {.showsWarning = false, .checked = false, .enabled = false, .opacity = 0.35}},
        {true, false, true, {.showsWarning = false, .checked = true, .enabled = true, .opacity = 1.0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.needsRename << c.hasIssues << c.isSelected);
        EXPECT_EQ(rowCheckboxLook(c.needsRename, c.hasIssues, c.isSelected), c.look);
    }
}

}  // namespace
}  // namespace tess
