#include "ui/history/HistoryListView.h"
#include "ui/widgets/ViewText.h"

#include "history/HistoryFile.h"
#include "history/HistoryUndo.h"
#include "log/AppLogger.h"
#include "model/AsyncTask.h"
#include "model/MonitorViewModel.h"
#include "model/ReportSavePanel.h"
#include "model/SettingsManager.h"
#include "report/ReportService.h"
#include "text/Text.h"
#include "ui/history/HistoryListViewState.h"
#include "ui/history/RenameReportView.h"
#include "ui/widgets/AlertBox.h"
#include "ui/widgets/ColorResource.h"
#include "ui/widgets/Symbol.h"
#include "ui/widgets/Theme.h"
#include "ui/widgets/TintedBar.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QDateTime>
#include <QEvent>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QListView>
#include <QLocale>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QVBoxLayout>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <unistd.h>
#include <unordered_set>

namespace tess {

namespace {

constexpr int kWidth = 600;
constexpr int kHeight = 450;
constexpr int kInset = 12;
constexpr int kRowInset = 4;
constexpr int kRowSpacing = 12;
constexpr int kSymbolWidth = 24;
constexpr int kButtonSize = 24;
constexpr int kButtonSpacing = 4;
constexpr int kBadgeHorizontalInset = 4;
constexpr int kTitleSpacing = 6;
constexpr int kDetailSpacing = 8;

Result<RenameReport> loadReport(const std::string& path)
{
    Result<HistoryFile::Loaded> loaded = HistoryFile::load(path);
    if (!loaded) {
        return loaded.error();
    }
    return RenameReport::fromHistoryEntry(loaded.value().entry);
}

}  // namespace

// The rows of the list: one history file each, painted by HistoryRowDelegate.
class HistoryListModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!checkIndex(index, CheckIndexOption::IndexIsValid) || role != Qt::DisplayRole) {
            return {};
        }
        return viewText(HistoryListViewState::folderName(entry(index.row()).scanRoot));
    }

    void setEntries(std::vector<HistoryListView::Entry> entries, std::vector<bool> inSourceFolder, std::optional<std::string> source)
    {
        beginResetModel();
        m_entries = std::move(entries);
        m_inSourceFolder.clear();
        for (std::size_t i = 0; i < m_entries.size() && i < inSourceFolder.size(); ++i) {
            if (inSourceFolder[i]) {
                m_inSourceFolder.insert(m_entries[i].url);
            }
        }
        m_source = std::move(source);
        endResetModel();
    }

    const HistoryListView::Entry& entry(int row) const { return m_entries[static_cast<std::size_t>(row)]; }
    const std::vector<HistoryListView::Entry>& entries() const { return m_entries; }

    // Whether the batch of `entry` was found made in `source` when the list
    // was read (false when another folder was open then).
    bool isInFolder(const HistoryListView::Entry& entry, const std::optional<std::string>& source) const
    {
        return source == m_source && m_inSourceFolder.count(entry.url) != 0;
    }

private:
    std::vector<HistoryListView::Entry> m_entries;
    std::unordered_set<std::string> m_inSourceFolder;  // the files of batches made in m_source
    std::optional<std::string> m_source;
};

namespace {

struct ButtonSpec {
    HistoryListView::RowButton button;
    std::string_view symbol;
    const char* help;
};

constexpr ButtonSpec kButtons[] = {
    {HistoryListView::RowButton::viewReport, "doc.text", "View report"},
    {HistoryListView::RowButton::undo, "arrow.uturn.backward", "Undo this rename"},
    {HistoryListView::RowButton::deleteEntry, "trash", "Delete history entry"},
};

class HistoryRowDelegate : public QStyledItemDelegate {
public:
    HistoryRowDelegate(HistoryListView& view, const HistoryListModel& model)
        : QStyledItemDelegate(&view)
        , m_view(view)
        , m_model(model)
    {
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& /*index*/) const override
    {
        QFont title = option.font;
        const int height = QFontMetrics(title).height() + 2 + QFontMetrics(theme::captionFont(option.font)).height();
        return {option.rect.width(), std::max(height, kButtonSize) + 2 * kRowInset + 8};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem base = option;
        initStyleOption(&base, index);
        base.state &= ~QStyle::State_HasFocus;
        // Only the row's background and selection: the texts are drawn below.
        const QStyle* style = option.widget != nullptr ? option.widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &base, painter, option.widget);

