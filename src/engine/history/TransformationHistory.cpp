#include "history/TransformationHistory.h"

#include "core/XdgPaths.h"
#include "history/HistoryFileOps.h"
#include "history/HistoryJournal.h"
#include "history/HistorySeal.h"
#include "history/HistoryTimestamp.h"
#include "history/HistoryTokenCursor.h"
#include "history/HistoryUtf8Stream.h"
#include "history/TransformationHistoryError.h"
#include "log/AppLogger.h"
#include "text/Text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tess {

namespace {

// The same domain the renamer gives errno values.
constexpr const char* kPosixErrorDomain = "posix";
constexpr unsigned kMaxNameAttempts = 10000;

Error posixError(int code)
{
    return Error {kPosixErrorDomain, code, std::strerror(code)};
}

// Path tokens (the scan root and the two paths of every record) hold raw
// file-name bytes; every other token must be UTF-8 text.
bool isPathToken(std::size_t index)
{
    if (index == 3) {
        return true;
    }
    if (index < TransformationHistory::kHeaderTokenCount) {
        return false;
    }
    const std::size_t field = (index - TransformationHistory::kHeaderTokenCount) % TransformationHistory::kTokensPerRecord;
    return field == 0 || field == 1;
}

// What the list needs of one file, gathered while the file streams by: the
// six header tokens, the number of tokens and the records of type F, D or RD.
// Memory stays bounded by the header, whatever the file's size.
class HeaderScanner {
public:
    // False as soon as the file can no longer be a history file.
    bool feed(std::string_view chunk)
    {
        for (char c : chunk) {
            if (c == '\0') {
                if (!finishToken()) {
                    return false;
                }
                continue;
            }
            // Every token but a path must be UTF-8 text, as parse() demands.
            if (!m_currentIsPath && !m_utf8.add(static_cast<unsigned char>(c))) {
                return false;
            }
            if (m_index < TransformationHistory::kHeaderTokenCount) {
                if (m_index == 0 && m_current.size() >= TransformationHistory::kMagic.size()) {
                    return false;
                }
                m_current += c;
            } else if ((field() == 2 || field() == 3) && m_current.size() < 12) {
                m_current += c;
            } else if (field() == 2 || field() == 3) {
                m_current = "long";  // no type or status token is this long
            }
        }
        return true;
    }

    // Ends the last token; false when the file is no history file.
    bool finish() { return finishToken() && m_index >= TransformationHistory::kHeaderTokenCount; }

    std::uint64_t tokenCount() const { return m_index; }
    std::int64_t userFacingCount() const { return m_userFacing; }
    std::int64_t doneCount() const { return m_done; }
    const std::string& header(std::size_t index) const { return m_header[index]; }

private:
    std::size_t field() const
    {
        return (m_index - TransformationHistory::kHeaderTokenCount) % TransformationHistory::kTokensPerRecord;
    }

    void countRecord()
    {
        using Type = HistoryRecordType;
        const bool facing = m_pendingType == Type::file || m_pendingType == Type::directory || m_pendingType == Type::removedDirectory;
        m_userFacing += facing ? 1 : 0;
        m_done += m_pendingType && m_pendingStatus
                && TransformationHistory::countsAsDone(m_operation.value_or(HistoryOperation::rename), *m_pendingType, *m_pendingStatus)
            ? 1
            : 0;
    }

    bool finishToken()
    {
        if (!m_currentIsPath && !m_utf8.end()) {
            return false;
        }
        if (m_index < TransformationHistory::kHeaderTokenCount) {
            m_header[m_index] = std::move(m_current);
            if (m_index == 0 && m_header[0] != TransformationHistory::kMagic) {
                return false;
            }
            if (m_index == 4) {
                m_operation = historyOperationFromRaw(m_header[4]);
            }
        } else if (field() == 2) {
            m_pendingType = historyRecordTypeFromRaw(m_current);
        } else if (field() == 3) {
            m_pendingStatus = historyRecordStatusFromRaw(m_current);
        } else if (field() == 4) {
            countRecord();  // the record is complete
        }
        m_current.clear();
        ++m_index;
        m_currentIsPath = isPathToken(m_index);
        return true;
    }

