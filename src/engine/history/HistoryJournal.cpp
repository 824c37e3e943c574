#include "history/HistoryJournal.h"

#include "core/AtomicFile.h"
#include "history/HistoryFile.h"
#include "history/HistoryTokenCursor.h"
#include "text/Text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
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
        return HistoryRecordType::removedDirectory;
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

}  // namespace

HistoryJournal::HistoryJournal(int fd, std::string path, std::uint64_t size)
    : m_fd(fd)
    , m_path(std::move(path))
    , m_size(size)
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
    if (Status ensured = TransformationHistory::ensureHistoryDirectory(directory); !ensured) {
        return Error {kAppErrorDomain, ENOENT, notCreated};
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
        if (::flock(fd, LOCK_EX) != 0 || !AtomicFile::writeAll(fd, content) || ::fsync(fd) != 0) {
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
        return journalError(EBADF, "The batch's history is closed");
    }
    m_buffer.clear();
    TransformationHistory::appendRecord(m_buffer, record);
    if (Status written = AtomicFile::writeAll(m_fd, m_buffer); !written) {
        // A record cut by a full disk must not look like one.
        const int error = errno != 0 ? errno : EIO;
        if (::ftruncate(m_fd, static_cast<off_t>(m_size)) != 0) {
            // The reader drops a cut record anyway.
        }
        return journalError(error, "The batch's history could not be written");
    }
    m_size += m_buffer.size();
    if (++m_unsynced >= kSyncEvery) {
        checkpoint();
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
    if (m_fd >= 0 && m_unsynced > 0) {
        ::fdatasync(m_fd);
        m_unsynced = 0;
    }
}

Status HistoryJournal::append(const HistoryRecord& record)
{
    return write(record);
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
    HistoryTokenCursor cursor(bytes);
    std::size_t headerEnd = 0;
    for (std::size_t i = 0; i < TransformationHistory::kHeaderTokenCount; ++i) {
        const std::optional<std::string_view> token = cursor.next();
        if (!token) {
            return TransformationHistory::parse(bytes);  // too few tokens: its error
        }
        headerEnd = static_cast<std::size_t>(token->data() - bytes.data()) + token->size();
    }
    Result<HistoryEntry> parsed = TransformationHistory::parse(bytes.substr(0, headerEnd));
    if (!parsed) {
        return parsed;
    }
    HistoryEntry entry = std::move(parsed).value();
    for (;;) {
        std::string_view fields[TransformationHistory::kTokensPerRecord];
        std::size_t got = 0;
        for (; got < TransformationHistory::kTokensPerRecord; ++got) {
            const std::optional<std::string_view> token = cursor.next();
            if (!token) {
                break;
            }
            fields[got] = *token;
        }
        const auto type = historyRecordTypeFromRaw(fields[2]);
        const auto status = historyRecordStatusFromRaw(fields[3]);
        if (got < TransformationHistory::kTokensPerRecord || !type || !status) {
            break;  // the cut (or damaged) tail
        }
        entry.records.push_back({std::string(fields[0]), std::string(fields[1]), *type, *status,
            text::toValidUtf8(fields[4])});
    }
    entry.records = reconciled(std::move(entry.records));
    return entry;
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