        const HistoryListView::Entry& entry = m_model.entry(index.row());
        const HistoryListViewState::RowLook look = HistoryListViewState::rowLook(entry.operation);
        const QPalette& palette = option.palette;
        const QRect content = option.rect.adjusted(kInset, kRowInset, -kInset, -kRowInset);

        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const QRectF symbolRect(content.left(), content.center().y() - kSymbolWidth / 2.0, kSymbolWidth, kSymbolWidth);
        symbol::paint(*painter, symbolRect, look.symbol,
            look.orange ? theme::warningOrange(palette) : namedColor(ColorName::cool, palette));
        const TextLayout text = textLayout(option, content);
        paintTitleLine(*painter, palette, text, entry, look.undoBadge);
        paintDetailLine(*painter, palette, text, entry);
        paintButtons(*painter, option, entry, look.undoButton);
        painter->restore();
    }

    bool editorEvent(QEvent* event, QAbstractItemModel* /*model*/, const QStyleOptionViewItem& option, const QModelIndex& index) override
    {
        if (event->type() != QEvent::MouseButtonRelease || !index.isValid()) {
            return false;
        }
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton) {
            return false;
        }
        const std::optional<HistoryListView::RowButton> button = buttonAt(option.rect, index, mouse->position().toPoint());
        if (!button) {
            return false;
        }
        // The entry is copied: the action may reload the list.
        const HistoryListView::Entry entry = m_model.entry(index.row());
        switch (*button) {
        case HistoryListView::RowButton::viewReport:
            m_view.viewReport(entry);
            break;
        case HistoryListView::RowButton::undo:
            if (undoAvailability(entry).enabled) {
                m_view.confirmUndo(entry);
            }
            break;
        case HistoryListView::RowButton::deleteEntry:
            m_view.confirmDelete(entry);
            break;
        }
        return true;
    }

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option, const QModelIndex& index) override
    {
        if (event->type() == QEvent::ToolTip && index.isValid()) {
            if (const std::optional<HistoryListView::RowButton> button = buttonAt(option.rect, index, event->pos())) {
                QToolTip::showText(event->globalPos(), Qt::convertFromPlainText(toolTip(m_model.entry(index.row()), *button)), view);
                return true;
            }
        }
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }

    QString toolTip(const HistoryListView::Entry& entry, HistoryListView::RowButton button) const
    {
        if (button == HistoryListView::RowButton::undo) {
            return viewText(undoAvailability(entry).toolTip);
        }
        for (const ButtonSpec& slot : kButtons) {
            if (slot.button == button) {
                return QString::fromLatin1(slot.help);
            }
        }
        return {};
    }

