#include "ui/mainwindow/MainWindowState.h"

#include "model/MonitorViewModel.h"
#include "ui/widgets/ViewText.h"

#include <unicode/measfmt.h>
#include <unicode/measunit.h>
#include <unicode/measure.h>
#include <unicode/unistr.h>

#include <memory>

namespace tess::MainWindowState {

namespace {

QString plain(std::int64_t n)
{
    return QString::number(n);
}

QString grouped(std::int64_t n, const QLocale& locale)
{
    return locale.toString(static_cast<qlonglong>(n));
}

// The ICU locale whose plural rules and unit names a span is written with.
// The C and POSIX locales (LANG=C, C.UTF-8) name no language: ICU would fall
// back to its root locale, whose only plural form is "other" ("1 minutes"),
// so they read as ICU's English POSIX locale.
icu::Locale icuLocale(const QLocale& locale)
{
    const QString name = locale.name();
    if (locale.language() == QLocale::C || name == u"C" || name == u"POSIX") {
        return icu::Locale("en_US_POSIX");
    }
    return icu::Locale(name.toStdString().c_str());
}

QString plural(std::int64_t n, const char* word)
{
    return QString::fromUtf8(word) + (n == 1 ? QString() : QStringLiteral("s"));
}

}  // namespace

bool isScanRunning(const Snapshot& s)
{
    return s.status.isScanning();
}

bool isStoppableScan(const Snapshot& s)
{
    if (!s.status.isScanning()) {
        return false;
    }
    const ScanPhase phase = s.status.progress().currentPhase;
    return phase == ScanPhase::enumerating || phase == ScanPhase::comparing || phase == ScanPhase::cleaningUp;
}

bool isStoppableAnalysis(const Snapshot& s)
{
    if (!s.status.isScanning()) {
        return false;
    }
    const ScanPhase phase = s.status.progress().currentPhase;
    return phase == ScanPhase::analyzing || phase == ScanPhase::updatingDatabase;
}

ContentArea contentArea(const Snapshot& s)
{
    if (s.issueCount >= 1) {
        return ContentArea::issueList;
    }
    if (s.isRestoringSession) {
        return ContentArea::loading;
    }
    if (s.totalIndexed >= 1) {
        return ContentArea::allClear;
    }
    if (s.status.kind() == MonitoringStatus::Kind::error) {
        return ContentArea::error;
    }
    if (s.status.isScanning()) {
        return ContentArea::nothing;
    }
    return ContentArea::ready;
}

ReadyVariant readyVariant(const Snapshot& s)
{
    if (s.missingSourcePath) {
        return ReadyVariant::missingSource;
    }
    const bool folderChosen = s.sourcePath && s.hasDestination;
    if (folderChosen && s.lastScanStopped) {
        return ReadyVariant::scanStopped;
    }
    // An open folder whose scan found nothing is still ready for another.
    return s.canStartMonitoring || folderChosen ? ReadyVariant::readyToScan : ReadyVariant::chooseSource;
}

QString allClearCountText(std::int64_t totalIndexed)
{
    return plain(totalIndexed) + QStringLiteral(" files indexed, no compatibility issues found.");
}

QString lastScanText(const ScanSummary& summary)
{
    return QStringLiteral("Last scan: ") + QString::number(summary.duration, 'f', 1) + QStringLiteral("s, ")
        + QString::fromUtf8(rawValue(summary.trigger).data(), static_cast<qsizetype>(rawValue(summary.trigger).size()));
}

std::optional<QString> allClearFootnote(const Snapshot& s, TimePoint now, const QLocale& locale)
{
    std::optional<QString> footnote;
    if (s.lastScanSummary) {
        footnote = lastScanText(*s.lastScanSummary);
    } else if (s.lastAnalysisTime) {
        footnote = analyzedAgoText(*s.lastAnalysisTime, now, locale);
    }
    if (s.unreadableCount < 1) {
        return footnote;
    }
    // Clear only for what was read: say so first when folders were not.
    const QString warning = unreadableCountText(s.unreadableCount, locale) + QStringLiteral(", so not every folder was checked.");
    return footnote ? warning + u'\n' + *footnote : warning;
}

QString relativeSpanText(std::chrono::seconds span, const QLocale& locale)
{
    const std::int64_t seconds = std::max<std::int64_t>(0, span.count());
    UErrorCode status = U_ZERO_ERROR;
    std::int64_t amount = seconds;
    std::unique_ptr<icu::MeasureUnit> unit;
    if (seconds >= 86400) {
        amount = seconds / 86400;
        unit.reset(icu::MeasureUnit::createDay(status));
    } else if (seconds >= 3600) {
        amount = seconds / 3600;
        unit.reset(icu::MeasureUnit::createHour(status));
    } else if (seconds >= 60) {
        amount = seconds / 60;
        unit.reset(icu::MeasureUnit::createMinute(status));
    } else {
        unit.reset(icu::MeasureUnit::createSecond(status));
    }
    icu::MeasureFormat format(icuLocale(locale), UMEASFMT_WIDTH_WIDE, status);
    const icu::Measure measure(icu::Formattable(static_cast<int64_t>(amount)), unit.release(), status);
    icu::UnicodeString text;
    icu::FieldPosition position;
    format.formatMeasures(&measure, 1, text, position, status);
    if (U_FAILURE(status)) {
        return QString::number(amount);
    }
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

QString analyzedAgoText(TimePoint time, TimePoint now, const QLocale& locale)
{
    const auto span = std::chrono::duration_cast<std::chrono::seconds>(now - time);
    return QStringLiteral("Analyzed ") + relativeSpanText(span, locale) + QStringLiteral(" ago");
}

QString timerText(TimePoint start, TimePoint now)
{
    const std::int64_t total = std::max<std::int64_t>(0, std::chrono::duration_cast<std::chrono::seconds>(now - start).count());
    const std::int64_t hours = total / 3600;
    const std::int64_t minutes = (total / 60) % 60;
    const std::int64_t seconds = total % 60;
    if (hours > 0) {
        return QStringLiteral("%1:%2:%3")
            .arg(hours)
            .arg(minutes, 2, 10, QLatin1Char('0'))
            .arg(seconds, 2, 10, QLatin1Char('0'));
    }
    return QStringLiteral("%1:%2").arg(minutes).arg(seconds, 2, 10, QLatin1Char('0'));
}

QString scanOverlayTitle(ScanPhase phase)
{
    switch (phase) {
    case ScanPhase::enumerating:
    case ScanPhase::comparing:
    case ScanPhase::cleaningUp:
        return QStringLiteral("Scanning…");
    default:
        return QStringLiteral("Analyzing…");
    }
}

StatusBarTexts statusBarTexts(const Snapshot& s, const std::string& statusText, TimePoint now, const QLocale& locale)
{
    StatusBarTexts texts;
    if (s.totalIndexed >= 1) {
        texts.left = grouped(s.totalIndexed, locale) + QStringLiteral(" files indexed");
    } else if (s.cachedFileCount >= 1) {
        texts.left = grouped(s.cachedFileCount, locale) + QStringLiteral(" files in database");
    } else {
        texts.left = QString::fromStdString(statusText);
        texts.leftIsSecondary = false;
    }
    if (s.issueCount >= 1) {
        const QString issues = grouped(s.filteredCount, locale) + QStringLiteral(" of ") + grouped(s.issueCount, locale)
            + QStringLiteral(" issues");
        texts.middle = s.selectedCount > 0 ? grouped(s.selectedCount, locale) + QStringLiteral(" selected • ") + issues
                                           : issues;
    }
    if (s.lastAnalysisTime) {
        texts.right = analyzedAgoText(*s.lastAnalysisTime, now, locale);
    }
    return texts;
}

std::optional<ColorName> statusDotColor(const Snapshot& s)
{
    switch (s.status.kind()) {
    case MonitoringStatus::Kind::scanning:
        return ColorName::cool;
    case MonitoringStatus::Kind::error:
        return ColorName::warm;
    case MonitoringStatus::Kind::idle:
        if (s.totalIndexed < 1) {
            return std::nullopt;
        }
        break;
    case MonitoringStatus::Kind::monitoring:
        break;
    }
    // Never green for a tree that was not wholly checked.
    if (s.lastScanStopped || s.unreadableCount > 0 || s.indexErrorMessage) {
        return ColorName::warm;
    }
    return s.issueCount < 1 ? ColorName::brandGreen : ColorName::warm;
}

QString unreadableCountText(std::int64_t count, const QLocale& locale)
{
    return grouped(count, locale) + u' ' + plural(count, "folder") + QStringLiteral(" could not be read");
}

QString unreadableListText(const std::vector<UnreadableFolder>& shown, std::int64_t count, const QLocale& locale)
{
    QString text = QStringLiteral("Not checked, because they could not be read:");
    for (const UnreadableFolder& folder : shown) {
        text += u'\n' + viewText(folder.path) + QStringLiteral(" (") + QString::fromStdString(folder.reason) + u')';
    }
    const std::int64_t more = count - static_cast<std::int64_t>(shown.size());
    if (more > 0) {
        text += QStringLiteral("\nand ") + grouped(more, locale) + QStringLiteral(" more (the log lists them all)");
    }
    return text;
}

QString scanStoppedPaneText(const Snapshot& s)
{
    if (s.sourcePath && !s.unreadableShown.empty() && s.unreadableShown.front().path == *s.sourcePath) {
        return QStringLiteral("The source folder could not be read (") + QString::fromStdString(s.unreadableShown.front().reason)
            + QStringLiteral("), so nothing was checked. Click Scan to try again.");
    }
    return QStringLiteral("The scan was stopped before it finished, so the folder was not fully checked. Click Scan to "
                          "start again.");
}

std::optional<StatusNotice> statusNotice(const Snapshot& s, const QLocale& locale)
{
    if (s.indexErrorMessage) {
        const QString text = QStringLiteral("The file index cannot be used: ") + QString::fromStdString(*s.indexErrorMessage);
        return StatusNotice {text, text + QStringLiteral("\nReset the database in Settings to start a new index with a full rescan."), true};
    }
    if (s.status.isScanning()) {
        return std::nullopt;
    }
    StatusNotice notice;
    if (s.indexNotice) {
        notice.text = QString::fromStdString(*s.indexNotice);
        notice.toolTip = notice.text;
    }
    // With nothing counted the status text itself says that the scan stopped.
    if (s.lastScanStopped && (s.totalIndexed >= 1 || s.cachedFileCount >= 1)) {
        notice.text += (notice.text.isEmpty() ? QString() : QStringLiteral("; ")) + QString::fromUtf8(MonitorViewModel::kScanStoppedText);
    }
    if (s.unreadableCount > 0) {
        notice.text += (notice.text.isEmpty() ? QString() : QStringLiteral("; ")) + unreadableCountText(s.unreadableCount, locale);
        notice.toolTip = unreadableListText(s.unreadableShown, s.unreadableCount, locale);
    }
    if (notice.text.isEmpty()) {
        return std::nullopt;
    }
    return notice;
}

std::optional<TextRange> pathRange(const QString& text)
{
    std::optional<qsizetype> start;
    qsizetype end = 0;
    qsizetype wordStart = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !text.at(i).isSpace()) {
            continue;
        }
        if (text.mid(wordStart, i - wordStart).contains(u'/')) {
            start = start.value_or(wordStart);
            end = i;
        }
        wordStart = i + 1;
    }
    if (!start) {
        return std::nullopt;
    }
    return TextRange {*start, end - *start};
}

