#include "ui/issuelist/FileListView.h"
#include "ui/widgets/ViewText.h"

#include "model/MonitorViewModel.h"
#include "ui/issuelist/IssueFilterBadge.h"
#include "ui/issuelist/IssueFilterSelection.h"
#include "ui/issuelist/IssueListModel.h"
#include "ui/issuelist/ResultRowDelegate.h"
#include "ui/issuelist/RowPresentation.h"
#include "ui/issuelist/SideBySideRowDelegate.h"
#include "ui/widgets/ActionTitle.h"
#include "ui/widgets/FillRowLayout.h"
#include "ui/widgets/Symbol.h"
#include "ui/widgets/Theme.h"
#include "ui/widgets/TriStateCheckbox.h"
#include "ui/widgets/Workspace.h"

#include <QAction>
#include <QButtonGroup>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace tess {
namespace {

constexpr int kSearchIconSize = 11;
constexpr int kPickerWidth = 150;
constexpr int kEmptySymbolSize = 32;

Qt::CheckState checkState(CheckboxState state)
{
    switch (state) {
    case CheckboxState::checked:
        return Qt::Checked;
    case CheckboxState::mixed:
        return Qt::PartiallyChecked;
    case CheckboxState::unchecked:
        break;
    }
    return Qt::Unchecked;
}

}  // namespace

FileListView::FileListView(MonitorViewModel& model, Workspace& workspace, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
    , m_workspace(workspace)
    , m_listModel(new IssueListModel(model, this))
    , m_inlineDelegate(new ResultRowDelegate(this))
    , m_sideBySideDelegate(new SideBySideRowDelegate(this))
{
    setObjectName(QStringLiteral("fileListView"));

    m_listView = new QListView;
    m_listView->setObjectName(QStringLiteral("issueListView"));
    m_listView->setUniformItemSizes(true);
    m_listView->setSelectionMode(QAbstractItemView::NoSelection);
    m_listView->setEditTriggers(QAbstractItemView::DoubleClicked);
    m_listView->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_listView->setFrameShape(QFrame::NoFrame);
    m_listView->setContextMenuPolicy(Qt::CustomContextMenu);
    m_listView->setModel(m_listModel);
    m_listView->setItemDelegate(m_inlineDelegate);

    m_content = new QStackedWidget;
    m_content->setObjectName(QStringLiteral("contentStackedWidget"));
    m_content->addWidget(m_listView);
    m_content->addWidget(makeEmptyState());

    auto* divider = new QFrame;
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeHeader());
    layout->addWidget(divider);
    layout->addWidget(m_content, 1);

    for (RowDelegate* delegate : {static_cast<RowDelegate*>(m_inlineDelegate), static_cast<RowDelegate*>(m_sideBySideDelegate)}) {
        connect(delegate, &RowDelegate::toggleSelectionRequested, this, &FileListView::toggleRow);
    }
    connect(m_listView, &QWidget::customContextMenuRequested, this, &FileListView::showRowMenu);

    connect(&m_model, &MonitorViewModel::issueFilesChanged, this, &FileListView::updateBadges);
    connect(&m_model, &MonitorViewModel::selectedIssueFiltersChanged, this, &FileListView::updateBadgeStates);
    connect(&m_model, &MonitorViewModel::searchTextChanged, this, &FileListView::updateSearch);
    connect(&m_model, &MonitorViewModel::itemTypeFilterChanged, this, &FileListView::updateItemType);
    connect(&m_model, &MonitorViewModel::selectedFileIDsChanged, this, &FileListView::updateSelectAll);
    connect(&m_model, &MonitorViewModel::issueCountChanged, this, &FileListView::updateContent);
    connect(&m_model, &MonitorViewModel::totalIndexedChanged, this, &FileListView::updateContent);
    connect(&m_model, &MonitorViewModel::monitoringStatusChanged, this, &FileListView::updateRenameAction);
    connect(&m_model, &MonitorViewModel::renameStateChanged, this, &FileListView::updateRenameAction);
    connect(m_listModel, &QAbstractItemModel::modelReset, this, [this] {
        updateSelectAll();
        updateContent();
    });

    updateBadges();
    updateSearch();
    updateItemType();
    updateSelectAll();
    updateDisplayMode();
    updateContent();
}

