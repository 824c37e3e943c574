#include "WidgetTestSupport.h"

#include "ui/issuelist/IssueTypePresentation.h"
#include "ui/issuelist/StyledPathPainter.h"
#include "ui/widgets/ColorResource.h"
#include "ui/widgets/Symbol.h"
#include "ui/widgets/Theme.h"

#include <QPainter>

#include <string>
#include <vector>

namespace tess {
namespace {

using namespace std::string_literals;

class StyledPathPainterTest : public testing::Test {
protected:
    static void SetUpTestSuite() { test::widgetApplication(); }
    QFont font() const { return StyledPathPainter::pathFont(QApplication::font(), false); }
};

TEST_F(StyledPathPainterTest, FormatsFollowTheRunsInUtf16Positions)
{
    const QPalette palette = theme::lightPalette();
    const QColor highlight = theme::withOpacity(namedColor(ColorName::highlight, palette), 0.5);
    const std::vector<ByteRange> emoji {{1, 5}};
    StyledText styled = StyledPathPainter::styledText(attributedPath("a\U0001F600b", emoji, false), palette, std::nullopt);
    EXPECT_EQ(styled.text, QStringLiteral("a\U0001F600b"));
    ASSERT_EQ(styled.formats.size(), 1);
    EXPECT_EQ(styled.formats[0].start, 1);
    EXPECT_EQ(styled.formats[0].length, 2);
    EXPECT_EQ(styled.formats[0].format.background().color(), highlight);

    styled = StyledPathPainter::styledText(attributedPath("d<i>/a&b", {}, true), palette, QColor(Qt::red));
    EXPECT_EQ(styled.text, QStringLiteral("d<i>/a&b"));
    ASSERT_EQ(styled.formats.size(), 1);
    EXPECT_EQ(styled.formats[0].start, 5);
    EXPECT_EQ(styled.formats[0].length, 3);
    EXPECT_EQ(styled.formats[0].format.foreground().color(), QColor(Qt::red));
    EXPECT_FALSE(styled.formats[0].format.hasProperty(QTextFormat::BackgroundBrush));

    styled = StyledPathPainter::styledText(attributedPath("<b>x</b>\u202E\t", {}, false), palette, std::nullopt);
    EXPECT_EQ(styled.text, QStringLiteral("<b>x</b>\u25A1\u25A1"));
    EXPECT_TRUE(styled.formats.isEmpty());
}

TEST_F(StyledPathPainterTest, LongPathsAreCutAtTheHeadKeepingTheName)
{
    std::string path;
    while (path.size() < 1000) {
        path += "folder\u00E9/";
    }
    path += "name:1.txt";
    const QPalette palette = theme::lightPalette();
    const std::size_t colon = path.size() - 6;
    const std::vector<ByteRange> ranges {{colon, colon + 1}};
    const StyledText full = StyledPathPainter::styledText(attributedPath(path, ranges, true), palette, QColor(Qt::blue));
    const StyledText cut = StyledPathPainter::elide(full, font(), 200, Qt::ElideLeft);
    EXPECT_TRUE(cut.text.startsWith(QStringLiteral("\u2026")));
    EXPECT_TRUE(cut.text.endsWith(QStringLiteral("/name:1.txt")));
    EXPECT_LE(StyledPathPainter::width(cut, font()), 200);
    EXPECT_GT(StyledPathPainter::width(cut, font()), 150);
    // The marks move with their text.
    bool colonMarked = false;
    for (const QTextLayout::FormatRange& f : cut.formats) {
        if (f.format.hasProperty(QTextFormat::BackgroundBrush)) {
            EXPECT_EQ(cut.text.mid(f.start, f.length), QStringLiteral(":"));
            colonMarked = true;
        }
    }
    EXPECT_TRUE(colonMarked);

    const StyledText tail = StyledPathPainter::elide(full, font(), 200, Qt::ElideRight);
    EXPECT_TRUE(tail.text.startsWith(QStringLiteral("folder\u00E9/")));
    EXPECT_TRUE(tail.text.endsWith(QStringLiteral("\u2026")));
}

TEST_F(StyledPathPainterTest, CutsOnlyBetweenWholeCharacters)
{
    std::string path;
    for (int i = 0; i < 200; ++i) {
        path += "e\u0301\U0001F1E9\U0001F1EA";  // a combining accent and a flag
    }
    const StyledText full = StyledPathPainter::styledText(attributedPath(path, {}, false), theme::lightPalette(), std::nullopt);
    for (qreal width : {40.0, 97.0, 150.0}) {
        const StyledText cut = StyledPathPainter::elide(full, font(), width, Qt::ElideLeft);
        const QString kept = cut.text.mid(1);
        ASSERT_FALSE(kept.isEmpty());
        EXPECT_TRUE(kept.startsWith(QStringLiteral("e\u0301")) || kept.startsWith(QStringLiteral("\U0001F1E9\U0001F1EA"))) << kept.left(3).toStdString();
        EXPECT_TRUE(full.text.endsWith(kept));
    }
}

TEST_F(StyledPathPainterTest, StyledPathNeverPaintsPastItsRect)
{
    QImage image(300, 20, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    const QPalette palette = theme::darkPalette();
    for (const std::string& path : {std::string(900, 'x') + "/name.txt", "top-level-name.txt"s, "dir/"s + std::string(600, 'n'), "dir/"s}) {
        SCOPED_TRACE(path.substr(0, 20));
        for (bool proposed : {false, true}) {
            const qreal drawn = StyledPathPainter::paintStyledPath(painter, QRectF(0, 0, 300, 20), path, {}, proposed, palette, QApplication::font());
            EXPECT_LE(drawn, 300);
            EXPECT_GT(drawn, 0);
        }
    }
}

// Rows drawn as the list will draw them, for review: the inline path with
// the proposal below, and the side-by-side columns.
class RowPreview : public QWidget {
public:
    struct Item {
        std::string relativePath;
        std::optional<std::string> proposed;
        std::optional<std::string> issueTypes;
    };
    std::vector<Item> items;
    bool sideBySide = false;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QPalette& pal = palette();
        const int rowHeight = sideBySide ? 30 : 40;
        const QFont base = font();
        for (std::size_t i = 0; i < items.size(); ++i) {
            const Item& item = items[i];
            const QRectF row(0, static_cast<qreal>(i) * rowHeight, width(), rowHeight);
            painter.fillRect(row, theme::withOpacity(theme::secondaryLabel(pal), i % 2 == 0 ? 0.02 : 0.06));
            std::optional<PathDiff> diff;
            if (item.proposed) {
                diff = PathDiff::compute(item.relativePath, *item.proposed);
            }
            const std::vector<ByteRange> none;
            const std::vector<ByteRange> originalRanges = diff ? diff->ranges(DiffSide::original) : none;
            if (sideBySide) {
                const double column = sideBySideColumnWidth(width());
                const IssueSymbol first = firstIssueSymbol(item.issueTypes);
                symbol::paint(painter, QRectF(12, row.top() + 8, 14, 14), first.symbol, namedColorOrSecondary(first.color, pal));
                StyledPathPainter::paintAttributedPath(painter, QRectF(32, row.top(), originalColumnWidth(column) - 32, rowHeight),
                    diff ? diff->original : item.relativePath, originalRanges, std::nullopt, pal, StyledPathPainter::pathFont(base, false),
                    pal.color(QPalette::WindowText));
                if (diff) {
                    const qreal left = originalColumnWidth(column) + 12;
                    symbol::paint(painter, QRectF(left, row.top() + 9, 12, 12), "arrow.right", theme::secondaryLabel(pal));
                    StyledPathPainter::paintAttributedPath(painter, QRectF(left + 18, row.top(), width() - left - 30, rowHeight), diff->proposed,
                        diff->ranges(DiffSide::proposed), namedColor(ColorName::cool, pal), pal, StyledPathPainter::pathFont(base, true),
                        pal.color(QPalette::WindowText));
                }
            } else {
                StyledPathPainter::paintStyledPath(painter, QRectF(24, row.top() + 2, width() - 36, 18), diff ? diff->original : item.relativePath,
                    originalRanges, false, pal, base);
                if (diff) {
                    symbol::paint(painter, QRectF(6, row.top() + 22, 12, 12), "arrow.right", namedColor(ColorName::cool, pal));
                    StyledPathPainter::paintStyledPath(painter, QRectF(24, row.top() + 20, width() - 36, 18), diff->proposed,
                        diff->ranges(DiffSide::proposed), true, pal, base);
                }
            }
        }
    }
};

TEST_F(StyledPathPainterTest, Screenshots)
{
    std::string longPath;
    while (longPath.size() < 1000) {
        longPath += "very long folder/";
    }
    const std::vector<RowPreview::Item> items = {
        {"Projects/report:final?.txt", "Projects/report_final_.txt", "characterTransformed"s},
        {"<b>x</b>/<img src=x>.png", "_b_x__b_/_img src=x_.png", "characterTransformed,reservedName"s},
        {"R&D/a\tb\u200Bc\u202E.txt", "R&D/abc.txt", "trimmedCharacters"s},
        {"photos/\U0001F600 party.jpg", "photos/_ party.jpg", "characterTransformed"s},
        {"legacy/caf\xE9.txt", "legacy/caf\u00E9.txt", "encodingTransformed"s},
        {"CON", "_CON", "reservedName"s},
        {"name  with  spaces ", "name with spaces", "repeatedSeparators,trimmedCharacters"s},
        {longPath + "the name at the end.txt", longPath.substr(0, 200) + "the name at the end.txt", "pathTooLong(1024/255),pathShortened"s},
        {"no fix possible here", std::nullopt, "filenameUnresolvable(Cannot resolve)"s},
        {"folder/", std::nullopt, std::nullopt},
    };
    for (const auto& [palette, name] : {std::pair {theme::lightPalette(), "light"}, std::pair {theme::darkPalette(), "dark"}}) {
        for (bool sideBySide : {false, true}) {
            RowPreview preview;
            preview.items = items;
            preview.sideBySide = sideBySide;
            preview.setPalette(palette);
            preview.setAutoFillBackground(true);
            preview.resize(720, static_cast<int>(items.size()) * (sideBySide ? 30 : 40));
            test::saveScreenshot(preview, QStringLiteral("paths-%1-%2").arg(QLatin1String(sideBySide ? "side-by-side" : "inline"), QLatin1String(name)));
        }
    }
}

}  // namespace
}  // namespace tess
