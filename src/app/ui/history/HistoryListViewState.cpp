#include "ui/history/HistoryListViewState.h"

#include "rename/RenamePaths.h"

namespace tess::HistoryListViewState {

std::string countText(std::size_t count)
{
    return std::to_string(count) + (count == 1 ? " operation" : " operations");
}

std::string folderName(std::string_view scanRoot)
{
    const std::string trimmed = RenamePaths::withoutTrailingSlash(scanRoot);
    if (trimmed == "/") {
        return trimmed;
    }
    return RenamePaths::lastComponent(trimmed);
}

std::string itemsText(std::int64_t count)
{
    return std::to_string(count) + " items";
}

std::string detailText(std::int64_t doneCount, bool interrupted, bool incomplete)
{
    std::string text = itemsText(doneCount);
    if (interrupted) {
        text += ", interrupted";
    }
    if (incomplete) {
        text += ", incomplete";
    }
    return text;
}

RowLook rowLook(HistoryOperation operation)
{
    if (operation == HistoryOperation::undo) {
        return {"arrow.uturn.backward.circle", true, true, false};
    }
    return {"pencil.circle", false, false, true};
}

UndoAvailability undoAvailability(std::string_view scanRoot, const std::optional<std::string>& sourcePath, bool batchRunning,
    bool resolvesToSource)
{
    if (!sourcePath || sourcePath->empty()) {
        return {false, "Open the folder this rename was made in to undo it: no source folder is open."};
    }
    if (!resolvesToSource && RenamePaths::withoutTrailingSlash(scanRoot) != RenamePaths::withoutTrailingSlash(*sourcePath)) {
        return {false, "This rename was made in another folder. Open that folder as the source to undo it."};
    }
    if (batchRunning) {
        return {false, "A rename or undo is running. Undo this rename when it has finished."};
    }
    return {true, "Undo this rename"};
}

std::string deleteMessage(std::string_view folderName, std::string_view dateText)
{
    std::string message = "Delete the history entry for ";
    message += folderName;
    message += " from ";
    message += dateText;
    message += "?";
    return message;
}

std::string undoMessage(std::string_view folderName, std::int64_t count)
{
    std::string message = "Reverse the rename operation on ";
    message += folderName;
    message += "? This will restore ";
    message += std::to_string(count);
    message += " items to their original names.";
    return message;
}

}  // namespace tess::HistoryListViewState
