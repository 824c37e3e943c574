#include "ui/help/AboutView.h"

#include "FakeWorkspace.h"
#include "WidgetTestSupport.h"
#include "ui/mainwindow/WindowManager.h"
#include "ui/widgets/Theme.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace tess {
namespace {

class AboutViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_originalPalette = QApplication::palette();
        QApplication::setPalette(theme::lightPalette());
        const QVariantMap info {{QStringLiteral("version"), QStringLiteral("2.1")},
            {QStringLiteral("build"), QStringLiteral("42")}};
        m_view = std::make_unique<AboutView>([this] { ++m_closes; }, m_workspace, info);
        m_view->show();
        m_view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_view.get()));
        m_box = m_view->findChild<QWidget*>(QStringLiteral("aboutBox"));
        m_toggle = m_view->findChild<QAbstractButton*>(QStringLiteral("acknowledgmentsButton"));
        ASSERT_NE(m_box, nullptr);
        ASSERT_NE(m_toggle, nullptr);
    }
    void TearDown() override
    {
        m_view.reset();
        QApplication::setPalette(m_originalPalette);
    }

    QWidget* acknowledgments() const { return m_view->findChild<QWidget*>(QStringLiteral("acknowledgmentsBlock")); }

    // Presses the switch and waits for the box to settle at its new height.
    void toggle(int expectedHeight)
    {
        QTest::mouseClick(m_toggle, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return m_box->height() == expectedHeight; }));
        // The view takes the box's size around its inset.
        ASSERT_TRUE(QTest::qWaitFor([&] { return m_view->height() == expectedHeight + 2 * 20; }));
        ASSERT_TRUE(QTest::qWaitFor([&] { return acknowledgments()->isVisible() == m_view->acknowledgmentsShown(); }));
    }

    void saveScreenshot(const QString& name)
    {
        ASSERT_TRUE(m_view->grab().save(test::screenshotPath(QStringLiteral("views"), name)));
    }

    QPalette m_originalPalette;
    test::FakeWorkspace m_workspace;
    int m_closes = 0;
    std::unique_ptr<AboutView> m_view;
    QWidget* m_box = nullptr;
    QAbstractButton* m_toggle = nullptr;
};

TEST_F(AboutViewTest, ShowsNameVersionAndIcon)
{
    auto* name = m_view->findChild<QLabel*>(QStringLiteral("nameLabel"));
    auto* version = m_view->findChild<QLabel*>(QStringLiteral("versionLabel"));
    auto* icon = m_view->findChild<QLabel*>(QStringLiteral("iconLabel"));
    ASSERT_NE(name, nullptr);
    ASSERT_NE(version, nullptr);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(name->text(), QStringLiteral("Tessaline"));
    EXPECT_EQ(version->text(), QStringLiteral("Version 2.1 (42)"));
    EXPECT_EQ(icon->pixmap().deviceIndependentSize(), QSizeF(128, 128));
    // The compiled-in icon, not a blank image.
    const QImage image = icon->pixmap().toImage();
    EXPECT_GT(qAlpha(image.pixel(image.width() / 2, image.height() / 2)), 0);
    // The same icon for the windows and the tray.
    EXPECT_FALSE(QIcon(AboutView::applicationIconResource()).pixmap(64, 64).isNull());
}

TEST_F(AboutViewTest, AcknowledgmentsSwitchGrowsAndShrinksTheBox)
{
    EXPECT_EQ(m_box->height(), 320);
    EXPECT_EQ(m_box->width(), 300);
    EXPECT_FALSE(m_view->acknowledgmentsShown());
    EXPECT_FALSE(acknowledgments()->isVisible());
    EXPECT_EQ(m_toggle->text(), QStringLiteral("Acknowledgments"));
    // The content fits the small box without being squeezed.
    EXPECT_LE(m_box->layout()->minimumSize().height(), 320);
    saveScreenshot(QStringLiteral("about-light-320"));

    toggle(480);
    EXPECT_TRUE(m_view->acknowledgmentsShown());
    EXPECT_EQ(m_toggle->text(), QStringLiteral("Hide Acknowledgments"));
    EXPECT_LE(m_box->layout()->minimumSize().height(), 480);
    QApplication::setPalette(theme::darkPalette());
    QApplication::processEvents();
    saveScreenshot(QStringLiteral("about-dark-480"));

    toggle(320);
    EXPECT_FALSE(m_view->acknowledgmentsShown());
    EXPECT_EQ(m_toggle->text(), QStringLiteral("Acknowledgments"));
    saveScreenshot(QStringLiteral("about-dark-320"));

    QApplication::setPalette(theme::lightPalette());
    QApplication::processEvents();
    toggle(480);
    saveScreenshot(QStringLiteral("about-light-480"));
    EXPECT_EQ(m_closes, 0);
}

