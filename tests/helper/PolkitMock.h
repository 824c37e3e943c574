#pragma once

#include "TempDir.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace tess::test {

// polkitd as python3-dbusmock simulates it, on the bus at `address`. It
// refuses every action until setAllowed() names it, and logs every call.
class PolkitMock {
public:
    explicit PolkitMock(const std::string& address);
    ~PolkitMock();
    PolkitMock(const PolkitMock&) = delete;
    PolkitMock& operator=(const PolkitMock&) = delete;

    // True once the mock owns its name on the bus.
    bool running() const { return m_running; }
    bool setAllowed(const std::vector<std::string>& actions);
    // From now on, only the next `checks` checks of an allowed action are
    // authorised; every later one is refused.
    bool refuseAfter(int checks);
    // The CheckAuthorization calls it received so far.
    int checkCount() const;
    // Every call it received, one per line, arguments as Python writes them.
    std::string calls() const;

private:
    TempDir m_dir;
    std::string m_address;
    pid_t m_pid = -1;
    bool m_running = false;
};

}  // namespace tess::test
