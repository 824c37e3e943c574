#include "model/ResultFilter.h"

#include "core/Concurrency.h"
#include "index/IssueTypesText.h"
#include "text/Text.h"

#include <algorithm>
#include <cstring>
#include <string.h>

namespace tess {

namespace {

constexpr std::array<ItemTypeFilter, 3> kItemTypeFilters = {ItemTypeFilter::all, ItemTypeFilter::filesOnly,
    ItemTypeFilter::directoriesOnly};

void appendSearchForm(std::string& out, std::string_view text)
{
    if (text::isAscii(text)) {
        const std::size_t start = out.size();
        out.append(text);
        for (std::size_t i = start; i < out.size(); ++i) {
            const char c = out[i];
            if (c >= 'A' && c <= 'Z') {
                out[i] = static_cast<char>(c - 'A' + 'a');
            }
        }
        return;
    }
    out += text::nfc(text::toLower(text));
}

// The row of [row, last) whose fields hold byte `at` of the search buffer:
// the last row that starts at or before it. A short query hits nearly every
// row, mostly the one searched from: a few steps forward, then a binary
// search over the rest.
std::size_t rowHolding(const std::size_t* offsets, std::size_t row, std::size_t last, std::size_t at)
{
    constexpr int kSteps = 4;
    for (int step = 0; step < kSteps; ++step) {
        if (row + 1 >= last || offsets[(row + 1) * 3] > at) {
            return row;
        }
        ++row;
    }
    const std::size_t* rowStart = std::upper_bound(offsets + row * 3, offsets + last * 3 + 1, at) - 1;
    return static_cast<std::size_t>(rowStart - offsets) / 3;
}

// Marks in `matched` the rows [first, last) of which a field contains the
// query: one search through their part of the buffer, resumed after each hit
// at the next row.
void markTextMatches(const LookupIndexes& indexes, std::string_view query, std::size_t first, std::size_t last,
    std::vector<std::uint8_t>& matched)
{
    const char* base = indexes.searchText.data();
    const std::size_t* offsets = indexes.searchOffsets.data();
    std::size_t from = offsets[first * 3];
    const std::size_t end = offsets[last * 3];
    std::size_t row = first;
    while (from < end) {
        const void* hit = memmem(base + from, end - from, query.data(), query.size());
        if (hit == nullptr) {
            return;
        }
        const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(hit) - base);
        row = rowHolding(offsets, row, last, at);
        matched[row] = 1;
        ++row;
        from = offsets[row * 3];
    }
}

}  // namespace

std::string_view rawValue(ItemTypeFilter filter)
{
    switch (filter) {
    case ItemTypeFilter::all:
        return "All";
    case ItemTypeFilter::filesOnly:
        return "Files";
    case ItemTypeFilter::directoriesOnly:
        return "Folders";
    }
    return "All";
}

std::optional<ItemTypeFilter> itemTypeFilterFromRawValue(std::string_view raw)
{
    for (const ItemTypeFilter filter : kItemTypeFilters) {
        if (rawValue(filter) == raw) {
            return filter;
        }
    }
    return std::nullopt;
}

const std::array<ItemTypeFilter, 3>& allItemTypeFilters()
{
    return kItemTypeFilters;
}

std::optional<IssueTypeSet> LookupIndexes::issueTypesOf(std::int64_t id) const
{
    const auto found = positionOfId.find(id);
    if (found == positionOfId.end() || found->second >= hasEntry.size() || hasEntry[found->second] == 0) {
        return std::nullopt;
    }
    IssueTypeSet keySet;
    const std::uint64_t* mask = masks.data() + found->second * wordsPerItem;
    for (std::size_t k = 0; k < keys.size(); ++k) {
        if ((mask[k / 64] >> (k % 64)) & 1U) {
            keySet.insert(keys[k]);
        }
    }
    return keySet;
}

std::string searchForm(std::string_view text)
{
    std::string out;
    appendSearchForm(out, text);
    return out;
}

