#include "SettingsTestSupport.h"

#include "probe/FilesystemDetectorError.h"
#include "ui/settings/AdvancedSettingsView.h"
#include "ui/settings/DestinationCapabilitiesCard.h"
#include "ui/settings/DestinationTestResultsSheet.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace tess {
namespace {

FilesystemCapabilities probedCapabilities(std::int64_t pathLength)
{
    FilesystemCapabilities capabilities;
    capabilities.isCaseSensitive = false;
    capabilities.encodingCapability = TargetEncoding::utf8FullNFC;
    capabilities.maxFilenameLength = 255;
    capabilities.maxPathDepth = kNoLimit;
    capabilities.maxPathLength = pathLength;
    capabilities.illegalCharacters = {0x01, 0x1F, U':', U'?', U'é'};
    return capabilities;
}

Error probeFailure(std::string message)
{
    return Error {"test", 1, std::move(message)};
}

class TestResultsSheetTest : public test::AdvancedFixture {
protected:
    TestResultsSheetTest()
        : m_view(model(), nullptr, &m_sound)
    {
        m_view.resize(640, 720);
        m_view.show();
    }

    DestinationTestResultsSheet& sheet() { return *m_view.testResultsSheet(); }
    QMessageBox& alert() { return *m_view.testFailedAlert(); }

