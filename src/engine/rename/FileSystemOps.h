#pragma once

#include <ctime>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

namespace tess {

// Every file-system call of the renamer goes through this interface, so that
// tests can make any call fail with any errno. Paths are raw bytes. Every
// operation returns 0 on success or an errno value; none throws.
class FileSystemOps {
public:
    enum class EntryType { file,
        directory,
        symlink,
        other };

    struct DirEntry {
        std::string name;
        EntryType type = EntryType::other;
    };

    // The extended ACL of a path, as far as the diagnosis needs it.
    struct AclInfo {
        enum class Kind { none,  // no extended ACL, or one without entries
            unconvertible,  // present, but acl_to_text yielded nothing
            text };
        Kind kind = Kind::none;
        std::string text;  // untrimmed, for Kind::text
    };

    virtual ~FileSystemOps() = default;

    // lstat(2): links are never followed.
    virtual int lstat(const std::string& path, struct stat& out) = 0;
    // Moves `from` to `to` and never replaces an existing item (EEXIST then).
    virtual int renameNoReplace(const std::string& from, const std::string& to) = 0;
    virtual int makeDirectory(const std::string& path, mode_t mode) = 0;
    // rmdir(2): only empty folders.
    virtual int removeDirectory(const std::string& path) = 0;
    // unlink(2): never a folder.
    virtual int removeFile(const std::string& path) = 0;
    // The entries of a folder except "." and "..", sorted byte-wise by name.
    virtual int listDirectory(const std::string& path, std::vector<DirEntry>& out) = 0;
    // realpath(3).
    virtual int realPath(const std::string& path, std::string& out) = 0;
    // statvfs(3) ST_RDONLY of the volume holding `path`.
    virtual int volumeIsReadOnly(const std::string& path, bool& readOnly) = 0;
    // The immutable flag (FS_IOC_GETFLAGS) of a file or folder; links are not followed.
    virtual int immutableFlag(const std::string& path, bool& immutable) = 0;
    // The append-only flag (FS_IOC_GETFLAGS, chattr +a): entries of such a
    // folder cannot be renamed or removed; links are not followed.
    virtual int appendOnlyFlag(const std::string& path, bool& appendOnly) = 0;
    // faccessat(W_OK | X_OK, AT_EACCESS) on a folder: may the effective user
    // create and remove entries in it?
    virtual int canModifyEntries(const std::string& folder) = 0;
    virtual AclInfo extendedAcl(const std::string& path) = 0;

    // --- metadata of a folder made in place of a renamed one ---------------

    enum class AclType { access,
        defaultAcl };

    // lchown(2).
    virtual int changeOwner(const std::string& path, uid_t owner, gid_t group) = 0;
    // chmod(2) with the permission, set-id and sticky bits of `mode`.
    virtual int changeMode(const std::string& path, mode_t mode) = 0;
    // Gives `to` the ACL of `type` that `from` has. A source without an
    // extended ACL of that type leaves `to` without one as well.
    virtual int copyAcl(const std::string& from, const std::string& to, AclType type) = 0;
    // llistxattr(2): every extended attribute name of `path`.
    virtual int listExtendedAttributes(const std::string& path, std::vector<std::string>& names) = 0;
    // Copies one extended attribute; links are not followed.
    virtual int copyExtendedAttribute(const std::string& from, const std::string& to, const std::string& name) = 0;
    // utimensat(2) of the access and modification times; links are not followed.
    virtual int setTimes(const std::string& path, const timespec& accessed, const timespec& modified) = 0;

    // The real POSIX implementation, shared by every caller that passes none.
    static FileSystemOps& posix();
};

}  // namespace tess
