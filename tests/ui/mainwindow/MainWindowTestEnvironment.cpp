#include "QtTestApplication.h"

#include <QApplication>
#include <QFile>

namespace tess {
namespace {

// One screen of 1440 × 900, large enough for the main window at its default
// size (the offscreen platform's own screen is 800 × 600).
bool useLargeOffscreenScreen()
{
    if (qgetenv("QT_QPA_PLATFORM") != "offscreen") {
        return false;
    }
    const QString path = QStringLiteral(TESSALINE_BINARY_DIR "/test_mainwindow_screen.json");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    file.write(R"({"screens": [{"name": "main", "x": 0, "y": 0, "width": 1440, "height": 900, "logicalDpi": 96,
        "logicalBaseDpi": 96, "dpr": 1}]})");
    file.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(path));
    return true;
}

const bool kLargeScreen = useLargeOffscreenScreen();
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new test::QtTestApplication<QApplication>("test_mainwindow"));

}  // namespace
}  // namespace tess
