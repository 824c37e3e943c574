#include "WidgetTestSupport.h"

#include "analysis/FileTransformationIssue.h"
#include "ui/issuelist/IssueFilterBadge.h"
#include "ui/issuelist/IssueRowCheckbox.h"
#include "ui/issuelist/IssueTypeDots.h"
#include "ui/widgets/ColorResource.h"
#include "ui/widgets/Theme.h"
#include "ui/widgets/TriStateCheckbox.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QVBoxLayout>

#include <optional>
#include <string>

namespace tess {
namespace {

using namespace std::string_literals;

class WidgetsTest : public testing::Test {
protected:
    static void SetUpTestSuite() { test::widgetApplication(); }
};

const std::pair<QPalette, const char*> kPalettes[] = {
    {theme::lightPalette(), "light"},
    {theme::darkPalette(), "dark"},
};

TEST_F(WidgetsTest, TriStateBoxShowsWhatItIsToldAfterAClick)
{
    struct Case {
        Qt::CheckState shown;
        std::optional<Qt::CheckState> answer;  // what the host sets on click
        Qt::CheckState after;
    };
    const Case cases[] = {
        {Qt::PartiallyChecked, Qt::Checked, Qt::Checked},
        {Qt::Checked, Qt::Unchecked, Qt::Unchecked},
        {Qt::Unchecked, Qt::PartiallyChecked, Qt::PartiallyChecked},
        // The host keeps the state: the box does not move on by itself.
        {Qt::Checked, std::nullopt, Qt::Checked},
        {Qt::Unchecked, std::nullopt, Qt::Unchecked},
        {Qt::PartiallyChecked, std::nullopt, Qt::PartiallyChecked},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.shown << " -> " << c.after);
        TriStateCheckbox box;
        box.setState(c.shown);
        int clicks = 0;
        QObject::connect(&box, &QAbstractButton::clicked, &box, [&] {
            ++clicks;
            if (c.answer) {
                box.setState(*c.answer);
            }
        });
        box.show();
        QTest::mouseClick(&box, Qt::LeftButton, {}, box.rect().center());
        EXPECT_EQ(clicks, 1);
        EXPECT_EQ(box.state(), c.after);
        QTest::keyClick(&box, Qt::Key_Space);
        EXPECT_EQ(clicks, 2);
        EXPECT_EQ(box.state(), c.after);
    }
}

TEST_F(WidgetsTest, TriStateBoxKeepsItsNaturalSize)
{
    QWidget row;
    auto* layout = new QHBoxLayout(&row);
    auto* box = new TriStateCheckbox;
    layout->addWidget(box);
    row.resize(600, 80);
    row.show();
    EXPECT_EQ(box->size(), box->sizeHint());
}

TEST_F(WidgetsTest, BadgeShowsLabelAndGroupedCountAndReportsClicks)
{
    IssueFilterBadge badge;
    badge.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    badge.setIssueType("filenameTooLong");
    badge.setCount(1234);
    EXPECT_EQ(badge.labelText(), QStringLiteral("Long Name"));
    EXPECT_EQ(badge.countText(), QStringLiteral("1,234"));
    badge.resize(140, IssueFilterBadge::kHeight);
    badge.show();
    QSignalSpy clicks(&badge, &QAbstractButton::clicked);
    QTest::mouseClick(&badge, Qt::LeftButton, {}, badge.rect().center());
    EXPECT_EQ(clicks.count(), 1);
    // An unknown key is shown as it is, "&" included and no shortcut made.
    badge.setIssueType("R&D");
    EXPECT_EQ(badge.labelText(), QStringLiteral("R&D"));
    EXPECT_EQ(badge.accessibleName(), QStringLiteral("R&D"));
    EXPECT_TRUE(badge.shortcut().isEmpty());
}

// The badge fills itself with the colour of the palette it has when it is
// painted, so a theme change repaints correctly; the colour is deepened where
// the white label would not read on it (4.5:1), for every issue type.
TEST_F(WidgetsTest, BadgeColourFollowsThePalette)
{
    IssueFilterBadge badge;
    badge.setIssueType("collision");
    badge.setCount(3);
    badge.resize(120, IssueFilterBadge::kHeight);
    for (const auto& [palette, name] : kPalettes) {
        SCOPED_TRACE(name);
        badge.setPalette(palette);
        const QImage image = badge.grab().toImage();
        const QColor expected = theme::readableOn(namedColor(ColorName::brandIndigo, palette), {QColor(Qt::white)});
        EXPECT_EQ(image.pixelColor(4, IssueFilterBadge::kHeight / 2).rgb(), expected.rgb());
        for (const char* type : {"characterTransformed", "collision", "encodingTransformed", "filenameTooLong", "filenameUnresolvable",
                 "folderNameTooLong", "pathShortened", "pathTooDeep", "pathTooLong", "repeatedSeparators", "reservedName",
                 "trimmedCharacters"}) {
            badge.setIssueType(type);
            const QColor fill = badge.grab().toImage().pixelColor(4, IssueFilterBadge::kHeight / 2);
            EXPECT_GE(theme::contrastRatio(Qt::white, fill), 4.5) << type << " " << fill.name().toStdString();
        }
        badge.setIssueType("collision");
    }
}

TEST_F(WidgetsTest, DotsTooltipIsThePlainSummary)
{
    IssueTypeDots dots;
    dots.setIssueTypes("filenameTooLong(300/255),collision"s);
    EXPECT_EQ(dots.toolTip(), Qt::convertFromPlainText(QStringLiteral("Long Name: 300/255\nCollision")));
    dots.setIssueTypes("filenameUnresolvable(<b>x</b> & a)"s);
    EXPECT_FALSE(dots.toolTip().contains(QStringLiteral("<b>x</b>")));
    QTextDocument shown;
    shown.setHtml(dots.toolTip());
    EXPECT_EQ(shown.toPlainText(), QStringLiteral("No Fix: <b>x</b> & a"));
    dots.setIssueTypes(std::nullopt);
    EXPECT_TRUE(dots.toolTip().isEmpty());
    EXPECT_EQ(dots.sizeHint().height(), 0);
}

TEST_F(WidgetsTest, DotsOverlapAndOverflowAfterSix)
{
    IssueTypeDots dots;
    dots.setIssueTypes("a,b,c,d,e,f"s);
    EXPECT_EQ(dots.sizeHint(), QSize(22, 6 * 13 - 5 * 5));
    dots.setIssueTypes("a,b,c,d,e,f,g"s);
    EXPECT_TRUE(dots.dots().overflow);
    EXPECT_EQ(dots.sizeHint(), QSize(22, 7 * 13 - 6 * 5));
}

TEST_F(WidgetsTest, RowBoxAsksTheHostAndNeverTogglesItself)
{
    struct Case {
        bool needsRename, hasIssues, isSelected;
        int requests;
        QString toolTip;
    };
    const Case cases[] = {
        {true, true, false, 1, {}},
        {true, true, true, 1, {}},
        {false, false, true, 0, {}},
        {false, true, false, 0, QStringLiteral("No automatic fix available")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.needsRename << c.hasIssues << c.isSelected);
        IssueRowCheckbox box;
        box.setValues(c.needsRename, c.hasIssues, c.isSelected);
        box.show();
        QSignalSpy requests(&box, &IssueRowCheckbox::toggleSelectionRequested);
        QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(6, box.height() / 2));
        EXPECT_EQ(requests.count(), c.requests);
        EXPECT_EQ(box.look(), rowCheckboxLook(c.needsRename, c.hasIssues, c.isSelected)) << "unchanged by the click";
        EXPECT_EQ(box.toolTip(), c.toolTip);
    }
}

