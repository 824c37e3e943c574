#include "model/ResultFilter.h"

#include "text/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace tess {
namespace {

IndexedFile row(std::int64_t id, std::string path, std::optional<std::string> issues, bool folder = false,
    std::optional<std::string> proposed = std::nullopt)
{
    IndexedFile file;
    file.id = id;
    file.relativePath = std::move(path);
    file.issueTypes = std::move(issues);
    file.isDirectory = folder;
    file.needsRename = proposed.has_value();
    file.proposedRename = std::move(proposed);
    return file;
}

std::vector<std::int64_t> idsOf(const std::vector<IndexedFile>& files, const FilterResult& result)
{
    std::vector<std::int64_t> ids;
    for (const std::uint32_t position : result.positions) {
        ids.push_back(files[position].id);
    }
    return ids;
}

TEST(ResultFilterTest, ItemTypeFilterRawValues)
{
    EXPECT_EQ(rawValue(ItemTypeFilter::all), "All");
    EXPECT_EQ(rawValue(ItemTypeFilter::filesOnly), "Files");
    EXPECT_EQ(rawValue(ItemTypeFilter::directoriesOnly), "Folders");
    EXPECT_EQ(itemTypeFilterFromRawValue("Folders"), ItemTypeFilter::directoriesOnly);
    EXPECT_EQ(itemTypeFilterFromRawValue("folders"), std::nullopt);
    EXPECT_EQ(allItemTypeFilters().front(), ItemTypeFilter::all);
}

TEST(ResultFilterTest, LookupIndexesReadKeysCountsAndAbsentTexts)
{
    struct Case {
        std::optional<std::string> issues;
        std::optional<IssueTypeSet> keys;
    };
    const std::vector<Case> cases = {
        {"filenameTooLong(300/255),characterTransformed(:)", IssueTypeSet {"filenameTooLong", "characterTransformed"}},
        {"a,,b", IssueTypeSet {"a", "b"}},
        {",,", IssueTypeSet {}},
        {")x(", IssueTypeSet {")x("}},
        {"a(b", IssueTypeSet {"a(b"}},
        {"dup(1),dup(2)", IssueTypeSet {"dup"}},
        {std::nullopt, std::nullopt},
    };
    std::vector<IndexedFile> files;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        files.push_back(row(static_cast<std::int64_t>(i + 1), "p" + std::to_string(i), cases[i].issues));
    }
    const LookupIndexes indexes = buildLookupIndexes(files);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].issues.value_or("(absent)"));
        EXPECT_EQ(indexes.issueTypesOf(static_cast<std::int64_t>(i + 1)), cases[i].keys);
    }
    EXPECT_EQ(indexes.availableIssueTypes,
        (std::vector<std::string> {")x(", "a", "a(b", "b", "characterTransformed", "dup", "filenameTooLong"}));
    EXPECT_EQ(indexes.issueTypeCounts.at("dup"), 1);
    EXPECT_EQ(indexes.issueTypeCounts.at("a"), 1);
    EXPECT_EQ(indexes.positionOfId.count(7), 1U);  // absent text: in the by-id map, in no count
}

// Counts and available keys follow every listed item; the index entry of an
// id is its last item's.
TEST(ResultFilterTest, LaterItemWithTheSameIdReplacesTheEarlier)
{
    const std::vector<IndexedFile> files = {row(1, "old", "pathTooLong"), row(1, "new", "filenameTooLong")};
    const LookupIndexes indexes = buildLookupIndexes(files);
    EXPECT_EQ(indexes.positionOfId.at(1), 1U);
    EXPECT_EQ(indexes.issueTypesOf(1), (IssueTypeSet {"filenameTooLong"}));
    EXPECT_EQ(indexes.issueTypeCounts.at("pathTooLong"), 1);
    EXPECT_EQ(indexes.issueTypeCounts.at("filenameTooLong"), 1);
    const FilterResult result = applyFilters(files, indexes, FilterCriteria {"", IssueTypeSet {"filenameTooLong"}, ItemTypeFilter::all});
    EXPECT_EQ(result.positions, (std::vector<std::uint32_t> {0, 1}));
}

