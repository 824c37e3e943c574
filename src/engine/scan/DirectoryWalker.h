#pragma once

#include "analysis/FileItem.h"
#include "scan/CompiledExcludePatterns.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tess {

// Lists every item under a source folder with `workerCount` threads, one
// folder at a time per thread, on raw directory entries (openat, fdopendir,
// readdir), so names that are not valid UTF-8 are found like any other.
//
// What the walk leaves out: hidden items (names starting with "."), packages
// (folders with a bundle extension such as ".app", neither listed nor
// entered), and items whose name matches an exclude pattern (an excluded
// folder is not entered). Symbolic links are items that are never followed.
// The source folder itself is not an item.
//
// A folder that cannot be opened or read is reported in `unlistedFolders`;
// the items of its listing that were read before a read error are kept. A
// folder below the source folder that is gone by the time it is opened
// (removed or replaced by a file since its parent was listed: ENOENT,
// ENOTDIR) is not one of them: it is no item, and holds none.
class DirectoryWalker {
public:
    // Opens a folder for listing: `relativePath` is "" for the source folder,
    // else the folder's path below it ("a/b"), to be opened relative to
    // `rootFd` (-1 while the source folder itself is opened, whose path is
    // then `absolutePath`). Returns an open descriptor or -errno.
    using DirectoryOpener = std::function<int(int rootFd, const std::string& relativePath, const std::string& absolutePath)>;
    using CancelCheck = std::function<bool()>;

    struct Options {
        std::size_t workerCount = 2;  // clamped to 1...64
        CompiledExcludePatterns excludePatterns;
        CancelCheck isCancelled;  // empty: never cancelled
        DirectoryOpener openDirectory;  // empty: the real file system
    };

    struct UnlistedFolder {
        std::string path;  // absolute
        int error = 0;  // errno
    };

    struct Outcome {
        // In the order the folders finished; one folder's items together.
        std::vector<FileItem> items;
        std::vector<UnlistedFolder> unlistedFolders;
        // The source folder itself could not be listed.
        bool rootUnlisted = false;
        int rootError = 0;
        // The cancellation check answered true during the walk; `items` may
        // then be incomplete.
        bool cancelled = false;
        // Something unexpected was thrown in the walk (an ERROR line names
        // it) and the walk stopped. Such a walk also reads as cancelled with
        // its source folder unlisted (EIO) and no items, so that no caller
        // takes a partial listing for the tree.
        bool failed = false;
    };

    static constexpr std::size_t kMaxWorkers = 64;
    static std::size_t clampWorkerCount(long long requested);

    // True for a folder name whose extension marks a package (a bundle):
    // app, bundle, framework, plugin, kext, pkg, mpkg, rtfd, photoslibrary,
    // xcodeproj, xcworkspace; any case.
    static bool isPackageName(std::string_view name);

    // The default opener: openat(O_RDONLY|O_DIRECTORY|O_CLOEXEC), without
    // following a link below the source folder.
    static int openDirectoryDefault(int rootFd, const std::string& relativePath, const std::string& absolutePath);

    // The source folder's path as the walk names it: without a trailing "/",
    // "/" for the file system's root.
    static std::string shownRoot(const std::string& rootPath);

    // `rootPath` is the source folder's absolute path; a trailing "/" is
    // dropped. Items are `rootPath` + "/" + their relative path. Never
    // throws: what the opener or a worker throws ends the walk as `failed`.
    static Outcome walk(const std::string& rootPath, const Options& options);
};

}  // namespace tess
