#pragma once

#include "history/HistoryEntry.h"
#include "rename/SourceFileRenamer.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tess {

// The outcome of one rename batch (or undo) as the user sees it. Paths are
// relative to the scan root and keep their raw bytes; the report writers
// make them valid UTF-8.
struct RenameReport {
    using TimePoint = std::chrono::system_clock::time_point;
    using Verification = SourceFileRenamer::RenameVerification;

    struct RenamedPair {
        std::string originalPath;
        std::string newPath;
        friend bool operator==(const RenamedPair&, const RenamedPair&) = default;
    };
    struct FailedRename {
        std::string path;
        std::string error;  // the error's user-facing text
        friend bool operator==(const FailedRename&, const FailedRename&) = default;
    };

    TimePoint timestamp;
    std::string scanRoot;
    std::vector<RenamedPair> renamed;
    std::vector<FailedRename> failed;
    std::vector<Verification> failedVerifications;  // none of them `verified`
    std::vector<std::string> removedDirectories;
    // The history file written for the batch; none when saving failed or
    // when the report was read back from a history file.
    std::optional<std::string> historyPath;

    // The report of a finished batch. Each failure keeps its error's
    // message; verifications whose status is `verified` are left out, so
    // every verification of the batch may be handed in.
    static RenameReport fromBatch(TimePoint timestamp, std::string scanRoot,
        const std::vector<SourceFileRenamer::RenamedItem>& renamed,
        const std::vector<SourceFileRenamer::FailedItem>& failed,
        const std::vector<Verification>& verifications, std::vector<std::string> removedDirectories,
        std::optional<std::string> historyPath);

    // The report of a recorded batch: `ok` file and folder records are the
    // renamed pairs, `fail` records the failures, `verifyFail` records the
    // failed verifications (the status the batch reported, recovered from
    // the stored text; `targetMissing` when the text is not one of ours), `ok` removed-folder
    // records the removed folders; created folders and stored metadata are
    // not shown. Record order is kept; there is no history path.
    static RenameReport fromHistoryEntry(const HistoryEntry& entry);
};

}  // namespace tess
