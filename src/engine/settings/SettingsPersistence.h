#pragma once

#include "settings/AppSettings.h"
#include "settings/DefaultsStore.h"

namespace tess {

// Reads and writes the settings document in the user defaults, under
// kDefaultsKey, as a property-list dictionary.
class SettingsPersistence {
public:
    static constexpr const char* kDefaultsKey = "app.quenby.Tessaline.preferences";

    // The stored document, or the defaults where nothing (readable) is
    // stored. Never fails: what cannot be read takes its default and is
    // logged at WARN; when anything was lost that way, the store keeps a copy
    // of the file before the next write over it.
    static AppSettings load(DefaultsStore& store);

    // Encodes the whole document and stores it. Logs DEBUG "Settings saved
    // successfully as plist dictionary." on success; on failure logs ERROR
    // "❌ Failed to encode settings: <description>" and leaves the stored
    // value as it was. Never fails towards the caller; true when stored.
    static bool save(const AppSettings& settings, DefaultsStore& store);
};

}  // namespace tess
