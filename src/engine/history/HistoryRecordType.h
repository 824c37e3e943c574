#pragma once

#include <optional>
#include <string_view>

namespace tess {

// The kind of one history record.
enum class HistoryRecordType {
    file,  // "F": a file moved from original to final path
    directory,  // "D": a folder moved from original to final path
    removedDirectory,  // "RD": a folder the empty-folder clean-up removed
    createdDirectory,  // "CD": a missing parent folder the batch created
    storedMetadata,  // "SM": carried by the format, acted on by nothing
};

std::string_view rawValue(HistoryRecordType type);
// Exact, case-sensitive raw value; nothing otherwise.
std::optional<HistoryRecordType> historyRecordTypeFromRaw(std::string_view raw);

}  // namespace tess
