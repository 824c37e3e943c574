#include "SettingsTestSupport.h"

#include "ui/settings/CharacterSetField.h"
#include "ui/settings/ReservedNameSetField.h"
#include "ui/settings/SetChip.h"
#include "ui/widgets/PopoverFrame.h"
#include "ui/widgets/Theme.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tess {
namespace {

QStringList chipTexts(const ChipSetField& field)
{
    QStringList texts;
    for (SetChip* chip : field.chips()) {
        texts.append(chip->text());
    }
    return texts;
}

CanonicalStringSet setOf(std::initializer_list<const char*> members)
{
    CanonicalStringSet set;
    for (const char* member : members) {
        set.insert(member);
    }
    return set;
}

// A field in a shown window whose writes are recorded and echoed back, as
// the panel does through the view model.
template <typename Field>
class ChipFieldFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto* layout = new QVBoxLayout(&m_host);
        m_field = new Field(&m_host);
        layout->addWidget(m_field);
        QObject::connect(m_field, &ChipSetField::valueChanged, m_field, [this](const CanonicalStringSet& value) {
            m_writes.push_back(value);
            m_field->setValue(value);
        });
        m_host.resize(300, 100);
        m_host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_host));
    }

    // Opens the popover with the add button, types `typed` and submits it
    // with Return (or the "Add" button).
    void add(const QString& typed, bool withButton = false)
    {
        QTest::mouseClick(m_field->addButton(), Qt::LeftButton);
        ASSERT_TRUE(m_field->addPopover()->isVisible());
        EXPECT_TRUE(m_field->addLineEdit()->text().isEmpty());
        m_field->addLineEdit()->insert(typed);
        if (withButton) {
            ASSERT_TRUE(m_field->addPushButton()->isEnabled());
            QTest::mouseClick(m_field->addPushButton(), Qt::LeftButton);
        } else {
            QTest::keyClick(m_field->addLineEdit(), Qt::Key_Return);
        }
    }

    QWidget m_host;
    Field* m_field = nullptr;
    std::vector<CanonicalStringSet> m_writes;
};

using CharacterSetFieldTest = ChipFieldFixture<CharacterSetField>;
using ReservedNameSetFieldTest = ChipFieldFixture<ReservedNameSetField>;

TEST_F(CharacterSetFieldTest, AddsTheFirstCharacterTypedAndAlwaysCloses)
{
    struct Case {
        const char* name;
        QString typed;
        std::string member;  // empty: nothing added
        QString chip;
    };
    const std::vector<Case> cases {
        {"only the first of several", QStringLiteral("abc"), "a", QStringLiteral("a")},
        {"a space, untrimmed", QStringLiteral(" x"), " ", QStringLiteral("[SPACE]")},
        {"a tab", QStringLiteral("\t"), "\t", QStringLiteral("[TAB]")},
        {"a C1 control", QStringLiteral("\u0085x"), "\u0085", QStringLiteral("[C1:85]")},
        {"a combining sequence is one character", QStringLiteral("e\u0301z"), "e\u0301", QStringLiteral("e\u0301")},
        {"a right-to-left override", QStringLiteral("\u202Eabc"), "\u202E", QStringLiteral("\u202E")},
        {"an emoji with a skin tone", QStringLiteral("\U0001F44D\U0001F3FDx"), "\U0001F44D\U0001F3FD",
            QStringLiteral("\U0001F44D\U0001F3FD")},
        {"markup is a character like any other", QStringLiteral("<b>"), "<", QStringLiteral("<")},
        {"nothing typed", QString(), "", QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_field->setValue({});
        m_writes.clear();
        add(c.typed);
        EXPECT_FALSE(m_field->addPopover()->isVisible());
        EXPECT_TRUE(m_field->addLineEdit()->text().isEmpty());
        if (c.member.empty()) {
            EXPECT_TRUE(m_writes.empty());
            EXPECT_TRUE(m_field->value().empty());
            continue;
        }
        ASSERT_EQ(m_writes.size(), 1u);
        EXPECT_TRUE(canonicallyEqualSets(m_writes[0], CanonicalStringSet {c.member}));
        EXPECT_EQ(chipTexts(*m_field), QStringList {c.chip});
    }
}

TEST_F(CharacterSetFieldTest, ChipsShowTextLiterallyAndCaptionOnlyWhenGiven)
{
    m_field->setValue(setOf({"<", "&"}));
    for (SetChip* chip : m_field->chips()) {
        EXPECT_EQ(chip->findChild<QLabel*>(QStringLiteral("chipLabel"))->textFormat(), Qt::PlainText);
    }
    EXPECT_EQ(m_field->findChild<QLabel*>(QStringLiteral("captionLabel")), nullptr);
    CharacterSetField labelled(QStringLiteral("Leading"));
    auto* caption = labelled.findChild<QLabel*>(QStringLiteral("captionLabel"));
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->text(), QStringLiteral("Leading"));
}

