#include "ui/mainwindow/ShellActions.h"
#include "model/UpdateManager.h"
#include "platform/Updater.h"
#include "ui/mainwindow/QuitSheet.h"
#include "ui/widgets/Theme.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <memory>
#include <thread>

namespace tess {
namespace {

class SwitchableUpdater : public Updater {
public:
    bool canCheckForUpdates() const override { return canCheck; }
    void checkForUpdates() override { ++checks; }
    bool automaticallyChecksForUpdates() const override { return false; }
    void setAutomaticallyChecksForUpdates(bool) override { }
    bool automaticallyDownloadsUpdates() const override { return false; }
    void setAutomaticallyDownloadsUpdates(bool) override { }
    void setCanCheckObserver(std::function<void(bool)> o) override { observer = std::move(o); }

    std::atomic<bool> canCheck {false};
    std::atomic<int> checks {0};
    std::function<void(bool)> observer;
};

TEST(ShellActionsTest, MenusCarryTheCommandsAndUpdateCheckFollowsTheUpdater)
{
    auto updater = std::make_shared<SwitchableUpdater>();
    UpdateManager updates(updater);
    ShellActions actions(updates);
    QMenuBar bar;
    actions.fillMenuBar(bar);
    auto* app = bar.findChild<QMenu*>(QStringLiteral("applicationMenu"));
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(app->actions().at(0)->text(), QStringLiteral("About Tessaline"));
    EXPECT_EQ(app->actions().at(1)->text(), QStringLiteral("Check for Updates..."));
    EXPECT_EQ(actions.settings()->text(), QStringLiteral("Settings..."));
    EXPECT_EQ(actions.settings()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
    EXPECT_EQ(actions.showMainWindow()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_0));
    EXPECT_EQ(actions.quit()->shortcut(), QKeySequence(QKeySequence::Quit));

    EXPECT_FALSE(actions.checkForUpdates()->isEnabled());
    std::thread([&] {
        updater->canCheck = true;
        updater->observer(true);
    }).join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return actions.checkForUpdates()->isEnabled(); }));
    actions.checkForUpdates()->trigger();
    EXPECT_EQ(updater->checks.load(), 1);

    QSignalSpy settings(&actions, &ShellActions::settingsRequested);
    QSignalSpy quit(&actions, &ShellActions::quitRequested);
    actions.settings()->trigger();
    actions.quit()->trigger();
    EXPECT_EQ(settings.count(), 1);
    EXPECT_EQ(quit.count(), 1);

    QMenu tray;
    actions.fillTrayMenu(tray);
    ASSERT_EQ(tray.actions().size(), 4);
    EXPECT_TRUE(tray.actions().at(0)->isSeparator());
    EXPECT_EQ(tray.actions().at(1), actions.about());
}

// The sheet only tells: closing it (Escape) hides it; the quit it stands
// for goes on either way (see the quit tests).
TEST(ShellActionsTest, QuitSheetIsWindowModalWithAnIndeterminateBarAndCloses)
{
    QMainWindow window;
    window.resize(800, 480);
    window.show();
    auto* sheet = new QuitSheet(&window);
    sheet->open();
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(sheet->isVisible());
    auto* bar = sheet->findChild<QProgressBar*>(QStringLiteral("quitProgressBar"));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->maximum(), 0);
    const QString folder = QStringLiteral(TESSALINE_BINARY_DIR "/screenshots/shell");
    QDir().mkpath(folder);
    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? theme::darkPalette() : theme::lightPalette());
        QTest::qWait(20);
        sheet->grab().save(folder + (dark ? QStringLiteral("/quit-sheet-dark.png") : QStringLiteral("/quit-sheet-light.png")));
    }
    QApplication::setPalette(theme::lightPalette());
    QTest::keyClick(sheet, Qt::Key_Escape);
    EXPECT_FALSE(sheet->isVisible());
}

}  // namespace
}  // namespace tess
