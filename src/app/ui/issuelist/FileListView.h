#pragma once

#include "analysis/FileTransformationResult.h"
#include "index/IndexedFile.h"

#include <QPointer>
#include <QWidget>

#include <string>
#include <vector>

class QAction;
class QButtonGroup;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QStackedWidget;
class QToolButton;

namespace tess {

class FillRowLayout;
class IssueFilterBadge;
class IssueListModel;
class MonitorViewModel;
class ResultRowDelegate;
class SideBySideRowDelegate;
class TriStateCheckbox;
class Workspace;

// The result pane of the main window: one filter badge per issue type, the
// select-all box, the search field, the item-type picker and the display
// mode switch above the issue list, which shows the view model's filtered
// rows inline or side by side (or an empty state). Holds nothing but the
// display mode; everything else is read from and written to the view model.
class FileListView : public QWidget {
    Q_OBJECT

public:
    FileListView(MonitorViewModel& model, Workspace& workspace, QWidget* parent = nullptr);
    ~FileListView() override;

    bool showsSideBySide() const { return m_showSideBySide; }
    IssueListModel& listModel() const { return *m_listModel; }
    QListView& listView() const { return *m_listView; }

    // The select-all box: a checked box deselects every filtered row (the
    // selection outside the filter stays); otherwise every selectable
    // filtered row is added.
    void toggleSelectAllVisible();
    // A tap on the badge of `key`.
    void toggleIssueFilter(const std::string& key);
    void clearSearchText();
    void toggleSideBySide();
    // Adds or removes an item that needs a rename; others are ignored.
    void toggleSelection(const IndexedFile& file);
    void revealInFileManager(const IndexedFile& file);
    // The relative path, not the absolute one.
    void copyPath(const IndexedFile& file);
    // Hands the item, as a list of one result, to the rename workflow,
    // without asking; nothing while a scan or a rename runs.
    void renameSingleFile(const IndexedFile& file);
    // Whether the one-row rename may run now.
    bool isRenameAllowed() const;

    // A new context menu for a row (deleted when closed); null outside
    // the rows. The caller shows it.
    QMenu* makeRowMenu(int row);

signals:
    // One-row rename: exactly one result, for the rename workflow.
    void renameRequested(const std::vector<FileTransformationResult>& results);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makeSearchField();
    QWidget* makeItemTypePicker();
    QWidget* makeEmptyState();
    void updateBadges();
    void updateBadgeStates();
    void updateSelectAll();
    void updateSearch();
    void updateItemType();
    void updateDisplayMode();
    void updateContent();
    void updateRenameAction();
    void showRowMenu(const QPoint& position);
    void toggleRow(int row);

    MonitorViewModel& m_model;
    Workspace& m_workspace;
    IssueListModel* m_listModel;
    ResultRowDelegate* m_inlineDelegate;
    SideBySideRowDelegate* m_sideBySideDelegate;
    bool m_showSideBySide = false;

    QWidget* m_badgeRow = nullptr;
    FillRowLayout* m_badgeLayout = nullptr;
    std::vector<IssueFilterBadge*> m_badges;
    TriStateCheckbox* m_selectAllBox = nullptr;
    QWidget* m_searchField = nullptr;
    QLineEdit* m_searchEdit = nullptr;
    QAction* m_clearSearchAction = nullptr;
    QToolButton* m_clearSearchButton = nullptr;
    QButtonGroup* m_itemTypeGroup = nullptr;
    QToolButton* m_displayModeButton = nullptr;
    QStackedWidget* m_content = nullptr;
    QListView* m_listView = nullptr;
    QWidget* m_emptyState = nullptr;
    QLabel* m_emptySymbol = nullptr;
    QLabel* m_emptyTitle = nullptr;
    QLabel* m_emptyText = nullptr;
    QPointer<QAction> m_rowRenameAction;
};

}  // namespace tess