TEST(ResultFilterTest, FiltersCombineTypeIssueAndText)
{
    const std::string nfcCafe = "Caf\xC3\xA9";  // é precomposed
    const std::vector<IndexedFile> files = {
        row(1, "Docs/Report.txt", "pathTooLong(300/255)", false, "Docs/Report.txt"),
        row(2, "Docs", "characterTransformed(:)", true, "Docs_"),
        row(3, "Music/" + nfcCafe + ".mp3", "filenameTooLong(200/143)"),
        row(4, "plain.txt", std::nullopt),
        row(5, "x.txt", "characterTransformed(?)", false, "renamed-LATER.txt"),
    };
    const LookupIndexes indexes = buildLookupIndexes(files);
    struct Case {
        const char* name;
        FilterCriteria criteria;
        std::vector<std::int64_t> ids;
    };
    const std::vector<Case> cases = {
        {"no filter", {"", std::nullopt, ItemTypeFilter::all}, {1, 2, 3, 4, 5}},
        {"empty type set", {"", IssueTypeSet {}, ItemTypeFilter::all}, {}},
        {"pathTooLong", {"", IssueTypeSet {"pathTooLong"}, ItemTypeFilter::all}, {1}},
        {"type not in list", {"", IssueTypeSet {"unknown"}, ItemTypeFilter::all}, {}},
        {"files only", {"", std::nullopt, ItemTypeFilter::filesOnly}, {1, 3, 4, 5}},
        {"folders only", {"", std::nullopt, ItemTypeFilter::directoriesOnly}, {2}},
        {"TOOLONG in issue text", {"TOOLONG", std::nullopt, ItemTypeFilter::all}, {1, 3}},
        {"hit in proposed name", {"later", std::nullopt, ItemTypeFilter::all}, {5}},
        {"detail text", {"300/255", std::nullopt, ItemTypeFilter::all}, {1}},
        {"NFD search text", {"cafe\xCC\x81", std::nullopt, ItemTypeFilter::all}, {3}},
        {"spaces filter", {" ", std::nullopt, ItemTypeFilter::all}, {}},
        {"all three", {"docs", IssueTypeSet {"characterTransformed", "pathTooLong"}, ItemTypeFilter::filesOnly}, {1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(idsOf(files, applyFilters(files, indexes, c.criteria)), c.ids);
    }
    // Only rows that need a rename are selectable, ascending.
    EXPECT_EQ(applyFilters(files, indexes, FilterCriteria {}).selectableIds, (std::vector<std::int64_t> {1, 2, 5}));
}

TEST(ResultFilterTest, ManyRowsFilteredInChunksKeepListOrder)
{
    std::vector<IndexedFile> files;
    for (std::int64_t i = 0; i < 200000; ++i) {
        files.push_back(row(i, "dir/item " + std::to_string(i) + (i % 1000 == 7 ? " MATCH" : ""), "pathTooLong", false,
            std::string("p")));
    }
    const LookupIndexes indexes = buildLookupIndexes(files);
    const FilterResult result = applyFilters(files, indexes, FilterCriteria {"match", std::nullopt, ItemTypeFilter::all});
    ASSERT_EQ(result.positions.size(), 200U);
    for (std::size_t i = 0; i < result.positions.size(); ++i) {
        EXPECT_EQ(result.positions[i], i * 1000 + 7);
    }
    EXPECT_EQ(result.selectableIds.size(), 200U);
}

// The selectable ids come from the lookup's id order, not from the list's
// (the index lists rows by path): ascending and each once, whatever the
// order and repeats of the ids, and only of kept rows that need a rename.
TEST(ResultFilterTest, SelectableIdsAreAscendingOnceWhateverTheListOrder)
{
    std::vector<IndexedFile> files;
    for (std::int64_t i = 0; i < 300; ++i) {
        const std::int64_t id = (i * 7919) % 300 + 1;  // every id once, out of order
        files.push_back(row(id, "item " + std::to_string(i) + (i % 3 == 0 ? " red" : ""), i % 2 == 0 ? "pathTooLong" : "collision",
            false, i % 5 == 0 ? std::nullopt : std::optional<std::string>("p")));
    }
    files.push_back(row(4, "again red", "collision", false, std::string("p")));  // an id listed twice
    const LookupIndexes indexes = buildLookupIndexes(files);
    const FilterCriteria criteriaList[] = {{}, {"red", std::nullopt, ItemTypeFilter::all}, {"", IssueTypeSet {"collision"}, ItemTypeFilter::all}};
    for (const FilterCriteria& criteria : criteriaList) {
        SCOPED_TRACE(criteria.searchText + (criteria.issueTypes ? " with an issue type" : ""));
        const FilterResult result = applyFilters(files, indexes, criteria);
        std::vector<std::int64_t> expected;
        for (const std::uint32_t position : result.positions) {
            if (files[position].needsRename) {
                expected.push_back(files[position].id);
            }
        }
        std::sort(expected.begin(), expected.end());
        expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(result.selectableIds, expected);
    }
    // Lookup structures of another list: the ids are still sorted.
    const FilterResult unmatched = applyFilters(files, LookupIndexes {}, FilterCriteria {});
    EXPECT_TRUE(std::is_sorted(unmatched.selectableIds.begin(), unmatched.selectableIds.end()));
    EXPECT_EQ(unmatched.selectableIds.size(), applyFilters(files, indexes, FilterCriteria {}).selectableIds.size());
}

TEST(ResultFilterTest, SelectAllStateCountsOnlySelectableIds)
{
    struct Case {
        const char* name;
        ItemIdSet selected;
        std::vector<std::int64_t> selectable;
        CheckboxState state;
    };
    const std::vector<Case> cases = {
        {"nothing selectable", {1}, {}, CheckboxState::unchecked},
        {"none selected", {}, {1, 2, 3}, CheckboxState::unchecked},
        {"two of three", {1, 2}, {1, 2, 3}, CheckboxState::mixed},
        {"all three", {1, 2, 3}, {1, 2, 3}, CheckboxState::checked},
        {"all plus one hidden by the filter", {1, 2, 3, 99}, {1, 2, 3}, CheckboxState::checked},
        {"only a hidden one", {99}, {1, 2, 3}, CheckboxState::unchecked},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(selectAllState(c.selected, c.selectable), c.state);
    }
}

}  // namespace
}  // namespace tess
