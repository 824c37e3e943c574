#include "SettingsTestSupport.h"

#include "ui/settings/HelpContent.h"
#include "ui/settings/HelpPopover.h"
#include "ui/widgets/ColorResource.h"
#include "ui/widgets/MarkdownLite.h"
#include "ui/widgets/Theme.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace tess {
namespace {

TEST(MarkdownLite, BoldAndCodeOnlyWithEverythingElseEscaped)
{
    struct Case {
        const char* text;
        const char* html;
    };
    const std::vector<Case> cases {
        {"**bold** — text", "<b>bold</b> — text"},
        {"a `code` b", "a <code>code</code> b"},
        {"x < y & z > w \"q\"", "x &lt; y &amp; z &gt; w &quot;q&quot;"},
        {"<b>not markup</b>", "&lt;b&gt;not markup&lt;/b&gt;"},
        {"a * b and *.tmp", "a * b and *.tmp"},
        {"file__name → file_name", "file__name → file_name"},
        {"__init__", "__init__"},
        {"**unclosed bold", "**unclosed bold"},
        {"****", "****"},
        {"a `lone tick", "a `lone tick"},
        {"**`a<b`** and `**x**`", "<b><code>a&lt;b</code></b> and <code>**x**</code>"},
        {"**Important:** Changing", "<b>Important:</b> Changing"},
        {"**one** and **two**", "<b>one</b> and <b>two</b>"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(markdownLiteToHtml(QString::fromUtf8(c.text)), QString::fromUtf8(c.html));
    }
}

TEST(HelpContent, PointsAreABoldLabelADashAndTheDescription)
{
    EXPECT_EQ((HelpPoint {QStringLiteral("Label"), QStringLiteral("Text."), {}}).markup(), QStringLiteral("**Label** — Text."));
    EXPECT_EQ((HelpPoint {QStringLiteral("Label"), QString(), {}}).markup(), QStringLiteral("**Label**"));

    for (const HelpContent* content : {&HelpContent::destination(), &HelpContent::preferences(), &HelpContent::translationTable()}) {
        SCOPED_TRACE(content->title.toStdString());
        for (const auto& list : content->lists) {
            for (const HelpPoint& point : list) {
                EXPECT_TRUE(markdownLiteToHtml(point.markup()).startsWith(QStringLiteral("<b>") + point.label + QStringLiteral("</b> — ")));
                for (const QString& subpoint : point.subpoints) {
                    // Each sub-point names its subject, then an em dash.
                    EXPECT_TRUE(subpoint.contains(QStringLiteral(" — "))) << subpoint.toStdString();
                }
            }
        }
    }
    EXPECT_TRUE(markdownLiteToHtml(HelpContent::destination().closingNote).startsWith(QStringLiteral("<b>Important:</b> Changing either picker")));
    EXPECT_TRUE(HelpContent::preferences().closingNote.isEmpty());
    // The example's order and names are code; the runs of underscores stay text.
    const QString separators = markdownLiteToHtml(HelpContent::preferences().lists[1][1].markup());
    EXPECT_TRUE(separators.contains(QStringLiteral("file__name → file_name")));
    EXPECT_TRUE(separators.contains(QStringLiteral("<code>a_._b</code> becomes <code>a.b</code>")));
    EXPECT_TRUE(separators.contains(QStringLiteral("<code>. &gt; - &gt; _</code>")));
    EXPECT_EQ(HelpContent::translationTable().lists[0][1].description,
        QStringLiteral("Longer keys are matched first to prevent partial matches. For example, \"%20\" matches before \"%\"."));
}

// A help button wired as the panel does: it toggles its popover.
struct HelpButton {
    explicit HelpButton(const HelpContent& content, QWidget* parent)
        : button(new QToolButton(parent))
        , popover(new HelpPopover(content, button))
    {
        button->setText(QStringLiteral("i"));
        QObject::connect(button, &QToolButton::clicked, popover, [this] {
            ++toggles;
            if (popover->isVisible()) {
                popover->hide();
            } else {
                popover->popUp();
            }
        });
        QObject::connect(popover, &PopoverFrame::closed, popover, [this] { ++closes; });
    }

    QToolButton* button;
    HelpPopover* popover;
    int toggles = 0;
    int closes = 0;
};

class HelpPopoverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The other button stands right of the popover's 420 points.
        auto* layout = new QHBoxLayout(&m_host);
        m_help = std::make_unique<HelpButton>(HelpContent::destination(), &m_host);
        m_elsewhere = new QToolButton(&m_host);
        layout->addWidget(m_help->button, 0, Qt::AlignTop);
        layout->addStretch(1);
        layout->addWidget(m_elsewhere, 0, Qt::AlignTop);
        m_host.resize(600, 300);
        m_host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_host));
    }

    // A press and release of the window system at the centre of `target`
    // while the popover is open: the popover, holding the pointer, gets it.
    void clickThroughWindowSystem(QWidget* target)
    {
        const QPoint global = target->mapToGlobal(target->rect().center());
        QWindow* popup = m_help->popover->windowHandle();
        ASSERT_NE(popup, nullptr);
        const QPoint local = global - m_help->popover->geometry().topLeft();
        QTest::mousePress(popup, Qt::LeftButton, {}, local);
        // The release goes where the pointer is once the pop-up is gone.
        QWindow* under = m_help->popover->isVisible() ? popup : m_host.windowHandle();
        QTest::mouseRelease(under, Qt::LeftButton, {}, under == popup ? local : m_host.mapFromGlobal(global));
        QApplication::processEvents();
    }

    QWidget m_host;
    std::unique_ptr<HelpButton> m_help;
    QToolButton* m_elsewhere = nullptr;
};

