#pragma once

#include "history/HistoryRecordStatus.h"
#include "history/HistoryRecordType.h"

#include <string>

namespace tess {

// One record of a history file. The two paths are relative to the scan root,
// "/"-separated, and keep the raw bytes of the names (which on Linux need not
// be valid UTF-8). `finalRelativePath` is empty for "RD" and "CD" records.
struct HistoryRecord {
    std::string originalRelativePath;
    std::string finalRelativePath;
    HistoryRecordType type = HistoryRecordType::file;
    HistoryRecordStatus status = HistoryRecordStatus::ok;
    std::string error;

    friend bool operator==(const HistoryRecord&, const HistoryRecord&) = default;
};

}  // namespace tess
