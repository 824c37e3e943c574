#include "HelperLogger.h"

#include "LogText.h"

#include <cstdio>
#include <ctime>
#include <future>

namespace tess {

namespace {

// What a queued entry is counted as beyond its text: the task and its strings.
constexpr std::size_t kEntryOverhead = 128;

}  // namespace

HelperLogger& HelperLogger::shared()
{
    static HelperLogger* logger = new HelperLogger();
    return *logger;
}

HelperLogger::HelperLogger(std::size_t bufferLimit, std::size_t queueLimit)
    : m_queueLimit(queueLimit)
    , m_bufferLimit(bufferLimit)
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
    return LogFile::userLogPath(home);
}

std::string HelperLogger::activityLogPath(const std::string& rootLogPath)
{
    constexpr std::string_view kExtension = ".log";
    const std::size_t slash = rootLogPath.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::string path = rootLogPath;
    if (path.size() >= nameStart + kExtension.size() + 1 && path.compare(path.size() - kExtension.size(), kExtension.size(), kExtension) == 0) {
        path.erase(path.size() - kExtension.size());
    }
    return path + ".activity.log";
}

std::string HelperLogger::escapeControls(std::string_view text)
{
    return LogText::escape(text);
}

void HelperLogger::configure(std::string rootLogPath, std::size_t fileSizeLimit)
{
    enqueue(
        [this, rootLogPath = std::move(rootLogPath), fileSizeLimit] {
            m_rootLogPath = rootLogPath;
            m_rootLog.reset();
            m_rootActivityLog.reset();
            m_fileSizeLimit = fileSizeLimit;
        },
        0, false);
}

void HelperLogger::log(std::string message, std::string_view level)
{
    enqueueEntry(LogText::escape(LogText::clip(message, LogText::kMessageLimit)), std::string(level), std::nullopt);
}

void HelperLogger::log(std::string message, std::string_view level, uid_t client, Record record)
{
    enqueueEntry(LogText::escape(LogText::clip(message, LogText::kMessageLimit)), std::string(level), Client {client, record});
}

void HelperLogger::logFixedText(std::string message, std::string_view level)
{
    enqueueEntry(std::move(message), std::string(level), std::nullopt);
}

void HelperLogger::enqueueEntry(std::string message, std::string level, std::optional<Client> client)
{
    const std::size_t bytes = message.size() + kEntryOverhead;
    enqueue([this, message = std::move(message), level = std::move(level), client] { processEntry(message, level, client); },
        bytes, true);
}

