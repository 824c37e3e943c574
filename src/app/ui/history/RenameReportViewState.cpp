#include "ui/history/RenameReportViewState.h"

#include "log/AppLogger.h"
#include "rename/RenamePaths.h"
#include "text/Text.h"

#include <QRegularExpression>

namespace tess::RenameReportViewState {

std::string_view rawValue(ReportTab tab)
{
    switch (tab) {
    case ReportTab::renamed:
        return "Renamed";
    case ReportTab::failed:
        return "Failed";
    case ReportTab::verification:
        return "Verification";
    case ReportTab::directories:
        return "Directories";
    }
    return "Renamed";
}

std::optional<ReportTab> tabFromRaw(std::string_view raw)
{
    for (ReportTab tab : kAllTabs) {
        if (rawValue(tab) == raw) {
            return tab;
        }
    }
    return std::nullopt;
}

Counts Counts::of(const RenameReport& report)
{
    return {report.renamed.size(), report.failed.size(), report.failedVerifications.size(),
        report.removedDirectories.size()};
}

std::size_t Counts::of(ReportTab tab) const
{
    switch (tab) {
    case ReportTab::renamed:
        return renamed;
    case ReportTab::failed:
        return failed;
    case ReportTab::verification:
        return verification;
    case ReportTab::directories:
        return directories;
    }
    return 0;
}

std::vector<ReportTab> visibleTabs(const Counts& counts)
{
    std::vector<ReportTab> tabs;
    for (ReportTab tab : kAllTabs) {
        if (counts.of(tab) > 0) {
            tabs.push_back(tab);
        }
    }
    if (tabs.empty()) {
        tabs.push_back(ReportTab::renamed);
    }
    return tabs;
}

std::string_view summaryLabel(ReportTab tab)
{
    switch (tab) {
    case ReportTab::renamed:
        return "Renamed";
    case ReportTab::failed:
        return "Failed";
    case ReportTab::verification:
        return "Unverified";
    case ReportTab::directories:
        return "Dirs Removed";
    }
    return "Renamed";
}

std::string tabLabel(ReportTab tab, const Counts& counts)
{
    return std::string(summaryLabel(tab)) + " (" + std::to_string(counts.of(tab)) + ")";
}

ReportTab startTab(const Counts& counts)
{
    ReportTab start = ReportTab::renamed;
    if (counts.failed > 0) {
        start = ReportTab::failed;
    } else if (counts.verification > 0) {
        start = ReportTab::verification;
    }
    const std::vector<ReportTab> visible = visibleTabs(counts);
    for (ReportTab tab : visible) {
        if (tab == start) {
            return start;
        }
    }
    return visible.front();
}

std::string_view emptyMessage(ReportTab tab)
{
    switch (tab) {
    case ReportTab::renamed:
        return "No files were renamed.";
    case ReportTab::failed:
        return "No failures.";
    case ReportTab::verification:
        return "All renames verified successfully.";
    case ReportTab::directories:
        return "No directories were removed.";
    }
    return {};
}

std::vector<Badge> badges(const Counts& counts)
{
    std::vector<Badge> result {{ReportTab::renamed, counts.renamed, BadgeColor::brandGreen}};
    if (counts.failed > 0) {
        result.push_back({ReportTab::failed, counts.failed, BadgeColor::warm});
    }
    if (counts.verification > 0) {
        result.push_back({ReportTab::verification, counts.verification, BadgeColor::orange});
    }
    if (counts.directories > 0) {
        result.push_back({ReportTab::directories, counts.directories, BadgeColor::secondary});
    }
    return result;
}

std::vector<MenuEntry> menuEntries(const RenameReport& report, ReportTab tab, std::size_t row)
{
    constexpr std::string_view kFolder = "folder";
    constexpr std::string_view kCopy = "doc.on.doc";
    switch (tab) {
    case ReportTab::renamed:
        if (row < report.renamed.size()) {
            const RenameReport::RenamedPair& pair = report.renamed[row];
            return {{MenuAction::reveal, "Reveal New Location", kFolder, pair.newPath},
                {MenuAction::reveal, "Reveal Original Location", kFolder, pair.originalPath},
                {MenuAction::copyPath, "Copy Path", kCopy, pair.newPath}};
        }
        break;
    case ReportTab::failed:
        if (row < report.failed.size()) {
            const RenameReport::FailedRename& failure = report.failed[row];
            return {{MenuAction::reveal, "Reveal in File Manager", kFolder, failure.path},
                {MenuAction::copyPath, "Copy Path", kCopy, failure.path}};
        }
        break;
    case ReportTab::verification:
        if (row < report.failedVerifications.size()) {
            const RenameReport::Verification& verification = report.failedVerifications[row];
            return {{MenuAction::reveal, "Reveal Target", kFolder, verification.targetPath},
                {MenuAction::reveal, "Reveal Original", kFolder, verification.originalPath},
                {MenuAction::copyPath, "Copy Path", kCopy, verification.originalPath}};
        }
        break;
    case ReportTab::directories:
        if (row < report.removedDirectories.size()) {
            const std::string& path = report.removedDirectories[row];
            return {{MenuAction::reveal, "Reveal Parent Folder", kFolder, parentReportPath(path)},
                {MenuAction::copyPath, "Copy Path", kCopy, path}};
        }
        break;
    }
    return {};
}

std::string parentReportPath(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
}

std::optional<std::string> revealTarget(std::string_view scanRoot, std::string_view reportPath,
    const std::function<bool(const std::string&)>& exists)
{
    if (scanRoot.empty() || scanRoot.front() != '/' || scanRoot.find('\0') != std::string_view::npos
        || (!reportPath.empty() && !RenamePaths::isValidRelative(reportPath))) {
        TESS_LOG_WARN("RenameReportView: refused to reveal unsafe path " + text::toValidUtf8(reportPath) + " under "
            + text::toValidUtf8(scanRoot));
        return std::nullopt;
    }
    const std::string location = reportPath.empty() ? RenamePaths::withoutTrailingSlash(scanRoot)
                                                    : RenamePaths::join(RenamePaths::withoutTrailingSlash(scanRoot), reportPath);
    if (exists(location)) {
        return location;
    }
    const std::string parent = RenamePaths::parent(location);
    if (exists(parent)) {
        return parent;
    }
    return std::nullopt;
}

namespace {

// The locale's long date format without the weekday.
QString dateFormatWithoutWeekday(const QLocale& locale)
{
    static const QRegularExpression weekday(QStringLiteral("d{4}[^dMy]*"));
    return locale.dateFormat(QLocale::LongFormat).remove(weekday).trimmed();
}

}  // namespace

QString longDateText(const QDate& date, const QLocale& locale)
{
    return locale.toString(date, dateFormatWithoutWeekday(locale));
}

QString mediumDateText(const QDate& date, const QLocale& locale)
{
    return locale.toString(date, dateFormatWithoutWeekday(locale).replace(QStringLiteral("MMMM"), QStringLiteral("MMM")));
}

QString shortTimeText(const QTime& time, const QLocale& locale)
{
    QString format = locale.timeFormat(QLocale::ShortFormat);
    static const QRegularExpression seconds(QStringLiteral("[:.]ss"));
    format.remove(seconds);
    return locale.toString(time, format);
}

}  // namespace tess::RenameReportViewState