TEST_F(HelpPopoverTest, OpensUnderItsButtonAt420AndWrapsDownwards)
{
    QTest::mouseClick(m_help->button, Qt::LeftButton);
    HelpPopover* popover = m_help->popover;
    ASSERT_TRUE(popover->isVisible());
    EXPECT_EQ(popover->width(), HelpPopover::kWidth);
    EXPECT_GT(popover->height(), 300);
    EXPECT_GE(popover->geometry().top(), m_help->button->mapToGlobal(QPoint(0, m_help->button->height())).y());
    EXPECT_EQ(popover->heightForWidth(HelpPopover::kWidth), popover->height());
    for (QLabel* label : popover->findChildren<QLabel*>()) {
        SCOPED_TRACE(label->text().toStdString());
        EXPECT_TRUE(label->textInteractionFlags().testFlag(Qt::TextSelectableByMouse));
        EXPECT_LE(label->geometry().right(), HelpPopover::kWidth);
    }
    const QList<QLabel*> subpoints = popover->findChildren<QLabel*>(QStringLiteral("subpointLabel"));
    ASSERT_EQ(subpoints.size(), 3);
    for (QLabel* label : subpoints) {
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
    }
    EXPECT_EQ(popover->findChildren<QLabel*>(QStringLiteral("pointLabel")).size(), 5);
}

TEST_F(HelpPopoverTest, AnOutsideClickClosesItAndOnlyAClickOnItsButtonIsHeldBack)
{
    // The window system hands a press outside a pop-up to the pop-up, which
    // closes; Qt then replays the press to the widget under the pointer
    // unless the pop-up says not to (the offscreen platform never replays,
    // so the decision itself is checked too).
    struct Case {
        const char* name;
        bool onButton;
    };
    for (const Case& c : {Case {"its own button", true}, Case {"another widget", false}}) {
        SCOPED_TRACE(c.name);
        const int toggles = m_help->toggles;
        const int closes = m_help->closes;
        QTest::mouseClick(m_help->button, Qt::LeftButton);
        ASSERT_TRUE(m_help->popover->isVisible());
        QWidget* target = c.onButton ? static_cast<QWidget*>(m_help->button) : m_elsewhere;
        ASSERT_FALSE(m_help->popover->geometry().contains(target->mapToGlobal(target->rect().center())));
        clickThroughWindowSystem(target);
        EXPECT_FALSE(m_help->popover->isVisible());
        EXPECT_EQ(m_help->closes, closes + 1);
        EXPECT_EQ(m_help->toggles, toggles + 1);
        EXPECT_EQ(m_help->popover->testAttribute(Qt::WA_NoMouseReplay), c.onButton);
    }
    // Closed, the button opens it again.
    QTest::mouseClick(m_help->button, Qt::LeftButton);
    EXPECT_TRUE(m_help->popover->isVisible());
    QTest::keyClick(m_help->popover, Qt::Key_Escape);
    EXPECT_FALSE(m_help->popover->isVisible());
}

TEST_F(HelpPopoverTest, TheNoteTakesTheWarmColourOfTheCurrentTheme)
{
    m_help->popover->popUp();
    auto* note = m_help->popover->findChild<QLabel*>(QStringLiteral("noteLabel"));
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->palette().color(QPalette::WindowText), namedColor(ColorName::warm, theme::lightPalette()));
    test::setAppPalette(theme::darkPalette());
    const bool followed = QTest::qWaitFor([&] {
        return note->palette().color(QPalette::WindowText) == namedColor(ColorName::warm, theme::darkPalette());
    });
    test::setAppPalette(theme::lightPalette());
    EXPECT_TRUE(followed);
}

TEST(HelpPopoverScreenshots, EachPopoverLightAndDark)
{
    struct Shot {
        const HelpContent* content;
        const char* name;
    };
    for (const bool dark : {false, true}) {
        test::setAppPalette(dark ? theme::darkPalette() : theme::lightPalette());
        for (const Shot& shot : {Shot {&HelpContent::destination(), "help-destination"}, Shot {&HelpContent::preferences(), "help-preferences"},
                 Shot {&HelpContent::translationTable(), "help-translation"}}) {
            SCOPED_TRACE(shot.name);
            QWidget host;
            HelpButton help(*shot.content, &host);
            host.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
            help.popover->popUp();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(help.popover));
            EXPECT_EQ(help.popover->width(), HelpPopover::kWidth);
            EXPECT_TRUE(help.popover->grab().save(
                test::screenshotPath(QString::fromUtf8(shot.name) + (dark ? QStringLiteral("-dark") : QStringLiteral("-light")))));
            help.popover->hide();
        }
    }
    test::setAppPalette(theme::lightPalette());
}

}  // namespace
}  // namespace tess