namespace {

using KeyIds = std::unordered_map<std::string_view, std::size_t>;

// The by-id map and the distinct keys, viewed in the files' own texts; true
// when an id is listed more than once.
bool collectIdsAndKeys(const std::vector<IndexedFile>& files, LookupIndexes& indexes, KeyIds& keyIds)
{
    bool duplicateIds = false;
    indexes.positionOfId.reserve(files.size());
    for (std::size_t position = 0; position < files.size(); ++position) {
        const IndexedFile& file = files[position];
        const auto [slot, inserted] = indexes.positionOfId.try_emplace(file.id, position);
        if (!inserted) {
            slot->second = position;
            duplicateIds = true;
        }
        if (!file.issueTypes) {
            continue;
        }
        IssueTypesText::forEachEntry(*file.issueTypes, [&](const IssueTypesText::ParsedEntry& entry) {
            if (keyIds.try_emplace(entry.key, indexes.keys.size()).second) {
                indexes.keys.emplace_back(entry.key);
            }
        });
    }
    return duplicateIds;
}

// One mask of keys per item.
void buildMasks(const std::vector<IndexedFile>& files, const KeyIds& keyIds, LookupIndexes& indexes)
{
    const std::size_t count = files.size();
    indexes.wordsPerItem = std::max<std::size_t>(1, (indexes.keys.size() + 63) / 64);
    indexes.masks.assign(count * indexes.wordsPerItem, 0);
    indexes.hasEntry.assign(count, 0);
    for (std::size_t position = 0; position < count; ++position) {
        const IndexedFile& file = files[position];
        if (!file.issueTypes) {
            continue;
        }
        indexes.hasEntry[position] = 1;
        std::uint64_t* mask = indexes.masks.data() + position * indexes.wordsPerItem;
        IssueTypesText::forEachEntry(*file.issueTypes, [&](const IssueTypesText::ParsedEntry& entry) {
            const auto key = keyIds.find(entry.key);
            if (key != keyIds.end()) {
                mask[key->second / 64] |= std::uint64_t {1} << (key->second % 64);
            }
        });
    }
}

// Every item adds 1 to each of its keys.
std::vector<std::int64_t> countKeys(const LookupIndexes& indexes, std::size_t count)
{
    std::vector<std::int64_t> keyCounts(indexes.keys.size(), 0);
    for (std::size_t position = 0; position < count; ++position) {
        const std::uint64_t* mask = indexes.masks.data() + position * indexes.wordsPerItem;
        for (std::size_t word = 0; word < indexes.wordsPerItem; ++word) {
            for (std::uint64_t bits = mask[word]; bits != 0; bits &= bits - 1) {
                ++keyCounts[word * 64 + static_cast<std::size_t>(__builtin_ctzll(bits))];
            }
        }
    }
    return keyCounts;
}

// An id listed more than once keeps the entry of its last item.
void shareEntriesOfRepeatedIds(const std::vector<IndexedFile>& files, LookupIndexes& indexes)
{
    for (std::size_t position = 0; position < files.size(); ++position) {
        const auto found = indexes.positionOfId.find(files[position].id);
        const std::size_t owner = found != indexes.positionOfId.end() ? found->second : position;
        if (owner != position) {
            indexes.hasEntry[position] = indexes.hasEntry[owner];
            std::copy_n(indexes.masks.data() + owner * indexes.wordsPerItem, indexes.wordsPerItem,
                indexes.masks.data() + position * indexes.wordsPerItem);
        }
    }
}

// The search forms of each item's three fields. Every field ends with a
// NUL, which no path or issue text holds, so a search of the whole buffer
// never matches across two fields.
void buildSearchText(const std::vector<IndexedFile>& files, LookupIndexes& indexes)
{
    indexes.searchOffsets.reserve(files.size() * 3 + 1);
    indexes.searchOffsets.push_back(0);
    const auto endField = [&indexes] {
        indexes.searchText += '\0';
        indexes.searchOffsets.push_back(indexes.searchText.size());
    };
    for (const IndexedFile& file : files) {
        appendSearchForm(indexes.searchText, file.relativePath);
        endField();
        if (file.issueTypes) {
            appendSearchForm(indexes.searchText, *file.issueTypes);
        }
        endField();
        if (file.proposedRename) {
            appendSearchForm(indexes.searchText, *file.proposedRename);
        }
        endField();
    }
}

// The items that need a rename, by id.
void orderRenameableById(const std::vector<IndexedFile>& files, LookupIndexes& indexes)
{
    for (std::size_t position = 0; position < files.size(); ++position) {
        if (files[position].needsRename) {
            indexes.renameableById.emplace_back(files[position].id, static_cast<std::uint32_t>(position));
        }
    }
    std::sort(indexes.renameableById.begin(), indexes.renameableById.end());
}

}  // namespace

