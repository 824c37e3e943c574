#pragma once

#include "analysis/SourceFileAnalyzer.h"

#include <optional>
#include <string>
#include <string_view>

namespace tess {

// Moves files that lie deeper than the depth limit up to the deepest level
// allowed: a file keeps the first (limit - 1) folders of its path and its own
// name.
class DepthFlattening {
public:
    explicit DepthFlattening(const SourceFileAnalyzer& analyzer);

    // The limit is set and the item is a file with more non-empty components
    // in its original relative path than the limit allows.
    bool isTooDeepFile(const SourceFileAnalyzer::Phase1Result& record) const;

    // The path cut back to the limit: the first (limit - 1) components and
    // the last one; the last one alone for a limit of 1 or less; unchanged
    // when it has no more components than the limit.
    std::string flattenPath(std::string_view path) const;

    // flattenPath, then the folder that now holds the file is fitted into the
    // folder-name limit (with a `folderNameTooLong` issue when it had to be
    // cut; a cut that leaves nothing gives "_").
    std::string flattenFile(std::string_view path, SourceFileAnalyzer::Issues& issues) const;

    // The original relative path of the folder a flattened file is moved
    // into (its first (limit - 1) components); nothing for a limit of 1 or
    // less, where the file moves to the top.
    std::optional<std::string> keptAncestor(std::string_view originalRelativePath) const;

private:
    const SourceFileAnalyzer& m_analyzer;
};

}  // namespace tess
