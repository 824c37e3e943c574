#include "index/IdleIntegrityCheck.h"

#include "core/FormatSeconds.h"
#include "log/AppLogger.h"

#include <sqlite3.h>

#include <utility>

namespace tess {

namespace {

// Read-only, full mutex.
constexpr int kReaderFlags = SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX;
// How long the check's connection waits for a lock (only a recovery of the
// write-ahead log takes one from readers).
constexpr int kBusyTimeoutMilliseconds = 5000;

}  // namespace

IdleIntegrityCheck::IdleIntegrityCheck(std::string path, std::chrono::milliseconds quiet, Report report)
    : m_path(std::move(path))
    , m_quiet(quiet)
    , m_report(std::move(report))
    , m_lastRelease(std::chrono::steady_clock::now())
    , m_thread([this] { run(); })
{
}

IdleIntegrityCheck::~IdleIntegrityCheck()
{
    stop();
    if (m_thread.get_id() == std::this_thread::get_id()) {
        m_thread.detach();  // the last owner let go in the check's own report
    } else {
        m_thread.join();
    }
}

void IdleIntegrityCheck::hold()
{
    std::lock_guard lock(m_mutex);
    ++m_holds;
    m_yield = true;
}

void IdleIntegrityCheck::release()
{
    bool idle = false;
    {
        std::lock_guard lock(m_mutex);
        idle = --m_holds == 0;
        m_lastRelease = std::chrono::steady_clock::now();
    }
    if (idle) {
        m_wake.notify_all();
    }
}

void IdleIntegrityCheck::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
        m_yield = true;
    }
    m_wake.notify_all();
}

bool IdleIntegrityCheck::isFinished() const
{
    std::lock_guard lock(m_mutex);
    return m_finished || m_stopped;
}

void IdleIntegrityCheck::run() noexcept
{
    try {
        std::unique_lock lock(m_mutex);
        while (!m_stopped) {
            if (m_holds > 0) {
                m_wake.wait(lock);
                continue;
            }
            if (const auto until = m_lastRelease + m_quiet; std::chrono::steady_clock::now() < until) {
                m_wake.wait_until(lock, until);
                continue;
            }
            m_yield = false;
            lock.unlock();
            const IndexFileCheck::Integrity integrity = checkOnce();
            lock.lock();
            if (integrity.verdict == IndexFileCheck::Integrity::Verdict::unfinished) {
                continue;  // held or stopped meanwhile: again when idle
            }
            m_finished = true;
            lock.unlock();
            if (integrity.verdict == IndexFileCheck::Integrity::Verdict::sound) {
                TESS_LOG_INFO("FileIndexDatabase: full integrity check passed in " + formatSeconds(integrity.seconds, 2) + "s");
            } else if (m_report) {
                m_report(integrity);
            }
            return;
        }
    } catch (...) {
        TESS_LOG_ERROR("❌ FileIndexDatabase: the full integrity check of " + m_path + " stopped on an unexpected failure");
    }
}

IndexFileCheck::Integrity IdleIntegrityCheck::checkOnce()
{
    sqlite3* reader = nullptr;
    IndexFileCheck::Integrity integrity;
    if (const int rc = sqlite3_open_v2(m_path.c_str(), &reader, kReaderFlags, nullptr); rc != SQLITE_OK || reader == nullptr) {
        integrity.verdict = IndexFileCheck::Integrity::Verdict::unreadable;
        integrity.code = rc;
        const char* message = reader != nullptr ? sqlite3_errmsg(reader) : nullptr;
        integrity.detail = message != nullptr ? message : "Unknown error";
    } else {
        sqlite3_busy_timeout(reader, kBusyTimeoutMilliseconds);
        integrity = IndexFileCheck::fullCheck(reader, [this] { return m_yield.load(); });
    }
    sqlite3_close_v2(reader);
    return integrity;
}

}  // namespace tess
