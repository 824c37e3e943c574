// The toolbar's preset button says when the settings no longer are the named
// preset's: after a change in the advanced pane it reads "<name> (Modified)"
// (the name shortened to fit, never the mark), and after "Reset" the name
// alone again; at the window's default and smallest size.

#include "ComposedMainWindow.h"
#include "DriveMainWindow.h"
#include "TempDir.h"

#include "model/MonitorViewModel.h"
#include "ui/mainwindow/MainToolbar.h"
#include "ui/settings/AdvancedSettingsView.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMainWindow>
#include <QScrollArea>
#include <QTest>
#include <QTextDocumentFragment>
#include <QToolBar>
#include <QToolButton>

#include <string>

namespace tess {
namespace {

// Clicks `button` through its window, as the pointer would, once scrolled
// into view.
void click(AdvancedSettingsView& pane, QAbstractButton& button)
{
    pane.scrollArea()->ensureWidgetVisible(&button);
    QApplication::processEvents();
    QWidget* window = button.window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, button.mapTo(window, QPoint(8, button.height() / 2)));
}

// The tooltip as it reads (it is rich text that keeps spaces).
QString plainToolTip(const QWidget& widget)
{
    return QTextDocumentFragment::fromHtml(widget.toolTip()).toPlainText().replace(QChar(0x00A0), u' ');
}

TEST(PresetButtonTest, SaysModifiedAfterAChangeAndNotAfterReset)
{
    test::TempDir dir;
    test::ComposedMainWindow composed(dir);
    QMainWindow& window = composed.show();
    ContentView& content = *composed.content();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QToolButton& presetButton = *content.toolbar().presetButton();
    const std::optional<std::string> active = content.model().activePresetName();
    ASSERT_TRUE(active.has_value());
    const QString name = QString::fromStdString(*active);
    ASSERT_EQ(presetButton.text(), name);

    ASSERT_TRUE(test::openAdvancedPane(composed));
    auto* pane = window.findChild<AdvancedSettingsView*>();
    auto* stripControl = pane->findChild<QAbstractButton*>(QStringLiteral("stripControlCheckBox"));
    auto* reset = pane->findChild<QAbstractButton*>(QStringLiteral("resetButton"));
    ASSERT_TRUE(stripControl != nullptr && reset != nullptr);

    for (const QSize size : {QSize(1000, 800), QSize(800, 480)}) {
        SCOPED_TRACE(std::to_string(size.width()) + "x" + std::to_string(size.height()));
        window.resize(size);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window.size() == size; }));

        click(*pane, *stripControl);
        ASSERT_TRUE(QTest::qWaitFor([&] { return content.model().isPresetModified(); }));
        ASSERT_TRUE(QTest::qWaitFor([&] { return presetButton.text().endsWith(QStringLiteral(" (Modified)")); }))
            << presetButton.text().toStdString();
        // The name is shortened, if at all, from its end; the tooltip has it whole.
        const QString shownName = presetButton.text().chopped(11);
        EXPECT_TRUE(shownName == name || (shownName.endsWith(u'…') && name.startsWith(shownName.chopped(1))))
            << presetButton.text().toStdString();
        EXPECT_TRUE(plainToolTip(presetButton).contains(name + QStringLiteral(" (Modified)"))) << presetButton.toolTip().toStdString();
        // Wholly on screen, not in the toolbar's overflow.
        EXPECT_TRUE(presetButton.isVisible());
        EXPECT_EQ(presetButton.visibleRegion().boundingRect(), presetButton.rect());
        window.grab().save(test::ComposedMainWindow::screenshotPath(
            QStringLiteral("preset-modified-%1x%2").arg(size.width()).arg(size.height())));

        ASSERT_TRUE(QTest::qWaitFor([&] { return reset->isVisible(); }));
        click(*pane, *reset);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !content.model().isPresetModified(); }));
        EXPECT_TRUE(QTest::qWaitFor([&] { return presetButton.text() == name; })) << presetButton.text().toStdString();
        EXPECT_FALSE(plainToolTip(presetButton).contains(QStringLiteral("(Modified)")));
    }
}

}  // namespace
}  // namespace tess