LookupIndexes buildLookupIndexes(const std::vector<IndexedFile>& files)
{
    LookupIndexes indexes;
    KeyIds keyIds;
    const bool duplicateIds = collectIdsAndKeys(files, indexes, keyIds);
    buildMasks(files, keyIds, indexes);
    const std::vector<std::int64_t> keyCounts = countKeys(indexes, files.size());
    if (duplicateIds) {
        shareEntriesOfRepeatedIds(files, indexes);
    }
    for (std::size_t k = 0; k < indexes.keys.size(); ++k) {
        indexes.issueTypeCounts.emplace(indexes.keys[k], keyCounts[k]);
    }
    indexes.availableIssueTypes = indexes.keys;
    std::sort(indexes.availableIssueTypes.begin(), indexes.availableIssueTypes.end());
    buildSearchText(files, indexes);
    orderRenameableById(files, indexes);
    return indexes;
}

namespace {

// The chosen issue types as a mask over the index's keys; types the list
// does not have match nothing.
std::vector<std::uint64_t> wantedIssueTypes(const LookupIndexes& indexes, const IssueTypeSet& issueTypes, bool& anyWanted)
{
    std::vector<std::uint64_t> wanted(indexes.wordsPerItem, 0);
    anyWanted = false;
    for (std::size_t k = 0; k < indexes.keys.size(); ++k) {
        if (issueTypes.count(indexes.keys[k]) != 0) {
            wanted[k / 64] |= std::uint64_t {1} << (k % 64);
            anyWanted = true;
        }
    }
    return wanted;
}

// The tests one row must pass to be kept, apart from the text.
struct RowTest {
    const LookupIndexes& indexes;
    const FilterCriteria& criteria;
    const std::vector<std::uint64_t>& wanted;

