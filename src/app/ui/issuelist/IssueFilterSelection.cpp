#include "ui/issuelist/IssueFilterSelection.h"

namespace tess {

bool isIssueFilterActive(const std::optional<IssueFilterSet>& selected, std::string_view key)
{
    return !selected || selected->find(std::string(key)) != selected->end();
}

std::vector<std::optional<IssueFilterSet>> issueFilterTapStores(const std::optional<IssueFilterSet>& selected, const std::string& key,
    const std::vector<std::string>& availableTypes)
{
    const IssueFilterSet all(availableTypes.begin(), availableTypes.end());
    if (!selected) {
        IssueFilterSet set = all;
        set.erase(key);
        return {set};
    }
    IssueFilterSet set = *selected;
    if (set.erase(key) > 0) {
        return {set};
    }
    set.insert(key);
    if (set == all) {
        return {set, std::nullopt};
    }
    return {set};
}

}  // namespace tess
