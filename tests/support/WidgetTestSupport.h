#pragma once

#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QString>
#include <QWidget>

#include <gtest/gtest.h>

namespace tess::test {

// The application object of the widget tests: the program's own where one
// exists, else created once, Fusion style, and kept for the whole run.
inline QApplication& widgetApplication()
{
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        return *existing;
    }
    static int argc = 1;
    static char name[] = "test_ui";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        QApplication::setStyle(QStringLiteral("Fusion"));
        return new QApplication(argc, argv);
    }();
    return *app;
}

// Where a review screenshot goes: "<build>/screenshots/<folder>/<name>.png"
// (the folder is created).
inline QString screenshotPath(const QString& folder, const QString& name)
{
    const QString path = QStringLiteral(TESSALINE_BINARY_DIR "/screenshots/") + folder;
    EXPECT_TRUE(QDir().mkpath(path));
    return path + QLatin1Char('/') + name + QStringLiteral(".png");
}

// Sets the application palette and lets it reach every widget.
inline void setAppPalette(const QPalette& palette)
{
    QApplication::setPalette(palette);
    QApplication::processEvents();
}

// Saves a picture of the widget for review under the build folder.
inline void saveScreenshot(QWidget& widget, const QString& name)
{
    ASSERT_TRUE(widget.grab().save(screenshotPath(QStringLiteral("issue-list"), name)));
}

}  // namespace tess::test
