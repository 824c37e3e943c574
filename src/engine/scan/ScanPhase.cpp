#include "scan/ScanPhase.h"

#include <array>
#include <utility>

namespace tess {

namespace {

constexpr std::array<std::pair<ScanPhase, std::string_view>, 6> kRawValues {{
    {ScanPhase::enumerating, "Enumerating files..."},
    {ScanPhase::comparing, "Comparing with database..."},
    {ScanPhase::analyzing, "Analyzing changes..."},
    {ScanPhase::updatingDatabase, "Updating database..."},
    {ScanPhase::cleaningUp, "Cleaning up deleted files..."},
    {ScanPhase::complete, "Scan complete"},
}};

}  // namespace

std::string_view rawValue(ScanPhase phase)
{
    for (const auto& [value, raw] : kRawValues) {
        if (value == phase) {
            return raw;
        }
    }
    return {};
}

std::optional<ScanPhase> scanPhaseFromRawValue(std::string_view raw)
{
    for (const auto& [value, text] : kRawValues) {
        if (text == raw) {
            return value;
        }
    }
    return std::nullopt;
}

}  // namespace tess
