#include "ContentViewFixture.h"

#include "FakeServiceManager.h"
#include "FakeWorkspace.h"
#include "LogCapture.h"
#include "TempDir.h"

#include "index/FileIndexDatabase.h"
#include "model/HelperStatusManager.h"
#include "model/MonitorViewModel.h"
#include "model/SettingsManager.h"
#include "settings/DefaultsStore.h"
#include "ui/issuelist/FileListView.h"
#include "ui/mainwindow/ContentView.h"
#include "ui/mainwindow/MainStatusBar.h"
#include "ui/mainwindow/MainToolbar.h"
#include "ui/mainwindow/PlaceholderPane.h"
#include "ui/mainwindow/ProgressOverlay.h"
#include "ui/settings/AdvancedSettingsView.h"
#include "ui/widgets/Theme.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>

#include <memory>
#include <optional>
#include <string>

namespace tess {
namespace {

// The whole road through the window: the ready pane, a folder chosen, the
// scan with its overlay, the issue list, the rename confirmation.
TEST_F(ContentViewTest, ReadyPaneToScanToIssueListAndConfirmation)
{
    m_dir.writeFile("tree/a:b.txt", "1");
    m_dir.writeFile("tree/CON", "2");
    m_dir.writeFile("tree/fine.txt", "3");
    m_dir.writeFile("tree/sub/x?y.txt", "4");
    ContentView& view = build();
    m_window->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane().content().title == QStringLiteral("Tessaline"); }));
    saveShot(*m_window, QStringLiteral("ready-choose-light"));

    m_picker->answer = m_dir / "tree";
    QTest::mouseClick(pane().findChild<QToolButton*>(QStringLiteral("paneSymbolButton")), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane().content().title == QStringLiteral("Ready to Scan"); }));
    EXPECT_EQ(view.toolbar().sourceButton()->text(), QStringLiteral("tree"));
    saveShot(*m_window, QStringLiteral("ready-to-scan-light"));

    QAction* scan = view.toolbar().scanAction();
    ASSERT_TRUE(scan->isEnabled());
    scan->trigger();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return qobject_cast<FileListView*>(current()) != nullptr; }, 20000));
    EXPECT_GE(view.model().issueCount(), 3);
    auto* status = view.findChild<MainStatusBar*>();
    ASSERT_TRUE(QTest::qWaitFor([&] { return status->leftText().endsWith(QStringLiteral(" files indexed")); }));

    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !view.model().monitoringStatus().isScanning() && view.model().filteredIssueCount() >= 3; }, 20000));
    ItemIdSet all;
    for (std::size_t row = 0; row < view.model().filteredIssueCount(); ++row) {
        all.insert(view.model().filteredIssue(row).id);
    }
    view.model().setSelectedFileIDs(all);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.toolbar().renameAction()->isEnabled(); }));
    view.model().setShowAdvancedSettings(true);
    view.toolbar().renameAction()->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.renameConfirmation() != nullptr; }));
    QMessageBox* box = view.renameConfirmation();
    EXPECT_EQ(box->text(), QStringLiteral("Rename Files"));
    EXPECT_TRUE(box->informativeText().startsWith(QStringLiteral("Rename ")));
    saveShot(*box, QStringLiteral("rename-confirmation-light"));
    saveShot(*m_window, QStringLiteral("issue-list-advanced-light"));
    QPushButton* cancel = nullptr;
    QPushButton* rename = nullptr;
    for (QAbstractButton* button : box->buttons()) {
        (box->buttonRole(button) == QMessageBox::DestructiveRole ? rename : cancel) = qobject_cast<QPushButton*>(button);
    }
    QTest::mouseClick(cancel, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.model().showRenameConfirmation(); }));
    EXPECT_FALSE(view.model().isRenaming());
    EXPECT_TRUE(m_dir.exists("tree/a:b.txt"));
    view.toolbar().renameAction()->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.renameConfirmation() != nullptr; }));
    for (QAbstractButton* button : view.renameConfirmation()->buttons()) {
        if (view.renameConfirmation()->buttonRole(button) == QMessageBox::DestructiveRole) {
            QTest::mouseClick(button, Qt::LeftButton);
        }
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.renameResult() != nullptr; }, 20000));
    QMessageBox* result = view.renameResult();
    EXPECT_EQ(result->text(), QStringLiteral("Rename Complete"));
    EXPECT_TRUE(result->informativeText().contains(QStringLiteral("renamed"))) << result->informativeText().toStdString();
    EXPECT_TRUE(m_dir.exists("tree/a_b.txt"));
    saveShot(*result, QStringLiteral("rename-complete-light"));
    QAbstractButton* viewReport = nullptr;
    for (QAbstractButton* button : result->buttons()) {
        if (result->buttonRole(button) == QMessageBox::ActionRole) {
            viewReport = button;
        }
    }
    ASSERT_NE(viewReport, nullptr);
    EXPECT_EQ(viewReport->text(), QStringLiteral("View Report"));
    QTest::mouseClick(viewReport, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.renameReportSheet() != nullptr; }));
    EXPECT_EQ(m_reportSheets, 1);
    view.renameReportSheet()->reject();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.model().showRenameReport(); }));
    view.model().stopMonitoring();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.model().hasCoordinator(); }));
}

