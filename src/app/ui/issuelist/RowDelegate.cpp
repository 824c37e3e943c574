#include "ui/issuelist/RowDelegate.h"
#include "ui/widgets/ViewText.h"

#include "ui/issuelist/IssueListModel.h"
#include "ui/issuelist/IssueRowCheckbox.h"
#include "ui/issuelist/IssueTypePresentation.h"
#include "ui/issuelist/RowPresentation.h"
#include "ui/issuelist/StyledPathPainter.h"
#include "ui/widgets/Theme.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QTextDocument>
#include <QToolTip>

namespace tess {

const IssueListModel* RowDelegate::listModel(const QModelIndex& index)
{
    return qobject_cast<const IssueListModel*>(index.model());
}

const IndexedFile* RowDelegate::fileOf(const QModelIndex& index)
{
    const IssueListModel* model = listModel(index);
    return model == nullptr ? nullptr : model->fileAt(index.row());
}

RowDelegate::Region RowDelegate::regionAt(const QStyleOptionViewItem& option, const QModelIndex& index, QPoint position) const
{
    for (Region region : {Region::checkbox, Region::dots, Region::icon, Region::originalPath, Region::proposedPath}) {
        if (regionRect(option, index, region).contains(position)) {
            return region;
        }
    }
    return Region::none;
}

QString RowDelegate::toolTipText(const QStyleOptionViewItem& option, const QModelIndex& index, QPoint position) const
{
    const IndexedFile* file = fileOf(index);
    if (file == nullptr) {
        return {};
    }
    std::string text;
    switch (regionAt(option, index, position)) {
    case Region::checkbox:
        return IssueRowCheckbox::toolTipText(rowCheckboxLook(file->needsRename, file->hasIssues, listModel(index)->isSelected(index.row())));
    case Region::dots:
        text = issueSummary(file->issueTypes);
        break;
    case Region::originalPath:
    case Region::proposedPath:
        text = rowPathToolTip(*file, listModel(index)->diffAt(index.row())->changeDescription);
        break;
    case Region::icon:
    case Region::none:
        break;
    }
    return viewText(text);
}

bool RowDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (event == nullptr || view == nullptr || event->type() != QEvent::ToolTip) {
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
    const QString text = toolTipText(option, index, event->pos());
    if (text.isEmpty()) {
        QToolTip::hideText();
    } else {
        // Names and paths are plain text; a tooltip would guess rich text.
        QToolTip::showText(event->globalPos(), Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal), view->viewport(), option.rect);
    }
    return true;
}

bool RowDelegate::editorEvent(QEvent* event, QAbstractItemModel*, const QStyleOptionViewItem& option, const QModelIndex& index)
{
    const IndexedFile* file = fileOf(index);
    if (file == nullptr) {
        return false;
    }
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const Region region = regionAt(option, index, mouse->position().toPoint());
        if (region == Region::checkbox) {
            // The box takes its own clicks; a release over it toggles.
            if (event->type() == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton && file->needsRename) {
                emit toggleSelectionRequested(index.row());
            }
            return true;
        }
        if (event->type() == QEvent::MouseButtonDblClick) {
            m_editRegion = region;
        }
        return false;
    }
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space) {
            if (file->needsRename) {
                emit toggleSelectionRequested(index.row());
            }
            return true;
        }
        return false;
    default:
        return false;
    }
}

QWidget* RowDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const
{
    const IndexedFile* file = fileOf(index);
    if (file == nullptr || (m_editRegion != Region::originalPath && m_editRegion != Region::proposedPath)) {
        return nullptr;
    }
    auto* editor = new QLineEdit(parent);
    editor->setObjectName(QStringLiteral("rowTextLineEdit"));
    editor->setReadOnly(true);
    editor->setFrame(false);
    editor->setFont(StyledPathPainter::pathFont(parent->font(), m_editRegion == Region::proposedPath));
    editor->setProperty("region", static_cast<int>(m_editRegion));
    return editor;
}

void RowDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    auto* line = qobject_cast<QLineEdit*>(editor);
    const IndexedFile* file = fileOf(index);
    if (line == nullptr || file == nullptr) {
        return;
    }
    const bool proposed = static_cast<Region>(line->property("region").toInt()) == Region::proposedPath;
    const std::string& text = proposed && file->proposedRename ? *file->proposedRename : file->relativePath;
    line->setText(viewText(text));
    line->selectAll();
}

void RowDelegate::setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const
{
    // Read-only: the editor only offers the text for selection.
}

void RowDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const auto region = static_cast<Region>(editor->property("region").toInt());
    QRect rect = regionRect(option, index, region);
    const int height = editor->sizeHint().height();
    editor->setGeometry(rect.left(), rect.center().y() - height / 2, rect.width(), height);
}

QPalette RowDelegate::checkboxPalette(const QPalette& palette)
{
    if (!theme::isDark(palette)) {
        return palette;
    }
    QPalette adjusted = palette;
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        adjusted.setColor(group, QPalette::Window, palette.color(group, QPalette::PlaceholderText));
    }
    return adjusted;
}

void RowDelegate::paintBackgroundAndBox(QPainter& painter, const QStyleOptionViewItem& option, const QModelIndex& index, const QRect& box)
{
    painter.fillRect(option.rect, option.palette.color(QPalette::Base));
    const qreal shade = index.row() % 2 == 0 ? 0.02 : 0.06;
    painter.fillRect(option.rect, theme::withOpacity(theme::secondaryLabel(option.palette), shade));
    const IndexedFile* file = fileOf(index);
    if (file == nullptr) {
        return;
    }
    const QWidget* widget = option.widget;
    const QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    IssueRowCheckbox::paint(painter, box, rowCheckboxLook(file->needsRename, file->hasIssues, listModel(index)->isSelected(index.row())),
        checkboxPalette(option.palette), style, widget);
}

void RowDelegate::paintFocus(QPainter& painter, const QStyleOptionViewItem& option)
{
    if (!option.state.testFlag(QStyle::State_HasFocus)) {
        return;
    }
    QStyleOptionFocusRect focus;
    focus.QStyleOption::operator=(option);
    focus.rect = option.rect.adjusted(1, 1, -1, -1);
    focus.backgroundColor = option.palette.color(QPalette::Base);
    const QWidget* widget = option.widget;
    (widget != nullptr ? widget->style() : QApplication::style())->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, widget);
}

}  // namespace tess
