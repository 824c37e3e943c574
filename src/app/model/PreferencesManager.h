#pragma once

#include "settings/AppSettings.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tess {

class LoginItem;
class NotificationCenter;
class SettingsManager;

// The model behind the settings sheet, one per sheet. It mirrors the stored
// preferences when created; each of its five writable properties writes only
// its own field back into the settings store, saves, then applies the
// preference's side effect. It also shows the index database's figures and
// resets that database.
class PreferencesManager : public QObject {
    Q_OBJECT

public:
    struct Dependencies {
        SettingsManager* settings = nullptr;
        LoginItem* loginItem = nullptr;
        NotificationCenter* notifications = nullptr;
        // Applies the window appearance (later, on the main thread).
        std::function<void(AppSettings::AppearanceMode)> applyTheme;
        // Switches the logger's debug lines.
        std::function<void(bool)> setDebugEnabled;
        // Where the index database lives; asked afresh for every use.
        std::function<std::string()> databasePath;
        // True once monitoring has stopped and the open index, if any, has
        // written its queue and closed: the database files may then go.
        std::function<bool()> monitoringStopped;
        // How long a reset waits at least, and at most, for monitoring to stop.
        int resetMinimumDelayMs = 500;
        int resetTimeoutMs = 10000;
    };

    static constexpr const char* kAppearanceModeChanged = "AppearanceModeChanged";
    static constexpr const char* kStopMonitoringForReset = "StopMonitoringForReset";

    explicit PreferencesManager(Dependencies dependencies, QObject* parent = nullptr);

    AppSettings::AppearanceMode appearanceMode() const { return m_appearanceMode; }
    bool startAtLogin() const { return m_startAtLogin; }
    bool debugLogging() const { return m_debugLogging; }
    bool useFSEvents() const { return m_useFSEvents; }
    bool usePolling() const { return m_usePolling; }
    double scanIntervalSeconds() const { return m_scanIntervalSeconds; }
    const std::optional<PlistValue::Date>& scheduledStartTime() const { return m_scheduledStartTime; }
    bool autoRenameOnDetection() const { return m_autoRenameOnDetection; }
    bool usePrivilegedHelper() const { return m_usePrivilegedHelper; }
    const QString& excludePatternsText() const { return m_excludePatternsText; }
    std::int64_t databaseFileCount() const { return m_databaseFileCount; }
    std::uint64_t databaseSizeBytes() const { return m_databaseSizeBytes; }

    // Writable from the sheet: each sets the value, then writes it back.
    void setAppearanceMode(AppSettings::AppearanceMode mode);
    void setStartAtLogin(bool enabled);
    void setDebugLogging(bool enabled);
    void setUsePrivilegedHelper(bool enabled);
    void setExcludePatternsText(const QString& text);

    // Recomputes the two database figures off the main thread; they arrive
    // together with databaseStatsChanged.
    void refreshDatabaseStats();
    // Asks monitoring to stop, then deletes the database files once it has
    // stopped (never before the minimum delay, never while it runs); the
    // figures are refreshed afterwards while this manager exists.
    void resetDatabase();

    // One pattern per line, trimmed of horizontal white space; empty lines go.
    static std::vector<std::string> parseExcludePatterns(const QString& text);
    static QString joinExcludePatterns(const std::vector<std::string>& patterns);

signals:
    void appearanceModeChanged();
    void startAtLoginChanged();
    void debugLoggingChanged();
    void usePrivilegedHelperChanged();
    void excludePatternsTextChanged();
    void databaseStatsChanged();
    // After a reset has deleted the files (or found it could not).
    void databaseResetFinished(bool deleted);

private:
    void storeAndSave(const std::function<void(AppSettings::Preferences&)>& store);
    void updateLoginItem(bool enabled);
    void setDatabaseStats(std::int64_t count, std::uint64_t size);

    Dependencies m_deps;
    AppSettings::AppearanceMode m_appearanceMode = AppSettings::AppearanceMode::automatic;
    bool m_startAtLogin = false;
    bool m_debugLogging = false;
    bool m_useFSEvents = false;
    bool m_usePolling = false;
    double m_scanIntervalSeconds = 0;
    std::optional<PlistValue::Date> m_scheduledStartTime;
    bool m_autoRenameOnDetection = false;
    bool m_usePrivilegedHelper = false;
    QString m_excludePatternsText;
    std::int64_t m_databaseFileCount = 0;
    std::uint64_t m_databaseSizeBytes = 0;
};

}  // namespace tess