QString fittedNoticeText(const QString& text, int width, const TextWidth& widthOf, const MiddleElider& elide)
{
    const std::optional<TextRange> path = pathRange(text);
    if (!path || widthOf(text) <= width) {
        return text;
    }
    const QString before = text.left(path->start);
    const QString pathText = text.mid(path->start, path->length);
    const QString after = text.mid(path->start + path->length);
    const qsizetype slash = pathText.lastIndexOf(u'/');
    const QString folder = pathText.left(slash);
    const QString fileName = pathText.mid(slash);  // with its "/"
    // The path within `room`: its folders shortened in their middle before
    // the file name is.
    const auto fitPath = [&](int room) {
        if (widthOf(pathText) <= room) {
            return pathText;
        }
        const int folderRoom = room - widthOf(fileName);
        if (!folder.isEmpty() && folderRoom >= widthOf(QStringLiteral("…"))) {
            return elide(folder, folderRoom) + fileName;
        }
        return elide(pathText, room);
    };
    const int room = width - widthOf(before) - widthOf(after);
    if (room >= widthOf(QStringLiteral("…") + fileName)) {
        return before + fitPath(room) + after;
    }
    return before + fitPath(width) + after;
}

ToolbarState toolbarState(const Snapshot& s)
{
    ToolbarState t;
    const bool scanning = isScanRunning(s);
    const bool stopScan = isStoppableScan(s);
    const bool stopAnalysis = isStoppableAnalysis(s);

    t.sourceHasFolder = s.sourcePath.has_value();
    if (s.sourcePath) {
        const QString path = viewText(*s.sourcePath);
        const qsizetype slash = path.lastIndexOf(u'/', path.size() > 1 && path.endsWith(u'/') ? -2 : -1);
        QString name = slash >= 0 ? path.mid(slash + 1) : path;
        if (name.endsWith(u'/')) {
            name.chop(1);
        }
        t.sourceTitle = name.isEmpty() ? path : name;
        t.sourceHelp = path;
    } else {
        t.sourceTitle = QStringLiteral("Choose…");
        t.sourceHelp = QStringLiteral("Choose source folder");
    }
    t.sourceEnabled = !scanning;
    t.presetTitle = s.isPresetModified ? QStringLiteral("Preset (Modified)") : QStringLiteral("Preset");
    const bool named = s.activePresetName && !s.activePresetName->empty();
    t.presetButtonSuffix = named && s.isPresetModified ? QStringLiteral(" (Modified)") : QString();
    t.presetButtonTitle = named ? QString::fromStdString(*s.activePresetName) + t.presetButtonSuffix : t.presetTitle;
    t.presetEnabled = !scanning;

    if (stopScan) {
        t.scan = {QStringLiteral("Scanning…"), "stop.circle", QStringLiteral("Stop the current scan"), true};
        t.scanAction = ScanAction::stopAnalysis;
    } else {
        const bool indexed = s.totalIndexed >= 1;
        t.scan = {indexed ? QStringLiteral("Rescan") : QStringLiteral("Scan"), "rectangle.and.text.magnifyingglass",
            indexed ? QStringLiteral("Re-enumerate the filesystem") : QStringLiteral("Scan the source folder"),
            s.canStartMonitoring || indexed || (s.hasCoordinator && s.sourcePath && s.hasDestination && !scanning)};
        t.scanAction = indexed && s.hasCoordinator ? ScanAction::scanNow : ScanAction::startMonitoring;
    }

    if (stopAnalysis) {
        t.analyze = {QStringLiteral("Analyzing…"), "stop.circle", QStringLiteral("Stop the current analysis"), true};
        t.analyzeAction = AnalyzeAction::stopAnalysis;
    } else {
        t.analyze = {s.hasResults ? QStringLiteral("Reanalyze") : QStringLiteral("Analyze"), "wand.and.stars",
            s.hasResults ? QStringLiteral("Re-analyze with current settings") : QStringLiteral("Analyze scanned files"),
            !(s.totalIndexed < 1 || stopScan)};
        t.analyzeAction = s.hasCoordinator ? AnalyzeAction::reanalyze : AnalyzeAction::analyzeFromDatabase;
    }

    const QString n = plain(s.selectedCount);
    t.rename = {QStringLiteral("Rename (") + n + u')', "rectangle.and.pencil.and.ellipsis",
        QStringLiteral("Rename ") + n + u' ' + plural(s.selectedCount, "selected file"),
        s.selectedCount > 0 && !scanning && !s.isRenaming};
    t.exportEnabled = s.issueCount > 0;
    t.advancedHelp = s.showAdvancedSettings ? QStringLiteral("Hide advanced settings")
                                            : QStringLiteral("Show advanced settings");
    return t;
}