    std::string m_header[TransformationHistory::kHeaderTokenCount];
    HistoryUtf8Stream m_utf8;
    bool m_currentIsPath = false;
    std::string m_current;
    std::uint64_t m_index = 0;
    std::optional<HistoryOperation> m_operation;
    std::optional<HistoryRecordType> m_pendingType;
    std::optional<HistoryRecordStatus> m_pendingStatus;
    std::int64_t m_userFacing = 0;
    std::int64_t m_done = 0;
};

// Appends `token` with every NUL (impossible in a real path) as U+FFFD.
void appendWithoutNul(std::string& out, std::string_view token)
{
    for (std::size_t nul = token.find('\0'); nul != std::string_view::npos; nul = token.find('\0')) {
        out.append(token.substr(0, nul));
        out += "\xEF\xBF\xBD";
        token.remove_prefix(nul + 1);
    }
    out.append(token);
}

void appendText(std::string& out, std::string_view token)
{
    if (token.empty()) {
        return;
    }
    appendWithoutNul(out, text::toValidUtf8(token));
}

std::size_t pathDepth(std::string_view path)
{
    return static_cast<std::size_t>(std::count(path.begin(), path.end(), '/')) + 1;
}

std::string lastPathComponent(std::string_view path)
{
    std::size_t end = path.size();
    while (end > 0 && path[end - 1] == '/') {
        --end;
    }
    if (end == 0) {
        return path.empty() ? std::string() : std::string("/");
    }
    const std::size_t slash = path.rfind('/', end - 1);
    const std::size_t start = slash == std::string_view::npos ? 0 : slash + 1;
    return std::string(path.substr(start, end - start));
}

std::string fileNameOf(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// The extension after the last "." of a name that does not start with it.
std::string_view extensionOf(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return {};
    }
    return name.substr(dot + 1);
}

std::string withoutExtension(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return std::string(name);
    }
    return std::string(name.substr(0, dot));
}

std::string firstGraphemes(std::string_view s, std::size_t count)
{
    std::string out;
    std::size_t taken = 0;
    text::forEachGrapheme(s, [&](std::string_view cluster) {
        if (taken == count) {
            return false;
        }
        out.append(cluster);
        ++taken;
        return true;
    });
    return out;
}

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t wrote = ::write(fd, data.data(), data.size());
        if (wrote < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(wrote));
    }
    return true;
}

bool isDirectory(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void syncDirectory(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The errors of a file system that does not offer a call at all (as
// opposed to refusing it for this file).
bool unsupported(int error)
{
    return error == EINVAL || error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP;
}

// What a move that must never replace found.
enum class Placed { moved,
    taken,  // the name exists
    noMove,  // the file system offers no move that cannot replace
    failed };

// Moves `from` to `to` unless `to` exists; `error` holds the errno of a failure.
Placed moveExclusively(HistoryFileOps& ops, const std::string& from, const std::string& to, int& error)
{
    error = ops.renameNoReplace(from, to);
    if (error == 0) {
        return Placed::moved;
    }
    if (error == EEXIST) {
        return Placed::taken;
    }
    if (!unsupported(error)) {
        return Placed::failed;
    }
    // No RENAME_NOREPLACE on this file system: link() never replaces either.
    error = ops.link(from, to);
    if (error == 0) {
        ::unlink(from.c_str());
        return Placed::moved;
    }
    if (error == EEXIST) {
        return Placed::taken;
    }
    return unsupported(error) || error == EPERM || error == EMLINK ? Placed::noMove : Placed::failed;
}

// Writes `content` to the new file `path`, created exclusively, so nothing
// is ever replaced; a file that cannot be finished is removed again.
Placed writeExclusively(const std::string& path, const std::string& content, std::uint64_t records, int& error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        error = errno;
        return error == EEXIST ? Placed::taken : Placed::failed;
    }
    HistorySeal::write(fd, content.size(), records);
    const bool written = writeAll(fd, content) && ::fsync(fd) == 0;
    error = written ? 0 : errno;
    if (::close(fd) != 0 && written) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(path.c_str());
        return Placed::failed;
    }
    return Placed::moved;
}

}  // namespace

std::string TransformationHistory::historyDirectory()
{
    return XdgPaths::applicationSupportDirectory() + "/history";
}

