#pragma once

#include <QObject>

#include <initializer_list>
#include <vector>

class QSocketNotifier;

namespace tess {

// Turns SIGTERM, SIGINT and the like into a Qt signal on the main thread:
// the handler only writes the signal number into a pipe that the event loop
// watches. One watcher per process.
class UnixSignalWatcher : public QObject {
    Q_OBJECT

public:
    explicit UnixSignalWatcher(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);
    ~UnixSignalWatcher() override;

signals:
    void signalReceived(int signalNumber);

private:
    void readSignals();

    QSocketNotifier* m_notifier = nullptr;
    std::vector<int> m_signals;
};

}  // namespace tess
