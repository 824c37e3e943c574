#include "model/PreferencesManager.h"

#include "index/FileIndexDatabase.h"
#include "log/AppLogger.h"
#include "model/AsyncTask.h"
#include "model/SettingsManager.h"
#include "platform/LoginItem.h"
#include "plist/NotificationCenter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <filesystem>
#include <memory>

namespace tess {

namespace {

bool isHorizontalSpace(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

QString trimmedHorizontally(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isHorizontalSpace(text[begin])) {
        ++begin;
    }
    while (end > begin && isHorizontalSpace(text[end - 1])) {
        --end;
    }
    return text.mid(begin, end - begin);
}

struct DatabaseStats {
    std::int64_t count = 0;
    std::uint64_t size = 0;
};

DatabaseStats readDatabaseStats(const std::string& path)
{
    std::error_code error;
    const bool exists = std::filesystem::exists(path, error);
    TESS_LOG_INFO("refreshDatabaseStats: path=" + path + " exists=" + (exists ? "true" : "false"));
    const auto info = FileIndexDatabase::databaseInfo(path);
    if (!info) {
        TESS_LOG_INFO("refreshDatabaseStats: currentStats() returned nil");
        return {};
    }
    TESS_LOG_INFO("refreshDatabaseStats: fileCount=" + std::to_string(info->rowCount)
        + " sizeBytes=" + std::to_string(info->totalSize));
    return {info->rowCount, info->totalSize};
}

// The part of a reset that outlives the manager: it waits for monitoring to
// stop, deletes the files off the main thread, then tells the manager if it
// still exists.
struct PendingReset : std::enable_shared_from_this<PendingReset> {
    QPointer<PreferencesManager> manager;
    std::string path;
    std::function<bool()> monitoringStopped;
    int minimumDelayMs = 0;
    int timeoutMs = 0;
    QElapsedTimer elapsed;
    std::function<void(bool)> finished;

    void start()
    {
        elapsed.start();
        checkLater(minimumDelayMs);
    }

    void checkLater(int delayMs)
    {
        QTimer::singleShot(delayMs, QCoreApplication::instance(), [self = shared_from_this()] { self->check(); });
    }

    void check()
    {
        if (!monitoringStopped || monitoringStopped()) {
            deleteFiles();
            return;
        }
        if (elapsed.elapsed() < timeoutMs) {
            checkLater(50);
            return;
        }
        TESS_LOG_ERROR("Database reset: monitoring did not stop within " + std::to_string(timeoutMs / 1000)
            + " s; nothing was deleted at " + path);
        finished(false);
    }