TEST_F(CharacterSetFieldTest, SortsByCodePointNotByUtf16)
{
    // U+1F600 is a surrogate pair (D83D DE00), which UTF-16 order would put
    // before U+FF5E.
    m_field->setValue(setOf({"\U0001F600", "\uFF5E", "_", ".", "-", "a", "A"}));
    EXPECT_EQ(chipTexts(*m_field), (QStringList {"-", ".", "A", "_", "a", "\uFF5E", "\U0001F600"}));
}

TEST_F(CharacterSetFieldTest, AddingAMemberThatIsThereWritesTheSameSet)
{
    m_field->setValue(setOf({"a"}));
    add(QStringLiteral("a"), true);
    ASSERT_EQ(m_writes.size(), 1u);
    EXPECT_TRUE(canonicallyEqualSets(m_writes[0], setOf({"a"})));
    EXPECT_EQ(chipTexts(*m_field), QStringList {"a"});
    EXPECT_FALSE(m_field->addPopover()->isVisible());
}

TEST_F(ReservedNameSetFieldTest, AddsTrimmedNamesAndOnlyBlanksKeepThePopoverOpen)
{
    struct Case {
        const char* name;
        QString typed;
        bool withButton;
        std::string added;  // empty: nothing added, the popover stays open
    };
    const std::vector<Case> cases {
        {"spaces around are trimmed", QStringLiteral("  CON  "), true, "CON"},
        {"Return adds too", QStringLiteral("LPT1\u2003"), false, "LPT1"},
        {"a lower-case twin is another name", QStringLiteral("con"), true, "con"},
        {"markup shows literally", QStringLiteral("<b>NUL</b>"), true, "<b>NUL</b>"},
        {"inner spaces stay", QStringLiteral(" A  B "), true, "A  B"},
        {"only spaces", QStringLiteral("   "), true, ""},
        {"tabs and no-break spaces", QStringLiteral("\t\u00A0\u0085"), true, ""},
        {"an empty Return", QString(), false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_field->setValue(setOf({"CON"}));
        m_writes.clear();
        add(c.typed, c.withButton);
        if (c.added.empty()) {
            EXPECT_TRUE(m_writes.empty());
            EXPECT_TRUE(m_field->addPopover()->isVisible());
            EXPECT_EQ(m_field->addLineEdit()->text(), c.typed);
            m_field->addPopover()->hide();
            continue;
        }
        EXPECT_FALSE(m_field->addPopover()->isVisible());
        EXPECT_TRUE(m_field->addLineEdit()->text().isEmpty());
        ASSERT_EQ(m_writes.size(), 1u);
        EXPECT_EQ(m_writes[0].count(c.added), 1u);
        EXPECT_TRUE(chipTexts(*m_field).contains(QString::fromStdString(c.added)));
    }
}

TEST_F(ReservedNameSetFieldTest, AddIsDisabledOnlyWhileTheRawTextIsEmpty)
{
    QTest::mouseClick(m_field->addButton(), Qt::LeftButton);
    EXPECT_FALSE(m_field->addPushButton()->isEnabled());
    QTest::keyClicks(m_field->addLineEdit(), QStringLiteral(" "));
    EXPECT_TRUE(m_field->addPushButton()->isEnabled());
}

TEST_F(ReservedNameSetFieldTest, TheAddButtonReopensThePopoverEmpty)
{
    QTest::mouseClick(m_field->addButton(), Qt::LeftButton);
    QTest::keyClicks(m_field->addLineEdit(), QStringLiteral("PRN"));
    m_field->addPopover()->hide();  // dismissed: the text stays until it opens again
    EXPECT_EQ(m_field->addLineEdit()->text(), QStringLiteral("PRN"));
    QTest::mouseClick(m_field->addButton(), Qt::LeftButton);
    EXPECT_TRUE(m_field->addPopover()->isVisible());
    EXPECT_TRUE(m_field->addLineEdit()->text().isEmpty());
    EXPECT_TRUE(m_writes.empty());
}

TEST_F(ReservedNameSetFieldTest, SortsUpperCaseFirstAndRemovesByChip)
{
    m_field->setValue(setOf({"aux", "CON", "AUX"}));
    EXPECT_EQ(chipTexts(*m_field), (QStringList {"AUX", "CON", "aux"}));

    QTest::mouseClick(m_field->chips()[1]->removeButton(), Qt::LeftButton);
    ASSERT_EQ(m_writes.size(), 1u);
    EXPECT_TRUE(canonicallyEqualSets(m_writes[0], setOf({"AUX", "aux"})));
    EXPECT_EQ(chipTexts(*m_field), (QStringList {"AUX", "aux"}));

    QTest::mouseClick(m_field->chips()[0]->removeButton(), Qt::LeftButton);
    QTest::mouseClick(m_field->chips()[0]->removeButton(), Qt::LeftButton);
    ASSERT_EQ(m_writes.size(), 3u);
    EXPECT_TRUE(m_writes[2].empty());
    EXPECT_TRUE(m_field->chips().empty());
    EXPECT_TRUE(m_field->addButton()->isVisible());
}

TEST_F(ReservedNameSetFieldTest, RefreshKeepsTheChipsOfMembersThatStayAndAnnouncesNothing)
{
    m_field->setValue(setOf({"CON", "PRN"}));
    const std::vector<SetChip*> before = m_field->chips();
    m_field->setValue(setOf({"AUX", "CON", "PRN"}));
    const std::vector<SetChip*> after = m_field->chips();
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[1], before[0]);
    EXPECT_EQ(after[2], before[1]);
    EXPECT_EQ(chipTexts(*m_field), (QStringList {"AUX", "CON", "PRN"}));
    EXPECT_TRUE(m_writes.empty());
}

