#pragma once

#include "scan/DirectoryWalker.h"
#include "scan/ScanEngine.h"

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

// Notes which folders the scan walks of one coordinator could not list
// (opened or read). Each walk that read anything replaces the record; a walk
// stopped before it read anything leaves the one before.
class WalkFailureRecorder {
public:
    struct Walk {
        std::uint64_t sequence = 0;  // 0: no walk yet; one more for each walk
        std::optional<int> rootError;  // errno of the source folder itself
        std::vector<UnreadableFolder> folders;  // below the source folder
    };

    // Notes each walk's outcome here. The reporter keeps the recorder alive.
    static ScanEngine::WalkReporter reporter(std::shared_ptr<WalkFailureRecorder> recorder);

    // The current or last walk. Any thread.
    Walk lastWalk() const;

    static std::string reasonText(int error);

private:
    void noteWalk(const std::string& root, const DirectoryWalker::Outcome& outcome);

    mutable std::mutex m_lock;
    Walk m_walk;
};

}  // namespace tess
