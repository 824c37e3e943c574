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
    // object then stays silent.
    virtual bool start() = 0;

signals:
    void helperDidBecomeActive();
    void helperDidBecomeInactive();
};

}  // namespace tess
