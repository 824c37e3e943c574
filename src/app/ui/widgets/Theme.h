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

// `palette` with the roles the application derives from its text colours,
// whatever set the rest (its own palettes, or a desktop's that leaves roles
// at Qt's defaults: a half-transparent black placeholder, a pure blue link,
// on a dark scheme too):
// - PlaceholderText, the role of every text, symbol and field placeholder
//   drawn in the secondary style, is secondaryLabel of its colour group;
// - Link and LinkVisited that do not read on the window (4.5:1) become the
//   link colour of the application's palette of the same lightness.
QPalette withDerivedRoles(QPalette palette);

// Keeps the application palette's derived roles in step with it: whenever
// it changes (the desktop's scheme while "Auto" follows it, or a palette set
// directly), they are derived again on the next turn of the event loop.
// Needs the QApplication; calls after the first do nothing.
void keepDerivedRolesInStep();

// The WCAG 2 contrast ratio of two colours (their opacity ignored): 1 to 21.
double contrastRatio(const QColor& a, const QColor& b);
// The opaque colour `color` gives drawn over the opaque `background`.
QColor composite(const QColor& color, const QColor& background);

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

// The colours the style paints down the middle of `button`'s face, inside
// its frame, with `colors` (resolved), checked or not: the style lightens
// and shades the button colour it is given.
QList<QColor> buttonFace(const QAbstractButton& button, const QPalette& colors, bool checked = false);

// `color` moved towards black (on light backgrounds) or white (on dark ones)
// as far as it takes to read on each of `backgrounds` at `ratio`.
QColor readableOn(const QColor& color, const QList<QColor>& backgrounds, double ratio = 4.5);

// Shows the checked one of a row of segment buttons in `palette`'s selection
// colours (the style's pressed shade alone barely shows in a dark palette),
// the fill deepened where the selection text would not read on it; the
// others take their parent's colours. Set again when the check moves.
void colorSegments(const QList<QAbstractButton*>& segments, const QPalette& palette);

}  // namespace tess::theme
