#include "ui/widgets/ColorResource.h"

#include "ui/widgets/Theme.h"

#include <QColor>
#include <QPalette>

namespace tess {
namespace {

struct ColorEntry {
    ColorName name;
    std::string_view catalogName;
    QRgb light;
    QRgb dark;
};

// Dark values stay saturated enough for white text on filter badges.
constexpr ColorEntry kColors[] = {
    {ColorName::brandAmber, "brandAmber", 0xC98A00, 0xD99A1E},
    {ColorName::brandBlue, "brandBlue", 0x1F6FD1, 0x3D8BEB},
    {ColorName::brandBrown, "brandBrown", 0x8B5E3C, 0xA87B55},
    {ColorName::brandGreen, "brandGreen", 0x2E9E4F, 0x3DB563},
    {ColorName::brandIndigo, "brandIndigo", 0x4B4FC4, 0x6E72F0},
    {ColorName::brandMagenta, "brandMagenta", 0xC2308F, 0xDB4FAE},
    {ColorName::brandMint, "brandMint", 0x139C8F, 0x2BB8A8},
    {ColorName::brandRed, "brandRed", 0xD1343A, 0xE5534B},
    {ColorName::brandViolet, "brandViolet", 0x7E44C9, 0x9D68E8},
    {ColorName::cool, "cool", 0x2F6FB3, 0x5B9BE0},
    {ColorName::warm, "warm", 0xD0731E, 0xE88A35},
    {ColorName::highlight, "highlight", 0xFFCF40, 0xB8901A},
};

const ColorEntry& entry(ColorName name)
{
    for (const ColorEntry& e : kColors) {
        if (e.name == name) {
            return e;
        }
    }
    return kColors[0];
}

}  // namespace

std::string_view colorCatalogName(ColorName name)
{
    return entry(name).catalogName;
}

std::optional<ColorName> colorNamed(std::string_view catalogName)
{
    for (const ColorEntry& e : kColors) {
        if (e.catalogName == catalogName) {
            return e.name;
        }
    }
    return std::nullopt;
}

QColor namedColor(ColorName name, const QPalette& palette)
{
    const ColorEntry& e = entry(name);
    return QColor::fromRgb(theme::isDark(palette) ? e.dark : e.light);
}

QColor namedColorOrSecondary(const std::optional<ColorName>& name, const QPalette& palette)
{
    return name ? namedColor(*name, palette) : theme::secondaryLabel(palette);
}

}  // namespace tess
