#pragma once

#include <QObject>

#include <memory>

namespace tess {

class Updater;

// The application's updater and whether it can check for updates now, as a
// main-thread flag: the updater may announce a change on any thread; the
// flag changes on the main thread.
class UpdateManager : public QObject {
    Q_OBJECT

public:
    // Created on first use with the updater of this build (which takes its
    // settings from the standard defaults file); kept for the whole run.
    static UpdateManager& shared();

    // Takes the updater's current value at once.
    explicit UpdateManager(std::shared_ptr<Updater> updater, QObject* parent = nullptr);
    ~UpdateManager() override;

    bool canCheckForUpdates() const { return m_canCheckForUpdates; }
    Updater& updater() const { return *m_updater; }
    // Asks the updater again and starts a check only while it can.
    void checkForUpdates();

signals:
    void canCheckForUpdatesChanged(bool canCheck);

private:
    void setCanCheckForUpdates(bool canCheck);

    std::shared_ptr<Updater> m_updater;
    bool m_canCheckForUpdates = false;
};

}  // namespace tess
