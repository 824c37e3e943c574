#include "ui/history/RenameReportView.h"
#include "ui/widgets/ViewText.h"

#include "report/VerificationStatusText.h"
#include "ui/widgets/ActionTitle.h"
#include "ui/widgets/ColorResource.h"
#include "ui/widgets/Symbol.h"
#include "ui/widgets/Theme.h"
#include "ui/widgets/TintedBar.h"
#include "ui/widgets/Workspace.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QButtonGroup>
#include <QDateTime>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QVBoxLayout>

#include <sys/stat.h>

namespace tess {

namespace {

using RenameReportViewState::BadgeColor;
using RenameReportViewState::MenuAction;
using RenameReportViewState::MenuEntry;
using ReportTab = RenameReportViewState::ReportTab;

constexpr int kWidth = 700;
constexpr int kHeight = 500;
constexpr int kInset = 12;
constexpr int kRowInset = 8;
constexpr int kLineSpacing = 2;
constexpr int kArrowGap = 4;
constexpr int kBadgeSpacing = 16;

QColor badgeColor(BadgeColor color, const QPalette& palette)
{
    switch (color) {
    case BadgeColor::brandGreen:
        return namedColor(ColorName::brandGreen, palette);
    case BadgeColor::warm:
        return namedColor(ColorName::warm, palette);
    case BadgeColor::orange:
        return theme::warningOrange(palette);
    case BadgeColor::secondary:
        break;
    }
    return theme::secondaryLabel(palette);
}

QString tabObjectName(ReportTab tab, const char* suffix)
{
    QString name = QString::fromLatin1(RenameReportViewState::rawValue(tab).data(),
        static_cast<qsizetype>(RenameReportViewState::rawValue(tab).size()));
    name[0] = name[0].toLower();
    return name + QLatin1String(suffix);
}

int lineCount(ReportTab tab)
{
    switch (tab) {
    case ReportTab::renamed:
    case ReportTab::failed:
        return 2;
    case ReportTab::verification:
        return 3;
    case ReportTab::directories:
        return 1;
    }
    return 1;
}

// One list of the report; the rows are painted by ReportRowDelegate.
class ReportListModel : public QAbstractListModel {
public:
    ReportListModel(std::shared_ptr<const RenameReport> report, ReportTab tab, QObject* parent)
        : QAbstractListModel(parent)
        , m_report(std::move(report))
        , m_tab(tab)
    {
    }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(RenameReportViewState::Counts::of(*m_report).of(m_tab));
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!checkIndex(index, CheckIndexOption::IndexIsValid) || role != Qt::DisplayRole) {
            return {};
        }
        return lines(static_cast<std::size_t>(index.row())).join(QLatin1Char('\n'));
    }

    // The texts of a row, one per line.
    QStringList lines(std::size_t row) const
    {
        switch (m_tab) {
        case ReportTab::renamed:
            return {viewText(m_report->renamed[row].originalPath), viewText(m_report->renamed[row].newPath)};
        case ReportTab::failed:
            return {viewText(m_report->failed[row].path), viewText(m_report->failed[row].error)};
        case ReportTab::verification: {
            const RenameReport::Verification& verification = m_report->failedVerifications[row];
            return {viewText(verification.originalPath), viewText(verification.targetPath),
                viewText(VerificationStatusText::text(verification))};
        }
        case ReportTab::directories:
            return {viewText(m_report->removedDirectories[row])};
        }
        return {};
    }

    ReportTab tab() const { return m_tab; }

private:
    std::shared_ptr<const RenameReport> m_report;
    ReportTab m_tab;
};

