#pragma once

// Small pieces the scan engine's source files share; not part of its interface.

#include "text/Text.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <string>
#include <utility>

namespace tess::scanengine {

using SteadyClock = std::chrono::steady_clock;

inline double secondsSince(SteadyClock::time_point start)
{
    return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

// Paths may hold bytes that are not UTF-8; the log gets their readable form.
inline std::string shown(const std::string& path)
{
    return text::toValidUtf8(path);
}

inline std::string errorText(int error)
{
    return std::strerror(error);
}

inline int asInt(std::size_t count)
{
    return static_cast<int>(std::min<std::size_t>(count, static_cast<std::size_t>(std::numeric_limits<int>::max())));
}

// Clears a state flag on every way out of a scope, an exception included,
// and then runs `onUnwind` when the way out is an exception. Never throws.
class ClearOnExit {
public:
    ClearOnExit(bool& flag, std::function<void()> onUnwind = {})
        : m_flag(flag)
        , m_onUnwind(std::move(onUnwind))
        , m_exceptions(std::uncaught_exceptions())
    {
    }
    ~ClearOnExit()
    {
        m_flag = false;
        if (m_onUnwind && std::uncaught_exceptions() > m_exceptions) {
            try {
                m_onUnwind();
            } catch (...) {
                // Already unwinding: the job's handler reports the failure.
            }
        }
    }
    ClearOnExit(const ClearOnExit&) = delete;
    ClearOnExit& operator=(const ClearOnExit&) = delete;

private:
    bool& m_flag;
    std::function<void()> m_onUnwind;
    int m_exceptions;
};

}  // namespace tess::scanengine
