#include "model/ResultFilter.h"

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

bool fieldContains(const LookupIndexes& indexes, std::size_t field, std::string_view query)
{
    const std::size_t begin = indexes.searchOffsets[field];
    const std::size_t end = indexes.searchOffsets[field + 1];
    if (end - begin < query.size()) {
        return false;
    }
    return memmem(indexes.searchText.data() + begin, end - begin, query.data(), query.size()) != nullptr;
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

LookupIndexes buildLookupIndexes(const std::vector<IndexedFile>& files)
{
    LookupIndexes indexes;
    const std::size_t count = files.size();
    indexes.positionOfId.reserve(count);

    // First pass: the by-id map and the distinct keys, viewed in the files'
    // own texts while they are read.
    std::unordered_map<std::string_view, std::size_t> keyIds;
    bool duplicateIds = false;
    for (std::size_t position = 0; position < count; ++position) {
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

    // Second pass: one mask per item.
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

    // An id listed more than once keeps the entry of its last item.
    if (duplicateIds) {
        for (std::size_t position = 0; position < count; ++position) {
            const auto found = indexes.positionOfId.find(files[position].id);
            const std::size_t owner = found != indexes.positionOfId.end() ? found->second : position;
            if (owner != position) {
                indexes.hasEntry[position] = indexes.hasEntry[owner];
                std::copy_n(indexes.masks.data() + owner * indexes.wordsPerItem, indexes.wordsPerItem,
                    indexes.masks.data() + position * indexes.wordsPerItem);
            }
        }
    }

    // Counts, once per id.
    std::vector<std::int64_t> keyCounts(indexes.keys.size(), 0);
    for (const auto& [id, position] : indexes.positionOfId) {
        if (indexes.hasEntry[position] == 0) {
            continue;
        }
        const std::uint64_t* mask = indexes.masks.data() + position * indexes.wordsPerItem;
        for (std::size_t word = 0; word < indexes.wordsPerItem; ++word) {
            for (std::uint64_t bits = mask[word]; bits != 0; bits &= bits - 1) {
                ++keyCounts[word * 64 + static_cast<std::size_t>(__builtin_ctzll(bits))];
            }
        }
    }
    for (std::size_t k = 0; k < indexes.keys.size(); ++k) {
        indexes.issueTypeCounts.emplace(indexes.keys[k], keyCounts[k]);
    }
    indexes.availableIssueTypes = indexes.keys;
    std::sort(indexes.availableIssueTypes.begin(), indexes.availableIssueTypes.end());

    // Search forms.
    indexes.searchOffsets.reserve(count * 3 + 1);
    indexes.searchOffsets.push_back(0);
    for (const IndexedFile& file : files) {
        appendSearchForm(indexes.searchText, file.relativePath);
        indexes.searchOffsets.push_back(indexes.searchText.size());
        if (file.issueTypes) {
            appendSearchForm(indexes.searchText, *file.issueTypes);
        }
        indexes.searchOffsets.push_back(indexes.searchText.size());
        if (file.proposedRename) {
            appendSearchForm(indexes.searchText, *file.proposedRename);
        }
        indexes.searchOffsets.push_back(indexes.searchText.size());
    }
    return indexes;
}

FilterResult applyFilters(const std::vector<IndexedFile>& files, const LookupIndexes& indexes, const FilterCriteria& criteria)
{
    FilterResult result;
    const std::size_t count = files.size();
    const bool indexesMatch = indexes.hasEntry.size() == count && indexes.searchOffsets.size() == count * 3 + 1;

    const std::string query = criteria.searchText.empty() ? std::string() : searchForm(criteria.searchText);
    const bool textFilter = !criteria.searchText.empty();

    // The chosen issue types as a mask over the index's keys; types the list
    // does not have match nothing.
    std::vector<std::uint64_t> wanted(indexes.wordsPerItem, 0);
    bool anyWanted = false;
    if (criteria.issueTypes) {
        for (std::size_t k = 0; k < indexes.keys.size(); ++k) {
            if (criteria.issueTypes->count(indexes.keys[k]) != 0) {
                wanted[k / 64] |= std::uint64_t {1} << (k % 64);
                anyWanted = true;
            }
        }
        if (!anyWanted || !indexesMatch) {
            return result;  // no item can share a type with the set
        }
    }
    if (textFilter && !indexesMatch) {
        return result;
    }

    result.positions.reserve(count);
    for (std::size_t position = 0; position < count; ++position) {
        const IndexedFile& file = files[position];
        if (criteria.itemType == ItemTypeFilter::filesOnly && file.isDirectory) {
            continue;
        }
        if (criteria.itemType == ItemTypeFilter::directoriesOnly && !file.isDirectory) {
            continue;
        }
        if (criteria.issueTypes) {
            if (indexes.hasEntry[position] == 0) {
                continue;
            }
            const std::uint64_t* mask = indexes.masks.data() + position * indexes.wordsPerItem;
            bool shared = false;
            for (std::size_t word = 0; word < indexes.wordsPerItem && !shared; ++word) {
                shared = (mask[word] & wanted[word]) != 0;
            }
            if (!shared) {
                continue;
            }
        }
        if (textFilter) {
            const std::size_t field = position * 3;
            if (!fieldContains(indexes, field, query) && !fieldContains(indexes, field + 1, query)
                && !fieldContains(indexes, field + 2, query)) {
                continue;
            }
        }
        result.positions.push_back(static_cast<std::uint32_t>(position));
        if (file.needsRename) {
            result.selectableIds.push_back(file.id);
        }
    }
    std::sort(result.selectableIds.begin(), result.selectableIds.end());
    result.selectableIds.erase(std::unique(result.selectableIds.begin(), result.selectableIds.end()), result.selectableIds.end());
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
