#include "analysis/RenamePropagation.h"

#include "analysis/RelativePath.h"
#include "text/Text.h"

namespace tess {

std::string RenamePropagation::key(std::string_view originalRelativePath)
{
    if (text::isAscii(originalRelativePath)) {
        return std::string(originalRelativePath);
    }
    if (!text::isValidUtf8(originalRelativePath)) {
        // 0xFF never occurs in UTF-8: raw keys cannot meet valid ones.
        std::string raw("\xFF");
        raw.append(originalRelativePath);
        return raw;
    }
    return text::nfc(originalRelativePath);
}

std::optional<std::string> RenamePropagation::propagate(const SourceFileAnalyzer::Phase1Result& record) const
{
    const std::string_view original = record.originalRelativePath();
    if (m_dirRenames.empty() || original.find('/') == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string* parent = renamedPath(RelativePath::parentPart(original));
    if (parent == nullptr) {
        return std::nullopt;
    }
    const std::string_view transformed = record.transformedPath;
    if (transformed.find('/') == std::string_view::npos) {
        return std::nullopt;
    }
    return RelativePath::child(*parent, RelativePath::lastComponent(transformed));
}

bool RenamePropagation::recordIfRenamed(const SourceFileAnalyzer::Phase1Result& record, const std::string& currentPath)
{
    if (!isRenamedFolder(record, currentPath)) {
        return false;
    }
    recordRenamed(key(record.originalRelativePath()), currentPath);
    return true;
}

bool RenamePropagation::isRenamedFolder(const SourceFileAnalyzer::Phase1Result& record, const std::string& currentPath)
{
    return record.originalFile.isDirectory && !record.tooDeepOriginalPath.has_value()
        && !RelativePath::equivalent(currentPath, record.originalRelativePath());
}

void RenamePropagation::recordRenamed(std::string key, std::string currentPath)
{
    m_dirRenames.insert_or_assign(std::move(key), std::move(currentPath));
    ++m_renameCount;
}

const std::string* RenamePropagation::renamedPath(std::string_view originalRelativePath) const
{
    if (m_dirRenames.empty()) {
        return nullptr;
    }
    // ASCII paths are their own key: no copy for the common case.
    const auto found = text::isAscii(originalRelativePath) ? m_dirRenames.find(originalRelativePath)
                                                           : m_dirRenames.find(key(originalRelativePath));
    return found == m_dirRenames.end() ? nullptr : &found->second;
}

}  // namespace tess
