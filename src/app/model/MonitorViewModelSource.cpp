// MonitorViewModel: the choice of the source folder and of the destination,
// and the probe of a destination folder.

#include "model/MonitorViewModel.h"

#include "model/MonitorCoordinator.h"
#include "model/SettingsManager.h"
#include "rules/IllegalCharacterEntries.h"
#include "rules/TranslationTable.h"

namespace tess {

// --- Source and destination ---------------------------------------------------------

void MonitorViewModel::selectSourceFolder()
{
    if (!m_folderPicker) {
        return;
    }
    const QPointer<MonitorViewModel> self(this);
    m_folderPicker->chooseFolder("Select a source folder to scan", "Select", [self](const std::optional<std::string>& chosen) {
        if (self && chosen) {
            self->useSourceFolder(*chosen);
        }
    });
}

void MonitorViewModel::useSourceFolder(const std::string& path)
{
    if (m_isMonitoring) {
        stopMonitoring();
    }
    advanceSourceGeneration();
    resetResults();
    setSourcePath(path);
    m_settingsManager->updateSettings([&path](AppSettings& settings) { settings.preferences.lastSourcePath = path; });
    m_settingsManager->saveSettings();
}

void MonitorViewModel::resetResults()
{
    ++m_resultsGeneration;
    dropHeldDeliveries();
    setIssueList(PreparedIssueList {std::make_shared<const std::vector<IndexedFile>>(), std::make_shared<const LookupIndexes>(),
        FilterResult {}, filterCriteria()});
    m_selectedFileIDs.clear();
    emit selectedFileIDsChanged();
    setIssueCount(0);
    setTotalIndexed(0);
    setLastScanSummary(std::nullopt);
    setLastAnalysisTime(std::nullopt);
    m_searchText.clear();
    emit searchTextChanged();
    setMissingSourcePath(std::nullopt);
    setScanShortfall(false, {});
}

void MonitorViewModel::resetSourceSelection()
{
    if (m_isMonitoring) {
        stopMonitoring();
    }
    advanceSourceGeneration();
    setSourcePath(std::nullopt);
    resetResults();
    m_settingsManager->updateSettings([](AppSettings& settings) { settings.preferences.lastSourcePath.reset(); });
    m_settingsManager->saveSettings();
}

FileTransformationConfig MonitorViewModel::probeConfig()
{
    FileTransformationConfig config;
    config.removeLeadingSpaces = false;
    config.removeTrailingSpaces = false;
    config.targetOperatingSystems.clear();
    config.encodingOverride.reset();
    config.limitFileNameLength.reset();
    config.limitFolderNameLength.reset();
    config.flattenPathsOverDepth.reset();
    config.overrideOSPathLength.reset();
    config.testFolderName = "FileTransform_Test_Data";
    config.testFileContent = "File transformation capability test";
    config.errorDomain = kAppErrorDomain;
    return config;
}

void MonitorViewModel::selectDestinationToTest()
{
    if (!m_folderPicker) {
        return;
    }
    const QPointer<MonitorViewModel> self(this);
    m_folderPicker->chooseFolder("Select the destination folder to test", "Test", [self](const std::optional<std::string>& chosen) {
        if (self && chosen) {
            self->probeDestination(*chosen);
        }
    });
}

void MonitorViewModel::probeDestination(const std::string& folder)
{
    setIsDetectingFilesystem(true);
    setProbeErrorMessage(std::nullopt);
    const Generation generation = ++m_probeGeneration;
    const QPointer<MonitorViewModel> self(this);
    runInBackground([self, generation, prober = m_prober, folder] {
        auto result = std::make_shared<Result<FilesystemDetector::Detection>>(prober(probeConfig(), folder));
        postToMain(self, [generation, folder, result](MonitorViewModel* model) {
            if (model == nullptr || generation != model->m_probeGeneration) {
                return;  // a later probe was started
            }
            model->setIsDetectingFilesystem(false);
            if (result->ok()) {
                model->setDetection(result->value().capabilities, result->value().summary);
                model->setPendingProbePath(folder);
            } else {
                model->setDetection(std::nullopt, std::nullopt);
                model->setProbeErrorMessage(result->error().message);
            }
        });
    });
}

void MonitorViewModel::applyDetectedDestination()
{
    if (!m_pendingProbePath || !m_detectedCapabilities) {
        return;
    }
    const FilesystemCapabilities capabilities = *m_detectedCapabilities;
    const std::string folder = *m_pendingProbePath;
    TransformationSettings settings = m_activeSettings;
    settings.selectedCaseSensitive = capabilities.isCaseSensitive;
    settings.isCaseSensitive = capabilities.isCaseSensitive;
    settings.targetEncoding = capabilities.encodingCapability;
    settings.maxFilenameLength = capabilities.maxFilenameLength;
    settings.maxFolderNameLength = capabilities.maxFilenameLength;
    settings.maxPathDepth = capabilities.maxPathDepth;
    settings.maxPathLength = capabilities.maxPathLength;
    // The current rules first; an existing rule for a character wins.
    settings.translationTable.entries = TranslationTable::mergeEntries(
        TranslationTable::copyEntries(illegalCharacterTranslationEntries(capabilities.illegalCharacters)), settings.translationTable.entries);
    setActiveSettings(settings);
    updateActiveSettings([](TransformationSettings& active) { active.selectedFilesystem.reset(); });
    setDestinationConfig(DestinationConfig::physicalFolder(folder));
    setPendingProbePath(std::nullopt);
}

void MonitorViewModel::setDestinationConfig(const DestinationConfig& destination)
{
    m_destinationConfig = destination;
    emit destinationConfigChanged();
    if (destination.type() == DestinationConfig::ConfigType::presetFilesystem) {
        setDetection(std::nullopt, std::nullopt);
    }
    if (m_isMonitoring && m_coordinator) {
        m_coordinator->updateDestination(destination);
    }
}

void MonitorViewModel::clearDetectedCapabilities()
{
    setPendingProbePath(std::nullopt);
    setDetection(std::nullopt, std::nullopt);
}

void MonitorViewModel::clearProbeErrorMessage()
{
    setProbeErrorMessage(std::nullopt);
}

}  // namespace tess
