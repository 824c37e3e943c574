// The application's shortcuts work from every window: with the main window
// closed and the help window active, Ctrl+0 brings the main window back and
// Ctrl+, brings it back with the settings sheet open.

#include "ComposedMainWindow.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QTest>

namespace tess {
namespace {

TEST(ShellShortcutsTest, CtrlZeroAndCtrlCommaBringTheMainWindowBackFromTheHelpWindow)
{
    test::TempDir dir;
    test::ComposedMainWindow composed(dir);
    QMainWindow& main = composed.show();
    WindowManager& windows = composed.windows();
    ContentView* content = composed.content();
    ASSERT_NE(content, nullptr);

    struct Case {
        const char* name;
        QKeySequence keys;
        bool settingsSheet;
    };
    const Case cases[] = {
        {"Ctrl+0", QKeySequence(Qt::CTRL | Qt::Key_0), false},
        {"Ctrl+,", QKeySequence(Qt::CTRL | Qt::Key_Comma), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        main.close();
        ASSERT_FALSE(main.isVisible());
        windows.showHelpWindow();
        QWidget* help = windows.helpWindow();
        ASSERT_NE(help, nullptr);
        QApplication::setActiveWindow(help);
        ASSERT_TRUE(QTest::qWaitFor([help] { return QApplication::activeWindow() == help; }));

        QTest::keySequence(help, c.keys);
        ASSERT_TRUE(QTest::qWaitFor([&main] { return main.isVisible(); }, 2000));
        EXPECT_EQ(windows.standaloneWindow(), &main);  // the same window, not a new one
        if (c.settingsSheet) {
            ASSERT_TRUE(QTest::qWaitFor([content] { return content->settingsSheet() != nullptr; }, 2000));
            QDialog* sheet = content->settingsSheet();
            ASSERT_NE(sheet, nullptr);
            EXPECT_TRUE(sheet->isVisible());
            sheet->reject();
        } else {
            EXPECT_EQ(content->settingsSheet(), nullptr);
        }
        help->close();
    }
}

// The About window carries the same commands.
TEST(ShellShortcutsTest, EveryWindowCarriesTheCommands)
{
    test::TempDir dir;
    test::ComposedMainWindow composed(dir);
    composed.show();
    composed.windows().showHelpWindow();
    composed.windows().showAboutWindow();
    for (QWidget* window : {static_cast<QWidget*>(composed.windows().standaloneWindow()), composed.windows().helpWindow(),
             composed.windows().aboutWindow()}) {
        SCOPED_TRACE(window->objectName().toStdString());
        for (QAction* action : composed.actions().windowActions()) {
            EXPECT_TRUE(window->actions().contains(action)) << action->objectName().toStdString();
        }
    }
}

}  // namespace
}  // namespace tess
