#pragma once

#include "core/Error.h"
#include "history/HistoryEntry.h"

#include <string>

namespace tess {

// Reads one entry of the history list for a report or an undo: a history
// file (strictly) or the journal of an interrupted batch (up to its cut).
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

    static Result<Loaded> load(const std::string& path);
};

}  // namespace tess
