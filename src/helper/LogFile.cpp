#include "LogFile.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tess {

namespace {

constexpr std::array<const char*, 3> kLogFolder {".local", "state", "quenby"};

// Whether a folder of the log's path may be written to as root: it belongs
// to the user or to root, never to a third account.
bool ownedByUserOrRoot(int folder, uid_t owner)
{
    struct stat info { };
    return ::fstat(folder, &info) == 0 && (info.st_uid == owner || info.st_uid == 0);
}

// Opens (and with `create`, makes) <home>/.local/state/quenby one component
// at a time without following symbolic links below the home, and only
// through folders of the user or root. Folders made here are given to the
// user.
int openUserFolder(const std::string& home, bool create, uid_t owner, gid_t ownerGroup)
{
    UniqueFd current(::open(home.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (current.get() < 0 || !ownedByUserOrRoot(current.get(), owner)) {
        return -1;
    }
    for (const char* name : kLogFolder) {
        int next = ::openat(current.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT && create) {
            bool made = ::mkdirat(current.get(), name, 0755) == 0;
            if (!made && errno != EEXIST) {
                return -1;
            }
            next = ::openat(current.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next >= 0 && made && ::fchown(next, owner, ownerGroup) != 0) {
                ::close(next);
                return -1;
            }
        }
        if (next < 0) {
            return -1;
        }
        current.reset(next);
        if (!ownedByUserOrRoot(current.get(), owner)) {
            return -1;
        }
    }
    return current.release();
}

bool writeAll(int fd, std::string_view text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

LogFile LogFile::forUser(const std::string& home, uid_t owner, gid_t ownerGroup, std::size_t sizeLimit)
{
    LogFile file;
    file.m_path = userLogPath(home);
    file.m_name = std::string(kUserLogName);
    file.m_home = home;
    file.m_userLog = true;
    file.m_owner = owner;
    file.m_ownerGroup = ownerGroup;
    file.m_sizeLimit = sizeLimit;
    return file;
}

LogFile LogFile::forRoot(const std::string& path, std::size_t sizeLimit)
{
    LogFile file;
    file.m_path = path;
    auto slash = path.rfind('/');
    file.m_folder = slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
    file.m_name = slash == std::string::npos ? path : path.substr(slash + 1);
    file.m_sizeLimit = sizeLimit;
    return file;
}

std::string LogFile::userLogPath(const std::string& home)
{
    std::string path = home;
    for (const char* name : kLogFolder) {
        path.append("/").append(name);
    }
    return path.append("/").append(kUserLogName);
}

UniqueFd LogFile::openFolder(bool create) const
{
    if (m_userLog) {
        return UniqueFd(openUserFolder(m_home, create, m_owner, m_ownerGroup));
    }
    return UniqueFd(::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

void LogFile::createFolders() const
{
    UniqueFd folder = openFolder(true);
    (void)folder;
}

void LogFile::rotate(int folder) const
{
    // Renaming acts on the names in the folder that was opened; nothing is
    // followed and nothing is written through the old name.
    const std::string older = m_name + ".1";
    ::renameat(folder, m_name.c_str(), folder, older.c_str());
}

void LogFile::append(std::string_view text) const
{
    // The folder is opened afresh each time: the user may have moved or
    // removed it, and a symbolic link put in its place must not be followed.
    UniqueFd folder = openFolder(false);
    if (!folder.valid()) {
        return;
    }
    const int mode = m_userLog ? 0644 : 0600;
    for (int attempt = 0; attempt < 2; ++attempt) {
        bool created = true;
        UniqueFd file(::openat(folder.get(), m_name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, mode));
        if (!file.valid() && errno == EEXIST) {
            created = false;
            file.reset(::openat(folder.get(), m_name.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
        }
        if (!file.valid()) {
            return;
        }
        struct stat info { };
        if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1) {
            return;
        }
        if (created && m_userLog && ::fchown(file.get(), m_owner, m_ownerGroup) != 0) {
            return;
        }
        if (attempt == 0 && !created && static_cast<std::size_t>(info.st_size) + text.size() > m_sizeLimit && info.st_size > 0) {
            rotate(folder.get());
            continue;  // begin the new file
        }
        writeAll(file.get(), text);
        return;
    }
}

}  // namespace tess
