#pragma once

#include "ui/issuelist/PathDiff.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QPalette>
#include <QString>
#include <QTextLayout>

#include <optional>
#include <span>
#include <string_view>
#include <vector>

class QPainter;

namespace tess {

// Text with the formats of its runs, ready for a QTextLayout.
struct StyledText {
    QString text;
    QList<QTextLayout::FormatRange> formats;
};

// Draws paths with their changed characters marked, on one line, in the
// monospaced caption font: for list rows, which paint rather than hold
// widgets. Everything is computed from the palette given at paint time.
class StyledPathPainter {
public:
    // The runs as Qt text: highlighted runs get the "highlight" colour at
    // half opacity as background, runs of the name `nameColor` when given.
    static StyledText styledText(const std::vector<PathRun>& runs, const QPalette& palette, const std::optional<QColor>& nameColor);

    // The text cut to fit `width` in `font`: whole characters (grapheme
    // clusters) are dropped at the head (Qt::ElideLeft) or the tail
    // (Qt::ElideRight) and replaced by "…". Formats move with their text.
    static StyledText elide(const StyledText& styled, const QFont& font, qreal width, Qt::TextElideMode mode);

    static qreal width(const StyledText& styled, const QFont& font);
    // Draws left-aligned, vertically centred in `rect`, left to right.
    static void draw(QPainter& painter, const QRectF& rect, const StyledText& styled, const QFont& font, const QColor& foreground);

    // The caption font of fixed width; medium weight when `medium`.
    static QFont pathFont(const QFont& base, bool medium);

    // One path as a single text (side-by-side rows): attributed runs with
    // an optional name colour, cut at the head. Returns the drawn width.
    static qreal paintAttributedPath(QPainter& painter, const QRectF& rect, std::string_view path, std::span<const ByteRange> ranges,
        const std::optional<QColor>& nameColor, const QPalette& palette, const QFont& font, const QColor& foreground);

    // A path split into folder and name (inline rows). A proposed path's
    // name is in `cool` and medium weight, another's in the window text
    // colour; the folder is in the secondary label colour and gives way
    // first, cut at its head; a name that alone is too wide is cut at its
    // tail. A path without "/" is one text cut at its head. Returns the
    // drawn width.
    static qreal paintStyledPath(QPainter& painter, const QRectF& rect, std::string_view path, std::span<const ByteRange> ranges,
        bool proposedPath, const QPalette& palette, const QFont& base);
};

}  // namespace tess
