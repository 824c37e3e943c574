#pragma once

#include "scan/DirectoryWalker.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tess {

// A folder a scan could not list, with the system's reason ("Permission denied").
struct UnreadableFolder {
    std::string path;  // absolute
    std::string reason;

    friend bool operator==(const UnreadableFolder&, const UnreadableFolder&) = default;
};

// Notes which folders the scan walks of one coordinator could not open. The
// walk opens its folders through opener(), on its own threads; each walk
// starts by opening the source folder, which starts a new record.
class WalkFailureRecorder {
public:
    struct Walk {
        std::uint64_t sequence = 0;  // 0: no walk yet; one more for each walk
        std::optional<int> rootError;  // errno of the source folder itself
        std::vector<UnreadableFolder> folders;  // below the source folder
    };

    // Opens through `inner` (empty: the real file system) and notes failures
    // here. The opener keeps the recorder alive.
    static DirectoryWalker::DirectoryOpener opener(std::shared_ptr<WalkFailureRecorder> recorder,
        DirectoryWalker::DirectoryOpener inner);

    // The current or last walk. Any thread.
    Walk lastWalk() const;

    static std::string reasonText(int error);

private:
    void noteOpen(bool isRoot, const std::string& path, int result);

    mutable std::mutex m_lock;
    Walk m_walk;
};

}  // namespace tess
