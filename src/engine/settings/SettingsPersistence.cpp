#include "settings/SettingsPersistence.h"

#include "log/AppLogger.h"
#include "plist/PlistXml.h"

#include <vector>

namespace tess {

AppSettings SettingsPersistence::load(DefaultsStore& store)
{
    Result<std::optional<PlistValue>> stored = store.object(kDefaultsKey);
    if (!stored.ok()) {
        TESS_LOG_WARN("⚠️ Settings: the stored defaults could not be read and every setting takes its default: "
            + stored.error().message);
        return AppSettings::defaultSettings();
    }
    if (!*stored) {
        return AppSettings::defaultSettings();
    }
    std::vector<AppSettings::Problem> problems;
    AppSettings settings = AppSettings::decode(**stored, &problems);
    if (!problems.empty()) {
        store.keepCopyBeforeNextWrite();
    }
    return settings;
}

bool SettingsPersistence::save(const AppSettings& settings, DefaultsStore& store)
{
    // The document goes through its XML form and is read back, so that what
    // is stored is exactly what a later load will see.
    Result<PlistValue> object = parsePlistXml(toPlistXml(settings.encode()));
    if (!object.ok()) {
        TESS_LOG_ERROR("❌ Failed to encode settings: " + object.error().message);
        return false;
    }
    Status stored = store.setObject(kDefaultsKey, std::move(object).value());
    if (!stored.ok()) {
        TESS_LOG_ERROR("❌ Failed to encode settings: " + stored.error().message);
        return false;
    }
    TESS_LOG_DEBUG("Settings saved successfully as plist dictionary.");
    return true;
}

}  // namespace tess