class ReportRowDelegate : public QStyledItemDelegate {
public:
    ReportRowDelegate(const ReportListModel& model, QObject* parent)
        : QStyledItemDelegate(parent)
        , m_model(model)
    {
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& /*index*/) const override
    {
        const int lines = lineCount(m_model.tab());
        const int lineHeight = QFontMetrics(theme::monospacedCaptionFont(option.font)).height();
        return {option.rect.width(), lines * lineHeight + (lines - 1) * kLineSpacing + 2 * kRowInset / 2};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem base = option;
        initStyleOption(&base, index);
        // Only the row's background and selection: the texts are drawn below.
        const QStyle* style = option.widget != nullptr ? option.widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &base, painter, option.widget);

        const QPalette& palette = option.palette;
        const bool selected = option.state.testFlag(QStyle::State_Selected);
        const QColor text = palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
        const QColor secondary = selected ? text : theme::secondaryLabel(palette);
        // The reasons are small text: as dark (or light) as they must be to read on the row.
        const auto reason = [&](const QColor& color) { return selected ? text : theme::readableOn(color, {palette.color(QPalette::Base)}); };
        const QFont mono = theme::monospacedCaptionFont(option.font);
        const QFont caption = theme::captionFont(option.font);
        const int lineHeight = QFontMetrics(mono).height();
        const QStringList lines = m_model.lines(static_cast<std::size_t>(index.row()));
        const QRect content = option.rect.adjusted(kRowInset, kRowInset / 2, -kRowInset, -kRowInset / 2);

        painter->save();
        int y = content.top();
        auto drawLine = [&](const QString& line, const QFont& font, const QColor& color, int indent) {
            const QRect rect(content.left() + indent, y, content.width() - indent, lineHeight);
            painter->setFont(font);
            painter->setPen(color);
            painter->drawText(rect, Qt::AlignLeft | Qt::AlignVCenter,
                QFontMetrics(font).elidedText(line, Qt::ElideMiddle, rect.width()));
            y += lineHeight + kLineSpacing;
        };
        auto drawArrowLine = [&](const QString& line, const QColor& arrowColor) {
            const int arrowSize = QFontMetrics(caption).height() - 2;
            symbol::paint(*painter, QRectF(content.left(), y + (lineHeight - arrowSize) / 2.0, arrowSize, arrowSize),
                "arrow.right", arrowColor);
            drawLine(line, mono, text, arrowSize + kArrowGap);
        };
        switch (m_model.tab()) {
        case ReportTab::renamed: {
            QFont struck = mono;
            struck.setStrikeOut(true);
            drawLine(lines[0], struck, secondary, 0);
            drawArrowLine(lines[1], selected ? text : namedColor(ColorName::brandGreen, palette));
            break;
        }
        case ReportTab::failed:
            drawLine(lines[0], mono, text, 0);
            drawLine(lines[1], caption, reason(namedColor(ColorName::warm, palette)), 0);
            break;
        case ReportTab::verification:
            drawLine(lines[0], mono, text, 0);
            drawArrowLine(lines[1], secondary);
            drawLine(lines[2], caption, reason(theme::warningOrange(palette)), 0);
            break;
        case ReportTab::directories:
            drawLine(lines[0], mono, text, 0);
            break;
        }
        painter->restore();
    }

private:
    const ReportListModel& m_model;
};

