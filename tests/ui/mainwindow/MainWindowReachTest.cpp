// The main window as the application composes it, at its default and at its
// smallest size, with the advanced pane open over a list of 1,000 issues:
// every control of the pane, the toolbar and the list's header is the widget
// the pointer finds at its centre, and a click through the window reaches it.

#include "ComposedMainWindow.h"
#include "DriveMainWindow.h"
#include "TempDir.h"

#include "model/MonitorViewModel.h"
#include "ui/mainwindow/MainToolbar.h"
#include "ui/settings/AdvancedSettingsView.h"
#include "ui/widgets/Theme.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>

#include <string>
#include <vector>

namespace tess {
namespace {

bool isInteractive(const QWidget& widget)
{
    return qobject_cast<const QAbstractButton*>(&widget) != nullptr || qobject_cast<const QComboBox*>(&widget) != nullptr
        || qobject_cast<const QLineEdit*>(&widget) != nullptr || qobject_cast<const QAbstractSpinBox*>(&widget) != nullptr
        || qobject_cast<const QAbstractSlider*>(&widget) != nullptr;
}

// The controls a user can reach under `root`, as shown now.
std::vector<QWidget*> controlsUnder(QWidget& root)
{
    std::vector<QWidget*> found;
    for (QWidget* widget : root.findChildren<QWidget*>()) {
        // A spin box's or combo box's own editor belongs to it.
        const bool inner = qobject_cast<QAbstractSpinBox*>(widget->parentWidget()) != nullptr
            || qobject_cast<QComboBox*>(widget->parentWidget()) != nullptr;
        if (!inner && widget->isVisibleTo(root.window()) && widget->isVisible() && isInteractive(*widget)) {
            found.push_back(widget);
        }
    }
    return found;
}

QString describe(const QWidget& widget)
{
    const auto* button = qobject_cast<const QAbstractButton*>(&widget);
    return QString::fromLatin1(widget.metaObject()->className()) + u' ' + widget.objectName() + u' '
        + (button != nullptr ? button->text() : QString());
}

bool isOrIsInside(const QWidget* found, const QWidget* control)
{
    for (const QWidget* w = found; w != nullptr; w = w->parentWidget()) {
        if (w == control) {
            return true;
        }
    }
    return false;
}

QMenu* menuOf(QWidget& control)
{
    if (auto* tool = qobject_cast<QToolButton*>(&control)) {
        return tool->menu();
    }
    if (auto* push = qobject_cast<QPushButton*>(&control)) {
        return push->menu();
    }
    return nullptr;
}

void closePopups()
{
    while (QWidget* popup = QApplication::activePopupWidget()) {
        popup->close();
    }
}

// Where a user clicks: a box's indicator (a wide box takes clicks only on its
// indicator and text), any other control at its centre.
QPoint clickPoint(const QWidget& control)
{
    if (qobject_cast<const QCheckBox*>(&control) != nullptr) {
        const int indicator = control.style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, &control);
        return {indicator / 2 + 1, control.height() / 2};
    }
    return control.rect().center();
}

// Clicks `control` through its window, as the pointer would.
void clickThroughWindow(QWidget& control)
{
    QWidget* window = control.window();
    const QPoint at = control.mapTo(window, clickPoint(control));
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, at);
}

