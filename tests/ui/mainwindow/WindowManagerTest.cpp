#include "ui/mainwindow/WindowManager.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>

namespace tess {
namespace {

class WindowManagerTest : public ::testing::Test {
protected:
    WindowManager::Dependencies dependencies()
    {
        WindowManager::Dependencies deps;
        deps.buildMainContent = [this](QMainWindow& window) {
            ++m_mainBuilds;
            window.setCentralWidget(new QLabel(QStringLiteral("content")));
        };
        deps.makeHelpContent = [this] {
            ++m_helpBuilds;
            return new QLabel(QStringLiteral("help"));
        };
        deps.makeAboutContent = [this](std::function<void()> close) {
            auto* button = new QPushButton(QStringLiteral("Close"));
            button->setObjectName(QStringLiteral("closeButton"));
            QObject::connect(button, &QPushButton::clicked, button, close);
            ++m_aboutBuilds;
            return button;
        };
        deps.applyAppearance = [](AppSettings::AppearanceMode mode) {
            QPalette palette = QApplication::palette();
            palette.setColor(QPalette::Window, mode == AppSettings::AppearanceMode::dark ? Qt::black : Qt::white);
            QApplication::setPalette(palette);
        };
        return deps;
    }

    int m_mainBuilds = 0;
    int m_helpBuilds = 0;
    int m_aboutBuilds = 0;
};

TEST_F(WindowManagerTest, MainWindowIsBuiltOnceAndKeptAfterClosing)
{
    WindowManager manager(dependencies());
    manager.showStandaloneWindow();
    QMainWindow* first = manager.standaloneWindow();
    ASSERT_NE(first, nullptr);
    QWidget* content = first->centralWidget();
    EXPECT_EQ(first->windowTitle(), QStringLiteral("Tessaline"));
    EXPECT_EQ(first->minimumSize(), QSize(800, 480));
    first->close();
    EXPECT_FALSE(first->isVisible());
    manager.showStandaloneWindow();
    EXPECT_EQ(manager.standaloneWindow(), first);
    EXPECT_EQ(first->centralWidget(), content);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(m_mainBuilds, 1);
}

TEST_F(WindowManagerTest, HelpAndAboutAreRebuiltOnlyAfterClosing)
{
    WindowManager manager(dependencies());
    manager.showHelpWindow();
    QPointer<QWidget> help = manager.helpWindow();
    EXPECT_EQ(help->windowTitle(), QStringLiteral("Filesystem Capabilities Reference"));
    EXPECT_EQ(help->minimumSize(), QSize(900, 500));
    manager.showHelpWindow();
    EXPECT_EQ(m_helpBuilds, 1);
    help->close();
    manager.showHelpWindow();
    EXPECT_EQ(m_helpBuilds, 2);
    EXPECT_TRUE(help.isNull());  // the closed one was released

    manager.showAboutWindow();
    QWidget* about = manager.aboutWindow();
    EXPECT_EQ(about->windowTitle(), QStringLiteral("About Tessaline"));
    QTest::mouseClick(about->findChild<QPushButton*>(QStringLiteral("closeButton")), Qt::LeftButton);
    EXPECT_FALSE(about->isVisible());
    manager.showAboutWindow();
    EXPECT_EQ(m_aboutBuilds, 2);
}

TEST_F(WindowManagerTest, ThemeReachesHiddenKeptWindowsOnTheNextTurn)
{
    WindowManager manager(dependencies());
    manager.showHelpWindow();
    QWidget* help = manager.helpWindow();
    help->hide();
    manager.applyTheme(AppSettings::AppearanceMode::dark);
    EXPECT_NE(help->palette().color(QPalette::Window), QColor(Qt::black));  // not before the next turn
    ASSERT_TRUE(QTest::qWaitFor([&] { return help->palette().color(QPalette::Window) == QColor(Qt::black); }));
    manager.applyTheme(AppSettings::AppearanceMode::light);
    ASSERT_TRUE(QTest::qWaitFor([&] { return help->palette().color(QPalette::Window) == QColor(Qt::white); }));
}

// The main window opens at 1000 × 800 where the screen has room, else as
// large as the screen's free area, never below its minimum of 800 × 480.
TEST(WindowManagerSizeTest, TheWindowFitsItsScreen)
{
    struct Case {
        const char* name;
        QSize available;
        QSize expected;
    };
    const Case cases[] = {
        {"large screen", QSize(1920, 1050), QSize(1000, 800)},
        {"laptop", QSize(1366, 740), QSize(1000, 740)},
        {"tiny screen", QSize(640, 400), QSize(800, 480)},
        {"no screen known", QSize(), QSize(1000, 800)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(WindowManager::fittedSize(QSize(1000, 800), QSize(800, 480), c.available), c.expected);
    }
}

}  // namespace
}  // namespace tess
