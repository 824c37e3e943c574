#include "ui/issuelist/IssueListModel.h"
#include "ui/widgets/ViewText.h"

#include "model/MonitorViewModel.h"
#include "ui/issuelist/IssueTypePresentation.h"
#include "ui/issuelist/RowPresentation.h"

#include <QTextDocument>

namespace tess {
namespace {

}  // namespace

IssueListModel::IssueListModel(MonitorViewModel& model, QObject* parent)
    : QAbstractListModel(parent)
    , m_model(model)
{
    m_rowCount = static_cast<int>(m_model.filteredIssueCount());
    connect(&m_model, &MonitorViewModel::issueFilesChanged, this, &IssueListModel::onIssueFilesChanged);
    connect(&m_model, &MonitorViewModel::filteredIssuesChanged, this, &IssueListModel::onFilteredIssuesChanged);
    connect(&m_model, &MonitorViewModel::selectedFileIDsChanged, this, &IssueListModel::onSelectionChanged);
}

int IssueListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rowCount;
}

QModelIndex IssueListModel::index(int row, int column, const QModelIndex& parent) const
{
    if (row < 0 || row >= m_rowCount || column != 0 || parent.isValid()) {
        return {};
    }
    return createIndex(row, column);
}

const IndexedFile* IssueListModel::fileAt(int row) const
{
    if (row < 0 || row >= m_rowCount) {
        return nullptr;
    }
    return &m_model.filteredIssue(static_cast<std::size_t>(row));
}

bool IssueListModel::isSelected(int row) const
{
    const IndexedFile* file = fileAt(row);
    return file != nullptr && m_model.selectedFileIDs().contains(file->id);
}

std::shared_ptr<const RowDiff> IssueListModel::diffAt(int row) const
{
    const IndexedFile* file = fileAt(row);
    if (file == nullptr) {
        return std::make_shared<const RowDiff>();
    }
    const std::uint32_t position = m_model.filteredIssueRows()[static_cast<std::size_t>(row)];
    if (const auto found = m_diffCache.find(position); found != m_diffCache.end()) {
        return found->second;
    }
    auto diff = std::make_shared<RowDiff>();
    if (isRenameable(*file)) {
        diff->diff = PathDiff::compute(file->relativePath, *file->proposedRename);
        diff->originalRanges = diff->diff->ranges(DiffSide::original);
        diff->proposedRanges = diff->diff->ranges(DiffSide::proposed);
        diff->changeDescription = diff->diff->changeDescription();
    }
    if (m_diffCache.size() >= kDiffCacheLimit) {
        m_diffCache.clear();
    }
    m_diffCache.emplace(position, diff);
    return diff;
}

QVariant IssueListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const IndexedFile& file = *fileAt(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
    case RelativePathRole:
        return viewText(file.relativePath);
    case Qt::ToolTipRole:
        return Qt::convertFromPlainText(viewText(rowPathToolTip(file, diffAt(index.row())->changeDescription)));
    case PathToolTipRole:
        return viewText(rowPathToolTip(file, diffAt(index.row())->changeDescription));
    case IdRole:
        return QVariant::fromValue<qint64>(file.id);
    case AbsolutePathRole:
        return viewText(file.path);
    case ProposedPathRole:
        return file.proposedRename ? viewText(*file.proposedRename) : QString();
    case IsDirectoryRole:
        return file.isDirectory;
    case HasIssuesRole:
        return file.hasIssues;
    case NeedsRenameRole:
        return file.needsRename;
    case IsRenameableRole:
        return isRenameable(file);
    case IsSelectedRole:
        return isSelected(index.row());
    case IssueTypesRole:
        return file.issueTypes ? viewText(*file.issueTypes) : QString();
    case IssueSummaryRole:
        return viewText(issueSummary(file.issueTypes));
    default:
        return {};
    }
}

Qt::ItemFlags IssueListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    // Editable only so that the row's text can be opened read-only for
    // selecting and copying; nothing is ever written back.
    return Qt::ItemIsEnabled | Qt::ItemIsEditable | Qt::ItemNeverHasChildren;
}

QHash<int, QByteArray> IssueListModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(IdRole, "id");
    names.insert(AbsolutePathRole, "path");
    names.insert(RelativePathRole, "relativePath");
    names.insert(ProposedPathRole, "proposedRename");
    names.insert(IsDirectoryRole, "isDirectory");
    names.insert(HasIssuesRole, "hasIssues");
    names.insert(NeedsRenameRole, "needsRename");
    names.insert(IsRenameableRole, "isRenameable");
    names.insert(IsSelectedRole, "isSelected");
    names.insert(IssueTypesRole, "issueTypes");
    names.insert(IssueSummaryRole, "issueSummary");
    names.insert(PathToolTipRole, "pathToolTip");
    return names;
}

void IssueListModel::onIssueFilesChanged()
{
    // The cache is by list position; the new list's first filter pass, which
    // follows at once, resets the rows.
    m_diffCache.clear();
}

void IssueListModel::onFilteredIssuesChanged()
{
    beginResetModel();
    m_rowCount = static_cast<int>(m_model.filteredIssueCount());
    endResetModel();
}

void IssueListModel::onSelectionChanged()
{
    if (m_rowCount > 0) {
        emit dataChanged(index(0), index(m_rowCount - 1), {IsSelectedRole});
    }
}

}  // namespace tess
