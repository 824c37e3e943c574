#include "scan/DirectoryWalker.h"

#include "log/AppLogger.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_set>

namespace tess {

namespace {

constexpr std::array<std::string_view, 11> kPackageExtensions {
    "app", "bundle", "framework", "plugin", "kext", "pkg", "mpkg", "rtfd", "photoslibrary", "xcodeproj", "xcworkspace"};

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<char>(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// Opens a folder whose path below `rootFd` is too long for one call, one
// component at a time.
int openByComponents(int rootFd, const std::string& relativePath)
{
    int current = dup(rootFd);
    if (current < 0) {
        return -errno;
    }
    std::size_t start = 0;
    while (start < relativePath.size()) {
        std::size_t slash = relativePath.find('/', start);
        if (slash == std::string::npos) {
            slash = relativePath.size();
        }
        const std::string component = relativePath.substr(start, slash - start);
        const int next = openat(current, component.c_str(), kDirectoryFlags | O_NOFOLLOW);
        const int error = errno;
        close(current);
        if (next < 0) {
            return -error;
        }
        current = next;
        start = slash + 1;
    }
    return current;
}

// The shared state of one walk.
class Walk {
public:
    Walk(std::string rootPath, int rootFd, const DirectoryWalker::Options& options)
        : m_root(std::move(rootPath))
        , m_rootFd(rootFd)
        , m_options(options)
    {
    }

    DirectoryWalker::Outcome run(std::size_t workerCount)
    {
        m_pending.emplace_back();  // the source folder itself
        std::vector<std::thread> threads;
        {
            // Joins every started worker however this block is left; on an
            // unwind the workers are told to stop first.
            JoinGuard guard(*this, threads);
            try {
                threads.reserve(workerCount - 1);
                for (std::size_t i = 1; i < workerCount; ++i) {
                    threads.emplace_back([this] { workSafely(); });
                }
            } catch (const std::exception& error) {
                // Fewer workers walk the same tree.
                TESS_LOG_WARN("⚠️ DirectoryWalker: started " + std::to_string(threads.size() + 1) + " of "
                    + std::to_string(workerCount) + " workers: " + error.what());
            }
            workSafely();
        }
        if (!m_gone.empty()) {
            // Folders listed by their parent that were gone when opened.
            std::erase_if(m_outcome.items, [this](const FileItem& item) { return item.isDirectory && m_gone.contains(item.path); });
        }
        if (m_failed) {
            // A partial listing must never be taken for the tree.
            m_outcome.failed = true;
            m_outcome.cancelled = true;
            m_outcome.rootUnlisted = true;
            m_outcome.rootError = EIO;
            m_outcome.items.clear();
        }
        return std::move(m_outcome);
    }

private:
    class JoinGuard {
    public:
        JoinGuard(Walk& walk, std::vector<std::thread>& threads)
            : m_walk(walk)
            , m_threads(threads)
        {
        }
        JoinGuard(const JoinGuard&) = delete;
        JoinGuard& operator=(const JoinGuard&) = delete;
        ~JoinGuard()
        {
            if (std::uncaught_exceptions() > 0) {
                m_walk.abort();
            }
            for (auto& thread : m_threads) {
                if (thread.joinable()) {
                    thread.join();
                }
            }
        }

    private:
        Walk& m_walk;
        std::vector<std::thread>& m_threads;
    };

    bool cancelled() const { return m_failed || (m_options.isCancelled && m_options.isCancelled()); }

    // Every worker's entry: nothing it throws leaves the thread. A failure
    // stops the whole walk; the other workers finish their folder and leave.
    void workSafely() noexcept
    {
        bool holdsFolder = false;
        try {
            work(holdsFolder);
            return;
        } catch (const std::exception& error) {
            logFailure(error.what());
        } catch (...) {
            logFailure("unknown error");
        }
        std::lock_guard lock(m_mutex);
        if (holdsFolder) {
            --m_active;
        }
        m_failed = true;
        m_pending.clear();
        m_changed.notify_all();
    }

    static void logFailure(const char* what) noexcept
    {
        try {
            TESS_LOG_ERROR(std::string("❌ DirectoryWalker: a worker failed, walk stopped: ") + what);
        } catch (...) {
            // Out of memory even for the line: the walk still fails.
        }
    }

    void abort()
    {
        std::lock_guard lock(m_mutex);
        m_failed = true;
        m_pending.clear();
        m_changed.notify_all();
    }

    // `holdsFolder` tells whether a folder taken from the queue is being
    // listed, so that a failure can hand its place back.
    void work(bool& holdsFolder)
    {
        CompiledExcludePatterns::Matcher matcher(m_options.excludePatterns);
        std::vector<FileItem> items;
        std::vector<std::string> subfolders;
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return !m_pending.empty() || m_active == 0; });
            if (m_pending.empty()) {
                m_changed.notify_all();
                return;
            }
            std::string relative = std::move(m_pending.back());
            m_pending.pop_back();
            ++m_active;
            holdsFolder = true;
            lock.unlock();

            items.clear();
            subfolders.clear();
            std::optional<DirectoryWalker::UnlistedFolder> failure;
            bool gone = false;
            bool stop = cancelled();
            if (!stop) {
                failure = listFolder(relative, matcher, items, subfolders, gone);
                stop = cancelled();
            }

            lock.lock();
            if (stop) {
                m_outcome.cancelled = true;
            }
            if (gone) {
                m_gone.insert(absolutePath(relative));
            }
            m_outcome.items.insert(m_outcome.items.end(), std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()));
            if (failure) {
                if (relative.empty()) {
                    m_outcome.rootUnlisted = true;
                    m_outcome.rootError = failure->error;
                }
                m_outcome.unlistedFolders.push_back(std::move(*failure));
            }
            if (!stop && !m_failed) {
                for (auto& folder : subfolders) {
                    m_pending.push_back(std::move(folder));
                }
            }
            --m_active;
            holdsFolder = false;
            if (!m_pending.empty() || m_active == 0) {
                m_changed.notify_all();
            }
        }
    }

    std::string absolutePath(const std::string& relative) const
    {
        if (relative.empty()) {
            return m_root.empty() ? std::string("/") : m_root;
        }
        return m_root + "/" + relative;
    }

    // Lists one folder into `items` and `subfolders`; the failure, if any.
    // `gone` tells a folder below the source folder that no longer exists.
    std::optional<DirectoryWalker::UnlistedFolder> listFolder(const std::string& relative,
        CompiledExcludePatterns::Matcher& matcher, std::vector<FileItem>& items, std::vector<std::string>& subfolders,
        bool& gone)
    {
        int fd = -1;
        if (relative.empty()) {
            fd = fcntl(m_rootFd, F_DUPFD_CLOEXEC, 0);
            if (fd < 0) {
                return DirectoryWalker::UnlistedFolder {absolutePath(relative), errno};
            }
        } else {
            fd = m_options.openDirectory ? m_options.openDirectory(m_rootFd, relative, absolutePath(relative))
                                         : DirectoryWalker::openDirectoryDefault(m_rootFd, relative, absolutePath(relative));
            if (fd == -ENOENT || fd == -ENOTDIR) {
                gone = true;  // since its parent was listed: nothing in it to read
                return std::nullopt;
            }
            if (fd < 0) {
                return DirectoryWalker::UnlistedFolder {absolutePath(relative), -fd};
            }
        }
        DIR* dir = fdopendir(fd);
        if (dir == nullptr) {
            const int error = errno;
            close(fd);
            return DirectoryWalker::UnlistedFolder {absolutePath(relative), error};
        }
        // Closed on every way out, a throw included.
        const std::unique_ptr<DIR, int (*)(DIR*)> closer(dir, closedir);
        const std::string itemPrefix = m_root + "/" + (relative.empty() ? std::string() : relative + "/");
        const std::string relativePrefix = relative.empty() ? std::string() : relative + "/";
        int readError = 0;
        for (;;) {
            errno = 0;
            const dirent* entry = readdir(dir);
            if (entry == nullptr) {
                readError = errno;
                break;
            }
            const std::string_view name(entry->d_name);
            if (name.empty() || name.front() == '.') {
                continue;
            }
            bool isDirectory = false;
            if (entry->d_type == DT_UNKNOWN) {
                struct stat status { };
                if (fstatat(dirfd(dir), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
                    continue;
                }
                isDirectory = S_ISDIR(status.st_mode);
            } else {
                isDirectory = entry->d_type == DT_DIR;
            }
            if (isDirectory && DirectoryWalker::isPackageName(name)) {
                continue;
            }
            if (matcher.isExcluded(name)) {
                continue;
            }
            std::string path;
            path.reserve(itemPrefix.size() + name.size());
            path.append(itemPrefix).append(name);
            items.push_back(FileItem {std::move(path), isDirectory});
            if (isDirectory) {
                std::string folder;
                folder.reserve(relativePrefix.size() + name.size());
                folder.append(relativePrefix).append(name);
                subfolders.push_back(std::move(folder));
            }
        }
        if (readError != 0) {
            return DirectoryWalker::UnlistedFolder {absolutePath(relative), readError};
        }
        return std::nullopt;
    }

    const std::string m_root;  // without a trailing "/"; "" for "/"
    const int m_rootFd;
    const DirectoryWalker::Options& m_options;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_pending;  // relative paths of folders to list
    std::unordered_set<std::string> m_gone;  // absolute paths of folders gone when opened
    std::size_t m_active = 0;
    std::atomic<bool> m_failed {false};
    DirectoryWalker::Outcome m_outcome;
};

}  // namespace

