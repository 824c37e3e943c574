#pragma once

#include "report/RenameReport.h"

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tess {

// What the rename report view shows and offers, as plain values.
namespace RenameReportViewState {

// The report's four lists, in the order of the section control.
enum class ReportTab {
    renamed,
    failed,
    verification,
    directories,
};

inline constexpr ReportTab kAllTabs[] = {
    ReportTab::renamed, ReportTab::failed, ReportTab::verification, ReportTab::directories};

// "Renamed", "Failed", "Verification", "Directories".
std::string_view rawValue(ReportTab tab);
// Exactly one of the four raw values; nothing otherwise.
std::optional<ReportTab> tabFromRaw(std::string_view raw);

struct Counts {
    std::size_t renamed = 0;
    std::size_t failed = 0;
    std::size_t verification = 0;
    std::size_t directories = 0;

    static Counts of(const RenameReport& report);
    std::size_t of(ReportTab tab) const;
};

// The tabs whose list has entries, in order; "renamed" alone when all are
// empty.
std::vector<ReportTab> visibleTabs(const Counts& counts);
// "Renamed (3)", "Failed (1)", "Unverified (2)", "Dirs Removed (4)".
std::string tabLabel(ReportTab tab, const Counts& counts);
// "Renamed", "Failed", "Unverified", "Dirs Removed".
std::string_view summaryLabel(ReportTab tab);
// The tab shown first: failures, else failed verifications, else renames;
// the first visible tab when that one is not visible (only removed folders).
ReportTab startTab(const Counts& counts);
// The text of a tab whose list is empty.
std::string_view emptyMessage(ReportTab tab);

enum class BadgeColor {
    brandGreen,
    warm,
    orange,
    secondary,
};
struct Badge {
    ReportTab tab;
    std::size_t count = 0;
    BadgeColor color = BadgeColor::secondary;

    friend bool operator==(const Badge&, const Badge&) = default;
};
// Renamed always; the others when their list has entries.
std::vector<Badge> badges(const Counts& counts);

enum class MenuAction {
    reveal,
    copyPath,
};
struct MenuEntry {
    MenuAction action;
    std::string title;
    std::string_view symbol;
    std::string path;  // a report path: relative to the scan root

    friend bool operator==(const MenuEntry&, const MenuEntry&) = default;
};
// The context menu of one row of a tab.
std::vector<MenuEntry> menuEntries(const RenameReport& report, ReportTab tab, std::size_t row);

// A report path without its last component ("" for a one-component path).
std::string parentReportPath(std::string_view path);

// What to show in the file manager for a report path: the item at the scan
// root plus the path when it exists, else its containing folder when that
// exists, else nothing. The empty path stands for the scan root itself. A
// path that is absolute or holds ".", ".." or empty components, and a scan
// root that is not absolute, are refused (nothing, a WARN line).
std::optional<std::string> revealTarget(std::string_view scanRoot, std::string_view reportPath,
    const std::function<bool(const std::string&)>& exists);

// Dates and times of reports and history entries in the user's locale: the
// long date without the weekday ("December 10, 2026"), the medium date, which
// is that with the month abbreviated ("Dec 10, 2026"), and the short time
// without seconds ("2:40 PM").
QString longDateText(const QDate& date, const QLocale& locale);
QString mediumDateText(const QDate& date, const QLocale& locale);
QString shortTimeText(const QTime& time, const QLocale& locale);

}  // namespace RenameReportViewState

}  // namespace tess
