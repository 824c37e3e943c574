#pragma once

#include "analysis/SourceFileAnalyzer.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tess {

// Carries the new path of a renamed folder down to the items inside it.
// Records arrive shallowest first, so a folder's entry exists before any of
// its children asks for it. Folders are keyed by their original relative
// path under canonical equivalence (NFC); a path that is not valid UTF-8 is
// keyed by its raw bytes, so it never stands in for a differently spelt
// valid name.
class RenamePropagation {
public:
    // The item's path with its parent replaced by the parent's new path;
    // nothing when the item keeps its own transformed path (its parent was
    // not renamed).
    std::optional<std::string> propagate(const SourceFileAnalyzer::Phase1Result& record) const;

    // Records a folder whose proposed path differs (beyond normalisation)
    // from its original one; returns whether it was recorded.
    bool recordIfRenamed(const SourceFileAnalyzer::Phase1Result& record, const std::string& currentPath);
    // Whether recordIfRenamed would record the folder.
    static bool isRenamedFolder(const SourceFileAnalyzer::Phase1Result& record, const std::string& currentPath);
    // Records a folder the caller found renamed (as recordIfRenamed decides)
    // under its key (see key()).
    void recordRenamed(std::string key, std::string currentPath);

    // The new path of a renamed folder, or null.
    const std::string* renamedPath(std::string_view originalRelativePath) const;

    // Number of entries written (a folder recorded twice counts twice).
    std::size_t renameCount() const { return m_renameCount; }

    static std::string key(std::string_view originalRelativePath);

private:
    struct ViewHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view> {}(s); }
    };

    std::unordered_map<std::string, std::string, ViewHash, std::equal_to<>> m_dirRenames;
    std::size_t m_renameCount = 0;
};

}  // namespace tess
