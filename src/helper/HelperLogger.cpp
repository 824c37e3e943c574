#include "HelperLogger.h"

#include "UniqueFd.h"

#include <array>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

namespace tess {

namespace {

constexpr std::array<const char*, 3> kLogFolder {".local", "state", "quenby"};

// Whether a folder of the log's path may be written to as root: it belongs
// to the user or to root, never to a third account.
bool ownedByUserOrRoot(int folder, uid_t owner)
{
    struct stat info { };
    return ::fstat(folder, &info) == 0 && (info.st_uid == owner || info.st_uid == 0);
}

// Opens (and with `create`, makes) <home>/.local/state/quenby one component
// at a time without following symbolic links below the home, and only
// through folders of the user or root. Folders made here are given to the
// user.
int openLogFolder(const std::string& home, bool create, uid_t owner, gid_t ownerGroup)
{
    UniqueFd current(::open(home.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (current.get() < 0 || !ownedByUserOrRoot(current.get(), owner)) {
        return -1;
    }
    for (const char* name : kLogFolder) {
        int next = ::openat(current.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT && create) {
            bool made = ::mkdirat(current.get(), name, 0755) == 0;
            if (!made && errno != EEXIST) {
                return -1;
            }
            next = ::openat(current.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next >= 0 && made && ::fchown(next, owner, ownerGroup) != 0) {
                ::close(next);
                return -1;
            }
        }
        if (next < 0) {
            return -1;
        }
        current.reset(next);
        if (!ownedByUserOrRoot(current.get(), owner)) {
            return -1;
        }
    }
    return current.release();
}

bool writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

HelperLogger& HelperLogger::shared()
{
    static HelperLogger* logger = new HelperLogger();
    return *logger;
}

HelperLogger::HelperLogger(std::size_t bufferLimit)
    : m_bufferLimit(bufferLimit)
{
    ::tzset();  // local time for the entries, as configured when the daemon started
    m_worker = std::thread([this] { runWorker(); });
}

HelperLogger::~HelperLogger()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

std::string HelperLogger::logPathForHome(const std::string& home)
{
    std::string path = home;
    for (const char* name : kLogFolder) {
        path.append("/").append(name);
    }
    return path.append("/").append(kLogFileName);
}

std::string HelperLogger::escapeControls(std::string_view text)
{
    auto isControl = [](unsigned char byte) { return byte < 0x20 || byte == 0x7F || byte == 0xC2; };
    std::size_t first = 0;
    while (first < text.size() && !isControl(static_cast<unsigned char>(text[first]))) {
        ++first;
    }
    if (first == text.size()) {
        return std::string(text);
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out(text.substr(0, first));
    out.reserve(text.size() + 16);
    for (std::size_t i = first; i < text.size(); ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        unsigned code = byte;
        // C1 controls arrive as C2 80 to C2 9F in UTF-8.
        if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80
            && static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            code = static_cast<unsigned char>(text[++i]);
        } else if (byte == '\n') {
            out += "\\n";
            continue;
        } else if (byte >= 0x20 && byte != 0x7F) {
            out.push_back(static_cast<char>(byte));
            continue;
        }
        out += "\\x";
        out.push_back(kHex[code >> 4]);
        out.push_back(kHex[code & 0xF]);
    }
    return out;
}

void HelperLogger::log(std::string message, std::string_view level)
{
    logFixedText(escapeControls(message), level);
}

void HelperLogger::logFixedText(std::string message, std::string_view level)
{
    enqueue([this, message = std::move(message), level = std::string(level)] { processEntry(message, level); });
}

void HelperLogger::setUserHome(const std::string& home, uid_t owner, gid_t ownerGroup)
{
    if (m_worker.get_id() == std::this_thread::get_id()) {
        handOver(home, owner, ownerGroup);
        return;
    }
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    enqueue([this, home, owner, ownerGroup, done] {
        handOver(home, owner, ownerGroup);
        done->set_value();
    });
    finished.wait();
}

bool HelperLogger::drain(std::chrono::milliseconds limit)
{
    std::unique_lock lock(m_mutex);
    return m_idle.wait_for(lock, limit, [this] { return m_queue.empty() && !m_busy; });
}

std::optional<std::string> HelperLogger::logPath()
{
    std::lock_guard lock(m_pathMutex);
    return m_logPath;
}

void HelperLogger::enqueue(std::function<void()> task)
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(task));
    }
    m_wake.notify_one();
}

void HelperLogger::runWorker()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_queue.empty()) {
            if (m_stopping) {
                return;
            }
            continue;
        }
        auto task = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        lock.unlock();
        runTask(task);
        task = nullptr;
        lock.lock();
        m_busy = false;
        if (m_queue.empty()) {
            m_idle.notify_all();
        }
    }
}

