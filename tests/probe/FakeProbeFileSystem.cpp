#include "FakeProbeFileSystem.h"

#include "text/Text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tess::test {
namespace {

std::string lowerAscii(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return s;
}

std::string parentOf(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

std::string nameOf(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::int64_t componentCount(const std::string& path)
{
    std::int64_t count = 0;
    std::size_t i = 0;
    while (i < path.size()) {
        std::size_t slash = path.find('/', i);
        std::size_t end = slash == std::string::npos ? path.size() : slash;
        count += end > i ? 1 : 0;
        i = end + 1;
    }
    return count;
}

}  // namespace

FakeProbeFileSystem::FakeProbeFileSystem(std::string root)
    : m_root(std::move(root))
{
    m_nodes[m_root] = Node {true, {}};
}

std::string FakeProbeFileSystem::find(const std::string& path) const
{
    if (m_nodes.contains(path)) {
        return path;
    }
    if (caseInsensitive) {
        const std::string folded = lowerAscii(path);
        for (const auto& [stored, node] : m_nodes) {
            if (lowerAscii(stored) == folded) {
                return stored;
            }
        }
    }
    return {};
}

bool FakeProbeFileSystem::exists(const std::string& path) const
{
    return !find(path).empty();
}

Error FakeProbeFileSystem::refuse(const std::string& what, const std::string& path, int error) const
{
    return Error {kPosixDomain, error, what + " " + path + ": " + std::strerror(error)};
}

void FakeProbeFileSystem::record(std::string kind, const std::string& path, bool succeeded)
{
    m_operations.push_back({std::move(kind), path, succeeded});
}

Status FakeProbeFileSystem::checkNewName(const std::string& path) const
{
    const std::string name = nameOf(path);
    if (static_cast<std::int64_t>(name.size()) > maxNameBytes || static_cast<std::int64_t>(path.size()) > maxPathBytes
        || componentCount(path) > maxComponents) {
        return refuse("Cannot create", path, ENAMETOOLONG);
    }
    for (const std::string& refused : refusedInNames) {
        if (name.find(refused) != std::string::npos) {
            return refuse("Cannot create", path, EINVAL);
        }
    }
    return {};
}

Status FakeProbeFileSystem::createDirectory(const std::string& path)
{
    const std::string parent = find(parentOf(path));
    Status status;
    if (parent.empty() || !m_nodes.at(parent).isDirectory) {
        status = refuse("Cannot create folder", path, ENOENT);
    } else if (exists(path)) {
        status = refuse("Cannot create folder", path, EEXIST);
    } else if (failCreateDirectory && failCreateDirectory(path)) {
        status = refuse("Cannot create folder", path, EACCES);
    } else {
        status = checkNewName(path);
    }
    if (status.ok()) {
        m_nodes[parent + "/" + nameOf(path)] = Node {true, {}};
    }
    record("mkdir", path, status.ok());
    return status;
}

Result<std::vector<std::string>> FakeProbeFileSystem::listDirectory(const std::string& path)
{
    const std::string folder = find(path);
    if (folder.empty() || !m_nodes.at(folder).isDirectory || (failList && failList(path))) {
        record("list", path, false);
        return refuse("Cannot list folder", path, folder.empty() ? ENOENT : EIO);
    }
    std::vector<std::string> names;
    for (const auto& [stored, node] : m_nodes) {
        if (stored != folder && parentOf(stored) == folder) {
            names.push_back(listsDecomposed ? text::nfd(nameOf(stored)) : nameOf(stored));
        }
    }
    record("list", path, true);
    return names;
}

Status FakeProbeFileSystem::removeItem(const std::string& path)
{
    const std::string stored = find(path);
    if (stored.empty()) {
        record("remove", path, false);
        return refuse("Cannot remove", path, ENOENT);
    }
    if (failRemove && failRemove(path)) {
        record("remove", path, false);
        return refuse("Cannot remove", path, EBUSY);
    }
    const std::string prefix = stored + "/";
    std::erase_if(m_nodes, [&](const auto& entry) { return entry.first == stored || entry.first.starts_with(prefix); });
    record("remove", path, true);
    return {};
}

Status FakeProbeFileSystem::writeFile(const std::string& path, std::string_view contents)
{
    const std::string parent = find(parentOf(path));
    const std::string existing = find(path);
    Status status;
    if (parent.empty() || !m_nodes.at(parent).isDirectory) {
        status = refuse("Cannot write file", path, ENOENT);
    } else if (refuseAllFiles) {
        status = refuse("Cannot write file", path, EINVAL);
    } else if (!existing.empty()) {
        if (m_nodes.at(existing).isDirectory) {
            status = refuse("Cannot write file", path, EISDIR);
        } else {
            m_nodes.at(existing).content = std::string(contents);
        }
    } else {
        status = checkNewName(path);
        if (status.ok()) {
            m_nodes[parent + "/" + nameOf(path)] = Node {false, std::string(contents)};
        }
    }
    record("write", path, status.ok());
    return status;
}

std::vector<std::string> FakeProbeFileSystem::allPaths() const
{
    std::vector<std::string> paths;
    for (const auto& [stored, node] : m_nodes) {
        paths.push_back(stored);
    }
    return paths;
}

std::vector<std::string> FakeProbeFileSystem::writtenFileNames() const
{
    std::vector<std::string> names;
    for (const Operation& op : m_operations) {
        if (op.kind == "write" && op.succeeded) {
            names.push_back(nameOf(op.path));
        }
    }
    return names;
}

}  // namespace tess::test
