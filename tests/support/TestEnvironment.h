#pragma once

#include "TempDir.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tess::test {

// Sets an environment variable for the object's lifetime, then restores it.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::optional<std::string>& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_previous;
};

// Points HOME and every XDG base folder into a fresh temporary folder, so no
// test ever reads or writes the real home.
class IsolatedHome {
public:
    IsolatedHome();

    const TempDir& dir() const { return m_dir; }
    const std::string& home() const { return m_dir.path(); }
    std::string configHome() const { return m_dir / ".config"; }
    std::string dataHome() const { return m_dir / ".local/share"; }
    std::string stateHome() const { return m_dir / ".local/state"; }

private:
    TempDir m_dir;
    std::vector<std::unique_ptr<ScopedEnv>> m_env;
};

}  // namespace tess::test
