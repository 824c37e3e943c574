#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QtConcurrent/QtConcurrentRun>

#include <type_traits>
#include <utility>

namespace tess {

// Runs `task` on the global thread pool, then `callback` with its result on
// the thread of `context`. The watcher is a child of `context`, so the
// callback is dropped when `context` is destroyed first. The task must not
// throw: failures are values.
template <class Task, class Callback>
void runThenCallback(QObject* context, Task task, Callback callback)
{
    using ResultType = std::invoke_result_t<Task>;
    auto* watcher = new QFutureWatcher<ResultType>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, context,
        [watcher, callback = std::move(callback)]() mutable {
            if constexpr (std::is_void_v<ResultType>) {
                callback();
            } else {
                callback(watcher->result());
            }
            watcher->deleteLater();
        });
    watcher->setFuture(QtConcurrent::run(std::move(task)));
}

}  // namespace tess
