#pragma once

#include "rename/PosixFileSystemOps.h"

#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace tess::test {

// The real file system, with failures injected on request: a rule makes an
// operation fail with an errno for paths that end with a given text, and a
// random mode fails any listed operation with a given probability.
class FaultyFileSystem : public PosixFileSystemOps {
public:
    enum class Op { lstat,
        rename,
        mkdir,
        rmdir,
        unlink,
        list,
        realpath,
        access,
        chown,
        chmod,
        acl,
        xattr,
        times };

    // Fails `op` with `error` for every path ending in `pathSuffix` ("" = any),
    // at most `times` times (-1 = always).
    void fail(Op op, std::string pathSuffix, int error, int times = -1);
    // Fails each op in `errors` with probability `probability`, choosing an
    // errno from its list, using a seeded generator.
    void failRandomly(unsigned seed, double probability, std::map<Op, std::vector<int>> errors);

    // Simulated volume attributes for the diagnosis.
    bool readOnlyVolume = false;
    bool immutable = false;  // every item that is not a folder
    std::set<std::string> immutableFolders;  // full paths with the immutable flag
    std::set<std::string> appendOnly;  // full paths with the append-only flag
    std::map<std::string, AclInfo> acls;  // by full path

    int calls(Op op) const;

    int lstat(const std::string& path, struct stat& out) override;
    int renameNoReplace(const std::string& from, const std::string& to) override;
    int makeDirectory(const std::string& path, mode_t mode) override;
    int removeDirectory(const std::string& path) override;
    int removeFile(const std::string& path) override;
    int listDirectory(const std::string& path, std::vector<DirEntry>& out) override;
    int realPath(const std::string& path, std::string& out) override;
    int volumeIsReadOnly(const std::string& path, bool& readOnly) override;
    int immutableFlag(const std::string& path, bool& flag) override;
    int appendOnlyFlag(const std::string& path, bool& flag) override;
    int canModifyEntries(const std::string& folder) override;
    AclInfo extendedAcl(const std::string& path) override;
    int changeOwner(const std::string& path, uid_t owner, gid_t group) override;
    int changeMode(const std::string& path, mode_t mode) override;
    int copyAcl(const std::string& from, const std::string& to, AclType type) override;
    int copyExtendedAttribute(const std::string& from, const std::string& to, const std::string& name) override;
    int setTimes(const std::string& path, const timespec& accessed, const timespec& modified) override;

private:
    struct Rule {
        Op op;
        std::string suffix;
        int error;
        int remaining;
    };
    int injected(Op op, const std::string& path);

    std::vector<Rule> m_rules;
    std::map<Op, int> m_calls;
    std::mt19937 m_random;
    double m_probability = 0;
    std::map<Op, std::vector<int>> m_randomErrors;
};

}  // namespace tess::test
