#include "analysis/DepthFlattening.h"

#include "analysis/NameOperations.h"
#include "analysis/RelativePath.h"
#include "rules/RuleTypes.h"

#include <algorithm>
#include <vector>

namespace tess {

namespace {

constexpr std::string_view kEmptyComponentStandIn = "_";

}  // namespace

DepthFlattening::DepthFlattening(const SourceFileAnalyzer& analyzer)
    : m_analyzer(analyzer)
{
}

bool DepthFlattening::isTooDeepFile(const SourceFileAnalyzer::Phase1Result& record) const
{
    const std::int64_t limit = m_analyzer.passes().effectiveMaxPathDepth();
    if (record.originalFile.isDirectory || limit == kNoLimit) {
        return false;
    }
    return limit < static_cast<std::int64_t>(RelativePath::nonEmptyComponentCount(record.originalRelativePath()));
}

std::string DepthFlattening::flattenPath(std::string_view path) const
{
    const std::int64_t limit = m_analyzer.passes().effectiveMaxPathDepth();
    const std::vector<std::string> components = RelativePath::split(path);
    const auto count = static_cast<std::int64_t>(components.size());
    if (limit >= count) {
        return std::string(path);
    }
    if (limit >= 2) {
        std::string out = RelativePath::joinFirst(components, static_cast<std::size_t>(limit - 1));
        out.push_back('/');
        out.append(components.back());
        return out;
    }
    return components.back();
}

std::string DepthFlattening::flattenFile(std::string_view path, SourceFileAnalyzer::Issues& issues) const
{
    const std::string flattened = flattenPath(path);
    std::vector<std::string> components = RelativePath::split(flattened);
    if (components.size() < 2) {
        return flattened;
    }
    std::string& holder = components[components.size() - 2];
    const std::int64_t bytes = m_analyzer.passes().nameLength(holder);
    const std::int64_t limit = m_analyzer.passes().effectiveFolderNameLength();
    if (bytes <= limit) {
        return flattened;
    }
    issues.emplace_back(FileTransformationIssue::FolderNameTooLong {bytes, limit});
    std::string cut = m_analyzer.passes().measuresUdfNames() ? NameOperations::fitUdfNameHead(holder, {}, limit)
                                                             : NameOperations::truncateToUtf8Bytes(holder, limit);
    if (cut == "." || cut == "..") {
        // A cut that leaves "." or ".." would name the folder itself or its
        // parent: each dot becomes "_", which keeps the length.
        std::replace(cut.begin(), cut.end(), '.', '_');
    }
    holder = cut.empty() ? std::string(kEmptyComponentStandIn) : std::move(cut);
    return RelativePath::join(components);
}

std::optional<std::string> DepthFlattening::keptAncestor(std::string_view originalRelativePath) const
{
    const std::int64_t limit = m_analyzer.passes().effectiveMaxPathDepth();
    if (limit < 2 || limit == kNoLimit) {
        return std::nullopt;
    }
    std::string ancestor = RelativePath::prefix(originalRelativePath, static_cast<std::size_t>(limit - 1));
    if (ancestor.empty()) {
        return std::nullopt;
    }
    return ancestor;
}

}  // namespace tess
