#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace tess {

struct UserAccount {
    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;
    std::string home;
};

// Looks accounts up by uid in the password database, or in a file of the
// same format when one is given (only the daemon's test build is ever given
// one).
class UserDirectory {
public:
    // Empty: the system's database.
    explicit UserDirectory(std::string passwdFile = {});

    std::optional<UserAccount> lookup(uid_t uid) const;

private:
    std::optional<UserAccount> lookupInFile(uid_t uid) const;
    std::string m_passwdFile;
};

}  // namespace tess