std::string TransformationHistory::serialize(const HistoryEntry& entry)
{
    std::string out;
    out.append(kMagic);
    out += '\0';
    out.append(kVersion);
    out += '\0';
    out += HistoryTimestamp::format(entry.timestamp);
    out += '\0';
    appendWithoutNul(out, entry.scanRoot);
    out += '\0';
    out.append(rawValue(entry.operation));
    out += '\0';
    appendText(out, entry.parentHistoryID);
    for (const HistoryRecord& record : entry.records) {
        appendRecord(out, record);
    }
    return out;
}

void TransformationHistory::appendRecord(std::string& out, const HistoryRecord& record)
{
    out += '\0';
    appendWithoutNul(out, record.originalRelativePath);
    out += '\0';
    appendWithoutNul(out, record.finalRelativePath);
    out += '\0';
    out.append(rawValue(record.type));
    out += '\0';
    out.append(rawValue(record.status));
    out += '\0';
    appendText(out, record.error);
}

bool TransformationHistory::countsAsDone(HistoryOperation operation, HistoryRecordType type, HistoryRecordStatus status)
{
    const HistoryRecordType folderStep
        = operation == HistoryOperation::undo ? HistoryRecordType::createdDirectory : HistoryRecordType::removedDirectory;
    const bool item = type == HistoryRecordType::file || type == HistoryRecordType::directory || type == folderStep;
    return item && status == HistoryRecordStatus::ok;
}

std::int64_t TransformationHistory::doneCount(const HistoryEntry& entry)
{
    std::int64_t count = 0;
    for (const HistoryRecord& record : entry.records) {
        count += countsAsDone(entry.operation, record.type, record.status) ? 1 : 0;
    }
    return count;
}

Result<HistoryEntry> TransformationHistory::parse(std::string_view bytes)
{
    // One pass counts the tokens and checks that every text token is UTF-8;
    // nothing is stored but the header.
    std::string_view header[kHeaderTokenCount];
    std::size_t n = 0;
    HistoryTokenCursor cursor(bytes);
    while (const std::optional<std::string_view> token = cursor.next()) {
        if (!isPathToken(n) && !text::isValidUtf8(*token)) {
            return TransformationHistoryError::invalidFormat("not valid UTF-8").toError();
        }
        if (n < kHeaderTokenCount) {
            header[n] = *token;
        }
        ++n;
    }
    if (n < kHeaderTokenCount) {
        return TransformationHistoryError::invalidFormat("too few tokens for header: got " + std::to_string(n) + ", need " + std::to_string(kHeaderTokenCount)).toError();
    }
    if (header[0] != kMagic) {
        return TransformationHistoryError::invalidFormat("missing magic: got '" + std::string(header[0]) + "'").toError();
    }
    if (header[1] != kVersion) {
        return TransformationHistoryError::invalidVersion(std::string(header[1])).toError();
    }
    const std::optional<TimePoint> timestamp = HistoryTimestamp::parse(header[2]);
    if (!timestamp) {
        return TransformationHistoryError::invalidFormat("invalid timestamp: '" + std::string(header[2]) + "'").toError();
    }
    const std::optional<HistoryOperation> operation = historyOperationFromRaw(header[4]);
    if (!operation) {
        return TransformationHistoryError::invalidFormat("invalid operation: '" + std::string(header[4]) + "'").toError();
    }
    const std::size_t remainder = (n - kHeaderTokenCount) % kTokensPerRecord;
    if (remainder != 0) {
        return TransformationHistoryError::invalidTokenCount(static_cast<std::int64_t>(kTokensPerRecord), static_cast<std::int64_t>(remainder)).toError();
    }

    HistoryEntry entry;
    entry.version = std::string(header[1]);
    entry.timestamp = *timestamp;
    entry.scanRoot = std::string(header[3]);
    entry.operation = *operation;
    entry.parentHistoryID = std::string(header[5]);
    HistoryTokenCursor records(bytes);
    for (std::size_t i = 0; i < kHeaderTokenCount; ++i) {
        records.next();
    }
    const std::size_t count = (n - kHeaderTokenCount) / kTokensPerRecord;
    for (std::size_t k = 0; k < count; ++k) {
        std::string_view fields[kTokensPerRecord];
        for (std::string_view& field : fields) {
            field = *records.next();
        }
        const std::optional<HistoryRecordType> type = historyRecordTypeFromRaw(fields[2]);
        if (!type) {
            return TransformationHistoryError::invalidFormat("invalid record type: '" + std::string(fields[2]) + "' at record " + std::to_string(k)).toError();
        }
        const std::optional<HistoryRecordStatus> status = historyRecordStatusFromRaw(fields[3]);
        if (!status) {
            return TransformationHistoryError::invalidFormat("invalid record status: '" + std::string(fields[3]) + "' at record " + std::to_string(k)).toError();
        }
        entry.records.push_back(HistoryRecord {std::string(fields[0]), std::string(fields[1]), *type, *status, std::string(fields[4])});
    }
    return entry;
}

