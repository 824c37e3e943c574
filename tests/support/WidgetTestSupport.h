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

// Saves a picture of the widget for review under the build folder.
inline void saveScreenshot(QWidget& widget, const QString& name)
{
    const QString folder = QStringLiteral(TESSALINE_BINARY_DIR "/screenshots/issue-list");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(widget.grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png")));
}

}  // namespace tess::test
