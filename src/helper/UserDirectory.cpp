#include "UserDirectory.h"

#include <charconv>
#include <fstream>
#include <pwd.h>
#include <string_view>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tess {

namespace {

template <class T>
std::optional<T> parseId(std::string_view text)
{
    unsigned long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    if (value > static_cast<unsigned long>(static_cast<T>(-1))) {
        return std::nullopt;
    }
    return static_cast<T>(value);
}

}  // namespace

UserDirectory::UserDirectory(std::string passwdFile)
    : m_passwdFile(std::move(passwdFile))
{
}

std::optional<UserAccount> UserDirectory::lookup(uid_t uid) const
{
    if (!m_passwdFile.empty()) {
        return lookupInFile(uid);
    }

    long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 4096);
    for (;;) {
        passwd entry {};
        passwd* found = nullptr;
        int error = ::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (error != 0 || found == nullptr) {
            return std::nullopt;
        }
        return UserAccount {entry.pw_name, entry.pw_uid, entry.pw_gid, entry.pw_dir};
    }
}

std::optional<UserAccount> UserDirectory::lookupInFile(uid_t uid) const
{
    std::ifstream in(m_passwdFile);
    std::string line;
    while (std::getline(in, line)) {
        // name:password:uid:gid:gecos:home:shell
        std::vector<std::string_view> fields;
        std::string_view rest = line;
        for (;;) {
            auto colon = rest.find(':');
            fields.push_back(rest.substr(0, colon));
            if (colon == std::string_view::npos) {
                break;
            }
            rest.remove_prefix(colon + 1);
        }
        if (fields.size() != 7) {
            continue;
        }
        auto entryUid = parseId<uid_t>(fields[2]);
        auto entryGid = parseId<gid_t>(fields[3]);
        if (!entryUid || !entryGid || *entryUid != uid) {
            continue;
        }
        return UserAccount {std::string(fields[0]), *entryUid, *entryGid, std::string(fields[5])};
    }
    return std::nullopt;
}

}  // namespace tess
