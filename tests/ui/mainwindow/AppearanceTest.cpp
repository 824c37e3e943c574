#include "ui/mainwindow/MainWindowComposition.h"
#include "ui/widgets/Theme.h"

#include <gtest/gtest.h>

#include <QApplication>

namespace tess {
namespace {

// Light and dark set the application's own palettes; "Auto" drops them for
// the desktop's (here the test platform's light one), from either.
TEST(AppearanceTest, AutoGivesBackTheDesktopsPalette)
{
    const QPalette before = QApplication::palette();
    using Mode = AppSettings::AppearanceMode;
    MainWindowComposition::applyAppearance(Mode::light);
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), theme::lightPalette().color(QPalette::Window));
    MainWindowComposition::applyAppearance(Mode::dark);
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), theme::darkPalette().color(QPalette::Window));
    MainWindowComposition::applyAppearance(Mode::automatic);
    EXPECT_FALSE(theme::isDark(QApplication::palette()));
    const QPalette automatic = QApplication::palette();
    MainWindowComposition::applyAppearance(Mode::light);
    MainWindowComposition::applyAppearance(Mode::automatic);
    EXPECT_EQ(QApplication::palette(), automatic);
    QApplication::setPalette(before);
}

}  // namespace
}  // namespace tess
