#include "ui/issuelist/ResultRowDelegate.h"

#include "ui/issuelist/IssueListModel.h"
#include "ui/issuelist/IssueRowCheckbox.h"
#include "ui/issuelist/IssueTypeDots.h"
#include "ui/issuelist/IssueTypePresentation.h"
#include "ui/issuelist/RowPresentation.h"
#include "ui/issuelist/StyledPathPainter.h"
#include "ui/widgets/ColorResource.h"
#include "ui/widgets/Symbol.h"
#include "ui/widgets/Theme.h"

#include <QFontMetrics>
#include <QPainter>

namespace tess {
namespace {

struct Layout {
    QRect checkbox;
    QRect dots;
    QRect firstLine;
    QRect arrow;
    QRect secondLine;
};

Layout layOut(const QStyleOptionViewItem& option, bool twoLines)
{
    const QRect content = option.rect.adjusted(ResultRowDelegate::kInset, ResultRowDelegate::kVerticalPadding, -ResultRowDelegate::kInset,
        -ResultRowDelegate::kVerticalPadding);
    Layout layout;
    layout.checkbox = QRect(content.left(), content.top(), ResultRowDelegate::kColumnWidth, content.height());
    layout.dots = QRect(layout.checkbox.right() + 1 + ResultRowDelegate::kSpacing, content.top(), ResultRowDelegate::kColumnWidth,
        content.height());
    const int column = layout.dots.right() + 1 + ResultRowDelegate::kSpacing;
    const int line = ResultRowDelegate::lineHeight(option.font);
    const int total = twoLines ? 2 * line + ResultRowDelegate::kLineSpacing : line;
    const int top = content.top() + (content.height() - total) / 2;
    const int pathLeft = column + ResultRowDelegate::kPathIndent;
    layout.firstLine = QRect(pathLeft, top, std::max(0, content.right() + 1 - pathLeft), line);
    if (twoLines) {
        const int second = top + line + ResultRowDelegate::kLineSpacing;
        layout.arrow = QRect(column, second, ResultRowDelegate::kArrowWidth, line);
        layout.secondLine = QRect(pathLeft, second, layout.firstLine.width(), line);
    }
    return layout;
}

}  // namespace

int ResultRowDelegate::lineHeight(const QFont& base)
{
    return QFontMetrics(StyledPathPainter::pathFont(base, true)).height() + 2;
}

QSize ResultRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    const int height = 2 * kVerticalPadding + 2 * lineHeight(option.font) + kLineSpacing;
    return {2 * kInset + 2 * kColumnWidth + 2 * kSpacing + kPathIndent + 120, height};
}

QRect ResultRowDelegate::regionRect(const QStyleOptionViewItem& option, const QModelIndex& index, Region region) const
{
    const IndexedFile* file = fileOf(index);
    if (file == nullptr) {
        return {};
    }
    const Layout layout = layOut(option, isRenameable(*file));
    switch (region) {
    case Region::checkbox:
        return layout.checkbox;
    case Region::dots:
        return file->issueTypes ? layout.dots : QRect();
    case Region::originalPath:
        return layout.firstLine;
    case Region::proposedPath:
        return layout.secondLine;
    case Region::icon:
    case Region::none:
        return {};
    }
    return {};
}

void ResultRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const IssueListModel* model = listModel(index);
    const IndexedFile* file = fileOf(index);
    if (model == nullptr || file == nullptr) {
        return;
    }
    const bool renameable = isRenameable(*file);
    const Layout layout = layOut(option, renameable);
    const QPalette& palette = option.palette;
    painter->save();
    paintBackgroundAndBox(*painter, option, index, layout.checkbox);

    const IssueDots dots = issueDots(file->issueTypes);
    const qreal dotsHeight = IssueTypeDots::height(dots);
    if (dotsHeight > 0) {
        // Many dots are drawn smaller so that every row keeps one height.
        const qreal scale = std::min(1.0, layout.dots.height() / dotsHeight);
        painter->save();
        const QPointF centre = QRectF(layout.dots).center();
        painter->translate(centre);
        painter->scale(scale, scale);
        painter->translate(-centre);
        IssueTypeDots::paint(*painter, QRectF(layout.dots), dots, palette);
        painter->restore();
    }

    const std::shared_ptr<const RowDiff> diff = model->diffAt(index.row());
    StyledPathPainter::paintStyledPath(*painter, layout.firstLine, file->relativePath, diff->originalRanges, false, palette, option.font);
    if (renameable) {
        const qreal arrowSize = std::min<qreal>(layout.arrow.height(), theme::captionFont(option.font).pointSizeF() * 0.9 + 2);
        const QRectF arrow(layout.arrow.left() + (layout.arrow.width() - arrowSize) / 2.0,
            layout.arrow.top() + (layout.arrow.height() - arrowSize) / 2.0, arrowSize, arrowSize);
        symbol::paint(*painter, arrow, "arrow.right", namedColor(ColorName::cool, palette));
        StyledPathPainter::paintStyledPath(*painter, layout.secondLine, *file->proposedRename, diff->proposedRanges, true, palette, option.font);
    }
    paintFocus(*painter, option);
    painter->restore();
}

}  // namespace tess
