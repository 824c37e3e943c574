#include "platform/NullUpdater.h"

#include "log/AppLogger.h"
#include "settings/DefaultsStore.h"

namespace tess {

NullUpdater::NullUpdater(std::shared_ptr<DefaultsStore> defaults)
    : m_defaults(std::move(defaults))
{
}

bool NullUpdater::automaticallyChecksForUpdates() const
{
    return read(kChecksKey);
}

void NullUpdater::setAutomaticallyChecksForUpdates(bool enabled)
{
    write(kChecksKey, enabled);
}

bool NullUpdater::automaticallyDownloadsUpdates() const
{
    return read(kDownloadsKey);
}

void NullUpdater::setAutomaticallyDownloadsUpdates(bool enabled)
{
    write(kDownloadsKey, enabled);
}

bool NullUpdater::read(const char* key) const
{
    // Absent or unreadable: off, as a fresh installation has it.
    const auto stored = m_defaults->object(key);
    if (!stored || !stored.value() || !stored.value()->isBool()) {
        return false;
    }
    return *stored.value()->asBool();
}

void NullUpdater::write(const char* key, bool value)
{
    const Status status = m_defaults->setObject(key, PlistValue(value));
    if (!status) {
        TESS_LOG_ERROR(std::string("Could not save ") + key + ": " + status.error().message);
    }
}

}  // namespace tess
