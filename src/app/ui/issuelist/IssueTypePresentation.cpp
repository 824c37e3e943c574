#include "ui/issuelist/IssueTypePresentation.h"

#include "analysis/FileTransformationIssue.h"
#include "index/IssueTypesText.h"

#include <algorithm>
#include <iterator>

namespace tess {
namespace {

struct IssueType {
    std::string_view label;
    ColorName color;
    std::string_view symbol;
};

// In the order of FileTransformationIssue::Kind.
constexpr IssueType kIssueTypes[] = {
    {"Char Transform", ColorName::brandMagenta, "text.badge.xmark"},
    {"Collision", ColorName::brandIndigo, "doc.on.doc"},
    {"Encoding", ColorName::brandGreen, "character.textbox"},
    {"Long Name", ColorName::brandMint, "text.line.first.and.arrowtriangle.forward"},
    {"No Fix", ColorName::brandRed, "exclamationmark.triangle.fill"},
    {"Long Folder", ColorName::cool, "folder.badge.questionmark"},
    {"Path Shortened", ColorName::brandBrown, "scissors"},
    {"Deep Path", ColorName::brandViolet, "folder.badge.minus"},
    {"Long Path", ColorName::warm, "exclamationmark.triangle"},
    {"Repeated Seps", ColorName::brandAmber, "arrow.right.arrow.left"},
    {"Reserved Name", ColorName::brandRed, "exclamationmark.shield"},
    {"Trim", ColorName::brandBlue, "space"},
};
static_assert(std::size(kIssueTypes) == FileTransformationIssue::kKindCount);

constexpr std::string_view kFallbackSymbol = "exclamationmark.triangle";

const IssueType* find(std::string_view key)
{
    const std::optional<FileTransformationIssue::Kind> kind = FileTransformationIssue::kindFromKey(key);
    return kind ? &kIssueTypes[static_cast<std::size_t>(*kind)] : nullptr;
}

}  // namespace

std::string issueTypeShortLabel(std::string_view key)
{
    const IssueType* t = find(key);
    return std::string(t != nullptr ? t->label : key);
}

std::optional<ColorName> issueTypeColor(std::string_view key)
{
    const IssueType* t = find(key);
    return t != nullptr ? std::optional(t->color) : std::nullopt;
}

std::string_view issueTypeIcon(std::string_view key)
{
    const IssueType* t = find(key);
    return t != nullptr ? t->symbol : kFallbackSymbol;
}

IssueEntry splitIssueEntry(std::string_view entry)
{
    const std::size_t open = entry.find('(');
    const std::size_t close = entry.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
        return {std::string(entry), std::nullopt};
    }
    return {std::string(entry.substr(0, open)), std::string(entry.substr(open + 1, close - open - 1))};
}

std::vector<IssueEntry> splitIssueEntries(const std::optional<std::string>& issueTypes)
{
    std::vector<IssueEntry> entries;
    if (issueTypes) {
        IssueTypesText::forEachPiece(*issueTypes, [&](std::string_view piece) { entries.push_back(splitIssueEntry(piece)); });
    }
    return entries;
}

std::string issueSummaryLine(std::string_view type, const std::optional<std::string>& detail)
{
    std::string line = issueTypeShortLabel(type);
    if (detail) {
        line += ": ";
        line += *detail;
    }
    return line;
}

std::string issueSummary(const std::optional<std::string>& issueTypes)
{
    std::string summary;
    for (const IssueEntry& e : splitIssueEntries(issueTypes)) {
        if (!summary.empty()) {
            summary += '\n';
        }
        summary += issueSummaryLine(e.type, e.detail);
    }
    return summary;
}

IssueDots issueDots(const std::optional<std::string>& issueTypes)
{
    IssueDots dots;
    if (!issueTypes) {
        return dots;
    }
    IssueTypesText::forEachPiece(*issueTypes, [&](std::string_view piece) {
        if (static_cast<int>(dots.types.size()) < kMaxIssueDots) {
            dots.types.push_back(splitIssueEntry(piece).type);
        } else {
            dots.overflow = true;
        }
    });
    return dots;
}

IssueSymbol firstIssueSymbol(const std::optional<std::string>& issueTypes)
{
    std::optional<std::string> first;
    if (issueTypes) {
        IssueTypesText::forEachPiece(*issueTypes, [&](std::string_view piece) {
            if (!first) {
                first = splitIssueEntry(piece).type;
            }
        });
    }
    if (!first) {
        return {kFallbackSymbol, ColorName::warm};
    }
    return {issueTypeIcon(*first), issueTypeColor(*first)};
}

QString issueCountText(qint64 count, const QLocale& locale)
{
    QLocale grouped = locale;
    grouped.setNumberOptions(grouped.numberOptions() & ~QLocale::OmitGroupSeparator);
    return grouped.toString(count);
}

double sideBySideColumnWidth(double listWidth)
{
    return listWidth / 2.0;
}

double originalColumnWidth(double columnWidth)
{
    return std::max(columnWidth - 20.0, 150.0);
}

RowCheckboxLook rowCheckboxLook(bool needsRename, bool hasIssues, bool isSelected)
{
    if (hasIssues && !needsRename) {
        return {.showsWarning = true, .checked = false, .enabled = false, .opacity = 1.0};
    }
    return {.showsWarning = false, .checked = isSelected, .enabled = needsRename, .opacity = needsRename ? 1.0 : 0.35};
}

}  // namespace tess
