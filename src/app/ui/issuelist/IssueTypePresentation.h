#pragma once

#include "ui/widgets/ColorResource.h"

#include <QLocale>
#include <QString>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tess {

// How the issue types of an indexed item are shown: a short label, a colour
// and a symbol per issue-type key, and what the rows and badges derive from
// an item's stored issue text. Plain values only; no widgets.

// Keys are the issue-type keys of FileTransformationIssue, compared
// exactly. Any other text: the label is the text itself,
// the colour is the secondary label colour (absent) and the symbol is
// "exclamationmark.triangle".
std::string issueTypeShortLabel(std::string_view key);
std::optional<ColorName> issueTypeColor(std::string_view key);
std::string_view issueTypeIcon(std::string_view key);

// One entry of an item's issue text: the key and the optional detail.
struct IssueEntry {
    std::string type;
    std::optional<std::string> detail;

    friend bool operator==(const IssueEntry&, const IssueEntry&) = default;
};

// Splits one entry: the type is the text before the first "(", the detail the
// text between that "(" and the last ")" when that ")" lies after it;
// otherwise the whole entry is the type. Nothing is trimmed. Local to the
// views until they share the index module's entry parser.
IssueEntry splitIssueEntry(std::string_view entry);
// Splits an item's issue text at "," (empty pieces dropped) and each piece
// as above. An absent or empty text gives no entries.
std::vector<IssueEntry> splitIssueEntries(const std::optional<std::string>& issueTypes);

// One line of the issue summary: the short label, then ": " and the detail
// when there is one.
std::string issueSummaryLine(std::string_view type, const std::optional<std::string>& detail);
// The summary of an item's issue text: one line per entry in stored order,
// duplicates kept, joined by "\n"; empty for an absent text.
std::string issueSummary(const std::optional<std::string>& issueTypes);

// The dots of a row: the types of the first `kMaxIssueDots` entries, and an
// overflow dot when there are more.
inline constexpr int kMaxIssueDots = 6;
struct IssueDots {
    std::vector<std::string> types;
    bool overflow = false;

    friend bool operator==(const IssueDots&, const IssueDots&) = default;
};
IssueDots issueDots(const std::optional<std::string>& issueTypes);

// The symbol and colour of an item's first issue (side-by-side rows); an
// item without entries gets "exclamationmark.triangle" in `warm`.
struct IssueSymbol {
    std::string_view symbol;
    std::optional<ColorName> color;  // absent: the secondary label colour

    friend bool operator==(const IssueSymbol&, const IssueSymbol&) = default;
};
IssueSymbol firstIssueSymbol(const std::optional<std::string>& issueTypes);

// A filter badge's count as an integer with the locale's grouping ("1,234").
QString issueCountText(qint64 count, const QLocale& locale);

// Side-by-side rows: the column width is half the list width; the original
// column is the column width less 20, but never narrower than 150.
double sideBySideColumnWidth(double listWidth);
double originalColumnWidth(double columnWidth);

// What a row's selection box shows. An item with issues that needs no rename
// has no automatic fix: a warning sign stands in for the box.
struct RowCheckboxLook {
    bool showsWarning = false;
    bool checked = false;
    bool enabled = false;
    double opacity = 1.0;

    friend bool operator==(const RowCheckboxLook&, const RowCheckboxLook&) = default;
};
RowCheckboxLook rowCheckboxLook(bool needsRename, bool hasIssues, bool isSelected);

}  // namespace tess
