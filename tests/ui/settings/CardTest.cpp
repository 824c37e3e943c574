#include "SettingsTestSupport.h"

#include "ui/settings/CharacterSetField.h"
#include "ui/settings/OptionalIntSettingsField.h"
#include "ui/settings/ReservedNameSetField.h"
#include "ui/settings/SectionHeader.h"
#include "ui/widgets/Card.h"
#include "ui/widgets/Symbol.h"
#include "ui/widgets/Theme.h"

#include <QApplication>
#include <QLabel>
#include <QStyle>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace tess {
namespace {

TEST(SectionHeader, ShowsTheTitleUpperCasedAsPlainTextAndKeepsItAsGiven)
{
    const QString title = QStringLiteral("Destination <b>Capabilities</b> & straße");
    SectionHeader header(QApplication::style()->standardIcon(QStyle::SP_DriveHDIcon), title);
    auto* label = header.findChild<QLabel*>(QStringLiteral("titleLabel"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(header.title(), title);
    EXPECT_EQ(label->text(), QStringLiteral("DESTINATION <B>CAPABILITIES</B> & STRASSE"));
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    EXPECT_EQ(header.findChild<QLabel*>(QStringLiteral("symbolLabel"))->width(), 14);
}

TEST(Card, SpansTheWholeWidthWithItsContentAtTheLeadingEdge)
{
    QWidget panel;
    auto* layout = new QVBoxLayout(&panel);
    auto* card = new Card(&panel);
    auto* narrow = new QLabel(QStringLiteral("x"), card);
    card->contentLayout()->addWidget(narrow);
    layout->addWidget(card);
    layout->addStretch(1);
    panel.resize(600, 200);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    const QMargins margins = layout->contentsMargins();
    EXPECT_EQ(card->width(), 600 - margins.left() - margins.right());
    EXPECT_EQ(narrow->x(), card->contentLayout()->contentsMargins().left());
    EXPECT_LT(narrow->width(), 100);
}

// The most opaque pixel of a label's picture.
QColor strongestPixel(const QLabel& label)
{
    const QImage image = label.pixmap().toImage();
    QColor strongest(Qt::transparent);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() > strongest.alpha()) {
                strongest = pixel;
            }
        }
    }
    return strongest;
}

TEST(SectionHeader, ItsSymbolFollowsATheme)
{
    SectionHeader header(symbol::icon("externaldrive"), QStringLiteral("Destination Capabilities"));
    header.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&header));
    const auto* symbolLabel = header.findChild<QLabel*>(QStringLiteral("symbolLabel"));
    const QColor light = strongestPixel(*symbolLabel);
    ASSERT_GT(light.alpha(), 0);
    EXPECT_LT(light.lightness(), 128);

    test::setAppPalette(theme::darkPalette());
    const bool followed = QTest::qWaitFor([&] { return strongestPixel(*symbolLabel).lightness() > 128; });
    test::setAppPalette(theme::lightPalette());
    EXPECT_TRUE(followed);
}

TEST(CardScreenshots, ASectionOfFieldsLightAndDark)
{
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        test::setAppPalette(dark ? theme::darkPalette() : theme::lightPalette());
        QWidget panel;
        auto* layout = new QVBoxLayout(&panel);
        auto* card = new Card(&panel);
        auto* header = new SectionHeader(symbol::icon("externaldrive"), QStringLiteral("Destination Capabilities"), card);
        auto* help = new QToolButton(header);
        help->setIcon(symbol::icon("info.circle", ColorName::cool));
        help->setAutoRaise(true);
        header->setTrailingWidget(help);
        card->contentLayout()->addWidget(header);
        for (const char* label : {"File name", "Path length"}) {
            auto* field = new OptionalIntSettingsField(QString::fromUtf8(label), QStringLiteral("255"), 12, card);
            field->setValue(255);
            card->contentLayout()->addWidget(field);
        }
        auto* names = new ReservedNameSetField(card);
        names->setValue({"CON", "PRN", "AUX", "NUL", "COM1", "LPT1", "<b>x</b>"});
        card->contentLayout()->addWidget(names);
        auto* characters = new CharacterSetField(QStringLiteral("Leading"), card);
        characters->setValue({" ", "\t", "."});
        card->contentLayout()->addWidget(characters);
        layout->addWidget(card);
        layout->addStretch(1);
        panel.resize(460, panel.heightForWidth(460) > 0 ? panel.heightForWidth(460) : 300);
        panel.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
        EXPECT_TRUE(panel.grab().save(test::screenshotPath(dark ? "card-dark" : "card-light")));
    }
    test::setAppPalette(theme::lightPalette());
}

}  // namespace
}  // namespace tess
