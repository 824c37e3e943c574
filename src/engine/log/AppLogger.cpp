#include "log/AppLogger.h"

#include "core/SerialQueue.h"
#include "core/XdgPaths.h"
#include "plist/NotificationCenter.h"
#include "plist/PlistXml.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <future>
#include <iterator>
#include <optional>
#include <vector>

#ifndef TESSALINE_VERSION
#define TESSALINE_VERSION "unknown"
#endif

// The log file holds one line per entry:
//   debug logging on:  "[yyyy-MM-dd HH:mm:ss.SSS] [LEVEL] [File.cpp:42] message"
//   debug logging off: "[yyyy-MM-dd HH:mm:ss.SSS] [LEVEL] message" (DEBUG dropped)
// with the local time of the moment the entry is written. Each logger starts
// with a banner (three empty lines, "=" rule, name, UTC build stamp, version,
// "=" rule). At start a log over 5 MiB is renamed to
// "Tessaline-app-<UTC stamp>.log" and a fresh one begins; the ten newest
// rotated files are kept. Writes append (O_APPEND|O_CREAT), so a log deleted
// while running is recreated by the next entry; nothing is ever truncated.

namespace tess {

namespace {

constexpr const char* kRotatedPrefix = "Tessaline-app-";
constexpr const char* kRotatedSuffix = ".log";
constexpr const char* kDefaultsKey = "app.quenby.Tessaline.preferences";
constexpr std::size_t kMaxDefaultsSize = 64 * 1024 * 1024;
constexpr std::chrono::milliseconds kExitDrainTime {1000};

std::string isoUtcStamp(std::chrono::system_clock::time_point time)
{
    std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(time));
    std::tm tm {};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

std::string localLineTime(std::chrono::system_clock::time_point time)
{
    auto seconds = std::chrono::floor<std::chrono::seconds>(time);
    auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(time - seconds).count();
    std::time_t t = std::chrono::system_clock::to_time_t(seconds);
    std::tm tm {};
    localtime_r(&t, &tm);
    char text[48];
    std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    std::snprintf(text + length, sizeof text - length, ".%03d", static_cast<int>(millis));
    return text;
}

std::string_view lastPathComponent(std::string_view path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// mkdir -p; failures are left for the first write to run into.
void makeDirectories(const std::string& path)
{
    for (std::size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            std::string prefix = path.substr(0, i);
            if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
                return;
            }
        }
    }
}

// Appends to the file, creating it when missing; errors are ignored.
void appendToFile(const std::string& path, std::string_view text)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;
    }
    while (!text.empty()) {
        ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    ::close(fd);
}

// Moves without ever replacing an existing file.
int moveNoReplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    struct stat info { };
    if (::lstat(to.c_str(), &info) == 0) {
        return EEXIST;
    }
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// The bytes of a regular file of at most kMaxDefaultsSize bytes; nothing
// for anything else. Only a regular file is opened (and without blocking),
// so a FIFO or a device in the file's place cannot hold up the logger.
std::optional<std::string> readSmallRegularFile(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat info { };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            ::close(fd);
            return count == 0 ? std::optional<std::string>(std::move(text)) : std::nullopt;
        }
        text.append(buffer, static_cast<std::size_t>(count));
        if (text.size() > kMaxDefaultsSize) {
            ::close(fd);
            return std::nullopt;
        }
    }
}

// preferences.debugLogging of the stored defaults; true when the file,
// the key or a Boolean value is missing or unreadable.
bool storedDebugLogging(const std::string& defaultsPath)
{
    if (defaultsPath.empty()) {
        return true;
    }
    std::optional<std::string> text = readSmallRegularFile(defaultsPath);
    if (!text) {
        return true;
    }
    Result<PlistValue> stored = parsePlistXml(*text);
    if (!stored) {
        return true;
    }
    const PlistValue* document = stored->find(kDefaultsKey);
    const PlistValue* preferences = document ? document->find("preferences") : nullptr;
    const PlistValue* flag = preferences ? preferences->find("debugLogging") : nullptr;
    const bool* value = flag ? flag->asBool() : nullptr;
    return value ? *value : true;
}

}  // namespace

// Everything the queued work touches. Work items hold it weakly: an entry
// still queued when its logger is gone is dropped.
struct AppLogger::State {
    std::string logFolder;
    std::string logPath;  // set before the queue runs anything, never changed
    std::string version;
    Clock clock;
    bool debugEnabled = true;
    SerialQueue queue {kQueueLabel};

    std::chrono::system_clock::time_point now() const
    {
        return clock ? clock() : std::chrono::system_clock::now();
    }

    void setupLogFile();
    void writeLine(std::string_view text) const { appendToFile(logPath, text); }
    void writeEntry(const std::string& message, const std::string& level, const std::string& file, int line) const;
    void checkRotation();
    void rotateLog();
    void cleanupOldLogs() const;
};

void AppLogger::State::setupLogFile()
{
    makeDirectories(logFolder);
    const std::string rule(80, '=');
    std::string banner = "\n\n\n";
    banner += rule + "\n";
    banner += "Tessaline Started\n";
    banner += "Build: " + isoUtcStamp(now()) + "\n";
    banner += "Version: " + version + "\n";
    banner += rule + "\n";
    writeLine(banner);
}