// A window opened on a folder with stored results reads them once: one
// database open, one fetch, one restore.
TEST_F(ContentViewTest, StartUpRestoresTheLastResultsOnce)
{
    m_dir.writeFile("tree/a:b.txt", "1");
    m_dir.writeFile("tree/fine.txt", "2");
    {
        ContentView& view = build();
        m_picker->answer = m_dir / "tree";
        view.model().selectSourceFolder();
        view.model().startMonitoring();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return view.model().monitoringStatus().kind() == MonitoringStatus::Kind::monitoring && view.model().issueCount() == 1; },
            20000));
        view.model().stopMonitoring();
        ASSERT_TRUE(QTest::qWaitFor([&] { return view.isIndexReleased(); }, 20000));
        m_window.reset();
    }

    test::LogCapture log;
    ContentView& view = build();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.model().isRestoringSession() && view.model().issueFiles().size() == 1; }, 20000));
    QTest::qWait(200);  // a second restore, if one were started, lands by now
    EXPECT_EQ(log.count("INFO", "FileIndexDatabase opened at "), 1) << log.text();
    EXPECT_EQ(log.count("INFO", "MonitorViewModel: Restored 2 cached files (1 issues) for tree"), 1) << log.text();
    EXPECT_TRUE(view.model().hasDatabase());
}

TEST_F(ContentViewTest, ApprovalAlertAndNotificationsOpenTheirSheets)
{
    m_approvalDelay = 10;
    ContentView& view = build();
    m_window->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.helperAlert() != nullptr; }, 5000));
    QMessageBox* alert = view.helperAlert();
    EXPECT_EQ(alert->text(), QStringLiteral("Helper Authorization Required"));
    saveShot(*alert, QStringLiteral("helper-alert-light"));
    for (QAbstractButton* button : alert->buttons()) {
        if (alert->buttonRole(button) == QMessageBox::RejectRole) {
            QTest::mouseClick(button, Qt::LeftButton);
        }
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_settings.settings().preferences.usePrivilegedHelper; }));
    EXPECT_FALSE(SettingsManager::loadSettings(*std::make_shared<DefaultsStore>(m_dir / "defaults.plist"))
                     .preferences.usePrivilegedHelper);
    EXPECT_EQ(m_openedApproval, 0);

    m_center.post(ContentView::kOpenSettingsSheet);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.settingsSheet() != nullptr; }));
    EXPECT_EQ(view.settingsSheet()->objectName(), QStringLiteral("settingsSheet"));
    view.settingsSheet()->reject();
    m_center.post(ContentView::kShowAboutWindow);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.aboutSheet() != nullptr; }));
    EXPECT_EQ(view.aboutSheet()->windowTitle(), QStringLiteral("About Tessaline"));
}

