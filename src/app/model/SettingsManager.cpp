#include "model/SettingsManager.h"

#include "settings/SettingsPersistence.h"

#include <QThread>

#include <utility>

namespace tess {

SettingsManager& SettingsManager::shared()
{
    // Never destroyed: observers may outlive any static teardown order.
    static SettingsManager* const instance
        = new SettingsManager(std::make_shared<DefaultsStore>(DefaultsStore::standardFilePath()));
    return *instance;
}

SettingsManager::SettingsManager(std::shared_ptr<DefaultsStore> defaults, QObject* parent)
    : QObject(parent)
    , m_defaults(std::move(defaults))
    , m_settings(loadSettings(*m_defaults))
{
}

SettingsManager::~SettingsManager()
{
    Q_ASSERT(thread() == QThread::currentThread());
}

void SettingsManager::setSettings(AppSettings settings)
{
    m_settings = std::move(settings);
    emit settingsChanged(m_settings);
}

void SettingsManager::updateSettings(const std::function<void(AppSettings&)>& change)
{
    change(m_settings);
    emit settingsChanged(m_settings);
}

void SettingsManager::saveSettings()
{
    SettingsPersistence::save(m_settings, *m_defaults);
}

AppSettings SettingsManager::loadSettings(DefaultsStore& defaults)
{
    return SettingsPersistence::load(defaults);
}

}  // namespace tess
