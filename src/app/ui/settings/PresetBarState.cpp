#include "ui/settings/PresetBarState.h"

#include "rules/TessalinePreset.h"

#include <algorithm>

namespace tess {

bool isBuiltInPresetName(const std::string& name)
{
    const std::vector<TessalinePreset>& builtIn = TessalinePreset::builtInPresets();
    return std::any_of(builtIn.begin(), builtIn.end(), [&name](const TessalinePreset& preset) { return preset.name == name; });
}

PresetBarState presetBarState(const std::optional<std::string>& activeName, bool isModified)
{
    PresetBarState state;
    state.showModified = isModified;
    if (activeName && !isBuiltInPresetName(*activeName)) {
        const QString quoted = QLatin1Char('"') + QString::fromStdString(*activeName) + QLatin1Char('"');
        state.showSave = true;
        state.saveEnabled = isModified;
        state.saveToolTip = QStringLiteral("Save changes to ") + quoted;
        state.deleteToolTip = QStringLiteral("Delete preset ") + quoted;
    }
    return state;
}

}  // namespace tess
