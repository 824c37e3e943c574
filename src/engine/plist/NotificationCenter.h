#pragma once

#include "plist/PlistValue.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tess {

// An in-process notification centre: observers register for a name and are
// called, synchronously and on the posting thread, for every post of it.
//
// An observer removed while a post is running (also by itself, from inside
// its own callback) is not called again, not even by that post. Observers
// added during a post are first called by the next post. Posting from inside
// a callback is allowed. removeObserver does not wait for a call already
// running on another thread.
class NotificationCenter {
public:
    struct Notification {
        std::string name;
        PlistValue::Dictionary userInfo;
    };
    using Callback = std::function<void(const Notification&)>;
    using Token = std::uint64_t;

    NotificationCenter() = default;
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // The process-wide centre, created on first use and never destroyed.
    static NotificationCenter& defaultCenter();

    // Registers `callback` for `name`; the token identifies the registration.
    Token addObserver(std::string name, Callback callback);
    // Ends a registration; unknown tokens are ignored.
    void removeObserver(Token token);

    void post(const std::string& name, PlistValue::Dictionary userInfo = {});

private:
    struct Observer;
    std::mutex m_mutex;
    std::vector<std::shared_ptr<Observer>> m_observers;
    Token m_nextToken = 1;
};

}  // namespace tess
