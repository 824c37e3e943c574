// The application's quit path, run for real in a process of its own (the
// application object, the main window, the "Saving analysis results…" sheet
// and a real index with a write still queued): the process must end by
// itself once the write is done, with the sheet open, whatever was asked
// while it waited, SIGTERM included.

#include "ComposedMainWindow.h"
#include "TempDir.h"

#include "index/FileIndexDatabase.h"
#include "ui/mainwindow/ApplicationQuit.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include <csignal>
#include <string>

namespace tess {
namespace {

class ApplicationQuitTest : public ::testing::Test {
protected:
    void start()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QString home = QString::fromStdString(m_home.path());
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
        env.insert(QStringLiteral("XDG_STATE_HOME"), home + QStringLiteral("/.local/state"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_child.setProcessEnvironment(env);
        m_child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_child.start(QStringLiteral(TESSALINE_QUIT_CHILD), {QString::fromStdString(databasePath())});
        ASSERT_TRUE(m_child.waitForStarted(10000));
    }

    ~ApplicationQuitTest() override
    {
        if (m_child.state() != QProcess::NotRunning) {
            m_child.kill();
            m_child.waitForFinished(5000);
        }
    }

    std::string databasePath() const { return m_home / "index/tessaline.db"; }

    // Reads the child's lines until `line` arrives; false when it does not
    // within 20 s or the child ends first.
    bool waitForLine(const QString& line)
    {
        const QDeadlineTimer deadline(20000);
        while (!m_lines.contains(line)) {
            if (m_child.canReadLine()) {
                m_lines.append(QString::fromUtf8(m_child.readLine()).trimmed());
                continue;
            }
            if (deadline.hasExpired() || !m_child.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
                return false;
            }
        }
        return true;
    }

    QString logText() const
    {
        QFile log(QString::fromStdString(m_home / ".local/state/quenby/Tessaline-app.log"));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }

    test::TempDir m_home;
    QProcess m_child;
    QStringList m_lines;
};

TEST_F(ApplicationQuitTest, QuitEndsTheProcessOnceTheQueuedWritesAreDoneWithTheSheetOpen)
{
    for (const bool sigterm : {false, true}) {
        SCOPED_TRACE(sigterm ? "SIGTERM during the wait" : "no signal");
        m_lines.clear();
        QFile::remove(QString::fromStdString(databasePath()));
        QFile::remove(QString::fromStdString(m_home / ".local/state/quenby/Tessaline-app.log"));
        start();
        // Asked three times and the sheet closed once: it waits, sheet shown.
        ASSERT_TRUE(waitForLine(QStringLiteral("waiting"))) << m_lines.join(u'\n').toStdString();
        EXPECT_TRUE(m_lines.contains(QStringLiteral("sheet shown")));
        EXPECT_TRUE(m_lines.contains(QStringLiteral("sheet closed")));
        EXPECT_TRUE(m_lines.contains(QStringLiteral("sheet shown again")));
        if (sigterm) {
            ::kill(static_cast<pid_t>(m_child.processId()), SIGTERM);
            ASSERT_TRUE(waitForLine(QStringLiteral("signal %1").arg(SIGTERM)));
            // Still waiting for the write, which has not happened.
            EXPECT_EQ(m_child.state(), QProcess::Running);
            EXPECT_EQ(FileIndexDatabase::databaseInfo(databasePath()).value_or(FileIndexDatabase::Info {}).rowCount, 0);
        }
        m_child.write("release\n");
        ASSERT_TRUE(m_child.waitForFinished(20000)) << "the process did not end: " << m_lines.join(u'\n').toStdString();
        m_lines.append(QString::fromUtf8(m_child.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts));
        EXPECT_EQ(m_child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(m_child.exitCode(), 0);
        EXPECT_TRUE(m_lines.contains(QStringLiteral("quit with the sheet open"))) << m_lines.join(u'\n').toStdString();
        EXPECT_TRUE(m_lines.contains(QStringLiteral("pending writes 0")));
        // The queued write reached the file before the process ended.
        const auto info = FileIndexDatabase::databaseInfo(databasePath());
        ASSERT_TRUE(info.has_value());
        EXPECT_EQ(info->rowCount, 1);

        const QString log = logText();
        const qsizetype detected = log.indexOf(QStringLiteral("AppDelegate: Pending DB writes detected, waiting before quit…"));
        const qsizetype completed = log.indexOf(QStringLiteral("AppDelegate: Pending DB writes completed, proceeding with quit"));
        EXPECT_GE(detected, 0) << log.toStdString();
        EXPECT_GT(completed, detected) << log.toStdString();
        // The requests made while waiting (SIGTERM too) started no second wait.
        EXPECT_EQ(log.count(QStringLiteral("Pending DB writes detected")), 1);
    }
}

// A quit asked while the main window's model runs a batch brings the closed
// window back with the batch's progress and waits, without the writes'
// sheet, until the batch ends; then it goes on.
TEST(ApplicationQuitBatchTest, QuitDuringABatchShowsTheWindowAndWaitsForTheBatch)
{
    test::TempDir dir;
    test::ComposedMainWindow window(dir);
    QMainWindow& main = window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    main.close();
    int quits = 0;
    ApplicationQuit quit(window.windows(), window.contentPointer(), [&quits] { ++quits; });
    quit.listenTo(window.actions());
    MonitorViewModel& model = window.content()->model();
    model.setIsRenaming(true);
    model.setRenameProgressLabel("Renaming 3 items…");

    window.actions().quit()->trigger();
    EXPECT_EQ(quit.controller().state(), QuitController::State::waitingForBatch);
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(quit.sheet(), nullptr);
    auto* overlay = main.findChild<QWidget*>(QStringLiteral("renameProgressOverlay"));
    ASSERT_NE(overlay, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([overlay] { return overlay->isVisible(); }));
    QTest::qWait(20);
    EXPECT_EQ(quits, 0);

    model.setIsRenaming(false);
    EXPECT_TRUE(QTest::qWaitFor([&quits] { return quits == 1; }));
}

}  // namespace
}  // namespace tess
