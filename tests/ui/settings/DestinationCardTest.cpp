#include "SettingsTestSupport.h"

#include "model/CaseChoice.h"
#include "ui/settings/AdvancedSettingsView.h"
#include "ui/settings/DestinationCapabilitiesCard.h"
#include "ui/settings/DestinationTexts.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QTest>
#include <QToolButton>

namespace tess {
namespace {

class DestinationCardTest : public test::AdvancedFixture {
protected:
    DestinationCardTest()
        : m_card(model(), nullptr, &m_sound)
    {
        m_card.resize(600, 500);
    }

    DestinationCapabilitiesCard m_card;
};

TEST_F(DestinationCardTest, ClientOSEntriesToggleWithTwoSavesAndTheTitleFollows)
{
    struct Case {
        OSPreset system;
        bool on;
        std::set<OSPreset> expected;
        const char* title;
    };
    const Case cases[] = {
        {OSPreset::linux, true, {OSPreset::windows, OSPreset::macOS, OSPreset::linux}, "All"},
        {OSPreset::windows, false, {OSPreset::macOS, OSPreset::linux}, "Linux, macOS"},
        {OSPreset::macOS, false, {OSPreset::linux}, "Linux"},
        {OSPreset::linux, false, {}, "None"},
        {OSPreset::windows, true, {OSPreset::windows}, "Windows"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.system.rawValue()) + (c.on ? " on" : " off"));
        QAction* action = m_card.clientOSAction(c.system);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->isChecked(), !c.on);
        saves = 0;
        action->trigger();
        EXPECT_EQ(saves, 2);
        EXPECT_EQ(model().activeSettings().selectedOperatingSystems, c.expected);
        EXPECT_EQ(action->isChecked(), c.on);
        EXPECT_EQ(m_card.clientOSButton()->text(), QString::fromUtf8(c.title));
        // The derivation ran on the new selection.
        TransformationSettings derived = model().activeSettings();
        derived.applyPresetAndOSCapabilities();
        EXPECT_EQ(model().activeSettings(), derived);
    }
    EXPECT_EQ(storedSettings().preferences.activeSettings, model().activeSettings());
}

TEST_F(DestinationCardTest, TheClientOSMenuStaysOpenWhileItsEntriesAreClicked)
{
    m_card.show();
    QMenu* menu = m_card.clientOSMenu();
    menu->popup(m_card.mapToGlobal(QPoint(0, 0)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    QAction* linux = m_card.clientOSAction(OSPreset::linux);
    const QPoint at = menu->actionGeometry(linux).center();
    QTest::mouseMove(menu, at);
    QTest::mouseClick(menu, Qt::LeftButton, {}, at);
    EXPECT_TRUE(menu->isVisible());
    EXPECT_TRUE(model().activeSettings().selectedOperatingSystems.contains(OSPreset::linux));
    QTest::mouseClick(menu, Qt::LeftButton, {}, at);
    EXPECT_TRUE(menu->isVisible());
    EXPECT_FALSE(model().activeSettings().selectedOperatingSystems.contains(OSPreset::linux));
    menu->hide();
}

TEST_F(DestinationCardTest, EachPresetSetsItsDefaultCaseFlagAndShowsTheBoxWhereThereIsAChoice)
{
    for (const FilesystemPreset preset : FilesystemPreset::allCases()) {
        SCOPED_TRACE(std::string(preset.rawValue()));
        saves = 0;
        m_card.filesystemAction(preset)->trigger();
        EXPECT_EQ(saves, 3);
        const TransformationSettings& settings = model().activeSettings();
        EXPECT_EQ(settings.selectedFilesystem, std::optional<FilesystemPreset>(preset));
        EXPECT_EQ(settings.selectedCaseSensitive, preset.defaultCaseSensitive());
        EXPECT_EQ(model().destinationConfig(), std::optional(DestinationConfig::presetFilesystem(preset, preset.defaultCaseSensitive())));
        EXPECT_EQ(m_card.filesystemButton()->text(), QString::fromUtf8(preset.rawValue().data(), static_cast<qsizetype>(preset.rawValue().size())));
        EXPECT_EQ(!m_card.caseSensitiveBox()->isHidden(), offersCaseChoice(preset));
        EXPECT_EQ(m_card.caseSensitiveBox()->isChecked(), preset.defaultCaseSensitive());
    }
    const bool nfsChecked = [&] {
        m_card.filesystemAction(FilesystemPreset::nfs)->trigger();
        return m_card.caseSensitiveBox()->isChecked();
    }();
    EXPECT_TRUE(nfsChecked);
    m_card.caseSensitiveBox()->click();  // the user's choice, then NTFS resets it
    m_card.caseSensitiveBox()->click();
    m_card.filesystemAction(FilesystemPreset::ntfs)->trigger();
    EXPECT_FALSE(m_card.caseSensitiveBox()->isChecked());
    EXPECT_FALSE(model().activeSettings().selectedCaseSensitive);
}

TEST_F(DestinationCardTest, NoneKeepsTheDestinationAndTheCaseBoxWritesTheVariantOnly)
{
    m_card.filesystemAction(FilesystemPreset::apfs)->trigger();
    const auto destination = model().destinationConfig();

    saves = 0;
    m_card.caseSensitiveBox()->click();
    EXPECT_EQ(saves, 2);
    EXPECT_TRUE(model().activeSettings().selectedCaseSensitive);
    TransformationSettings derived = model().activeSettings();
    derived.applyPresetAndOSCapabilities();
    EXPECT_EQ(model().activeSettings(), derived);
    EXPECT_EQ(model().destinationConfig(), destination);

    saves = 0;
    m_card.noneAction()->trigger();
    EXPECT_EQ(saves, 2);
    EXPECT_FALSE(model().activeSettings().selectedFilesystem.has_value());
    EXPECT_EQ(model().destinationConfig(), destination);
    EXPECT_EQ(m_card.filesystemButton()->text(), QStringLiteral("None"));
    EXPECT_TRUE(m_card.caseSensitiveBox()->isHidden());
}

TEST_F(DestinationCardTest, AProbeShowsProbingThenTheAppliedFolderByName)
{
    FilesystemCapabilities capabilities;
    capabilities.maxPathLength = 1024;
    m_picker->answers.push_back("/mnt/<i>copies");
    m_probeResult = std::make_shared<Result<FilesystemDetector::Detection>>(test::detection(capabilities));
    m_card.testDestinationAction()->trigger();
    // The result lands on a later turn of the event loop.
    ASSERT_TRUE(model().isDetectingFilesystem());
    EXPECT_EQ(m_card.filesystemButton()->text(), QStringLiteral("Probing\u2026"));
    EXPECT_FALSE(m_card.testDestinationAction()->isEnabled());
    EXPECT_TRUE(m_card.noneAction()->isEnabled());
    EXPECT_TRUE(m_card.filesystemAction(FilesystemPreset::fat)->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([this] { return model().pendingProbePath().has_value(); }));
    EXPECT_TRUE(m_card.testDestinationAction()->isEnabled());
    model().applyDetectedDestination();
    EXPECT_EQ(m_card.filesystemButton()->text(), QStringLiteral("Probed: <i>copies"));
    EXPECT_TRUE(m_card.caseSensitiveBox()->isHidden());
}

}  // namespace
}  // namespace tess