private:
    // Where the two text lines go, and in which fonts.
    struct TextLayout {
        int left = 0;
        int right = 0;
        int top = 0;
        QFont titleFont;
        QFont caption;
        QFont badgeFont;
        int titleHeight = 0;
        int captionHeight = 0;
    };

    static TextLayout textLayout(const QStyleOptionViewItem& option, const QRect& content)
    {
        TextLayout text;
        text.left = content.left() + kSymbolWidth + kRowSpacing;
        text.right = HistoryListView::buttonRect(option.rect, HistoryListView::RowButton::viewReport).left() - kRowSpacing;
        text.titleFont = option.font;
        text.titleFont.setWeight(QFont::Medium);
        text.caption = theme::captionFont(option.font);
        text.badgeFont = theme::scaledFont(option.font, 11);
        text.badgeFont.setWeight(QFont::DemiBold);
        text.titleHeight = QFontMetrics(text.titleFont).height();
        text.captionHeight = QFontMetrics(text.caption).height();
        text.top = content.center().y() - (text.titleHeight + 2 + text.captionHeight) / 2;
        return text;
    }

    // Title line: the folder, then the badge of an undo batch.
    static void paintTitleLine(QPainter& painter, const QPalette& palette, const TextLayout& text,
        const HistoryListView::Entry& entry, bool undoBadge)
    {
        const QString badge = QStringLiteral("UNDO");
        const int badgeWidth = undoBadge ? QFontMetrics(text.badgeFont).horizontalAdvance(badge) + 2 * kBadgeHorizontalInset : 0;
        const int nameSpace = std::max(0, text.right - text.left - (undoBadge ? badgeWidth + kTitleSpacing : 0));
        const QString name = QFontMetrics(text.titleFont).elidedText(viewText(HistoryListViewState::folderName(entry.scanRoot)), Qt::ElideRight, nameSpace);
        painter.setFont(text.titleFont);
        painter.setPen(palette.color(QPalette::Text));
        painter.drawText(QRect(text.left, text.top, nameSpace, text.titleHeight), Qt::AlignLeft | Qt::AlignVCenter, name);
        if (!undoBadge) {
            return;
        }
        const int badgeLeft = text.left + QFontMetrics(text.titleFont).horizontalAdvance(name) + kTitleSpacing;
        const int badgeHeight = QFontMetrics(text.badgeFont).height() + 2;
        const QRectF badgeRect(badgeLeft, text.top + (text.titleHeight - badgeHeight) / 2.0, badgeWidth, badgeHeight);
        painter.setPen(Qt::NoPen);
        painter.setBrush(theme::withOpacity(theme::warningOrange(palette), 0.15));
        painter.drawRoundedRect(badgeRect, 3, 3);
        painter.setFont(text.badgeFont);
        painter.setPen(theme::warningOrange(palette));
        painter.drawText(badgeRect, Qt::AlignCenter, badge);
    }

    // Detail line: the date and the count.
    static void paintDetailLine(QPainter& painter, const QPalette& palette, const TextLayout& text, const HistoryListView::Entry& entry)
    {
        painter.setFont(text.caption);
        painter.setPen(theme::secondaryLabel(palette));
        const QString date = HistoryListView::dateText(entry.timestamp);
        const int detailTop = text.top + text.titleHeight + 2;
        const int dateWidth = QFontMetrics(text.caption).horizontalAdvance(date);
        painter.drawText(QRect(text.left, detailTop, dateWidth, text.captionHeight), Qt::AlignLeft | Qt::AlignVCenter, date);
        painter.drawText(QRect(text.left + dateWidth + kDetailSpacing, detailTop,
                             std::max(0, text.right - text.left - dateWidth - kDetailSpacing), text.captionHeight),
            Qt::AlignLeft | Qt::AlignVCenter, viewText(HistoryListViewState::detailText(entry.doneCount, entry.interrupted, entry.incomplete)));
    }

    // The buttons, drawn as their symbols.
    void paintButtons(QPainter& painter, const QStyleOptionViewItem& option, const HistoryListView::Entry& entry, bool undoButton) const
    {
        const QPalette& palette = option.palette;
        const bool undoEnabled = undoAvailability(entry).enabled;
        for (const ButtonSpec& slot : kButtons) {
            if (slot.button == HistoryListView::RowButton::undo && !undoButton) {
                continue;
            }
            QColor color = palette.color(QPalette::ButtonText);
            if (slot.button == HistoryListView::RowButton::deleteEntry) {
                color = theme::secondaryLabel(palette);
            } else if (slot.button == HistoryListView::RowButton::undo && !undoEnabled) {
                color = palette.color(QPalette::Disabled, QPalette::ButtonText);
            }
            const QRect rect = HistoryListView::buttonRect(option.rect, slot.button);
            symbol::paint(painter, QRectF(rect).adjusted(4, 4, -4, -4), slot.symbol, color);
        }
    }

    HistoryListViewState::UndoAvailability undoAvailability(const HistoryListView::Entry& entry) const
    {
        return m_view.undoAvailability(entry);
    }

    std::optional<HistoryListView::RowButton> buttonAt(const QRect& rowRect, const QModelIndex& index, const QPoint& point) const
    {
        const bool undoShown = HistoryListViewState::rowLook(m_model.entry(index.row()).operation).undoButton;
        for (const ButtonSpec& slot : kButtons) {
            if (slot.button == HistoryListView::RowButton::undo && !undoShown) {
                continue;
            }
            if (HistoryListView::buttonRect(rowRect, slot.button).contains(point)) {
                return slot.button;
            }
        }
        return std::nullopt;
    }

    HistoryListView& m_view;
    const HistoryListModel& m_model;
};

}  // namespace

