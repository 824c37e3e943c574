#include "AdvancedTestSupport.h"

#include "ui/AdvancedSettingsView.h"
#include "ui/DestinationCapabilitiesCard.h"
#include "ui/DestinationTestResultsSheet.h"
#include "ui/Theme.h"

#include <QAction>
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
    inBothThemes([this] { test::saveScreenshot(m_view, QStringLiteral("panel-preset")); });
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
    inBothThemes([this] { test::saveScreenshot(*m_view.testResultsSheet(), QStringLiteral("results-sheet-cap-note")); });
    model().applyDetectedDestination();
    ASSERT_FALSE(m_view.testResultsSheet()->isVisible());
    inBothThemes([this] { test::saveScreenshot(m_view, QStringLiteral("panel-probed-folder")); });
}

}  // namespace
}  // namespace tess
