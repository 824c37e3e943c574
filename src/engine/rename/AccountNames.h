#pragma once

#include <string>
#include <sys/types.h>

namespace tess {

// The names of accounts as the password and group databases give them; "?"
// for an id they do not know. With them, for the same sentences about who
// may do what, a mode's permission bits in octal.
class AccountNames {
public:
    AccountNames() = delete;

    static std::string user(uid_t uid);
    static std::string group(gid_t gid);
    // The permission bits of `mode` (07777) in octal, as chmod takes them.
    static std::string octalMode(mode_t mode);
};

}  // namespace tess
