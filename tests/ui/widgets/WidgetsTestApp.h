#pragma once

#include <QPalette>
#include <QString>

namespace tess::test {

// The application's two palettes (the tests start with the light one).
QPalette lightPalette();
QPalette darkPalette();
// Sets the application palette and lets it reach every widget.
void setAppPalette(const QPalette& palette);
// Where a review screenshot of that name goes (the folder is created).
QString screenshotPath(const QString& name);

}  // namespace tess::test