// A menu button opens its menu (a nested loop until closed), a box toggles,
// a field takes the focus.
void expectClickReaches(QWidget& control)
{
    if (QMenu* menu = menuOf(control)) {
        bool opened = false;
        QTimer::singleShot(0, &control, [&opened, menu] {
            opened = menu->isVisible();
            menu->close();
        });
        clickThroughWindow(control);
        QTest::qWait(10);
        EXPECT_TRUE(opened) << describe(control).toStdString();
        closePopups();
        return;
    }
    if (auto* combo = qobject_cast<QComboBox*>(&control)) {
        clickThroughWindow(control);
        EXPECT_TRUE(QTest::qWaitFor([combo] { return combo->view()->isVisible(); }, 1000)) << describe(control).toStdString();
        combo->hidePopup();
        return;
    }
    auto* button = qobject_cast<QAbstractButton*>(&control);
    if (button != nullptr && button->isCheckable() && button->isEnabled()) {
        // The click reaches the box: it reports the click (an exclusive
        // choice already made stays checked, a box toggles).
        const bool before = button->isChecked();
        QSignalSpy clicks(button, &QAbstractButton::clicked);
        clickThroughWindow(control);
        EXPECT_EQ(clicks.count(), 1) << describe(control).toStdString();
        QTest::qWait(20);
        closePopups();
        if (button->isChecked() != before) {
            clickThroughWindow(control);  // back as it was
            QTest::qWait(20);
            closePopups();
        }
        return;
    }
    if (qobject_cast<QLineEdit*>(&control) != nullptr || qobject_cast<QAbstractSpinBox*>(&control) != nullptr) {
        if (control.isEnabled()) {
            // A click on a window makes it active (the window manager's part).
            QApplication::setActiveWindow(control.window());
            clickThroughWindow(control);
            EXPECT_TRUE(QTest::qWaitFor([&control] { return control.hasFocus() || control.isAncestorOf(QApplication::focusWidget()); }, 1000))
                << describe(control).toStdString() << " focus on "
                << (QApplication::focusWidget() ? describe(*QApplication::focusWidget()).toStdString() : "nothing")
                << " policy " << control.focusPolicy() << " enabled " << control.isEnabled() << " active "
                << (QApplication::activeWindow() ? QApplication::activeWindow()->objectName().toStdString() : "none");
        }
    }
}

void expectReachable(const std::vector<QWidget*>& controls, QScrollArea* scrollArea, bool click)
{
    for (QWidget* control : controls) {
        SCOPED_TRACE(describe(*control).toStdString());
        if (scrollArea != nullptr && scrollArea->widget()->isAncestorOf(control)) {
            scrollArea->ensureWidgetVisible(control);
            QApplication::processEvents();
        }
        // Wholly shown: no ancestor cuts it off (a row the layout made too low).
        const QRect shown = control->visibleRegion().boundingRect();
        EXPECT_EQ(shown, control->rect()) << "shown " << shown.width() << "x" << shown.height() << " of "
                                          << control->width() << "x" << control->height();
        const QPoint centre = control->mapToGlobal(clickPoint(*control));
        QWidget* found = QApplication::widgetAt(centre);
        EXPECT_TRUE(isOrIsInside(found, control))
            << "covered by " << (found ? describe(*found).toStdString() : "nothing") << " at " << centre.x() << ","
            << centre.y() << " in " << control->window()->objectName().toStdString() << " "
            << control->window()->geometry().x() << "," << control->window()->geometry().y() << " "
            << control->window()->width() << "x" << control->window()->height();
        if (click) {
            expectClickReaches(*control);
        }
    }
}

class MainWindowReachTest : public ::testing::Test {
protected:
    MainWindowReachTest()
    {
        for (int i = 0; i < 1000; ++i) {
            m_dir.writeFile("tree/file:" + std::to_string(i) + ".txt", "x");
        }
        test::openTreeForNtfs(m_window, m_dir);
    }

    test::TempDir m_dir;
    test::ComposedMainWindow m_window {m_dir};
};

