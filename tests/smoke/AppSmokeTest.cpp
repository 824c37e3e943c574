// Runs the real application binary as a user would start it, in a private
// home, with no daemon and a service manager that refuses everything.

#include "TempDir.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace tess {
namespace {

class AppSmokeTest : public ::testing::Test {
protected:
    AppSmokeTest()
    {
        m_dir.makeDir("home");
        m_dir.makeDir("runtime");
        ::chmod((m_dir / "runtime").c_str(), 0700);
    }

    QProcessEnvironment environment(const QString& platform) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QString home = QString::fromStdString(m_dir / "home");
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
        env.insert(QStringLiteral("XDG_STATE_HOME"), home + QStringLiteral("/.local/state"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(m_dir / "runtime"));
        env.insert(QStringLiteral("TESSALINE_HELPER_SOCKET"), QString::fromStdString(m_dir / "nobody.sock"));
        env.insert(QStringLiteral("TESSALINE_SERVICE_MANAGER"), QStringLiteral("unavailable"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        env.remove(QStringLiteral("TESSALINE_UNDER_TEST"));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        env.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
        env.remove(QStringLiteral("QT_QPA_PLATFORMTHEME"));
        for (const auto& [name, value] : m_extraEnvironment) {
            env.insert(name, value);
        }
        return env;
    }

    QString logText() const
    {
        QFile log(QString::fromStdString(m_dir / "home/.local/state/quenby/Tessaline-app.log"));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }

    // Starts the application; with `screenshot`, it saves its main window
    // there once shown and quits by itself.
    void start(QProcess& process, const QString& platform, const QString& screenshot = {}, bool underXvfb = false)
    {
        QProcessEnvironment env = environment(platform);
        if (!screenshot.isEmpty()) {
            env.insert(QStringLiteral("TESSALINE_SCREENSHOT"), screenshot);
        }
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        if (underXvfb) {
            process.start(QStringLiteral("xvfb-run"),
                {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1280x1024x24"),
                    QStringLiteral(TESSALINE_APP)});
        } else if (!m_windowManager.isEmpty()) {
            // The window manager first, then the application on the same display.
            const QString script = QStringLiteral("%1 >/dev/null 2>&1 & sleep 1; exec \"$0\"").arg(m_windowManager);
            process.start(QStringLiteral("xvfb-run"),
                {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1280x1024x24"), QStringLiteral("sh"),
                    QStringLiteral("-c"), script, QStringLiteral(TESSALINE_APP)});
        } else {
            process.start(QStringLiteral(TESSALINE_APP), QStringList());
        }
        ASSERT_TRUE(process.waitForStarted(10000));
    }

    void expectScreenshot(const QString& path)
    {
        QImage image(path);
        ASSERT_FALSE(image.isNull()) << path.toStdString();
        EXPECT_GE(image.width(), 800);
        EXPECT_GE(image.height(), 480);
        const QRgb first = image.pixel(0, 0);
        bool varied = false;
        for (int y = 0; y < image.height() && !varied; y += 7) {
            for (int x = 0; x < image.width() && !varied; x += 7) {
                varied = image.pixel(x, y) != first;
            }
        }
        EXPECT_TRUE(varied) << "the main window is one colour";
    }

    static QString shotPath(const QString& name)
    {
        const QString folder = QStringLiteral(TESSALINE_BINARY_DIR "/screenshots/shell");
        QDir().mkpath(folder);
        return folder + u'/' + name;
    }

    test::TempDir m_dir;
    QString m_windowManager;  // started before the application, under Xvfb
    std::vector<std::pair<QString, QString>> m_extraEnvironment;
};

TEST_F(AppSmokeTest, StartsShowsItsWindowAndQuitsOffscreen)
{
    QProcess app;
    const QString shot = shotPath(QStringLiteral("main-window-offscreen.png"));
    QFile::remove(shot);
    start(app, QStringLiteral("offscreen"), shot);
    ASSERT_TRUE(app.waitForFinished(30000)) << app.readAll().toStdString();
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0) << app.readAll().toStdString();
    expectScreenshot(shot);

    // The start-up lines, in order.
    const QString log = logText();
    const QStringList lines = {
        QStringLiteral("Helper initial status: 3 (notFound)"),
        QStringLiteral("❌ Helper register attempt 1 failed: "),
        QStringLiteral("❌ Helper register attempt 2 failed: "),
        QStringLiteral("❌ Helper register attempt 3 failed: "),
        QStringLiteral("Helper post-registration status: 3 (notFound) [registered=false]"),
        QStringLiteral("❌ Helper registration failed after 3 attempts — helper will not be available this session"),
        QStringLiteral("Starting in window mode"),
    };
    qsizetype from = 0;
    for (const QString& line : lines) {
        const qsizetype at = log.indexOf(line, from);
        EXPECT_GE(at, 0) << "missing or out of order: " << line.toStdString() << "\n"
                         << log.toStdString();
        from = at < 0 ? from : at;
    }
}

TEST_F(AppSmokeTest, StartsShowsItsWindowAndQuitsUnderXvfb)
{
    if (QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty()) {
        GTEST_SKIP() << "xvfb-run is not installed";
    }
    QProcess app;
    const QString shot = shotPath(QStringLiteral("main-window-xvfb.png"));
    QFile::remove(shot);
    start(app, QStringLiteral("xcb"), shot, true);
    ASSERT_TRUE(app.waitForFinished(30000)) << app.readAll().toStdString();
    EXPECT_EQ(app.exitCode(), 0) << app.readAll().toStdString();
    expectScreenshot(shot);
}

// The real window system: Xvfb with a window manager, on a desktop whose
// palette is dark. The window is managed and active, and "Auto" appearance
// (the default) takes the desktop's dark palette.
TEST_F(AppSmokeTest, UnderAWindowManagerTheWindowIsActiveAndAutoFollowsADarkDesktop)
{
    m_windowManager = QStandardPaths::findExecutable(QStringLiteral("openbox"));
    if (QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty() || m_windowManager.isEmpty()) {
        GTEST_SKIP() << "xvfb-run or openbox is not installed (scripts/bootstrap installs both)";
    }
    // A KDE desktop's colour scheme, dark, which Qt's desktop theme reads.
    m_dir.writeFile("home/.config/kdeglobals",
        "[Colors:Window]\nBackgroundNormal=35,38,41\nForegroundNormal=239,240,241\n"
        "[Colors:View]\nBackgroundNormal=27,30,32\nForegroundNormal=239,240,241\n"
        "[Colors:Button]\nBackgroundNormal=49,54,59\nForegroundNormal=239,240,241\n"
        "[Colors:Selection]\nBackgroundNormal=61,174,233\nForegroundNormal=239,240,241\n");
    QProcess app;
    const QString shot = shotPath(QStringLiteral("main-window-openbox-dark-desktop.png"));
    QFile::remove(shot);
    m_extraEnvironment = {{QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("KDE")},
        {QStringLiteral("KDE_SESSION_VERSION"), QStringLiteral("5")}, {QStringLiteral("KDE_FULL_SESSION"), QStringLiteral("true")}};
    start(app, QStringLiteral("xcb"), shot);
    ASSERT_TRUE(app.waitForFinished(30000)) << app.readAll().toStdString();
    EXPECT_EQ(app.exitCode(), 0) << app.readAll().toStdString();
    expectScreenshot(shot);
    const QImage image(shot);
    EXPECT_EQ(image.text(QStringLiteral("activeWindow")), QStringLiteral("mainWindow"));
    // The window's background near its lower right corner (the status bar).
    const QColor corner = image.pixelColor(image.width() - 4, image.height() - 4);
    EXPECT_LT(corner.lightness(), 100) << corner.name().toStdString();
}

TEST_F(AppSmokeTest, SecondLaunchHandsOverAndSigtermEndsWithSuccess)
{
    QProcess app;
    start(app, QStringLiteral("offscreen"));
    QElapsedTimer timer;
    timer.start();
    while (!logText().contains(QStringLiteral("Starting in window mode")) && timer.elapsed() < 30000) {
        QTest::qWait(100);
    }
    ASSERT_TRUE(logText().contains(QStringLiteral("Starting in window mode")));

    // A second launch hands over to the first and leaves at once.
    QProcess second;
    start(second, QStringLiteral("offscreen"));
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(app.state(), QProcess::Running);

    ::kill(static_cast<pid_t>(app.processId()), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(15000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
}

}  // namespace
}  // namespace tess
