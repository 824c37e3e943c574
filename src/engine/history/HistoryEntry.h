#pragma once

#include "history/HistoryOperation.h"
#include "history/HistoryRecord.h"

#include <chrono>
#include <string>
#include <vector>

namespace tess {

// The content of one history file.
struct HistoryEntry {
    std::string version = "1";  // the writer always writes "1" whatever this holds
    std::chrono::system_clock::time_point timestamp;
    std::string scanRoot;  // absolute path of the scan root, raw bytes
    HistoryOperation operation = HistoryOperation::rename;
    std::string parentHistoryID;  // empty for a rename batch; the undone file's id for an undo
    std::vector<HistoryRecord> records;

    friend bool operator==(const HistoryEntry&, const HistoryEntry&) = default;
};

}  // namespace tess
