#include "ui/mainwindow/MainWindowState.h"

#include <gtest/gtest.h>

#include <string>

namespace tess {
namespace {

using namespace MainWindowState;
using std::chrono::seconds;

MonitoringStatus scanningIn(ScanPhase phase)
{
    ScanProgress progress;
    progress.currentPhase = phase;
    return MonitoringStatus::scanning(progress);
}

TEST(MainWindowStateTest, ToolbarFollowsPhaseCountsAndSelection)
{
    struct Case {
        const char* name;
        MonitoringStatus status;
        std::int64_t indexed;
        bool coordinator;
        bool canStart;
        bool hasResults;
        std::int64_t selected;
        bool renaming;
        // expected
        const char* scanTitle;
        const char* scanSymbol;
        const char* scanHelp;
        bool scanEnabled;
        ScanAction scanAction;
        const char* analyzeTitle;
        const char* analyzeHelp;
        bool analyzeEnabled;
        AnalyzeAction analyzeAction;
        bool renameEnabled;
        bool sourceEnabled;
    };
    const Case cases[] = {
        {"nothing set up", MonitoringStatus::idle(), 0, false, false, false, 0, false, "Scan",
            "rectangle.and.text.magnifyingglass", "Scan the source folder", false, ScanAction::startMonitoring, "Analyze",
            "Analyze scanned files", false, AnalyzeAction::analyzeFromDatabase, false, true},
        {"ready to scan", MonitoringStatus::idle(), 0, false, true, false, 0, false, "Scan",
            "rectangle.and.text.magnifyingglass", "Scan the source folder", true, ScanAction::startMonitoring, "Analyze",
            "Analyze scanned files", false, AnalyzeAction::analyzeFromDatabase, false, true},
        {"restored results, no coordinator", MonitoringStatus::idle(), 12, false, true, true, 2, false, "Rescan",
            "rectangle.and.text.magnifyingglass", "Re-enumerate the filesystem", true, ScanAction::startMonitoring,
            "Reanalyze", "Re-analyze with current settings", true, AnalyzeAction::analyzeFromDatabase, true, true},
        {"monitoring", MonitoringStatus::monitoring(), 12, true, false, true, 1, false, "Rescan",
            "rectangle.and.text.magnifyingglass", "Re-enumerate the filesystem", true, ScanAction::scanNow, "Reanalyze",
            "Re-analyze with current settings", true, AnalyzeAction::reanalyze, true, true},
        {"enumerating", scanningIn(ScanPhase::enumerating), 12, true, false, true, 1, false, "Scanning…", "stop.circle",
            "Stop the current scan", true, ScanAction::stopAnalysis, "Reanalyze", "Re-analyze with current settings",
            false, AnalyzeAction::reanalyze, false, false},
        {"analyzing", scanningIn(ScanPhase::analyzing), 12, true, false, false, 1, false, "Rescan",
            "rectangle.and.text.magnifyingglass", "Re-enumerate the filesystem", true, ScanAction::scanNow, "Analyzing…",
            "Stop the current analysis", true, AnalyzeAction::stopAnalysis, false, false},
        {"complete", scanningIn(ScanPhase::complete), 0, true, false, false, 0, false, "Scan",
            "rectangle.and.text.magnifyingglass", "Scan the source folder", false, ScanAction::startMonitoring,
            "Analyze", "Analyze scanned files", false, AnalyzeAction::reanalyze, false, false},
        {"renaming", MonitoringStatus::monitoring(), 12, true, false, true, 3, true, "Rescan",
            "rectangle.and.text.magnifyingglass", "Re-enumerate the filesystem", true, ScanAction::scanNow, "Reanalyze",
            "Re-analyze with current settings", true, AnalyzeAction::reanalyze, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Snapshot s;
        s.status = c.status;
        s.totalIndexed = c.indexed;
        s.hasCoordinator = c.coordinator;
        s.canStartMonitoring = c.canStart;
        s.hasResults = c.hasResults;
        s.selectedCount = c.selected;
        s.isRenaming = c.renaming;
        const ToolbarState t = toolbarState(s);
        EXPECT_EQ(t.scan.title.toStdString(), c.scanTitle);
        EXPECT_STREQ(t.scan.symbol, c.scanSymbol);
        EXPECT_EQ(t.scan.help.toStdString(), c.scanHelp);
        EXPECT_EQ(t.scan.enabled, c.scanEnabled);
        EXPECT_EQ(t.scanAction, c.scanAction);
        EXPECT_EQ(t.analyze.title.toStdString(), c.analyzeTitle);
        EXPECT_EQ(t.analyze.help.toStdString(), c.analyzeHelp);
        EXPECT_EQ(t.analyze.enabled, c.analyzeEnabled);
        EXPECT_EQ(t.analyzeAction, c.analyzeAction);
        EXPECT_EQ(t.rename.enabled, c.renameEnabled);
        EXPECT_EQ(t.sourceEnabled, c.sourceEnabled);
        EXPECT_EQ(t.presetEnabled, c.sourceEnabled);
    }
}

TEST(MainWindowStateTest, ToolbarTextsForSourceRenameAndPreset)
{
    Snapshot s;
    ToolbarState t = toolbarState(s);
    EXPECT_EQ(t.sourceTitle, QStringLiteral("Choose…"));
    EXPECT_EQ(t.sourceHelp, QStringLiteral("Choose source folder"));
    EXPECT_FALSE(t.sourceHasFolder);
    EXPECT_EQ(t.rename.title, QStringLiteral("Rename (0)"));
    EXPECT_EQ(t.rename.help, QStringLiteral("Rename 0 selected files"));
    EXPECT_EQ(t.presetTitle, QStringLiteral("Preset"));
    EXPECT_EQ(t.advancedHelp, QStringLiteral("Show advanced settings"));
    EXPECT_FALSE(t.exportEnabled);

    s.sourcePath = "/srv/R&D <i>x";
    s.selectedCount = 1;
    s.isPresetModified = true;
    s.showAdvancedSettings = true;
    s.issueCount = 4;
    t = toolbarState(s);
    EXPECT_EQ(t.sourceTitle, QStringLiteral("R&D <i>x"));
    EXPECT_EQ(t.sourceHelp, QStringLiteral("/srv/R&D <i>x"));
    EXPECT_EQ(t.rename.title, QStringLiteral("Rename (1)"));
    EXPECT_EQ(t.rename.help, QStringLiteral("Rename 1 selected file"));
    EXPECT_EQ(t.presetTitle, QStringLiteral("Preset (Modified)"));
    EXPECT_EQ(t.advancedHelp, QStringLiteral("Hide advanced settings"));
    EXPECT_TRUE(t.exportEnabled);
    s.selectedCount = 3;
    EXPECT_EQ(toolbarState(s).rename.help, QStringLiteral("Rename 3 selected files"));
}

// The preset button names the active preset and, as the menu's title does,
// whether the settings differ from it.
TEST(MainWindowStateTest, PresetButtonShowsTheActivePresetsName)
{
    struct Case {
        const char* name;
        std::optional<std::string> active;
        bool modified;
        const char* button;
        const char* suffix;
        const char* menuTitle;
    };
    const Case cases[] = {
        {"none", std::nullopt, false, "Preset", "", "Preset"},
        {"none, modified", std::nullopt, true, "Preset (Modified)", "", "Preset (Modified)"},
        {"empty name", std::string(), false, "Preset", "", "Preset"},
        {"built-in", std::string("Windows (NTFS)"), false, "Windows (NTFS)", "", "Preset"},
        {"built-in, modified", std::string("Windows (NTFS)"), true, "Windows (NTFS) (Modified)", " (Modified)",
            "Preset (Modified)"},
        {"custom, modified", std::string("R&D <b>x</b>"), true, "R&D <b>x</b> (Modified)", " (Modified)",
            "Preset (Modified)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Snapshot s;
        s.activePresetName = c.active;
        s.isPresetModified = c.modified;
        const ToolbarState t = toolbarState(s);
        EXPECT_EQ(t.presetButtonTitle, QString::fromUtf8(c.button));
        EXPECT_EQ(t.presetButtonSuffix, QString::fromUtf8(c.suffix));
        EXPECT_EQ(t.presetTitle, QString::fromUtf8(c.menuTitle));
    }
}

TEST(MainWindowStateTest, ContentAreaChoiceAndReadyVariant)
{
    struct Case {
        const char* name;
        MonitoringStatus status;
        std::int64_t issues;
        bool restoring;
        std::int64_t indexed;
        ContentArea area;
    };
    const Case cases[] = {
        {"issues while scanning", scanningIn(ScanPhase::enumerating), 3, true, 10, ContentArea::issueList},
        {"restoring", MonitoringStatus::idle(), 0, true, 10, ContentArea::loading},
        {"all clear despite an error", MonitoringStatus::error("x"), 0, false, 10, ContentArea::allClear},
        {"error", MonitoringStatus::error("x"), 0, false, 0, ContentArea::error},
        {"scanning, nothing indexed", scanningIn(ScanPhase::enumerating), 0, false, 0, ContentArea::nothing},
        {"ready", MonitoringStatus::idle(), 0, false, 0, ContentArea::ready},
        {"monitoring, nothing indexed", MonitoringStatus::monitoring(), 0, false, 0, ContentArea::ready},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Snapshot s;
        s.status = c.status;
        s.issueCount = c.issues;
        s.isRestoringSession = c.restoring;
        s.totalIndexed = c.indexed;
        EXPECT_EQ(contentArea(s), c.area);
    }
    Snapshot s;
    EXPECT_EQ(readyVariant(s), ReadyVariant::chooseSource);
    s.canStartMonitoring = true;
    EXPECT_EQ(readyVariant(s), ReadyVariant::readyToScan);
    s.missingSourcePath = "/gone";
    EXPECT_EQ(readyVariant(s), ReadyVariant::missingSource);
}

TEST(MainWindowStateTest, StatusBarDotAndOverlayTexts)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const TimePoint now = std::chrono::system_clock::now();
    Snapshot s;
    StatusBarTexts texts = statusBarTexts(s, "Idle", now, english);
    EXPECT_EQ(texts.left, QStringLiteral("Idle"));
    EXPECT_FALSE(texts.leftIsSecondary);
    EXPECT_FALSE(texts.middle);
    EXPECT_FALSE(texts.right);

    s.cachedFileCount = 1234;
    EXPECT_EQ(statusBarTexts(s, "Idle", now, english).left, QStringLiteral("1,234 files in database"));
    s.totalIndexed = 12345;
    s.issueCount = 1500;
    s.filteredCount = 1200;
    s.lastAnalysisTime = now - seconds(300);
    texts = statusBarTexts(s, "", now, english);
    EXPECT_EQ(texts.left, QStringLiteral("12,345 files indexed"));
    EXPECT_EQ(texts.middle, QStringLiteral("1,200 of 1,500 issues"));
    EXPECT_EQ(texts.right, QStringLiteral("Analyzed 5 minutes ago"));
    s.selectedCount = 2;
    EXPECT_EQ(statusBarTexts(s, "", now, english).middle, QStringLiteral("2 selected • 1,200 of 1,500 issues"));

    struct DotCase {
        MonitoringStatus status;
        std::int64_t indexed;
        std::int64_t issues;
        std::optional<ColorName> color;
    };
    const DotCase dots[] = {
        {scanningIn(ScanPhase::analyzing), 0, 0, ColorName::cool},
        {MonitoringStatus::error("x"), 5, 0, ColorName::warm},
        {MonitoringStatus::idle(), 0, 0, std::nullopt},
        {MonitoringStatus::idle(), 5, 0, ColorName::brandGreen},
        {MonitoringStatus::idle(), 5, 2, ColorName::warm},
        {MonitoringStatus::monitoring(), 0, 0, ColorName::brandGreen},
        {MonitoringStatus::monitoring(), 5, 1, ColorName::warm},
    };
    for (const DotCase& d : dots) {
        Snapshot dot;
        dot.status = d.status;
        dot.totalIndexed = d.indexed;
        dot.issueCount = d.issues;
        EXPECT_EQ(statusDotColor(dot), d.color);
    }

    EXPECT_EQ(scanOverlayTitle(ScanPhase::cleaningUp), QStringLiteral("Scanning…"));
    EXPECT_EQ(scanOverlayTitle(ScanPhase::complete), QStringLiteral("Analyzing…"));
    ScanSummary summary;
    summary.duration = 2.34;
    summary.trigger = ScanTrigger::manual;
    EXPECT_EQ(lastScanText(summary), QStringLiteral("Last scan: 2.3s, Manual"));
    Snapshot clear;
    clear.lastScanSummary = summary;
    clear.lastAnalysisTime = now;
    EXPECT_EQ(allClearFootnote(clear, now, english), QStringLiteral("Last scan: 2.3s, Manual"));
    EXPECT_EQ(relativeSpanText(seconds(1), english), QStringLiteral("1 second"));
    EXPECT_EQ(relativeSpanText(seconds(7200), english), QStringLiteral("2 hours"));
    EXPECT_EQ(timerText(now - seconds(7), now), QStringLiteral("0:07"));
    EXPECT_EQ(timerText(now - seconds(3723), now), QStringLiteral("1:02:03"));
}

// Spans in the user's language with its plural forms; the C and POSIX
// locales, which name no language, read as English.
TEST(MainWindowStateTest, RelativeSpansTakeTheLocalesPluralForms)
{
    using std::chrono::seconds;
    struct Case {
        const char* locale;
        std::vector<std::pair<std::int64_t, const char*>> spans;
    };
    const std::vector<std::pair<std::int64_t, const char*>> english = {{0, "0 seconds"}, {1, "1 second"},
        {59, "59 seconds"}, {60, "1 minute"}, {119, "1 minute"}, {120, "2 minutes"}, {3600, "1 hour"}, {7200, "2 hours"},
        {86400, "1 day"}, {3 * 86400, "3 days"}};
    const Case cases[] = {
        {"C", english},
        {"POSIX", english},
        {"en_US", english},
        {"de_DE", {{1, "1 Sekunde"}, {59, "59 Sekunden"}, {60, "1 Minute"}, {120, "2 Minuten"}, {3600, "1 Stunde"}, {7200, "2 Stunden"}, {86400, "1 Tag"}, {3 * 86400, "3 Tage"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        const QLocale locale(QString::fromLatin1(c.locale));
        for (const auto& [span, text] : c.spans) {
            EXPECT_EQ(relativeSpanText(seconds(span), locale).toStdString(), text) << span;
        }
    }
    const auto now = std::chrono::system_clock::now();
    EXPECT_EQ(analyzedAgoText(now - seconds(60), now, QLocale::c()), QStringLiteral("Analyzed 1 minute ago"));
}

// A notice with a path fits the bar's width by shortening the path, never
// the sentence: on one line while the file name fits whole beside it, else
// wrapped with the path at most a line wide. Widths here are characters.
TEST(MainWindowStateTest, NoticesShortenTheirPathNotTheirSentence)
{
    EXPECT_EQ(pathRange(QStringLiteral("3 folders could not be read")), std::nullopt);
    EXPECT_EQ(pathRange(QStringLiteral("kept as /home/John Smith/x.db and more")), (TextRange {8, 21}));
    EXPECT_EQ(pathRange(QStringLiteral("/a/b")), (TextRange {0, 4}));

    const TextWidth widthOf = [](const QString& text) { return static_cast<int>(text.size()); };
    // Keeps the start and the end, as a font's middle eliding does.
    const MiddleElider elide = [](const QString& text, int width) {
        if (text.size() <= width) {
            return text;
        }
        if (width < 1) {
            return QString();
        }
        const qsizetype head = (width - 1) / 2;
        return text.left(head) + u'…' + text.right(width - 1 - head);
    };
    const QString notice = QStringLiteral("It was kept as /data/folder/index.db.damaged-1 and a new one started.");
    struct Case {
        const char* name;
        QString text;
        int width;
        QString shown;
    };
    const Case cases[] = {
        {"fits", notice, 100, notice},
        {"no path: as it is", QStringLiteral("3 folders could not be read"), 10, QStringLiteral("3 folders could not be read")},
        {"one line, the folders shortened", notice, 60,
            QStringLiteral("It was kept as /…r/index.db.damaged-1 and a new one started.")},
        {"too narrow for the file name beside the sentence: the path whole on its line", notice, 40, notice},
        {"folders shortened to a line", notice, 25,
            QStringLiteral("It was kept as /d…der/index.db.damaged-1 and a new one started.")},
        {"a file name wider than a line", notice, 12,
            QStringLiteral("It was kept as /data…aged-1 and a new one started.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fittedNoticeText(c.text, c.width, widthOf, elide).toStdString(), c.shown.toStdString());
    }
}

TEST(MainWindowStateTest, AlertsAndPresetMenu)
{
    EXPECT_EQ(renameConfirmationText(0),
        QStringLiteral("Rename 0 items to their compatible names? You can undo this from the History panel."));
    EXPECT_EQ(renameConfirmationText(1),
        QStringLiteral("Rename 1 item to their compatible names? You can undo this from the History panel."));
    EXPECT_EQ(renameConfirmationText(3),
        QStringLiteral("Rename 3 items to their compatible names? You can undo this from the History panel."));
    for (const int raw : {0, 1, 2, 3, 9}) {
        SCOPED_TRACE(raw);
        EXPECT_EQ(needsHelperApproval(static_cast<ServiceStatus>(raw)), raw == 0 || raw == 2);
    }

    std::vector<TessalinePreset> available = TessalinePreset::builtInPresets();
    auto entries = presetMenuEntries(available, available.front().name, std::nullopt);
    ASSERT_EQ(entries.size(), available.size() + 2);
    EXPECT_TRUE(entries.front().checked);
    EXPECT_EQ(entries[entries.size() - 2].kind, PresetMenuEntry::Kind::divider);
    EXPECT_EQ(entries.back().title, QStringLiteral("Advanced…"));

    // A user preset named like a built-in is its own entry, checked by id.
    TessalinePreset twin = available.front();
    twin.id = Uuid::random();
    twin.isBase = false;
    available.push_back(twin);
    entries = presetMenuEntries(available, twin.name, twin.id);
    ASSERT_EQ(entries.size(), available.size() + 3);
    EXPECT_FALSE(entries.front().checked);
    EXPECT_EQ(entries[available.size()].id, twin.id);
    EXPECT_TRUE(entries[available.size()].checked);
}

}  // namespace
}  // namespace tess

namespace tess {
namespace {

using namespace MainWindowState;

// A folder open with a coordinator whose last scan fell short in some way.
Snapshot shortfall(MonitoringStatus status, std::int64_t indexed, bool stopped, std::int64_t unreadable)
{
    Snapshot s;
    s.status = std::move(status);
    s.sourcePath = "/data/My  Docs";
    s.hasDestination = true;
    s.hasCoordinator = true;
    s.totalIndexed = indexed;
    s.lastScanStopped = stopped;
    s.unreadableCount = unreadable;
    for (std::int64_t i = 0; i < std::min<std::int64_t>(unreadable, static_cast<std::int64_t>(kUnreadableShown)); ++i) {
        s.unreadableShown.push_back({"/data/My  Docs/locked " + std::to_string(i), "Permission denied"});
    }
    return s;
}

// A folder name that is not UTF-8 is shown with "\xhh" for each invalid
// byte, never as the valid name it would read as after a re-encoding.
TEST(MainWindowStateTest, PathsThatAreNotUtf8AreShownAsTheirBytes)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    Snapshot s;
    s.sourcePath = "/data/caf\xe9";
    const ToolbarState t = toolbarState(s);
    EXPECT_EQ(t.sourceTitle, QStringLiteral("caf\\xe9"));
    EXPECT_EQ(t.sourceHelp, QStringLiteral("/data/caf\\xe9"));

    const std::vector<UnreadableFolder> shown {{"/data/caf\xe9/x\xff\xfe", "Permission denied"}, {"/data/café", "Permission denied"}};
    EXPECT_EQ(unreadableListText(shown, 2, english),
        QStringLiteral("Not checked, because they could not be read:\n/data/caf\\xe9/x\\xff\\xfe (Permission denied)\n/data/café (Permission denied)"));
}

TEST(MainWindowStateTest, ShortfallsAreNeverShownAsACleanResult)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    struct Case {
        const char* name;
        Snapshot snapshot;
        std::optional<QString> notice;
        bool offersSettings;
        std::optional<ColorName> dot;
        ReadyVariant ready;
        bool scanEnabled;
    };
    Snapshot indexError = shortfall(MonitoringStatus::monitoring(), 12, false, 0);
    indexError.indexErrorMessage = "database disk image is malformed";
    Snapshot scanning = shortfall(scanningIn(ScanPhase::enumerating), 0, false, 3);
    const Case cases[] = {
        {"stopped, nothing indexed", shortfall(MonitoringStatus::monitoring(), 0, true, 0), std::nullopt, false, ColorName::warm,
            ReadyVariant::scanStopped, true},
        {"stopped over earlier results", shortfall(MonitoringStatus::monitoring(), 12, true, 0),
            QStringLiteral("Scan stopped before it finished"), false, ColorName::warm, ReadyVariant::scanStopped, true},
        {"one unreadable folder", shortfall(MonitoringStatus::monitoring(), 12, false, 1),
            QStringLiteral("1 folder could not be read"), false, ColorName::warm, ReadyVariant::readyToScan, true},
        {"stopped with an unreadable source", shortfall(MonitoringStatus::monitoring(), 0, true, 1),
            QStringLiteral("1 folder could not be read"), false, ColorName::warm, ReadyVariant::scanStopped, true},
        {"many unreadable folders", shortfall(MonitoringStatus::idle(), 12, false, 1234),
            QStringLiteral("1,234 folders could not be read"), false, ColorName::warm, ReadyVariant::readyToScan, true},
        {"index that cannot be used", indexError,
            QStringLiteral("The file index cannot be used: database disk image is malformed"), true, ColorName::warm,
            ReadyVariant::readyToScan, true},
        {"a new scan runs", scanning, std::nullopt, false, ColorName::cool, ReadyVariant::readyToScan, true},
        {"a complete scan of an empty folder", shortfall(MonitoringStatus::monitoring(), 0, false, 0), std::nullopt, false,
            ColorName::brandGreen, ReadyVariant::readyToScan, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<StatusNotice> notice = statusNotice(c.snapshot, english);
        EXPECT_EQ(notice ? std::optional<QString>(notice->text) : std::nullopt, c.notice);
        EXPECT_EQ(notice && notice->offersSettings, c.offersSettings);
        EXPECT_EQ(statusDotColor(c.snapshot), c.dot);
        EXPECT_EQ(readyVariant(c.snapshot), c.ready);
        // Scan stays usable, except while it runs (when it is the stop button).
        EXPECT_EQ(toolbarState(c.snapshot).scan.enabled, c.scanEnabled);
    }
}

TEST(MainWindowStateTest, UnreadableFoldersAreListedWithReasonsAndCounted)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const std::vector<UnreadableFolder> two {{"/srv/<b>x</b>", "Permission denied"}, {"/srv/R&amp;D  two", "Input/output error"}};
    EXPECT_EQ(unreadableListText(two, 2, english),
        QStringLiteral("Not checked, because they could not be read:\n/srv/<b>x</b> (Permission denied)\n"
                       "/srv/R&amp;D  two (Input/output error)"));
    EXPECT_TRUE(unreadableListText(two, 2502, english).endsWith(QStringLiteral("\nand 2,500 more (the log lists them all)")));
    EXPECT_EQ(unreadableCountText(1, english), QStringLiteral("1 folder could not be read"));
    EXPECT_EQ(unreadableCountText(2, english), QStringLiteral("2 folders could not be read"));

    const Snapshot many = shortfall(MonitoringStatus::monitoring(), 12, false, 30);
    const std::optional<StatusNotice> notice = statusNotice(many, english);
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->toolTip.count(u'\n'), static_cast<qsizetype>(kUnreadableShown) + 1);
    EXPECT_TRUE(notice->toolTip.contains(QStringLiteral("/data/My  Docs/locked 0 (Permission denied)")));

    Snapshot clear = shortfall(MonitoringStatus::monitoring(), 12, false, 2);
    ScanSummary summary;
    summary.duration = 1.0;
    clear.lastScanSummary = summary;
    EXPECT_EQ(allClearFootnote(clear, std::chrono::system_clock::now(), english),
        QStringLiteral("2 folders could not be read, so not every folder was checked.\nLast scan: 1.0s, Manual"));
    clear.lastScanSummary.reset();
    EXPECT_EQ(allClearFootnote(clear, std::chrono::system_clock::now(), english),
        QStringLiteral("2 folders could not be read, so not every folder was checked."));
}

}  // namespace
}  // namespace tess
