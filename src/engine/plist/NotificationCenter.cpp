#include "plist/NotificationCenter.h"

#include <algorithm>
#include <atomic>

namespace tess {

struct NotificationCenter::Observer {
    Token token;
    std::string name;
    Callback callback;
    std::atomic<bool> active {true};
};

NotificationCenter& NotificationCenter::defaultCenter()
{
    // Never destroyed: observers of objects that live to the end of the
    // process stay valid during exit.
    static NotificationCenter* center = new NotificationCenter();
    return *center;
}

NotificationCenter::Token NotificationCenter::addObserver(std::string name, Callback callback)
{
    auto observer = std::make_shared<Observer>();
    observer->name = std::move(name);
    observer->callback = std::move(callback);
    std::lock_guard lock(m_mutex);
    observer->token = m_nextToken++;
    m_observers.push_back(observer);
    return observer->token;
}

void NotificationCenter::removeObserver(Token token)
{
    std::lock_guard lock(m_mutex);
    auto it = std::find_if(m_observers.begin(), m_observers.end(),
        [token](const std::shared_ptr<Observer>& observer) { return observer->token == token; });
    if (it != m_observers.end()) {
        (*it)->active = false;
        m_observers.erase(it);
    }
}

void NotificationCenter::post(const std::string& name, PlistValue::Dictionary userInfo)
{
    std::vector<std::shared_ptr<Observer>> matching;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& observer : m_observers) {
            if (observer->name == name) {
                matching.push_back(observer);
            }
        }
    }
    const Notification notification {name, std::move(userInfo)};
    for (const auto& observer : matching) {
        if (observer->active && observer->callback) {
            observer->callback(notification);
        }
    }
}

}  // namespace tess