    bool keeps(const IndexedFile& file, std::size_t position) const
    {
        if (criteria.itemType == ItemTypeFilter::filesOnly && file.isDirectory) {
            return false;
        }
        if (criteria.itemType == ItemTypeFilter::directoriesOnly && !file.isDirectory) {
            return false;
        }
        if (!criteria.issueTypes) {
            return true;
        }
        if (indexes.hasEntry[position] == 0) {
            return false;
        }
        const std::uint64_t* mask = indexes.masks.data() + position * indexes.wordsPerItem;
        for (std::size_t word = 0; word < indexes.wordsPerItem; ++word) {
            if ((mask[word] & wanted[word]) != 0) {
                return true;
            }
        }
        return false;
    }
};

// The kept positions of the parts, in order.
std::vector<std::uint32_t> joinPositions(const std::vector<std::vector<std::uint32_t>>& parts)
{
    std::size_t kept = 0;
    for (const std::vector<std::uint32_t>& part : parts) {
        kept += part.size();
    }
    std::vector<std::uint32_t> positions;
    positions.reserve(kept);
    for (const std::vector<std::uint32_t>& part : parts) {
        positions.insert(positions.end(), part.begin(), part.end());
    }
    return positions;
}

// The ids of the kept items that need a rename, ascending and each once.
// When many are kept they are read in the lookup's id order (sorting a
// million ids took longer than the rest of the pass); when few are, or the
// lookup structures are another list's, they are collected and sorted.
std::vector<std::int64_t> selectableIdsOf(const std::vector<IndexedFile>& files, const LookupIndexes& indexes,
    bool indexesMatch, const std::vector<std::uint8_t>& kept, const std::vector<std::uint32_t>& positions)
{
    constexpr std::size_t kFewKept = 16;  // kept items per item in the id order, at most, for sorting
    std::vector<std::int64_t> ids;
    if (indexesMatch && positions.size() * kFewKept >= indexes.renameableById.size()) {
        for (const auto& [id, position] : indexes.renameableById) {
            if (kept[position] != 0 && (ids.empty() || ids.back() != id)) {
                ids.push_back(id);
            }
        }
        return ids;
    }
    for (const std::uint32_t position : positions) {
        if (files[position].needsRename) {
            ids.push_back(files[position].id);
        }
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

}  // namespace

FilterResult applyFilters(const std::vector<IndexedFile>& files, const LookupIndexes& indexes, const FilterCriteria& criteria)
{
    const std::size_t count = files.size();
    const bool indexesMatch = indexes.hasEntry.size() == count && indexes.searchOffsets.size() == count * 3 + 1;
    const std::string query = criteria.searchText.empty() ? std::string() : searchForm(criteria.searchText);
    const bool textFilter = !criteria.searchText.empty();

    bool anyWanted = false;
    const std::vector<std::uint64_t> wanted
        = criteria.issueTypes ? wantedIssueTypes(indexes, *criteria.issueTypes, anyWanted) : std::vector<std::uint64_t>();
    if (criteria.issueTypes && (!anyWanted || !indexesMatch)) {
        return {};  // no item can share a type with the set
    }
    if (textFilter && !indexesMatch) {
        return {};
    }

    // The text test for every row at once, in chunks side by side.
    constexpr std::size_t kMinimumChunk = 32768;
    const std::size_t chunks = chunkCountFor(count, kMinimumChunk);
    // No field holds a NUL, so a query with one matches nothing.
    std::vector<std::uint8_t> textMatched;
    const bool nulInQuery = query.find('\0') != std::string::npos;
    if (textFilter && !nulInQuery) {
        textMatched.assign(count, 0);
        parallelFor(chunks, [&](std::size_t chunk) {
            const auto [first, last] = chunkRange(chunk, chunks, count);
            markTextMatches(indexes, query, first, last, textMatched);
        });
    }

    const RowTest test {indexes, criteria, wanted};
    std::vector<std::vector<std::uint32_t>> parts(chunks);
    std::vector<std::uint8_t> kept(count, 0);
    parallelFor(chunks, [&](std::size_t chunk) {
        std::vector<std::uint32_t>& part = parts[chunk];
        const auto [first, last] = chunkRange(chunk, chunks, count);
        part.reserve(last - first);
        for (std::size_t position = first; position < last; ++position) {
            if (!test.keeps(files[position], position) || (textFilter && (nulInQuery || textMatched[position] == 0))) {
                continue;
            }
            part.push_back(static_cast<std::uint32_t>(position));
            kept[position] = 1;
        }
    });
    FilterResult result;
    result.positions = joinPositions(parts);
    result.selectableIds = selectableIdsOf(files, indexes, indexesMatch, kept, result.positions);
    return result;
}

CheckboxState selectAllState(const ItemIdSet& selected, const std::vector<std::int64_t>& selectableSortedIds)
{
    if (selectableSortedIds.empty()) {
        return CheckboxState::unchecked;
    }
    std::size_t both = 0;
    if (selected.size() < selectableSortedIds.size()) {
        for (const std::int64_t id : selected) {
            if (std::binary_search(selectableSortedIds.begin(), selectableSortedIds.end(), id)) {
                ++both;
            }
        }
    } else {
        for (const std::int64_t id : selectableSortedIds) {
            both += selected.count(id);
        }
    }
    if (both == 0) {
        return CheckboxState::unchecked;
    }
    return both == selectableSortedIds.size() ? CheckboxState::checked : CheckboxState::mixed;
}

}  // namespace tess
