#pragma once

#include "ui/widgets/ColorResource.h"

#include <QIcon>
#include <QPalette>
#include <QPixmap>

#include <span>
#include <string_view>

class QPainter;
class QRectF;

namespace tess::symbol {

// Every symbol name the views draw. Each maps to one monochrome SVG compiled
// into the binary; only its opacity counts, the colour is given when drawn.
std::span<const std::string_view> names();
bool exists(std::string_view name);

// The symbol as an image of `size` logical pixels at `devicePixelRatio`,
// filled with `color`. A null pixmap (and a warning) for an unknown name.
// Images are cached by name, size, ratio and colour value.
QPixmap pixmap(std::string_view name, QSize size, const QColor& color, qreal devicePixelRatio = 1.0);

// Draws the symbol centred in `rect` (square, the shorter side) in `color`.
void paint(QPainter& painter, const QRectF& rect, std::string_view name, const QColor& color);

// An icon that takes its colour from the application palette each time it is
// painted: the role's colour, of the disabled group for disabled icons.
QIcon icon(std::string_view name, QPalette::ColorRole role = QPalette::WindowText);
// An icon drawn in a named colour, resolved from the application palette
// each time it is painted.
QIcon icon(std::string_view name, ColorName color);

}  // namespace tess::symbol