void HelperLogger::runTask(std::function<void()>& task)
{
    // A failed entry (out of memory, a clock or file error) costs that entry
    // only; the worker keeps serving the queue.
    try {
        task();
        return;
    } catch (const std::exception& error) {
        try {
            processEntry(escapeControls(std::string("A log entry could not be written: ") + error.what()), "ERROR");
        } catch (...) {
        }
    } catch (...) {
        try {
            processEntry("A log entry could not be written", "ERROR");
        } catch (...) {
        }
    }
}

std::string HelperLogger::timestamp()
{
    auto now = std::chrono::system_clock::now();
    auto seconds = std::chrono::system_clock::to_time_t(now);
    auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local {};
    ::localtime_r(&seconds, &local);
    char text[32];
    std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(millis));
    return std::string(text, length) + fraction;
}

void HelperLogger::processEntry(const std::string& message, const std::string& level)
{
    std::string line = "[" + timestamp() + "] [" + level + "] " + message + "\n";
    if (!m_home.empty()) {
        appendToFile(line);
        return;
    }
    // Before the hand-over: keep what fits, count what does not.
    if (m_bufferedBytes + line.size() > m_bufferLimit) {
        ++m_droppedMessages;
        return;
    }
    m_bufferedBytes += line.size();
    m_bufferedMessages.push_back(std::move(line));
}

void HelperLogger::handOver(const std::string& home, uid_t owner, gid_t ownerGroup)
{
    if (!m_home.empty()) {
        return;
    }
    m_home = home;
    m_owner = owner;
    m_ownerGroup = ownerGroup;
    {
        std::lock_guard lock(m_pathMutex);
        m_logPath = logPathForHome(home);
    }
    UniqueFd folder(openLogFolder(home, true, owner, ownerGroup));
    (void)folder;

    std::string text;
    text.reserve(m_bufferedBytes + 128);
    for (const auto& line : m_bufferedMessages) {
        text += line;
    }
    if (m_droppedMessages > 0) {
        text += "[" + timestamp() + "] [ERROR] " + std::to_string(m_droppedMessages) + " log entries were dropped while waiting for the user's home folder\n";
    }
    m_bufferedMessages.clear();
    m_bufferedMessages.shrink_to_fit();
    m_bufferedBytes = 0;
    m_droppedMessages = 0;
    if (!text.empty()) {
        appendToFile(text);
    }
}

void HelperLogger::appendToFile(const std::string& text)
{
    if (m_home.empty()) {
        return;
    }
    // The folder is opened afresh each time: the user may have moved or
    // removed it, and a symbolic link put in its place must not be followed.
    UniqueFd folder(openLogFolder(m_home, false, m_owner, m_ownerGroup));
    if (folder.get() < 0) {
        return;
    }
    const std::string name(kLogFileName);
    bool created = true;
    UniqueFd file(::openat(folder.get(), name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0644));
    if (file.get() < 0 && errno == EEXIST) {
        created = false;
        file.reset(::openat(folder.get(), name.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    }
    if (file.get() < 0) {
        return;
    }
    struct stat info { };
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1) {
        return;
    }
    if (created && ::fchown(file.get(), m_owner, m_ownerGroup) != 0) {
        return;
    }
    writeAll(file.get(), text);
}

}  // namespace tess
