#include "SettingsTestSupport.h"

#include "ui/settings/ChipSetField.h"
#include "ui/settings/DestinationCapabilitiesCard.h"
#include "ui/settings/LimitsSection.h"
#include "ui/settings/OptionalIntSettingsField.h"
#include "ui/settings/ReservedNameSetField.h"
#include "ui/settings/SetChip.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace tess {
namespace {

class LimitsSectionTest : public test::AdvancedFixture {
protected:
    LimitsSectionTest()
        : m_card(model(), nullptr, &m_sound)
    {
        m_card.resize(600, 500);
        m_card.show();
    }

    LimitsSection& limits() { return *m_card.limits(); }

    DestinationCapabilitiesCard m_card;
};

TEST_F(LimitsSectionTest, FieldsCarryTheirLabelsPlaceholdersAndMinimums)
{
    struct Case {
        LimitsSection::Limit limit;
        const char* label;
        const char* placeholder;
        std::int64_t minimum;
    };
    const Case cases[] = {
        {LimitsSection::fileName, "File name", "255", 12},
        {LimitsSection::folderName, "Folder name", "255", 8},
        {LimitsSection::pathDepth, "Path depth", "\u221E", 1},
        {LimitsSection::pathLength, "Path length", "\u221E", 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        OptionalIntSettingsField* field = limits().limitField(c.limit);
        EXPECT_EQ(field->checkBox()->text(), QString::fromUtf8(c.label));
        EXPECT_EQ(field->lineEdit()->placeholderText(), QString::fromUtf8(c.placeholder));
        EXPECT_EQ(field->minimum(), c.minimum);
    }
    EXPECT_EQ(limits().caseConflictsBox()->text(), QStringLiteral("Allow case conflicts"));
    EXPECT_TRUE(limits().caseConflictsBox()->toolTip().startsWith(
        QStringLiteral("When on, names differing only in case (e.g. Photo.jpg vs photo.jpg) are treated as distinct.")));
}

TEST_F(LimitsSectionTest, EachLimitWritesOnlyItsOwnFieldInOneSaveAndNoLimitIsTheLargestInteger)
{
    for (int i = 0; i < LimitsSection::kLimitCount; ++i) {
        const auto limit = static_cast<LimitsSection::Limit>(i);
        SCOPED_TRACE(i);
        OptionalIntSettingsField* field = limits().limitField(limit);

        // Set by typing (each valid prefix is written as typed), then cleared.
        if (!field->value()) {
            field->checkBox()->click();
        }
        TransformationSettings expected = model().activeSettings();
        ASSERT_TRUE(field->lineEdit()->isEnabled());
        LimitsSection::setting(expected, limit) = 300;
        saves = 0;
        field->lineEdit()->setFocus();
        field->lineEdit()->selectAll();
        QTest::keyClicks(field->lineEdit(), QStringLiteral("300"));
        QTest::keyClick(field->lineEdit(), Qt::Key_Return);
        const int validPrefixes = (3 >= field->minimum() ? 1 : 0) + 2;
        EXPECT_EQ(saves, validPrefixes);
        EXPECT_EQ(model().activeSettings(), expected);
        EXPECT_EQ(field->lineEdit()->text(), QStringLiteral("300"));

        saves = 0;
        field->checkBox()->click();
        LimitsSection::setting(expected, limit) = kNoLimit;
        EXPECT_EQ(saves, 1);
        EXPECT_EQ(model().activeSettings(), expected);
        EXPECT_TRUE(field->lineEdit()->text().isEmpty());
        EXPECT_FALSE(field->value().has_value());
    }
    EXPECT_EQ(m_sound.beeps, 0);
}

TEST_F(LimitsSectionTest, ABadEntryBeepsAndRaisesToTheMinimum)
{
    model().updateActiveSettings([](TransformationSettings& settings) { settings.maxFilenameLength = 100; });
    OptionalIntSettingsField* field = limits().limitField(LimitsSection::fileName);
    field->lineEdit()->setFocus();
    field->lineEdit()->selectAll();
    QTest::keyClicks(field->lineEdit(), QStringLiteral("5"));
    QTest::keyClick(field->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(m_sound.beeps, 1);
    EXPECT_EQ(model().activeSettings().maxFilenameLength, 12);
    EXPECT_EQ(field->lineEdit()->text(), QStringLiteral("12"));
}

TEST_F(LimitsSectionTest, RefreshesInPlaceAndTheFocusedFieldKeepsItsText)
{
    model().updateActiveSettings([](TransformationSettings& settings) { settings.maxPathDepth = 10; });
    OptionalIntSettingsField* depth = limits().limitField(LimitsSection::pathDepth);
    depth->lineEdit()->setFocus();
    depth->lineEdit()->selectAll();
    QTest::keyClicks(depth->lineEdit(), QStringLiteral("+"));  // not a number yet: nothing written
    ASSERT_EQ(model().activeSettings().maxPathDepth, 10);
    EXPECT_EQ(depth->lineEdit()->text(), QStringLiteral("+"));

    // A change of another field from elsewhere.
    model().updateActiveSettings([](TransformationSettings& settings) {
        settings.maxPathLength = 777;
        settings.isCaseSensitive = true;
        settings.reservedNames = {"CON", "<b>x</b>"};
    });
    EXPECT_EQ(depth->lineEdit()->text(), QStringLiteral("+"));
    EXPECT_EQ(limits().limitField(LimitsSection::pathLength)->lineEdit()->text(), QStringLiteral("777"));
    EXPECT_TRUE(limits().caseConflictsBox()->isChecked());
    EXPECT_EQ(limits().reservedNamesField()->value(), (CanonicalStringSet {"CON", "<b>x</b>"}));

    saves = 0;
    limits().caseConflictsBox()->click();
    EXPECT_EQ(saves, 1);
    EXPECT_FALSE(model().activeSettings().isCaseSensitive);
    EXPECT_EQ(model().activeSettings().maxPathDepth, 10);
}

TEST_F(LimitsSectionTest, ReservedNamesAreAddedTrimmedAndTheLastRemovalStoresAnEmptySet)
{
    model().updateActiveSettings([](TransformationSettings& settings) { settings.reservedNames = {"AUX"}; });
    ReservedNameSetField* field = limits().reservedNamesField();
    saves = 0;
    field->openAddPopover();
    field->addLineEdit()->setText(QStringLiteral("  CON  "));
    field->addTyped();
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(model().activeSettings().reservedNames, (CanonicalStringSet {"AUX", "CON"}));

    model().updateActiveSettings([](TransformationSettings& settings) { settings.reservedNames = {"AUX"}; });
    ASSERT_EQ(field->chips().size(), 1U);
    saves = 0;
    field->chips().front()->removeButton()->click();
    EXPECT_EQ(saves, 1);
    EXPECT_TRUE(model().activeSettings().reservedNames.empty());
    EXPECT_TRUE(storedSettings().preferences.activeSettings.reservedNames.empty());
}

}  // namespace
}  // namespace tess
