#pragma once

#include "rename/FileSystemOps.h"

namespace tess {

// FileSystemOps on the real POSIX calls.
class PosixFileSystemOps : public FileSystemOps {
public:
    int lstat(const std::string& path, struct stat& out) override;
    int renameNoReplace(const std::string& from, const std::string& to) override;
    int makeDirectory(const std::string& path, mode_t mode) override;
    int removeDirectory(const std::string& path) override;
    int removeFile(const std::string& path) override;
    int listDirectory(const std::string& path, std::vector<DirEntry>& out) override;
    int realPath(const std::string& path, std::string& out) override;
    int volumeIsReadOnly(const std::string& path, bool& readOnly) override;
    int immutableFlag(const std::string& path, bool& immutable) override;
    int appendOnlyFlag(const std::string& path, bool& appendOnly) override;
    int canModifyEntries(const std::string& folder) override;
    AclInfo extendedAcl(const std::string& path) override;
    int changeOwner(const std::string& path, uid_t owner, gid_t group) override;
    int changeMode(const std::string& path, mode_t mode) override;
    int copyAcl(const std::string& from, const std::string& to, AclType type) override;
    int listExtendedAttributes(const std::string& path, std::vector<std::string>& names) override;
    int copyExtendedAttribute(const std::string& from, const std::string& to, const std::string& name) override;
    int setTimes(const std::string& path, const timespec& accessed, const timespec& modified) override;
};

}  // namespace tess
