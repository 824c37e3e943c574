#pragma once

// Steps that tests of the composed main window take through its toolbar with
// real mouse clicks.

#include "ComposedMainWindow.h"

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