HistoryListView::HistoryListView(MonitorViewModel& model, ReportSavePanel& savePanel, Workspace& workspace, QWidget* parent)
    : QDialog(parent)
    , m_model(model)
    , m_savePanel(savePanel)
    , m_workspace(workspace)
    , m_listModel(new HistoryListModel(this))
{
    setObjectName(QStringLiteral("historyListView"));
    setWindowTitle(QStringLiteral("Transformation History"));
    setWindowModality(Qt::WindowModal);
    setFixedSize(kWidth, kHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeHeader());
    layout->addWidget(TintedBar::makeDivider(this));
    m_content = new QStackedWidget(this);
    m_content->setObjectName(QStringLiteral("historyContentStack"));
    m_content->addWidget(makeEmptyState(m_content));
    m_content->addWidget(makeList(m_content));
    m_content->setCurrentWidget(m_list);
    layout->addWidget(m_content, 1);
    layout->addWidget(TintedBar::makeDivider(this));
    layout->addWidget(makeFooter());

    // Whether "Undo" is offered follows the open folder and a running batch.
    connect(&m_model, &MonitorViewModel::sourcePathChanged, m_list->viewport(), qOverload<>(&QWidget::update));
    connect(&m_model, &MonitorViewModel::sourcePathChanged, this, [this] {
        if (isVisible()) {
            loadEntries();
        }
    });
    connect(&m_model, &MonitorViewModel::renameStateChanged, m_list->viewport(), qOverload<>(&QWidget::update));
    applyColors();
}

QWidget* HistoryListView::makeHeader()
{
    auto* header = new TintedBar(this);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(kInset + 4, kInset, kInset + 4, kInset);
    auto* title = new QLabel(QStringLiteral("Transformation History"), header);
    title->setObjectName(QStringLiteral("titleLabel"));
    QFont titleFont = theme::scaledFont(font(), 17);
    titleFont.setWeight(QFont::DemiBold);
    title->setFont(titleFont);
    m_countLabel = new QLabel(viewText(HistoryListViewState::countText(0)), header);
    m_countLabel->setObjectName(QStringLiteral("countLabel"));
    m_countLabel->setFont(theme::captionFont(font()));
    m_secondaryLabels.push_back(m_countLabel);
    headerRow->addWidget(title);
    headerRow->addStretch(1);
    headerRow->addWidget(m_countLabel);
    return header;
}

QWidget* HistoryListView::makeEmptyState(QWidget* parent)
{
    auto* empty = new QWidget(parent);
    empty->setObjectName(QStringLiteral("emptyStateWidget"));
    auto* emptyColumn = new QVBoxLayout(empty);
    emptyColumn->setSpacing(12);
    emptyColumn->addStretch(1);
    m_emptySymbol = new QLabel(empty);
    m_emptySymbol->setObjectName(QStringLiteral("emptySymbolLabel"));
    emptyColumn->addWidget(m_emptySymbol, 0, Qt::AlignHCenter);
    auto* emptyTitle = new QLabel(QStringLiteral("No History"), empty);
    emptyTitle->setObjectName(QStringLiteral("emptyTitleLabel"));
    QFont headline = font();
    headline.setWeight(QFont::DemiBold);
    emptyTitle->setFont(headline);
    m_secondaryLabels.push_back(emptyTitle);
    emptyColumn->addWidget(emptyTitle, 0, Qt::AlignHCenter);
    m_tertiaryLabel = new QLabel(QStringLiteral("Rename operations will appear here."), empty);
    m_tertiaryLabel->setObjectName(QStringLiteral("emptyTextLabel"));
    m_tertiaryLabel->setFont(theme::captionFont(font()));
    emptyColumn->addWidget(m_tertiaryLabel, 0, Qt::AlignHCenter);
    emptyColumn->addStretch(1);
    return empty;
}

QWidget* HistoryListView::makeList(QWidget* parent)
{
    m_list = new QListView(parent);
    m_list->setObjectName(QStringLiteral("historyListView"));
    m_list->setModel(m_listModel);
    m_list->setItemDelegate(new HistoryRowDelegate(*this, *m_listModel));
    m_list->setUniformItemSizes(true);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setMouseTracking(true);
    return m_list;
}

