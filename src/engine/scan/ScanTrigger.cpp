#include "scan/ScanTrigger.h"

#include <array>
#include <utility>

namespace tess {

namespace {

constexpr std::array<std::pair<ScanTrigger, std::string_view>, 3> kRawValues {{
    {ScanTrigger::fsEvents, "FSEvents"},
    {ScanTrigger::poll, "Scheduled"},
    {ScanTrigger::manual, "Manual"},
}};

}  // namespace

std::string_view rawValue(ScanTrigger trigger)
{
    for (const auto& [value, raw] : kRawValues) {
        if (value == trigger) {
            return raw;
        }
    }
    return "Manual";
}

std::optional<ScanTrigger> scanTriggerFromRawValue(std::string_view raw)
{
    for (const auto& [value, text] : kRawValues) {
        if (text == raw) {
            return value;
        }
    }
    return std::nullopt;
}

}  // namespace tess
