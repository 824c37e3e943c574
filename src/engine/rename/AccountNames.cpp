#include "rename/AccountNames.h"

#include <cstdio>
#include <grp.h>
#include <pwd.h>
#include <vector>

namespace tess {

std::string AccountNames::user(uid_t uid)
{
    std::vector<char> buffer(16384);
    passwd entry;
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name) {
        return found->pw_name;
    }
    return "?";
}

std::string AccountNames::group(gid_t gid)
{
    std::vector<char> buffer(16384);
    struct group entry;
    struct group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->gr_name) {
        return found->gr_name;
    }
    return "?";
}

std::string AccountNames::octalMode(mode_t mode)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%o", static_cast<unsigned>(mode & 07777));
    return buffer;
}

}  // namespace tess