TEST_F(MainWindowReachTest, EveryControlIsReachableAtTheDefaultAndTheSmallestSize)
{
    QMainWindow& window = m_window.show();
    ASSERT_NE(m_window.content(), nullptr);
    ContentView& content = *m_window.content();
    EXPECT_EQ(window.size(), QSize(1000, 800));
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ASSERT_TRUE(content.toolbar().scanAction()->isEnabled());
    content.toolbar().scanAction()->trigger();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !content.model().monitoringStatus().isScanning() && content.model().filteredIssueCount() == 1000; },
        60000));
    content.toolbar().advancedAction()->trigger();
    auto* pane = window.findChild<AdvancedSettingsView*>();
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane != nullptr || (pane = window.findChild<AdvancedSettingsView*>()); }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane->isVisible(); }));
    QWidget* header = window.findChild<QWidget*>(QStringLiteral("headerWidget"));
    ASSERT_NE(header, nullptr);

    for (const QSize size : {QSize(1000, 800), QSize(800, 480)}) {
        SCOPED_TRACE(std::to_string(size.width()) + "x" + std::to_string(size.height()));
        window.resize(size);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window.size() == size; }));
        QTest::qWait(50);
        // The list and the pane share the width without overlapping.
        const QRect list = content.findChild<QWidget*>(QStringLiteral("mainPane"))->geometry();
        EXPECT_LE(list.right(), pane->geometry().left());
        EXPECT_LE(pane->geometry().right(), content.width() - 1);

        const std::vector<QWidget*> panel = controlsUnder(*pane);
        EXPECT_GE(panel.size(), 20u);
        expectReachable(panel, pane->scrollArea(), true);
        // A changed setting may start a new analysis, whose overlay covers the list.
        ASSERT_TRUE(QTest::qWaitFor([&] { return !content.model().monitoringStatus().isScanning(); }, 30000));
        QTest::qWait(50);
        expectReachable(controlsUnder(*header), nullptr, true);
        // The item-type choice is exclusive: the last one clicked stays; "All" again.
        auto* all = header->findChild<QAbstractButton*>(QStringLiteral("itemTypeAllButton"));
        ASSERT_NE(all, nullptr);
        clickThroughWindow(*all);
        ASSERT_TRUE(QTest::qWaitFor([&] { return all->isChecked(); }));
        // The toolbar's commands are only pointed at: a click would run them.
        const std::vector<QWidget*> toolbar = controlsUnder(*content.toolbar().toolBar());
        EXPECT_GE(toolbar.size(), 7u);
        for (const QWidget* child : content.toolbar().toolBar()->findChildren<QWidget*>()) {
            // Nothing overflows into the toolbar's extension menu.
            EXPECT_FALSE(child->inherits("QToolBarExtension") && child->isVisible());
        }
        expectReachable(toolbar, nullptr, false);
        expectClickReaches(*content.toolbar().presetButton());

        // The wheel over the pane scrolls it where its content is taller.
        QScrollBar* bar = pane->scrollArea()->verticalScrollBar();
        bar->setValue(0);
        closePopups();
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        if (bar->maximum() > 0) {
            const QPoint centre = pane->scrollArea()->viewport()->rect().center();
            QWidget* target = QApplication::widgetAt(pane->scrollArea()->viewport()->mapToGlobal(centre));
            ASSERT_NE(target, nullptr);
            // The pointer there is over the pane's content, and the pane scrolls.
            EXPECT_TRUE(pane->scrollArea()->viewport()->isAncestorOf(target)) << describe(*target).toStdString();
            QWheelEvent wheel(QPointF(centre), QPointF(pane->scrollArea()->viewport()->mapToGlobal(centre)), QPoint(),
                QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(pane->scrollArea()->viewport(), &wheel);
            EXPECT_GT(bar->value(), 0);
            bar->setValue(0);
        }

        const QString name = QStringLiteral("advanced-%1x%2").arg(size.width()).arg(size.height());
        QWidget* reservedNames = pane->findChild<QWidget*>(QStringLiteral("reservedNamesField"));
        ASSERT_NE(reservedNames, nullptr);
        for (const bool scrolled : {false, true}) {
            if (scrolled) {
                pane->scrollArea()->ensureWidgetVisible(reservedNames);
            }
            for (const bool dark : {false, true}) {
                QApplication::setPalette(dark ? theme::darkPalette() : theme::lightPalette());
                QTest::qWait(30);
                window.grab().save(test::ComposedMainWindow::screenshotPath(
                    name + (scrolled ? QStringLiteral("-reserved-names") : QString()) + (dark ? QStringLiteral("-dark") : QStringLiteral("-light"))));
            }
        }
        bar->setValue(0);
        QApplication::setPalette(theme::lightPalette());
    }
}

}  // namespace
}  // namespace tess
