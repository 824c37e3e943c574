#pragma once

#include "index/IndexTime.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tess {

// One row of the scan history.
struct ScanRecord {
    std::int64_t id = 0;
    std::string scanRoot;
    IndexDate startTime;
    std::optional<IndexDate> endTime;
    int totalFiles = 0;
    int newFiles = 0;
    int changedFiles = 0;
    int deletedFiles = 0;
    int issuesFound = 0;
    // A ScanTrigger raw value ("FSEvents", "Scheduled", "Manual").
    std::string trigger;
    // "running" while the scan runs, then the text its end gives
    // ("completed" for a finished scan).
    std::string status;

    friend bool operator==(const ScanRecord&, const ScanRecord&) = default;
};

}  // namespace tess
