// MonitorViewModel: the active settings, presets and their write-through to
// the settings store.

#include "model/MonitorViewModel.h"

#include "model/MonitorCoordinator.h"
#include "model/SettingsManager.h"
#include "text/Text.h"

#include <algorithm>

namespace tess {

namespace {

bool isBlank(const std::string& text)
{
    bool blank = true;
    text::forEachCodePoint(text, [&](char32_t cp) {
        if (!(cp == U' ' || cp == U'\t' || cp == U'\n' || cp == U'\r' || cp == U'\v' || cp == U'\f' || cp == 0x85 || cp == 0xA0
                || cp == 0x1680 || (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F
                || cp == 0x205F || cp == 0x3000)) {
            blank = false;
        }
    });
    return blank;
}

}  // namespace

// --- Settings and presets -----------------------------------------------------------

void MonitorViewModel::setActiveSettings(const TransformationSettings& settings)
{
    m_activeSettings = settings;
    emit activeSettingsChanged();
    applySettingsChange();
}

void MonitorViewModel::updateActiveSettings(const std::function<void(TransformationSettings&)>& change)
{
    change(m_activeSettings);
    emit activeSettingsChanged();
    applySettingsChange();
}

void MonitorViewModel::setActivePresetName(const std::optional<std::string>& name)
{
    setActivePreset(name, m_activePresetName == name ? m_activePresetId : std::nullopt);
}

void MonitorViewModel::setActivePreset(const std::optional<std::string>& name, const std::optional<Uuid>& id)
{
    m_activePresetId = id;
    m_activePresetName = name;
    emit activePresetNameChanged();
    m_settingsManager->updateSettings([&name](AppSettings& settings) { settings.preferences.activePresetName = name; });
    m_settingsManager->saveSettings();
}

void MonitorViewModel::applySettingsChange()
{
    const TransformationSettings settings = m_activeSettings;
    m_settingsManager->updateSettings([&settings](AppSettings& document) { document.preferences.activeSettings = settings; });
    m_settingsManager->saveSettings();
    if (m_isMonitoring && m_coordinator) {
        m_coordinator->updateSettings(m_activeSettings);
    }
}

bool MonitorViewModel::isPresetModified() const
{
    const std::optional<TessalinePreset> preset = activePreset();
    return !preset || !(m_activeSettings == preset->settings);
}

std::optional<TessalinePreset> MonitorViewModel::activePreset() const
{
    if (!m_activePresetName) {
        return std::nullopt;
    }
    const std::vector<TessalinePreset> presets = availablePresets();
    // The preset applied by id, while its name is still the active one.
    if (m_activePresetId) {
        for (const TessalinePreset& preset : presets) {
            if (preset.id == *m_activePresetId && preset.name == *m_activePresetName) {
                return preset;
            }
        }
    }
    for (const TessalinePreset& preset : presets) {
        if (preset.name == *m_activePresetName) {
            return preset;
        }
    }
    return std::nullopt;
}

std::vector<TessalinePreset> MonitorViewModel::availablePresets() const
{
    std::vector<TessalinePreset> presets = TessalinePreset::builtInPresets();
    const std::vector<TessalinePreset>& custom = m_settingsManager->settings().preferences.customPresets;
    presets.insert(presets.end(), custom.begin(), custom.end());
    return presets;
}

void MonitorViewModel::applyPreset(const TessalinePreset& preset)
{
    const TessalinePreset chosen = preset;  // the argument may live in the settings document
    setActiveSettings(chosen.settings);
    setActivePreset(chosen.name, chosen.id);
    if (chosen.settings.selectedFilesystem) {
        setDestinationConfig(DestinationConfig::presetFilesystem(*chosen.settings.selectedFilesystem, chosen.settings.selectedCaseSensitive));
    }
}

bool MonitorViewModel::applyPreset(const Uuid& id)
{
    for (const TessalinePreset& preset : availablePresets()) {
        if (preset.id == id) {
            applyPreset(preset);
            return true;
        }
    }
    return false;
}

Status MonitorViewModel::checkNewPresetName(const std::string& name) const
{
    if (isBlank(name)) {
        return Error {kAppErrorDomain, 1, "A preset needs a name."};
    }
    for (const TessalinePreset& preset : TessalinePreset::builtInPresets()) {
        if (text::canonicallyEqual(preset.name, name)) {
            return Error {kAppErrorDomain, 2, "\"" + name + "\" is the name of a built-in preset."};
        }
    }
    for (const TessalinePreset& preset : m_settingsManager->settings().preferences.customPresets) {
        if (text::canonicallyEqual(preset.name, name)) {
            return Error {kAppErrorDomain, 3, "A preset named \"" + name + "\" already exists."};
        }
    }
    return {};
}

Status MonitorViewModel::saveAsPreset(const std::string& name)
{
    if (Status check = checkNewPresetName(name); !check.ok()) {
        return check;
    }
    TessalinePreset preset {Uuid::random(), name, m_activeSettings, false};
    const Uuid id = preset.id;
    m_settingsManager->updateSettings([&preset](AppSettings& settings) { settings.preferences.customPresets.push_back(preset); });
    m_settingsManager->saveSettings();
    setActivePreset(name, id);
    return {};
}

void MonitorViewModel::updatePreset(AppSettings& document, const Uuid& id) const
{
    for (TessalinePreset& preset : document.preferences.customPresets) {
        if (preset.id == id) {
            preset.settings = m_activeSettings;
            return;
        }
    }
}

void MonitorViewModel::deletePreset(const Uuid& id)
{
    std::optional<std::string> removedName;
    m_settingsManager->updateSettings([&](AppSettings& settings) {
        auto& presets = settings.preferences.customPresets;
        const auto found = std::find_if(presets.begin(), presets.end(), [&id](const TessalinePreset& p) { return p.id == id; });
        if (found != presets.end()) {
            removedName = found->name;
            presets.erase(found);
        }
    });
    m_settingsManager->saveSettings();
    const bool wasActive = (m_activePresetId && *m_activePresetId == id)
        || (!m_activePresetId && removedName && m_activePresetName == removedName);
    if (wasActive) {
        applyPreset(TessalinePreset::crossPlatformFileServer());
    }
}

}  // namespace tess
