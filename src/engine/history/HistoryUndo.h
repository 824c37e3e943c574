#pragma once

#include "history/HistoryEntry.h"
#include "rename/FileSystemOps.h"
#include "rename/SourceFileRenamer.h"

#include <string>
#include <vector>

namespace tess {

// The renamer's undo of one recorded batch (SourceFileRenamer's
// `undoHistoryEntry`, kept in its own file pair).
class HistoryUndo {
public:
    HistoryUndo() = delete;

    struct UndoResult {
        // The moves back: (path before the undo, restored path).
        std::vector<SourceFileRenamer::RenamedItem> renamed;
        // Folders that could not be recreated, then the renamer's failures;
        // or, when the undo was refused, the reasons (nothing was touched).
        std::vector<SourceFileRenamer::FailedItem> failed;
        // The undo was refused: `failed` holds the reasons, nothing was touched.
        bool refused = false;
    };

    // Recreates the folders the batch's clean-up removed, moves every item
    // back through the batch renamer, then merges the folders the batch
    // created back into their former folders and removes them.
    //
    // Refused without touching anything when the entry was recorded under
    // another scan root than `root`, or when any path it would act on is not
    // a safe relative path (absolute, ".", "..", empty component, NUL).
    // Never throws.
    static UndoResult undoHistoryEntry(const HistoryEntry& entry,
        const std::string& root,
        const std::string& errorDomain,
        const SourceFileRenamer::PrivilegedRename& privilegedRename = {},
        const SourceFileRenamer::PrivilegedCreateDirectory& privilegedCreateDirectory = {},
        FileSystemOps& fs = FileSystemOps::posix());
};

}  // namespace tess
