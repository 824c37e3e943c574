#pragma once

#include "analysis/FileTransformationIssue.h"

#include <optional>
#include <string>
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
};

}  // namespace tess
