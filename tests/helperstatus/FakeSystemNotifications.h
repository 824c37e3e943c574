#pragma once

#include "platform/SystemNotifications.h"

namespace tess::test {

// Announcements the test posts by hand, delivered at once on the caller's thread.
class FakeSystemNotifications : public SystemNotifications {
public:
    bool start() override
    {
        m_started = true;
        return true;
    }

    void postDidBecomeActive() { emit helperDidBecomeActive(); }
    void postDidBecomeInactive() { emit helperDidBecomeInactive(); }
    bool started() const { return m_started; }

private:
    bool m_started = false;
};

}  // namespace tess::test