Result<HistoryEntry> TransformationHistory::parseHeader(std::string_view bytes, HistoryTokenCursor& cursor,
    std::size_t& headerEnd)
{
    std::string_view header[kHeaderTokenCount];
    if (cursor.next(header, kHeaderTokenCount) < kHeaderTokenCount) {
        return parse(bytes);  // a header cut short: its error
    }
    const std::string_view last = header[kHeaderTokenCount - 1];
    headerEnd = static_cast<std::size_t>(last.data() - bytes.data()) + last.size();
    return parse(bytes.substr(0, headerEnd));
}

Result<HistoryEntry> TransformationHistory::parseUpToCut(std::string_view bytes, bool& cut)
{
    cut = false;
    HistoryTokenCursor cursor(bytes);
    std::size_t headerEnd = 0;
    Result<HistoryEntry> header = parseHeader(bytes, cursor, headerEnd);
    if (!header) {
        return header;
    }
    HistoryEntry entry = std::move(header).value();
    for (;;) {
        std::string_view fields[kTokensPerRecord];
        const std::size_t got = cursor.next(fields, kTokensPerRecord);
        if (got == 0) {
            return entry;
        }
        const std::optional<HistoryRecordType> type = historyRecordTypeFromRaw(fields[2]);
        const std::optional<HistoryRecordStatus> status = historyRecordStatusFromRaw(fields[3]);
        const bool whole = got == kTokensPerRecord && type && status && text::isValidUtf8(fields[2])
            && text::isValidUtf8(fields[3]) && text::isValidUtf8(fields[4]);
        if (!whole) {
            // Only the last record may be broken by a cut.
            if (cursor.next()) {
                return parse(bytes);
            }
            cut = true;
            return entry;
        }
        entry.records.push_back({std::string(fields[0]), std::string(fields[1]), *type, *status, std::string(fields[4])});
    }
}

std::optional<TransformationHistory::HeaderSummary> TransformationHistory::readHeader(const std::string& path)
{
    // The file streams through a small buffer: a huge or corrupt file costs
    // no more memory than its header.
    // Only a regular file: a pipe or a device could block or never end.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    HeaderScanner scanner;
    char buffer[65536];
    bool readable = true;
    while (true) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            readable = got == 0;
            break;
        }
        if (!scanner.feed(std::string_view(buffer, static_cast<std::size_t>(got)))) {
            readable = false;
            break;
        }
    }
    ::close(fd);
    if (!readable || !scanner.finish()) {
        return std::nullopt;
    }

    const std::optional<TimePoint> timestamp = HistoryTimestamp::parse(scanner.header(2));
    const std::optional<HistoryOperation> operation = historyOperationFromRaw(scanner.header(4));
    if (!timestamp || !operation) {
        return std::nullopt;
    }

    HeaderSummary summary;
    summary.recordCount = static_cast<std::int64_t>((scanner.tokenCount() - kHeaderTokenCount) / kTokensPerRecord);
    summary.userFacingCount = scanner.userFacingCount();
    summary.doneCount = scanner.doneCount();
    const bool endsInsideARecord = (scanner.tokenCount() - kHeaderTokenCount) % kTokensPerRecord != 0;
    summary.incomplete = endsInsideARecord
        || HistorySeal::check(path, static_cast<std::uint64_t>(status.st_size), static_cast<std::uint64_t>(summary.recordCount))
            == HistorySeal::State::broken;
    summary.id = withoutExtension(fileNameOf(path));
    summary.url = path;
    summary.timestamp = *timestamp;
    summary.scanRoot = scanner.header(3);
    summary.operation = *operation;
    return summary;
}

