#pragma once

#include "scan/ScanPhase.h"
#include "scan/ScanTrigger.h"

#include <chrono>

namespace tess {

// The progress of a running scan or re-analysis, by phase and counts.
struct ScanProgress {
    int filesEnumerated = 0;
    int filesAnalyzed = 0;
    int newFiles = 0;
    int changedFiles = 0;
    ScanPhase currentPhase = ScanPhase::enumerating;
    ScanTrigger trigger = ScanTrigger::manual;
    std::chrono::system_clock::time_point startTime;

    friend bool operator==(const ScanProgress&, const ScanProgress&) = default;
};

}  // namespace tess
