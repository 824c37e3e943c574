#include "TestEnvironment.h"

#include <cstdlib>

namespace tess::test {

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value)
    : m_name(std::move(name))
{
    if (const char* old = std::getenv(m_name.c_str()))
        m_previous = old;
    if (value)
        setenv(m_name.c_str(), value->c_str(), 1);
    else
        unsetenv(m_name.c_str());
}

ScopedEnv::~ScopedEnv()
{
    if (m_previous)
        setenv(m_name.c_str(), m_previous->c_str(), 1);
    else
        unsetenv(m_name.c_str());
}

IsolatedHome::IsolatedHome()
{
    m_env.push_back(std::make_unique<ScopedEnv>("HOME", home()));
    m_env.push_back(std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", configHome()));
    m_env.push_back(std::make_unique<ScopedEnv>("XDG_DATA_HOME", dataHome()));
    m_env.push_back(std::make_unique<ScopedEnv>("XDG_STATE_HOME", stateHome()));
}

}  // namespace tess::test
