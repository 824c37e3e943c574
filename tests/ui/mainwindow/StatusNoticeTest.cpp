// The status bar's notice about a damaged index that was replaced, in the
// window as the application composes it, at 1000 and 800 pixels wide: the
// whole sentence shows, only the path of the kept file is shortened (in its
// middle), and the tooltip holds it whole.

#include "ComposedMainWindow.h"
#include "DriveMainWindow.h"
#include "TempDir.h"

#include "index/FileIndexDatabase.h"
#include "model/MonitorViewModel.h"
#include "ui/mainwindow/MainStatusBar.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <string>

namespace tess {
namespace {

TEST(StatusNoticeTest, TheDamagedIndexNoticeShortensItsPathNeverItsSentence)
{
    test::TempDir dir;
    dir.writeFile("tree/a:b.txt", "x");
    // A data folder deep enough that the path does not fit beside the sentence.
    const std::string data = dir / "home/someone/.local/share/app.quenby.Tessaline/a-folder-with-a-rather-long-name";
    std::filesystem::create_directories(data);
    std::ofstream(data + "/" + FileIndexDatabase::kFileName) << std::string(8192, 'x');
    test::ComposedMainWindow composed(dir, data);
    test::openTreeForNtfs(composed, dir);
    QMainWindow& window = composed.show();
    ContentView& content = *composed.content();
    auto& bar = *window.findChild<MainStatusBar*>();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !bar.noticeText().isEmpty(); }, 20000));

    const QString notice = bar.noticeText();
    const QString path = QString::fromStdString(*content.model().indexNotice()).section(QStringLiteral("kept as "), 1).section(u' ', 0, 0);
    ASSERT_TRUE(path.startsWith(QString::fromStdString(data + "/tessaline.db.damaged-"))) << path.toStdString();
    const QString before = notice.left(notice.indexOf(path));
    const QString after = notice.mid(notice.indexOf(path) + path.size());
    ASSERT_TRUE(before.startsWith(QStringLiteral("The index of scanned items was damaged"))) << notice.toStdString();
    ASSERT_TRUE(after.endsWith(QStringLiteral("the next scan rebuilds it."))) << notice.toStdString();

    auto* label = bar.findChild<QLabel*>(QStringLiteral("statusNoticeLabel"));
    ASSERT_NE(label, nullptr);
    for (const int width : {1000, 800}) {
        SCOPED_TRACE(width);
        window.resize(width, 600);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window.width() == width; }));
        QTest::qWait(20);
        const QString shown = bar.noticeShownText();
        // The sentence whole around the path, which keeps its start and end.
        ASSERT_TRUE(shown.startsWith(before) && shown.endsWith(after)) << shown.toStdString();
        const QString shownPath = shown.mid(before.size(), shown.size() - before.size() - after.size());
        EXPECT_TRUE(shownPath.endsWith(path.mid(path.lastIndexOf(u'/')))) << shownPath.toStdString();  // the file name whole
        if (shownPath != path) {
            const qsizetype cut = shownPath.indexOf(u'…');
            ASSERT_GT(cut, 0) << shownPath.toStdString();
            EXPECT_TRUE(path.startsWith(shownPath.left(cut)) && path.endsWith(shownPath.mid(cut + 1)))
                << shownPath.toStdString();
        }
        // Every line of it on screen, the tooltip with the path whole.
        EXPECT_GE(label->height(), label->heightForWidth(label->width()));
        EXPECT_EQ(label->visibleRegion().boundingRect(), label->rect());
        EXPECT_TRUE(bar.noticeToolTip().contains(path));
        window.grab().save(test::ComposedMainWindow::screenshotPath(QStringLiteral("index-notice-%1").arg(width)));
    }
}

}  // namespace
}  // namespace tess
