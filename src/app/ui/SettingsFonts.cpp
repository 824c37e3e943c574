#include "ui/SettingsFonts.h"

#include <QFontDatabase>

#include <algorithm>

namespace tess {

namespace {

constexpr qreal kBodySize = 13.0;
constexpr qreal kFloorPoints = 7.5;

QFont scaled(QFont font, const QFont& base, qreal size)
{
    const qreal points = base.pointSizeF() > 0 ? base.pointSizeF() : 9.0;
    font.setPointSizeF(std::max(points * size / kBodySize, kFloorPoints));
    return font;
}

}  // namespace

QFont SettingsFonts::caption(const QFont& base)
{
    return scaled(base, base, 10.0);
}

QFont SettingsFonts::callout(const QFont& base)
{
    return scaled(base, base, 12.0);
}

QFont SettingsFonts::headline(const QFont& base)
{
    QFont font = base;
    font.setBold(true);
    return font;
}

QFont SettingsFonts::monospacedCaption(const QFont& base)
{
    return scaled(QFontDatabase::systemFont(QFontDatabase::FixedFont), base, 10.0);
}

}  // namespace tess
