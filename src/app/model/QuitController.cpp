#include "model/QuitController.h"

#include "log/AppLogger.h"

#include <QThread>

namespace tess {

QuitController::QuitController(Dependencies dependencies, QObject* parent)
    : QObject(parent)
    , m_deps(std::move(dependencies))
{
}

QuitController::~QuitController()
{
    if (m_waiter) {
        m_waiter->wait();
    }
}

void QuitController::requestQuit()
{
    if (m_waiting) {
        return;
    }
    if (m_deps.pendingWrites() < 1) {
        m_deps.quit();
        return;
    }
    m_waiting = true;
    TESS_LOG_INFO("AppDelegate: Pending DB writes detected, waiting before quit…");
    if (m_deps.showWaitSheet) {
        m_deps.showWaitSheet();
    }
    m_waiter.reset(QThread::create([this] {
        m_deps.waitForWrites();
        TESS_LOG_INFO("AppDelegate: Pending DB writes completed, proceeding with quit");
        QMetaObject::invokeMethod(
            this, [this] { m_deps.quit(); }, Qt::QueuedConnection);
    }));
    m_waiter->start();
}

}  // namespace tess
