#pragma once

#include "analysis/FileTransformationIssue.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tess {

// The `issue_types` text of an index row: one entry per issue, in the order
// of the issue list, joined by "," without blanks. An entry is the issue's
// key; the length and depth issues add "(" first "/" second ")" and
// filenameUnresolvable adds "(" reason ")", written unchanged.
class IssueTypesText {
public:
    static std::string entry(const FileTransformationIssue& issue);
    // Absent for an empty list.
    static std::optional<std::string> join(const std::vector<FileTransformationIssue>& issues);

    // One entry read back: the key, and the detail between the first "("
    // and the last ")" when the entry has a ")" after its first "(";
    // otherwise the whole entry is the key and there is no detail. Views
    // into the entry.
    struct ParsedEntry {
        std::string_view key;
        std::optional<std::string_view> detail;
    };
    static ParsedEntry parseIssueEntry(std::string_view entry);

    // Calls `fn(std::string_view)` for every piece of a stored text, split at
    // each "," with empty pieces left out; pieces are not trimmed.
    template <class Fn>
    static void forEachPiece(std::string_view text, Fn&& fn)
    {
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find(',', start);
            if (end == std::string_view::npos) {
                end = text.size();
            }
            if (end > start) {
                fn(text.substr(start, end - start));
            }
            start = end + 1;
        }
    }
    // The same, each piece read as an entry: `fn(ParsedEntry)`.
    template <class Fn>
    static void forEachEntry(std::string_view text, Fn&& fn)
    {
        forEachPiece(text, [&fn](std::string_view piece) { fn(parseIssueEntry(piece)); });
    }
};

}  // namespace tess