std::vector<TransformationHistory::HeaderSummary> TransformationHistory::listHistories(const std::optional<std::string>& folder)
{
    const std::string directory = folder ? *folder : historyDirectory();
    std::vector<std::string> names;
    DIR* dir = ::opendir(directory.c_str());
    if (!dir) {
        return {};
    }
    while (const dirent* item = ::readdir(dir)) {
        const std::string_view name = item->d_name;
        if (name.empty() || name.front() == '.') {
            continue;
        }
        if (extensionOf(name) == kExtension || extensionOf(name) == HistoryJournal::kExtension) {
            names.emplace_back(name);
        }
    }
    ::closedir(dir);
    // A fixed listing order, so entries with equal timestamps stay put.
    std::sort(names.begin(), names.end());

    std::vector<HeaderSummary> summaries;
    for (const std::string& name : names) {
        const std::string path = directory + "/" + name;
        std::optional<HeaderSummary> summary
            = extensionOf(name) == kExtension ? readHeader(path) : HistoryJournal::readSummary(path);
        if (summary) {
            summaries.push_back(std::move(*summary));
        }
    }
    std::stable_sort(summaries.begin(), summaries.end(), [](const HeaderSummary& a, const HeaderSummary& b) {
        return a.timestamp > b.timestamp;
    });
    return summaries;
}

Status TransformationHistory::deleteHistory(const std::string& path)
{
    if (::unlink(path.c_str()) != 0) {
        return posixError(errno);
    }
    TESS_LOG_INFO("History deleted: " + fileNameOf(path));
    return {};
}

int TransformationHistory::makeHistoryDirectory(const std::string& folder)
{
    if (isDirectory(folder)) {
        return 0;
    }
    if (folder.empty()) {
        return ENOENT;
    }
    // Create every missing folder from the top down.
    std::size_t pos = folder.front() == '/' ? 1 : 0;
    while (true) {
        const std::size_t slash = folder.find('/', pos);
        const std::string prefix = folder.substr(0, slash);
        if (!prefix.empty() && prefix.back() != '/' && ::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
            return errno;
        }
        if (slash == std::string::npos) {
            break;
        }
        pos = slash + 1;
    }
    if (isDirectory(folder)) {
        return 0;
    }
    // Something that is not a folder stands in the way.
    struct stat st;
    return ::stat(folder.c_str(), &st) == 0 ? ENOTDIR : errno;
}

Status TransformationHistory::ensureHistoryDirectory(const std::string& folder)
{
    if (makeHistoryDirectory(folder) != 0) {
        return TransformationHistoryError::directoryCreationFailed(folder).toError();
    }
    return {};
}

Result<std::string> TransformationHistory::save(const HistoryEntry& entry, const std::optional<std::string>& folder,
    HistoryFileOps& ops)
{
    const std::string directory = folder ? *folder : historyDirectory();
    if (Status ensured = ensureHistoryDirectory(directory); !ensured) {
        return ensured.error();
    }

    std::string tempPath = directory + "/.tshistory-XXXXXX";
    const int fd = ::mkostemp(tempPath.data(), O_CLOEXEC);
    if (fd < 0) {
        return posixError(errno);
    }
    const std::string content = serialize(entry);
    HistorySeal::write(fd, content.size(), entry.records.size());
    if (!writeAll(fd, content) || ::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        ::unlink(tempPath.c_str());
        return posixError(error);
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(tempPath.c_str());
        return posixError(error);
    }

    // Where no move can refuse to replace, the file is written in place
    // under a name created exclusively.
    bool inPlace = false;
    for (unsigned sequence = 1; sequence <= kMaxNameAttempts; ++sequence) {
        const std::string name = makeFileName(entry.timestamp, entry.scanRoot, sequence);
        const std::string path = directory + "/" + name;
        int error = 0;
        Placed placed = inPlace ? writeExclusively(path, content, entry.records.size(), error)
                                : moveExclusively(ops, tempPath, path, error);
        if (placed == Placed::noMove) {
            inPlace = true;
            placed = writeExclusively(path, content, entry.records.size(), error);
        }
        if (placed == Placed::taken) {
            continue;
        }
        if (inPlace || placed == Placed::failed) {
            ::unlink(tempPath.c_str());
        }
        if (placed == Placed::failed) {
            return posixError(error);
        }
        syncDirectory(directory);
        TESS_LOG_INFO("History saved: " + name + " (" + std::to_string(entry.records.size()) + " records)");
        return path;
    }
    ::unlink(tempPath.c_str());
    return posixError(EEXIST);
}

