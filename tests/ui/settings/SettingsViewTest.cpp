#include "FakeHelperServer.h"
#include "FakeServiceManager.h"
#include "TempDir.h"
#include "WidgetTestSupport.h"

#include "model/HelperStatusManager.h"
#include "model/PreferencesManager.h"
#include "model/SettingsManager.h"
#include "model/UpdateManager.h"
#include "platform/LoginItem.h"
#include "platform/Updater.h"
#include "plist/NotificationCenter.h"
#include "settings/DefaultsStore.h"
#include "ui/settings/HelpPopover.h"
#include "ui/settings/SettingsView.h"
#include "ui/widgets/Card.h"
#include "ui/widgets/Theme.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tess {
namespace {

class FakeUpdater : public Updater {
public:
    bool canCheckForUpdates() const override { return m_canCheck; }
    void checkForUpdates() override { ++checks; }
    bool automaticallyChecksForUpdates() const override { return m_checks; }
    void setAutomaticallyChecksForUpdates(bool enabled) override { m_checks = enabled; }
    bool automaticallyDownloadsUpdates() const override { return m_downloads; }
    void setAutomaticallyDownloadsUpdates(bool enabled) override { m_downloads = enabled; }
    void setCanCheckObserver(std::function<void(bool)> observer) override { m_observer = std::move(observer); }

    // The updater's answer changes now; the update manager hears of it later.
    void announce(bool canCheck)
    {
        m_canCheck = canCheck;
        if (m_observer) {
            m_observer(canCheck);
        }
    }

    std::atomic<bool> m_canCheck = false;
    bool m_checks = true;
    bool m_downloads = false;
    int checks = 0;

private:
    std::function<void(bool)> m_observer;
};

class RecordingLoginItem : public LoginItem {
public:
    Status setRegistered(bool registered) override
    {
        requests.push_back(registered);
        if (readOnly) {
            return Error {kAppErrorDomain, 13, "Permission denied"};
        }
        m_registered = registered;
        return {};
    }
    bool isRegistered() const override { return m_registered; }

    std::vector<bool> requests;
    bool readOnly = false;
    bool m_registered = false;
};

QString screenshotPath(const QString& name)
{
    return test::screenshotPath(QStringLiteral("settings"), name);
}

// Sets the application palette and waits until `widget` has it.
void usePalette(const QPalette& palette, const QWidget& widget)
{
    QApplication::setPalette(palette);
    EXPECT_TRUE(QTest::qWaitFor([&] { return widget.palette().color(QPalette::Window) == palette.color(QPalette::Window); }));
}

struct Theme {
    const char* name;
    QPalette (*palette)();
};
const Theme kThemes[] = {{"light", &theme::lightPalette}, {"dark", &theme::darkPalette}};

class SettingsViewTest : public ::testing::Test {
protected:
    SettingsViewTest()
        : m_store(std::make_shared<DefaultsStore>(m_dir / "defaults.plist"))
        , m_settings(m_store)
    {
        m_center.addObserver(PreferencesManager::kStopMonitoringForReset,
            [this](const NotificationCenter::Notification&) { ++m_stopPosts; });
    }

    ~SettingsViewTest() override { QApplication::setPalette(theme::lightPalette()); }

    PreferencesManager::Dependencies preferences()
    {
        PreferencesManager::Dependencies deps;
        deps.settings = &m_settings;
        deps.loginItem = &m_login;
        deps.notifications = &m_center;
        deps.applyTheme = [this](AppSettings::AppearanceMode mode) { m_themes.emplace_back(mode.rawValue()); };
        deps.databasePath = [this] { return databasePath(); };
        deps.monitoringStopped = [] { return true; };
        deps.resetMinimumDelayMs = 0;
        return deps;
    }

    std::string databasePath() const { return m_dir / "tessaline.db"; }

    // A status manager over the fake service manager; with `answering`, a
    // daemon answers on the socket.
    HelperStatusManager& helper(bool answering = false)
    {
        if (answering) {
            m_server.emplace(m_dir / "helper.sock");
        }
        HelperStatusManager::Dependencies deps;
        deps.serviceManager = m_services;
        deps.socketPath = m_dir / "helper.sock";
        deps.homeFolder = [] { return std::string("/home/tester"); };
        deps.openLoginItems = [this] { ++m_opened; };
        deps.sleep = [](std::chrono::milliseconds) {};
        m_helper = std::make_unique<HelperStatusManager>(std::move(deps));
        return *m_helper;
    }

