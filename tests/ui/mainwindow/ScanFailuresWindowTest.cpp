// Scans that fall short and an index that cannot be used, each driven
// through the real view model and window: what the window says, and whether
// Scan can be pressed.

#include "ContentViewFixture.h"

#include "Gate.h"
#include "scan/DirectoryWalker.h"

#include <QLabel>
#include <QPushButton>

#include <atomic>
#include <cerrno>
#include <filesystem>

namespace tess {
namespace {

struct Shown {
    std::optional<QString> paneTitle;  // none: the issue list
    QString statusLeft;
    QString notice;
    QString noticeToolTipPart;  // empty: no tooltip expected
    bool scanEnabled = false;
    bool settingsButton = false;
};

// Public: the cases' steps reach it through a reference.
class ScanFailuresWindowTest : public ContentViewTest {
public:
    using ContentViewTest::current;
    using ContentViewTest::pane;

    MainStatusBar& statusBar() const { return *m_view->findChild<MainStatusBar*>(); }
    QLabel* paneLabel(const char* name) const { return pane().findChild<QLabel*>(QString::fromLatin1(name)); }

    // Scans open folders through the real file system, but refuse the ones
    // whose relative path starts with `prefix` (the source folder itself for
    // an empty prefix).
    void refuse(std::string prefix)
    {
        m_opener = [prefix = std::move(prefix)](int rootFd, const std::string& relative, const std::string& absolute) {
            const bool refused = prefix.empty() ? rootFd < 0 : rootFd >= 0 && relative.rfind(prefix, 0) == 0;
            return refused ? -EACCES : DirectoryWalker::openDirectoryDefault(rootFd, relative, absolute);
        };
    }

    // Scans find the folder `relative` gone when they come to open it, as
    // another program's temporary folder may be.
    void vanish(std::string relative)
    {
        m_opener = [relative = std::move(relative)](int rootFd, const std::string& path, const std::string& absolute) {
            if (rootFd >= 0 && path == relative) {
                std::filesystem::remove_all(absolute);
            }
            return DirectoryWalker::openDirectoryDefault(rootFd, path, absolute);
        };
    }

    // Scans hold at the folder "sub" until the gate opens.
    void holdAtSub()
    {
        m_opener = [gate = m_gate, waiting = m_waiting](int rootFd, const std::string& relative, const std::string& absolute) {
            if (relative == "sub" && !waiting->exchange(true)) {
                gate->wait();
            }
            return DirectoryWalker::openDirectoryDefault(rootFd, relative, absolute);
        };
    }

    // Scan pressed, then pressed again while it runs (it reads "Scanning…" and stops).
    void stopWithTheToolbar(ContentView& view)
    {
        pressScan(view);
        ASSERT_TRUE(QTest::qWaitFor([&] { return m_waiting->load() && MainWindowState::isStoppableScan(view.snapshot()); }, 20000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return view.toolbar().scanAction()->text() == QStringLiteral("Scanning…"); }));
        view.toolbar().scanAction()->trigger();
        m_gate->open();
        ASSERT_TRUE(QTest::qWaitFor([&] { return view.model().lastScanStopped(); }, 20000));
    }

    // Presses Scan once the toolbar shows it enabled.
    static void pressScan(ContentView& view)
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return view.toolbar().scanAction()->isEnabled(); }));
        view.toolbar().scanAction()->trigger();
    }

    void scanToTheEnd(ContentView& view)
    {
        pressScan(view);
        ASSERT_TRUE(QTest::qWaitFor([&] { return view.model().lastScanSummary().has_value(); }, 20000));
    }

    void expectShown(const ContentView& view, const Shown& shown)
    {
        if (!shown.paneTitle) {
            EXPECT_NE(qobject_cast<FileListView*>(current()), nullptr);
        } else {
            EXPECT_EQ(current(), &pane());
            EXPECT_EQ(pane().content().title.toStdString(), shown.paneTitle->toStdString());
        }
        EXPECT_EQ(statusBar().leftText().toStdString(), shown.statusLeft.toStdString());
        EXPECT_EQ(statusBar().noticeText().toStdString(), shown.notice.toStdString());
        if (shown.noticeToolTipPart.isEmpty()) {
            EXPECT_TRUE(statusBar().noticeToolTip().isEmpty()) << statusBar().noticeToolTip().toStdString();
        } else {
            EXPECT_TRUE(statusBar().noticeToolTip().contains(shown.noticeToolTipPart)) << statusBar().noticeToolTip().toStdString();
        }
        EXPECT_EQ(view.toolbar().scanAction()->isEnabled(), shown.scanEnabled);
        auto* settings = statusBar().findChild<QPushButton*>(QStringLiteral("statusSettingsButton"));
        EXPECT_EQ(settings->isVisibleTo(&statusBar()), shown.settingsButton);
    }

    void screenshots(const QString& name)
    {
        for (const bool dark : {false, true}) {
            QApplication::setPalette(dark ? theme::darkPalette() : theme::lightPalette());
            QTest::qWait(20);
            saveShot(*m_window, name + (dark ? QStringLiteral("-dark") : QStringLiteral("-light")));
        }
        QApplication::setPalette(theme::lightPalette());
    }

