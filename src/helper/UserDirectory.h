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
// same format when one is given (the daemon's tests use their own).
class UserDirectory {
public:
    static constexpr const char* kPasswdFileVariable = "TESSALINE_HELPER_PASSWD_FILE";

    // Empty: the system's database.
    explicit UserDirectory(std::string passwdFile = {});
    // The file named by TESSALINE_HELPER_PASSWD_FILE, else the system's database.
    static UserDirectory fromEnvironment();

    std::optional<UserAccount> lookup(uid_t uid) const;

private:
    std::optional<UserAccount> lookupInFile(uid_t uid) const;
    std::string m_passwdFile;
};

}  // namespace tess
