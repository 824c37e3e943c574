#pragma once

#include "core/Error.h"
#include "history/HistoryEntry.h"
#include "rename/FileSystemOps.h"

#include <cstddef>
#include <string>

namespace tess {

// Reads one entry of the history list for a report or an undo: a history
// file, up to its last whole record when it was cut short, or the journal
// of an interrupted batch, settled against the disk (HistoryJournal).
class HistoryFile {
public:
    HistoryFile() = delete;

    struct Loaded {
        HistoryEntry entry;
        // A journal: the batch never finished; the entry holds what it did.
        bool interrupted = false;
        // The file was cut short after it was written: records after the
        // cut are unknown, so an undo cannot restore what they held.
        bool incomplete = false;
    };

    // `fs` is what a journal's open steps are checked with.
    static Result<Loaded> load(const std::string& path, FileSystemOps& fs = FileSystemOps::posix());

    // Every byte of the open file `fd` from its start (whatever its offset),
    // retrying after EINTR; `sizeHint` is what to reserve.
    static Result<std::string> readAll(int fd, std::size_t sizeHint = 0);
};

}  // namespace tess
