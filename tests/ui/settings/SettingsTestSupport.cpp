#include "SettingsTestSupport.h"
#include "QtTestApplication.h"

#include "TestEnvironment.h"
#include "log/AppLogger.h"
#include "settings/DefaultsStore.h"
#include "ui/widgets/Theme.h"

#include <QApplication>
#include <QDir>
#include <QStyleFactory>
#include <QTest>
#include <QThreadPool>
#include <QWidget>

namespace tess::test {

namespace {

// One application object in the light palette and an isolated home for the
// whole program.
[[maybe_unused]] const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(
    new QtTestApplication<QApplication>("test_ui_settings", [] { QApplication::setPalette(theme::lightPalette()); }));

}  // namespace

QString screenshotPath(const QString& name)
{
    return screenshotPath(QStringLiteral("advanced"), name);
}

void saveThemedScreenshot(QWidget& widget, const QString& name)
{
    QApplication::processEvents();
    const QString theme = theme::isDark(QApplication::palette()) ? QStringLiteral("-dark") : QStringLiteral("-light");
    EXPECT_TRUE(widget.grab().save(screenshotPath(name + theme)));
}

AdvancedFixture::AdvancedFixture()
    : m_settings(std::make_unique<SettingsManager>(std::make_shared<DefaultsStore>(m_dir / "defaults.plist")))
{
    m_settings->updateSettings([](AppSettings& document) {
        document.preferences.activeSettings = TransformationSettings::make(FilesystemPreset::smb, false, {OSPreset::windows, OSPreset::macOS});
    });
    MonitorViewModel::Dependencies dependencies;
    dependencies.settingsManager = m_settings.get();
    dependencies.dataFolder = m_dir / "data";
    dependencies.folderPicker = m_picker;
    dependencies.prober = [this](const FileTransformationConfig&, const std::string&) { return *m_probeResult; };
    m_model = std::make_unique<MonitorViewModel>(std::move(dependencies));
    QObject::connect(m_settings.get(), &SettingsManager::settingsChanged, [this] { ++saves; });
}

AdvancedFixture::~AdvancedFixture()
{
    m_model.reset();
    QThreadPool::globalInstance()->waitForDone();
    QApplication::processEvents();
}

AppSettings AdvancedFixture::storedSettings() const
{
    DefaultsStore store(m_dir / "defaults.plist");
    return SettingsManager::loadSettings(store);
}

void AdvancedFixture::probe(const std::string& folder, Result<FilesystemDetector::Detection> result)
{
    m_probeResult = std::make_shared<Result<FilesystemDetector::Detection>>(std::move(result));
    m_picker->answers.push_back(folder);
    m_model->selectDestinationToTest();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !m_model->isDetectingFilesystem(); }));
}

FilesystemDetector::Detection detection(const FilesystemCapabilities& capabilities, std::string summary)
{
    return FilesystemDetector::Detection {capabilities, std::move(summary)};
}

}  // namespace tess::test
