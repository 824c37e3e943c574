#pragma once

#include <QObject>

namespace tess {

// The daemon's system-wide announcements: it started listening, or it is
// stopping. Signals are delivered on the thread that owns the object.
class SystemNotifications : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kDidBecomeActive = "app.quenby.tessaline.helper.didBecomeActive";
    static constexpr const char* kDidBecomeInactive = "app.quenby.tessaline.helper.didBecomeInactive";

    using QObject::QObject;

    // Starts listening. False when the announcements cannot be received; the
    // object then stays silent. May block the calling thread while it
    // reaches the bus.
    virtual bool start() = 0;
    // Starts listening without blocking the calling thread (a bus that
    // accepts but never answers would hold it for good) and emits
    // startFinished on the object's thread once the outcome is known. The
    // default runs start() at once.
    virtual void startInBackground() { emit startFinished(start()); }

signals:
    void helperDidBecomeActive();
    void helperDidBecomeInactive();
    void startFinished(bool listening);
};

}  // namespace tess
