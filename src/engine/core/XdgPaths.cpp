#include "core/XdgPaths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace tess {

namespace {

constexpr const char* kBundleIdentifier = "app.quenby.Tessaline";

bool isAbsolute(const char* path)
{
    return path && path[0] == '/';
}

// folder + "/" + name, without doubling a trailing "/" (HOME may be "/").
std::string join(const std::string& folder, const char* name)
{
    return folder.empty() || folder.back() != '/' ? folder + "/" + name : folder + name;
}

std::string baseDirectory(const char* variable, const char* fallbackUnderHome)
{
    const char* value = std::getenv(variable);
    if (isAbsolute(value)) {
        return value;
    }
    return join(XdgPaths::homeDirectory(), fallbackUnderHome);
}

}  // namespace

std::string XdgPaths::homeDirectory()
{
    const char* home = std::getenv("HOME");
    if (isAbsolute(home)) {
        return home;
    }
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry {};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found
        && isAbsolute(found->pw_dir)) {
        return found->pw_dir;
    }
    return "/tmp";
}

std::string XdgPaths::configHome()
{
    return baseDirectory("XDG_CONFIG_HOME", ".config");
}

std::string XdgPaths::dataHome()
{
    return baseDirectory("XDG_DATA_HOME", ".local/share");
}

std::string XdgPaths::stateHome()
{
    return baseDirectory("XDG_STATE_HOME", ".local/state");
}

std::string XdgPaths::configDirectory()
{
    return join(configHome(), kBundleIdentifier);
}

std::string XdgPaths::defaultsFilePath()
{
    return join(configDirectory(), "defaults.plist");
}

std::string XdgPaths::applicationSupportDirectory()
{
    return join(dataHome(), kBundleIdentifier);
}

std::string XdgPaths::logDirectory()
{
    return join(stateHome(), "quenby");
}

}  // namespace tess
