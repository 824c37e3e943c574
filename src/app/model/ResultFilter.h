#pragma once

#include "index/IndexedFile.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace tess {

// The item-type picker of the issue list; the raw values are its labels.
enum class ItemTypeFilter {
    all,  // "All"
    filesOnly,  // "Files"
    directoriesOnly,  // "Folders"
};

std::string_view rawValue(ItemTypeFilter filter);
// Exact match of a raw value; nothing otherwise.
std::optional<ItemTypeFilter> itemTypeFilterFromRawValue(std::string_view raw);
// The three cases in picker order.
const std::array<ItemTypeFilter, 3>& allItemTypeFilters();

// The tri-state of the issue list's select-all box.
enum class CheckboxState {
    unchecked,
    checked,
    mixed,
};

using IssueTypeSet = std::set<std::string>;
using ItemIdSet = std::unordered_set<std::int64_t>;

// The lookup structures of one issue list, built once per list so that a
// filter pass never parses or lower-cases a row again. Positions are indexes
// into the list the structures were built from.
struct LookupIndexes {
    // Issue-type index: the keys in the order they were found, and per list
    // position a bit mask over them (wordsPerItem words) and whether the item
    // has an entry at all (an item without issue text has none). Items that
    // share an id all carry the entry of the last of them.
    std::vector<std::string> keys;
    std::size_t wordsPerItem = 1;
    std::vector<std::uint64_t> masks;
    std::vector<std::uint8_t> hasEntry;
    // Item id to the position of the last item with that id.
    std::unordered_map<std::int64_t, std::size_t> positionOfId;
    // Every key present, ascending by plain text comparison.
    std::vector<std::string> availableIssueTypes;
    // Key to the number of items that have it.
    std::map<std::string, std::int64_t> issueTypeCounts;
    // Lower-cased NFC forms of each item's relative path, issue text and
    // proposed name, back to back; field f of position p is
    // [searchOffsets[3p+f], searchOffsets[3p+f+1]).
    std::string searchText;
    std::vector<std::size_t> searchOffsets;
    // The items that need a rename, as (id, position), ascending: a filter
    // pass lists its selectable ids in this order instead of sorting them.
    std::vector<std::pair<std::int64_t, std::uint32_t>> renameableById;

    // The issue-type keys of an item id; nothing when it has no entry.
    std::optional<IssueTypeSet> issueTypesOf(std::int64_t id) const;
};

// What the filter pass is asked: a search text (empty: no text filter), the
// issue types (none: all types; an empty set lets nothing through) and the
// item type.
struct FilterCriteria {
    std::string searchText;
    std::optional<IssueTypeSet> issueTypes;
    ItemTypeFilter itemType = ItemTypeFilter::all;

    friend bool operator==(const FilterCriteria&, const FilterCriteria&) = default;
};

// The items that passed, as list positions in list order, and the ids of
// those among them that need a rename (ascending, each once).
struct FilterResult {
    std::vector<std::uint32_t> positions;
    std::vector<std::int64_t> selectableIds;
};

// Builds the lookup structures of `files`. Touches no shared state; any thread.
LookupIndexes buildLookupIndexes(const std::vector<IndexedFile>& files);

// The search form of a text: full Unicode lower-casing, then NFC, so that
// canonically equivalent texts contain each other.
std::string searchForm(std::string_view text);

// The filter pass over `files`, whose lookup structures are `indexes`. Pure;
// any thread.
FilterResult applyFilters(const std::vector<IndexedFile>& files, const LookupIndexes& indexes, const FilterCriteria& criteria);

// The select-all box: unchecked when nothing selectable is selected (or
// nothing is selectable), checked when all are, else mixed.
CheckboxState selectAllState(const ItemIdSet& selected, const std::vector<std::int64_t>& selectableSortedIds);

}  // namespace tess
