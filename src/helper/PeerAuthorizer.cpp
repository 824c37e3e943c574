#include "PeerAuthorizer.h"

#include <algorithm>
#include <cstdlib>
#include <grp.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tess {

namespace {

std::optional<gid_t> groupId(const char* name)
{
    long suggested = ::sysconf(_SC_GETGR_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 4096);
    for (;;) {
        group entry {};
        group* found = nullptr;
        int error = ::getgrnam_r(name, &entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE && buffer.size() < (1u << 22)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (error != 0 || found == nullptr) {
            return std::nullopt;
        }
        return entry.gr_gid;
    }
}

}  // namespace

PeerAuthorizer::PeerAuthorizer(std::optional<gid_t> adminGroup, UserDirectory users)
    : m_adminGroup(adminGroup)
    , m_users(std::move(users))
{
}

std::optional<gid_t> PeerAuthorizer::resolveAdminGroup(const char* configuredName)
{
    if (configuredName != nullptr && *configuredName != '\0') {
        return groupId(configuredName);
    }
    if (auto sudo = groupId("sudo")) {
        return sudo;
    }
    return groupId("wheel");
}

std::optional<gid_t> PeerAuthorizer::adminGroupFromEnvironment()
{
    return resolveAdminGroup(std::getenv(kAdminGroupVariable));
}

bool PeerAuthorizer::isAuthorized(uid_t uid, gid_t gid) const
{
    if (uid == 0) {
        return true;
    }
    if (!m_adminGroup) {
        return false;
    }
    if (gid == *m_adminGroup) {
        return true;
    }
    auto account = m_users.lookup(uid);
    if (!account) {
        return false;
    }
    std::vector<gid_t> groups(32);
    for (int attempt = 0; attempt < 8; ++attempt) {
        int count = static_cast<int>(groups.size());
        if (::getgrouplist(account->name.c_str(), account->gid, groups.data(), &count) >= 0) {
            groups.resize(static_cast<std::size_t>(count));
            return std::find(groups.begin(), groups.end(), *m_adminGroup) != groups.end();
        }
        groups.resize(static_cast<std::size_t>(count) > groups.size() ? static_cast<std::size_t>(count) : groups.size() * 2);
    }
    return false;
}

}  // namespace tess
