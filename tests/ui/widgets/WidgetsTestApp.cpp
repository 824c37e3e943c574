#include "WidgetsTestApp.h"

#include "QtTestApplication.h"

#include "ui/widgets/Theme.h"

#include <QApplication>
#include <QDir>
#include <QStyleFactory>

#include <gtest/gtest.h>

#include <memory>

namespace tess::test {

namespace {

// One application object for the whole program (widgets need it; it lives on
// the main thread), in the light palette, with an isolated home.
[[maybe_unused]] const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(
    new QtTestApplication<QApplication>("test_ui_widgets", [] { QApplication::setPalette(theme::lightPalette()); }));

}  // namespace

QPalette lightPalette()
{
    return theme::lightPalette();
}

QPalette darkPalette()
{
    return theme::darkPalette();
}

void setAppPalette(const QPalette& palette)
{
    QApplication::setPalette(palette);
    QApplication::processEvents();
}

QString screenshotPath(const QString& name)
{
    const QString folder = QStringLiteral(TESSALINE_BINARY_DIR "/screenshots/advanced");
    QDir().mkpath(folder);
    return folder + QLatin1Char('/') + name + QStringLiteral(".png");
}

}  // namespace tess::test