    // Closes the sheet and starts over with a service manager in `status`
    // whose registrations fail.
    void restartHelper(ServiceStatus status, bool answering)
    {
        m_view.reset();
        m_helper.reset();
        m_server.reset();
        m_services = std::make_shared<test::FakeServiceManager>();
        m_services->setStatus(status);
        m_services->failRegistration("Request dismissed");
        m_opened = 0;
        helper(answering);
    }

    SettingsView& openView(bool answering = false)
    {
        HelperStatusManager& status = m_helper ? *m_helper : helper(answering);
        m_view = std::make_unique<SettingsView>(preferences(), status, m_updates);
        m_view->open();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(m_view.get()));
        settle();
        return *m_view;
    }

    // Waits until the status manager's worker has done everything queued so
    // far, and the results have been applied.
    void settle()
    {
        bool done = false;
        m_helper->refreshStatus([&done] { done = true; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, 8000));
    }

    template <class T>
    T* child(const char* name)
    {
        T* found = m_view->findChild<T*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    // The sheet scrolled to `card`, once the layouts have taken in the last
    // changes (a grab does not wait for them).
    QImage shot(const char* card)
    {
        for (int pass = 0; pass < 4; ++pass) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        }
        auto* area = child<QScrollArea>("settingsScrollArea");
        area->ensureWidgetVisible(child<Card>(card), 0, 16);
        return m_view->grab().toImage();
    }

    test::TempDir m_dir;
    std::shared_ptr<DefaultsStore> m_store;
    SettingsManager m_settings;
    RecordingLoginItem m_login;
    NotificationCenter m_center;
    std::vector<std::string> m_themes;
    int m_stopPosts = 0;
    std::shared_ptr<test::FakeServiceManager> m_services = std::make_shared<test::FakeServiceManager>();
    std::optional<test::FakeHelperServer> m_server;
    int m_opened = 0;
    std::shared_ptr<FakeUpdater> m_updater = std::make_shared<FakeUpdater>();
    UpdateManager m_updates {m_updater};
    std::unique_ptr<HelperStatusManager> m_helper;
    std::unique_ptr<SettingsView> m_view;
};

TEST_F(SettingsViewTest, DaemonBlockFollowsTheHelperStatus)
{
    struct Case {
        const char* name;
        ServiceStatus status;
        bool answering;
        bool green;
        const char* statusText;
        const char* button;
        bool actionBox;
        const char* firstStep;
        bool buttonOpensSystemd;
    };
    const Case cases[] = {
        {"ready", ServiceStatus::enabled, true, true, "Helper is running", "systemd", false, "1. Click 'systemd' above.", true},
        {"enabled-silent", ServiceStatus::enabled, false, false, "Helper not available", "systemd", true,
            "1. Click 'systemd' above.", true},
        {"not-registered", ServiceStatus::notRegistered, false, false, "Helper not available", "Enable Helper", true,
            "1. Click 'Enable Helper' above.", false},
        {"requires-approval", ServiceStatus::requiresApproval, false, false, "Helper not available", "Enable Helper", true,
            "1. Click 'Enable Helper' above.", false},
    };
    m_settings.updateSettings([](AppSettings& s) { s.preferences.usePrivilegedHelper = true; });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restartHelper(c.status, c.answering);
        openView();

        EXPECT_TRUE(child<QWidget>("helperStatusRow")->isVisible());
        EXPECT_EQ(child<QLabel>("helperStatusLabel")->text(), QLatin1String(c.statusText));
        EXPECT_EQ(child<QPushButton>("daemonButton")->text(), QLatin1String(c.button));
        EXPECT_EQ(child<QWidget>("helperActionBox")->isVisible(), c.actionBox);
        EXPECT_EQ(child<QLabel>("helperStep1Label")->text(), QLatin1String(c.firstStep));
        const QColor dot = child<QWidget>("helperStatusDot")->grab().toImage().pixelColor(4, 4);
        EXPECT_EQ(dot.green() > dot.red(), c.green) << dot.name().toStdString();

        for (const Theme& t : kThemes) {
            usePalette(t.palette(), *m_view);
            shot("advancedCard").save(screenshotPath(QStringLiteral("daemon-%1-%2").arg(c.name, t.name)));
        }
        usePalette(theme::lightPalette(), *m_view);

        // The button opens systemd's approval for an enabled service, else registers.
        const int registrations = m_services->registerCalls();
        QTest::mouseClick(child<QPushButton>("daemonButton"), Qt::LeftButton);
        settle();
        settle();
        EXPECT_EQ(m_services->registerCalls() - registrations, c.buttonOpensSystemd ? 0 : 1);
        if (c.buttonOpensSystemd) {
            EXPECT_EQ(m_opened, 1);
        }
    }
}

