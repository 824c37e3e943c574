#pragma once

#include "model/WalkFailureRecorder.h"
#include "platform/ServiceManager.h"
#include "rules/TessalinePreset.h"
#include "scan/MonitoringStatus.h"
#include "scan/ScanSummary.h"
#include "ui/widgets/ColorResource.h"

#include <QLocale>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tess {

// What the main window shows, as pure functions of plain values taken from
// the view model.
namespace MainWindowState {

using TimePoint = std::chrono::system_clock::time_point;

// The view model's values that the window reads.
struct Snapshot {
    MonitoringStatus status;
    std::optional<std::string> sourcePath;
    std::int64_t totalIndexed = 0;
    std::int64_t issueCount = 0;
    std::int64_t cachedFileCount = 0;
    std::int64_t selectedCount = 0;
    std::int64_t filteredCount = 0;
    bool isRenaming = false;
    bool isRestoringSession = false;
    bool showAdvancedSettings = false;
    bool canStartMonitoring = false;
    bool hasResults = false;
    bool hasCoordinator = false;
    bool isPresetModified = false;
    std::optional<std::string> activePresetName;
    std::optional<std::string> missingSourcePath;
    std::optional<ScanSummary> lastScanSummary;
    std::optional<TimePoint> lastAnalysisTime;
    bool hasDestination = false;
    // How the last scan fell short (see MonitorViewModel).
    bool lastScanStopped = false;
    std::int64_t unreadableCount = 0;
    // The first unreadable folders, at most kUnreadableShown of them.
    std::vector<UnreadableFolder> unreadableShown;
    std::optional<std::string> indexErrorMessage;
    std::optional<std::string> indexNotice;
};

// How many unreadable folders the window lists; the rest are counted.
inline constexpr std::size_t kUnreadableShown = 20;

bool isScanRunning(const Snapshot& s);
// A scan in its enumerating, comparing or cleaning-up phase.
bool isStoppableScan(const Snapshot& s);
// A scan in its analysing or database-updating phase.
bool isStoppableAnalysis(const Snapshot& s);

// --- Main pane ------------------------------------------------------------------
enum class ContentArea { issueList,
    loading,
    allClear,
    error,
    nothing,
    ready };
ContentArea contentArea(const Snapshot& s);

enum class ReadyVariant { missingSource,
    scanStopped,
    readyToScan,
    chooseSource };
ReadyVariant readyVariant(const Snapshot& s);

// "Last scan: 2.3s, Manual", else "Analyzed 5 minutes ago", else nothing;
// after a line saying how many folders could not be read, when some could not.
std::optional<QString> allClearFootnote(const Snapshot& s, TimePoint now, const QLocale& locale);
QString allClearCountText(std::int64_t totalIndexed);
QString lastScanText(const ScanSummary& summary);
// "Analyzed " + how long ago + " ago".
QString analyzedAgoText(TimePoint time, TimePoint now, const QLocale& locale);
// The largest whole unit of the span: "5 minutes", "1 hour", "12 seconds".
QString relativeSpanText(std::chrono::seconds span, const QLocale& locale);
// Elapsed time as a timer shows it: "0:07", "12:04", "1:02:03".
QString timerText(TimePoint start, TimePoint now);

// --- Overlays -------------------------------------------------------------------
// "Scanning…" in the enumerating, comparing and cleaning-up phases, else "Analyzing…".
QString scanOverlayTitle(ScanPhase phase);

// --- Status bar -----------------------------------------------------------------
struct StatusBarTexts {
    QString left;
    bool leftIsSecondary = true;  // the status text itself is in the primary colour
    std::optional<QString> middle;
    std::optional<QString> right;
};
StatusBarTexts statusBarTexts(const Snapshot& s, const std::string& statusText, TimePoint now, const QLocale& locale);
// A named colour, or nothing for gray.
std::optional<ColorName> statusDotColor(const Snapshot& s);

// What the window says about a scan that fell short or an index that
// cannot be used: one line for the status bar and the lines of its tooltip.
struct StatusNotice {
    QString text;
    QString toolTip;  // plain text
    bool offersSettings = false;  // the settings sheet holds the way out
};
std::optional<StatusNotice> statusNotice(const Snapshot& s, const QLocale& locale);

// Where a path stands in a notice: from the first word holding a "/" to the
// end of the last one (a path may hold spaces); none when no word does.
struct TextRange {
    qsizetype start = 0;
    qsizetype length = 0;