protected:
    std::shared_ptr<test::Gate> m_gate = std::make_shared<test::Gate>();
    std::shared_ptr<std::atomic<bool>> m_waiting = std::make_shared<std::atomic<bool>>(false);
};

using Fixture = ScanFailuresWindowTest;

TEST_F(ScanFailuresWindowTest, EachShortfallIsShownAndScanCanStartAgain)
{
    struct Case {
        const char* name;
        const char* folder;  // the source folder, below the test's folder
        std::vector<const char*> files;
        std::function<void(Fixture&)> prepare;  // before the window is built
        std::function<void(Fixture&, ContentView&, const std::string& folder)> act;
        Shown shown;
        std::function<void(Fixture&, ContentView&)> then;  // further checks and steps
    };
    const auto scan = [](Fixture& t, ContentView& view, const std::string&) { t.scanToTheEnd(view); };
    const Case cases[] = {
        {"unreadable-subfolder", "clean", {"fine.txt", "also-fine.txt", "locked/inner:x.txt"},
            [](Fixture& t) { t.refuse("locked"); }, scan,
            {QStringLiteral("All Clear"), QStringLiteral("3 files indexed"), QStringLiteral("1 folder could not be read"),
                QStringLiteral("/locked (Permission denied)"), true, false},
            [](Fixture& t, ContentView&) {
                EXPECT_TRUE(t.pane().content().footnote.startsWith(
                    QStringLiteral("1 folder could not be read, so not every folder was checked.\nLast scan: ")));
            }},
        {"vanished-subfolder", "tmp", {"fine.txt", "also-fine.txt", "gone/inner:x.txt"},
            [](Fixture& t) { t.vanish("gone"); }, scan,
            {QStringLiteral("All Clear"), QStringLiteral("2 files indexed"), QString(), QString(), true, false},
            [](Fixture& t, ContentView& view) {
                EXPECT_TRUE(t.pane().content().footnote.startsWith(QStringLiteral("Last scan: ")))
                    << t.pane().content().footnote.toStdString();
                EXPECT_EQ(view.snapshot().unreadableCount, 0);
            }},
        {"unreadable-source", "closed", {"fine.txt", "a:b.txt"}, [](Fixture& t) { t.refuse(""); },
            [](Fixture&, ContentView& view, const std::string&) {
                Fixture::pressScan(view);
                ASSERT_TRUE(QTest::qWaitFor([&] { return view.model().lastScanStopped(); }, 20000));
            },
            {QStringLiteral("Scan Stopped"), QStringLiteral("Scan stopped before it finished"),
                QStringLiteral("1 folder could not be read"), QStringLiteral("(Permission denied)"), true, false},
            [](Fixture& t, ContentView&) {
                EXPECT_EQ(t.pane().content().text.toStdString(),
                    "The source folder could not be read (Permission denied), so nothing was checked. Click Scan to try again.");
            }},
        {"scan-stopped", "tree", {"fine.txt", "a:b.txt", "sub/x?y.txt"}, [](Fixture& t) { t.holdAtSub(); },
            [](Fixture& t, ContentView& view, const std::string&) { t.stopWithTheToolbar(view); },
            {QStringLiteral("Scan Stopped"), QStringLiteral("Scan stopped before it finished"), QString(), QString(), true,
                false},
            [](Fixture& t, ContentView& view) {
                EXPECT_EQ(t.pane().content().text, MainWindowState::scanStoppedPaneText(view.snapshot()));
                EXPECT_TRUE(t.pane().content().text.startsWith(QStringLiteral("The scan was stopped before it finished")));
                EXPECT_EQ(view.toolbar().sourceButton()->text(), QStringLiteral("tree"));
                EXPECT_EQ(view.toolbar().scanAction()->text(), QStringLiteral("Scan"));
                // The pane's button starts it again, to the end.
                QTest::mouseClick(t.pane().findChild<QToolButton*>(QStringLiteral("paneSymbolButton")), Qt::LeftButton);
                ASSERT_TRUE(QTest::qWaitFor([&] { return qobject_cast<FileListView*>(t.current()) != nullptr; }, 20000));
                EXPECT_FALSE(view.model().lastScanStopped());
            }},
        {"rescan-missing", "My  Docs <b>R&amp;D", {"fine.txt", "a:b.txt"}, {},
            [](Fixture& t, ContentView& view, const std::string& folder) {
                t.scanToTheEnd(view);
                ASSERT_TRUE(QTest::qWaitFor([&] { return qobject_cast<FileListView*>(t.current()) != nullptr; }));
                std::filesystem::remove_all(folder);
                Fixture::pressScan(view);
                ASSERT_TRUE(QTest::qWaitFor([&] { return view.model().missingSourcePath().has_value(); }, 20000));
                ASSERT_TRUE(QTest::qWaitFor([&] { return t.current() == &t.pane(); }));
            },
            {QString(), QStringLiteral("Idle"), QString(), QString(), false, false},
            [](Fixture& t, ContentView&) {
                EXPECT_TRUE(t.paneLabel("paneEmphasisLabel")->text().endsWith(QStringLiteral("/My  Docs <b>R&amp;D")));
                EXPECT_EQ(t.paneLabel("paneEmphasisLabel")->textFormat(), Qt::PlainText);
                EXPECT_EQ(t.paneLabel("paneEmphasisTextLabel")->text(), QStringLiteral(" missing."));
                EXPECT_EQ(t.paneLabel("paneEmphasisTextLabel")->textFormat(), Qt::PlainText);
                QStringList links;
                for (QPushButton* link : t.pane().findChildren<QPushButton*>(QStringLiteral("paneLinkButton"))) {
                    links << link->text();
                }
                EXPECT_EQ(links, (QStringList {QStringLiteral("recheck"), QStringLiteral("reset selection")}));
            }},
        {"index-error", "indexed", {"fine.txt", "a:b.txt", "sub/x?y.txt"}, {},
            [](Fixture& t, ContentView& view, const std::string&) {
                t.scanToTheEnd(view);
                view.model().reportIndexError("attempt to write a readonly database");
            },
            {std::nullopt, QStringLiteral("4 files indexed"),
                QStringLiteral("The file index cannot be used: attempt to write a readonly database"),
                QStringLiteral("Reset the database in Settings"), true, true},
            [](Fixture& t, ContentView& view) {
                QTest::mouseClick(t.statusBar().findChild<QPushButton*>(QStringLiteral("statusSettingsButton")), Qt::LeftButton);
                ASSERT_TRUE(QTest::qWaitFor([&] { return view.settingsSheet() != nullptr; }));
                if (QDialog* sheet = view.settingsSheet()) {
                    sheet->reject();
                }
            }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string relative = std::string(c.name) + "/" + c.folder;
        for (const char* file : c.files) {
            m_dir.writeFile(relative + "/" + file, "x");
        }
        m_opener = {};
        if (c.prepare) {
            c.prepare(*this);
        }
        ContentView& view = build();
        m_window->show();
        m_picker->answer = m_dir / relative;
        view.model().selectSourceFolder();
        c.act(*this, view, m_dir / relative);
        if (HasFatalFailure()) {
            return;
        }
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return statusBar().noticeText() == c.shown.notice && statusBar().leftText() == c.shown.statusLeft
                    && !view.model().monitoringStatus().isScanning();
            },
            20000))
            << statusBar().leftText().toStdString() << " / " << statusBar().noticeText().toStdString();
        expectShown(view, c.shown);
        screenshots(QStringLiteral("failure-") + QString::fromLatin1(c.name));
        if (c.then) {
            c.then(*this, view);
        }
        view.model().stopMonitoring();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !view.model().hasCoordinator(); }));
    }
}

}  // namespace
}  // namespace tess
