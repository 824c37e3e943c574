#pragma once

#include "UniqueFd.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace tess {

// One file of the daemon's log, appended to as root. Either a user's log,
// <home>/.local/state/quenby/Tessaline-helper.log, in a folder tree the user
// controls: its folders are opened without following symbolic links and
// only through folders of the user or root, and what is created is given to
// the user. Or a log of root's own at a fixed path, readable by root only.
//
// The file is opened with O_NOFOLLOW and written only while it is a regular
// file with a single link. When an append would take it past `sizeLimit`,
// the file is first renamed to "<name>.1" (replacing an older one) and a new
// file is begun: the log takes at most twice the limit.
class LogFile {
public:
    static constexpr std::size_t kDefaultSizeLimit = 8 * 1024 * 1024;
    static constexpr std::string_view kUserLogName = "Tessaline-helper.log";

    static LogFile forUser(const std::string& home, uid_t owner, gid_t ownerGroup, std::size_t sizeLimit);
    static LogFile forRoot(const std::string& path, std::size_t sizeLimit);

    // "<home>/.local/state/quenby/Tessaline-helper.log"
    static std::string userLogPath(const std::string& home);

    const std::string& path() const { return m_path; }

    // Makes the user's log folders that are missing (a failure is ignored).
    void createFolders() const;
    // Appends `text`; failures are ignored (the entry is lost).
    void append(std::string_view text) const;

private:
    LogFile() = default;
    UniqueFd openFolder(bool create) const;
    // Renames the file to "<name>.1".
    void rotate(int folder) const;

    std::string m_path;
    std::string m_folder;  // root's log: the folder of the file
    std::string m_name;
    std::string m_home;  // a user's log: the home folder
    bool m_userLog = false;
    uid_t m_owner = 0;
    gid_t m_ownerGroup = 0;
    std::size_t m_sizeLimit = kDefaultSizeLimit;
};

}  // namespace tess