std::string TransformationHistory::makeFileName(TimePoint timestamp, std::string_view scanRoot)
{
    return makeFileName(timestamp, scanRoot, 1);
}

std::string TransformationHistory::makeFileName(TimePoint timestamp, std::string_view scanRoot, unsigned sequence)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(timestamp));
    ::tzset();
    std::tm local {};
    ::localtime_r(&seconds, &local);
    char date[64];
    if (std::strftime(date, sizeof date, "%Y-%m-%d_%H%M%S", &local) == 0) {
        date[0] = '\0';
    }

    std::string component = text::toValidUtf8(lastPathComponent(scanRoot));
    std::replace(component.begin(), component.end(), '/', '_');
    std::replace(component.begin(), component.end(), ' ', '_');
    std::replace(component.begin(), component.end(), ':', '_');
    if (text::graphemeCount(component) >= 51) {
        component = firstGraphemes(component, 50);
    }

    const std::string suffix = sequence > 1 ? "-" + std::to_string(sequence) : std::string();
    const std::size_t fixedBytes = std::strlen(date) + 1 + suffix.size() + 1 + kExtension.size();
    const std::size_t budget = kMaxFileNameBytes > fixedBytes ? kMaxFileNameBytes - fixedBytes : 0;
    if (component.size() > budget) {
        component = text::truncateToBytes(component, budget);
    }

    return std::string(date) + "_" + component + suffix + "." + std::string(kExtension);
}

HistoryEntry TransformationHistory::undoPlan(const HistoryEntry& entry)
{
    std::vector<HistoryRecord> removed, directories, files, created;
    for (const HistoryRecord& record : entry.records) {
        if (record.status != HistoryRecordStatus::ok) {
            continue;
        }
        switch (record.type) {
        case HistoryRecordType::removedDirectory:
            removed.push_back({record.originalRelativePath, {}, HistoryRecordType::removedDirectory, HistoryRecordStatus::ok, {}});
            break;
        case HistoryRecordType::directory:
            directories.push_back({record.finalRelativePath, record.originalRelativePath, HistoryRecordType::directory, HistoryRecordStatus::ok, {}});
            break;
        case HistoryRecordType::file:
            files.push_back({record.finalRelativePath, record.originalRelativePath, HistoryRecordType::file, HistoryRecordStatus::ok, {}});
            break;
        case HistoryRecordType::createdDirectory:
            created.push_back({record.originalRelativePath, {}, HistoryRecordType::createdDirectory, HistoryRecordStatus::ok, {}});
            break;
        case HistoryRecordType::storedMetadata:
            break;
        }
    }
    // In the plan, originalRelativePath is where each item is now.
    const auto shallowFirst = [](const HistoryRecord& a, const HistoryRecord& b) {
        return pathDepth(a.originalRelativePath) < pathDepth(b.originalRelativePath);
    };
    const auto deepFirst = [](const HistoryRecord& a, const HistoryRecord& b) {
        return pathDepth(a.originalRelativePath) > pathDepth(b.originalRelativePath);
    };
    std::stable_sort(removed.begin(), removed.end(), shallowFirst);
    std::stable_sort(directories.begin(), directories.end(), shallowFirst);
    std::stable_sort(created.begin(), created.end(), deepFirst);

    HistoryEntry plan;
    plan.version = std::string(kVersion);
    plan.timestamp = std::chrono::system_clock::now();
    plan.scanRoot = entry.scanRoot;
    plan.operation = HistoryOperation::undo;
    plan.parentHistoryID = makeFileName(entry.timestamp, entry.scanRoot);
    for (auto* group : {&removed, &directories, &files, &created}) {
        plan.records.insert(plan.records.end(), group->begin(), group->end());
    }
    return plan;
}

}  // namespace tess
