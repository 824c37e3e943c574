#pragma once

#include "core/Error.h"

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tess {

// Writing whole files so that a reader sees either the old content or the
// new one, never a part.
class AtomicFile {
public:
    AtomicFile() = delete;

    // Writes `bytes` to a temporary file beside `path` (".<name>.tmp-XXXXXX"),
    // flushes it to disk and renames it over `path`, then flushes the folder.
    // The folder must exist. The new file gets `mode` when given, else the
    // temporary file's 0600. On failure the temporary file is removed and
    // `path` is left as it was.
    static Status write(const std::string& path, std::string_view bytes, std::optional<mode_t> mode = std::nullopt);
    // The same with the content written by `fill` into the temporary file's
    // descriptor as it goes (a failure it returns leaves `path` as it was).
    static Status write(const std::string& path, const std::function<Status(int fd)>& fill,
        std::optional<mode_t> mode = std::nullopt);

    // The target of `path` when it is a symbolic link (so that writing keeps
    // the link), else `path` itself.
    static std::string followLink(const std::string& path);

    // Writes every byte, retrying after EINTR; the error holds strerror's text.
    static Status writeAll(int fd, std::string_view bytes);

    // Flushes the folder's entries to disk; best effort.
    static void syncFolder(const std::string& folder);

    // The part of `path` before its last "/" ("." without one, "/" for a
    // name in the root).
    static std::string folderOf(const std::string& path);
};

}  // namespace tess
