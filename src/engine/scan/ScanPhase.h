#pragma once

#include <optional>
#include <string_view>

namespace tess {

// The phases of a scan; the raw value is the text shown for the phase. A scan
// publishes only `enumerating` and `analyzing`.
enum class ScanPhase {
    enumerating,  // "Enumerating files..."
    comparing,  // "Comparing with database..."
    analyzing,  // "Analyzing changes..."
    updatingDatabase,  // "Updating database..."
    cleaningUp,  // "Cleaning up deleted files..."
    complete,  // "Scan complete"
};

std::string_view rawValue(ScanPhase phase);
std::optional<ScanPhase> scanPhaseFromRawValue(std::string_view raw);

}  // namespace tess
