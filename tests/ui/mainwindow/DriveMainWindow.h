#pragma once

// Steps that tests of the composed main window take: the folder it opens,
// and what they do through its toolbar with real mouse clicks.

#include "ComposedMainWindow.h"
#include "TempDir.h"

#include "model/MonitorViewModel.h"
#include "ui/mainwindow/ContentView.h"
#include "ui/mainwindow/MainToolbar.h"
#include "ui/settings/AdvancedSettingsView.h"

#include <QApplication>
#include <QMainWindow>
#include <QTest>
#include <QToolBar>

#include <functional>

namespace tess::test {

// Opens the folder "tree" of `dir` for an NTFS destination at the window's
// start; `more` changes further settings.
inline void openTreeForNtfs(ComposedMainWindow& composed, const TempDir& dir, const std::function<void(AppSettings&)>& more = {})
{
    composed.settings().updateSettings([&](AppSettings& s) {
        s.preferences.lastDestinationConfig = DestinationConfig::presetFilesystem(FilesystemPreset::ntfs, false);
        s.preferences.lastSourcePath = dir / "tree";
        if (more) {
            more(s);
        }
    });
}

// Shows the window, makes it active and clicks Scan as soon as it is enabled;
// true once `done` holds, within `timeoutMs`.
inline bool showAndScan(ComposedMainWindow& composed, const std::function<bool(ContentView&)>& done, int timeoutMs)
{
    QMainWindow& window = composed.show();
    QApplication::setActiveWindow(&window);
    if (!QTest::qWaitForWindowActive(&window)) {
        return false;
    }
    ContentView* content = composed.content();
    if (content == nullptr) {
        return false;
    }
    MainToolbar& toolbar = content->toolbar();
    if (!QTest::qWaitFor([&] { return toolbar.scanAction()->isEnabled(); })) {
        return false;
    }
    QTest::mouseClick(toolbar.toolBar()->widgetForAction(toolbar.scanAction()), Qt::LeftButton);
    return QTest::qWaitFor([&] { return done(*content); }, timeoutMs);
}

// Clicks Advanced in the toolbar of the shown window; true once the pane is shown.
inline bool openAdvancedPane(ComposedMainWindow& composed)
{
    ContentView* content = composed.content();
    if (content == nullptr) {
        return false;
    }
    MainToolbar& toolbar = content->toolbar();
    QTest::mouseClick(toolbar.toolBar()->widgetForAction(toolbar.advancedAction()), Qt::LeftButton);
    return QTest::qWaitFor([&] {
        auto* pane = composed.show().findChild<AdvancedSettingsView*>();
        return pane != nullptr && pane->isVisible();
    });
}

}  // namespace tess::test