bool pathExists(const std::string& path)
{
    struct stat info { };
    return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

RenameReportView::RenameReportView(RenameReport report, std::function<void()> onExport, Workspace& workspace, QWidget* parent)
    : QDialog(parent)
    , m_report(std::make_shared<const RenameReport>(std::move(report)))
    , m_onExport(std::move(onExport))
    , m_workspace(workspace)
    , m_counts(RenameReportViewState::Counts::of(*m_report))
    , m_selectedTab(RenameReportViewState::startTab(m_counts))
{
    setObjectName(QStringLiteral("renameReportView"));
    setWindowTitle(QStringLiteral("Rename Report"));
    setWindowModality(Qt::WindowModal);
    setFixedSize(kWidth, kHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeHeader());
    layout->addWidget(TintedBar::makeDivider(this));
    layout->addWidget(makeSectionControl());
    layout->addWidget(TintedBar::makeDivider(this));
    m_pages = new QStackedWidget(this);
    m_pages->setObjectName(QStringLiteral("reportPagesStack"));
    for (ReportTab tab : RenameReportViewState::kAllTabs) {
        m_pages->addWidget(makePage(tab));
    }
    layout->addWidget(m_pages, 1);
    layout->addWidget(TintedBar::makeDivider(this));
    layout->addWidget(makeFooter());

    selectTab(m_selectedTab);
    applyColors();
}

RenameReportView::~RenameReportView() = default;

const RenameReport& RenameReportView::report() const
{
    return *m_report;
}

QWidget* RenameReportView::makeHeader()
{
    auto* header = new TintedBar(this);
    auto* column = new QVBoxLayout(header);
    column->setContentsMargins(kInset + 4, kInset, kInset + 4, kInset);
    column->setSpacing(8);

    auto* titleRow = new QHBoxLayout;
    auto* title = new QLabel(QStringLiteral("Rename Report"), header);
    title->setObjectName(QStringLiteral("titleLabel"));
    QFont titleFont = font();
    titleFont.setPointSizeF(font().pointSizeF() * 17.0 / 13.0);
    titleFont.setWeight(QFont::DemiBold);
    title->setFont(titleFont);
    titleRow->addWidget(title);
    titleRow->addStretch(1);
    const QDateTime time = QDateTime::fromSecsSinceEpoch(
        std::chrono::duration_cast<std::chrono::seconds>(m_report->timestamp.time_since_epoch()).count());
    const QLocale locale;
    auto* date = new QLabel(RenameReportViewState::longDateText(time.date(), locale) + QLatin1String("  ")
            + RenameReportViewState::shortTimeText(time.time(), locale),
        header);
    date->setObjectName(QStringLiteral("dateLabel"));
    date->setTextFormat(Qt::PlainText);
    date->setFont(theme::captionFont(font()));
    m_secondaryLabels.push_back(date);
    titleRow->addWidget(date);
    column->addLayout(titleRow);

    auto* badgeRow = new QHBoxLayout;
    badgeRow->setSpacing(kBadgeSpacing);
    QFont countFont = font();
    countFont.setWeight(QFont::DemiBold);
    for (const RenameReportViewState::Badge& badge : RenameReportViewState::badges(m_counts)) {
        auto* pair = new QHBoxLayout;
        pair->setSpacing(4);
        auto* count = new QLabel(QString::number(badge.count), header);
        count->setObjectName(tabObjectName(badge.tab, "BadgeCount"));
        count->setFont(countFont);
        count->setProperty("badgeColor", static_cast<int>(badge.color));
        m_badgeCounts[static_cast<std::size_t>(badge.tab)] = count;
        auto* label = new QLabel(viewText(RenameReportViewState::summaryLabel(badge.tab)), header);
        label->setFont(theme::captionFont(font()));
        m_secondaryLabels.push_back(label);
        pair->addWidget(count, 0, Qt::AlignBaseline);
        pair->addWidget(label, 0, Qt::AlignBaseline);
        badgeRow->addLayout(pair);
    }
    badgeRow->addStretch(1);
    column->addLayout(badgeRow);
    return header;
}

QWidget* RenameReportView::makeSectionControl()
{
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(kInset + 4, 8, kInset + 4, 8);
    row->setSpacing(0);
    auto* segments = new QWidget(bar);
    segments->setObjectName(QStringLiteral("sectionControl"));
    segments->setAccessibleName(QStringLiteral("Section"));
    auto* segmentRow = new QHBoxLayout(segments);
    segmentRow->setContentsMargins(0, 0, 0, 0);
    segmentRow->setSpacing(0);
    m_sections = new QButtonGroup(segments);
    m_sections->setExclusive(true);
    for (ReportTab tab : RenameReportViewState::visibleTabs(m_counts)) {
        auto* button = new QToolButton(segments);
        button->setObjectName(tabObjectName(tab, "SectionButton"));
        button->setText(actionTitle(RenameReportViewState::tabLabel(tab, m_counts)));
        button->setCheckable(true);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        m_sections->addButton(button, static_cast<int>(tab));
        segmentRow->addWidget(button);
    }
    connect(m_sections, &QButtonGroup::idClicked, this, [this](int id) { selectTab(static_cast<ReportTab>(id)); });
    row->addWidget(segments);
    return bar;
}

QWidget* RenameReportView::makePage(ReportTab tab)
{
    if (m_counts.of(tab) == 0) {
        auto* message = new QLabel(viewText(RenameReportViewState::emptyMessage(tab)), m_pages);
        message->setObjectName(tabObjectName(tab, "EmptyLabel"));
        message->setAlignment(Qt::AlignCenter);
        m_secondaryLabels.push_back(message);
        return message;
    }
    auto* list = new QListView(m_pages);
    list->setObjectName(tabObjectName(tab, "ListView"));
    auto* model = new ReportListModel(m_report, tab, list);
    list->setModel(model);
    list->setItemDelegate(new ReportRowDelegate(*model, list));
    list->setUniformItemSizes(true);
    list->setFrameShape(QFrame::NoFrame);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, this, [this, list, tab](const QPoint& position) {
        const QModelIndex index = list->indexAt(position);
        if (!index.isValid()) {
            return;
        }
        QMenu* menu = makeContextMenu(tab, index.row(), list);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(list->viewport()->mapToGlobal(position));
    });
    return list;
}

