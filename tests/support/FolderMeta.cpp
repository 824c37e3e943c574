#include "FolderMeta.h"

#include <gtest/gtest.h>

#include <acl/libacl.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/xattr.h>

namespace tess::test {

bool operator==(const FolderMeta& a, const FolderMeta& b)
{
    auto same = [](const timespec& x, const timespec& y) { return x.tv_sec == y.tv_sec && x.tv_nsec == y.tv_nsec; };
    return a.mode == b.mode && a.uid == b.uid && a.gid == b.gid && a.accessAcl == b.accessAcl && a.defaultAcl == b.defaultAcl
        && a.attributes == b.attributes && same(a.accessed, b.accessed) && same(a.modified, b.modified);
}

std::ostream& operator<<(std::ostream& out, const FolderMeta& m)
{
    out << "mode " << std::oct << m.mode << std::dec << " owner " << m.uid << ":" << m.gid << " acl [" << m.accessAcl
        << "] default [" << m.defaultAcl << "] times " << m.accessed.tv_sec << "." << m.accessed.tv_nsec << " "
        << m.modified.tv_sec << "." << m.modified.tv_nsec << " attributes";
    for (const auto& [name, value] : m.attributes) {
        out << " " << name << "=" << value;
    }
    return out;
}

std::string aclText(const std::string& path, acl_type_t type)
{
    acl_t acl = ::acl_get_file(path.c_str(), type);
    if (!acl) {
        return std::string("unreadable: ") + std::strerror(errno);
    }
    char* text = ::acl_to_any_text(acl, nullptr, ',', TEXT_NUMERIC_IDS);
    std::string out = text ? text : "";
    ::acl_free(text);
    ::acl_free(acl);
    return out;
}

FolderMeta metaOf(const std::string& path)
{
    FolderMeta meta;
    struct stat st { };
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    meta.mode = st.st_mode & 07777;
    meta.uid = st.st_uid;
    meta.gid = st.st_gid;
    meta.accessed = st.st_atim;
    meta.modified = st.st_mtim;
    meta.accessAcl = aclText(path, ACL_TYPE_ACCESS);
    meta.defaultAcl = aclText(path, ACL_TYPE_DEFAULT);
    char names[4096];
    const ssize_t size = ::llistxattr(path.c_str(), names, sizeof names);
    for (ssize_t i = 0; i < size;) {
        const std::string name = names + i;
        i += static_cast<ssize_t>(name.size()) + 1;
        if (name.rfind("user.", 0) != 0) {
            continue;
        }
        char value[256];
        const ssize_t length = ::lgetxattr(path.c_str(), name.c_str(), value, sizeof value);
        meta.attributes[name] = length < 0 ? "unreadable" : std::string(value, static_cast<std::size_t>(length));
    }
    return meta;
}

void setAcl(const std::string& path, acl_type_t type, const char* text)
{
    acl_t acl = ::acl_from_text(text);
    ASSERT_NE(acl, nullptr) << text;
    EXPECT_EQ(::acl_set_file(path.c_str(), type, acl), 0) << text << ": " << std::strerror(errno);
    ::acl_free(acl);
}

void setOldTimes(const std::string& path)
{
    const timespec times[2] = {kOldAccess, kOldModification};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

}  // namespace tess::test
