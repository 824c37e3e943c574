#pragma once

#include "history/HistoryEntry.h"
#include "rename/FileSystemOps.h"
#include "rename/SourceFileRenamer.h"

#include <map>
#include <set>
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
        // Folders the batch removed ("RD") that the undo made again.
        std::vector<std::string> recreatedDirectories;
        // Items a folder merge of the batch moved along ("SM" records), moved
        // back: (path before the undo, restored path). They belong to the
        // merged folder and are not counted on their own.
        std::vector<SourceFileRenamer::RenamedItem> mergeRestored;
        // Folders the batch created that the undo removed again.
        std::size_t removedCreatedDirectories = 0;
        // New paths of items the undo left in place because the batch found
        // another item there (each is also among the failures).
        std::set<std::string> leftInPlace;
        // Items of the entry already at their original names before the
        // undo began (nothing to do: neither restored nor failed).
        std::size_t alreadyInPlace = 0;
        // Former folders the undo made again that hold items and could not
        // be given the owner, group and mode of the folder they replace.
        std::vector<SourceFileRenamer::FolderNotKept> foldersNotKept;
    };

    // The one count rule of an undo: what was actually restored (items
    // moved back and removed folders made again) ...
    static std::size_t restoredCount(const UndoResult& result);
    // ... and what is still not back (every failure, including items the
    // undo moved whose former path still does not hold them, and contents
    // that could not be merged back).
    static std::size_t failedCount(const UndoResult& result);

    // The one-line result for the user: "Undo complete: N items restored",
    // "Undo: N restored, F failed", or, when nothing was restored and
    // nothing failed, that nothing needed restoring (and which created
    // folders it removed), or, when all it moved back is what a folder merge
    // had moved along, how many of those. With `historyIncomplete` (a history
    // file cut short) the undo is never called complete: renames after the
    // cut are unknown and could not be undone. Nor is it when a folder made again
    // did not get its former owner, group and mode; the message names them.
    static std::string resultMessage(const UndoResult& result, bool historyIncomplete = false);

    // Whether the undo of an entry recorded under `scanRoot` may act in the
    // open folder `root`: the same path, or both resolve to one folder.
    static bool isSameScanRoot(const std::string& scanRoot, const std::string& root, FileSystemOps& fs = FileSystemOps::posix());

    // Maps each folder the batch created (in `created`) on the batch's final
    // side to the folder at the same depth on the former side, from the ok
    // file and folder records; the first record in file order wins. The undo
    // merges what is left in such a folder back into its former folder.
    static std::map<std::string, std::string> createdFolderMapping(const std::vector<HistoryRecord>& records,
        const std::set<std::string>& created);

    // Recreates the folders the batch removed, moves every item back
    // through the batch renamer, moves back what its folder merges moved
    // along, then merges the folders the batch created back into their
    // former folders and removes them.
    //
    // A former folder made again takes the metadata of the folder that stood
    // in for it (owner, group and mode from the helper where this process
    // may not give them); a created folder this process may not remove is
    // removed by the helper. A created folder that stays (it still holds
    // items, or it could not be removed) is named among the failures.
    //
    // An item the batch's verification found replaced (another item at its
    // new name) is never moved: it is named among the failures.
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

    // The same, with every privileged call (see SourceFileRenamer::renameFiles).
    static UndoResult undoHistoryEntry(const HistoryEntry& entry, const std::string& root, const std::string& errorDomain,
        const SourceFileRenamer::PrivilegedCalls& privileged, FileSystemOps& fs = FileSystemOps::posix());
};

}  // namespace tess