QWidget* caption(const QString& text)
{
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    return label;
}

TEST_F(WidgetsTest, Screenshots)
{
    for (const auto& [palette, name] : kPalettes) {
        QWidget page;
        page.setPalette(palette);
        page.setAutoFillBackground(true);
        page.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        auto* layout = new QVBoxLayout(&page);

        auto* badges = new QGridLayout;
        int i = 0;
        std::vector<std::string> keys;
        for (FileTransformationIssue::Kind kind : FileTransformationIssue::allKinds()) {
            keys.emplace_back(FileTransformationIssue::keyOf(kind));
        }
        keys.push_back("fooBar");
        for (const std::string& key : keys) {
            auto* badge = new IssueFilterBadge;
            badge->setIssueType(key);
            badge->setCount(i == 0 ? 1234 : i * 7);
            badge->setActive(i % 4 != 3);
            badges->addWidget(badge, i / 7, i % 7);
            ++i;
        }
        layout->addLayout(badges);

        auto* row = new QHBoxLayout;
        for (Qt::CheckState state : {Qt::Unchecked, Qt::PartiallyChecked, Qt::Checked}) {
            auto* box = new TriStateCheckbox;
            box->setState(state);
            row->addWidget(box);
        }
        row->addSpacing(20);
        for (auto [needsRename, hasIssues, selected] : {std::tuple {true, true, true}, std::tuple {true, true, false},
                 std::tuple {false, false, true}, std::tuple {false, false, false}, std::tuple {false, true, false}}) {
            auto* box = new IssueRowCheckbox;
            box->setValues(needsRename, hasIssues, selected);
            row->addWidget(box);
        }
        row->addSpacing(20);
        for (const std::optional<std::string>& types : {std::optional("collision"s), std::optional("pathTooLong(300/255),collision,reservedName"s),
                 std::optional("characterTransformed,collision,encodingTransformed,filenameTooLong(1/2),filenameUnresolvable(x),folderNameTooLong(3/4)"s),
                 std::optional("pathShortened,pathTooDeep(9/8),pathTooLong(5/4),repeatedSeparators,reservedName,trimmedCharacters,fooBar"s)}) {
            auto* dots = new IssueTypeDots;
            dots->setIssueTypes(types);
            row->addWidget(dots);
        }
        row->addStretch();
        layout->addLayout(row);
        layout->addWidget(caption(QStringLiteral("<b>x</b> a&b — captions are plain text")));
        page.resize(900, 220);
        page.show();
        test::saveScreenshot(page, QStringLiteral("widgets-%1").arg(QLatin1String(name)));
    }
}

}  // namespace
}  // namespace tess