TEST_F(ReservedNameSetFieldTest, HostileNamesShowLiterally)
{
    const std::vector<std::string> hostile {"<b>x</b>", "a&b", "&amp;", "  lead", "line\nbreak", "\u200Fmark"};
    m_field->setValue(CanonicalStringSet(hostile.begin(), hostile.end()));
    QStringList shown;
    for (SetChip* chip : m_field->chips()) {
        EXPECT_EQ(chip->findChild<QLabel*>(QStringLiteral("chipLabel"))->textFormat(), Qt::PlainText);
        shown.append(chip->text());
    }
    QStringList expected;
    for (const std::string& name : CanonicalStringSet(hostile.begin(), hostile.end())) {
        expected.append(QString::fromStdString(name));
    }
    EXPECT_EQ(shown, expected);
}

// How many distinct rows the chips and the add button of a field lie in.
int chipRows(const ChipSetField& field)
{
    QSet<int> tops {field.addButton()->geometry().top()};
    for (SetChip* chip : field.chips()) {
        tops.insert(chip->geometry().top());
    }
    return static_cast<int>(tops.size());
}

TEST(ChipFieldScreenshots, ReservedNamesWrapOverThreeRows)
{
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        test::setAppPalette(dark ? theme::darkPalette() : theme::lightPalette());
        QWidget host;
        auto* layout = new QVBoxLayout(&host);
        auto* names = new ReservedNameSetField(&host);
        auto* characters = new CharacterSetField(QStringLiteral("Trailing"), &host);
        layout->addWidget(names);
        layout->addWidget(characters);
        layout->addStretch(1);
        names->setValue(setOf({"CON", "PRN", "AUX", "NUL", "CLOCK$", "COM1", "COM2", "COM3", "COM4", "COM5",
            "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"}));
        characters->setValue(setOf({" ", ".", "\t", "\u0085", "-", "_"}));
        host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
        // The narrowest width that still fits the chips into three rows.
        for (int width = 200; width < 900; width += 10) {
            host.resize(width, host.heightForWidth(width));
            QApplication::processEvents();
            if (chipRows(*names) <= 3) {
                break;
            }
        }
        EXPECT_EQ(chipRows(*names), 3);
        EXPECT_GE(names->height(), names->chips().front()->height() * 3);
        EXPECT_LT(names->height(), names->chips().front()->height() * 4);
        EXPECT_TRUE(host.grab().save(test::screenshotPath(dark ? "chips-dark" : "chips-light")));

        for (ChipSetField* field : {static_cast<ChipSetField*>(names), static_cast<ChipSetField*>(characters)}) {
            QTest::mouseClick(field->addButton(), Qt::LeftButton);
            ASSERT_TRUE(QTest::qWaitForWindowExposed(field->addPopover()));
            QTest::keyClicks(field->addLineEdit(), field == names ? QStringLiteral("COM0") : QString());
            const QString name = QStringLiteral("add-") + (field == names ? QStringLiteral("name") : QStringLiteral("character"))
                + (dark ? QStringLiteral("-dark") : QStringLiteral("-light"));
            EXPECT_TRUE(field->addPopover()->grab().save(test::screenshotPath(name)));
            field->addPopover()->hide();
        }
    }
    test::setAppPalette(theme::lightPalette());
}

}  // namespace
}  // namespace tess
