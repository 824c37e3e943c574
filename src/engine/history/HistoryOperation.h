#pragma once

#include <optional>
#include <string_view>

namespace tess {

// What a history file records: a rename batch or the undo of one.
enum class HistoryOperation {
    rename,
    undo,
};

// "rename", "undo".
std::string_view rawValue(HistoryOperation operation);
// Exact, case-sensitive raw value; nothing otherwise.
std::optional<HistoryOperation> historyOperationFromRaw(std::string_view raw);

}  // namespace tess
