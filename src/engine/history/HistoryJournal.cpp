#include "history/HistoryJournal.h"

#include "core/AtomicFile.h"
#include "history/HistoryFile.h"
#include "history/HistoryTokenCursor.h"
#include "rename/RenameChecks.h"
#include "rename/RenamePaths.h"
#include "text/Text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace tess {

namespace {

constexpr unsigned kMaxNameAttempts = 10000;

Error journalError(int code, const std::string& what)
{
    return Error {kAppErrorDomain, code, what + ": " + std::strerror(code)};
}

// A record that could not be written: the reason alone, which the renamer
// puts into its own sentence.
Error writeError(int code)
{
    return Error {kAppErrorDomain, code, std::strerror(code)};
}

// What a withdrawal written by the first reader says.
constexpr const char* kNotTaken = "Not done: the batch stopped before this step";

bool isSettledMark(const HistoryRecord& record)
{
    return record.type == HistoryRecordType::storedMetadata && record.originalRelativePath.empty()
        && record.finalRelativePath.empty();
}

HistoryRecord settledMark()
{
    return {{}, {}, HistoryRecordType::storedMetadata, HistoryRecordStatus::ok, {}};
}

// The lock is advisory and only tells the list that a batch still runs; a
// file system without locks must not keep a batch from starting.
bool locksUnsupported(int error)
{
    return error == ENOLCK || error == EINVAL || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS;
}

HistoryRecordType typeOf(BatchRecorder::Step step)
{
    switch (step) {
    case BatchRecorder::Step::moveFile:
        return HistoryRecordType::file;
    case BatchRecorder::Step::moveFolder:
        return HistoryRecordType::directory;
    case BatchRecorder::Step::createFolder:
        return HistoryRecordType::createdDirectory;
    case BatchRecorder::Step::removeFolder:
    case BatchRecorder::Step::mergeRemoveFolder:
        return HistoryRecordType::removedDirectory;
    case BatchRecorder::Step::mergeMove:
        return HistoryRecordType::storedMetadata;
    }
    return HistoryRecordType::file;
}

// The journal's name: the history file's name with the journal extension.
std::string journalName(const HistoryEntry& header, unsigned sequence)
{
    std::string name = TransformationHistory::makeFileName(header.timestamp, header.scanRoot);
    name.resize(name.size() - TransformationHistory::kExtension.size() - 1);
    if (sequence > 1) {
        name += "-" + std::to_string(sequence);
    }
    return name + "." + std::string(HistoryJournal::kExtension);
}

// Drops each ok record that a later fail record of the same step withdrew.
std::vector<HistoryRecord> reconciled(std::vector<HistoryRecord> records)
{
    using Key = std::tuple<HistoryRecordType, std::string_view, std::string_view>;
    std::map<Key, std::vector<std::size_t>> announced;
    std::vector<bool> withdrawn(records.size(), false);
    for (std::size_t i = 0; i < records.size(); ++i) {
        const HistoryRecord& record = records[i];
        const Key key {record.type, record.originalRelativePath, record.finalRelativePath};
        if (record.status == HistoryRecordStatus::ok) {
            announced[key].push_back(i);
            continue;
        }
        const auto found = announced.find(key);
        if (record.status == HistoryRecordStatus::fail && found != announced.end() && !found->second.empty()) {
            withdrawn[found->second.back()] = true;
            found->second.pop_back();
        }
    }
    std::vector<HistoryRecord> out;
    out.reserve(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (!withdrawn[i]) {
            out.push_back(std::move(records[i]));
        }
    }
    return out;
}

// The header and every whole record, as written: nothing cancelled. `end`
// receives the size of the bytes those records take.
Result<HistoryEntry> parseRecords(std::string_view bytes, std::size_t* end = nullptr)
{
    HistoryTokenCursor cursor(bytes);
    std::size_t wholeEnd = 0;
    Result<HistoryEntry> parsed = TransformationHistory::parseHeader(bytes, cursor, wholeEnd);
    if (!parsed) {
        return parsed;
    }
    HistoryEntry entry = std::move(parsed).value();
    for (;;) {
        std::string_view fields[TransformationHistory::kTokensPerRecord];
        const std::size_t got = cursor.next(fields, TransformationHistory::kTokensPerRecord);
        const auto type = historyRecordTypeFromRaw(fields[2]);
        const auto status = historyRecordStatusFromRaw(fields[3]);
        if (got < TransformationHistory::kTokensPerRecord || !type || !status) {
            break;  // the cut (or damaged) tail
        }
        entry.records.push_back({std::string(fields[0]), std::string(fields[1]), *type, *status,
            text::toValidUtf8(fields[4])});
        wholeEnd = static_cast<std::size_t>(fields[4].data() - bytes.data()) + fields[4].size();
    }
    if (end != nullptr) {
        *end = wholeEnd;
    }
    return entry;
}

// Positions of the ok records whose step may never have been taken. Steps
// run one after the other and a failed one is withdrawn before the next is
// announced, so every record followed by another was taken or withdrawn;
// left open are the last record, or the folders made at the end as one chain
// (the daemon makes a chain at once, withdrawing afterwards the folders
// still missing). A settled mark at the end leaves nothing open.
std::vector<std::size_t> openSteps(const std::vector<HistoryRecord>& records)
{
    std::vector<std::size_t> open;
    if (records.empty() || isSettledMark(records.back())) {
        return open;
    }
    std::size_t i = records.size();
    while (i > 0) {
        const HistoryRecord& record = records[i - 1];
        if (record.status == HistoryRecordStatus::fail) {
            --i;
            continue;
        }
        if (record.type == HistoryRecordType::createdDirectory && record.status == HistoryRecordStatus::ok) {
            open.push_back(i - 1);
            --i;
            continue;
        }
        break;
    }
    if (i == records.size() && records.back().status == HistoryRecordStatus::ok) {
        open.push_back(records.size() - 1);
    }
    return open;
}

// Whether the disk shows the step of `record` as taken.
bool stepTaken(const HistoryRecord& record, const std::string& root, FileSystemOps& fs)
{
    const std::string from = RenamePaths::join(root, record.originalRelativePath);
    if (!RenamePaths::isValidRelative(record.originalRelativePath)) {
        return false;
    }
    switch (record.type) {
    case HistoryRecordType::createdDirectory:
        return RenameChecks::isRealDirectory(fs, from);
    case HistoryRecordType::removedDirectory: {
        struct stat st;
        return fs.lstat(from, st) == ENOENT;
    }
    case HistoryRecordType::storedMetadata:
    case HistoryRecordType::file:
    case HistoryRecordType::directory:
        return RenamePaths::isValidRelative(record.finalRelativePath)
            && RenameChecks::moveHappened(fs, from, RenamePaths::join(root, record.finalRelativePath));
    }
    return false;
}

// What the first reader appends: a withdrawal of every open step the disk
// does not show, then the settled mark. Empty when the journal is settled.
std::string settlement(const HistoryEntry& raw, FileSystemOps& fs)
{
    const std::vector<std::size_t> open = openSteps(raw.records);
    if (open.empty() && (raw.records.empty() || isSettledMark(raw.records.back()))) {
        return {};
    }
    std::string out;
    for (auto it = open.rbegin(); it != open.rend(); ++it) {
        HistoryRecord record = raw.records[*it];
        if (!stepTaken(record, raw.scanRoot, fs)) {
            record.status = HistoryRecordStatus::fail;
            record.error = kNotTaken;
            TransformationHistory::appendRecord(out, record);
        }
    }
    TransformationHistory::appendRecord(out, settledMark());
    return out;
}

}  // namespace

