#pragma once

#include "probe/ProbeFileOperations.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tess::test {

// An in-memory file system with limits of the test's choosing, for the
// destination probe. It starts with one empty folder, root(). Paths are
// absolute, components separated by "/".
class FakeProbeFileSystem final : public ProbeFileOperations {
public:
    struct Operation {
        std::string kind;  // "mkdir", "list", "remove", "write"
        std::string path;
        bool succeeded;
    };

    explicit FakeProbeFileSystem(std::string root = "/fake/dest");

    // Limits (UTF-8 bytes, or components of the whole path).
    std::int64_t maxNameBytes = std::numeric_limits<std::int64_t>::max();
    std::int64_t maxPathBytes = std::numeric_limits<std::int64_t>::max();
    std::int64_t maxComponents = std::numeric_limits<std::int64_t>::max();
    // Texts no name may contain.
    std::vector<std::string> refusedInNames;
    // Names equal but for ASCII case are the same entry (the first spelling
    // stays).
    bool caseInsensitive = false;
    // Listings give names in NFD, as some volumes store them.
    bool listsDecomposed = false;
    // No file can be written at all.
    bool refuseAllFiles = false;
    // Operations that fail when the predicate holds for their path.
    std::function<bool(const std::string&)> failCreateDirectory;
    std::function<bool(const std::string&)> failList;
    std::function<bool(const std::string&)> failRemove;

    Status createDirectory(const std::string& path) override;
    Result<std::vector<std::string>> listDirectory(const std::string& path) override;
    Status removeItem(const std::string& path) override;
    Status writeFile(const std::string& path, std::string_view contents) override;

    const std::string& root() const { return m_root; }
    const std::vector<Operation>& operations() const { return m_operations; }
    void clearOperations() { m_operations.clear(); }
    // Every path that exists, root() included, sorted.
    std::vector<std::string> allPaths() const;
    // Names of files written successfully, in order.
    std::vector<std::string> writtenFileNames() const;
    bool exists(const std::string& path) const;

private:
    struct Node {
        bool isDirectory = false;
        std::string content;
    };

    // The stored spelling of `path` (case folded where needed), or "".
    std::string find(const std::string& path) const;
    Error refuse(const std::string& what, const std::string& path, int error) const;
    Status checkNewName(const std::string& path) const;
    void record(std::string kind, const std::string& path, bool succeeded);

    std::string m_root;
    std::map<std::string, Node> m_nodes;
    std::vector<Operation> m_operations;
};

}  // namespace tess::test