FileListView::~FileListView() = default;

QWidget* FileListView::makeHeader()
{
    auto* header = new QWidget;
    header->setObjectName(QStringLiteral("headerWidget"));
    header->setAutoFillBackground(true);
    header->setBackgroundRole(QPalette::Window);
    auto* column = new QVBoxLayout(header);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);

    m_badgeRow = new QWidget;
    m_badgeRow->setObjectName(QStringLiteral("badgeRowWidget"));
    // The cards share the row; where their counts would not fit in one, they
    // wrap onto more.
    m_badgeLayout = new FillRowLayout(m_badgeRow, 4, 4);
    m_badgeLayout->setContentsMargins(12, 8, 12, 0);
    column->addWidget(m_badgeRow);

    auto* controls = new QHBoxLayout;
    controls->setContentsMargins(12, 0, 12, 8);
    controls->setSpacing(8);
    column->addLayout(controls);

    m_selectAllBox = new TriStateCheckbox;
    m_selectAllBox->setObjectName(QStringLiteral("selectAllCheckbox"));
    m_selectAllBox->setToolTip(QStringLiteral("Select all visible items"));
    m_selectAllBox->setAccessibleName(QStringLiteral("Select all visible items"));
    connect(m_selectAllBox, &QAbstractButton::clicked, this, &FileListView::toggleSelectAllVisible);
    controls->addWidget(m_selectAllBox);

    controls->addWidget(makeSearchField(), 1);

    controls->addWidget(makeItemTypePicker());

    controls->addStretch(1);

    m_displayModeButton = new QToolButton;
    m_displayModeButton->setObjectName(QStringLiteral("displayModeButton"));
    m_displayModeButton->setFont(theme::captionFont(font()));
    connect(m_displayModeButton, &QToolButton::clicked, this, &FileListView::toggleSideBySide);
    controls->addWidget(m_displayModeButton);
    return header;
}

QWidget* FileListView::makeSearchField()
{
    m_searchField = new QWidget;
    m_searchField->setObjectName(QStringLiteral("searchFieldWidget"));
    m_searchField->installEventFilter(this);
    auto* searchLayout = new QHBoxLayout(m_searchField);
    searchLayout->setContentsMargins(8 + kSearchIconSize + 4, 4, 8, 4);
    searchLayout->setSpacing(4);
    m_searchEdit = new QLineEdit;
    m_searchEdit->setObjectName(QStringLiteral("searchLineEdit"));
    m_searchEdit->setPlaceholderText(QStringLiteral("Filter by name..."));
    m_searchEdit->setFrame(false);
    m_searchEdit->setFont(theme::captionFont(font()));
    QPalette editPalette = m_searchEdit->palette();
    editPalette.setColor(QPalette::Base, Qt::transparent);
    m_searchEdit->setPalette(editPalette);
    m_clearSearchAction = new QAction(symbol::icon("xmark.circle.fill", QPalette::PlaceholderText), QString(), this);
    m_clearSearchAction->setObjectName(QStringLiteral("clearSearchAction"));
    m_clearSearchAction->setVisible(false);
    m_searchEdit->addAction(m_clearSearchAction, QLineEdit::TrailingPosition);
    // The line editor's button does not follow its action's visibility.
    for (QToolButton* button : m_searchEdit->findChildren<QToolButton*>()) {
        if (button->defaultAction() == m_clearSearchAction) {
            m_clearSearchButton = button;
            m_clearSearchButton->setObjectName(QStringLiteral("clearSearchButton"));
        }
    }
    connect(m_clearSearchAction, &QAction::triggered, this, &FileListView::clearSearchText);
    connect(m_searchEdit, &QLineEdit::textEdited, this, [this](const QString& text) { m_model.setSearchText(text.toStdString()); });
    searchLayout->addWidget(m_searchEdit);
    return m_searchField;
}

