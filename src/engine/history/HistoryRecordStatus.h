#pragma once

#include <optional>
#include <string_view>

namespace tess {

// The outcome of one recorded operation.
enum class HistoryRecordStatus {
    ok,  // "ok": done
    fail,  // "fail": failed; the record's error holds the failure text
    verifyFail,  // "verify-fail": reported done, verification found otherwise
};

std::string_view rawValue(HistoryRecordStatus status);
// Exact, case-sensitive raw value; nothing otherwise.
std::optional<HistoryRecordStatus> historyRecordStatusFromRaw(std::string_view raw);

}  // namespace tess
