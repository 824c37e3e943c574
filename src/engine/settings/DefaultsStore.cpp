#include "settings/DefaultsStore.h"

#include "core/AtomicFile.h"
#include "core/XdgPaths.h"
#include "log/AppLogger.h"
#include "plist/PlistXml.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>

namespace tess {

namespace {

constexpr std::size_t kMaxFileSize = 64 * 1024 * 1024;
constexpr int kMaxCopyAttempts = 1000;

Error storeError(std::string message)
{
    return Error {kAppErrorDomain, -1, std::move(message)};
}

Error systemError(const std::string& what, const std::string& path, int error)
{
    return storeError(what + " " + path + ": " + std::strerror(error));
}

std::string nameOf(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// mkdir -p
Status makeFolders(const std::string& path)
{
    std::string partial;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        std::size_t end = slash == std::string::npos ? path.size() : slash;
        partial = path.substr(0, end);
        if (!partial.empty() && mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            return systemError("Cannot create folder", partial, errno);
        }
        if (slash == std::string::npos) {
            break;
        }
        start = slash + 1;
    }
    struct stat info { };
    if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return storeError("Cannot create folder " + path + ": not a folder");
    }
    return {};
}

// Creates the folder when it is missing, then replaces the file atomically.
Status writeAtomically(const std::string& path, std::string_view bytes)
{
    if (Status made = makeFolders(AtomicFile::folderOf(path)); !made) {
        return made;
    }
    return AtomicFile::write(path, bytes);
}

std::string compactUtcStamp(std::chrono::system_clock::time_point time)
{
    std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(time));
    std::tm tm {};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &tm);
    return text;
}

}  // namespace

struct DefaultsStore::Snapshot {
    enum class Kind {
        missing,  // no file
        readable,  // a property-list dictionary
        unreadable,  // a file whose bytes are no property-list dictionary
        notAFile,  // a folder or another kind of item in the file's place
        failed,  // could not be looked at or read
    };
    Kind kind = Kind::missing;
    std::string target;  // the path to read and replace
    PlistValue::Dictionary dictionary;
    std::string raw;
    Error error;
};

DefaultsStore::DefaultsStore(std::string filePath, Clock clock)
    : m_path(std::move(filePath))
    , m_clock(std::move(clock))
{
    if (!m_clock) {
        m_clock = [] { return std::chrono::system_clock::now(); };
    }
}

std::mutex& DefaultsStore::fileMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::string DefaultsStore::standardFilePath()
{
    return XdgPaths::defaultsFilePath();
}

DefaultsStore::Snapshot DefaultsStore::readSnapshot() const
{
    Snapshot snapshot;
    snapshot.target = AtomicFile::followLink(m_path);
    const std::string& path = snapshot.target;

    struct stat info { };
    if (stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) {
            snapshot.kind = Snapshot::Kind::missing;
        } else {
            snapshot.kind = Snapshot::Kind::failed;
            snapshot.error = systemError("Cannot read", path, errno);
        }
        return snapshot;
    }
    if (!S_ISREG(info.st_mode)) {
        snapshot.kind = Snapshot::Kind::notAFile;
        snapshot.error = storeError("Cannot read " + path + (S_ISDIR(info.st_mode) ? ": it is a folder" : ": it is not a file"));
        return snapshot;
    }
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        snapshot.kind = Snapshot::Kind::failed;
        snapshot.error = systemError("Cannot read", path, errno);
        return snapshot;
    }
    char buffer[65536];
    for (;;) {
        ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            snapshot.kind = Snapshot::Kind::failed;
            snapshot.error = systemError("Cannot read", path, errno);
            close(fd);
            return snapshot;
        }
        if (count == 0) {
            break;
        }
        snapshot.raw.append(buffer, static_cast<std::size_t>(count));
        if (snapshot.raw.size() > kMaxFileSize) {
            snapshot.kind = Snapshot::Kind::failed;
            snapshot.error = storeError("Cannot read " + path + ": the file is too large");
            close(fd);
            return snapshot;
        }
    }
    close(fd);

    Result<PlistValue> parsed = parsePlistXml(snapshot.raw);
    if (!parsed.ok()) {
        snapshot.kind = Snapshot::Kind::unreadable;
        snapshot.error = storeError("Cannot read " + path + ": " + parsed.error().message);
        return snapshot;
    }
    PlistValue::Dictionary* dictionary = parsed->asDictionary();
    if (!dictionary) {
        snapshot.kind = Snapshot::Kind::unreadable;
        snapshot.error = storeError("Cannot read " + path + ": the property list holds no dictionary");
        return snapshot;
    }
    snapshot.kind = Snapshot::Kind::readable;
    snapshot.dictionary = std::move(*dictionary);
    return snapshot;
}