void HelperLogger::setUserHome(const std::string& home, uid_t owner, gid_t ownerGroup)
{
    if (m_worker.get_id() == std::this_thread::get_id()) {
        handOver(home, owner, ownerGroup);
        return;
    }
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    enqueue(
        [this, home, owner, ownerGroup, done] {
            handOver(home, owner, ownerGroup);
            done->set_value();
        },
        0, false);
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

void HelperLogger::enqueue(std::function<void()> task, std::size_t bytes, bool droppable)
{
    {
        std::lock_guard lock(m_mutex);
        if (droppable && m_queuedBytes + bytes > m_queueLimit) {
            ++m_queueDropped;
            return;
        }
        m_queuedBytes += bytes;
        m_queue.push_back(Task {std::move(task), bytes});
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
        auto task = std::move(m_queue.front().run);
        m_queuedBytes -= m_queue.front().bytes;
        m_queue.pop_front();
        m_busy = true;
        lock.unlock();
        runTask(task);
        task = nullptr;
        lock.lock();
        reportDropped(lock);
        m_busy = false;
        if (m_queue.empty()) {
            m_idle.notify_all();
        }
    }
}

// Once the queue has room again, says how many entries did not fit.
void HelperLogger::reportDropped(std::unique_lock<std::mutex>& lock)
{
    if (m_queueDropped == 0 || m_queuedBytes > m_queueLimit / 2) {
        return;
    }
    const std::size_t dropped = m_queueDropped;
    m_queueDropped = 0;
    lock.unlock();
    std::function<void()> report = [this, dropped] { processEntry(std::to_string(dropped) + " log lines dropped", "ERROR", std::nullopt); };
    runTask(report);
    lock.lock();
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
            processEntry(LogText::escape(std::string("A log entry could not be written: ") + error.what()), "ERROR", std::nullopt);
        } catch (...) {
        }
    } catch (...) {
        try {
            processEntry("A log entry could not be written", "ERROR", std::nullopt);
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

std::string HelperLogger::formatLine(const std::string& message, const std::string& level)
{
    return "[" + timestamp() + "] [" + level + "] " + message + "\n";
}

std::string HelperLogger::recordLine(const std::string& message, const std::string& level, uid_t client)
{
    return "[" + timestamp() + "] [" + level + "] [uid " + std::to_string(client) + "] " + message + "\n";
}

const LogFile* HelperLogger::destination(const std::optional<Client>& client)
{
    auto own = m_userLogs.find(client ? client->uid : *m_mainOwner);
    if (own != m_userLogs.end()) {
        return &own->second;
    }
    return rootLog(client ? client->record : Record::action);
}

const LogFile* HelperLogger::rootLog(Record record)
{
    if (m_rootLogPath.empty()) {
        return nullptr;
    }
    std::optional<LogFile>& file = record == Record::action ? m_rootLog : m_rootActivityLog;
    if (!file) {
        file = LogFile::forRoot(record == Record::action ? m_rootLogPath : activityLogPath(m_rootLogPath), m_fileSizeLimit);
    }
    return &*file;
}

void HelperLogger::processEntry(const std::string& message, const std::string& level, std::optional<Client> client)
{
    std::string line = formatLine(message, level);
    if (m_mainOwner) {
        // What was done as root stays on root's record, also for a client
        // that keeps a log of its own, which its user may edit or remove.
        const LogFile* record = client && client->record == Record::action ? rootLog(Record::action) : nullptr;
        if (const LogFile* file = destination(client); file != nullptr && file != record) {
            file->append(line);
        }
        if (record != nullptr) {
            record->append(recordLine(message, level, client->uid));
        }
        return;
    }
    // Before the first hand-over: keep what fits, count what does not.
    std::string record = client && client->record == Record::action ? recordLine(message, level, client->uid) : std::string();
    if (m_bufferedBytes + line.size() + record.size() > m_bufferLimit) {
        ++m_droppedMessages;
        return;
    }
    m_bufferedBytes += line.size() + record.size();
    m_bufferedMessages.push_back(Buffered {std::move(line), std::move(record), client});
}

void HelperLogger::handOver(const std::string& home, uid_t owner, gid_t ownerGroup)
{
    if (m_userLogs.count(owner) != 0 || m_userLogs.size() >= kMaxUserLogs) {
        return;
    }
    LogFile file = LogFile::forUser(home, owner, ownerGroup, m_fileSizeLimit);
    file.createFolders();
    m_userLogs.emplace(owner, file);
    if (m_mainOwner) {
        return;
    }
    m_mainOwner = owner;
    {
        std::lock_guard lock(m_pathMutex);
        m_logPath = file.path();
    }
    writeBuffer(owner);
}

// The buffered entries, in order, each into its own file: the daemon's and
// the main owner's into the main log, other clients' into root's log.
void HelperLogger::writeBuffer(uid_t mainOwner)
{
    std::string mainText;
    std::string rootText;
    std::string rootActivityText;
    mainText.reserve(m_bufferedBytes + 128);
    for (const auto& entry : m_bufferedMessages) {
        if (!entry.client || entry.client->uid == mainOwner) {
            mainText += entry.line;
            if (entry.client && entry.client->record == Record::action) {
                rootText += entry.recordLine;
            }
        } else if (entry.client->record == Record::action) {
            rootText += entry.recordLine;
        } else {
            rootActivityText += entry.line;
        }
    }
    if (m_droppedMessages > 0) {
        mainText += formatLine(std::to_string(m_droppedMessages) + " log entries were dropped while waiting for the user's home folder", "ERROR");
    }
    m_bufferedMessages.clear();
    m_bufferedMessages.shrink_to_fit();
    m_bufferedBytes = 0;
    m_droppedMessages = 0;
    if (!mainText.empty()) {
        destination(std::nullopt)->append(mainText);
    }
    if (const LogFile* root = rootLog(Record::action); root != nullptr && !rootText.empty()) {
        root->append(rootText);
    }
    if (const LogFile* activity = rootLog(Record::activity); activity != nullptr && !rootActivityText.empty()) {
        activity->append(rootActivityText);
    }
}

}  // namespace tess
