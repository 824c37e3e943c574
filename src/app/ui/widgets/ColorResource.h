#pragma once

#include <array>
#include <optional>
#include <string_view>

class QColor;
class QPalette;

namespace tess {

// The application's own named colours. Each has a light and a dark value;
// `namedColor` picks one from the palette it is given, so callers resolve a
// colour when they paint and never keep it across a theme change.
enum class ColorName {
    brandAmber,
    brandBlue,
    brandBrown,
    brandGreen,
    brandIndigo,
    brandMagenta,
    brandMint,
    brandRed,
    brandViolet,
    cool,
    warm,
    // The background of changed characters in path views.
    highlight,
};

inline constexpr std::array kAllColorNames = {
    ColorName::brandAmber,
    ColorName::brandBlue,
    ColorName::brandBrown,
    ColorName::brandGreen,
    ColorName::brandIndigo,
    ColorName::brandMagenta,
    ColorName::brandMint,
    ColorName::brandRed,
    ColorName::brandViolet,
    ColorName::cool,
    ColorName::warm,
    ColorName::highlight,
};

// The colour's catalog name ("brandAmber", ..., "highlight").
std::string_view colorCatalogName(ColorName name);
// The colour of a catalog name, compared exactly; absent for any other text.
std::optional<ColorName> colorNamed(std::string_view catalogName);

// The colour's value for the palette: the dark value when the palette's
// window colour is dark, else the light value.
QColor namedColor(ColorName name, const QPalette& palette);
// A named colour, or the palette's secondary label colour when absent.
QColor namedColorOrSecondary(const std::optional<ColorName>& name, const QPalette& palette);

}  // namespace tess
