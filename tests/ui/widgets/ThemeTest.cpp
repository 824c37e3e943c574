#include "DesktopPalette.h"

#include "ui/widgets/Theme.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace tess {
namespace {

constexpr QPalette::ColorGroup kGroups[] = {QPalette::Active, QPalette::Inactive, QPalette::Disabled};

// Whatever palette it starts from, the secondary-text role is the window
// text at the secondary opacity in each group, and the links read on the
// window; a desktop's readable link is kept.
TEST(ThemeTest, DerivedRolesReadOnEveryPalette)
{
    QPalette readableLink = test::desktopPalette(test::lightDesktopScheme());
    readableLink.setColor(QPalette::Link, QColor(0x0B5CAD));
    struct Case {
        const char* name;
        QPalette palette;
        std::optional<QColor> link;  // the link kept
    };
    const Case cases[] = {
        {"desktop light", test::desktopPalette(test::lightDesktopScheme()), std::nullopt},
        {"desktop dark", test::desktopPalette(test::darkDesktopScheme()), std::nullopt},
        {"desktop light, its own link", readableLink, QColor(0x0B5CAD)},
        {"light", theme::lightPalette(), std::nullopt},
        {"dark", theme::darkPalette(), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QPalette derived = theme::withDerivedRoles(c.palette);
        for (const QPalette::ColorGroup group : kGroups) {
            QColor expected = c.palette.color(group, QPalette::WindowText);
            expected.setAlphaF(expected.alphaF() * 0.55F);
            EXPECT_EQ(derived.color(group, QPalette::PlaceholderText), expected) << group;
            for (const QPalette::ColorRole role : {QPalette::Link, QPalette::LinkVisited}) {
                EXPECT_GE(theme::contrastRatio(derived.color(group, role), derived.color(QPalette::Window)), 4.5) << role;
            }
        }
        if (c.link) {
            EXPECT_EQ(derived.color(QPalette::Link), *c.link);
        }
        // Nothing else changes.
        for (const QPalette::ColorRole role : {QPalette::Window, QPalette::WindowText, QPalette::Base, QPalette::Text,
                 QPalette::Button, QPalette::ButtonText, QPalette::Highlight, QPalette::HighlightedText}) {
            EXPECT_EQ(derived.color(role), c.palette.color(role)) << role;
        }
    }
}

// A palette the desktop hands over later is given the derived roles too.
TEST(ThemeTest, DerivedRolesFollowEveryChangeOfTheApplicationPalette)
{
    const QPalette before = QApplication::palette();
    theme::keepDerivedRolesInStep();
    theme::keepDerivedRolesInStep();  // once is enough
    EXPECT_EQ(QApplication::instance()->findChildren<QObject*>(QStringLiteral("derivedRolesKeeper")).size(), 1);
    const QPalette dark = test::desktopPalette(test::darkDesktopScheme());
    ASSERT_EQ(dark.color(QPalette::PlaceholderText), QColor(0, 0, 0, 128));
    QApplication::setPalette(dark);
    EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::palette() == theme::withDerivedRoles(QApplication::palette()); }));
    EXPECT_EQ(QApplication::palette().color(QPalette::PlaceholderText), theme::secondaryLabel(dark));
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), dark.color(QPalette::Window));
    QApplication::setPalette(before);
}

TEST(ThemeTest, ContrastRatiosAndReadableColours)
{
    EXPECT_DOUBLE_EQ(theme::contrastRatio(Qt::black, Qt::white), 21.0);
    EXPECT_DOUBLE_EQ(theme::contrastRatio(QColor(0x777777), QColor(0x777777)), 1.0);
    EXPECT_EQ(theme::composite(QColor(255, 255, 255, 0), QColor(0x102030)), QColor(0x102030));
    EXPECT_EQ(theme::composite(QColor(0, 0, 0, 255), QColor(0x102030)), QColor(Qt::black));

    struct Case {
        const char* name;
        QColor color;
        QList<QColor> backgrounds;
    };
    const Case cases[] = {
        {"red on a dark face", QColor(0xE5534B), {QColor(0x474C51), QColor(0x3E4247)}},
        {"red on a light face", QColor(0xE5534B), {QColor(0xF4F4F4), QColor(0xFCFCFC)}},
        {"already readable", QColor(0x8B0000), {QColor(0xFFFFFF)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QColor readable = theme::readableOn(c.color, c.backgrounds);
        for (const QColor& background : c.backgrounds) {
            EXPECT_GE(theme::contrastRatio(readable, background), 4.5);
        }
        if (theme::contrastRatio(c.color, c.backgrounds.front()) >= 4.5) {
            EXPECT_EQ(readable, c.color);
        }
    }
}

// A checked segment's text reads on the face the style paints, for a
// selection colour the style lightens past reading (white on light blue).
TEST(ThemeTest, CheckedSegmentReadsOnItsFace)
{
    QWidget row;
    auto* first = new QToolButton(&row);
    auto* second = new QToolButton(&row);
    for (QToolButton* segment : {first, second}) {
        segment->setText(QStringLiteral("Segment"));
        segment->setCheckable(true);
        segment->resize(segment->sizeHint());
    }
    first->setChecked(true);
    const QPalette desktop = test::desktopPalette(test::darkDesktopScheme());
    theme::colorSegments({first, second}, desktop);
    const QPalette checked = first->palette().resolve(desktop);
    for (const QColor& face : theme::buttonFace(*first, checked, true)) {
        EXPECT_GE(theme::contrastRatio(checked.color(QPalette::ButtonText), face), 4.5) << face.name().toStdString();
    }
    EXPECT_EQ(checked.color(QPalette::ButtonText), desktop.color(QPalette::HighlightedText));
    EXPECT_EQ(second->palette().resolveMask(), 0U);
}

}  // namespace
}  // namespace tess