HistoryJournal::HistoryJournal(int fd, std::string path, std::uint64_t size)
    : m_fd(fd)
    , m_path(std::move(path))
    , m_size(size)
    , m_lastSync(std::chrono::steady_clock::now())  // begin() synced the header
{
}

HistoryJournal::~HistoryJournal()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

Result<std::unique_ptr<HistoryJournal>> HistoryJournal::begin(const HistoryEntry& header,
    const std::optional<std::string>& folder)
{
    const std::string directory = folder ? *folder : TransformationHistory::historyDirectory();
    const std::string notCreated = "The batch's history could not be created in " + directory;
    if (const int error = TransformationHistory::makeHistoryDirectory(directory); error != 0) {
        return journalError(error, notCreated);
    }
    HistoryEntry headerOnly = header;
    headerOnly.records.clear();
    const std::string content = TransformationHistory::serialize(headerOnly);
    for (unsigned sequence = 1; sequence <= kMaxNameAttempts; ++sequence) {
        const std::string path = directory + "/" + journalName(header, sequence);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0 && errno == EEXIST) {
            continue;
        }
        if (fd < 0) {
            return journalError(errno, notCreated);
        }
        const bool locked = ::flock(fd, LOCK_EX) == 0 || locksUnsupported(errno);
        if (!locked || !AtomicFile::writeAll(fd, content) || ::fsync(fd) != 0) {
            const int error = errno != 0 ? errno : EIO;
            ::close(fd);
            ::unlink(path.c_str());
            return journalError(error, notCreated);
        }
        AtomicFile::syncFolder(directory);
        return std::unique_ptr<HistoryJournal>(new HistoryJournal(fd, path, content.size()));
    }
    return journalError(EEXIST, notCreated);
}

Status HistoryJournal::write(const HistoryRecord& record)
{
    if (m_fd < 0) {
        return writeError(EBADF);
    }
    m_buffer.clear();
    TransformationHistory::appendRecord(m_buffer, record);
    if (Status written = AtomicFile::writeAll(m_fd, m_buffer); !written) {
        // A record cut by a full disk must not look like one.
        const int error = errno != 0 ? errno : EIO;
        if (::ftruncate(m_fd, static_cast<off_t>(m_size)) != 0) {
            // The reader drops a cut record anyway.
        }
        return writeError(error);
    }
    m_size += m_buffer.size();
    if (++m_unsynced >= kSyncEvery) {
        sync(false);
    }
    return {};
}

