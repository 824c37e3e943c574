#pragma once

#include <optional>
#include <string_view>

namespace tess {

// What started a scan. The raw value is stored in scan_history.trigger and
// printed in logs. Only `manual` is ever produced: the other two belong to the
// dormant watcher and scheduler.
enum class ScanTrigger {
    fsEvents,  // "FSEvents"
    poll,  // "Scheduled"
    manual,  // "Manual"
};

std::string_view rawValue(ScanTrigger trigger);
std::optional<ScanTrigger> scanTriggerFromRawValue(std::string_view raw);

}  // namespace tess
