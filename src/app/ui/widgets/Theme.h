#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

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

// The caption size of `base` (10 of 13 parts), and the same in the
// system's fixed-width family.
// `base` scaled to `parts` of its 13 (the body size): 10 is a caption, 17 a title.
QFont scaledFont(const QFont& base, qreal parts);
QFont captionFont(const QFont& base);
QFont monospacedCaptionFont(const QFont& base);

// `color` with its opacity multiplied by `opacity`.
QColor withOpacity(QColor color, qreal opacity);

}  // namespace tess::theme
