#pragma once

#include <optional>
#include <string>
#include <utility>

namespace tess {

// Why a step failed, in words for the log.
struct Failure {
    std::string reason;
};

// What a step that can fail answers: success, or its Failure. Plain C++, so
// that the daemon, which does not link the engine, has one too.
class [[nodiscard]] Outcome {
public:
    Outcome(Failure failure)
        : m_failure(std::move(failure))
    {
    }
    static Outcome success() { return Outcome(); }

    bool ok() const { return !m_failure.has_value(); }
    explicit operator bool() const { return ok(); }
    // Why it failed; only for a failure.
    const std::string& reason() const { return m_failure->reason; }

private:
    Outcome() = default;

    std::optional<Failure> m_failure;
};

}  // namespace tess
