#pragma once

#include "index/IndexedFile.h"
#include "ui/issuelist/PathDiff.h"

#include <QAbstractListModel>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tess {

class MonitorViewModel;

// What a row shows that costs more than a look-up: the difference of the
// current and the proposed path (path length times changes), its ranges and
// its description. No difference for an item that is not renameable.
struct RowDiff {
    std::optional<PathDiff> diff;
    std::vector<ByteRange> originalRanges;
    std::vector<ByteRange> proposedRanges;
    std::string changeDescription;
};

// The issue list's rows: the filtered rows of the view model, read in place.
// A filter pass resets the model (the view model publishes a new list with
// its first pass, so the rows always belong to the list shown); a selection
// change is one ranged dataChanged.
class IssueListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        AbsolutePathRole,
        RelativePathRole,
        ProposedPathRole,  // empty when the item has no proposal
        IsDirectoryRole,
        HasIssuesRole,
        NeedsRenameRole,
        IsRenameableRole,
        IsSelectedRole,
        IssueTypesRole,  // the stored issue text, empty when absent
        IssueSummaryRole,
        PathToolTipRole,  // plain text: the absolute path and the change description
    };

    // Differences kept at most; the cache starts again when it is full.
    static constexpr std::size_t kDiffCacheLimit = 4096;

    explicit IssueListModel(MonitorViewModel& model, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // The base class checks through two virtual calls; the list view asks for
    // the index of every row each time it lays the rows out.
    QModelIndex index(int row, int column = 0, const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QHash<int, QByteArray> roleNames() const override;

    MonitorViewModel& viewModel() const { return m_model; }
    // The item of a row; null outside the rows.
    const IndexedFile* fileAt(int row) const;
    bool isSelected(int row) const;
    // The row's difference, computed once per item of a list.
    std::shared_ptr<const RowDiff> diffAt(int row) const;
    std::size_t cachedDiffCount() const { return m_diffCache.size(); }

private:
    void onIssueFilesChanged();
    void onFilteredIssuesChanged();
    void onSelectionChanged();

    MonitorViewModel& m_model;
    int m_rowCount = 0;
    // By position in the view model's issue list; cleared with a new list.
    mutable std::unordered_map<std::uint32_t, std::shared_ptr<const RowDiff>> m_diffCache;
};

}  // namespace tess