TEST_F(SettingsViewTest, TurningTheHelperOnRequestsApprovalOnlyWhenStillNotReady)
{
    struct Case {
        const char* name;
        bool storedOn;
        ServiceStatus status;
        bool answering;
        bool click;
        int requests;
    };
    const Case cases[] = {
        {"on while ready", false, ServiceStatus::enabled, true, true, 0},
        {"on while not ready", false, ServiceStatus::notRegistered, false, true, 1},
        {"opened already on", true, ServiceStatus::notRegistered, false, false, 0},
        {"turned off", true, ServiceStatus::notRegistered, false, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_settings.updateSettings([&c](AppSettings& s) { s.preferences.usePrivilegedHelper = c.storedOn; });
        restartHelper(c.status, c.answering);
        openView();
        auto* toggle = child<QCheckBox>("usePrivilegedHelperCheckBox");
        EXPECT_EQ(toggle->isChecked(), c.storedOn);
        const int quietBefore = m_services->quietRegisterCalls();

        if (c.click) {
            toggle->click();
        }
        // The first settles the switch's refresh (and queues any request
        // behind it); the second settles the request.
        settle();
        settle();
        EXPECT_EQ(m_services->registerCalls(), c.requests);
        EXPECT_EQ(m_settings.settings().preferences.usePrivilegedHelper, c.click != c.storedOn);
        EXPECT_EQ(child<QWidget>("helperStatusRow")->isVisible(), c.click != c.storedOn);
        if (c.requests > 0) {
            // The request came after a refresh that tried the quiet way first.
            EXPECT_GT(m_services->quietRegisterCalls(), quietBefore);
        }
    }
}

TEST_F(SettingsViewTest, ShowingRefreshesTheFiguresAndTheHelperAndSoDoesEachActivation)
{
    {
        std::ofstream file(databasePath(), std::ios::binary);
        file << std::string(1'500'000, 'x');  // not a database: no rows, size counted
    }
    m_services->setStatus(ServiceStatus::enabled);
    helper(/*answering=*/true);
    const int before = m_services->statusCalls();
    SettingsView& view = openView();
    // The sheet's refresh and settle()'s (and one more when the window's
    // activation made the application active).
    EXPECT_GE(m_services->statusCalls() - before, 2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return child<QLabel>("databaseSizeLabel")->text() == QLatin1String("1.5 MB"); }));
    EXPECT_EQ(child<QLabel>("databaseCountLabel")->text(), QStringLiteral("0 files"));

    struct Case {
        const char* name;
        bool shown;
        Qt::ApplicationState state;
        int refreshes;
    };
    const Case cases[] = {
        {"active while shown", true, Qt::ApplicationActive, 1},
        {"inactive while shown", true, Qt::ApplicationInactive, 0},
        {"active while hidden", false, Qt::ApplicationActive, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        view.setVisible(c.shown);
        const int calls = m_services->statusCalls();
        emit qApp->applicationStateChanged(c.state);
        settle();
        EXPECT_EQ(m_services->statusCalls() - calls - 1, c.refreshes);
    }
}

