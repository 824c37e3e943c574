#include "QtTestApplication.h"

#include <QApplication>
#include <QFile>
#include <QSaveFile>

namespace tess {
namespace {

// One screen of 1440 × 900, large enough for the main window at its default
// size (the offscreen platform's own screen is 800 × 600).
bool useLargeOffscreenScreen()
{
    if (qgetenv("QT_QPA_PLATFORM") != "offscreen") {
        return false;
    }
    // Test programs run in parallel: each replaces the file whole (written
    // beside it, then renamed), so none reads another's half-written copy.
    const QString path = QStringLiteral(TESSALINE_BINARY_DIR "/test_mainwindow_screen.json");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    file.write(R"({"screens": [{"name": "main", "x": 0, "y": 0, "width": 1440, "height": 900, "logicalDpi": 96,
        "logicalBaseDpi": 96, "dpr": 1}]})");
    if (!file.commit()) {
        return false;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(path));
    return true;
}

const bool kLargeScreen = useLargeOffscreenScreen();
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new test::QtTestApplication<QApplication>("test_mainwindow"));

}  // namespace
}  // namespace tess
