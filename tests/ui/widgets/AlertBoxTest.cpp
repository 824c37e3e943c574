#include "ui/widgets/AlertBox.h"

#include "WidgetTestSupport.h"

#include "ui/widgets/Theme.h"

#include <QLabel>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace tess {
namespace {

struct TextCase {
    const char* name;
    QString text;
};

// Texts that a label guessing its format would change: an ampersand, an
// escape without a tag, a tag, two blanks, a newline and a direction override.
const TextCase kHostileTexts[] = {
    {"ampersand", QStringLiteral("Tom & Jerry")},
    {"escape without a tag", QStringLiteral("R&amp;D")},
    {"tag", QStringLiteral("<b>report</b>.txt")},
    {"two blanks", QStringLiteral("My  Docs")},
    {"newline", QStringLiteral("first line\nsecond line")},
    {"right-to-left override", QStringLiteral("invoice\u202Etxt.exe")},
    {"all at once", QStringLiteral("  <i>R&amp;D</i> & \u202E\nend  ")},
};

TEST(AlertBox, TitleAndMessageShowAsWritten)
{
    QWidget parent;
    for (const TextCase& c : kHostileTexts) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<QMessageBox> box(AlertBox::make(&parent, c.text, c.text, QStringLiteral("hostileMessageBox")));
        box->setAttribute(Qt::WA_DeleteOnClose, false);
        box->open();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
        for (QLabel* label : {AlertBox::titleLabel(*box), AlertBox::messageLabel(*box)}) {
            ASSERT_NE(label, nullptr);
            EXPECT_EQ(label->textFormat(), Qt::PlainText);
            EXPECT_EQ(label->text(), c.text);
            EXPECT_TRUE(label->isVisible());
        }
        EXPECT_EQ(box->informativeText(), c.text);
        EXPECT_EQ(box->objectName(), QStringLiteral("hostileMessageBox"));
        EXPECT_EQ(box->windowModality(), Qt::WindowModal);
        box->close();
    }
}

// Two blanks take more room than one, and a line break a second line: the
// label lays the text out as plain text, not as collapsed markup.
TEST(AlertBox, BlanksAndLineBreaksKeepTheirRoom)
{
    QWidget parent;
    const auto messageSize = [&parent](const QString& text) {
        std::unique_ptr<QMessageBox> box(AlertBox::make(&parent, QStringLiteral("Title"), text, QStringLiteral("box")));
        box->setAttribute(Qt::WA_DeleteOnClose, false);
        return AlertBox::messageLabel(*box)->sizeHint();
    };
    EXPECT_GT(messageSize(QStringLiteral("a    b")).width(), messageSize(QStringLiteral("a b")).width());
    EXPECT_GT(messageSize(QStringLiteral("a\nb")).height(), messageSize(QStringLiteral("a b")).height());
}

TEST(AlertBox, NewTextsReplaceTheOldOnes)
{
    QWidget parent;
    std::unique_ptr<QMessageBox> box(AlertBox::make(&parent, QStringLiteral("One"), QStringLiteral("first"), QStringLiteral("box")));
    box->setAttribute(Qt::WA_DeleteOnClose, false);
    AlertBox::setTexts(*box, QStringLiteral("Two"), QStringLiteral("R&amp;D <b>"));
    EXPECT_EQ(AlertBox::titleLabel(*box)->text(), QStringLiteral("Two"));
    EXPECT_EQ(AlertBox::messageLabel(*box)->text(), QStringLiteral("R&amp;D <b>"));
    EXPECT_EQ(AlertBox::messageLabel(*box)->textFormat(), Qt::PlainText);
}

TEST(AlertBox, ScreenshotsInBothPalettes)
{
    QWidget parent;
    for (const bool dark : {false, true}) {
        test::setAppPalette(dark ? theme::darkPalette() : theme::lightPalette());
        std::unique_ptr<QMessageBox> box(AlertBox::make(&parent, QStringLiteral("Export Failed"),
            QStringLiteral("Cannot write /home/me/R&amp;D  <b>Q3</b>\n\u202Ereport.json: Permission denied"),
            QStringLiteral("box"), QMessageBox::Warning));
        box->setAttribute(Qt::WA_DeleteOnClose, false);
        box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box->open();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
        box->grab().save(test::screenshotPath(QStringLiteral("advanced"), dark ? QStringLiteral("alert-hostile-dark") : QStringLiteral("alert-hostile-light")));
        box->close();
    }
    test::setAppPalette(theme::lightPalette());
}

}  // namespace
}  // namespace tess
