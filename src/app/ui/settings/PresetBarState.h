#pragma once

// What the preset bar shows, over plain values.

#include <QString>

#include <optional>
#include <string>

namespace tess {

struct PresetBarState {
    bool showSave = false;  // also "Delete"
    bool saveEnabled = false;
    bool showModified = false;  // also "Reset"
    QString saveToolTip;  // "Save changes to \"NAME\""
    QString deleteToolTip;  // "Delete preset \"NAME\""

    friend bool operator==(const PresetBarState&, const PresetBarState&) = default;
};

// Whether a preset of that name counts as built-in: a built-in preset has
// exactly that name.
bool isBuiltInPresetName(const std::string& name);

// "Save" and "Delete" are shown for an active name that is not a built-in's;
// "Save" is enabled, and "Modified" and "Reset" shown, while the settings
// differ from the active preset.
PresetBarState presetBarState(const std::optional<std::string>& activeName, bool isModified);

}  // namespace tess
