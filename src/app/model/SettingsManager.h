#pragma once

#include "settings/AppSettings.h"
#include "settings/DefaultsStore.h"

#include <QMetaType>
#include <QObject>

#include <functional>
#include <memory>

namespace tess {

// The shared observable settings store of the main thread. It holds the
// current settings document, loaded from the user defaults when created,
// tells observers of every change, and writes the document back when asked
// (saveSettings); a change alone is not persisted. Coding and storage are
// the engine's (SettingsPersistence); this object only holds and publishes.
class SettingsManager : public QObject {
    Q_OBJECT

public:
    // The shared instance, created on first use with the standard defaults
    // file and kept for the whole run. Use it from the main thread only.
    static SettingsManager& shared();

    // A store over `defaults` (tests pass their own file).
    explicit SettingsManager(std::shared_ptr<DefaultsStore> defaults, QObject* parent = nullptr);
    ~SettingsManager() override;

    const AppSettings& settings() const { return m_settings; }

    // Replaces the document, then emits settingsChanged.
    void setSettings(AppSettings settings);
    // Lets `change` edit the document in place, then emits settingsChanged.
    void updateSettings(const std::function<void(AppSettings&)>& change);

    // Writes the whole current document to the user defaults. Never fails
    // towards the caller: a failure is logged and the stored value stays.
    void saveSettings();

    // The document stored in `defaults`, or the defaults.
    static AppSettings loadSettings(DefaultsStore& defaults);

signals:
    // After every change of the document, with the new document.
    void settingsChanged(const tess::AppSettings& settings);

private:
    std::shared_ptr<DefaultsStore> m_defaults;
    AppSettings m_settings;
};

}  // namespace tess

Q_DECLARE_METATYPE(tess::AppSettings)