QWidget* HistoryListView::makeFooter()
{
    auto* footer = new TintedBar(this);
    auto* footerRow = new QHBoxLayout(footer);
    footerRow->setContentsMargins(kInset + 4, kInset, kInset + 4, kInset);
    footerRow->addStretch(1);
    auto* done = new QPushButton(QStringLiteral("Done"), footer);
    done->setObjectName(QStringLiteral("doneButton"));
    done->setDefault(true);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    footerRow->addWidget(done);
    return footer;
}

HistoryListView::~HistoryListView() = default;

const std::vector<HistoryListView::Entry>& HistoryListView::entries() const
{
    return m_listModel->entries();
}

QRect HistoryListView::buttonRect(const QRect& rowRect, RowButton button)
{
    // From the trailing edge: delete, undo, view report. An undo batch has
    // no undo button; its slot stays empty so the columns line up.
    const int slot = button == RowButton::deleteEntry ? 0 : (button == RowButton::undo ? 1 : 2);
    const int right = rowRect.right() - kInset - slot * (kButtonSize + kButtonSpacing);
    return {right - kButtonSize + 1, rowRect.center().y() - kButtonSize / 2, kButtonSize, kButtonSize};
}

QString HistoryListView::dateText(TransformationHistory::TimePoint time)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(
        std::chrono::duration_cast<std::chrono::seconds>(time.time_since_epoch()).count());
    const QLocale locale;
    return RenameReportViewState::mediumDateText(local.date(), locale) + QStringLiteral(", ")
        + RenameReportViewState::shortTimeText(local.time(), locale);
}

void HistoryListView::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    loadEntries();
}

void HistoryListView::loadEntries()
{
    const std::uint64_t generation = ++m_generation;
    runThenCallback(
        this,
        [folder = m_model.historyFolder(), source = m_model.sourcePath()] {
            Loaded loaded {TransformationHistory::listHistories(folder), {}, source};
            // Whether each batch was made in the open folder, as the undo
            // itself will judge it: by the folders the two paths lead to.
            loaded.inSourceFolder.reserve(loaded.entries.size());
            for (const Entry& entry : loaded.entries) {
                loaded.inSourceFolder.push_back(source && HistoryUndo::isSameScanRoot(entry.scanRoot, *source));
            }
            return loaded;
        },
        [this, generation](Loaded loaded) {
            if (generation == m_generation) {
                applyEntries(std::move(loaded));
            }
        });
}

void HistoryListView::applyEntries(Loaded loaded)
{
    m_countLabel->setText(viewText(HistoryListViewState::countText(loaded.entries.size())));
    m_content->setCurrentIndex(loaded.entries.empty() ? 0 : 1);
    m_listModel->setEntries(std::move(loaded.entries), std::move(loaded.inSourceFolder), std::move(loaded.source));
    m_loaded = true;
    emit entriesLoaded();
}

HistoryListViewState::UndoAvailability HistoryListView::undoAvailability(const Entry& entry) const
{
    return HistoryListViewState::undoAvailability(
        entry.scanRoot, m_model.sourcePath(), m_model.isRenaming(), m_listModel->isInFolder(entry, m_model.sourcePath()));
}

void HistoryListView::viewReport(const Entry& entry)
{
    runThenCallback(
        this, [path = entry.url] { return loadReport(path); },
        [this](Result<RenameReport> report) {
            if (!report) {
                TESS_LOG_ERROR("❌ Failed to load history entry: " + report.error().message);
                emit reportFailed();
                return;
            }
            if (m_reportView) {
                m_reportView->close();
            }
            auto shared = std::make_shared<const RenameReport>(report.value());
            QPointer<HistoryListView> self(this);
            auto* view = new RenameReportView(
                report.value(),
                [self, shared] {
                    if (self) {
                        self->exportReport(*shared);
                    }
                },
                m_workspace, this);
            view->setAttribute(Qt::WA_DeleteOnClose);
            m_reportView = view;
            view->open();
        });
}

