#pragma once

#include "scan/ScanTrigger.h"

#include <chrono>

namespace tess {

// The outcome of a finished scan. `timestamp` is the scan's start time;
// `duration` runs from the start to the moment the issue records were made.
struct ScanSummary {
    int totalFilesScanned = 0;
    int newFiles = 0;
    int changedFiles = 0;
    int deletedFiles = 0;
    int filesWithIssues = 0;
    double duration = 0.0;  // seconds
    ScanTrigger trigger = ScanTrigger::manual;
    std::chrono::system_clock::time_point timestamp;

    friend bool operator==(const ScanSummary&, const ScanSummary&) = default;
};

}  // namespace tess
