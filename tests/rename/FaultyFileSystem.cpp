#include "FaultyFileSystem.h"

namespace tess::test {

void FaultyFileSystem::fail(Op op, std::string pathSuffix, int error, int times)
{
    m_rules.push_back({op, std::move(pathSuffix), error, times});
}

void FaultyFileSystem::failRandomly(unsigned seed, double probability, std::map<Op, std::vector<int>> errors)
{
    m_random.seed(seed);
    m_probability = probability;
    m_randomErrors = std::move(errors);
}

int FaultyFileSystem::calls(Op op) const
{
    auto it = m_calls.find(op);
    return it == m_calls.end() ? 0 : it->second;
}

int FaultyFileSystem::injected(Op op, const std::string& path)
{
    ++m_calls[op];
    for (auto& rule : m_rules) {
        if (rule.op != op || rule.remaining == 0)
            continue;
        if (path.size() < rule.suffix.size() || path.compare(path.size() - rule.suffix.size(), rule.suffix.size(), rule.suffix) != 0)
            continue;
        if (rule.remaining > 0)
            --rule.remaining;
        return rule.error;
    }
    auto it = m_randomErrors.find(op);
    if (it != m_randomErrors.end() && !it->second.empty()) {
        std::uniform_real_distribution<double> chance(0.0, 1.0);
        if (chance(m_random) < m_probability) {
            std::uniform_int_distribution<std::size_t> pick(0, it->second.size() - 1);
            return it->second[pick(m_random)];
        }
    }
    return 0;
}

int FaultyFileSystem::lstat(const std::string& path, struct stat& out)
{
    if (int e = injected(Op::lstat, path))
        return e;
    return PosixFileSystemOps::lstat(path, out);
}

int FaultyFileSystem::renameNoReplace(const std::string& from, const std::string& to)
{
    if (int e = injected(Op::rename, from))
        return e;
    return PosixFileSystemOps::renameNoReplace(from, to);
}

int FaultyFileSystem::makeDirectory(const std::string& path, mode_t mode)
{
    if (int e = injected(Op::mkdir, path))
        return e;
    return PosixFileSystemOps::makeDirectory(path, mode);
}

int FaultyFileSystem::removeDirectory(const std::string& path)
{
    if (int e = injected(Op::rmdir, path))
        return e;
    return PosixFileSystemOps::removeDirectory(path);
}

int FaultyFileSystem::removeFile(const std::string& path)
{
    if (int e = injected(Op::unlink, path))
        return e;
    return PosixFileSystemOps::removeFile(path);
}

int FaultyFileSystem::listDirectory(const std::string& path, std::vector<DirEntry>& out)
{
    if (int e = injected(Op::list, path))
        return e;
    return PosixFileSystemOps::listDirectory(path, out);
}

int FaultyFileSystem::realPath(const std::string& path, std::string& out)
{
    if (int e = injected(Op::realpath, path))
        return e;
    return PosixFileSystemOps::realPath(path, out);
}

int FaultyFileSystem::volumeIsReadOnly(const std::string&, bool& readOnly)
{
    readOnly = readOnlyVolume;
    return 0;
}

int FaultyFileSystem::immutableFlag(const std::string& path, bool& flag)
{
    struct stat st;
    const bool folder = PosixFileSystemOps::lstat(path, st) == 0 && S_ISDIR(st.st_mode);
    flag = folder ? immutableFolders.count(path) != 0 : immutable;
    return 0;
}

int FaultyFileSystem::appendOnlyFlag(const std::string& path, bool& flag)
{
    flag = appendOnly.count(path) != 0;
    return 0;
}

int FaultyFileSystem::canModifyEntries(const std::string& folder)
{
    if (int e = injected(Op::access, folder))
        return e;
    return PosixFileSystemOps::canModifyEntries(folder);
}

FileSystemOps::AclInfo FaultyFileSystem::extendedAcl(const std::string& path)
{
    auto it = acls.find(path);
    return it == acls.end() ? PosixFileSystemOps::extendedAcl(path) : it->second;
}

int FaultyFileSystem::changeOwner(const std::string& path, uid_t owner, gid_t group)
{
    if (int e = injected(Op::chown, path))
        return e;
    return PosixFileSystemOps::changeOwner(path, owner, group);
}

int FaultyFileSystem::changeMode(const std::string& path, mode_t mode)
{
    if (int e = injected(Op::chmod, path))
        return e;
    return PosixFileSystemOps::changeMode(path, mode);
}

int FaultyFileSystem::copyAcl(const std::string& from, const std::string& to, AclType type)
{
    if (int e = injected(Op::acl, to))
        return e;
    return PosixFileSystemOps::copyAcl(from, to, type);
}

int FaultyFileSystem::copyExtendedAttribute(const std::string& from, const std::string& to, const std::string& name)
{
    if (int e = injected(Op::xattr, to))
        return e;
    return PosixFileSystemOps::copyExtendedAttribute(from, to, name);
}

int FaultyFileSystem::setTimes(const std::string& path, const timespec& accessed, const timespec& modified)
{
    if (int e = injected(Op::times, path))
        return e;
    return PosixFileSystemOps::setTimes(path, accessed, modified);
}

}  // namespace tess::test
