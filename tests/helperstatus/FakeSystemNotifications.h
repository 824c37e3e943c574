#pragma once

#include "platform/SystemNotifications.h"

namespace tess::test {

// Announcements the test posts by hand, delivered at once on the caller's
// thread. Records how it was started.
class FakeSystemNotifications : public SystemNotifications {
public:
    bool start() override
    {
        m_started = true;
        return true;
    }

    void startInBackground() override
    {
        m_startedInBackground = true;
        emit startFinished(true);
    }

    void postDidBecomeActive() { emit helperDidBecomeActive(); }
    void postDidBecomeInactive() { emit helperDidBecomeInactive(); }
    // start() was called (it may block: never from the manager).
    bool started() const { return m_started; }
    bool startedInBackground() const { return m_startedInBackground; }

private:
    bool m_started = false;
    bool m_startedInBackground = false;
};

}  // namespace tess::test
