#pragma once

#include "coding/Uuid.h"
#include "core/Error.h"
#include "plist/PlistValue.h"
#include "rules/TransformationSettings.h"
#include "rules/TranslationEntry.h"

#include <string>
#include <vector>

namespace tess {

// A named, identified set of transformation settings; built-in (isBase) or
// saved by the user.
//
// Coded form: {"id": UUID string, "name", "settings", "isBase"}, all required.
struct TessalinePreset {
    Uuid id;
    std::string name;
    TransformationSettings settings;
    bool isBase = false;

    // The built-in presets, each built once per run (one id per run).
    static const TessalinePreset& crossPlatformFileServer();
    static const TessalinePreset& strictShellSafe();
    // [crossPlatformFileServer, strictShellSafe].
    static const std::vector<TessalinePreset>& builtInPresets();
    // The 21 shell entries of the strict shell-safe preset, in order.
    static const std::vector<TranslationEntry>& shellEntries();

    PlistValue encode() const;
    static Result<TessalinePreset> decode(const PlistValue& value);

    // All four fields; names compare as canonically equivalent texts.
    friend bool operator==(const TessalinePreset& a, const TessalinePreset& b);
};

}  // namespace tess
