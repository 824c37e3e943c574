#pragma once

#include "UserDirectory.h"

#include <optional>
#include <string>
#include <sys/types.h>

namespace tess {

// Decides which local users the daemon serves: root, and members of the
// administrators' group ("sudo", else "wheel", or the group named by
// TESSALINE_HELPER_ADMIN_GROUP).
class PeerAuthorizer {
public:
    static constexpr const char* kAdminGroupVariable = "TESSALINE_HELPER_ADMIN_GROUP";

    PeerAuthorizer(std::optional<gid_t> adminGroup, UserDirectory users);

    // The configured group, else "sudo", else "wheel"; empty when none exists.
    static std::optional<gid_t> resolveAdminGroup(const char* configuredName);
    static std::optional<gid_t> adminGroupFromEnvironment();

    std::optional<gid_t> adminGroup() const { return m_adminGroup; }

    // `gid` is the peer process's group. Membership is also looked up in the
    // group database under the uid's account name.
    bool isAuthorized(uid_t uid, gid_t gid) const;

private:
    std::optional<gid_t> m_adminGroup;
    UserDirectory m_users;
};

}  // namespace tess
