// MonitorViewModel: the search text, the filters and the selection of the
// issue list.

#include "model/MonitorViewModel.h"

#include <utility>

namespace tess {

// --- Filters and selection ----------------------------------------------------------

void MonitorViewModel::setSearchText(const std::string& text)
{
    m_searchText = text;
    emit searchTextChanged();
    m_searchDebounce.start();
}

void MonitorViewModel::setItemTypeFilter(ItemTypeFilter filter)
{
    m_itemTypeFilter = filter;
    emit itemTypeFilterChanged();
    applyFilters();
}

void MonitorViewModel::setSelectedIssueFilters(const std::optional<IssueTypeSet>& filters)
{
    m_selectedIssueFilters = filters;
    emit selectedIssueFiltersChanged();
    applyFilters();
}

void MonitorViewModel::setSelectedFileIDs(ItemIdSet ids)
{
    m_selectedFileIDs = std::move(ids);
    emit selectedFileIDsChanged();
}

FilterCriteria MonitorViewModel::filterCriteria() const
{
    return FilterCriteria {m_searchText, m_selectedIssueFilters, m_itemTypeFilter};
}

void MonitorViewModel::applyFilters()
{
    const Generation generation = ++m_filterGeneration;
    const QPointer<MonitorViewModel> self(this);
    runInBackground([self, generation, files = m_issueFiles, indexes = m_indexes, criteria = filterCriteria()] {
        auto result = std::make_shared<FilterResult>(tess::applyFilters(*files, *indexes, criteria));
        postToMain(self, [generation, files, result](MonitorViewModel* model) {
            // The last call wins; a pass over a list replaced since is dropped.
            if (model == nullptr || generation != model->m_filterGeneration || files != model->m_issueFiles) {
                return;
            }
            model->m_filter = std::move(*result);
            emit model->filteredIssuesChanged();
        });
    });
}

void MonitorViewModel::deselectAllInFilter()
{
    if (m_selectedFileIDs.empty()) {
        return;
    }
    for (const std::uint32_t position : m_filter.positions) {
        m_selectedFileIDs.erase((*m_issueFiles)[position].id);
    }
    emit selectedFileIDsChanged();
}

std::shared_ptr<const MonitorViewModel::PreparedIssueList> MonitorViewModel::prepareIssueList(
    std::shared_ptr<const std::vector<IndexedFile>> files, FilterCriteria criteria)
{
    auto list = std::make_shared<PreparedIssueList>();
    list->indexes = std::make_shared<const LookupIndexes>(buildLookupIndexes(*files));
    list->filter = tess::applyFilters(*files, *list->indexes, criteria);
    list->files = std::move(files);
    list->criteria = std::move(criteria);
    return list;
}

void MonitorViewModel::setIssueList(const PreparedIssueList& list)
{
    // Passes still running over the previous list are dropped when they land.
    ++m_filterGeneration;
    m_indexes = list.indexes;
    m_issueFiles = list.files;
    m_filter = list.filter;
    emit issueFilesChanged();
    emit filteredIssuesChanged();
    if (list.criteria != filterCriteria()) {
        applyFilters();
    }
}

// --- What the coordinator delivers after a list ---------------------------------------

void MonitorViewModel::deliverAfterPendingList(std::function<void()> delivery)
{
    if (m_listPending) {
        m_heldDeliveries.push_back(std::move(delivery));
        return;
    }
    delivery();
}

void MonitorViewModel::releaseHeldDeliveries()
{
    m_listPending = false;
    // A delivery may start another list; what follows it waits again.
    std::vector<std::function<void()>> held = std::exchange(m_heldDeliveries, {});
    for (std::size_t i = 0; i < held.size(); ++i) {
        deliverAfterPendingList(std::move(held[i]));
    }
}

void MonitorViewModel::dropHeldDeliveries()
{
    m_listPending = false;
    m_heldDeliveries.clear();
}

}  // namespace tess
