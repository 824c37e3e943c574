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

void MonitorViewModel::applyFilters()
{
    const Generation generation = ++m_filterGeneration;
    FilterCriteria criteria {m_searchText, m_selectedIssueFilters, m_itemTypeFilter};
    const QPointer<MonitorViewModel> self(this);
    runInBackground([self, generation, files = m_issueFiles, indexes = m_indexes, criteria = std::move(criteria)] {
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

void MonitorViewModel::setIssueList(std::shared_ptr<const std::vector<IndexedFile>> files, std::shared_ptr<const LookupIndexes> indexes)
{
    m_indexes = std::move(indexes);
    m_issueFiles = std::move(files);
    // The filtered positions index the old list: none are valid until the
    // next filter pass over the new one lands.
    m_filter = FilterResult {};
    emit issueFilesChanged();
    emit filteredIssuesChanged();
}

}  // namespace tess