    friend bool operator==(const TextRange&, const TextRange&) = default;
};
std::optional<TextRange> pathRange(const QString& text);

// How wide a text is drawn, and a text shortened in its middle to a width.
using TextWidth = std::function<int(const QString&)>;
using MiddleElider = std::function<QString(const QString&, int width)>;
// The notice as the status bar shows it in lines `width` wide: whole where
// it fits on one line; else with its path shortened (the folders in their
// middle, the file name only when it alone is too wide), on one line where
// the path's file name still fits whole that way, else with the path at
// most a line wide and the words wrapped around it. The sentence itself is
// never cut.
QString fittedNoticeText(const QString& text, int width, const TextWidth& widthOf, const MiddleElider& elide);
// "1 folder could not be read", "3 folders could not be read".
QString unreadableCountText(std::int64_t count, const QLocale& locale);
// Each folder with its reason, one a line, then how many more there are.
QString unreadableListText(const std::vector<UnreadableFolder>& shown, std::int64_t count, const QLocale& locale);
// Why the scan stopped short, for the ready pane: the source folder's reason
// when the folder itself could not be read.
QString scanStoppedPaneText(const Snapshot& s);

// --- Toolbar --------------------------------------------------------------------
enum class ScanAction { stopAnalysis,
    scanNow,
    startMonitoring };
enum class AnalyzeAction { stopAnalysis,
    reanalyze,
    analyzeFromDatabase };

struct ButtonState {
    QString title;
    const char* symbol = "";
    QString help;
    bool enabled = false;
};

struct ToolbarState {
    QString sourceTitle;  // the folder's name, or "Choose…"
    QString sourceHelp;  // the folder's full path, or "Choose source folder"
    bool sourceHasFolder = false;
    bool sourceEnabled = false;
    QString presetTitle;  // the menu's title: "Preset" or "Preset (Modified)"
    // The active preset's name, then " (Modified)" when the settings differ
    // from it; the menu's title when none is active.
    QString presetButtonTitle;
    // The end of presetButtonTitle that stays whole when the title is
    // shortened to fit: " (Modified)" after a name, else empty.
    QString presetButtonSuffix;
    bool presetEnabled = false;
    ButtonState scan;
    ScanAction scanAction = ScanAction::startMonitoring;
    ButtonState analyze;
    AnalyzeAction analyzeAction = AnalyzeAction::analyzeFromDatabase;
    ButtonState rename;
    bool exportEnabled = false;
    QString advancedHelp;
};
ToolbarState toolbarState(const Snapshot& s);

// One entry of the preset menu: a preset (by id), a divider, or "Advanced…".
struct PresetMenuEntry {
    enum class Kind { preset,
        divider,
        advanced } kind
        = Kind::preset;
    std::optional<Uuid> id;
    QString title;
    bool checked = false;
};
// Built-in presets, then (when there are any) the user's, then "Advanced…".
// The checked entry is the active preset, told apart by id where two share
// a name.
std::vector<PresetMenuEntry> presetMenuEntries(const std::vector<TessalinePreset>& available,
    const std::optional<std::string>& activeName, const std::optional<Uuid>& activeId);

// --- Alerts ---------------------------------------------------------------------
// "Rename N item[s] to their compatible names? You can undo this from the History panel."
QString renameConfirmationText(std::int64_t count);
QString helperAlertText();
// Whether the daemon-approval alert is due for a refreshed status.
bool needsHelperApproval(ServiceStatus status);

}  // namespace MainWindowState

}  // namespace tess