QWidget* FileListView::makeItemTypePicker()
{
    auto* picker = new QWidget;
    picker->setObjectName(QStringLiteral("itemTypePickerWidget"));
    picker->setFixedWidth(kPickerWidth);
    auto* pickerLayout = new QHBoxLayout(picker);
    pickerLayout->setContentsMargins(0, 0, 0, 0);
    pickerLayout->setSpacing(0);
    m_itemTypeGroup = new QButtonGroup(this);
    m_itemTypeGroup->setExclusive(true);
    const auto& filters = allItemTypeFilters();
    for (std::size_t i = 0; i < filters.size(); ++i) {
        auto* button = new QToolButton;
        const QString label = actionTitle(rawValue(filters[i]));
        button->setObjectName(QStringLiteral("itemType%1Button").arg(label));
        button->setText(label);
        button->setCheckable(true);
        button->setFont(theme::captionFont(font()));
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        m_itemTypeGroup->addButton(button, static_cast<int>(i));
        pickerLayout->addWidget(button);
    }
    connect(m_itemTypeGroup, &QButtonGroup::idClicked, this,
        [this](int id) { m_model.setItemTypeFilter(allItemTypeFilters()[static_cast<std::size_t>(id)]); });
    return picker;
}

QWidget* FileListView::makeEmptyState()
{
    m_emptyState = new QWidget;
    m_emptyState->setObjectName(QStringLiteral("emptyStateWidget"));
    m_emptyState->setAutoFillBackground(true);
    m_emptyState->setBackgroundRole(QPalette::Base);
    auto* column = new QVBoxLayout(m_emptyState);
    column->setSpacing(8);
    column->addStretch(1);
    m_emptySymbol = new QLabel;
    m_emptySymbol->setObjectName(QStringLiteral("emptySymbolLabel"));
    m_emptySymbol->setAlignment(Qt::AlignCenter);
    m_emptyTitle = new QLabel;
    m_emptyTitle->setObjectName(QStringLiteral("emptyTitleLabel"));
    m_emptyTitle->setTextFormat(Qt::PlainText);
    m_emptyTitle->setAlignment(Qt::AlignCenter);
    QFont headline = font();
    headline.setWeight(QFont::DemiBold);
    m_emptyTitle->setFont(headline);
    m_emptyText = new QLabel;
    m_emptyText->setObjectName(QStringLiteral("emptyTextLabel"));
    m_emptyText->setTextFormat(Qt::PlainText);
    m_emptyText->setAlignment(Qt::AlignCenter);
    m_emptyText->setFont(theme::captionFont(font()));
    column->addWidget(m_emptySymbol);
    column->addWidget(m_emptyTitle);
    column->addWidget(m_emptyText);
    column->addStretch(1);
    return m_emptyState;
}

// --- Reading the view model ------------------------------------------------------------

void FileListView::updateBadges()
{
    const std::vector<std::string>& keys = m_model.availableIssueTypes();
    bool same = keys.size() == m_badges.size();
    for (std::size_t i = 0; same && i < keys.size(); ++i) {
        same = m_badges[i]->issueType() == keys[i];
    }
    if (!same) {
        for (IssueFilterBadge* badge : m_badges) {
            delete badge;
        }
        m_badges.clear();
        for (const std::string& key : keys) {
            auto* badge = new IssueFilterBadge;
            badge->setIssueType(key);
            connect(badge, &QAbstractButton::clicked, this, [this, key] { toggleIssueFilter(key); });
            m_badgeLayout->addWidget(badge);
            m_badges.push_back(badge);
        }
    }
    m_badgeRow->setVisible(!m_badges.empty());
    const auto& counts = m_model.issueTypeCounts();
    for (IssueFilterBadge* badge : m_badges) {
        const auto found = counts.find(badge->issueType());
        badge->setCount(found == counts.end() ? 0 : found->second);
    }
    updateBadgeStates();
}

