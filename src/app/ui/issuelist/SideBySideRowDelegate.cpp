#include "ui/issuelist/SideBySideRowDelegate.h"

#include "ui/issuelist/IssueListModel.h"
#include "ui/issuelist/IssueRowCheckbox.h"
#include "ui/issuelist/IssueTypePresentation.h"
#include "ui/issuelist/RowPresentation.h"
#include "ui/issuelist/StyledPathPainter.h"
#include "ui/widgets/ColorResource.h"
#include "ui/widgets/Symbol.h"
#include "ui/widgets/Theme.h"

#include <QPainter>

#include <cmath>

namespace tess {
namespace {

struct Layout {
    QRect checkbox;
    QRect icon;
    QRect originalPath;
    QRect divider;
    QRect arrow;
    QRect proposedPath;
};

// The caption-2 size of a symbol drawn beside a path.
qreal symbolSize(const QFont& base)
{
    return std::round(theme::captionFont(base).pointSizeF() * 0.9) + 2.0;
}

Layout layOut(const QStyleOptionViewItem& option)
{
    using D = SideBySideRowDelegate;
    const QRect& row = option.rect;
    const int columnWidth = static_cast<int>(std::floor(sideBySideColumnWidth(row.width())));
    const int originalWidth = static_cast<int>(std::floor(originalColumnWidth(columnWidth)));
    const int top = row.top() + D::kVerticalPadding;
    const int height = row.height() - 2 * D::kVerticalPadding;
    Layout layout;
    const int left = row.left() + D::kPadding;
    layout.checkbox = QRect(left, top, D::kBoxWidth, height);
    layout.icon = QRect(layout.checkbox.right() + 1 + D::kSpacing, top, D::kIconWidth, height);
    const int pathLeft = layout.icon.right() + 1 + D::kSpacing;
    layout.originalPath = QRect(pathLeft, top, std::max(0, left + originalWidth - pathLeft), height);
    layout.divider = QRect(left + originalWidth + D::kPadding, row.top(), 1, row.height());
    const int right = layout.divider.right() + 1 + D::kPadding;
    const int arrowWidth = static_cast<int>(symbolSize(option.font));
    layout.arrow = QRect(right, top, arrowWidth, height);
    const int proposedLeft = layout.arrow.right() + 1 + D::kSpacing;
    layout.proposedPath = QRect(proposedLeft, top, std::max(0, row.right() + 1 - D::kPadding - proposedLeft), height);
    return layout;
}

}  // namespace

QSize SideBySideRowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return {2 * 150, kHeight};
}

QRect SideBySideRowDelegate::regionRect(const QStyleOptionViewItem& option, const QModelIndex& index, Region region) const
{
    const IndexedFile* file = fileOf(index);
    if (file == nullptr) {
        return {};
    }
    const Layout layout = layOut(option);
    switch (region) {
    case Region::checkbox:
        return layout.checkbox;
    case Region::icon:
        return layout.icon;
    case Region::originalPath:
        return layout.originalPath;
    case Region::proposedPath:
        return isRenameable(*file) ? layout.proposedPath : QRect();
    case Region::dots:
    case Region::none:
        return {};
    }
    return {};
}

void SideBySideRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const IssueListModel* model = listModel(index);
    const IndexedFile* file = fileOf(index);
    if (model == nullptr || file == nullptr) {
        return;
    }
    const Layout layout = layOut(option);
    const QPalette& palette = option.palette;
    painter->save();
    paintBackgroundAndBox(*painter, option, index, layout.checkbox);

    const qreal size = symbolSize(option.font);
    const IssueSymbol first = firstIssueSymbol(file->issueTypes);
    const QRectF icon(layout.icon.left() + (layout.icon.width() - size) / 2.0, layout.icon.top() + (layout.icon.height() - size) / 2.0, size, size);
    symbol::paint(*painter, icon, first.symbol, namedColorOrSecondary(first.color, palette));

    const std::shared_ptr<const RowDiff> diff = model->diffAt(index.row());
    const QColor text = palette.color(QPalette::Text);
    StyledPathPainter::paintAttributedPath(*painter, layout.originalPath, file->relativePath, diff->originalRanges, std::nullopt, palette,
        StyledPathPainter::pathFont(option.font, false), text);

    painter->fillRect(layout.divider, theme::withOpacity(theme::secondaryLabel(palette), 0.25));

    if (isRenameable(*file)) {
        const QRectF arrow(layout.arrow.left(), layout.arrow.top() + (layout.arrow.height() - size) / 2.0, size, size);
        symbol::paint(*painter, arrow, "arrow.right", theme::secondaryLabel(palette));
        StyledPathPainter::paintAttributedPath(*painter, layout.proposedPath, *file->proposedRename, diff->proposedRanges,
            namedColor(ColorName::cool, palette), palette, StyledPathPainter::pathFont(option.font, true), text);
    }
    paintFocus(*painter, option);
    painter->restore();
}

}  // namespace tess
