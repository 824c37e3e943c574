#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QPalette>

class QAbstractButton;
class QWidget;

namespace tess::theme {

// The two palettes of the application, for the Fusion style.
QPalette lightPalette();
QPalette darkPalette();

// Whether the palette's window colour is dark (lightness below the middle).
bool isDark(const QPalette& palette);

// The label colour of secondary text: the window text at reduced opacity.
QColor secondaryLabel(const QPalette& palette, QPalette::ColorGroup group = QPalette::Active);

// The orange of warnings (verification problems, undone batches) for the
// palette's appearance.
QColor warningOrange(const QPalette& palette);

// `base` scaled to `parts` of its 13 (the body size): 10 is a caption, 17 a
// title; the caption size (10 parts), and the same in the system's
// fixed-width family.
QFont scaledFont(const QFont& base, qreal parts);
QFont captionFont(const QFont& base);
QFont monospacedCaptionFont(const QFont& base);

// `color` with its opacity multiplied by `opacity`.
QColor withOpacity(QColor color, qreal opacity);

// Sets `role` (the text colour unless told) on `widget`'s own palette; its
// other roles stay as they are. Colours worked out from a palette are set
// again on every palette change.
void setColor(QWidget& widget, const QColor& color, QPalette::ColorRole role = QPalette::WindowText);

// Shows the checked one of a row of segment buttons in `palette`'s accent
// colour (the style's pressed shade alone barely shows in a dark palette);
// the others take their parent's colours. Set again when the check moves.
void colorSegments(const QList<QAbstractButton*>& segments, const QPalette& palette);

}  // namespace tess::theme
