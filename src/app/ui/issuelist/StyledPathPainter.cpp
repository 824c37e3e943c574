#include "ui/issuelist/StyledPathPainter.h"

#include "ui/issuelist/StyledPath.h"
#include "ui/widgets/ColorResource.h"
#include "ui/widgets/Theme.h"

#include <QPainter>
#include <QTextBoundaryFinder>

#include <algorithm>

namespace tess {
namespace {

const QString kEllipsis = QStringLiteral("\u2026");

QTextLayout* layOut(QTextLayout& layout, const StyledText& styled)
{
    layout.setText(styled.text);
    layout.setFormats(styled.formats);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setTextDirection(Qt::LeftToRight);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid()) {
        line.setLineWidth(1e6);
    }
    layout.endLayout();
    return &layout;
}

// `styled` reduced to [from, to), with "…" before (head) or after (tail).
StyledText cut(const StyledText& styled, int from, int to, bool head)
{
    StyledText out;
    out.text = (head ? kEllipsis : QString()) + styled.text.mid(from, to - from) + (head ? QString() : kEllipsis);
    const int shift = head ? 1 - from : -from;
    for (const QTextLayout::FormatRange& f : styled.formats) {
        const int start = std::max(f.start, from);
        const int end = std::min(f.start + f.length, to);
        if (start < end) {
            out.formats.append({start + shift, end - start, f.format});
        }
    }
    return out;
}

}  // namespace

StyledText StyledPathPainter::styledText(const std::vector<PathRun>& runs, const QPalette& palette, const std::optional<QColor>& nameColor)
{
    StyledText out;
    const QColor highlight = theme::withOpacity(namedColor(ColorName::highlight, palette), 0.5);
    for (const PathRun& run : runs) {
        const QString text = QString::fromStdString(run.text);
        QTextCharFormat format;
        bool styled = false;
        if (run.highlighted) {
            format.setBackground(highlight);
            styled = true;
        }
        if (run.nameColored && nameColor) {
            format.setForeground(*nameColor);
            styled = true;
        }
        if (styled) {
            out.formats.append({static_cast<int>(out.text.size()), static_cast<int>(text.size()), format});
        }
        out.text += text;
    }
    return out;
}

qreal StyledPathPainter::width(const StyledText& styled, const QFont& font)
{
    QTextLayout layout(QString(), font);
    layOut(layout, styled);
    return layout.lineCount() > 0 ? layout.lineAt(0).naturalTextWidth() : 0.0;
}

StyledText StyledPathPainter::elide(const StyledText& styled, const QFont& font, qreal available, Qt::TextElideMode mode)
{
    if (width(styled, font) <= available) {
        return styled;
    }
    // Grapheme boundaries, in UTF-16 positions.
    std::vector<int> bounds {0};
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, styled.text);
    for (qsizetype p = finder.toNextBoundary(); p != -1; p = finder.toNextBoundary()) {
        bounds.push_back(static_cast<int>(p));
    }
    const bool head = mode == Qt::ElideLeft;
    const int size = static_cast<int>(styled.text.size());
    // The most characters kept that still fit, by bisection over the
    // number of characters kept.
    std::size_t low = 0;
    std::size_t high = bounds.size() - 1;
    while (low < high) {
        const std::size_t keep = (low + high + 1) / 2;
        const StyledText candidate = head ? cut(styled, bounds[bounds.size() - 1 - keep], size, true) : cut(styled, 0, bounds[keep], false);
        if (width(candidate, font) <= available) {
            low = keep;
        } else {
            high = keep - 1;
        }
    }
    return head ? cut(styled, bounds[bounds.size() - 1 - low], size, true) : cut(styled, 0, bounds[low], false);
}

void StyledPathPainter::draw(QPainter& painter, const QRectF& rect, const StyledText& styled, const QFont& font, const QColor& foreground)
{
    QTextLayout layout(QString(), font);
    layOut(layout, styled);
    if (layout.lineCount() == 0) {
        return;
    }
    painter.save();
    painter.setPen(foreground);
    const qreal top = rect.top() + (rect.height() - layout.lineAt(0).height()) / 2.0;
    layout.draw(&painter, QPointF(rect.left(), top));
    painter.restore();
}

QFont StyledPathPainter::pathFont(const QFont& base, bool medium)
{
    QFont font = theme::monospacedCaptionFont(base);
    if (medium) {
        font.setWeight(QFont::Medium);
    }
    return font;
}

qreal StyledPathPainter::paintAttributedPath(QPainter& painter, const QRectF& rect, std::string_view path, std::span<const ByteRange> ranges,
    const std::optional<QColor>& nameColor, const QPalette& palette, const QFont& font, const QColor& foreground)
{
    const StyledText styled = elide(styledText(attributedPath(path, ranges, nameColor.has_value()), palette, nameColor), font, rect.width(), Qt::ElideLeft);
    draw(painter, rect, styled, font, foreground);
    return width(styled, font);
}

qreal StyledPathPainter::paintStyledPath(QPainter& painter, const QRectF& rect, std::string_view path, std::span<const ByteRange> ranges,
    bool proposedPath, const QPalette& palette, const QFont& base)
{
    const StyledPathParts parts = splitStyledPath(path, ranges);
    const QFont nameFont = pathFont(base, proposedPath);
    const QColor nameColor = proposedPath ? namedColor(ColorName::cool, palette) : palette.color(QPalette::WindowText);
    const StyledText name = styledText(attributedPath(parts.name, parts.nameRanges, false), palette, std::nullopt);
    if (!parts.hasFolder) {
        const StyledText shown = elide(name, nameFont, rect.width(), Qt::ElideLeft);
        draw(painter, rect, shown, nameFont, nameColor);
        return width(shown, nameFont);
    }
    const QFont folderFont = pathFont(base, false);
    const qreal nameWidth = width(name, nameFont);
    qreal folderWidth = 0.0;
    if (nameWidth < rect.width()) {
        const StyledText folder = elide(styledText(attributedPath(parts.folder, parts.folderRanges, false), palette, std::nullopt), folderFont,
            rect.width() - nameWidth, Qt::ElideLeft);
        folderWidth = width(folder, folderFont);
        if (folderWidth <= rect.width() - nameWidth) {
            draw(painter, rect, folder, folderFont, theme::secondaryLabel(palette));
        } else {
            folderWidth = 0.0;
        }
    }
    const StyledText shownName = elide(name, nameFont, rect.width() - folderWidth, Qt::ElideRight);
    draw(painter, rect.adjusted(folderWidth, 0, 0, 0), shownName, nameFont, nameColor);
    return folderWidth + width(shownName, nameFont);
}

}  // namespace tess