TEST_F(AboutViewTest, LargeSystemFontGrowsTheBoxInsteadOfSqueezingIt)
{
    const QFont original = QApplication::font();
    QFont large = original;
    large.setPointSizeF(original.pointSizeF() * 2);
    QApplication::setFont(large);
    AboutView view([] {}, m_workspace);
    QApplication::setFont(original);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    auto* box = view.findChild<QWidget*>(QStringLiteral("aboutBox"));
    auto* toggleButton = view.findChild<QAbstractButton*>(QStringLiteral("acknowledgmentsButton"));
    ASSERT_NE(box, nullptr);
    ASSERT_NE(toggleButton, nullptr);

    // Hidden, shown, hidden again.
    const int defaultHeights[] = {320, 480, 320};
    for (std::size_t i = 0; i < std::size(defaultHeights); ++i) {
        SCOPED_TRACE(i);
        if (i > 0) {
            QTest::mouseClick(toggleButton, Qt::LeftButton);
            ASSERT_TRUE(QTest::qWaitFor([&] {
                return box->layout()->totalHeightForWidth(box->width()) <= box->height()
                    && box->findChild<QWidget*>(QStringLiteral("acknowledgmentsBlock"))->isVisible()
                    == view.acknowledgmentsShown();
            }));
        }
        EXPECT_GT(box->height(), defaultHeights[i]);
        EXPECT_LE(box->layout()->totalHeightForWidth(box->width()), box->height());
    }
}

TEST_F(AboutViewTest, AboutWindowFollowsTheBoxAndClosesOnReturn)
{
    WindowManager::Dependencies deps;
    deps.makeAboutContent = [this](std::function<void()> close) {
        return new AboutView(std::move(close), m_workspace);
    };
    WindowManager manager(std::move(deps));
    manager.showAboutWindow();
    QWidget* window = manager.aboutWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    const int smallHeight = window->height();
    auto* toggleButton = window->findChild<QAbstractButton*>(QStringLiteral("acknowledgmentsButton"));
    ASSERT_NE(toggleButton, nullptr);
    QTest::mouseClick(toggleButton, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->height() == smallHeight + 160; }));

    QTest::keyClick(window, Qt::Key_Return);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(AboutViewTest, ReturnClosesWhetherAcknowledgmentsShowOrNot)
{
    QTest::keyClick(m_view.get(), Qt::Key_Return);
    EXPECT_EQ(m_closes, 1);

    toggle(480);
    // Also with the focus on another button of the box.
    m_toggle->setFocus();
    QTest::keyClick(m_toggle, Qt::Key_Return);
    EXPECT_EQ(m_closes, 2);
    EXPECT_TRUE(m_view->acknowledgmentsShown());

    auto* close = m_view->findChild<QPushButton*>(QStringLiteral("closeButton"));
    ASSERT_NE(close, nullptr);
    EXPECT_TRUE(close->isDefault());
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_EQ(m_closes, 3);
}

TEST_F(AboutViewTest, LinksOpenTheirAddressesInTheBrowser)
{
    auto* website = m_view->findChild<QAbstractButton*>(QStringLiteral("websiteButton"));
    ASSERT_NE(website, nullptr);
    EXPECT_EQ(website->text(), QStringLiteral("https://quenby.example/tessaline"));
    QTest::mouseClick(website, Qt::LeftButton);
    ASSERT_EQ(m_workspace.opened.size(), 1U);
    EXPECT_EQ(m_workspace.opened[0], QUrl(QStringLiteral("https://quenby.example/tessaline")));

    toggle(480);
    auto* license = m_view->findChild<QAbstractButton*>(QStringLiteral("licenseButton"));
    ASSERT_NE(license, nullptr);
    EXPECT_EQ(license->text(), QStringLiteral("View License"));
    QTest::mouseClick(license, Qt::LeftButton);
    ASSERT_EQ(m_workspace.opened.size(), 2U);
    EXPECT_EQ(m_workspace.opened[1], QUrl(QStringLiteral("https://quenby.example/tessaline/licenses")));
    EXPECT_EQ(m_closes, 0);
}

}  // namespace
}  // namespace tess
