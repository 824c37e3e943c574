#include "WidgetTestSupport.h"

#include "ui/widgets/ColorResource.h"
#include "ui/widgets/Symbol.h"
#include "ui/widgets/Theme.h"

#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QPainter>

#include <set>
#include <string_view>

namespace tess {
namespace {

// Every symbol the views draw: the issue types, the list, rows and panes,
// the toolbar, settings, history, report, help and about views, and the
// three client-system images.
constexpr std::string_view kUsedSymbols[] = {
    "apple.logo",
    "arrow.down.circle",
    "arrow.left.arrow.right",
    "arrow.right",
    "arrow.right.arrow.left",
    "arrow.uturn.backward",
    "arrow.uturn.backward.circle",
    "character.book.closed",
    "character.textbox",
    "checkmark",
    "checkmark.circle",
    "chevron.left",
    "chevron.right",
    "clock.arrow.circlepath",
    "desktopcomputer",
    "doc.on.clipboard",
    "doc.on.doc",
    "doc.text",
    "doc.text.magnifyingglass",
    "ellipsis.circle",
    "exclamationmark.shield",
    "exclamationmark.triangle",
    "exclamationmark.triangle.fill",
    "externaldrive",
    "folder",
    "folder.badge.minus",
    "folder.badge.questionmark",
    "gear",
    "gearshape",
    "globe",
    "info.circle",
    "internaldrive",
    "Linux",
    "magnifyingglass",
    "minus.circle",
    "pencil",
    "pencil.circle",
    "play.circle",
    "plus",
    "plus.circle",
    "questionmark.circle",
    "rectangle.and.pencil.and.ellipsis",
    "rectangle.and.text.magnifyingglass",
    "scissors",
    "scope",
    "sidebar.squares.right",
    "slider.horizontal.3",
    "space",
    "square.and.arrow.up",
    "stop.circle",
    "text.badge.xmark",
    "text.line.first.and.arrowtriangle.forward",
    "textformat",
    "trash",
    "wand.and.stars",
    "Windows",
    "xmark",
    "xmark.circle.fill",
};

int opaquePixels(const QImage& image, QColor* sample = nullptr)
{
    int count = 0;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QColor c = argb.pixelColor(x, y);
            if (c.alpha() == 255) {
                ++count;
                if (sample != nullptr) {
                    *sample = c;
                }
            }
        }
    }
    return count;
}

class SymbolTest : public testing::Test {
protected:
    static void SetUpTestSuite() { test::widgetApplication(); }
};

TEST_F(SymbolTest, EveryUsedSymbolRendersInTheGivenColour)
{
    const QColor tint(200, 30, 60);
    for (std::string_view name : kUsedSymbols) {
        SCOPED_TRACE(std::string(name));
        ASSERT_TRUE(symbol::exists(name));
        const QPixmap pixmap = symbol::pixmap(name, QSize(32, 32), tint);
        ASSERT_FALSE(pixmap.isNull());
        QColor sample;
        EXPECT_GT(opaquePixels(pixmap.toImage(), &sample), 10);
        EXPECT_EQ(sample.rgb(), tint.rgb());
    }
}

TEST_F(SymbolTest, TheTableHoldsExactlyTheUsedSymbols)
{
    const std::set<std::string_view> used(std::begin(kUsedSymbols), std::end(kUsedSymbols));
    const std::set<std::string_view> table(symbol::names().begin(), symbol::names().end());
    EXPECT_EQ(table, used);
    EXPECT_FALSE(symbol::exists("checkmark.circle.fill.nope"));
    EXPECT_TRUE(symbol::pixmap("no.such.symbol", QSize(16, 16), Qt::black).isNull());
}

TEST_F(SymbolTest, IconsTakeTheirColourFromThePaletteWhenPainted)
{
    const QIcon icon = symbol::icon("folder");
    const QIcon named = symbol::icon("scissors", ColorName::brandBrown);
    const QPalette saved = QApplication::palette();
    for (const QPalette& palette : {theme::lightPalette(), theme::darkPalette()}) {
        QApplication::setPalette(palette);
        QColor sample;
        ASSERT_GT(opaquePixels(icon.pixmap(QSize(24, 24)).toImage(), &sample), 10);
        EXPECT_EQ(sample.rgb(), palette.color(QPalette::WindowText).rgb());
        ASSERT_GT(opaquePixels(named.pixmap(QSize(24, 24)).toImage(), &sample), 10);
        EXPECT_EQ(sample.rgb(), namedColor(ColorName::brandBrown, palette).rgb());
        ASSERT_GT(opaquePixels(icon.pixmap(QSize(24, 24), QIcon::Disabled).toImage(), &sample), 10);
        EXPECT_EQ(sample.rgb(), palette.color(QPalette::Disabled, QPalette::WindowText).rgb());
    }
    QApplication::setPalette(saved);
}

TEST_F(SymbolTest, NamedColoursHaveALightAndADarkValue)
{
    const QPalette light = theme::lightPalette();
    const QPalette dark = theme::darkPalette();
    EXPECT_FALSE(theme::isDark(light));
    EXPECT_TRUE(theme::isDark(dark));
    std::set<QRgb> lightValues;
    for (ColorName name : kAllColorNames) {
        SCOPED_TRACE(std::string(colorCatalogName(name)));
        EXPECT_NE(namedColor(name, light), namedColor(name, dark));
        lightValues.insert(namedColor(name, light).rgb());
    }
    EXPECT_EQ(lightValues.size(), kAllColorNames.size());
    EXPECT_EQ(namedColorOrSecondary(std::nullopt, dark), theme::secondaryLabel(dark));
}

// A sheet of every symbol, for review.
TEST_F(SymbolTest, SheetOfAllSymbols)
{
    for (const auto& [palette, suffix] : {std::pair {theme::lightPalette(), "light"}, std::pair {theme::darkPalette(), "dark"}}) {
        const int columns = 8;
        const int cell = 96;
        const auto count = static_cast<int>(std::size(kUsedSymbols));
        QImage sheet(columns * cell, ((count + columns - 1) / columns) * cell, QImage::Format_ARGB32_Premultiplied);
        sheet.fill(palette.color(QPalette::Window));
        QPainter painter(&sheet);
        QFont small = painter.font();
        small.setPixelSize(9);
        painter.setFont(small);
        painter.setPen(palette.color(QPalette::WindowText));
        for (int i = 0; i < count; ++i) {
            const QRect box((i % columns) * cell, (i / columns) * cell, cell, cell);
            symbol::paint(painter, QRectF(box.adjusted(30, 14, -30, -34)), kUsedSymbols[i], palette.color(QPalette::WindowText));
            symbol::paint(painter, QRectF(box.left() + 8, box.top() + 8, 14, 14), kUsedSymbols[i], namedColor(ColorName::cool, palette));
            painter.drawText(box.adjusted(2, 0, -2, -4), Qt::AlignHCenter | Qt::AlignBottom | Qt::TextWrapAnywhere,
                QString::fromLatin1(kUsedSymbols[i].data(), static_cast<qsizetype>(kUsedSymbols[i].size())));
        }
        painter.end();
        QLabel label;
        label.setPixmap(QPixmap::fromImage(sheet));
        label.resize(sheet.size());
        test::saveScreenshot(label, QStringLiteral("symbols-%1").arg(QLatin1String(suffix)));
    }
}

}  // namespace
}  // namespace tess