void HistoryListView::exportReport(const RenameReport& report)
{
    auto shared = std::make_shared<const RenameReport>(report);
    QPointer<HistoryListView> self(this);
    m_savePanel.open(ReportSaveRequest::historyReport(), m_model.settingsManager().settings().preferences.reportFormat,
        [self, shared](const std::optional<ReportSaveChoice>& choice) {
            if (!self || !choice) {
                return;
            }
            runThenCallback(
                self.data(),
                [shared, path = choice->filePathBytes(), format = choice->format] {
                    const Status written = ReportService::writeRenameReportFile(path, format, *shared);
                    if (written) {
                        TESS_LOG_INFO("History report exported to " + text::toValidUtf8(path));
                        return std::optional<std::string>();
                    }
                    const std::string failureText = "Failed to export history report: ";
                    TESS_LOG_ERROR("❌ " + failureText + written.error().message);
                    return std::optional<std::string>(MonitorViewModel::exportFailureMessage(failureText, path, written.error().message));
                },
                [self](std::optional<std::string> failure) {
                    if (!self) {
                        return;
                    }
                    if (failure) {
                        self->showExportFailure(*failure);
                    }
                    emit self->exportFinished();
                });
        });
}

void HistoryListView::showExportFailure(const std::string& message)
{
    // Over the report it was exported from, as the main window's exports show theirs.
    QWidget* parent = m_reportView ? static_cast<QWidget*>(m_reportView.data()) : this;
    QMessageBox* box = AlertBox::make(parent, QStringLiteral("Export Failed"), viewText(message), QStringLiteral("exportFailedAlert"));
    box->setWindowTitle(QStringLiteral("Export Failed"));
    box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    m_exportAlert = box;
    box->open();
}

void HistoryListView::openAlert(const AlertText& text, std::function<void()> onConfirm)
{
    QMessageBox* box = AlertBox::make(this, text.title, viewText(text.message), text.objectName, QMessageBox::Warning);
    box->setWindowTitle(text.title);
    box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    QPushButton* confirm = box->addButton(text.confirmTitle, QMessageBox::DestructiveRole);
    confirm->setObjectName(text.confirmObjectName);
    connect(box, &QMessageBox::finished, this, [box, onConfirm = std::move(onConfirm)] {
        if (box->clickedButton() != nullptr && box->buttonRole(box->clickedButton()) == QMessageBox::DestructiveRole) {
            onConfirm();
        }
    });
    m_alert = box;
    box->open();
}

void HistoryListView::confirmDelete(const Entry& entry)
{
    if (m_alert) {
        return;
    }
    openAlert({QStringLiteral("deleteAlert"), QStringLiteral("Delete History Entry"),
                  HistoryListViewState::deleteMessage(
                      HistoryListViewState::folderName(entry.scanRoot), dateText(entry.timestamp).toStdString()),
                  QStringLiteral("Delete"), QStringLiteral("deleteConfirmButton")},
        [this, entry] { deleteEntry(entry); });
}

void HistoryListView::deleteEntry(const Entry& entry)
{
    const Status removed = TransformationHistory::deleteHistory(entry.url);
    if (!removed) {
        TESS_LOG_ERROR("❌ Failed to delete history entry: " + removed.error().message);
        return;
    }
    loadEntries();
}

void HistoryListView::confirmUndo(const Entry& entry)
{
    if (m_alert || entry.operation != HistoryOperation::rename) {
        return;
    }
    openAlert({QStringLiteral("undoAlert"), QStringLiteral("Undo Rename"),
                  HistoryListViewState::undoMessage(HistoryListViewState::folderName(entry.scanRoot), entry.doneCount),
                  QStringLiteral("Undo"), QStringLiteral("undoConfirmButton")},
        [this, entry] {
            // The open folder may have changed while the alert was up.
            const HistoryListViewState::UndoAvailability availability = undoAvailability(entry);
            if (availability.enabled) {
                m_model.undoRename(entry.url);
            } else {
                TESS_LOG_WARN("HistoryListView: undo refused: " + availability.toolTip);
            }
            accept();
        });
}

void HistoryListView::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyColors();
    }
}

void HistoryListView::applyColors()
{
    for (QLabel* label : m_secondaryLabels) {
        theme::setColor(*label, theme::secondaryLabel(palette()));
    }
    theme::setColor(*m_tertiaryLabel, theme::withOpacity(palette().color(QPalette::WindowText), 0.3));
    m_emptySymbol->setPixmap(symbol::pixmap("clock.arrow.circlepath", QSize(36, 36), theme::secondaryLabel(palette()), devicePixelRatioF()));
}

}  // namespace tess