std::vector<PresetMenuEntry> presetMenuEntries(const std::vector<TessalinePreset>& available,
    const std::optional<std::string>& activeName, const std::optional<Uuid>& activeId)
{
    // The active entry: the one with the active id, else the first with the
    // active name.
    std::optional<Uuid> checkedId = activeId;
    if (!checkedId && activeName) {
        for (const TessalinePreset& preset : available) {
            if (preset.name == *activeName) {
                checkedId = preset.id;
                break;
            }
        }
    }
    std::vector<PresetMenuEntry> entries;
    const auto add = [&](const TessalinePreset& preset) {
        entries.push_back({PresetMenuEntry::Kind::preset, preset.id, QString::fromStdString(preset.name),
            checkedId && *checkedId == preset.id});
    };
    for (const TessalinePreset& preset : available) {
        if (preset.isBase) {
            add(preset);
        }
    }
    bool dividerAdded = false;
    for (const TessalinePreset& preset : available) {
        if (!preset.isBase) {
            if (!dividerAdded) {
                entries.push_back({PresetMenuEntry::Kind::divider, std::nullopt, {}, false});
                dividerAdded = true;
            }
            add(preset);
        }
    }
    entries.push_back({PresetMenuEntry::Kind::divider, std::nullopt, {}, false});
    entries.push_back({PresetMenuEntry::Kind::advanced, std::nullopt, QStringLiteral("Advanced…"), false});
    return entries;
}

QString renameConfirmationText(std::int64_t count)
{
    return QStringLiteral("Rename ") + plain(count) + u' ' + plural(count, "item")
        + QStringLiteral(" to their compatible names? You can undo this from the History panel.");
}

QString helperAlertText()
{
    return QStringLiteral("Tessaline uses a helper tool to rename files that require elevated permissions. Please "
                          "enable it in systemd → app.quenby.tessaline.helper.service → enabled.");
}

bool needsHelperApproval(ServiceStatus status)
{
    return status == ServiceStatus::notRegistered || status == ServiceStatus::requiresApproval;
}

}  // namespace tess::MainWindowState
