#include "history/HistoryFile.h"

#include "history/HistoryJournal.h"
#include "history/HistorySeal.h"
#include "history/TransformationHistory.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tess {

namespace {

Result<std::string> readWholeFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return Error {kAppErrorDomain, errno, std::strerror(errno)};
    }
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return Error {kAppErrorDomain, EINVAL, std::strerror(EINVAL)};
    }
    Result<std::string> bytes = HistoryFile::readAll(fd, static_cast<std::size_t>(status.st_size));
    ::close(fd);
    return bytes;
}

bool isJournal(const std::string& path)
{
    const std::string suffix = "." + std::string(HistoryJournal::kExtension);
    return path.size() > suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

Result<std::string> HistoryFile::readAll(int fd, std::size_t sizeHint)
{
    std::string bytes;
    bytes.reserve(sizeHint);
    char buffer[64 * 1024];
    for (off_t offset = 0;;) {
        const ssize_t count = ::pread(fd, buffer, sizeof buffer, offset);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return Error {kAppErrorDomain, errno, std::strerror(errno)};
        }
        if (count == 0) {
            return bytes;
        }
        bytes.append(buffer, static_cast<std::size_t>(count));
        offset += count;
    }
}

Result<HistoryFile::Loaded> HistoryFile::load(const std::string& path, FileSystemOps& fs)
{
    Loaded loaded;
    loaded.interrupted = isJournal(path);
    Result<std::string> bytes = loaded.interrupted ? HistoryJournal::readSettled(path, fs) : readWholeFile(path);
    if (!bytes) {
        return bytes.error();
    }
    if (loaded.interrupted) {
        Result<HistoryEntry> entry = HistoryJournal::parseJournal(*bytes);
        if (!entry) {
            return entry.error();
        }
        loaded.entry = std::move(entry).value();
        return loaded;
    }
    Result<HistoryEntry> entry = TransformationHistory::parse(*bytes);
    if (!entry) {
        // A file cut short is read up to its last whole record.
        bool cut = false;
        Result<HistoryEntry> upToCut = TransformationHistory::parseUpToCut(*bytes, cut);
        if (!upToCut || !cut) {
            return entry.error();
        }
        loaded.entry = std::move(upToCut).value();
        loaded.incomplete = true;
        return loaded;
    }
    loaded.entry = std::move(entry).value();
    loaded.incomplete = HistorySeal::check(path, bytes->size(), loaded.entry.records.size()) == HistorySeal::State::broken;
    return loaded;
}

}  // namespace tess
