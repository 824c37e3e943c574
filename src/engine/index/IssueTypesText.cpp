#include "index/IssueTypesText.h"

namespace tess {

namespace {

std::string withNumbers(std::string_view key, std::int64_t first, std::int64_t second)
{
    std::string out(key);
    out += '(';
    out += std::to_string(first);
    out += '/';
    out += std::to_string(second);
    out += ')';
    return out;
}

}  // namespace

std::string IssueTypesText::entry(const FileTransformationIssue& issue)
{
    const std::string_view key = issue.key();
    using Issue = FileTransformationIssue;
    if (const auto* p = issue.getIf<Issue::FilenameTooLong>()) {
        return withNumbers(key, p->currentLength, p->maxLength);
    }
    if (const auto* p = issue.getIf<Issue::FilenameUnresolvable>()) {
        return std::string(key) + "(" + p->reason + ")";
    }
    if (const auto* p = issue.getIf<Issue::FolderNameTooLong>()) {
        return withNumbers(key, p->currentLength, p->maxLength);
    }
    if (const auto* p = issue.getIf<Issue::PathShortened>()) {
        return withNumbers(key, p->originalLength, p->newLength);
    }
    if (const auto* p = issue.getIf<Issue::PathTooDeep>()) {
        return withNumbers(key, p->currentDepth, p->maxDepth);
    }
    if (const auto* p = issue.getIf<Issue::PathTooLong>()) {
        return withNumbers(key, p->currentLength, p->maxLength);
    }
    return std::string(key);
}

std::optional<std::string> IssueTypesText::join(const std::vector<FileTransformationIssue>& issues)
{
    if (issues.empty()) {
        return std::nullopt;
    }
    std::string out;
    for (const auto& issue : issues) {
        if (!out.empty()) {
            out += ',';
        }
        out += entry(issue);
    }
    return out;
}

IssueTypesText::ParsedEntry IssueTypesText::parseIssueEntry(std::string_view entry)
{
    const std::size_t open = entry.find('(');
    if (open == std::string_view::npos) {
        return {entry, std::nullopt};
    }
    const std::size_t close = entry.rfind(')');
    if (close == std::string_view::npos || close < open) {
        return {entry, std::nullopt};
    }
    return {entry.substr(0, open), entry.substr(open + 1, close - open - 1)};
}

}  // namespace tess
