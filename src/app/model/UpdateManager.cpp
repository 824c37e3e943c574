#include "model/UpdateManager.h"

#include "platform/NullUpdater.h"
#include "platform/Updater.h"
#include "settings/DefaultsStore.h"

#include <QCoreApplication>
#include <QPointer>

namespace tess {

UpdateManager& UpdateManager::shared()
{
    static UpdateManager* instance = new UpdateManager(
        std::make_shared<NullUpdater>(std::make_shared<DefaultsStore>(DefaultsStore::standardFilePath())),
        QCoreApplication::instance());
    return *instance;
}

UpdateManager::UpdateManager(std::shared_ptr<Updater> updater, QObject* parent)
    : QObject(parent)
    , m_updater(std::move(updater))
{
    m_canCheckForUpdates = m_updater->canCheckForUpdates();
    QPointer<UpdateManager> self(this);
    m_updater->setCanCheckObserver([self](bool canCheck) {
        // The updater may speak from any thread; the flag is the main thread's.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, canCheck] {
                if (self) {
                    self->setCanCheckForUpdates(canCheck);
                }
            },
            Qt::QueuedConnection);
    });
}

UpdateManager::~UpdateManager()
{
    m_updater->setCanCheckObserver({});
}

void UpdateManager::checkForUpdates()
{
    if (m_updater->canCheckForUpdates()) {
        m_updater->checkForUpdates();
    }
}

void UpdateManager::setCanCheckForUpdates(bool canCheck)
{
    if (canCheck == m_canCheckForUpdates) {
        return;
    }
    m_canCheckForUpdates = canCheck;
    emit canCheckForUpdatesChanged(canCheck);
}

}  // namespace tess