void FileListView::updateBadgeStates()
{
    for (IssueFilterBadge* badge : m_badges) {
        badge->setActive(isIssueFilterActive(m_model.selectedIssueFilters(), badge->issueType()));
    }
}

void FileListView::updateSelectAll()
{
    m_selectAllBox->setPalette(RowDelegate::checkboxPalette(palette()));
    m_selectAllBox->setState(checkState(m_model.selectAllState()));
}

void FileListView::updateSearch()
{
    const QString text = viewText(m_model.searchText());
    if (m_searchEdit->text() != text) {
        m_searchEdit->setText(text);
    }
    m_clearSearchAction->setVisible(!text.isEmpty());
    if (m_clearSearchButton != nullptr) {
        m_clearSearchButton->setVisible(!text.isEmpty());
    }
}

void FileListView::updateItemType()
{
    const auto& filters = allItemTypeFilters();
    for (std::size_t i = 0; i < filters.size(); ++i) {
        if (filters[i] == m_model.itemTypeFilter()) {
            m_itemTypeGroup->button(static_cast<int>(i))->setChecked(true);
        }
    }
    theme::colorSegments(m_itemTypeGroup->buttons(), palette());
}

void FileListView::updateDisplayMode()
{
    m_displayModeButton->setIcon(symbol::icon("arrow.left.arrow.right", m_showSideBySide ? QPalette::Highlight : QPalette::PlaceholderText));
    m_displayModeButton->setToolTip(viewText(displayModeHelp(m_showSideBySide)));
    m_displayModeButton->setAccessibleName(viewText(displayModeHelp(m_showSideBySide)));
}

void FileListView::updateContent()
{
    if (m_listModel->rowCount() > 0) {
        m_content->setCurrentWidget(m_listView);
        return;
    }
    const EmptyListState state = emptyListState(m_model.issueCount(), m_model.totalIndexed());
    const QPalette& pal = palette();
    const QColor symbolColor = state.symbolColor ? namedColor(*state.symbolColor, pal) : theme::secondaryLabel(pal);
    m_emptySymbol->setPixmap(symbol::pixmap(state.symbol, QSize(kEmptySymbolSize, kEmptySymbolSize), symbolColor, devicePixelRatioF()));
    m_emptyTitle->setText(viewText(state.title));
    m_emptyText->setText(viewText(state.text));
    theme::setColor(*m_emptyText, theme::secondaryLabel(pal));
    m_content->setCurrentWidget(m_emptyState);
}

void FileListView::updateRenameAction()
{
    if (m_rowRenameAction) {
        m_rowRenameAction->setEnabled(isRenameAllowed());
    }
}

// --- Operations ------------------------------------------------------------------------

void FileListView::toggleSelectAllVisible()
{
    if (m_model.selectAllState() == CheckboxState::checked) {
        m_model.deselectAllInFilter();
    } else {
        ItemIdSet ids = m_model.selectedFileIDs();
        ids.insert(m_model.selectableIDsInFilter().begin(), m_model.selectableIDsInFilter().end());
        m_model.setSelectedFileIDs(std::move(ids));
    }
    // The box shows what the model says, whatever the click did to it.
    updateSelectAll();
}

void FileListView::toggleIssueFilter(const std::string& key)
{
    for (const std::optional<IssueFilterSet>& store : issueFilterTapStores(m_model.selectedIssueFilters(), key, m_model.availableIssueTypes())) {
        m_model.setSelectedIssueFilters(store);
    }
}

void FileListView::clearSearchText()
{
    m_model.setSearchText(std::string());
}