// A tree without issues ends on "All Clear"; a data folder that cannot hold
// the index ends on the error pane.
TEST_F(ContentViewTest, AllClearAndErrorPanes)
{
    m_dir.writeFile("clean/fine.txt", "1");
    m_dir.writeFile("clean/also-fine.txt", "2");
    m_settings.updateSettings([this](AppSettings& s) { s.preferences.lastSourcePath = m_dir / "clean"; });
    ContentView& view = build();
    m_window->show();
    view.toolbar().scanAction()->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane().content().title == QStringLiteral("All Clear"); }, 20000))
        << "shown: " << pane().content().title.toStdString() << " / " << pane().content().text.toStdString() << " / "
        << view.model().statusText();
    EXPECT_EQ(pane().content().text, QStringLiteral("2 files indexed, no compatibility issues found."));
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane().content().footnote.startsWith(QStringLiteral("Last scan: ")); }));
    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? theme::darkPalette() : theme::lightPalette());
        QTest::qWait(20);
        saveShot(*m_window, dark ? QStringLiteral("all-clear-dark") : QStringLiteral("all-clear-light"));
    }
    QApplication::setPalette(theme::lightPalette());
    view.model().stopMonitoring();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.model().hasCoordinator(); }));
}

TEST_F(ContentViewTest, ErrorPaneShowsTheMessageLiterally)
{
    m_dir.writeFile("tree/a.txt", "1");
    m_dir.writeFile("data", "a file where the data folder should be");
    m_settings.updateSettings([this](AppSettings& s) { s.preferences.lastSourcePath = m_dir / "tree"; });
    ContentView& view = build();
    m_window->show();
    view.toolbar().scanAction()->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane().content().title == QStringLiteral("Error"); }, 20000));
    EXPECT_FALSE(pane().content().text.isEmpty());
    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? theme::darkPalette() : theme::lightPalette());
        QTest::qWait(20);
        saveShot(*m_window, dark ? QStringLiteral("error-dark") : QStringLiteral("error-light"));
    }
    QApplication::setPalette(theme::lightPalette());
}

TEST_F(ContentViewTest, ScreensInBothPalettes)
{
    ContentView& view = build();
    m_window->show();
    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? theme::darkPalette() : theme::lightPalette());
        const QString suffix = dark ? QStringLiteral("-dark") : QStringLiteral("-light");
        QTest::qWait(20);
        saveShot(*m_window, QStringLiteral("ready-choose") + suffix);

        // An error, then a missing folder: the panes follow in place.
        view.model().stopMonitoring();
        m_settings.updateSettings([this](AppSettings& s) { s.preferences.lastSourcePath = m_dir / "gone <i>R&D"; });
        view.model().restoreSavedSourceFolder();
        ASSERT_TRUE(QTest::qWaitFor([&] { return pane().content().emphasis.endsWith(QStringLiteral("gone <i>R&D")); }));
        saveShot(*m_window, QStringLiteral("ready-missing") + suffix);
        view.model().resetSourceSelection();

        // A rename in progress covers the pane.
        view.model().setRenameProgressLabel("Renaming 3 item(s)…");
        view.model().setRenameStartTime(std::chrono::system_clock::now() - std::chrono::seconds(7));
        view.model().setIsRenaming(true);
        auto* overlay = view.findChild<ProgressOverlay*>(QStringLiteral("renameProgressOverlay"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return overlay->isVisible(); }));
        EXPECT_EQ(overlay->title(), QStringLiteral("Renaming 3 item(s)…"));
        EXPECT_EQ(overlay->timer(), QStringLiteral("0:07"));
        saveShot(*m_window, QStringLiteral("renaming-overlay") + suffix);
        view.model().setIsRenaming(false);
    }
    QApplication::setPalette(theme::lightPalette());
}

}  // namespace
}  // namespace tess
