#pragma once

#include <functional>

namespace tess {

// The application's updater: whether it can check for updates now, a manual
// check, and its two automatic-update settings.
class Updater {
public:
    virtual ~Updater() = default;

    virtual bool canCheckForUpdates() const = 0;
    // Starts a manual check; does nothing while canCheckForUpdates is false.
    virtual void checkForUpdates() = 0;

    virtual bool automaticallyChecksForUpdates() const = 0;
    virtual void setAutomaticallyChecksForUpdates(bool enabled) = 0;
    virtual bool automaticallyDownloadsUpdates() const = 0;
    virtual void setAutomaticallyDownloadsUpdates(bool enabled) = 0;

    // `observer` hears every later change of canCheckForUpdates, on whatever
    // thread the updater notices it. One observer; a new one replaces it.
    virtual void setCanCheckObserver(std::function<void(bool)> observer) = 0;
};

}  // namespace tess
