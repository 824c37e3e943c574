#pragma once

#include <future>

namespace tess::test {

// A gate a background job waits at until the test opens it. Header-only.
class Gate {
public:
    void open() { m_promise.set_value(); }
    void wait() const { m_future.wait(); }

private:
    std::promise<void> m_promise;
    std::shared_future<void> m_future = m_promise.get_future().share();
};

}  // namespace tess::test
