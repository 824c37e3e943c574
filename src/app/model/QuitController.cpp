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
    switch (m_state) {
    case State::running:
        if (m_deps.pendingWrites() < 1) {
            finish();
        } else {
            waitForWrites();
        }
        return;
    case State::waitingForWrites:
        if (m_deps.showWaitSheet) {
            m_deps.showWaitSheet();
        }
        return;
    case State::quitting:
        return;
    }
}

void QuitController::waitForWrites()
{
    m_state = State::waitingForWrites;
    TESS_LOG_INFO("AppDelegate: Pending DB writes detected, waiting before quit…");
    if (m_deps.showWaitSheet) {
        m_deps.showWaitSheet();
    }
    m_waiter.reset(QThread::create([this] {
        m_deps.waitForWrites();
        TESS_LOG_INFO("AppDelegate: Pending DB writes completed, proceeding with quit");
        QMetaObject::invokeMethod(this, &QuitController::finish, Qt::QueuedConnection);
    }));
    m_waiter->start();
}

void QuitController::finish()
{
    m_state = State::quitting;
    m_deps.quit();
}

}  // namespace tess
