#include "settings/AppSettings.h"

#include "core/RawValueEnum.h"

#include "coding/DecodingError.h"
#include "coding/KeyedDecoder.h"
#include "coding/KeyedEncoder.h"
#include "coding/ValueDecoder.h"
#include "log/AppLogger.h"

#include <utility>

namespace tess {

// ---- AppearanceMode -------------------------------------------------------

std::string_view AppSettings::AppearanceMode::rawValue() const
{
    switch (m_value) {
    case automatic:
        return "auto";
    case light:
        return "light";
    case dark:
        return "dark";
    }
    return {};
}

std::optional<AppSettings::AppearanceMode> AppSettings::AppearanceMode::fromRawValue(std::string_view raw)
{
    return caseWithRawValue<AppSettings::AppearanceMode>(raw);
}

const std::array<AppSettings::AppearanceMode, 3>& AppSettings::AppearanceMode::allCases()
{
    static constexpr std::array<AppearanceMode, 3> kAll {automatic, light, dark};
    return kAll;
}

PlistValue AppSettings::AppearanceMode::encode() const
{
    return PlistValue(std::string(rawValue()));
}

Result<AppSettings::AppearanceMode> AppSettings::AppearanceMode::decode(const PlistValue& value)
{
    return ValueDecoder::decodeRawValue<AppearanceMode>(value, "AppearanceMode", fromRawValue);
}

// ---- ReportFormat ---------------------------------------------------------

std::string_view AppSettings::ReportFormat::rawValue() const
{
    switch (m_value) {
    case json:
        return "json";
    case csv:
        return "csv";
    }
    return {};
}

std::optional<AppSettings::ReportFormat> AppSettings::ReportFormat::fromRawValue(std::string_view raw)
{
    return caseWithRawValue<AppSettings::ReportFormat>(raw);
}

const std::array<AppSettings::ReportFormat, 2>& AppSettings::ReportFormat::allCases()
{
    static constexpr std::array<ReportFormat, 2> kAll {json, csv};
    return kAll;
}

PlistValue AppSettings::ReportFormat::encode() const
{
    return PlistValue(std::string(rawValue()));
}

Result<AppSettings::ReportFormat> AppSettings::ReportFormat::decode(const PlistValue& value)
{
    return ValueDecoder::decodeRawValue<ReportFormat>(value, "ReportFormat", fromRawValue);
}

// ---- Preferences ----------------------------------------------------------

namespace {

Result<double> decodeDouble(const PlistValue& value)
{
    if (const double* real = value.asReal()) {
        return *real;
    }
    if (const std::int64_t* integer = value.asInteger()) {
        return static_cast<double>(*integer);
    }
    return DecodingError::typeMismatch("Double", ValueDecoder::describe(value));
}

Result<PlistValue::Date> decodeDate(const PlistValue& value)
{
    if (const PlistValue::Date* date = value.asDate()) {
        return *date;
    }
    return DecodingError::typeMismatch("Date", ValueDecoder::describe(value));
}

Result<std::vector<std::string>> decodeStrings(const PlistValue& value)
{
    return ValueDecoder::decodeArrayOf<std::string>(value, ValueDecoder::decodeString);
}

void report(std::vector<AppSettings::Problem>& problems, std::string key, Error error, std::string_view consequence)
{
    TESS_LOG_WARN("⚠️ Settings: stored value of \"" + key + "\" could not be read and " + std::string(consequence)
        + ": " + error.message);
    problems.push_back({std::move(key), std::move(error)});
}

// Replaces `field` with the decoded value of `key` when it is present; a
// value that fails to decode leaves the default in place and is reported.
template <class T, class Field, class Fn>
void readKey(const PlistValue::Dictionary& stored, const char* key, Field& field, Fn decodeFn,
    std::vector<AppSettings::Problem>& problems)
{
    auto found = stored.find(key);
    if (found == stored.end()) {
        return;
    }
    Result<T> decoded = decodeFn(found->second);
    if (!decoded.ok()) {
        report(problems, key, decoded.error(), "takes its default");
        return;
    }
    field = std::move(decoded).value();
}

// Presets are read one by one; an unreadable one is dropped and reported,
// the others are kept.
void readPresets(const PlistValue::Dictionary& stored, std::vector<TessalinePreset>& presets,
    std::vector<AppSettings::Problem>& problems)
{
    auto found = stored.find("customPresets");
    if (found == stored.end()) {
        return;
    }
    auto array = ValueDecoder::decodeArray(found->second);
    if (!array.ok()) {
        report(problems, "customPresets", array.error(), "takes its default");
        return;
    }
    std::vector<TessalinePreset> decodedPresets;
    decodedPresets.reserve((*array)->size());
    for (std::size_t i = 0; i < (*array)->size(); ++i) {
        Result<TessalinePreset> preset = TessalinePreset::decode((**array)[i]);
        if (!preset.ok()) {
            report(problems, "customPresets[" + std::to_string(i) + "]", preset.error(), "is dropped");
            continue;
        }
        decodedPresets.push_back(std::move(preset).value());
    }
    presets = std::move(decodedPresets);
}

}  // namespace

AppSettings::Preferences::Preferences()
    : activeSettings(TessalinePreset::crossPlatformFileServer().settings)
    , activePresetName(TessalinePreset::crossPlatformFileServer().name)
{
}

const std::array<std::string_view, 17>& AppSettings::Preferences::keys()
{
    static constexpr std::array<std::string_view, 17> kKeys {
        "appearanceMode",
        "startAtLogin",
        "debugLogging",
        "activeSettings",
        "customPresets",
        "activePresetName",
        "useFSEvents",
        "usePolling",
        "scanIntervalSeconds",
        "scheduledStartTime",
        "autoRenameOnDetection",
        "usePrivilegedHelper",
        "excludePatterns",
        "workerCount",
        "reportFormat",
        "lastSourcePath",
        "lastDestinationConfig",
    };
    return kKeys;
}

PlistValue AppSettings::Preferences::encode() const
{
    KeyedEncoder out;
    out.encode("appearanceMode", appearanceMode.encode());
    out.encode("startAtLogin", PlistValue(startAtLogin));
    out.encode("debugLogging", PlistValue(debugLogging));
    out.encode("activeSettings", activeSettings.encode());
    PlistValue::Array presets;
    presets.reserve(customPresets.size());
    for (const TessalinePreset& preset : customPresets) {
        presets.push_back(preset.encode());
    }
    out.encode("customPresets", PlistValue(std::move(presets)));
    out.encodeIfPresent("activePresetName", activePresetName);
    out.encode("useFSEvents", PlistValue(useFSEvents));
    out.encode("usePolling", PlistValue(usePolling));
    out.encode("scanIntervalSeconds", PlistValue(scanIntervalSeconds));
    out.encodeIfPresent("scheduledStartTime", scheduledStartTime);
    out.encode("autoRenameOnDetection", PlistValue(autoRenameOnDetection));
    out.encode("usePrivilegedHelper", PlistValue(usePrivilegedHelper));
    out.encode("excludePatterns", PlistValue(PlistValue::Array(excludePatterns.begin(), excludePatterns.end())));
    out.encode("workerCount", PlistValue(workerCount));
    out.encode("reportFormat", reportFormat.encode());
    out.encodeIfPresent("lastSourcePath", lastSourcePath);
    if (lastDestinationConfig) {
        out.encode("lastDestinationConfig", lastDestinationConfig->encode());
    }
    return out.take();
}

AppSettings::Preferences AppSettings::Preferences::decode(const PlistValue& value, std::vector<Problem>& problems)
{
    Preferences prefs;
    auto container = ValueDecoder::decodeDictionary(value);
    if (!container.ok()) {
        report(problems, "preferences", container.error(), "takes its defaults");
        return prefs;
    }
    const PlistValue::Dictionary& stored = **container;

    readKey<AppearanceMode>(stored, "appearanceMode", prefs.appearanceMode, AppearanceMode::decode, problems);
    readKey<bool>(stored, "startAtLogin", prefs.startAtLogin, ValueDecoder::decodeBool, problems);
    readKey<bool>(stored, "debugLogging", prefs.debugLogging, ValueDecoder::decodeBool, problems);
    readKey<TransformationSettings>(stored, "activeSettings", prefs.activeSettings, TransformationSettings::decode, problems);
    readPresets(stored, prefs.customPresets, problems);
    readKey<std::string>(stored, "activePresetName", prefs.activePresetName, ValueDecoder::decodeString, problems);
    readKey<bool>(stored, "useFSEvents", prefs.useFSEvents, ValueDecoder::decodeBool, problems);
    readKey<bool>(stored, "usePolling", prefs.usePolling, ValueDecoder::decodeBool, problems);
    readKey<double>(stored, "scanIntervalSeconds", prefs.scanIntervalSeconds, decodeDouble, problems);
    readKey<PlistValue::Date>(stored, "scheduledStartTime", prefs.scheduledStartTime, decodeDate, problems);
    readKey<bool>(stored, "autoRenameOnDetection", prefs.autoRenameOnDetection, ValueDecoder::decodeBool, problems);
    readKey<bool>(stored, "usePrivilegedHelper", prefs.usePrivilegedHelper, ValueDecoder::decodeBool, problems);
    readKey<std::vector<std::string>>(stored, "excludePatterns", prefs.excludePatterns, decodeStrings, problems);
    readKey<std::int64_t>(stored, "workerCount", prefs.workerCount, ValueDecoder::decodeInt64, problems);
    readKey<ReportFormat>(stored, "reportFormat", prefs.reportFormat, ReportFormat::decode, problems);
    readKey<std::string>(stored, "lastSourcePath", prefs.lastSourcePath, ValueDecoder::decodeString, problems);
    readKey<DestinationConfig>(stored, "lastDestinationConfig", prefs.lastDestinationConfig, DestinationConfig::decode, problems);
    return prefs;
}

// ---- AppSettings ----------------------------------------------------------

const AppSettings& AppSettings::defaultSettings()
{
    static const AppSettings kDefault;
    return kDefault;
}

PlistValue AppSettings::encode() const
{
    KeyedEncoder out;
    out.encode("preferences", preferences.encode());
    return out.take();
}

AppSettings AppSettings::decode(const PlistValue& value, std::vector<Problem>* problems)
{
    std::vector<Problem> found;
    AppSettings settings;
    if (!value.isDictionary()) {
        report(found, "app.quenby.Tessaline.preferences",
            DecodingError::typeMismatch("Dictionary<String, Any>", ValueDecoder::describe(value)), "takes its defaults");
    } else if (const PlistValue* stored = value.find("preferences")) {
        settings.preferences = Preferences::decode(*stored, found);
    }
    if (problems) {
        problems->insert(problems->end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
    }
    return settings;
}

}  // namespace tess
