#pragma once

#include <string>
#include <sys/types.h>

namespace tess {

// The names of accounts as the password and group databases give them; "?"
// for an id they do not know.
class AccountNames {
public:
    AccountNames() = delete;

    static std::string user(uid_t uid);
    static std::string group(gid_t gid);
};

}  // namespace tess
