// A damaged index met while in use: statements that meet the damage, the
// full integrity check while the index is idle, the replacement of the file
// by a fresh index, and the notice that tells the user until a scan has
// rebuilt it.

#include "index/FileIndexDatabase.h"

#include "index/IdleIntegrityCheck.h"
#include "index/SqliteDamageWatch.h"
#include "index/SqliteStatement.h"
#include "index/SqliteTransaction.h"
#include "log/AppLogger.h"

#include <sqlite3.h>

#include <utility>

namespace tess {

namespace {

// Counts a job on the statement queue for as long as it runs.
class JobDepth {
public:
    explicit JobDepth(int& depth)
        : m_depth(depth)
    {
        ++m_depth;
    }
    ~JobDepth() { --m_depth; }
    JobDepth(const JobDepth&) = delete;
    JobDepth& operator=(const JobDepth&) = delete;

private:
    int& m_depth;
};

}  // namespace

// --- The notice ---------------------------------------------------------------------

std::string FileIndexDatabase::recoveryNoticeText(const std::string& keptAs)
{
    return "The index of scanned items was damaged and could not be used. It was kept as " + keptAs
        + " and a new index was started: the next scan rebuilds it.";
}

std::optional<std::string> FileIndexDatabase::recoveryNotice() const
{
    std::lock_guard lock(m_noticeLock);
    return m_recoveryNotice;
}

void FileIndexDatabase::setRecoveryNoticeObserver(std::function<void()> observer)
{
    std::lock_guard lock(m_noticeLock);
    m_noticeObserver = std::move(observer);
}

void FileIndexDatabase::setRecoveryNotice(std::optional<std::string> notice)
{
    std::function<void()> observer;
    {
        std::lock_guard lock(m_noticeLock);
        if (m_recoveryNotice == notice) {
            return;
        }
        m_recoveryNotice = std::move(notice);
        observer = m_noticeObserver;
    }
    if (observer) {
        observer();
    }
}

void FileIndexDatabase::recordReplacementOnQueue(const std::string& keptAs)
{
    // Kept in the fresh index itself, so that a later open still tells until
    // a scan has rebuilt it. Its scan records are numbered on from those
    // started on the damaged file, so a scan that began there never finishes
    // a record of this file.
    SqliteStatement clear(m_db, "DELETE FROM replaced_index");
    SqliteStatement insert(m_db, "INSERT INTO replaced_index (kept_as, replaced_at) VALUES (?, ?)");
    SqliteStatement number(m_db, "INSERT INTO sqlite_sequence (name, seq) SELECT 'scan_history', ?"
                                 " WHERE NOT EXISTS (SELECT 1 FROM scan_history)");
    SqliteTransaction transaction(m_db);
    bool recorded = clear && insert && number && transaction && clear.step() == SQLITE_DONE;
    if (recorded) {
        insert.bindText(1, keptAs);
        insert.bindDouble(2, secondsSince1970(now()));
        number.bindInt64(1, m_lastScanRecordId);
        recorded = insert.step() == SQLITE_DONE && number.step() == SQLITE_DONE && transaction.commit();
    }
    if (!recorded) {
        TESS_LOG_ERROR("❌ FileIndexDatabase: cannot note in the new index that the damaged one was kept as " + keptAs + ": "
            + errorMessage());
    }
    m_replacementPending = recorded;
    setRecoveryNotice(recoveryNoticeText(keptAs));
}

void FileIndexDatabase::readReplacementOnQueue()
{
    SqliteStatement statement(m_db, "SELECT kept_as FROM replaced_index ORDER BY rowid DESC LIMIT 1");
    if (statement && statement.step() == SQLITE_ROW) {
        m_replacementPending = true;
        setRecoveryNotice(recoveryNoticeText(statement.columnText(0)));
    }
}

bool FileIndexDatabase::clearReplacementOnQueue()
{
    SqliteStatement statement(m_db, "DELETE FROM replaced_index");
    return statement && statement.step() == SQLITE_DONE;
}

// --- Meeting the damage ---------------------------------------------------------------

void FileIndexDatabase::runJob(const std::function<void()>& work)
{
    if (m_jobDepth > 0) {
        work();
        return;
    }
    std::optional<std::string> damage;
    {
        // No full check runs beside a statement; its quiet time starts
        // again when the job ends.
        const FullCheckHold hold(m_fullCheck);
        const JobDepth depth(m_jobDepth);
        const SqliteDamageWatch watch(&m_db);
        work();
        if (watch.seen()) {
            damage = watch.message().empty() ? std::string("database disk image is malformed") : watch.message();
        }
    }
    if (damage) {
        if (m_openLockHeld) {
            m_damageInSetUp = std::move(damage);  // open() replaces the file once it has set it up
        } else {
            replaceDamagedOnQueue("a statement met: " + *damage);
        }
    }
}

void FileIndexDatabase::replaceDamagedOnQueue(const std::string& detail)
{
    if (m_db == nullptr || m_cannotMoveAside) {
        return;
    }
    const JobDepth depth(m_jobDepth);
    if (m_fullCheck) {
        m_fullCheck->stop();  // it would check the file that goes, or a fresh one
    }
    std::unique_lock<std::mutex> opening(openLock(), std::defer_lock);
    if (!m_openLockHeld) {
        opening.lock();
    }
    m_isOpen = false;
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    // Another object open on the same file may have replaced it already:
    // the file in its place is not the damaged one, and is used as it is.
    const bool stillHere = identityOf(m_dbPath) == m_identity;
    std::optional<Result<std::string>> aside;
    if (stillHere) {
        aside = moveDamagedAside(m_dbPath, detail);
    } else {
        TESS_LOG_INFO("FileIndexDatabase: the damaged index at " + m_dbPath + " was already replaced; using the new one");
    }
    // The fresh index, or the damaged file again when it could not be moved:
    // the folder cannot be written then, which the next write tells.
    m_cannotMoveAside = aside && !aside->ok();
    Result<sqlite3*> handle = openConnection(m_dbPath);
    if (!handle.ok()) {
        return;  // logged; every later operation finds no connection
    }
    m_identity = identityOf(m_dbPath);
    ++m_file;
    setUp(handle.value());
    if (m_cannotMoveAside) {
        return;
    }
    ++m_replacements;
    if (aside) {
        recordReplacementOnQueue(aside->value());
    } else {
        readReplacementOnQueue();
    }
}

void FileIndexDatabase::replaceLater(std::uint64_t file, std::string detail)
{
    m_queue.async([weak = weak_from_this(), file, detail = std::move(detail)] {
        if (const auto self = weak.lock()) {
            self->runJob([&] {
                if (self->m_file == file) {
                    self->replaceDamagedOnQueue(detail);
                }
            });
        }
    });
}

// --- The full check -------------------------------------------------------------------

void FileIndexDatabase::startFullCheck(std::chrono::milliseconds quiet)
{
    using Verdict = IndexFileCheck::Integrity::Verdict;
    const std::uint64_t file = m_file;  // before the object is shared
    m_fullCheck = std::make_shared<IdleIntegrityCheck>(m_dbPath, quiet,
        [weak = weak_from_this(), file, path = m_dbPath](const IndexFileCheck::Integrity& integrity) {
            if (integrity.verdict != Verdict::damaged) {
                TESS_LOG_WARN("⚠️ FileIndexDatabase: the full integrity check could not read the index at " + path + ": " + integrity.detail);
            } else if (const auto self = weak.lock()) {
                self->replaceLater(file, "the full integrity check found: " + integrity.detail);
            }
        });
}

FileIndexDatabase::FullCheckHold::FullCheckHold(std::shared_ptr<IdleIntegrityCheck> check)
    : m_check(std::move(check))
{
    if (m_check) {
        m_check->hold();
    }
}

FileIndexDatabase::FullCheckHold::~FullCheckHold()
{
    if (m_check) {
        m_check->release();
    }
}

FileIndexDatabase::FullCheckHold& FileIndexDatabase::FullCheckHold::operator=(FullCheckHold&& other) noexcept
{
    if (this != &other) {
        if (m_check) {
            m_check->release();
        }
        m_check = std::move(other.m_check);
    }
    return *this;
}

FileIndexDatabase::FullCheckHold FileIndexDatabase::holdFullCheck()
{
    return FullCheckHold(m_fullCheck);
}

bool FileIndexDatabase::fullCheckFinished() const
{
    return !m_fullCheck || m_fullCheck->isFinished();
}

}  // namespace tess
