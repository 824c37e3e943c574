#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tess {

// The issue-type filter of the list as plain values: absent means every
// type is shown; a set, possibly empty, shows only its types.
using IssueFilterSet = std::set<std::string>;

// Whether the badge of `key` shows as active.
bool isIssueFilterActive(const std::optional<IssueFilterSet>& selected, std::string_view key);

// The values stored by a tap on the badge of `key`, in order; each store is
// followed by a filter pass. From "all shown" the tap hides that type only;
// a tap on an active badge removes its type (an emptied set stays empty); a
// tap on an inactive badge adds its type and, when that completes the set of
// available types, stores "all shown" after it.
std::vector<std::optional<IssueFilterSet>> issueFilterTapStores(const std::optional<IssueFilterSet>& selected, const std::string& key,
    const std::vector<std::string>& availableTypes);

}  // namespace tess