    AdvancedSettingsView m_view;
};

TEST_F(TestResultsSheetTest, RowsShowTheProbeAndTheCapNoteFollowsTheClientSystems)
{
    model().updateActiveSettings([](TransformationSettings& settings) { settings.selectedOperatingSystems = {OSPreset::windows, OSPreset::linux}; });
    const std::string folder = "/srv/<b>share</b> & co";  // 22 bytes
    probe(folder, test::detection(probedCapabilities(1024), "ext4 (probed) \u2022 case-insensitive"));
    ASSERT_TRUE(sheet().isVisible());
    EXPECT_EQ(sheet().pathLabel()->text(), QString::fromStdString(folder));
    EXPECT_EQ(sheet().pathLabel()->textFormat(), Qt::PlainText);
    EXPECT_EQ(sheet().summaryLabel()->text(), QStringLiteral("ext4 (probed) \u2022 case-insensitive"));
    const QList<QStringList> expected {
        {"Case-sensitive", "No", ""},
        {"Encoding", "utf8FullNFC", ""},
        {"Max filename length", "255 bytes", ""},
        {"Max path depth", "\u221E", ""},
        {"Max path length", "1024 bytes (1002 content + 22 base)", "(capped to 259 by Windows)"},
        {"Illegal characters", ": ?", ""},
    };
    EXPECT_EQ(sheet().rowTexts(), expected);
    EXPECT_TRUE(sheet().applyButton()->isEnabled());

    struct Case {
        std::set<OSPreset> systems;
        QString note;
    };
    const Case cases[] = {
        {{}, QString()},
        {{OSPreset::linux}, QString()},  // 4096 is not below 1024
        {{OSPreset::windows}, QStringLiteral("(capped to 259 by Windows)")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.systems.size());
        model().updateActiveSettings([&c](TransformationSettings& settings) { settings.selectedOperatingSystems = c.systems; });
        ASSERT_EQ(sheet().rowTexts().size(), 6);
        EXPECT_EQ(sheet().rowTexts()[4][2], c.note);
    }
}

TEST_F(TestResultsSheetTest, ReturnAppliesOnlyWithCapabilitiesAndEscapeDropsTheProbe)
{
    probe("/srv/usb", test::detection(probedCapabilities(kNoLimit)));
    ASSERT_TRUE(sheet().isVisible());
    EXPECT_EQ(sheet().rowTexts()[4][1], QStringLiteral("\u221E (no limit found)"));

    QTest::keyClick(&sheet(), Qt::Key_Escape);
    EXPECT_FALSE(model().pendingProbePath().has_value());
    EXPECT_FALSE(model().detectedCapabilities().has_value());
    EXPECT_TRUE(QTest::qWaitFor([this] { return !sheet().isVisible(); }));
    EXPECT_TRUE(!model().destinationConfig() || model().destinationConfig()->folder() == nullptr);

    probe("/srv/usb", test::detection(probedCapabilities(2048)));
    ASSERT_TRUE(sheet().isVisible());
    QTest::keyClick(&sheet(), Qt::Key_Return);
    ASSERT_TRUE(model().destinationConfig().has_value());
    EXPECT_EQ(*model().destinationConfig(), DestinationConfig::physicalFolder("/srv/usb"));
    EXPECT_EQ(model().activeSettings().maxPathLength, 2048);
    EXPECT_FALSE(model().pendingProbePath().has_value());
    EXPECT_FALSE(sheet().isVisible());
    EXPECT_EQ(m_view.destinationCard()->filesystemButton()->text(), QStringLiteral("Probed: usb"));
}

TEST_F(TestResultsSheetTest, ReturnDoesNothingWhileApplyIsDisabled)
{
    probe("/srv/usb", test::detection(probedCapabilities(2048)));
    ASSERT_TRUE(sheet().isVisible());
    // A later failed probe drops the capabilities but not the probed folder.
    probe("/srv/other", probeFailure("gone"));
    ASSERT_TRUE(sheet().isVisible());
    EXPECT_FALSE(sheet().applyButton()->isEnabled());
    EXPECT_TRUE(sheet().rowTexts().isEmpty());
    QTest::keyClick(&sheet(), Qt::Key_Return);
    EXPECT_TRUE(sheet().isVisible());
    EXPECT_TRUE(model().pendingProbePath().has_value());
    EXPECT_TRUE(!model().destinationConfig() || model().destinationConfig()->folder() == nullptr);
}

TEST_F(TestResultsSheetTest, SheetAndAlertEachFollowTheirOwnValue)
{
    probe("/srv/usb", test::detection(probedCapabilities(2048)));
    probe("/srv/other", probeFailure(""));  // an empty message still shows the alert
    ASSERT_TRUE(sheet().isVisible());
    ASSERT_TRUE(alert().isVisible());
    EXPECT_EQ(alert().windowTitle(), QStringLiteral("Test Failed"));
    EXPECT_EQ(alert().windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet().windowModality(), Qt::WindowModal);

    // "OK" clears only the message.
    auto* ok = alert().findChild<QPushButton*>(QStringLiteral("okButton"));
    ASSERT_NE(ok, nullptr);
    ok->click();
    EXPECT_FALSE(model().probeErrorMessage().has_value());
    EXPECT_TRUE(QTest::qWaitFor([this] { return !alert().isVisible(); }));
    EXPECT_TRUE(model().pendingProbePath().has_value());
    EXPECT_TRUE(sheet().isVisible());

    // A new failure, then the model drops the probe: the alert stays.
    probe("/srv/third", probeFailure("Cannot write <b>test</b> file"));
    ASSERT_TRUE(alert().isVisible());
    EXPECT_TRUE(alert().informativeText().contains(QStringLiteral("&lt;b&gt;test&lt;/b&gt;")));
    model().clearDetectedCapabilities();
    EXPECT_FALSE(sheet().isVisible());
    EXPECT_TRUE(alert().isVisible());
    EXPECT_TRUE(model().probeErrorMessage().has_value());

    // Escape on the alert dismisses it too.
    QTest::keyClick(&alert(), Qt::Key_Escape);
    EXPECT_FALSE(model().probeErrorMessage().has_value());
}

TEST_F(TestResultsSheetTest, ALongPathIsElidedInTheMiddleOverTwoLines)
{
    const QFontMetrics metrics(QApplication::font());
    const QString path = QStringLiteral("/mnt/") + QString(4000, QLatin1Char('x')) + QStringLiteral("/end<b>");
    const QString shown = DestinationTestResultsSheet::twoLinePath(path, metrics, 300);
    const QStringList lines = shown.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("/mnt/")));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("/end<b>")));
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    EXPECT_LE(metrics.horizontalAdvance(lines[0]), 300);
    EXPECT_LE(metrics.horizontalAdvance(lines[1]), 300);
    EXPECT_EQ(DestinationTestResultsSheet::twoLinePath(QStringLiteral("/srv/usb"), metrics, 300), QStringLiteral("/srv/usb"));
}

}  // namespace
}  // namespace tess
