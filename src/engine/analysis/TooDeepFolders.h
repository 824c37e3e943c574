#pragma once

#include "analysis/SourceFileAnalyzer.h"

#include <string>
#include <string_view>
#include <unordered_set>

namespace tess {

// The topmost folders found too deep. Folders arrive shallowest first; one
// whose ancestor is already held is not added, so nested too-deep folders
// give one entry. Paths compare under canonical equivalence.
class TooDeepFolders {
public:
    // Adds `path` unless it or one of its ancestors is held; returns whether
    // it was added.
    bool add(std::string_view path);

    const SourceFileAnalyzer::PathSet& paths() const { return m_paths; }
    SourceFileAnalyzer::PathSet take() { return std::move(m_paths); }

private:
    struct ViewHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view> {}(s); }
    };

    SourceFileAnalyzer::PathSet m_paths;
    // NFC forms of the held paths. Normalisation never reaches across "/",
    // so the NFC form of an ancestor is a prefix of the path's NFC form.
    std::unordered_set<std::string, ViewHash, std::equal_to<>> m_keys;
};

}  // namespace tess
