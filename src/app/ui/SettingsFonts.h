#pragma once

#include <QFont>

namespace tess {

// The text sizes of the settings views, derived from the body font `base`
// in the proportions of the desktop's text styles (body 13, callout 12,
// caption 10), never below a readable floor.
class SettingsFonts {
public:
    static QFont caption(const QFont& base);
    static QFont callout(const QFont& base);
    static QFont headline(const QFont& base);
    // The fixed-pitch system font at the caption size.
    static QFont monospacedCaption(const QFont& base);
};

}  // namespace tess