std::size_t DirectoryWalker::clampWorkerCount(long long requested)
{
    return static_cast<std::size_t>(std::clamp<long long>(requested, 1, static_cast<long long>(kMaxWorkers)));
}

bool DirectoryWalker::isPackageName(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return false;
    }
    const std::string_view extension = name.substr(dot + 1);
    return std::any_of(kPackageExtensions.begin(), kPackageExtensions.end(),
        [&](std::string_view candidate) { return equalsIgnoringAsciiCase(candidate, extension); });
}

int DirectoryWalker::openDirectoryDefault(int rootFd, const std::string& relativePath, const std::string& absolutePath)
{
    if (relativePath.empty() || rootFd < 0) {
        const int fd = open(absolutePath.c_str(), kDirectoryFlags);
        return fd < 0 ? -errno : fd;
    }
    if (relativePath.size() < PATH_MAX - 1) {
        // No link is followed on the way, not only at the end: a folder
        // swapped for a link after it was listed is refused (ELOOP).
        open_how how {};
        how.flags = static_cast<std::uint64_t>(kDirectoryFlags | O_NOFOLLOW);
        how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH;
        const long fd = syscall(SYS_openat2, rootFd, relativePath.c_str(), &how, sizeof how);
        if (fd >= 0) {
            return static_cast<int>(fd);
        }
        if (errno != ENOSYS && errno != EPERM && errno != E2BIG && errno != ENAMETOOLONG) {
            return -errno;
        }
    }
    // Without openat2 (old kernel, filtered system call) or for a path too
    // long for one call: one component at a time, none followed.
    return openByComponents(rootFd, relativePath);
}