QWidget* RenameReportView::makeFooter()
{
    auto* footer = new TintedBar(this);
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(kInset + 4, kInset, kInset + 4, kInset);
    auto* exportButton = new QPushButton(symbol::icon("square.and.arrow.up"), QStringLiteral("Export"), footer);
    exportButton->setObjectName(QStringLiteral("exportButton"));
    exportButton->setAutoDefault(false);
    connect(exportButton, &QPushButton::clicked, this, [this] {
        if (m_onExport) {
            m_onExport();
        }
    });
    auto* done = new QPushButton(QStringLiteral("Done"), footer);
    done->setObjectName(QStringLiteral("doneButton"));
    done->setDefault(true);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    row->addWidget(exportButton);
    row->addStretch(1);
    row->addWidget(done);
    return footer;
}

void RenameReportView::selectTab(ReportTab tab)
{
    m_selectedTab = tab;
    m_pages->setCurrentIndex(static_cast<int>(tab));
    if (QAbstractButton* button = m_sections->button(static_cast<int>(tab))) {
        button->setChecked(true);
    }
    applyColors();
}

QMenu* RenameReportView::makeContextMenu(ReportTab tab, int row, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("reportRowMenu"));
    for (const MenuEntry& entry : RenameReportViewState::menuEntries(*m_report, tab, static_cast<std::size_t>(row))) {
        QAction* action = menu->addAction(symbol::icon(entry.symbol), QString::fromStdString(entry.title));
        connect(action, &QAction::triggered, this, [this, entry] { run(entry); });
    }
    return menu;
}

void RenameReportView::run(const MenuEntry& entry)
{
    if (entry.action == MenuAction::copyPath) {
        m_workspace.copyText(viewText(entry.path));
        return;
    }
    if (const std::optional<std::string> target = RenameReportViewState::revealTarget(m_report->scanRoot, entry.path, pathExists)) {
        m_workspace.revealPath(*target);
    }
}

void RenameReportView::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyColors();
    }
}

void RenameReportView::applyColors()
{
    for (QLabel* label : m_secondaryLabels) {
        theme::setColor(*label, theme::secondaryLabel(palette()));
    }
    for (QLabel* count : m_badgeCounts) {
        if (count != nullptr) {
            theme::setColor(*count, badgeColor(static_cast<BadgeColor>(count->property("badgeColor").toInt()), palette()));
        }
    }
    theme::colorSegments(m_sections->buttons(), palette());
}

}  // namespace tess
