#pragma once

#include "platform/ServiceManager.h"

#include <deque>
#include <mutex>
#include <string>

namespace tess::test {

// A service manager whose answers the test scripts. Registration answers (of
// both kinds) are taken from a queue, then `registerFailure` (or success when
// empty) for every further call; a successful registration turns the status
// into `statusAfterRegistration`. Registrations that may prompt and those
// that may not are counted apart.
class FakeServiceManager : public ServiceManager {
public:
    ServiceStatus status() override
    {
        std::lock_guard lock(m_mutex);
        ++m_statusCalls;
        return m_status;
    }

    Status registerService() override
    {
        std::lock_guard lock(m_mutex);
        ++m_registerCalls;
        return answerRegistration();
    }

    Status registerServiceWithoutPrompt() override
    {
        std::lock_guard lock(m_mutex);
        ++m_quietRegisterCalls;
        return answerRegistration();
    }

    Status unregisterService() override
    {
        std::lock_guard lock(m_mutex);
        ++m_unregisterCalls;
        return answerUnregistration();
    }

    Status unregisterServiceWithoutPrompt() override
    {
        std::lock_guard lock(m_mutex);
        ++m_quietUnregisterCalls;
        return answerUnregistration();
    }

    void failUnregistration(std::string message)
    {
        std::lock_guard lock(m_mutex);
        m_unregisterFailure = std::move(message);
    }
    int unregisterCalls() const
    {
        std::lock_guard lock(m_mutex);
        return m_unregisterCalls;
    }
    int quietUnregisterCalls() const
    {
        std::lock_guard lock(m_mutex);
        return m_quietUnregisterCalls;
    }

    void setStatus(ServiceStatus status)
    {
        std::lock_guard lock(m_mutex);
        m_status = status;
    }
    void setStatusAfterRegistration(ServiceStatus status)
    {
        std::lock_guard lock(m_mutex);
        m_statusAfterRegistration = status;
    }
    void failRegistration(std::string message)
    {
        std::lock_guard lock(m_mutex);
        m_failure = std::move(message);
    }
    void queueRegistrationAnswer(Status answer)
    {
        std::lock_guard lock(m_mutex);
        m_answers.push_back(std::move(answer));
    }
    int registerCalls() const
    {
        std::lock_guard lock(m_mutex);
        return m_registerCalls;
    }
    int quietRegisterCalls() const
    {
        std::lock_guard lock(m_mutex);
        return m_quietRegisterCalls;
    }
    int statusCalls() const
    {
        std::lock_guard lock(m_mutex);
        return m_statusCalls;
    }

private:
    // Called with m_mutex held.
    Status answerUnregistration()
    {
        if (!m_unregisterFailure.empty()) {
            return Error {kAppErrorDomain, 125, m_unregisterFailure};
        }
        m_status = ServiceStatus::notRegistered;
        return {};
    }

    // Called with m_mutex held.
    Status answerRegistration()
    {
        Status result;
        if (!m_answers.empty()) {
            result = m_answers.front();
            m_answers.pop_front();
        } else if (!m_failure.empty()) {
            result = Error {kAppErrorDomain, 126, m_failure};
        }
        if (result.ok()) {
            m_status = m_statusAfterRegistration;
        }
        return result;
    }

    mutable std::mutex m_mutex;
    ServiceStatus m_status = ServiceStatus::notRegistered;
    ServiceStatus m_statusAfterRegistration = ServiceStatus::enabled;
    std::deque<Status> m_answers;
    std::string m_failure;
    std::string m_unregisterFailure;
    int m_unregisterCalls = 0;
    int m_quietUnregisterCalls = 0;
    int m_registerCalls = 0;
    int m_quietRegisterCalls = 0;
    int m_statusCalls = 0;
};

}  // namespace tess::test