    void deleteFiles()
    {
        runThenCallback(
            QCoreApplication::instance(), [target = path] { FileIndexDatabase::resetDatabase(target); },
            [self = shared_from_this()] { self->finished(true); });
    }
};

}  // namespace

PreferencesManager::PreferencesManager(Dependencies dependencies, QObject* parent)
    : QObject(parent)
    , m_deps(std::move(dependencies))
{
    const AppSettings::Preferences& preferences = m_deps.settings->settings().preferences;
    m_startAtLogin = preferences.startAtLogin;
    m_appearanceMode = preferences.appearanceMode;
    m_debugLogging = preferences.debugLogging;
    if (m_deps.setDebugEnabled) {
        m_deps.setDebugEnabled(preferences.debugLogging);
    }
    m_useFSEvents = preferences.useFSEvents;
    m_usePolling = preferences.usePolling;
    m_scanIntervalSeconds = preferences.scanIntervalSeconds;
    m_scheduledStartTime = preferences.scheduledStartTime;
    m_autoRenameOnDetection = preferences.autoRenameOnDetection;
    m_usePrivilegedHelper = preferences.usePrivilegedHelper;
    m_excludePatternsText = joinExcludePatterns(preferences.excludePatterns);
}

void PreferencesManager::storeAndSave(const std::function<void(AppSettings::Preferences&)>& store)
{
    m_deps.settings->updateSettings([&](AppSettings& settings) { store(settings.preferences); });
    m_deps.settings->saveSettings();
}

void PreferencesManager::setAppearanceMode(AppSettings::AppearanceMode mode)
{
    m_appearanceMode = mode;
    emit appearanceModeChanged();
    storeAndSave([mode](AppSettings::Preferences& p) { p.appearanceMode = mode; });
    if (m_deps.applyTheme) {
        m_deps.applyTheme(mode);
    }
    m_deps.notifications->post(kAppearanceModeChanged);
}

void PreferencesManager::setStartAtLogin(bool enabled)
{
    m_startAtLogin = enabled;
    emit startAtLoginChanged();
    storeAndSave([enabled](AppSettings::Preferences& p) { p.startAtLogin = enabled; });
    updateLoginItem(enabled);
}

void PreferencesManager::updateLoginItem(bool enabled)
{
    const Status status = m_deps.loginItem->setRegistered(enabled);
    if (status) {
        return;
    }
    TESS_LOG_ERROR("Error managing login item: " + status.error().message);
    // The switch and the stored value follow what really is on disk.
    const bool actual = m_deps.loginItem->isRegistered();
    if (actual == m_startAtLogin) {
        return;
    }
    m_startAtLogin = actual;
    emit startAtLoginChanged();
    storeAndSave([actual](AppSettings::Preferences& p) { p.startAtLogin = actual; });
}

void PreferencesManager::setDebugLogging(bool enabled)
{
    m_debugLogging = enabled;
    emit debugLoggingChanged();
    storeAndSave([enabled](AppSettings::Preferences& p) { p.debugLogging = enabled; });
    if (m_deps.setDebugEnabled) {
        m_deps.setDebugEnabled(enabled);
    }
    TESS_LOG_INFO(enabled ? "Debug logging has been enabled by the user." : "Debug logging has been disabled.");
}

void PreferencesManager::setUsePrivilegedHelper(bool enabled)
{
    m_usePrivilegedHelper = enabled;
    emit usePrivilegedHelperChanged();
    storeAndSave([enabled](AppSettings::Preferences& p) { p.usePrivilegedHelper = enabled; });
}

void PreferencesManager::setExcludePatternsText(const QString& text)
{
    m_excludePatternsText = text;
    emit excludePatternsTextChanged();
    std::vector<std::string> patterns = parseExcludePatterns(text);
    storeAndSave([&patterns](AppSettings::Preferences& p) { p.excludePatterns = std::move(patterns); });
}

std::vector<std::string> PreferencesManager::parseExcludePatterns(const QString& text)
{
    std::vector<std::string> patterns;
    for (const QString& piece : text.split(u'\n', Qt::SkipEmptyParts)) {
        const QString trimmed = trimmedHorizontally(piece);
        if (!trimmed.isEmpty()) {
            patterns.push_back(trimmed.toStdString());
        }
    }
    return patterns;
}

QString PreferencesManager::joinExcludePatterns(const std::vector<std::string>& patterns)
{
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(patterns.size()));
    for (const std::string& pattern : patterns) {
        lines.append(QString::fromStdString(pattern));
    }
    return lines.join(u'\n');
}

void PreferencesManager::refreshDatabaseStats()
{
    runThenCallback(
        this, [path = m_deps.databasePath()] { return readDatabaseStats(path); },
        [this](const DatabaseStats& stats) { setDatabaseStats(stats.count, stats.size); });
}

void PreferencesManager::setDatabaseStats(std::int64_t count, std::uint64_t size)
{
    m_databaseFileCount = count;
    m_databaseSizeBytes = size;
    emit databaseStatsChanged();
}

void PreferencesManager::resetDatabase()
{
    m_deps.notifications->post(kStopMonitoringForReset);
    auto reset = std::make_shared<PendingReset>();
    reset->manager = this;
    reset->path = m_deps.databasePath();
    reset->monitoringStopped = m_deps.monitoringStopped;
    reset->minimumDelayMs = m_deps.resetMinimumDelayMs;
    reset->timeoutMs = m_deps.resetTimeoutMs;
    reset->finished = [manager = reset->manager](bool deleted) {
        if (manager) {
            emit manager->databaseResetFinished(deleted);
            manager->refreshDatabaseStats();
        }
    };
    reset->start();
}

}  // namespace tess