Result<std::optional<PlistValue>> DefaultsStore::object(const std::string& key) const
{
    std::lock_guard lock(fileMutex());
    Snapshot snapshot = readSnapshot();
    switch (snapshot.kind) {
    case Snapshot::Kind::missing:
        return std::optional<PlistValue>();
    case Snapshot::Kind::readable: {
        auto found = snapshot.dictionary.find(key);
        if (found == snapshot.dictionary.end()) {
            return std::optional<PlistValue>();
        }
        return std::optional<PlistValue>(std::move(found->second));
    }
    case Snapshot::Kind::unreadable:
    case Snapshot::Kind::notAFile:
    case Snapshot::Kind::failed:
        break;
    }
    return snapshot.error;
}

void DefaultsStore::keepCopyBeforeNextWrite()
{
    std::lock_guard lock(fileMutex());
    m_copyBeforeNextWrite = true;
}

std::optional<std::string> DefaultsStore::lastKeptCopy() const
{
    std::lock_guard lock(fileMutex());
    return m_lastKeptCopy;
}

std::string DefaultsStore::freeCopyName(int attempt) const
{
    std::string target = AtomicFile::followLink(m_path);
    std::string stem = nameOf(target);
    constexpr std::string_view kExtension = ".plist";
    if (stem.size() > kExtension.size() && stem.ends_with(kExtension)) {
        stem.resize(stem.size() - kExtension.size());
    }
    std::string name = stem + ".unreadable-" + compactUtcStamp(m_clock());
    if (attempt > 1) {
        name += "-" + std::to_string(attempt);
    }
    return AtomicFile::folderOf(target) + "/" + name + ".plist";
}

Result<std::string> DefaultsStore::keepCopy(const Snapshot& snapshot)
{
    for (int attempt = 1; attempt <= kMaxCopyAttempts; ++attempt) {
        std::string copy = freeCopyName(attempt);
        if (snapshot.kind == Snapshot::Kind::notAFile) {
            // Whatever stands in the file's place is moved aside whole.
            if (renameat2(AT_FDCWD, snapshot.target.c_str(), AT_FDCWD, copy.c_str(), RENAME_NOREPLACE) == 0) {
                return copy;
            }
            if (errno == EINVAL || errno == ENOSYS) {
                struct stat info { };
                if (lstat(copy.c_str(), &info) == 0) {
                    continue;
                }
                if (rename(snapshot.target.c_str(), copy.c_str()) == 0) {
                    return copy;
                }
            }
            if (errno == EEXIST) {
                continue;
            }
            return systemError("Cannot move the unreadable defaults aside to", copy, errno);
        }
        int fd = open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return systemError("Cannot keep a copy of the defaults as", copy, errno);
        }
        Status written = AtomicFile::writeAll(fd, snapshot.raw);
        if (written && fsync(fd) != 0) {
            written = Error {kAppErrorDomain, -1, std::strerror(errno)};
        }
        close(fd);
        if (!written) {
            unlink(copy.c_str());
            return storeError("Cannot keep a copy of the defaults as " + copy + ": " + written.error().message);
        }
        AtomicFile::syncFolder(AtomicFile::folderOf(copy));
        return copy;
    }
    return storeError("Cannot keep a copy of the defaults: no free name beside " + snapshot.target);
}

Status DefaultsStore::setObject(const std::string& key, PlistValue value)
{
    std::lock_guard lock(fileMutex());
    Snapshot snapshot = readSnapshot();

    bool copyNeeded = false;
    switch (snapshot.kind) {
    case Snapshot::Kind::failed:
        // What is there cannot be read, so it could not be kept: leave it.
        return snapshot.error;
    case Snapshot::Kind::notAFile:
        copyNeeded = true;
        break;
    case Snapshot::Kind::unreadable:
        copyNeeded = !snapshot.raw.empty();
        break;
    case Snapshot::Kind::readable:
        copyNeeded = m_copyBeforeNextWrite;
        break;
    case Snapshot::Kind::missing:
        break;
    }
    if (copyNeeded) {
        Result<std::string> copy = keepCopy(snapshot);
        if (!copy.ok()) {
            return copy.error();
        }
        TESS_LOG_WARN("⚠️ DefaultsStore: kept the previous defaults as " + *copy);
        m_lastKeptCopy = *copy;
    }
    m_copyBeforeNextWrite = false;

    PlistValue::Dictionary dictionary;
    if (snapshot.kind == Snapshot::Kind::readable) {
        dictionary = std::move(snapshot.dictionary);
    }
    dictionary.insert_or_assign(key, std::move(value));
    return writeAtomically(snapshot.target, toPlistXml(PlistValue(std::move(dictionary))));
}

}  // namespace tess
