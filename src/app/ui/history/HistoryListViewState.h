#pragma once

#include "history/HistoryOperation.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tess {

// What the transformation history list shows and offers, as plain values.
namespace HistoryListViewState {

// "0 operations", "1 operation", "2 operations".
std::string countText(std::size_t count);
// The last component of the scan root ("/" stays "/"), bytes as stored.
std::string folderName(std::string_view scanRoot);
// "N items", always plural.
std::string itemsText(std::int64_t count);
// The row's count of what the batch did, and what is known to be missing
// from its record: "N items", "N items, interrupted" for a batch that never
// finished, "N items, incomplete" for a file cut short.
std::string detailText(std::int64_t doneCount, bool interrupted, bool incomplete);

// How a row of one batch looks.
struct RowLook {
    std::string_view symbol;
    bool orange = false;  // the symbol in orange, else in `cool`
    bool undoBadge = false;
    bool undoButton = false;  // only rename batches can be undone here

    friend bool operator==(const RowLook&, const RowLook&) = default;
};
RowLook rowLook(HistoryOperation operation);

// Whether a rename batch may be undone now: only in the folder it was made
// in, which must be the open source folder, and not while another rename or
// undo runs (a scan gives way to the undo). `resolvesToSource`: the two
// paths lead to one folder (a link, a bind mount), as the undo judges it.
struct UndoAvailability {
    bool enabled = false;
    std::string toolTip;  // plain text

    friend bool operator==(const UndoAvailability&, const UndoAvailability&) = default;
};
UndoAvailability undoAvailability(std::string_view scanRoot, const std::optional<std::string>& sourcePath, bool batchRunning = false,
    bool resolvesToSource = false);

// The alert messages; `dateText` is the batch's date as the list shows it.
std::string deleteMessage(std::string_view folderName, std::string_view dateText);
std::string undoMessage(std::string_view folderName, std::int64_t count);

}  // namespace HistoryListViewState

}  // namespace tess
