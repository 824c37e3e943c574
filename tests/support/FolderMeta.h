#pragma once

// A folder's attributes as the renamer and the daemon copy them from one
// folder to another, read for comparison in tests, and the calls that set
// them up.

#include <map>
#include <ostream>
#include <string>
#include <sys/acl.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace tess::test {

// 2001-01-01 00:00:00 UTC and a minute later, with nanoseconds.
inline constexpr timespec kOldAccess {978307200, 123456789};
inline constexpr timespec kOldModification {978307260, 987654321};

struct FolderMeta {
    mode_t mode = 0;
    uid_t uid = 0;
    gid_t gid = 0;
    std::string accessAcl;
    std::string defaultAcl;
    std::map<std::string, std::string> attributes;  // user. only
    timespec accessed {};
    timespec modified {};

    friend bool operator==(const FolderMeta& a, const FolderMeta& b);
    friend std::ostream& operator<<(std::ostream& out, const FolderMeta& m);
};

// The ACL of `type` as text with numeric ids; "unreadable: <reason>" when it cannot be read.
std::string aclText(const std::string& path, acl_type_t type);
// The attributes of the item at `path` (not followed).
FolderMeta metaOf(const std::string& path);
// Sets the ACL of `type` from its text form (a test failure when it cannot).
void setAcl(const std::string& path, acl_type_t type, const char* text);
// Gives `path` the times kOldAccess and kOldModification (a test failure when it cannot).
void setOldTimes(const std::string& path);

}  // namespace tess::test