void FileListView::toggleSideBySide()
{
    m_showSideBySide = !m_showSideBySide;
    m_listView->setItemDelegate(m_showSideBySide ? static_cast<QAbstractItemDelegate*>(m_sideBySideDelegate)
                                                 : static_cast<QAbstractItemDelegate*>(m_inlineDelegate));
    // Uniform item sizes keep the first row's size: measure again.
    m_listView->doItemsLayout();
    updateDisplayMode();
}

void FileListView::toggleSelection(const IndexedFile& file)
{
    if (!file.needsRename) {
        return;
    }
    ItemIdSet ids = m_model.selectedFileIDs();
    if (ids.erase(file.id) == 0) {
        ids.insert(file.id);
    }
    m_model.setSelectedFileIDs(std::move(ids));
}

void FileListView::revealInFileManager(const IndexedFile& file)
{
    m_workspace.revealPath(file.path);
}

void FileListView::copyPath(const IndexedFile& file)
{
    m_workspace.copyText(viewText(file.relativePath));
}

bool FileListView::isRenameAllowed() const
{
    return !m_model.monitoringStatus().isScanning() && !m_model.isRenaming();
}

void FileListView::renameSingleFile(const IndexedFile& file)
{
    if (!isRenameAllowed()) {
        return;
    }
    if (std::optional<FileTransformationResult> result = singleRenameResult(file)) {
        emit renameRequested({std::move(*result)});
    }
}

void FileListView::toggleRow(int row)
{
    if (const IndexedFile* file = m_listModel->fileAt(row)) {
        toggleSelection(*file);
    }
}

QMenu* FileListView::makeRowMenu(int row)
{
    const IndexedFile* found = m_listModel->fileAt(row);
    if (found == nullptr) {
        return nullptr;
    }
    // The item as it is now: the list may be replaced while the menu is open.
    const IndexedFile file = *found;
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("rowMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const RowStyle style = m_showSideBySide ? RowStyle::sideBySide : RowStyle::inlineRow;
    for (const RowMenuEntry& entry : rowMenuEntries(style, file, true, isRenameAllowed())) {
        QAction* action = menu->addAction(symbol::icon(entry.symbol), actionTitle(entry.title));
        action->setEnabled(entry.enabled);
        switch (entry.action) {
        case RowAction::rename:
            action->setObjectName(QStringLiteral("renameAction"));
            connect(action, &QAction::triggered, this, [this, file] { renameSingleFile(file); });
            m_rowRenameAction = action;
            break;
        case RowAction::reveal:
            action->setObjectName(QStringLiteral("revealAction"));
            connect(action, &QAction::triggered, this, [this, file] { revealInFileManager(file); });
            break;
        case RowAction::copyPath:
            action->setObjectName(QStringLiteral("copyPathAction"));
            connect(action, &QAction::triggered, this, [this, file] { copyPath(file); });
            break;
        }
        if (entry.dividerAfter) {
            menu->addSeparator();
        }
    }
    return menu;
}

void FileListView::showRowMenu(const QPoint& position)
{
    const QModelIndex index = m_listView->indexAt(position);
    if (QMenu* menu = index.isValid() ? makeRowMenu(index.row()) : nullptr) {
        menu->popup(m_listView->viewport()->mapToGlobal(position));
    }
}

// --- Events ----------------------------------------------------------------------------

bool FileListView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_searchField && event->type() == QEvent::Paint) {
        QPainter painter(m_searchField);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPalette& pal = m_searchField->palette();
        const QColor secondary = theme::secondaryLabel(pal);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(m_searchField->rect()), 6, 6);
        painter.fillPath(shape, theme::withOpacity(secondary, 0.1));
        const qreal top = (m_searchField->height() - kSearchIconSize) / 2.0;
        symbol::paint(painter, QRectF(8, top, kSearchIconSize, kSearchIconSize), "magnifyingglass", secondary);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FileListView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange) {
        // Colours are resolved from the palette: take the new one.
        updateContent();
        updateSelectAll();
        updateItemType();
        m_listView->viewport()->update();
    }
    QWidget::changeEvent(event);
}

}  // namespace tess