TEST_F(SettingsViewTest, UpdateButtonFollowsTheUpdaterAndAsksAgainWhenPressed)
{
    helper();
    openView();
    auto* button = child<QPushButton>("checkForUpdatesButton");
    EXPECT_FALSE(button->isEnabled());

    m_updater->announce(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return button->isEnabled(); }));
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(m_updater->checks, 1);

    // The updater stops being able to check; the press comes before the flag
    // has reached the window.
    m_updater->m_canCheck = false;
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(m_updater->checks, 1);
    m_updater->announce(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !button->isEnabled(); }));

    // The two switches show and write the updater's own settings.
    auto* autoCheck = child<QCheckBox>("autoCheckCheckBox");
    auto* autoDownload = child<QCheckBox>("autoDownloadCheckBox");
    EXPECT_TRUE(autoCheck->isChecked());
    EXPECT_FALSE(autoDownload->isChecked());
    autoCheck->click();
    autoDownload->click();
    EXPECT_FALSE(m_updater->m_checks);
    EXPECT_TRUE(m_updater->m_downloads);
}

TEST_F(SettingsViewTest, ResetAlertCancelKeepsTheDatabaseAndResetDeletesIt)
{
    helper();
    SettingsView& view = openView();
    std::ofstream(databasePath()) << "index";
    QSignalSpy resets(&view.preferencesManager(), &PreferencesManager::databaseResetFinished);

    struct Case {
        const char* button;
        bool deleted;
    };
    for (const Case& c : {Case {"cancelButton", false}, Case {"resetButton", true}}) {
        SCOPED_TRACE(c.button);
        QTest::mouseClick(child<QPushButton>("resetDatabaseButton"), Qt::LeftButton);
        auto* alert = child<QMessageBox>("resetDatabaseAlert");
        ASSERT_NE(alert, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(alert));
        EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
        EXPECT_EQ(alert->text(), QStringLiteral("Reset Database"));
        EXPECT_EQ(alert->informativeText(),
            QStringLiteral("This will stop monitoring and delete the entire file index database. You will need to "
                           "rescan all files. This cannot be undone."));
        if (!c.deleted) {
            for (const Theme& t : kThemes) {
                usePalette(t.palette(), view);
                alert->grab().save(screenshotPath(QStringLiteral("reset-alert-%1").arg(t.name)));
            }
            usePalette(theme::lightPalette(), view);
        }
        QTest::mouseClick(alert->findChild<QPushButton*>(QLatin1String(c.button)), Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return view.findChild<QMessageBox*>() == nullptr; }));
        if (c.deleted) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return resets.count() == 1; }));
        } else {
            QTest::qWait(50);
        }
        EXPECT_EQ(m_stopPosts, c.deleted ? 1 : 0);
        EXPECT_EQ(std::filesystem::exists(databasePath()), !c.deleted);
    }
    EXPECT_TRUE(view.isVisible());
}

TEST_F(SettingsViewTest, ReturnInsertsALineInThePatternEditorAndIsDoneEverywhereElse)
{
    m_settings.updateSettings([](AppSettings& s) { s.preferences.excludePatterns = {"*.tmp", "build"}; });
    helper();
    openView();
    auto* editor = child<QPlainTextEdit>("excludePatternsEdit");
    EXPECT_EQ(editor->toPlainText(), QStringLiteral("*.tmp\nbuild"));
    editor->setFocus();
    editor->moveCursor(QTextCursor::End);
    QTest::keyClick(editor, Qt::Key_Return);
    QTest::keyClicks(editor, QStringLiteral("\t.DS_Store  "));
    QTest::keyClick(editor, Qt::Key_Return);
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_TRUE(m_view->isVisible());
    EXPECT_EQ(editor->toPlainText(), QStringLiteral("*.tmp\nbuild\n\t.DS_Store  \n\n"));
    const std::vector<std::string> expected = {"*.tmp", "build", ".DS_Store"};
    EXPECT_EQ(m_settings.settings().preferences.excludePatterns, expected);
    EXPECT_EQ(SettingsManager::loadSettings(*m_store).preferences.excludePatterns, expected);

    for (const char* name : {"debugLoggingCheckBox", "appearanceDarkButton", "resetDatabaseButton", "daemonButton"}) {
        SCOPED_TRACE(name);
        openView();
        auto* widget = child<QWidget>(name);
        widget->setFocus();
        QTest::keyClick(widget, Qt::Key_Return);
        EXPECT_FALSE(m_view->isVisible());
        EXPECT_EQ(m_view->result(), QDialog::Accepted);
        EXPECT_EQ(m_view->findChild<QMessageBox*>(), nullptr);
    }
}