void AppLogger::State::writeEntry(const std::string& message, const std::string& level, const std::string& file, int line) const
{
    if (level == "DEBUG" && !debugEnabled) {
        return;
    }
    std::string text = "[" + localLineTime(now()) + "] [" + level + "] ";
    if (debugEnabled) {
        text += "[" + file + ":" + std::to_string(line) + "] ";
    }
    text += message;
    text += "\n";
    writeLine(text);
}

void AppLogger::State::checkRotation()
{
    struct stat info { };
    if (::stat(logPath.c_str(), &info) != 0) {
        return;
    }
    if (static_cast<std::int64_t>(info.st_size) > kRotationSize) {
        rotateLog();
    }
}

void AppLogger::State::rotateLog()
{
    std::string rotatedPath = logFolder + "/" + kRotatedPrefix + isoUtcStamp(now()) + kRotatedSuffix;
    struct stat info { };
    if (::lstat(logPath.c_str(), &info) != 0) {
        return;
    }
    if (int error = moveNoReplace(logPath, rotatedPath); error != 0) {
        std::string text = std::string("Failed to rotate log: ") + std::strerror(error) + "\n";
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
        return;
    }
    cleanupOldLogs();
    setupLogFile();
}

void AppLogger::State::cleanupOldLogs() const
{
    DIR* dir = ::opendir(logFolder.c_str());
    if (!dir) {
        return;
    }
    const std::string_view prefix = kRotatedPrefix;
    const std::string_view suffix = kRotatedSuffix;
    std::vector<std::string> rotated;
    while (dirent* entry = ::readdir(dir)) {
        std::string_view name = entry->d_name;
        if (name.size() >= suffix.size() && name.substr(0, prefix.size()) == prefix
            && name.substr(name.size() - suffix.size()) == suffix) {
            rotated.emplace_back(name);
        }
    }
    ::closedir(dir);
    if (rotated.size() <= kKeptRotatedLogs) {
        return;
    }
    std::sort(rotated.begin(), rotated.end());
    for (std::size_t i = 0; i < rotated.size() - kKeptRotatedLogs; ++i) {
        ::unlink((logFolder + "/" + rotated[i]).c_str());
    }
}

AppLogger& AppLogger::shared()
{
    // Never destroyed: code running during exit may still log. The exit
    // handler gives queued entries at most a second.
    static AppLogger* logger = [] {
        auto* created = new AppLogger(defaultOptions());
        std::atexit([] { AppLogger::shared().drain(kExitDrainTime); });
        return created;
    }();
    return *logger;
}

AppLogger::Options AppLogger::defaultOptions()
{
    Options options;
    options.logFolder = XdgPaths::logDirectory();
    options.defaultsPath = XdgPaths::defaultsFilePath();
    options.version = TESSALINE_VERSION;
    return options;
}

AppLogger::AppLogger(Options options)
    : m_state(std::make_shared<State>())
    , m_center(options.notificationCenter ? options.notificationCenter : &NotificationCenter::defaultCenter())
{
    m_state->logFolder = std::move(options.logFolder);
    // Fixed for the logger's life: logFilePath() may be read from any thread.
    m_state->logPath = m_state->logFolder + "/" + kLogFileName;
    m_state->version = options.version.empty() ? "unknown" : std::move(options.version);
    m_state->clock = std::move(options.clock);
    m_state->debugEnabled = storedDebugLogging(options.defaultsPath);
    m_state->setupLogFile();

    std::weak_ptr<State> weak = m_state;
    m_state->queue.async([weak] {
        if (auto state = weak.lock()) {
            state->checkRotation();
        }
    });

    m_observerToken = m_center->addObserver("DebugLoggingChanged", [weak](const NotificationCenter::Notification& notification) {
        auto found = notification.userInfo.find("enabled");
        if (found == notification.userInfo.end() || !found->second.isBool()) {
            return;
        }
        const bool enabled = *found->second.asBool();
        if (auto state = weak.lock()) {
            state->queue.async([weak, enabled] {
                if (auto current = weak.lock()) {
                    current->debugEnabled = enabled;
                }
            });
        }
    });
}

AppLogger::~AppLogger()
{
    m_center->removeObserver(m_observerToken);
    drain(kExitDrainTime);
}

void AppLogger::log(std::string message, std::string_view level, std::string_view file, int line)
{
    std::weak_ptr<State> weak = m_state;
    m_state->queue.async([weak, message = std::move(message), level = std::string(level),
                             file = std::string(lastPathComponent(file)), line] {
        if (auto state = weak.lock()) {
            state->writeEntry(message, level, file, line);
        }
    });
}

void AppLogger::setDebugEnabled(bool enabled)
{
    std::weak_ptr<State> weak = m_state;
    m_state->queue.async([weak, enabled] {
        if (auto state = weak.lock()) {
            state->debugEnabled = enabled;
        }
    });
}

void AppLogger::flush()
{
    m_state->queue.drain();
}

bool AppLogger::drain(std::chrono::milliseconds timeout)
{
    if (m_state->queue.isCurrent()) {
        return false;  // the queue cannot catch up while its own work waits
    }
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    m_state->queue.async([done] { done->set_value(); });
    return finished.wait_for(timeout) == std::future_status::ready;
}

const std::string& AppLogger::logFilePath() const
{
    return m_state->logPath;
}

}  // namespace tess
