#pragma once

#include "core/Error.h"
#include "plist/PlistValue.h"
#include "rules/DestinationConfig.h"
#include "rules/TessalinePreset.h"
#include "rules/TransformationSettings.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tess {

// The persisted settings document.
//
// Stored form: {"preferences": {<the 17 preference keys>}}. Booleans are
// property-list booleans, scanIntervalSeconds a real, workerCount an integer,
// scheduledStartTime a date, the two enumerations their raw value strings,
// the nested rule values their own coded forms. The four optional keys
// (activePresetName, scheduledStartTime, lastSourcePath,
// lastDestinationConfig) are written only when they hold a value.
//
// Reading is tolerant, key by key: a missing key takes its default, and so
// does a present value that cannot be decoded (reported as a Problem and
// logged at WARN). Custom presets are read one by one; only unreadable ones
// are dropped.
struct AppSettings {
    class AppearanceMode {
    public:
        enum Value : std::uint8_t {
            automatic,  // "auto"
            light,  // "light"
            dark,  // "dark"
        };

        constexpr AppearanceMode(Value value)
            : m_value(value)
        {
        }
        constexpr operator Value() const { return m_value; }

        std::string_view rawValue() const;
        // Exact match of a raw value; nothing otherwise.
        static std::optional<AppearanceMode> fromRawValue(std::string_view raw);
        static const std::array<AppearanceMode, 3>& allCases();

        PlistValue encode() const;
        static Result<AppearanceMode> decode(const PlistValue& value);

    private:
        Value m_value;
    };

    class ReportFormat {
    public:
        enum Value : std::uint8_t {
            json,  // "json"
            csv,  // "csv"
        };

        constexpr ReportFormat(Value value)
            : m_value(value)
        {
        }
        constexpr operator Value() const { return m_value; }

        std::string_view rawValue() const;
        static std::optional<ReportFormat> fromRawValue(std::string_view raw);
        static const std::array<ReportFormat, 2>& allCases();

        PlistValue encode() const;
        static Result<ReportFormat> decode(const PlistValue& value);

    private:
        Value m_value;
    };

    // A stored value that could not be read and was replaced by its default
    // (or, for a custom preset, dropped). `key` names the preference, a
    // custom preset as "customPresets[<index>]", or "preferences" for the
    // whole dictionary.
    struct Problem {
        std::string key;
        Error error;
    };

    struct Preferences {
        AppearanceMode appearanceMode = AppearanceMode::automatic;
        bool startAtLogin = false;
        bool debugLogging = true;
        TransformationSettings activeSettings;  // Cross Platform File Server's settings
        std::vector<TessalinePreset> customPresets;
        std::optional<std::string> activePresetName;  // "Cross Platform File Server"
        bool useFSEvents = true;
        bool usePolling = true;
        double scanIntervalSeconds = 300.0;
        std::optional<PlistValue::Date> scheduledStartTime;
        bool autoRenameOnDetection = false;
        bool usePrivilegedHelper = false;
        std::vector<std::string> excludePatterns {"*.tmp"};
        std::int64_t workerCount = 2;
        ReportFormat reportFormat = ReportFormat::json;
        std::optional<std::string> lastSourcePath;
        std::optional<DestinationConfig> lastDestinationConfig;

        // The defaults; rows 4 and 6 come from the built-in preset
        // "Cross Platform File Server".
        Preferences();

        // The 17 keys in their fixed order (the order of decoding).
        static const std::array<std::string_view, 17>& keys();

        PlistValue encode() const;
        // Never fails: see the type's comment. Problems are appended.
        static Preferences decode(const PlistValue& value, std::vector<Problem>& problems);

        friend bool operator==(const Preferences&, const Preferences&) = default;
    };

    Preferences preferences;

    // The document of the default preferences, built once (thread-safe).
    static const AppSettings& defaultSettings();

    PlistValue encode() const;
    // Never fails. Every value that had to be replaced or dropped is logged
    // at WARN and, when `problems` is given, appended there.
    static AppSettings decode(const PlistValue& value, std::vector<Problem>* problems = nullptr);

    friend bool operator==(const AppSettings&, const AppSettings&) = default;
};

}  // namespace tess

template <>
struct std::hash<tess::AppSettings::AppearanceMode> {
    std::size_t operator()(tess::AppSettings::AppearanceMode m) const noexcept { return static_cast<std::size_t>(m); }
};

template <>
struct std::hash<tess::AppSettings::ReportFormat> {
    std::size_t operator()(tess::AppSettings::ReportFormat f) const noexcept { return static_cast<std::size_t>(f); }
};