TEST_F(SettingsViewTest, GeneralControlsWriteThroughAndFollowTheModel)
{
    helper();
    openView();
    QTest::mouseClick(child<QToolButton>("appearanceDarkButton"), Qt::LeftButton);
    EXPECT_EQ(m_settings.settings().preferences.appearanceMode, AppSettings::AppearanceMode::dark);
    EXPECT_EQ(m_themes, std::vector<std::string> {"dark"});
    EXPECT_TRUE(child<QToolButton>("appearanceDarkButton")->isChecked());
    EXPECT_FALSE(child<QToolButton>("appearanceAutoButton")->isChecked());

    auto* debug = child<QCheckBox>("debugLoggingCheckBox");
    EXPECT_EQ(debug->accessibleName(), QStringLiteral("Debug Logging"));
    const bool debugBefore = debug->isChecked();
    debug->click();
    EXPECT_EQ(m_settings.settings().preferences.debugLogging, !debugBefore);

    // A login item that cannot change puts the switch back.
    auto* login = child<QCheckBox>("startAtLoginCheckBox");
    login->click();
    EXPECT_TRUE(login->isChecked());
    EXPECT_EQ(m_login.requests, std::vector<bool> {true});
    m_login.readOnly = true;
    login->click();
    EXPECT_EQ(m_login.requests, (std::vector<bool> {true, false}));
    EXPECT_TRUE(login->isChecked());
    EXPECT_TRUE(m_settings.settings().preferences.startAtLogin);
}

TEST_F(SettingsViewTest, HelpPopoversShowTheirTexts)
{
    helper();
    SettingsView& view = openView();
    struct Case {
        const char* button;
        const char* popover;
        std::vector<const char*> texts;
    };
    const Case cases[] = {
        {"excludePatternsHelpButton", "excludePatternsHelpPopover",
            {"Patterns match against filenames only, not full paths. Matching is case-insensitive.", "Examples",
                "/^~\\$.*\\.docx$/", "Word lock files (~$*.docx)", "backup_1, backup_A, etc."}},
        {"implicitExclusionsHelpButton", "implicitExclusionsHelpPopover",
            {"The following items are always excluded from scanning, regardless of exclude patterns:",
                "These items are not analyzed and will not appear in the issues list. This protects system metadata, "
                "application bundles, and document packages from being modified."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        auto* button = child<QToolButton>(c.button);
        child<QScrollArea>("settingsScrollArea")->ensureWidgetVisible(button);
        QTest::mouseClick(button, Qt::LeftButton);
        auto* popover = view.findChild<HelpPopover*>(QLatin1String(c.popover));
        ASSERT_NE(popover, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(popover));
        EXPECT_EQ(popover->width(), HelpPopover::kWidth);
        QStringList shown;
        for (const QLabel* label : popover->findChildren<QLabel*>()) {
            shown << label->text();
        }
        for (const char* text : c.texts) {
            EXPECT_TRUE(shown.contains(QString::fromUtf8(text))) << text;
        }
        for (const Theme& t : kThemes) {
            usePalette(t.palette(), *popover);
            popover->grab().save(screenshotPath(QStringLiteral("%1-%2").arg(c.popover, t.name)));
        }
        usePalette(theme::lightPalette(), *popover);
        popover->hide();
    }
}

TEST_F(SettingsViewTest, ScreenshotsOfEachCard)
{
    m_settings.updateSettings([](AppSettings& s) {
        s.preferences.excludePatterns = {"*.tmp", "node_modules", "/^~\\$.*\\.docx$/"};
        s.preferences.usePrivilegedHelper = true;
    });
    m_services->setStatus(ServiceStatus::enabled);
    helper(/*answering=*/true);
    openView();
    for (const Theme& t : kThemes) {
        usePalette(t.palette(), *m_view);
        for (const char* card : {"generalCard", "updatesCard", "exclusionsCard", "advancedCard"}) {
            const QImage image = shot(card);
            EXPECT_EQ(image.size() / image.devicePixelRatio(), QSize(520, 640));
            image.save(screenshotPath(QStringLiteral("%1-%2").arg(card, t.name)));
        }
    }
}

}  // namespace
}  // namespace tess
