#include "SettingsTestSupport.h"

#include "ui/settings/CharacterSetField.h"
#include "ui/settings/OrderedCharacterField.h"
#include "ui/settings/PreferencesCard.h"
#include "ui/settings/SetChip.h"

#include <QAction>
#include <QCheckBox>
#include <QGraphicsOpacityEffect>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>

namespace tess {
namespace {

class PreferencesCardTest : public test::AdvancedFixture {
protected:
    PreferencesCardTest()
        : m_card(model())
    {
        m_card.resize(600, 500);
    }

    PreferencesCard m_card;
};

TEST_F(PreferencesCardTest, EachToggleWritesOnlyItsOwnFieldWithOneSave)
{
    struct Case {
        PreferencesCard::Toggle toggle;
        const char* title;
        bool hasToolTip;
    };
    const Case cases[] = {
        {PreferencesCard::stripControlCharacters, "Strip control characters", true},
        {PreferencesCard::normalizeWhitespace, "Normalize Unicode whitespace", true},
        {PreferencesCard::stripInvisibleCharacters, "Strip invisible characters", true},
        {PreferencesCard::smartPathShortening, "Smart path shortening", false},
        {PreferencesCard::cleanupEmptyDirectories, "Clean up empty directories after flatten", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        QCheckBox* box = m_card.toggle(c.toggle);
        EXPECT_EQ(box->text(), QString::fromUtf8(c.title));
        EXPECT_EQ(!box->toolTip().isEmpty(), c.hasToolTip);
        const auto setting = PreferencesCard::toggleSetting(c.toggle);
        TransformationSettings expected = model().activeSettings();
        expected.*setting = !(expected.*setting);
        saves = 0;
        box->click();
        EXPECT_EQ(saves, 1);
        EXPECT_EQ(model().activeSettings(), expected);
        EXPECT_EQ(box->isChecked(), expected.*setting);
        // And back from the model, as a preset would.
        model().updateActiveSettings([setting](TransformationSettings& settings) { settings.*setting = !(settings.*setting); });
        EXPECT_EQ(box->isChecked(), !(expected.*setting));
    }
    EXPECT_EQ(m_card.toggle(PreferencesCard::stripControlCharacters)->toolTip(),
        QStringLiteral("Strip non-printable control characters (U+0000\u2013U+001F, U+007F, U+0080\u2013U+009F)."));
}

TEST_F(PreferencesCardTest, TheEncodingMenuWritesTheChosenEncodingAndItsTitleFollowsTheSettings)
{
    struct Case {
        TargetEncoding encoding;
        const char* title;
    };
    const Case cases[] = {
        {TargetEncoding::asciiOnly, "ASCII"},
        {TargetEncoding::utf8Basic, "UTF-8 Basic"},
        {TargetEncoding::utf8FullNFC, "UTF-8 Full (NFC)"},
        {TargetEncoding::utf8Full, "UTF-8 Full"},
    };
    ASSERT_EQ(m_card.encodingMenu()->actions().size(), 4);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        TransformationSettings expected = model().activeSettings();
        expected.targetEncoding = c.encoding;
        saves = 0;
        m_card.encodingAction(c.encoding)->trigger();
        EXPECT_EQ(saves, 1);
        EXPECT_EQ(model().activeSettings(), expected);
        EXPECT_EQ(m_card.encodingButton()->text(), QString::fromUtf8(c.title));
        EXPECT_TRUE(m_card.encodingAction(c.encoding)->isChecked());
    }
    model().updateActiveSettings([](TransformationSettings& settings) { settings.targetEncoding = TargetEncoding::asciiOnly; });
    EXPECT_EQ(m_card.encodingButton()->text(), QStringLiteral("ASCII"));
}

TEST_F(PreferencesCardTest, SeparatorsOffKeepTheListAndDimTheField)
{
    model().updateActiveSettings([](TransformationSettings& settings) {
        settings.cleanRepeatedSeparators = true;
        settings.repeatedSeparatorCharacters = {"-", "_"};
    });
    ASSERT_TRUE(m_card.separatorsField()->isEnabled());
    saves = 0;
    m_card.separatorsBox()->click();
    EXPECT_EQ(saves, 1);
    EXPECT_FALSE(model().activeSettings().cleanRepeatedSeparators);
    EXPECT_EQ(model().activeSettings().repeatedSeparatorCharacters, (std::vector<std::string> {"-", "_"}));
    EXPECT_FALSE(m_card.separatorsField()->isEnabled());
    EXPECT_EQ(m_card.separatorsField()->chips().size(), 2U);
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(m_card.separatorsField()->graphicsEffect());
    ASSERT_NE(effect, nullptr);
    EXPECT_DOUBLE_EQ(effect->opacity(), 0.5);

    m_card.separatorsBox()->click();
    EXPECT_TRUE(m_card.separatorsField()->isEnabled());
    EXPECT_DOUBLE_EQ(effect->opacity(), 1.0);
    saves = 0;
    m_card.separatorsField()->moveLeft(1);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(model().activeSettings().repeatedSeparatorCharacters, (std::vector<std::string> {"_", "-"}));
}

TEST_F(PreferencesCardTest, StripSetsWriteOnlyTheirOwnSet)
{
    model().updateActiveSettings([](TransformationSettings& settings) {
        settings.stripLeadingCharacters = {" "};
        settings.stripTrailingCharacters = {" "};
    });
    TransformationSettings expected = model().activeSettings();
    expected.stripTrailingCharacters = {" ", "."};
    saves = 0;
    m_card.stripTrailingField()->openAddPopover();
    m_card.stripTrailingField()->addLineEdit()->setText(QStringLiteral(".x"));
    m_card.stripTrailingField()->addTyped();
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(model().activeSettings(), expected);

    expected.stripLeadingCharacters.clear();
    m_card.stripLeadingField()->chips().front()->removeButton()->click();
    EXPECT_EQ(model().activeSettings(), expected);
    EXPECT_TRUE(storedSettings().preferences.activeSettings.stripLeadingCharacters.empty());
}

}  // namespace
}  // namespace tess
