#include "model/QuitController.h"

#include "log/AppLogger.h"
#include "model/MonitorViewModel.h"

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
        proceed();
        return;
    case State::waitingForBatch:
        if (m_deps.showBatchProgress) {
            m_deps.showBatchProgress();
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

void QuitController::proceed()
{
    MonitorViewModel* model = m_deps.windowModel ? m_deps.windowModel() : nullptr;
    if (model != nullptr && model->isRenaming()) {
        m_state = State::waitingForBatch;
        TESS_LOG_INFO("AppDelegate: Rename or undo in progress, waiting before quit…");
        m_batchModel = model;
        // Queued: the batch's last step (its result, the scan it asks for)
        // is over before the quit goes on.
        m_batchConnection = connect(model, &MonitorViewModel::renameStateChanged, this, &QuitController::onBatchStateChanged,
            Qt::QueuedConnection);
        connect(model, &QObject::destroyed, this, &QuitController::onBatchStateChanged, Qt::QueuedConnection);
        if (m_deps.showBatchProgress) {
            m_deps.showBatchProgress();
        }
        return;
    }
    if (m_deps.pendingWrites() < 1) {
        finish();
        return;
    }
    waitForWrites();
}

void QuitController::onBatchStateChanged()
{
    if (m_state != State::waitingForBatch) {
        return;
    }
    if (const MonitorViewModel* model = m_batchModel.data(); model != nullptr && model->isRenaming()) {
        return;
    }
    disconnect(m_batchConnection);
    m_batchModel.clear();
    TESS_LOG_INFO("AppDelegate: Rename or undo recorded, proceeding with quit");
    m_state = State::running;
    proceed();
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
