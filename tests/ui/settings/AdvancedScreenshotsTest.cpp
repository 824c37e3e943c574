#include "SettingsTestSupport.h"

#include "ui/settings/AdvancedSettingsView.h"
#include "ui/settings/DestinationCapabilitiesCard.h"
#include "ui/settings/DestinationTestResultsSheet.h"
#include "ui/settings/PreferencesCard.h"
#include "ui/settings/PresetBar.h"
#include "ui/settings/SavePresetSheet.h"
#include "ui/settings/TranslationTableCard.h"
#include "ui/widgets/Theme.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace tess {
namespace {

class AdvancedScreenshots : public test::AdvancedFixture {
protected:
    AdvancedScreenshots()
        : m_view(model(), nullptr, &m_sound)
    {
        m_view.resize(620, 900);
        m_view.show();
    }

    ~AdvancedScreenshots() override { test::setAppPalette(theme::lightPalette()); }

    // Runs `shoot` once per palette.
    static void inBothThemes(const std::function<void()>& shoot)
    {
        for (const QPalette& palette : {theme::lightPalette(), theme::darkPalette()}) {
            test::setAppPalette(palette);
            shoot();
        }
    }

    AdvancedSettingsView m_view;
};

TEST_F(AdvancedScreenshots, PanelWithAPresetDestination)
{
    m_view.destinationCard()->filesystemAction(FilesystemPreset::ntfs)->trigger();
    inBothThemes([this] { test::saveThemedScreenshot(m_view, QStringLiteral("panel-preset")); });
}

TEST_F(AdvancedScreenshots, PanelWithAProbedFolderAndTheResultsSheet)
{
    model().updateActiveSettings([](TransformationSettings& settings) { settings.selectedOperatingSystems = {OSPreset::windows, OSPreset::linux}; });
    FilesystemCapabilities capabilities;
    capabilities.isCaseSensitive = true;
    capabilities.encodingCapability = TargetEncoding::utf8Full;
    capabilities.maxFilenameLength = 255;
    capabilities.maxPathLength = 4096;
    capabilities.illegalCharacters = {0x00, U'/'};
    probe("/media/backup/Photos & <b>Archive 2026", test::detection(capabilities, "ext4 (probed) \u2022 case-sensitive"));
    ASSERT_TRUE(m_view.testResultsSheet()->isVisible());
    inBothThemes([this] { test::saveThemedScreenshot(*m_view.testResultsSheet(), QStringLiteral("results-sheet-cap-note")); });
    model().applyDetectedDestination();
    ASSERT_FALSE(m_view.testResultsSheet()->isVisible());
    inBothThemes([this] { test::saveThemedScreenshot(m_view, QStringLiteral("panel-probed-folder")); });
}

TEST_F(AdvancedScreenshots, PreferencesCardWithSeparatorsOnAndOff)
{
    model().updateActiveSettings([](TransformationSettings& settings) {
        settings.stripLeadingCharacters = {" ", "."};
        settings.stripTrailingCharacters = {" ", "\t", "~"};
        settings.repeatedSeparatorCharacters = {".", "-", "_", " "};
    });
    PreferencesCard& card = *m_view.preferencesCard();
    for (const bool on : {true, false}) {
        model().updateActiveSettings([on](TransformationSettings& settings) { settings.cleanRepeatedSeparators = on; });
        inBothThemes([&card, on] { test::saveThemedScreenshot(card, on ? QStringLiteral("preferences-separators-on") : QStringLiteral("preferences-separators-off")); });
    }
}

TEST_F(AdvancedScreenshots, TranslationTableWithSixRules)
{
    model().updateActiveSettings([](TransformationSettings& settings) {
        settings.translationTable.entries = {
            {":", "_"},
            {"\t", " "},
            {"\xF0\x9F\x98\x80", ""},
            {"%20", " "},
            {"<b>", "&"},
            {"\xC3\xA9", "e"},
        };
    });
    inBothThemes([this] { test::saveThemedScreenshot(*m_view.translationTableCard(), QStringLiteral("translation-table-six-rules")); });
}

TEST_F(AdvancedScreenshots, PresetBarStatesAndTheSaveAsSheetRefusingAName)
{
    PresetBar& bar = *m_view.presetBar();
    model().applyPreset(TessalinePreset::crossPlatformFileServer());
    inBothThemes([&bar] { test::saveThemedScreenshot(bar, QStringLiteral("preset-bar-built-in")); });
    model().updateActiveSettings([](TransformationSettings& settings) { settings.smartPathShortening = !settings.smartPathShortening; });
    inBothThemes([&bar] { test::saveThemedScreenshot(bar, QStringLiteral("preset-bar-built-in-modified")); });
    ASSERT_TRUE(model().saveAsPreset("Photos <b>NAS</b>").ok());
    inBothThemes([&bar] { test::saveThemedScreenshot(bar, QStringLiteral("preset-bar-custom")); });
    model().updateActiveSettings([](TransformationSettings& settings) { settings.smartPathShortening = !settings.smartPathShortening; });
    inBothThemes([&bar] { test::saveThemedScreenshot(bar, QStringLiteral("preset-bar-custom-modified")); });
    inBothThemes([this] { test::saveThemedScreenshot(m_view, QStringLiteral("panel-full")); });

    bar.saveAsButton()->click();
    SavePresetSheet& sheet = *bar.saveAsSheet();
    ASSERT_TRUE(sheet.isVisible());
    sheet.nameEdit()->setText(QStringLiteral("Cross Platform File Server"));
    ASSERT_FALSE(sheet.saveButton()->isEnabled());
    inBothThemes([&sheet] { test::saveThemedScreenshot(sheet, QStringLiteral("save-as-refused")); });
}

}  // namespace
}  // namespace tess