Status HistoryJournal::willDo(Step step, const std::string& from, const std::string& to)
{
    return write({from, to, typeOf(step), HistoryRecordStatus::ok, {}});
}

Status HistoryJournal::didFail(Step step, const std::string& from, const std::string& to, const std::string& error)
{
    return write({from, to, typeOf(step), HistoryRecordStatus::fail, error});
}

void HistoryJournal::checkpoint()
{
    sync(false);
}

void HistoryJournal::sync(bool force)
{
    const auto now = std::chrono::steady_clock::now();
    if (m_fd < 0 || m_unsynced == 0 || (!force && now - m_lastSync < kSyncInterval)) {
        return;
    }
    ::fdatasync(m_fd);
    m_unsynced = 0;
    m_lastSync = std::chrono::steady_clock::now();
}

Status HistoryJournal::append(const HistoryRecord& record)
{
    return write(record);
}

Status HistoryJournal::markComplete()
{
    if (Status written = write(settledMark()); !written) {
        return written;
    }
    sync(true);
    return {};
}

Status HistoryJournal::finish()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (::unlink(m_path.c_str()) != 0 && errno != ENOENT) {
        return journalError(errno, "The batch's journal could not be removed");
    }
    AtomicFile::syncFolder(AtomicFile::folderOf(m_path));
    return {};
}

Result<HistoryEntry> HistoryJournal::parseJournal(std::string_view bytes)
{
    Result<HistoryEntry> entry = parseRecords(bytes);
    if (!entry) {
        return entry;
    }
    std::vector<HistoryRecord>& records = entry.value().records;
    records.erase(std::remove_if(records.begin(), records.end(), isSettledMark), records.end());
    records = reconciled(std::move(records));
    return entry;
}

Result<std::string> HistoryJournal::readSettled(const std::string& path, FileSystemOps& fs)
{
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    const bool writable = fd >= 0;
    if (fd < 0) {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    }
    if (fd < 0) {
        return Error {kAppErrorDomain, errno, std::strerror(errno)};
    }
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return Error {kAppErrorDomain, EINVAL, std::strerror(EINVAL)};
    }
    const int lockError = ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
    const bool locked = lockError == 0 || locksUnsupported(lockError);
    Result<std::string> bytes = HistoryFile::readAll(fd, static_cast<std::size_t>(status.st_size));
    if (lockError == EWOULDBLOCK) {
        // Its batch still runs: what it announced may be under way.
        ::close(fd);
        return bytes;
    }
    std::size_t end = 0;
    Result<HistoryEntry> raw = bytes ? parseRecords(*bytes, &end) : Result<HistoryEntry>(bytes.error());
    if (raw) {
        const std::string appendix = settlement(*raw, fs);
        // Written only right after a whole record: a cut tail (a full disk,
        // a power loss) would take the settlement into its broken record.
        if (!appendix.empty() && end == bytes->size() && locked && writable
            && ::lseek(fd, 0, SEEK_END) == static_cast<off_t>(end) && AtomicFile::writeAll(fd, appendix)) {
            ::fdatasync(fd);
        }
        bytes->resize(end);
        bytes.value() += appendix;
    }
    ::close(fd);
    return bytes;
}

bool HistoryJournal::isLive(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    const bool live = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return live;
}

std::optional<TransformationHistory::HeaderSummary> HistoryJournal::readSummary(const std::string& path)
{
    if (isLive(path)) {
        return std::nullopt;
    }
    Result<HistoryFile::Loaded> loaded = HistoryFile::load(path);
    if (!loaded) {
        return std::nullopt;
    }
    const HistoryEntry& entry = loaded->entry;
    TransformationHistory::HeaderSummary summary;
    // The whole file name: never the id of the batch's history file, which
    // may exist beside it when only the journal's removal failed.
    const std::size_t slash = path.rfind('/');
    summary.id = path.substr(slash == std::string::npos ? 0 : slash + 1);
    summary.url = path;
    summary.timestamp = entry.timestamp;
    summary.scanRoot = entry.scanRoot;
    summary.operation = entry.operation;
    summary.recordCount = static_cast<std::int64_t>(entry.records.size());
    for (const HistoryRecord& record : entry.records) {
        const bool facing = record.type == HistoryRecordType::file || record.type == HistoryRecordType::directory
            || record.type == HistoryRecordType::removedDirectory;
        summary.userFacingCount += facing ? 1 : 0;
    }
    summary.doneCount = TransformationHistory::doneCount(entry);
    summary.interrupted = true;
    return summary;
}

}  // namespace tess