std::string DirectoryWalker::shownRoot(const std::string& rootPath)
{
    std::string root = rootPath;
    while (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    return root.empty() || root == "/" ? std::string("/") : root;
}

DirectoryWalker::Outcome DirectoryWalker::walk(const std::string& rootPath, const Options& options)
{
    const std::string shownRoot = DirectoryWalker::shownRoot(rootPath);
    const std::string root = shownRoot == "/" ? std::string() : shownRoot;
    Outcome outcome;
    if (options.isCancelled && options.isCancelled()) {
        outcome.cancelled = true;
        return outcome;
    }
    int rootFd = -EIO;
    try {
        rootFd = options.openDirectory ? options.openDirectory(-1, std::string(), shownRoot)
                                       : openDirectoryDefault(-1, std::string(), shownRoot);
    } catch (const std::exception& error) {
        TESS_LOG_ERROR(std::string("❌ DirectoryWalker: cannot open the source folder: ") + error.what());
        outcome.failed = true;
        outcome.cancelled = true;
    }
    if (rootFd < 0) {
        outcome.rootUnlisted = true;
        outcome.rootError = -rootFd;
        outcome.unlistedFolders.push_back({shownRoot, -rootFd});
        return outcome;
    }
    try {
        Walk walk(root, rootFd, options);
        outcome = walk.run(clampWorkerCount(static_cast<long long>(options.workerCount)));
    } catch (const std::exception& error) {
        TESS_LOG_ERROR(std::string("❌ DirectoryWalker: walk stopped: ") + error.what());
        outcome = Outcome {};
        outcome.failed = true;
        outcome.cancelled = true;
        outcome.rootUnlisted = true;
        outcome.rootError = EIO;
    }
    close(rootFd);
    return outcome;
}

}  // namespace tess
